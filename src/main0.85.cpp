// main0.85.cpp -- kolvex: converts one raw file into MS1 and MS2 text.
#include <cstdio>

#include "scan_loop.h"

int main(int argc, char** argv)
{
    return kolvex_main(argc, argv, stdout, stderr);
}
