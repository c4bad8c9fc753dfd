#pragma once

#include <functional>

namespace plivan {

class Form1;

// The program's start: the application, named and versioned, and the window
// over the Plivan folder, which reads the settings file before it is shown.
// `beforeShow`, when given, sees the window just before it is shown. Returns
// when the program ends, with its exit status.
int RunPlivan(int &argc, char **argv, const std::function<void(Form1 &)> &beforeShow = {});

} // namespace plivan
