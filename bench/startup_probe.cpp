// The program's own start-up (app/Startup.cpp, as app/main.cpp runs it),
// ending as soon as the window is on screen.

#include "ShownProbe.h"
#include "Startup.h"

#include "Form1.h"

int main(int argc, char *argv[])
{
    return plivan::RunPlivan(
        argc, argv, [](plivan::Form1 &window) { new plivan::bench::ShownProbe(window); });
}
