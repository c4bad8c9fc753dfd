#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace plivan {

// Every message of the program goes through ShowMessage: a modal box titled
// "Plivan" with the text, no icon and one OK button, returning when OK is
// pressed. Tests put their own handler in place so no modal box blocks them.
using MessageBoxHandler = std::function<void(QWidget *parent, const QString &text)>;

void ShowMessage(QWidget *parent, const QString &text);

// Replaces the handler; returns the one in place before. An empty handler
// restores the real message box.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace plivan
