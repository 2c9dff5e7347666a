// run.cpp -- run the real binary in a scratch folder and collect its output.
#include "support/run.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testrun {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") +
                       "/kolvex-test-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    if (!mkdtemp(name.data()))
        std::abort();
    path = name.data();
}

TempDir::~TempDir()
{
    std::string cmd = "rm -rf '" + path + "'";
    if (std::system(cmd.c_str()) != 0) {
        // nothing to do: a leftover scratch folder harms no test
    }
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

bool file_exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Result run(const std::vector<std::string>& args, const std::string& cwd,
           const std::string& shell_prefix)
{
    TempDir io;
    std::string out_path = io.file("out"), err_path = io.file("err");
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0)
            _exit(127);
        int o = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int nul = open("/dev/null", O_RDONLY);
        dup2(o, 1);
        dup2(e, 2);
        dup2(nul, 0);
        std::vector<std::string> argv_s;
        if (!shell_prefix.empty()) {
            std::string cmd = shell_prefix + " exec \"$@\"";
            argv_s = {"/bin/sh", "-c", cmd, "sh"};
        }
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_s)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    Result r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    return r;
}

Result kolvex(const std::string& cwd, const std::vector<std::string>& args)
{
    std::vector<std::string> all = {KOLVEX_BIN};
    all.insert(all.end(), args.begin(), args.end());
    return run(all, cwd);
}

std::string shared_data()
{
    return KOLVEX_SHARED_DATA;
}

bool is_completion(const std::string& out, const std::string& input)
{
    std::string head = "\n" + input + " completed, time spent ";
    size_t at = out.rfind(head);
    if (at == std::string::npos || at + head.size() > out.size())
        return false;
    std::string tail = out.substr(at + head.size());
    // "%0.4f s": digits, a point, four digits, " s", nothing after.
    size_t dot = tail.find('.');
    return dot != std::string::npos && tail.size() == dot + 1 + 4 + 2 &&
           tail.compare(tail.size() - 2, 2, " s") == 0;
}

}  // namespace testrun
