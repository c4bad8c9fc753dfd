#include "Startup.h"

int main(int argc, char *argv[])
{
    return plivan::RunPlivan(argc, argv);
}
