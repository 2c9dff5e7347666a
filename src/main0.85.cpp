// main0.85.cpp -- kolvex: converts one raw file into MS1 and MS2 text.
#include <cstdio>

#include "scan_loop.h"

// kolvex [INPUT], kolvex -h | --help, kolvex -V | --version. The exit
// status is kolvex_main's: 0 or 1, each cause listed in driver.cpp.
int main(int argc, char** argv)
{
    return kolvex_main(argc, argv, stdout, stderr);
}
