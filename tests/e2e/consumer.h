// consumer.h -- finding the external programs that read kolvex's text.
//
// A consumer test needs a program from a Debian package. On a developer's
// machine without it the test is skipped with a message that names the
// package; in CI (CI set) a missing program is a failure, so a broken
// install step cannot pass as a green run.
#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace consumer {

// Absolute path of an executable found on PATH, or "" when there is none.
inline std::string find_tool(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        // An empty entry means the current folder.
        std::string dir = end > start ? dirs.substr(start, end - start) : std::string(".");
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

inline bool in_ci()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0';
}

}  // namespace consumer

// Declares var as the path of program name; fails in CI and skips
// elsewhere when it is missing.
#define KOLVEX_REQUIRE_TOOL(var, name, package)                                    \
    const std::string var = consumer::find_tool(name);                              \
    if (var.empty()) {                                                              \
        if (consumer::in_ci())                                                      \
            FAIL() << name << " not found on PATH (CI is set): install the "       \
                   << "Debian package " << package;                                 \
        GTEST_SKIP() << name << " not found on PATH: install the Debian package " \
                     << package << " to run this check";                            \
    }
