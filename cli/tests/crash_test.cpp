// Crashes: brimlet-cli is killed with SIGKILL at every system call of an
// operation, and at points in time spread over it (mid-copy included), on an
// archive with large entries. Afterwards the archive must open, its directory
// must be exactly the one before or the one after, and every entry of it must
// export as it did (but for an entry being replaced in place).
#include "archive/archive.h"
#include "archive/tests/test_support.h"
#include "cli_runner.h"
#include "tests/archive_model.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace brimlet;
using namespace brimlet::test;

namespace {

using Clock = std::chrono::steady_clock;

std::string scratchRoot()
{
    return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
}

int timedKillsPerOperation()
{
    const char* n = std::getenv("BRIMLET_TIMED_KILLS");
    return n ? std::atoi(n) : 20;
}

struct Operation {
    std::string name;
    std::vector<std::string> args; // after the archive path; "@" stands for the scratch folder
    long inPlaceEntry = -1;
};

struct Scene {
    std::string folder;
    std::string dir() const { return folder + "/gta3.dir"; }
    std::string img() const { return folder + "/gta3.img"; }

    explicit Scene(const std::string& root, int n) : folder(root + "/crash-" + std::to_string(n))
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        static const Bytes data = pattern(8u << 20, 5);          // entries of 4, 1 and 3 MiB
        static const Bytes bigFile = pattern((6u << 20) + 7, 8); // moves any entry
        static const Bytes smallFile = pattern(300000, 9);      // fits entry 0 in place
        makeArchive(folder + "/gta3",
                    {makeEntry(0, 2048, "big.dff"), makeEntry(2048, 512, "road.txd"), makeEntry(2560, 1536, "x.col")},
                    data);
        writeFile(folder + "/big.ifp", bigFile);
        writeFile(folder + "/small.dff", smallFile);
    }
    ~Scene() { std::filesystem::remove_all(folder); }

    std::vector<std::string> command(const Operation& op) const
    {
        std::vector<std::string> args{op.name == "replace moved" || op.name == "replace in place" ? "replace" : op.name,
                                      dir()};
        for (const auto& a : op.args) args.push_back(a[0] == '@' ? folder + a.substr(1) : a);
        return args;
    }
};

struct State {
    Bytes directory;
    std::vector<std::optional<Bytes>> exported;
    bool operator==(const State&) const = default;
};

State stateOf(const Scene& s, long skip)
{
    model::ModelArchive m;
    m.loadDirectory(readFile(s.dir()));
    m.data = readFile(s.img());
    State state{m.directory(), {}};
    for (size_t i = 0; i < m.records.size(); ++i)
        state.exported.push_back(static_cast<long>(i) == skip ? std::nullopt : m.exportEntry(i));
    return state;
}

}  // namespace

TEST(Crashes, KilledAtAnyPointTheArchiveSurvives)
{
    const std::vector<Operation> operations = {
        {"add", {"@/big.ifp"}},
        {"replace in place", {"#0", "@/small.dff"}, 0},
        {"replace moved", {"#1", "@/big.ifp"}},
        {"delete", {"#0"}},
        {"rename", {"#2", "renamed.col"}},
    };
    std::string root = scratchRoot() + "/brimlet-crash-" + std::to_string(::getpid());
    int kills = 0, trial = 0;
    for (const Operation& op : operations) {
        SCOPED_TRACE(op.name);
        State before, after;
        double seconds;
        {
            Scene s(root, trial++);
            before = stateOf(s, op.inPlaceEntry);
            auto start = Clock::now();
            ASSERT_EQ(runCli(s.command(op)).exitCode, 0);
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            after = stateOf(s, op.inPlaceEntry);
        }
        auto check = [&](const Scene& s) {
            Archive reopened;
            ASSERT_NO_THROW(reopened.openimg(s.dir()));
            State now = stateOf(s, op.inPlaceEntry);
            EXPECT_TRUE(now == before || now == after);
            // The next save clears what the killed writer left half-made.
            reopened.renameEntry(0, reopened.name(0));
            for (auto& e : std::filesystem::directory_iterator(s.folder))
                EXPECT_EQ(e.path().filename().string().find(".brimlet-"), std::string::npos) << e.path();
        };
        // At each system call in turn, until the operation runs to its end.
        for (long k = 1;; ++k) {
            Scene s(root, trial++);
            pid_t pid = startCli(s.command(op), BRIMLET_CRASHABLE_CLI_PATH,
                                 {"BRIMLET_KILL_AT_CALL=" + std::to_string(k)});
            if (waitCli(pid) != -1) break;
            ++kills;
            check(s);
        }
        // At points in time spread over the whole operation.
        int points = timedKillsPerOperation();
        for (int i = 0; i < points; ++i) {
            Scene s(root, trial++);
            pid_t pid = startCli(s.command(op));
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds * (i + 0.5) / points));
            ::kill(pid, SIGKILL);
            if (waitCli(pid) == -1) ++kills;
            check(s);
        }
    }
    std::filesystem::remove_all(root);
    std::cout << "[ crashes ] " << kills << " kills survived\n";
    EXPECT_GE(kills, 200);
}
