// corpus.h -- the seed inputs of the fuzzer: small raw files of every
// version with one edge-case knob turned each.
//
// kolvex-seeds (fuzz/seeds.cpp) writes them, and cuts of them, among the
// seeds of the fuzzers; the test suite converts each one in-process, so
// every kind of damage the fuzzers start from is also replayed on every
// test run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corpus {

struct Seed {
    std::string name;            // file name: v<version>-<kind>.raw
    std::vector<uint8_t> bytes;
};

// Every seed, in a fixed order; deterministic.
std::vector<Seed> seeds();

}  // namespace corpus
