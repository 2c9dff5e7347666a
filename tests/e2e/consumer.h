// consumer.h -- what the real-file and consumer tests share: converting a
// copy of a file, reading kolvex's text and tab-separated tables back.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/run.h"

namespace consumer {

struct Converted {
    testrun::Result r;
    std::string ms1, ms2;
};

// Converts name in folder dir, where its outputs land. With from set, name
// is first copied there from that folder of the shared data, which is
// read-only (and outputs go beside the input).
inline Converted convert(const testrun::TempDir& dir, const std::string& name,
                         const std::string& from = "")
{
    if (!from.empty())
        std::filesystem::copy_file(testrun::shared_data() + "/" + from + "/" + name,
                                   dir.file(name));
    return {testrun::kolvex(dir.path, {name}), testrun::read_file(dir.file(name + ".ms1")),
            testrun::read_file(dir.file(name + ".ms2"))};
}

inline std::vector<std::string> fields(const std::string& line, char sep)
{
    std::vector<std::string> out;
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = line.find(sep, start);
        out.push_back(line.substr(start, end - start));
    }
    return out;
}

// The rows of tab-separated text whose column names are on line head
// (earlier lines skipped): column name -> field.
inline std::vector<std::map<std::string, std::string>> table(const std::string& text,
                                                             size_t head = 0)
{
    std::vector<std::string> lines = testrun::lines_of(text);
    std::vector<std::map<std::string, std::string>> rows;
    for (size_t i = head + 1; i < lines.size(); i++) {
        std::vector<std::string> names = fields(lines[head], '\t'), f = fields(lines[i], '\t');
        rows.emplace_back();
        for (size_t k = 0; k < f.size() && k < names.size(); k++)
            rows.back()[names[k]] = f[k];
    }
    return rows;
}

// One scan of an MS1 or MS2 file as written.
struct Scan {
    std::vector<std::string> s;               // fields of the S line
    std::map<std::string, std::string> info;  // I lines: name -> value
    std::vector<std::pair<int, double>> z;    // Z lines: charge, mass
    std::vector<std::string> peaks;           // peak lines
};

// The scans of a file, or of an MS1 and an MS2 file one after the other,
// by scan number.
inline std::map<int, Scan> scans_of(const std::string& text)
{
    std::map<int, Scan> scans;
    Scan* cur = nullptr;
    for (const std::string& line : testrun::lines_of(text)) {
        std::vector<std::string> f = fields(line, '\t');
        if (f[0] == "S")
            (cur = &scans[std::atoi(f.at(1).c_str())])->s = f;
        else if (cur != nullptr && f[0] == "I")
            cur->info[f.at(1)] = f.at(2);
        else if (cur != nullptr && f[0] == "Z")
            cur->z.emplace_back(std::atoi(f.at(1).c_str()), std::strtod(f.at(2).c_str(), nullptr));
        else if (cur != nullptr && f[0] != "H")  // H: the next file's header
            cur->peaks.push_back(line);
    }
    return scans;
}

}  // namespace consumer
