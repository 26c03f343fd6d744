// brimlet-cli as scripts use it: the real program on temporary archives.
#include "archive/archive.h"
#include "archive/tests/test_support.h"
#include "cli_runner.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        makeArchive(tmp / "gta3", {makeEntry(0, 2, "Car.dff"), makeEntry(2, 1, "road.txd"), makeEntry(3, 1, "car.dff")},
                    pattern(4 * 2048));
    }
    TempDir tmp;
};

}  // namespace

TEST_F(CliTest, ListPrintsOneTabSeparatedLinePerEntry)
{
    Result r = runCli({"list", tmp / "gta3"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "0\t0\t2\tCar.dff\n1\t2\t1\troad.txd\n2\t3\t1\tcar.dff\n");
    EXPECT_EQ(runCli({"list", tmp / "gta3.img"}).out, r.out);
}

TEST_F(CliTest, EntriesByNameIgnoringCaseOrByIndex)
{
    EXPECT_EQ(runCli({"export", tmp / "gta3.dir", "CAR.DFF", tmp / "first"}).exitCode, 0);
    Bytes data = pattern(4 * 2048);
    EXPECT_EQ(readFile(tmp / "first"), Bytes(data.begin(), data.begin() + 4096));
    EXPECT_EQ(runCli({"export", tmp / "gta3.dir", "#2", tmp / "third"}).exitCode, 0);
    EXPECT_EQ(readFile(tmp / "third").size(), 2048u);

    Result unknown = runCli({"delete", tmp / "gta3.dir", "nope.dff"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, "brimlet-cli: No entry \"nope.dff\" in the archive\n");
    EXPECT_EQ(runCli({"delete", tmp / "gta3.dir", "#3"}).exitCode, 1);
}

TEST_F(CliTest, AnExportIntoAFolderTakesTheEntrysNameAndAVersion2FileCutShortIsRefused)
{
    makeFolder(tmp / "out");
    for (const std::string& folder : {tmp / "out", tmp / "out/"}) {
        Result r = runCli({"export", tmp / "gta3", "road.txd", folder});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        Bytes data = pattern(4 * 2048);
        EXPECT_EQ(readFile(tmp / "out/road.txd"), Bytes(data.begin() + 4096, data.begin() + 6144));
    }
    // The later games' single file, "VER2" and its directory inside, cut short.
    writeFile(tmp / "gta3v2.img", {'V', 'E', 'R', '2', 1, 0, 0, 0});
    Result v2 = runCli({"list", tmp / "gta3v2.img"});
    EXPECT_EQ(v2.exitCode, 1);
    EXPECT_EQ(v2.err, "brimlet-cli: " + (tmp / "gta3v2.img") + ": its directory of 1 entry passes the end of the file\n");
}

// Named by its one file, a version 2 archive reads and is written as a
// pair is; create makes one with --version 2.
TEST(CliVersion2, ItIsCreatedListedWrittenExtractedAndChecked)
{
    TempDir t;
    Bytes data = pattern(3 * 2048, 4);
    Bytes file = version2File({{1, 2, 0, "car.dff"}, {3, 1, 0, "road.txd"}}, data, 1);
    writeFile(t / "gta3.img", file);
    EXPECT_EQ(runCli({"list", t / "gta3.img"}).out, "0\t1\t2\tcar.dff\n1\t3\t1\troad.txd\n");
    EXPECT_EQ(runCli({"extract", t / "gta3", t / "out"}).out, "extracted 2, skipped 0\n");
    EXPECT_EQ(readFile(t / "out/road.txd"), Bytes(data.begin() + 4096, data.end()));
    Result check = runCli({"check", t / "gta3.img"});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.out, "No problems found\nNo dead space\n");
    EXPECT_EQ(runCli({"rename", t / "gta3.img", "car.dff", "bus.dff"}).exitCode, 0);
    EXPECT_EQ(readVersion2Independently(readFile(t / "gta3.img"))[0].name, "bus.dff");
    EXPECT_FALSE(exists(t / "gta3.dir"));

    EXPECT_EQ(runCli({"create", "--version", "2", t / "mod.img"}).exitCode, 0);
    EXPECT_EQ(readFile(t / "mod.img"), (Bytes{'V', 'E', 'R', '2', 0, 0, 0, 0}));
    EXPECT_FALSE(exists(t / "mod.dir"));
    writeFile(t / "a.dff", pattern(3000, 7));
    EXPECT_EQ(runCli({"add", t / "mod.img", t / "a.dff"}).exitCode, 0);
    EXPECT_EQ(runCli({"list", t / "mod"}).out, "0\t1\t2\ta.dff\n");
    Result twice = runCli({"create", "--version=2", t / "mod.img"});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_EQ(twice.err, "brimlet-cli: The archive already exists: " + (t / "mod.img") + "\n");
    Result bad = runCli({"create", "--version", "3", t / "other.img"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("--version takes 1 or 2, not '3'"), std::string::npos) << bad.err;
    EXPECT_FALSE(exists(t / "other.img"));
}

TEST_F(CliTest, RenameWarnsOfANameAnotherEntryHasOrNoName)
{
    Result same = runCli({"rename", tmp / "gta3", "road.txd", "CAR.DFF"});
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_EQ(same.err, "brimlet-cli: warning: the entry name \"CAR.DFF\" is the name of entry #0 too (the games load "
                        "only the first)\n");
    Result empty = runCli({"rename", tmp / "gta3", "#1", ""});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.err, "brimlet-cli: warning: the entry name \"\" is empty (no game can load it)\n");
}

TEST_F(CliTest, AddReplaceRenameDelete)
{
    writeFile(tmp / "new.col", pattern(100, 3));
    writeFile(tmp / "two.ifp", pattern(5000, 3));
    ASSERT_EQ(runCli({"add", tmp / "gta3", tmp / "new.col", tmp / "two.ifp"}).exitCode, 0);
    ASSERT_EQ(runCli({"replace", tmp / "gta3", "road.txd", tmp / "two.ifp"}).exitCode, 0);
    ASSERT_EQ(runCli({"rename", tmp / "gta3", "#0", "bus.dff"}).exitCode, 0);
    ASSERT_EQ(runCli({"delete", tmp / "gta3", "car.dff"}).exitCode, 0);
    EXPECT_EQ(runCli({"list", tmp / "gta3"}).out,
              "0\t0\t2\tbus.dff\n1\t8\t3\troad.txd\n2\t4\t1\tnew.col\n3\t5\t3\ttwo.ifp\n");
}

TEST_F(CliTest, AddOfSeveralFilesIsAllOrNothing)
{
    writeFile(tmp / "one.dff", {1});
    writeFile(tmp / "three.dff", {3});
    std::string before = runCli({"list", tmp / "gta3"}).out;
    Result r = runCli({"add", tmp / "gta3", tmp / "one.dff", tmp / "two.dff", tmp / "three.dff"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "brimlet-cli: " + (tmp / "two.dff") + ": File not found\n");
    EXPECT_EQ(runCli({"list", tmp / "gta3"}).out, before);
}

TEST_F(CliTest, FailuresAndUsage)
{
    Result missing = runCli({"list", tmp / "none.dir"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "brimlet-cli: " + (tmp / "none.dir") + ": File not found\n");

    Result help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: brimlet-cli"), std::string::npos);
    const std::string pointer = "Try 'brimlet-cli --help' for more information.\n";
    for (const auto& [args, first] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{}, "no command given"},
             {{"frob", "x"}, "unknown command 'frob'"},
             {{"-x", "list"}, "unknown option '-x'"},
             {{"list", "-q", "x"}, "unknown option '-q'"},
             {{"list"}, "wrong number of arguments for 'list'"},
             {{"export", "x", "y"}, "wrong number of arguments for 'export'"},
             {{"rename", "x", "y", "z", "w"}, "wrong number of arguments for 'rename'"},
             {{"add", "x"}, "wrong number of arguments for 'add'"}}) {
        Result r = runCli(args);
        EXPECT_EQ(r.exitCode, 2) << first;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), "brimlet-cli: " + first + "\n");
        EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), pointer.size())), pointer) << first;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(runCli({"export", "x", "y"}).err,
              "brimlet-cli: wrong number of arguments for 'export'\nusage: brimlet-cli export ARCHIVE ENTRY DEST\n"
              "  write the entry's whole span to DEST (- for standard output; a folder: under the entry's name)\n" + pointer);
    Result commandHelp = runCli({"rename", "--help"});
    EXPECT_EQ(commandHelp.exitCode, 0);
    EXPECT_EQ(commandHelp.out, "usage: brimlet-cli rename ARCHIVE ENTRY NEWNAME\n  rename the entry (at most 24 bytes)\n");

    // After --, names that look like options are names; "-" is always an operand.
    writeFile(tmp / "--help", {7});
    EXPECT_EQ(runCli({"add", "--", tmp / "gta3", "--help"}).exitCode, 1); // relative: no such file here
    EXPECT_EQ(runCli({"add", tmp / "gta3", "--", tmp / "--help"}).exitCode, 0);
    EXPECT_EQ(runCli({"rename", tmp / "gta3", "--", "--help", "-x"}).exitCode, 0);
    Result exported = runCli({"export", tmp / "gta3", "--", "-x", "-"});
    EXPECT_EQ(exported.exitCode, 0);
    EXPECT_EQ(exported.out.substr(0, 1), std::string(1, '\7'));
}

TEST_F(CliTest, NamesAreLatin1InTheArchiveAndUtf8OnTheCommandLine)
{
    std::string cafe = "caf\xC3\xA9.txd"; // as the file system and the terminal spell it
    writeFile(tmp / cafe, {1});
    Result added = runCli({"add", tmp / "gta3", tmp / cafe});
    EXPECT_EQ(added.exitCode, 0);
    EXPECT_EQ(added.err, "brimlet-cli: warning: the entry name \"" + cafe +
                             "\" holds bytes outside printable ASCII, which the games compare as ASCII\n");
    Bytes directory = readFile(tmp / "gta3.dir");
    EXPECT_EQ(Bytes(directory.begin() + 3 * 32 + 8, directory.begin() + 3 * 32 + 17),
              (Bytes{'c', 'a', 'f', 0xE9, '.', 't', 'x', 'd', 0})); // one byte a character, as the window shows it
    std::string listed = runCli({"list", tmp / "gta3"}).out;
    EXPECT_EQ(listed.substr(listed.rfind('\n', listed.size() - 2) + 1), "3\t4\t1\t" + cafe + "\n");
    EXPECT_EQ(runCli({"rename", tmp / "gta3", cafe, "V\xC3\xB3iture"}).err,
              "brimlet-cli: warning: the entry name \"V\xC3\xB3iture\" has no extension (one game loads nothing "
              "without one)\nbrimlet-cli: warning: the entry name \"V\xC3\xB3iture\" holds bytes outside printable "
              "ASCII, which the games compare as ASCII\n");
    EXPECT_EQ(readFile(tmp / "gta3.dir")[3 * 32 + 8 + 1], 0xF3);
    ASSERT_EQ(runCli({"extract", tmp / "gta3", tmp / "out", "#3"}).exitCode, 0);
    EXPECT_TRUE(exists(tmp / "out/V\xC3\xB3iture"));
    // A character an entry cannot hold is refused, and nothing is written.
    writeFile(tmp / "\xE2\x82\xAC.dff", {2});
    Result euro = runCli({"add", tmp / "gta3", tmp / "\xE2\x82\xAC.dff"});
    EXPECT_EQ(euro.exitCode, 1);
    EXPECT_EQ(euro.err, "brimlet-cli: The name \"\xE2\x82\xAC.dff\" has characters that an entry name cannot hold "
                        "(only Latin-1 characters)\n");
    EXPECT_EQ(readFile(tmp / "gta3.dir").size(), 4u * 32);
}

TEST_F(CliTest, ListKeepsOneLinePerEntryAndCheckFailsOnAPartialEntry)
{
    Archive archive;
    archive.openimg(tmp / "gta3");
    archive.renameEntry(0, "a\tb\nc\\d");
    Result listed = runCli({"list", tmp / "gta3"});
    EXPECT_EQ(listed.out.substr(0, listed.out.find('\n') + 1), "0\t0\t2\ta\\x09b\\x0Ac\\d\n");
    Bytes directory = readFile(tmp / "gta3.dir");
    directory.resize(directory.size() + 8);
    writeFile(tmp / "gta3.dir", directory);
    Result checked = runCli({"check", tmp / "gta3"});
    EXPECT_EQ(checked.exitCode, 1) << checked.out;
    EXPECT_NE(checked.out.find("not a multiple of 32"), std::string::npos);
}

#ifndef _WIN32
TEST_F(CliTest, AClosedPipeEndsAListQuietly)
{
    for (int i = 0; i < 200; ++i) writeFile(tmp / ("f" + std::to_string(i) + ".dff"), {1});
    std::vector<std::string> add = {"add", tmp / "gta3"};
    for (int i = 0; i < 200; ++i) add.push_back(tmp / ("f" + std::to_string(i) + ".dff"));
    ASSERT_EQ(runCli(add).exitCode, 0);
    // Listings of 200 lines through a pipe whose reader leaves after one line.
    std::string script = "for i in $(seq 10); do \"$0\" list \"$1\" | head -1 >/dev/null; done; echo done";
    Result r = runCli({"-c", script, BRIMLET_CLI_PATH, tmp / "gta3"}, "/bin/sh");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "done\n");
}
#endif

TEST(CliBulk, CreateImportExtractRebuildAndCheck)
{
    TempDir t;
    std::string archive = t / "mod";
    EXPECT_EQ(runCli({"create", archive}).exitCode, 0);
    Result again = runCli({"create", archive + ".img"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, "brimlet-cli: The archive already exists: " + archive + ".dir\n");

    writeFile(t / "car.dff", pattern(5000, 1));
    writeFile(t / "car.txd", pattern(100, 2));
    Result imported = runCli({"import", archive, t / "car.dff", t / "car.txd"});
    EXPECT_EQ(imported.out, "replaced 0, added 2\n");
    EXPECT_EQ(imported.err, ""); // piped: the summary only
    writeFile(t / "car.dff", pattern(10, 3));
#ifndef _WIN32 // there, CAR.DFF is car.dff
    EXPECT_EQ(runCli({"import", archive, t / "CAR.DFF"}).exitCode, 1); // no such file: nothing changes
#endif
    EXPECT_EQ(runCli({"import", archive, t / "car.dff"}).out, "replaced 1, added 0\n");
    EXPECT_EQ(runCli({"list", archive}).out, "0\t4\t1\tcar.dff\n1\t3\t1\tcar.txd\n");

    Result problems = runCli({"check", archive});
    EXPECT_EQ(problems.exitCode, 0);
    EXPECT_EQ(problems.out, "No problems found\nDead space: 6147 bytes, which rebuild gives back\n");
    EXPECT_EQ(runCli({"rebuild", archive}).out, "gave back 6147 bytes\n");
    EXPECT_EQ(runCli({"list", archive}).out, "0\t0\t1\tcar.dff\n1\t1\t1\tcar.txd\n");
    EXPECT_EQ(readFile(archive + ".img").size(), 2u * 2048);

    Result extracted = runCli({"extract", archive, t / "out", "car.txd"});
    EXPECT_EQ(extracted.out, "extracted 1, skipped 0\n");
    Bytes txd = readFile(t / "out/car.txd");
    ASSERT_EQ(txd.size(), 2048u);
    EXPECT_EQ(Bytes(txd.begin(), txd.begin() + 100), pattern(100, 2));
    EXPECT_FALSE(exists(t / "out/car.dff"));

    EXPECT_EQ(runCli({"rename", archive, "#1", "noextension"}).exitCode, 0);
    Result bad = runCli({"check", archive});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out, "#1 \"noextension\": the name has no extension\nNo dead space\n");
}

TEST_F(CliTest, OutputThatCannotBeWrittenFailsAndHashNamesAreNames)
{
#ifndef _WIN32 // a device that is always full
    RunOptions full;
    full.stdoutPath = "/dev/full";
    Result list = runCli({"list", tmp / "gta3"}, BRIMLET_CLI_PATH, full);
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_EQ(list.err, "brimlet-cli: Stream write error\n");
    EXPECT_EQ(runCli({"--help"}, BRIMLET_CLI_PATH, full).exitCode, 1);
#endif

    // "#" and digits is an index; anything else starting with "#" is a name.
    ASSERT_EQ(runCli({"rename", tmp / "gta3", "#1", "#abc"}).exitCode, 0);
    EXPECT_EQ(runCli({"export", tmp / "gta3", "#abc", tmp / "out"}).exitCode, 0);
    Bytes data = pattern(4 * 2048);
    EXPECT_EQ(readFile(tmp / "out"), Bytes(data.begin() + 2 * 2048, data.begin() + 3 * 2048));
    Result noSuch = runCli({"delete", tmp / "gta3", "#1x"});
    EXPECT_EQ(noSuch.err, "brimlet-cli: No entry \"#1x\" in the archive\n");
}

TEST(CliBulk, NamesInMessagesCannotSteerTheTerminal)
{
    TempDir t;
    std::string dir = makeArchive(t / "e", {makeEntry(0, 1, "\x1b]2;x\x07/a.dff"), makeEntry(1, 1, "nl\nx.dff")},
                                  pattern(2 * 2048));
    Result r = runCli({"extract", dir, t / "out"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "brimlet-cli: #0 \"\\x1B]2;x\\x07/a.dff\" written as \"_]2;x__a.dff\"\n"
                     "brimlet-cli: #1 \"nl\\x0Ax.dff\" written as \"nl_x.dff\"\n");
}

#ifndef _WIN32
TEST(CliProgress, OnATerminalItIsRedrawnAFewTimesASecondWithBytesAndAPercentage)
{
    TempDir t;
    ASSERT_EQ(runCli({"create", t / "big"}).exitCode, 0);
    std::string command = std::string(BRIMLET_CLI_PATH) + " import " + (t / "big");
    for (int i = 0; i < 1500; ++i) {
        std::string file = t / ("f" + std::to_string(i) + ".dff");
        writeFile(file, pattern(i == 0 ? 3u << 20 : 100));
        command += " " + file;
    }
    auto start = std::chrono::steady_clock::now();
    Result r = runCli({"-qec", command, "/dev/null"}, "/usr/bin/script"); // a terminal of its own
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.exitCode, 0) << r.out;
    size_t redraws = 0;
    for (size_t at = r.out.find("\rimport:"); at != std::string::npos; at = r.out.find("\rimport:", at + 1)) ++redraws;
    EXPECT_LE(redraws, static_cast<size_t>(seconds * 5) + 3) << r.out; // not one per entry
    EXPECT_NE(r.out.find("import: 1500 of 1500 entries, 3.1 MB of 3.1 MB (100%)"), std::string::npos) << r.out;
    // The first entry is most of the bytes: after it, most of the way is done.
    EXPECT_EQ(r.out.find("import: 1 of 1500 entries, 3.0 MB of 3.1 MB (0%)"), std::string::npos);
}
#endif
