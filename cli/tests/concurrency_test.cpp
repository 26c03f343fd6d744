// Two writers on one archive: the window (an Archive object here) and
// brimlet-cli in another process. Neither may lose the other's entries.
#include "archive/archive.h"
#include "archive/errors.h"
#include "archive/lock.h"
#include "archive/tests/test_support.h"
#include "cli_runner.h"

#include <gtest/gtest.h>
#include <chrono>
#include <thread>

using namespace brimlet;
using namespace brimlet::test;

namespace {
const std::string kChanged =
    "The archive was changed by another program since it was opened; open it again to see the changes";
}

TEST(TwoWriters, ACommandOnAStaleArchiveIsRefusedAndWritesNothing)
{
    TempDir tmp;
    std::string dir = makeArchive(tmp / "gta3", {makeEntry(0, 1, "a.dff"), makeEntry(1, 1, "b.dff")}, pattern(4096));
    Archive window;
    window.openimg(dir);
    writeFile(tmp / "c.dff", {3});
    ASSERT_EQ(runCli({"add", dir, tmp / "c.dff"}).exitCode, 0);
    Bytes afterCli = readFile(dir);
    Bytes dataAfterCli = readFile(tmp / "gta3.img");

    writeFile(tmp / "d.dff", {4});
    for (auto command : std::vector<std::function<void()>>{
             [&] { window.renameEntry(0, "x"); }, [&] { window.deleteEntry(1); },
             [&] { window.addEntry(tmp / "d.dff"); }, [&] { window.replaceEntry(0, tmp / "d.dff"); },
             [&] { window.exportEntry(0, tmp / "out"); }}) {
        try {
            command();
            ADD_FAILURE() << "not refused";
        } catch (const Failure& f) {
            EXPECT_EQ(std::string(f.what()), kChanged);
        }
    }
    EXPECT_EQ(readFile(dir), afterCli);
    EXPECT_EQ(readFile(tmp / "gta3.img"), dataAfterCli);
    EXPECT_FALSE(exists(tmp / "out"));

    window.openimg(dir); // opened again: the window sees both and may write
    window.renameEntry(2, "c2.dff");
    EXPECT_EQ(runCli({"list", dir}).out, "0\t0\t1\ta.dff\n1\t1\t1\tb.dff\n2\t2\t1\tc2.dff\n");
}

TEST(TwoWriters, TheLockMakesTheOtherProgramWait)
{
    TempDir tmp;
    std::string dir = makeArchive(tmp / "gta3", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    writeFile(tmp / "b.dff", {2});
    pid_t cli;
    {
        Archive holder;
        holder.openimg(dir, Archive::LockScope::UntilClosed);
        cli = startCli({"add", dir, tmp / "b.dff"}, BRIMLET_CLI_PATH, errorsInto(tmp / "err"));
        ASSERT_TRUE(waitForWord(tmp / "err", "waiting for another program"));
        EXPECT_TRUE(stillRunning(cli)); // waiting for the lock
        EXPECT_EQ(readFile(dir).size(), 32u);
    }
    EXPECT_EQ(waitCli(cli), 0);
    EXPECT_EQ(readFile(dir).size(), 64u);
}

TEST(TwoWriters, ManyConcurrentAddsLoseNothing)
{
    TempDir tmp;
    std::string dir = makeArchive(tmp / "gta3", {}, {});
    std::vector<pid_t> children;
    for (int i = 0; i < 8; ++i) {
        std::string file = tmp / ("f" + std::to_string(i) + ".dff");
        writeFile(file, pattern(3000, static_cast<uint8_t>(i)));
        children.push_back(startCli({"add", dir, file}));
    }
    for (pid_t child : children) EXPECT_EQ(waitCli(child), 0);
    Archive result;
    result.openimg(dir);
    ASSERT_EQ(result.count(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        result.exportEntry(i, tmp / "out");
        Bytes out = readFile(tmp / "out");
        std::string name = result.name(i);
        uint8_t seed = static_cast<uint8_t>(name[1] - '0');
        EXPECT_EQ(Bytes(out.begin(), out.begin() + 3000), pattern(3000, seed)) << name;
    }
}

// Readers racing a writer whose commands save the directory twice (a replace
// that fits in place, a rebuild that stages its copies): a reader that
// arrives between the two saves must not end up waiting for a later one for
// ever. Every command has to finish, and every read sees whole entries.
TEST(TwoWriters, ReadersRacingDoubleSavesAllFinish)
{
    TempDir tmp;
    Bytes data = pattern(3 * 8192);
    std::string dir = makeArchive(tmp / "gta3",
                                  {makeEntry(0, 4, "a.dff"), makeEntry(4, 4, "b.dff"), makeEntry(8, 4, "c.dff")}, data);
    Bytes lastEntry(data.begin() + 16384, data.end());
    writeFile(tmp / "small.dff", pattern(3000, 7));
    writeFile(tmp / "big.dff", pattern(20000, 9));
    const std::vector<std::vector<std::string>> writes = {
        {"replace", dir, "b.dff", tmp / "big.dff"}, // moves: leaves dead space
        {"rebuild", dir},                           // staged past the end, then copied down
        {"replace", dir, "b.dff", tmp / "small.dff"}, // fits: through a copy, in place
    };
#ifdef _WIN32
    const auto runFor = std::chrono::seconds(8);
#else
    const auto runFor = std::chrono::seconds(5);
#endif
    const auto hungAfter = std::chrono::seconds(20);
    using Clock = std::chrono::steady_clock;
    struct Running {
        pid_t pid;
        Clock::time_point started;
        int reader; // -1: the writer
    };
    std::vector<Running> running;
    size_t nextWrite = 0, finished = 0;
    auto start = [&](int reader) {
        std::vector<std::string> args = reader < 0 ? writes[nextWrite++ % writes.size()]
                                                   : std::vector<std::string>{"export", dir, "c.dff",
                                                                              tmp / ("out" + std::to_string(reader))};
        running.push_back({startCli(args), Clock::now(), reader});
    };
    for (int r = 0; r < 4; ++r) start(r);
    start(-1);
    auto until = Clock::now() + runFor;
    while (!running.empty()) {
        for (size_t k = 0; k < running.size();) {
            Running run = running[k];
            if (stillRunning(run.pid)) {
                if (Clock::now() - run.started > hungAfter) {
                    for (const Running& other : running) killCli(other.pid), waitCli(other.pid);
                    FAIL() << (run.reader < 0 ? "a write" : "an export") << " still waited after 20 s";
                }
                ++k;
                continue;
            }
            EXPECT_EQ(waitCli(run.pid), 0);
            ++finished;
            if (run.reader >= 0) {
                EXPECT_EQ(readFile(tmp / ("out" + std::to_string(run.reader))), lastEntry);
            }
            running.erase(running.begin() + static_cast<long>(k));
            if (Clock::now() < until) start(run.reader);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(finished, 20u);
    RecordProperty("commands", static_cast<int>(finished));
    Archive result;
    result.openimg(dir);
    ASSERT_EQ(result.count(), 3u);
    result.exportEntry(0, tmp / "out");
    EXPECT_EQ(readFile(tmp / "out"), Bytes(data.begin(), data.begin() + 8192));
}
