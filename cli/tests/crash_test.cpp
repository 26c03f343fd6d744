// Crashes: brimlet-cli is killed (SIGKILL; TerminateProcess on Windows) at every system call of an
// operation, at points in time spread over it (mid-copy included), and in
// the middle of a write (a power cut after a chosen number of bytes), on an
// archive with large entries. Afterwards the archive must open and every
// entry must read as before or as after the operation: the whole archive is
// exactly one or the other.
//
// The same runs again in a folder that takes no new file (as another user;
// on Windows, with a second hard link to the directory file), where the
// directory file is written in place: there every entry that the operation
// does not change must still be there, whole.
#include "archive/archive.h"
#include "archive/tests/test_support.h"
#include "cli_runner.h"
#include "tests/archive_model.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

using Clock = std::chrono::steady_clock;

std::string scratchRoot()
{
#ifndef _WIN32
    if (std::filesystem::is_directory("/dev/shm")) return "/dev/shm";
#endif
    return utf8Path(std::filesystem::temp_directory_path());
}

int fromEnvironment(const char* name, int otherwise)
{
    const char* n = std::getenv(name);
    return n ? std::atoi(n) : otherwise;
}

// The slower sanitizer build kills at every few calls and fewer times.
int timedKillsPerOperation() { return fromEnvironment("BRIMLET_TIMED_KILLS", 20); }
long callStride() { return fromEnvironment("BRIMLET_CALL_STRIDE", 1); }

struct Operation {
    std::string name;
    std::vector<std::string> args; // after the archive path; "@" stands for the scratch folder
};

const std::vector<Operation>& operations()
{
    static const std::vector<Operation> all = {
        {"add", {"@/big.ifp"}},
        {"replace in place", {"#0", "@/small.dff"}},
        {"replace moved", {"#1", "@/big.ifp"}},
        {"delete", {"#0"}},
        {"rename", {"#2", "renamed.col"}},
        {"import", {"@/road.txd", "@/big.ifp"}},
        {"rebuild", {}},
    };
    return all;
}

using Version = Archive::Version;

struct Scene {
    std::string folder;
    bool noNewFiles; // the folder is root's, the files another user's, who runs the command (Windows: a hard link)
    Version version;
    // The archive's name: its directory file, or version 2's one file.
    std::string dir() const { return folder + (version == Version::One ? "/gta3.dir" : "/gta3.img"); }
    std::string img() const { return folder + "/gta3.img"; }

    Scene(const std::string& root, int n, bool asOtherUser, Version v = Version::One)
        : folder(root + "/crash-" + std::to_string(n)), noNewFiles(asOtherUser), version(v)
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        static const Bytes data = pattern(8u << 20, 5);          // entries of 4, 1 and 3 MiB
        static const Bytes bigFile = pattern((6u << 20) + 7, 8); // moves any entry
        static const Bytes smallFile = pattern(300000, 9);      // fits entry 0 in place
        // A MiB of dead space before road.txd, for rebuild.
        if (version == Version::One)
            makeArchive(folder + "/gta3",
                        {makeEntry(0, 2048, "big.dff"), makeEntry(2560, 512, "road.txd"), makeEntry(3072, 1024, "x.col")},
                        data);
        else
            writeFile(img(), version2File({{1, 2048, 0, "big.dff"}, {2561, 512, 0, "road.txd"}, {3073, 1024, 0, "x.col"}},
                                          data, 1));
        writeFile(folder + "/big.ifp", bigFile);
        writeFile(folder + "/small.dff", smallFile);
        writeFile(folder + "/road.txd", smallFile); // import replaces the entry of that name
#ifdef _WIN32
        if (noNewFiles) std::filesystem::create_hard_link(fsPath(dir()), fsPath(folder + "/linked.dir"));
#else
        if (noNewFiles) {
            ::chmod(folder.c_str(), 0755);
            for (auto& e : std::filesystem::directory_iterator(folder)) ::chown(e.path().c_str(), kNobody, kNobody);
        }
#endif
    }
    ~Scene() { std::filesystem::remove_all(folder); }

    RunOptions options(std::vector<std::string> environment = {}) const
    {
        return {std::move(environment), noNewFiles ? kNobody : 0, -1, ""};
    }

    std::vector<std::string> command(const Operation& op) const
    {
        std::vector<std::string> args{op.name == "replace moved" || op.name == "replace in place" ? "replace" : op.name,
                                      dir()};
        for (const auto& a : op.args) args.push_back(a[0] == '@' ? folder + a.substr(1) : a);
        return args;
    }
};

// What a user sees of the archive: each entry's name and exported bytes.
struct State {
    std::vector<std::pair<std::string, Bytes>> entries;
    bool operator==(const State&) const = default;
};

State stateOf(const Scene& s)
{
    if (s.version == Version::Two) { // read by the format alone, after an open finished any cut save
        Bytes file = readFile(s.img());
        State state;
        for (const auto& e : readVersion2Independently(file)) {
            size_t from = size_t{e.start} * 2048, length = size_t{e.size} * 2048;
            state.entries.emplace_back(e.name, from + length <= file.size() ? Bytes(file.begin() + from,
                                                                                    file.begin() + from + length)
                                                                            : Bytes{});
        }
        return state;
    }
    model::ModelArchive m;
    m.loadDirectory(readFile(s.dir()));
    m.data = readFile(s.img());
    State state;
    for (size_t i = 0; i < m.records.size(); ++i)
        state.entries.emplace_back(m.name(i), m.exportEntry(i).value_or(Bytes{}));
    return state;
}

bool contains(const State& state, const std::pair<std::string, Bytes>& entry)
{
    return std::find(state.entries.begin(), state.entries.end(), entry) != state.entries.end();
}

// Written in place, a directory caught half-way may hold an entry twice
// (a delete moves the later ones down), but loses none that stays.
bool keepsEveryUnchangedEntry(const State& before, const State& after, const State& now)
{
    for (const auto& entry : before.entries)
        if (contains(after, entry) && !contains(now, entry)) return false;
    return true;
}

struct Checker {
    const Operation& op;
    State before, after;
    double seconds = 0;
    int kills = 0;

    void check(const Scene& s)
    {
        Archive reopened;
        ASSERT_NO_THROW(reopened.openimg(s.dir()));
        State now = stateOf(s);
        if (s.noNewFiles) EXPECT_TRUE(now == before || now == after || keepsEveryUnchangedEntry(before, after, now));
        else EXPECT_TRUE(now == before || now == after);
        // A killed writer leaves no temporary file that the next save does not clear.
        if (!s.noNewFiles) reopened.renameEntry(0, reopened.name(0));
        for (auto& e : std::filesystem::directory_iterator(s.folder))
            EXPECT_EQ(e.path().filename().string().find(".brimlet-"), std::string::npos) << e.path();
    }

    void killed(const Scene& s, int exitCode)
    {
        if (exitCode == -1) ++kills;
        check(s);
    }
};

Checker measure(const Operation& op, const std::string& root, int& trial, bool noNewFiles, Version version)
{
    Checker c{op, {}, {}};
    Scene s(root, trial++, noNewFiles, version);
    c.before = stateOf(s);
    auto start = Clock::now();
    EXPECT_EQ(runCli(s.command(op), BRIMLET_CLI_PATH, s.options()).exitCode, 0);
    c.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    c.after = stateOf(s);
    return c;
}

int runAll(bool noNewFiles, Version version = Version::One)
{
    std::string root = scratchRoot() + "/brimlet-crash-" + std::to_string(::getpid());
    std::filesystem::create_directories(root);
#ifndef _WIN32
    ::chmod(root.c_str(), 0755);
#endif
    int kills = 0, trial = 0;
    std::mt19937 random(42);
    for (const Operation& op : operations()) {
#ifdef _WIN32
        // There the directory file is written in place through a second hard
        // link, and rebuild refuses a directory file with other links.
        if (noNewFiles && op.name == "rebuild") continue;
#endif
        SCOPED_TRACE(op.name);
        Checker c = measure(op, root, trial, noNewFiles, version);
        // At each system call in turn, until the operation runs to its end.
        for (long k = 1;; k += callStride()) {
            Scene s(root, trial++, noNewFiles, version);
            int code = waitCli(startCli(s.command(op), BRIMLET_CRASHABLE_CLI_PATH,
                                        s.options({"BRIMLET_KILL_AT_CALL=" + std::to_string(k)})));
            if (code != -1) break;
            c.killed(s, code);
        }
        // In the middle of a write: after a random number of bytes.
        for (int i = 0; i < timedKillsPerOperation() / 2 + 2; ++i) {
            Scene s(root, trial++, noNewFiles, version);
            long long bytes = std::uniform_int_distribution<long long>(0, 20ll << 20)(random);
            c.killed(s, waitCli(startCli(s.command(op), BRIMLET_CRASHABLE_CLI_PATH,
                                         s.options({"BRIMLET_KILL_AFTER_BYTES=" + std::to_string(bytes)}))));
        }
        // At points in time spread over the whole operation.
        int points = timedKillsPerOperation();
        for (int i = 0; i < points; ++i) {
            Scene s(root, trial++, noNewFiles, version);
            pid_t pid = startCli(s.command(op), BRIMLET_CLI_PATH, s.options());
            std::this_thread::sleep_for(std::chrono::duration<double>(c.seconds * (i + 0.5) / points));
            killCli(pid);
            c.killed(s, waitCli(pid));
        }
        kills += c.kills;
    }
    std::filesystem::remove_all(root);
    return kills;
}

}  // namespace

class Crashes : public ::testing::TestWithParam<Version> {};

TEST_P(Crashes, KilledAtAnyPointTheArchiveSurvives)
{
    int kills = runAll(false, GetParam());
    std::cout << "[ crashes ] " << kills << " kills survived\n";
    EXPECT_GE(kills, 200 / callStride());
}

INSTANTIATE_TEST_SUITE_P(BothVersions, Crashes, ::testing::Values(Version::One, Version::Two),
                         [](const ::testing::TestParamInfo<Version>& param) {
                             return param.param == Version::One ? "Version1" : "Version2";
                         });

TEST(Crashes, KilledWhileWritingInPlaceEveryUnchangedEntrySurvives)
{
#ifndef _WIN32
    if (!canSwitchUser()) GTEST_SKIP() << "needs root, to run the command as another user";
#endif
    int kills = runAll(true);
    std::cout << "[ crashes ] " << kills << " kills survived, writing in place\n";
    EXPECT_GE(kills, 150 / callStride());
}

TEST(Crashes, AKilledExtractLeavesNothingTheNextOneDoesNotClear)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 600, "big.dff"), makeEntry(600, 1, "small.txd")},
                                  pattern(601 * 2048));
    std::string out = t / "out";
    makeFolder(out);
    writeFile(out + "/big.dff", {1}); // one file replaced, one new
    int kills = 0;
    for (long k = 1;; k += callStride()) {
        RunOptions killAt;
        killAt.environment = {"BRIMLET_KILL_AT_CALL=" + std::to_string(k)};
        if (waitCli(startCli({"extract", dir, out}, BRIMLET_CRASHABLE_CLI_PATH, killAt)) != -1) break;
        ++kills;
        ASSERT_EQ(runCli({"extract", dir, out}).exitCode, 0);
        for (auto& e : std::filesystem::directory_iterator(fsPath(out))) {
            std::string name = utf8Path(e.path().filename());
            EXPECT_TRUE(name == "big.dff" || name == "small.txd") << "after a kill at call " << k << ": " << name;
        }
        EXPECT_EQ(readFile(out + "/big.dff").size(), 600u * 2048);
    }
    EXPECT_GT(kills, 5);
}

TEST(Crashes, ACreateKilledAtAnyPointIsFinishedByTheNextOne)
{
    TempDir t;
    int kills = 0;
    for (long k = 1;; ++k) {
        std::string base = t / ("c" + std::to_string(k));
        RunOptions killAt;
        killAt.environment = {"BRIMLET_KILL_AT_CALL=" + std::to_string(k)};
        if (waitCli(startCli({"create", base}, BRIMLET_CRASHABLE_CLI_PATH, killAt)) != -1) break;
        ++kills;
        if (!exists(base + ".dir") || !exists(base + ".img")) { // killed before the pair was whole
            Result again = runCli({"create", base});
            EXPECT_EQ(again.exitCode, 0) << "after a kill at call " << k << ": " << again.err;
        }
        EXPECT_EQ(readFile(base + ".dir").size(), 0u);
        EXPECT_EQ(readFile(base + ".img").size(), 0u);
    }
    EXPECT_GT(kills, 2);
}
