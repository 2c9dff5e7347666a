// run.h -- helpers for tests that run the real kolvex binary.
#pragma once

#include <string>
#include <vector>

namespace testrun {

// A fresh empty folder under the system's temporary folder, removed by the
// destructor.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

struct Result {
    int status = -1;     // exit status, or 128 + signal
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs the program with args (args[0] is the program path) in folder cwd.
// shell_prefix, when set, is run by /bin/sh before exec (e.g. "ulimit -f 8;
// trap '' XFSZ;").
Result run(const std::vector<std::string>& args, const std::string& cwd,
           const std::string& shell_prefix = "");

// Runs the kolvex binary on input (a path, relative to cwd or absolute).
Result kolvex(const std::string& cwd, const std::vector<std::string>& args);

std::string read_file(const std::string& path);
// The lines of text, without their line feeds.
std::vector<std::string> lines_of(const std::string& text);

// The folder of real raw files (../shared/data from the repository root).
std::string shared_data();

}  // namespace testrun
