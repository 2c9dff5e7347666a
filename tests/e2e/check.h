// check.h -- convert a synthetic raw file with the real binary and compare
// both outputs in full with the replayed expectation.
#pragma once

#include <gtest/gtest.h>

#include "e2e/expect.h"
#include "fixture.h"
#include "support/run.h"

namespace e2e {

struct Converted {
    std::string ms1, ms2, out, err;
    int status = -1;
    fixture::Layout lay;
};

// Writes the bytes as in.raw in a fresh folder and converts them.
inline Converted convert_bytes(const std::vector<uint8_t>& bytes)
{
    testrun::TempDir dir;
    testrun::write_bytes(dir.file("in.raw"), bytes);
    testrun::Result r = testrun::kolvex(dir.path, {"in.raw"});
    Converted c;
    c.status = r.status;
    c.out = r.out;
    c.err = r.err;
    c.ms1 = testrun::read_file(dir.file("in.raw.ms1"));
    c.ms2 = testrun::read_file(dir.file("in.raw.ms2"));
    return c;
}

inline Converted convert(const fixture::File& f)
{
    fixture::Layout lay;
    std::vector<uint8_t> bytes = fixture::build(f, &lay);
    Converted c = convert_bytes(bytes);
    c.lay = lay;
    return c;
}

// Converts f and expects both files to equal the replay, byte for byte.
// Returns the replay for further checks.
inline expect::Outputs convert_and_compare(const fixture::File& f, Converted* got = nullptr)
{
    Converted c = convert(f);
    expect::Outputs want = expect::replay(f, c.lay);
    EXPECT_TRUE(want.modelled) << want.why;
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_TRUE(testrun::is_completion(c.out, "in.raw")) << c.out;
    EXPECT_EQ(c.out.rfind("\nin.raw completed", 0), 0u) << c.out;
    EXPECT_EQ(c.ms1, want.ms1);
    EXPECT_EQ(c.ms2, want.ms2);
    if (got != nullptr)
        *got = c;
    return want;
}

inline size_t count_of(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

}  // namespace e2e
