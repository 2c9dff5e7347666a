// output_safety_test.cpp -- failed writes and interrupted runs: the final
// names never hold half a conversion, temporary files do not outlive the
// run, and the outputs keep the permissions and links of plain files.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "e2e/check.h"

namespace {

namespace fs = std::filesystem;
using testrun::TempDir;

e2e::Bytes realistic(int32_t cycles, int32_t survey_peaks, int32_t frags, int32_t frag_peaks)
{
    return fixture::build(fixture::realistic_run(66, cycles, survey_peaks, frags, frag_peaks, 5));
}

// A write that fails part-way (past the file-size limit, where write gives
// EFBIG) ends the run with the message, status 1 and empty final names.
TEST(OutputSafety, FailedWriteLeavesEmptyOutputsAndStatus1)
{
    // ulimit -f counts 512- or 1024-byte blocks by shell: 32 or 64 KiB,
    // below every failing output here and above the other.
    // prefix: SIGXFSZ ignored by the caller, or by kolvex.
    const struct { const char* name; e2e::Bytes raw; const char* failing, *prefix; } rows[] = {
        {"MS1 of 600 KB, at the last flush", realistic(10, 2000, 1, 4), ".ms1", "trap '' XFSZ;"},
        {"MS1 of 2 MB, mid-run", realistic(40, 2000, 1, 4), ".ms1", "trap '' XFSZ;"},
        {"MS2 of 250 KB", realistic(10, 4, 10, 100), ".ms2", "trap '' XFSZ;"},
        {"MS1, SIGXFSZ not ignored", realistic(10, 2000, 1, 4), ".ms1", ""},
        {"MS2, SIGXFSZ not ignored", realistic(10, 4, 10, 100), ".ms2", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        e2e::Converted c = e2e::convert(r.raw, std::string("ulimit -f 64; ") + r.prefix);
        EXPECT_EQ(c.status, 1);
        EXPECT_EQ(c.err, std::string("in.raw") + r.failing + ": File too large\n");
        EXPECT_EQ(e2e::seconds_as_t(c.out), e2e::done("in.raw"));
        EXPECT_EQ(c.ms1 + c.ms2, "");
        EXPECT_EQ(c.others, std::vector<std::string>{});
    }
}

// A version 66 run of about 40 MB: long enough to act on part-way.
bool write_big_run(const std::string& path)
{
    int64_t cycle = fixture::realistic_cycle_bytes(66, 500, 10, 150);
    return fixture::write_realistic_run(path, 66, static_cast<int32_t>((int64_t{40} << 20) / cycle),
                                        500, 10, 150, 9);
}

// Starts kolvex on in.raw in dir, behind the shell prefix when one is
// given, with default signal actions and its streams on /dev/null.
pid_t spawn(const TempDir& dir, const std::string& prefix)
{
    std::string cmd = prefix + " exec \"$@\"";
    pid_t pid = fork();
    if (pid == 0) {
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            signal(s, SIG_DFL);  // a test run in the background may ignore them
        int nul = open("/dev/null", O_RDWR);
        if (chdir(dir.path.c_str()) != 0 || dup2(nul, 0) < 0 || dup2(nul, 1) < 0 || dup2(nul, 2) < 0)
            _exit(127);
        execl("/bin/sh", "sh", "-c", cmd.c_str(), "sh", KOLVEX_BIN, "in.raw", nullptr);
        _exit(127);
    }
    return pid;
}

// True once a temporary output in dir holds text; false when the run
// ended first.
bool temp_seen(const TempDir& dir, pid_t pid)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         std::chrono::steady_clock::now() < end;) {
        for (const auto& e : fs::directory_iterator(dir.path)) {
            std::error_code ec;
            if (e.path().string().find(".tmp") != std::string::npos &&
                fs::file_size(e.path(), ec) > 0)
                return true;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

// A signal part-way through a conversion of 40 MB: the final names stay
// empty, a caught signal removes the temporary files (SIGKILL cannot), a
// hangup that the caller ignores stays ignored, and the next run, or the
// undisturbed one, writes what a run always writes.
TEST(OutputSafety, SignalPartWayLeavesEmptyFinalNames)
{
    TempDir big, plain;
    ASSERT_TRUE(write_big_run(big.file("in.raw")));
    fs::create_hard_link(big.file("in.raw"), plain.file("in.raw"));
    const e2e::Converted want = e2e::convert_in(plain, "in.raw");
    ASSERT_EQ(want.status, 0);
    const struct { int sig; const char* prefix; bool ends_run; } rows[] = {
        {SIGKILL, "", true}, {SIGTERM, "", true}, {SIGINT, "", true}, {SIGHUP, "", true},
        {SIGHUP, "trap '' HUP;", false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << strsignal(r.sig) << " " << r.prefix);
        TempDir dir;
        fs::create_hard_link(big.file("in.raw"), dir.file("in.raw"));
        pid_t pid = spawn(dir, r.prefix);
        ASSERT_TRUE(temp_seen(dir, pid)) << "the run ended too soon";
        kill(pid, r.sig);
        int st = 0;
        ASSERT_EQ(waitpid(pid, &st, 0), pid);
        EXPECT_EQ(WIFSIGNALED(st) ? WTERMSIG(st) : 0, r.ends_run ? r.sig : 0);
        std::string got1 = testrun::read_file(dir.file("in.raw.ms1"));
        std::string got2 = testrun::read_file(dir.file("in.raw.ms2"));
        EXPECT_TRUE(r.ends_run ? got1.empty() && got2.empty() : got1 == want.ms1 && got2 == want.ms2);
        EXPECT_TRUE(fs::exists(dir.file("in.raw.ms1")) && fs::exists(dir.file("in.raw.ms2")));
        if (r.sig == SIGKILL) {  // the next run writes what a run always writes
            e2e::Converted again = e2e::convert_in(dir, "in.raw");
            EXPECT_TRUE(again.status == 0 && again.ms1 == want.ms1 && again.ms2 == want.ms2);
        } else {
            EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 3);
        }
    }
}

// The final MS1 name taken by a folder during the run: its rename fails,
// the run ends with the reason and status 1, and the MS2 text, already in
// place, is taken back, so that no final name looks like a complete run.
TEST(OutputSafety, FinalNameTakenDuringTheRunFailsIt)
{
    TempDir dir, io;
    ASSERT_TRUE(write_big_run(dir.file("in.raw")));
    pid_t pid = spawn(dir, "exec 2>" + io.file("err") + ";");
    ASSERT_TRUE(temp_seen(dir, pid)) << "the run ended too soon";
    fs::remove(dir.file("in.raw.ms1"));
    fs::create_directories(dir.file("in.raw.ms1/x"));
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, 1);
    EXPECT_EQ(testrun::read_file(io.file("err")), "in.raw.ms1: " + std::string(strerror(EISDIR)) + "\n");
    EXPECT_EQ(fs::file_size(dir.file("in.raw.ms2")), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 3);
}

// Outputs that existed before the run keep their mode, new ones get 0666
// less the umask; an output name that is a symbolic link (to a file or
// dangling) stays a link, and the text lands in the file it names. No
// temporary file is left beside either.
TEST(OutputSafety, OutputsAreReplacedAsPlainFilesWouldBe)
{
    enum Before { none, file, link, dangling };
    // mode: of an output there before the run.
    const struct { const char* umask; Before before; int mode; unsigned want; } rows[] = {
        {"022", none, 0, 0644},    {"027", none, 0, 0640},    {"000", none, 0, 0666},
        {"077", none, 0, 0600},    {"022", file, 0600, 0600}, {"077", file, 0664, 0664},
        {"022", link, 0640, 0640}, {"027", dangling, 0, 0640}};
    const e2e::Bytes raw = realistic(2, 10, 2, 5);
    const e2e::Converted want = e2e::convert(raw);
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "umask " << r.umask << ", before " << r.before);
        TempDir dir, elsewhere;
        fixture::write_file(dir.file("in.raw"), raw);
        const bool linked = r.before == link || r.before == dangling;
        auto target = [&](const std::string& ext) {
            return linked ? elsewhere.file("out" + ext) : dir.file("in.raw" + ext);
        };
        for (const std::string ext : {".ms1", ".ms2"}) {
            if (linked)
                fs::create_symlink(target(ext), dir.file("in.raw" + ext));
            if (r.before == file || r.before == link) {
                fixture::write_file(target(ext), {'o', 'l', 'd'});
                chmod(target(ext).c_str(), static_cast<mode_t>(r.mode));
            }
        }
        e2e::Converted c = e2e::convert_in(dir, "in.raw", "", std::string("umask ") + r.umask + ";");
        EXPECT_EQ(c.status, 0) << c.err;
        EXPECT_EQ(c.others, std::vector<std::string>{});
        for (const std::string ext : {".ms1", ".ms2"}) {
            EXPECT_EQ(fs::is_symlink(dir.file("in.raw" + ext)), linked) << ext;
            EXPECT_TRUE(testrun::read_file(target(ext)) == (ext == ".ms1" ? want.ms1 : want.ms2)) << ext;
            struct stat st {};
            ASSERT_EQ(stat(target(ext).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, r.want) << ext;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere.path), {}), linked ? 2 : 0);
    }
}

}  // namespace
