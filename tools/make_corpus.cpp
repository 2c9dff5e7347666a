// make_corpus.cpp -- kolvex-corpus: writes the fuzzer's seed inputs.
//
// kolvex-corpus FOLDER   (the folder must exist)
#include <cstdio>
#include <string>

#include "corpus.h"
#include "fixture.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: kolvex-corpus FOLDER\n", stderr);
        return 2;
    }
    int written = 0;
    for (const corpus::Seed& s : corpus::seeds()) {
        std::string path = std::string(argv[1]) + "/" + s.name;
        if (!fixture::write_file(path, s.bytes)) {
            std::fprintf(stderr, "kolvex-corpus: cannot write %s\n", path.c_str());
            return 1;
        }
        written++;
    }
    std::printf("%d seeds in %s\n", written, argv[1]);
    return 0;
}
