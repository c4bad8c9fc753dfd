#pragma once

#include <QString>

namespace plivan {

class DrawingSurface;
struct WindowState;

// Draws the chart on a printer's page, in these steps: the heading measured;
// the page begun in landscape (beginPage), placed so that the grid and the
// heading land inside the paper's printable area; every seat's box, 1.2
// times the window's size from (0.5, 0.75) inches, with lines 6 device
// pixels wide; every seat's text in its box (two lines split at the break,
// shrunk to fit as on the window) at the name font size; the heading at
// (1.3, 0.2) in 24 points; then the end of the document. A page the device
// refuses to begin is left blank. The window state is only read.
void ComposeChart(const WindowState &state, DrawingSurface &page);

// Prints the chart on the system's default printer, in landscape on the
// printer's own default paper, as a document named after the class; no
// dialog. When there is no printer, no default printer, or the printer
// cannot begin the page, the chart is saved instead as a PDF named after the
// class in `dataFolder`, never over an existing file. Returns the message to
// show the user: empty when the chart went to the printer, otherwise what
// happened and where the chart was saved, or why it was not printed.
QString PrintChart(const WindowState &state, const QString &dataFolder);

// The file name, without ".pdf", a chart of class `className` is saved under:
// the class name with every character a file name cannot hold replaced by
// '_', without spaces or dots at either end, at most 100 UTF-16 units and
// never half of a character; "Seating chart" when nothing is left.
QString ChartFileStem(const QString &className);

} // namespace plivan
