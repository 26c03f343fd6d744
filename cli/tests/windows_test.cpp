// What brimlet-cli does on Windows that it does differently elsewhere: the
// Windows error codes, the read-only attribute, UTF-16 names, hard links,
// and files that other programs hold open. Runs under wine here.
#include "archive/file.h"
#include "archive/temporary_files.h"
#include "archive/tests/test_support.h"
#include "cli_runner.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

// Removes a folder whatever its depth (std::filesystem stops at MAX_PATH).
void removeTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName, path = folder + L"\\" + name;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeTree(path);
            else ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
}

// Holds a file open as another program would: `share` says what it lets
// others do meanwhile.
class HeldOpen {
public:
    HeldOpen(const std::string& path, DWORD share)
        : handle_(::CreateFileW(wideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~HeldOpen() { ::CloseHandle(handle_); }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

class OnWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = makeArchive(tmp / "gta3", {makeEntry(0, 1, "a.dff"), makeEntry(1, 1, "b.txd")}, pattern(2 * 2048));
        writeFile(tmp / "new.dff", pattern(3000, 4));
    }
    TempDir tmp;
    std::string dir;
};

}  // namespace

TEST_F(OnWindows, AFileHeldWithoutSharingIsIoError32AndNothingChanges)
{
    Bytes directory = readFile(dir), data = readFile(tmp / "gta3.img");
    {
        HeldOpen game(tmp / "gta3.img", FILE_SHARE_READ); // as a running game might
        ASSERT_TRUE(game.valid());
        Result r = runCli({"add", dir, tmp / "new.dff"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "brimlet-cli: " + (tmp / "gta3.img") + ": I/O error 32\n");
    }
    EXPECT_EQ(readFile(dir), directory);
    EXPECT_EQ(readFile(tmp / "gta3.img"), data);
    // Another program that shares the file, as editors do, is no obstacle.
    HeldOpen viewer(tmp / "gta3.img", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(viewer.valid());
    EXPECT_EQ(runCli({"add", dir, tmp / "new.dff"}).exitCode, 0);
    EXPECT_EQ(runCli({"list", dir}).out, "0\t0\t1\ta.dff\n1\t1\t1\tb.txd\n2\t2\t2\tnew.dff\n");
}

TEST_F(OnWindows, TheReadOnlyAttributeIsFileAccessDenied)
{
    Bytes data = readFile(tmp / "gta3.img");
    ASSERT_TRUE(::SetFileAttributesW(wideText(tmp / "gta3.img").c_str(), FILE_ATTRIBUTE_READONLY));
    Result r = runCli({"add", dir, tmp / "new.dff"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "brimlet-cli: " + (tmp / "gta3.img") + ": File access denied\n");
    ::SetFileAttributesW(wideText(tmp / "gta3.img").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(readFile(tmp / "gta3.img"), data);
    // A read-only source is only read.
    ASSERT_TRUE(::SetFileAttributesW(wideText(tmp / "new.dff").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(runCli({"add", dir, tmp / "new.dff"}).exitCode, 0);
}

TEST_F(OnWindows, MissingFilesAndFoldersHaveTheirOwnCodes)
{
    EXPECT_EQ(runCli({"list", tmp / "none.dir"}).err, "brimlet-cli: " + (tmp / "none.dir") + ": File not found\n");
    EXPECT_EQ(runCli({"list", tmp / "nofolder\\x.dir"}).err,
              "brimlet-cli: " + (tmp / "nofolder\\x.dir") + ": Invalid filename\n");
    EXPECT_EQ(runCli({"add", dir, tmp / "missing.dff"}).err,
              "brimlet-cli: " + (tmp / "missing.dff") + ": File not found\n");
}

TEST_F(OnWindows, NamesBeyondAsciiSurviveTheTripThroughUtf16)
{
    std::string folder = tmp / "Mods \xC3\xA9t\xC3\xA9 \xD0\x9C\xD0\xBE\xD0\xB4";      // "Mods été Мод"
    std::string source = folder + "\\V\xC3\xB3iture.dff";                              // "Vóiture.dff"
    std::filesystem::create_directory(fsPath(folder));
    writeFile(source, pattern(100, 7));
    ASSERT_EQ(runCli({"create", folder + "\\gta3"}).exitCode, 0);
    ASSERT_EQ(runCli({"add", folder + "\\gta3", source}).exitCode, 0);
    EXPECT_EQ(runCli({"list", folder + "\\gta3.img"}).out, "0\t0\t1\tV\xC3\xB3iture.dff\n");
    ASSERT_EQ(runCli({"extract", folder + "\\gta3", folder + "\\out"}).exitCode, 0);
    Bytes out = readFile(folder + "\\out\\V\xC3\xB3iture.dff");
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 100), pattern(100, 7));
}

TEST_F(OnWindows, ADirectoryWithAHardLinkIsWrittenInPlaceAndKeepsIt)
{
    ASSERT_TRUE(::CreateHardLinkW(wideText(tmp / "backup.dir").c_str(), wideText(dir).c_str(), nullptr));
    ASSERT_EQ(runCli({"delete", dir, "#0"}).exitCode, 0);
    EXPECT_EQ(readFile(dir).size(), 32u);
    EXPECT_EQ(readFile(tmp / "backup.dir"), readFile(dir)); // still one file under both names
}

TEST_F(OnWindows, ASaveKeepsTheDirectoryFilesAttributes)
{
    ASSERT_TRUE(::SetFileAttributesW(wideText(dir).c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(runCli({"rename", dir, "#0", "c.dff"}).exitCode, 0);
    DWORD attributes = ::GetFileAttributesW(wideText(dir).c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(runCli({"list", dir}).out, "0\t0\t1\tc.dff\n1\t1\t1\tb.txd\n");
    // No temporary file is left beside it.
    size_t files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(fsPath(tmp.path()))) ++files;
    EXPECT_EQ(files, 3u); // gta3.dir, gta3.img, new.dff
}

TEST_F(OnWindows, AnExportToStandardOutputIsByteForByte)
{
    // Text mode would write CR before every LF byte of the entry.
    Result r = runCli({"export", dir, "#1", "-"});
    EXPECT_EQ(r.exitCode, 0);
    Bytes data = pattern(2 * 2048);
    EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), Bytes(data.begin() + 2048, data.end()));
}

TEST_F(OnWindows, PathsLongerThanMaxPathWork)
{
    std::string folder = tmp.path();
    while (folder.size() < 300) folder += "\\a fairly long folder name";
    std::filesystem::create_directories(fsPath(folder));
    ASSERT_EQ(runCli({"create", folder + "\\gta3"}).exitCode, 0);
    ASSERT_EQ(runCli({"add", folder + "\\gta3", tmp / "new.dff"}).exitCode, 0);
    ASSERT_EQ(runCli({"rename", folder + "\\gta3", "#0", "car.dff"}).exitCode, 0);
    EXPECT_EQ(runCli({"list", folder + "\\gta3"}).out, "0\t0\t2\tcar.dff\n");
    ASSERT_EQ(runCli({"extract", folder + "\\gta3", folder + "\\out"}).exitCode, 0);
    EXPECT_EQ(readFile(folder + "\\out\\car.dff").size(), 2u * 2048);
    removeTree(L"\\\\?\\" + wideText(tmp.path()) + L"\\a fairly long folder name");
}

TEST_F(OnWindows, OnlyOurOwnLeftoversOfGoneProcessesAreCleanedUp)
{
    std::string ours = temporaryFileName(); // ".brimlet-<host>-<pid>-<n>.tmp"
    std::string host = ours.substr(0, ours.find('-', 9));
    std::string dead = host + "-999999-0.tmp";
    for (std::string name : {dead, host + "-01-0.tmp", std::string(".brimlet-999999-0.tmp"),
                             std::string(".brimlet-0123456789abcdef-999999-0.tmp"), std::string("gta3.dir.brimlet-1-backup")})
        writeFile(tmp / name, {1});
    ASSERT_EQ(runCli({"rename", dir, "#0", "c.dff"}).exitCode, 0);
    EXPECT_FALSE(exists(tmp / dead));                 // of this host's process that is gone
    EXPECT_TRUE(exists(tmp / (host + "-01-0.tmp")));  // not a name we make
    EXPECT_TRUE(exists(tmp / ".brimlet-999999-0.tmp")); // nothing says which host made it
    EXPECT_TRUE(exists(tmp / ".brimlet-0123456789abcdef-999999-0.tmp")); // another host's
    EXPECT_TRUE(exists(tmp / "gta3.dir.brimlet-1-backup"));
}

TEST_F(OnWindows, OneFileBehindBothNamesAndSharedDataFilesAreKeptWhole)
{
    writeFile(tmp / "x.img", directoryBytes({makeEntry(0, 1, "a.dff")}));
    ASSERT_TRUE(::CreateHardLinkW(wideText(tmp / "x.dir").c_str(), wideText(tmp / "x.img").c_str(), nullptr));
    Result one = runCli({"add", tmp / "x.dir", tmp / "new.dff"});
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_NE(one.err.find("are one file reached by two names"), std::string::npos) << one.err;
    EXPECT_EQ(readFile(tmp / "x.img"), directoryBytes({makeEntry(0, 1, "a.dff")}));

    // A backup made with hard links shares the data file: rebuild refuses.
    ASSERT_EQ(runCli({"delete", dir, "#0"}).exitCode, 0); // dead space at the front
    ASSERT_TRUE(::CreateHardLinkW(wideText(tmp / "backup.img").c_str(), wideText(tmp / "gta3.img").c_str(), nullptr));
    Bytes data = readFile(tmp / "gta3.img");
    Result rebuilt = runCli({"rebuild", dir});
    EXPECT_EQ(rebuilt.exitCode, 1);
    EXPECT_NE(rebuilt.err.find("has other hard links"), std::string::npos) << rebuilt.err;
    EXPECT_EQ(readFile(tmp / "backup.img"), data);
}

TEST_F(OnWindows, ExtractAndExportNeverWriteOverOrBesideAnotherArchivesFile)
{
    // Case twins are one file here: gta3.img is GTA3.IMG.
    ::DeleteFileW(wideText(dir).c_str());
    writeFile(tmp / "GTA3.DIR", directoryBytes({makeEntry(0, 1, "x.dff")}));
    TempDir modFolder;
    std::string mod = makeArchive(modFolder / "mod", {makeEntry(0, 1, "gta3.dir"), makeEntry(1, 1, "Gta3.Img"),
                                                     makeEntry(2, 1, "other.img")}, pattern(3 * 2048, 9));
    Bytes directory = readFile(tmp / "GTA3.DIR"), data = readFile(tmp / "gta3.img");
    Result r = runCli({"extract", mod, tmp.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("#0 \"gta3.dir\" skipped: beside GTA3.DIR"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("#1 \"Gta3.Img\" skipped: beside gta3.img"), std::string::npos) << r.err;
    EXPECT_TRUE(exists(tmp / "other.img"));
    EXPECT_EQ(runCli({"export", mod, "#0", tmp / "Gta3.dir"}).exitCode, 1);
    EXPECT_EQ(readFile(tmp / "GTA3.DIR"), directory);
    EXPECT_EQ(readFile(tmp / "gta3.img"), data);
}

TEST_F(OnWindows, NamesEndingInDotsAreTheNamesWindowsReads)
{
    EXPECT_EQ(runCli({"list", dir + ".."}).out, "0\t0\t1\ta.dff\n1\t1\t1\tb.txd\n");
    ASSERT_EQ(runCli({"create", tmp / "mod.dir. "}).exitCode, 0);
    EXPECT_TRUE(exists(tmp / "mod.dir"));
    EXPECT_TRUE(exists(tmp / "mod.img"));
    // "new.dff." and "new.dff " are the file new.dff, and so the entry new.dff.
    EXPECT_EQ(runCli({"import", dir, tmp / "new.dff."}).out, "replaced 0, added 1\n");
    EXPECT_EQ(runCli({"import", dir, tmp / "new.dff "}).out, "replaced 1, added 0\n");
    EXPECT_EQ(runCli({"add", dir, tmp / "new.dff.."}).exitCode, 0);
    // So are "new.dff\." and "new.dff\x\..".
    EXPECT_EQ(runCli({"add", dir, tmp / "new.dff\\."}).exitCode, 0);
    EXPECT_EQ(runCli({"add", dir, tmp / "new.dff\\x\\.."}).exitCode, 0);
    EXPECT_EQ(runCli({"list", dir}).out, "0\t0\t1\ta.dff\n1\t1\t1\tb.txd\n2\t4\t2\tnew.dff\n3\t6\t2\tnew.dff\n"
                                         "4\t8\t2\tnew.dff\n5\t10\t2\tnew.dff\n");
}

TEST_F(OnWindows, AFolderWhereTheDataFileShouldBeStillListsTheDirectory)
{
    std::string other = makeArchive(tmp / "other", {makeEntry(0, 1, "a.dff")}, {});
    std::filesystem::remove(fsPath(tmp / "other.img"));
    makeFolder(tmp / "other.img");
    EXPECT_EQ(runCli({"list", other}).out, "0\t0\t1\ta.dff\n");
    EXPECT_EQ(runCli({"add", other, tmp / "new.dff"}).err,
              "brimlet-cli: " + (tmp / "other.img") + ": File access denied\n");
}
