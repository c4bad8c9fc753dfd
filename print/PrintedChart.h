#pragma once

#include <QString>

namespace plivan {

class DrawingSurface;
struct WindowState;

// Draws the chart on a printer's page: every seat's box 1.2 times the window's
// size, the seated names in them, and the heading at the top. SeatWidth and
// SeatHeight hold the print sizes while it runs and the window sizes again
// when it returns.
void ComposeChart(WindowState &state, DrawingSurface &page);

// Prints the chart on the default printer in landscape. When there is no
// printer, saves it as a PDF in `dataFolder` instead. Returns the message to
// show the user, or empty text when the chart went to the printer.
QString PrintChart(WindowState &state, const QString &dataFolder);

} // namespace plivan
