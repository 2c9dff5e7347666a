// output_safety_test.cpp -- failed writes and interrupted runs: the final
// names never hold half a conversion, temporary files do not outlive the
// run, and a completed run writes exactly what it always wrote.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "fixture.h"
#include "support/run.h"

namespace {

namespace fs = std::filesystem;
using testrun::TempDir;

const std::string input = "in.raw";

// Names in dir other than the input and its two outputs.
std::vector<std::string> other_files(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path)) {
        std::string n = e.path().filename().string();
        if (n != input && n != input + ".ms1" && n != input + ".ms2")
            names.push_back(n);
    }
    return names;
}

// Number of lines starting with "S\t".
int32_t s_lines(const std::string& text)
{
    int32_t n = text.rfind("S\t", 0) == 0 ? 1 : 0;
    for (size_t at = text.find("\nS\t"); at != std::string::npos;
         at = text.find("\nS\t", at + 1))
        n++;
    return n;
}

struct Shape {
    int32_t cycles, survey_peaks, frags, frag_peaks;
};

fixture::File make_run(const Shape& s)
{
    return fixture::realistic_run(66, s.cycles, s.survey_peaks, s.frags,
                                  s.frag_peaks, 5);
}

// A write that fails part-way (here: past the file-size limit, where
// write returns EFBIG) ends the run with the message, the completion line
// and status 1, and leaves both final names empty.
struct WriteFailure {
    const char* name;
    Shape shape;
    const char* failing;  // the output whose write fails
    bool xfsz_ignored;    // by the caller; else the converter ignores it
};

TEST(OutputSafety, FailedWriteLeavesEmptyOutputsAndStatus1)
{
    // ulimit -f counts 512- or 1024-byte blocks depending on the shell:
    // 32 or 64 KiB, below every failing output here and above the other.
    const std::vector<WriteFailure> table = {
        // Survey text of about 600 KB: fails at the final flush.
        {"MS1 past the limit at the end", {10, 2000, 1, 4}, ".ms1", true},
        // About 2 MB: fails at a flush inside the scan loop.
        {"MS1 past the limit mid-run", {40, 2000, 1, 4}, ".ms1", true},
        // Fragmentation text of about 250 KB, survey text of 3 KB.
        {"MS2 past the limit", {10, 4, 10, 100}, ".ms2", true},
        // The limit's signal would kill the run without a word.
        {"MS1 past the limit, SIGXFSZ not ignored", {10, 2000, 1, 4}, ".ms1", false},
        {"MS2 past the limit, SIGXFSZ not ignored", {10, 4, 10, 100}, ".ms2", false},
    };
    for (const WriteFailure& t : table) {
        SCOPED_TRACE(t.name);
        TempDir dir;
        fixture::File f = make_run(t.shape);
        ASSERT_TRUE(fixture::write_file(dir.file(input), fixture::build(f)));
        std::string limit = "ulimit -f 64;";
        if (t.xfsz_ignored)
            limit += " trap '' XFSZ;";
        testrun::Result r = testrun::run({KOLVEX_BIN, input}, dir.path, limit);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, input + t.failing + ": File too large\n");
        EXPECT_TRUE(testrun::is_completion(r.out, input)) << r.out;
        EXPECT_EQ(r.out.find("completed"), r.out.rfind("completed"));
        for (const char* ext : {".ms1", ".ms2"}) {
            ASSERT_TRUE(testrun::file_exists(dir.file(input + ext)));
            EXPECT_EQ(fs::file_size(dir.file(input + ext)), 0u) << ext;
        }
        EXPECT_EQ(other_files(dir), std::vector<std::string>{});
    }
}

// A large run, written once for the interruption tests (tens of MB, so
// that a conversion is still running when the test signals it).
class Interrupted : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        big_dir = new TempDir;
        const int64_t want = int64_t{40} << 20;
        int64_t per = fixture::realistic_cycle_bytes(66, 500, 10, 150);
        int32_t cycles = static_cast<int32_t>((want - fixture::fixed_bytes()) / per);
        ASSERT_TRUE(fixture::write_realistic_run(big_dir->file(input), 66, cycles,
                                                 500, 10, 150, 9));
    }
    static void TearDownTestSuite()
    {
        delete big_dir;
        big_dir = nullptr;
    }
    static std::string big() { return big_dir->file(input); }
    static TempDir* big_dir;
};
TempDir* Interrupted::big_dir = nullptr;

// Starts kolvex on input in dir (optionally behind a shell prefix) and
// returns its process id; its output streams go to /dev/null.
pid_t spawn(const TempDir& dir, const std::string& prefix = "")
{
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path.c_str()) != 0)
            _exit(127);
        // A test run in the background may inherit ignored signals.
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            signal(s, SIG_DFL);
        int nul = open("/dev/null", O_RDWR);
        dup2(nul, 0);
        dup2(nul, 1);
        dup2(nul, 2);
        if (prefix.empty()) {
            execl(KOLVEX_BIN, KOLVEX_BIN, input.c_str(), static_cast<char*>(nullptr));
        } else {
            std::string cmd = prefix + " exec \"$@\"";
            execl("/bin/sh", "/bin/sh", "-c", cmd.c_str(), "sh", KOLVEX_BIN,
                  input.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    return pid;
}

// Waits until a temporary output in dir holds at least min_bytes, or the
// process has ended. True when the temporary file was seen.
bool wait_for_temp(const TempDir& dir, pid_t pid, uintmax_t min_bytes)
{
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < give_up) {
        for (const auto& e : fs::directory_iterator(dir.path)) {
            std::error_code ec;
            if (e.path().filename().string().find(".tmp") != std::string::npos &&
                fs::file_size(e.path(), ec) >= min_bytes && !ec)
                return true;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

struct Interruption {
    int sig;
    bool temps_removed;  // SIGKILL cannot be caught: its temps stay
};

TEST_F(Interrupted, SignalPartWayLeavesEmptyFinalNames)
{
    const std::vector<Interruption> table = {
        {SIGKILL, false}, {SIGTERM, true}, {SIGINT, true}, {SIGHUP, true}};
    for (const Interruption& t : table) {
        SCOPED_TRACE(strsignal(t.sig));
        TempDir dir;
        fs::create_hard_link(big(), dir.file(input));
        pid_t pid = spawn(dir);
        ASSERT_TRUE(wait_for_temp(dir, pid, 1)) << "the run ended too soon";
        kill(pid, t.sig);
        int st = 0;
        ASSERT_EQ(waitpid(pid, &st, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(st));
        EXPECT_EQ(WTERMSIG(st), t.sig);
        for (const char* ext : {".ms1", ".ms2"}) {
            ASSERT_TRUE(testrun::file_exists(dir.file(input + ext)));
            EXPECT_EQ(fs::file_size(dir.file(input + ext)), 0u) << ext;
        }
        if (t.temps_removed) {
            EXPECT_EQ(other_files(dir), std::vector<std::string>{});
        }
    }
}

// What a run of the large file writes; computed once.
struct Reference {
    std::string ms1, ms2;
};

const Reference& reference(const std::string& big)
{
    static Reference ref;
    static bool done = false;
    if (!done) {
        TempDir dir;
        fs::create_hard_link(big, dir.file(input));
        testrun::Result r = testrun::kolvex(dir.path, {input});
        EXPECT_EQ(r.status, 0) << r.err;
        ref.ms1 = testrun::read_file(dir.file(input + ".ms1"));
        ref.ms2 = testrun::read_file(dir.file(input + ".ms2"));
        done = true;
    }
    return ref;
}

TEST_F(Interrupted, CompletedRunIsWhole)
{
    // 500-peak survey scans and 150-peak fragmentation scans, 10 a cycle.
    const Reference& ref = reference(big());
    int64_t per = fixture::realistic_cycle_bytes(66, 500, 10, 150);
    int32_t cycles = static_cast<int32_t>(((int64_t{40} << 20) - fixture::fixed_bytes()) / per);
    EXPECT_EQ(s_lines(ref.ms1), cycles);
    EXPECT_EQ(s_lines(ref.ms2), cycles * 10);
    EXPECT_EQ(ref.ms1.substr(ref.ms1.size() - 1), "\n");
    EXPECT_EQ(ref.ms2.substr(ref.ms2.size() - 1), "\n");
}

TEST_F(Interrupted, RunAfterAKilledRunWritesTheSameBytes)
{
    const Reference& ref = reference(big());
    TempDir dir;
    fs::create_hard_link(big(), dir.file(input));
    pid_t pid = spawn(dir);
    ASSERT_TRUE(wait_for_temp(dir, pid, 1));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    testrun::Result r = testrun::kolvex(dir.path, {input});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(testrun::read_file(dir.file(input + ".ms1")) == ref.ms1);
    EXPECT_TRUE(testrun::read_file(dir.file(input + ".ms2")) == ref.ms2);
}

TEST_F(Interrupted, IgnoredHangupIsStillIgnored)
{
    // Under nohup (SIGHUP ignored) a hangup must not stop the run.
    const Reference& ref = reference(big());
    TempDir dir;
    fs::create_hard_link(big(), dir.file(input));
    pid_t pid = spawn(dir, "trap '' HUP;");
    // Part-way, when the run has long set up its signal handling.
    ASSERT_TRUE(wait_for_temp(dir, pid, 1)) << "the run ended too soon";
    kill(pid, SIGHUP);
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFEXITED(st)) << "ended by signal " << WTERMSIG(st);
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_TRUE(testrun::read_file(dir.file(input + ".ms1")) == ref.ms1);
    EXPECT_TRUE(testrun::read_file(dir.file(input + ".ms2")) == ref.ms2);
    EXPECT_EQ(other_files(dir), std::vector<std::string>{});
}

TEST(OutputSafety, ExistingOutputsAreReplacedByTheSameBytes)
{
    TempDir fresh, used;
    fixture::File f = make_run({3, 50, 3, 20});
    std::vector<uint8_t> bytes = fixture::build(f);
    testrun::write_bytes(fresh.file(input), bytes);
    testrun::write_bytes(used.file(input), bytes);
    // Longer than the text: a leftover tail would show.
    std::string junk(1 << 20, 'x');
    for (const char* ext : {".ms1", ".ms2"})
        testrun::write_bytes(used.file(input + ext),
                             std::vector<uint8_t>(junk.begin(), junk.end()));
    testrun::Result a = testrun::kolvex(fresh.path, {input});
    testrun::Result b = testrun::kolvex(used.path, {input});
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    for (const char* ext : {".ms1", ".ms2"}) {
        std::string want = testrun::read_file(fresh.file(input + ext));
        EXPECT_EQ(s_lines(want), std::string(ext) == ".ms1" ? 3 : 9);
        EXPECT_TRUE(testrun::read_file(used.file(input + ext)) == want) << ext;
    }
}

// After every kind of run only the input and the two outputs remain.
TEST(OutputSafety, NoTemporaryFileOutlivesTheRun)
{
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;  // empty: no input file at all
        bool write_input;
    };
    fixture::File f = make_run({2, 10, 2, 5});
    std::vector<uint8_t> unsupported(64, 0);
    unsupported[36] = 65;
    const std::vector<Row> table = {
        {"converted run", fixture::build(f), true},
        {"unsupported version", unsupported, true},
        {"missing input", {}, false},
    };
    for (const Row& t : table) {
        SCOPED_TRACE(t.name);
        TempDir dir;
        if (t.write_input)
            testrun::write_bytes(dir.file(input), t.bytes);
        testrun::Result r = testrun::kolvex(dir.path, {input});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(other_files(dir), std::vector<std::string>{});
    }
}

// The outputs carry the permissions of a file the run creates itself:
// 0666 less the umask; an existing output keeps its own.
TEST(OutputSafety, OutputPermissionsAreThoseOfANewFile)
{
    struct Row {
        const char* umask;
        int existing_mode;  // -1: no file before the run
        unsigned want;
    };
    const std::vector<Row> table = {
        {"022", -1, 0644}, {"027", -1, 0640}, {"000", -1, 0666},
        {"077", -1, 0600}, {"022", 0600, 0600}, {"077", 0664, 0664},
    };
    fixture::File f = make_run({2, 10, 2, 5});
    std::vector<uint8_t> bytes = fixture::build(f);
    for (const Row& t : table) {
        SCOPED_TRACE(std::string("umask ") + t.umask + ", existing " +
                     std::to_string(t.existing_mode));
        TempDir dir;
        testrun::write_bytes(dir.file(input), bytes);
        if (t.existing_mode >= 0) {
            for (const char* ext : {".ms1", ".ms2"}) {
                testrun::write_bytes(dir.file(input + ext), {'x'});
                chmod(dir.file(input + ext).c_str(),
                      static_cast<mode_t>(t.existing_mode));
            }
        }
        testrun::Result r = testrun::run({KOLVEX_BIN, input}, dir.path,
                                         std::string("umask ") + t.umask + ";");
        EXPECT_EQ(r.status, 0) << r.err;
        for (const char* ext : {".ms1", ".ms2"}) {
            struct stat st {};
            ASSERT_EQ(stat(dir.file(input + ext).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, t.want) << ext;
            EXPECT_GT(st.st_size, 1) << ext;
        }
    }
}

// An output name that is a symbolic link: the text lands in the file
// the link names, as a plain write would put it, and the link stays.
TEST(OutputSafety, OutputThroughASymbolicLink)
{
    struct Row {
        const char* name;
        bool target_exists;
    };
    const std::vector<Row> table = {{"existing target", true},
                                    {"dangling link", false}};
    fixture::File f = make_run({2, 10, 2, 5});
    std::vector<uint8_t> bytes = fixture::build(f);
    TempDir plain;
    testrun::write_bytes(plain.file(input), bytes);
    ASSERT_EQ(testrun::kolvex(plain.path, {input}).status, 0);
    for (const Row& t : table) {
        SCOPED_TRACE(t.name);
        TempDir dir, elsewhere;
        testrun::write_bytes(dir.file(input), bytes);
        for (const char* ext : {".ms1", ".ms2"}) {
            std::string target = elsewhere.file(std::string("out") + ext);
            if (t.target_exists)
                testrun::write_bytes(target, {'o', 'l', 'd'});
            fs::create_symlink(target, dir.file(input + ext));
        }
        testrun::Result r = testrun::kolvex(dir.path, {input});
        EXPECT_EQ(r.status, 0) << r.err;
        for (const char* ext : {".ms1", ".ms2"}) {
            EXPECT_TRUE(fs::is_symlink(dir.file(input + ext))) << ext;
            EXPECT_TRUE(testrun::read_file(elsewhere.file(std::string("out") + ext)) ==
                        testrun::read_file(plain.file(input + ext)))
                << ext;
        }
        EXPECT_EQ(other_files(dir), std::vector<std::string>{});
        int32_t files = 0;
        for (const auto& e : fs::directory_iterator(elsewhere.path)) {
            (void)e;
            files++;
        }
        EXPECT_EQ(files, 2);  // no temporary file beside the targets
    }
}

// A file name at the length limit leaves no room for a suffix on the
// temporary name; the run still succeeds.
TEST(OutputSafety, LongestFileNameConverts)
{
    TempDir dir;
    const std::string name = std::string(251 - 4, 'a') + ".raw";  // outputs: 255
    fixture::File f = make_run({2, 10, 2, 5});
    testrun::write_bytes(dir.file(name), fixture::build(f));
    testrun::Result r = testrun::kolvex(dir.path, {name});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(s_lines(testrun::read_file(dir.file(name + ".ms1"))), 2);
    EXPECT_EQ(s_lines(testrun::read_file(dir.file(name + ".ms2"))), 4);
    int32_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path)) {
        (void)e;
        files++;
    }
    EXPECT_EQ(files, 3);
}

}  // namespace
