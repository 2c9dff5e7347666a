// run.cpp -- run the real binary in a scratch folder and collect its output.
#include "support/run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace testrun {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string name = std::string(base && *base ? base : "/tmp") + "/kolvex-test-XXXXXX";
    if (!mkdtemp(name.data()))
        std::abort();
    path = name;
}

TempDir::~TempDir()
{
    std::error_code ignored;  // a leftover scratch folder harms no test
    std::filesystem::remove_all(path, ignored);
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Appends a space and s in single quotes, for /bin/sh.
static void add_quoted(std::string& cmd, const std::string& s)
{
    cmd += " '";
    for (char c : s)
        cmd += c == '\'' ? std::string("'\\''") : std::string(1, c);
    cmd += "'";
}

Result run(const std::vector<std::string>& args, const std::string& cwd,
           const std::string& shell_prefix)
{
    TempDir io;
    std::string cmd = "cd";
    add_quoted(cmd, cwd);
    // exec: the status is the program's own, or its signal.
    cmd += " || exit 127; " + shell_prefix + " exec";
    for (const std::string& a : args)
        add_quoted(cmd, a);
    cmd += " </dev/null >";
    add_quoted(cmd, io.file("out"));
    cmd += " 2>";
    add_quoted(cmd, io.file("err"));
    int st = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = read_file(io.file("out"));
    r.err = read_file(io.file("err"));
    return r;
}

Result kolvex(const std::string& cwd, const std::vector<std::string>& args)
{
    std::vector<std::string> all = {KOLVEX_BIN};
    all.insert(all.end(), args.begin(), args.end());
    return run(all, cwd);
}

std::string shared_data() { return KOLVEX_SHARED_DATA; }

}  // namespace testrun
