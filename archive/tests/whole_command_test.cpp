// What must hold at every moment of a command, not only at its start: the
// file the directory's path names is locked, a hard link made to the data
// file meanwhile is noticed before bytes are overwritten, and the bytes
// past the last whole entry of a directory survive every save. The table's
// change notices are the moments between a command's steps: each test acts
// there as a second program would.
#include "archive/archive.h"
#include "archive/descriptor.h"
#include "archive/errors.h"
#include "archive/sys.h"
#include "archive/tests/test_support.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

// Whether another program could lock the file that `path` names now.
bool lockableByOthers(const std::string& path)
{
    Descriptor fd(sys::open(path.c_str(), O_RDWR | sys::kOpenNonBlocking));
    if (!fd.valid()) return true;
    if (sys::flock(fd.get(), sys::kLockExclusive | sys::kLockNoWait) != 0) return false;
    sys::flock(fd.get(), sys::kUnlock);
    return true;
}

// Every entry's exported bytes.
std::vector<Bytes> exportsOf(const std::string& dir)
{
    Archive archive;
    archive.openimg(dir);
    TempDir out;
    std::vector<Bytes> all;
    for (size_t i = 0; i < archive.count(); ++i) {
        archive.exportEntry(i, out / "e");
        all.push_back(readFile(out / "e"));
    }
    return all;
}

// Runs `act` once, at the n-th change of the table (counted from 1), after it happened.
Archive::ChangeListener atChange(int n, std::function<void()> act)
{
    auto seen = std::make_shared<int>(0);
    return [=](const TableChange&, bool before) {
        if (!before && ++*seen == n) act();
    };
}

// Four entries, the third padded with a dead sector before it, so that a
// rebuild has bytes to move and no room at the front to move them into.
std::string fourEntries(const TempDir& t)
{
    return makeArchive(t / "x",
                       {makeEntry(0, 2, "a.dff"), makeEntry(2, 1, "b.txd"), makeEntry(4, 3, "c.col"),
                        makeEntry(7, 1, "d.ifp")},
                       pattern(8 * 2048, 5));
}

}  // namespace

TEST(WholeCommand, TheDirectoryFileIsLockedBetweenEverySave)
{
    struct Case {
        const char* name;
        std::function<void(Archive&, const TempDir&)> run;
    };
    const std::vector<Case> cases = {
        {"replace in place", [](Archive& a, const TempDir& t) { a.replaceEntry(0, t / "small.dff"); }},
        {"replace moved", [](Archive& a, const TempDir& t) { a.replaceEntry(1, t / "big.dff"); }},
        {"rebuild", [](Archive& a, const TempDir&) { a.rebuild(); }},
        {"import", [](Archive& a, const TempDir& t) { a.importFiles({t / "small.dff", t / "big.dff"}); }},
        {"rename", [](Archive& a, const TempDir&) { a.renameEntry(2, "r.col"); }},
        {"delete", [](Archive& a, const TempDir&) { a.deleteEntry(3); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir t;
        std::string dir = fourEntries(t);
        writeFile(t / "small.dff", pattern(100, 8));
        writeFile(t / "big.dff", pattern(5000, 9));
        Archive a;
        a.openimg(dir);
        int changes = 0, unlocked = 0;
        a.setChangeListener([&](const TableChange&, bool before) {
            if (before) return;
            ++changes;
            if (lockableByOthers(dir)) ++unlocked;
        });
        c.run(a, t);
        EXPECT_GT(changes, 0);
        EXPECT_EQ(unlocked, 0);
        EXPECT_TRUE(lockableByOthers(dir)); // and given back at the end
    }
}

TEST(WholeCommand, AHardLinkMadeDuringARebuildStopsItAndBothArchivesKeepTheirBytes)
{
    // A backup taken as the rebuild runs: the directory copied and the data
    // file linked, either right after the switch to the staging copies, or
    // the directory then and the link only after the switch to the front
    // (when only the cut is left, which would take the staging copies away).
    for (int linkAtChange : {1, 2}) {
        SCOPED_TRACE("link made after save " + std::to_string(linkAtChange));
        TempDir t;
        std::string dir = fourEntries(t);
        std::vector<Bytes> before = exportsOf(dir);
        Archive a;
        a.openimg(dir);
        int changes = 0;
        a.setChangeListener([&](const TableChange&, bool beforeChange) {
            if (beforeChange) return;
            if (++changes == 1) std::filesystem::copy_file(fsPath(dir), fsPath(t / "bk.dir"));
            if (changes == linkAtChange) std::filesystem::create_hard_link(fsPath(t / "x.img"), fsPath(t / "bk.img"));
        });
        try {
            a.rebuild();
            ADD_FAILURE() << "the rebuild went on";
        } catch (const Failure& f) {
            EXPECT_NE(std::string(f.what()).find("got another hard link while the rebuild ran"), std::string::npos)
                << f.what();
        }
        EXPECT_EQ(changes, linkAtChange);
        EXPECT_EQ(exportsOf(dir), before);
        EXPECT_EQ(exportsOf(t / "bk.dir"), before);
    }
}

TEST(WholeCommand, AHardLinkMadeDuringAnInPlaceReplaceKeepsTheBackupsBytes)
{
    // The backup's directory, copied before the replace, points at the span
    // that an in-place replace would write over.
    TempDir t;
    std::string dir = fourEntries(t);
    std::vector<Bytes> before = exportsOf(dir);
    std::filesystem::copy_file(fsPath(dir), fsPath(t / "bk.dir"));
    writeFile(t / "small.dff", pattern(100, 8));
    Archive a;
    a.openimg(dir);
    a.setChangeListener(atChange(1, [&] {
        std::filesystem::create_hard_link(fsPath(t / "x.img"), fsPath(t / "bk.img"));
    }));
    a.replaceEntry(2, t / "small.dff"); // it succeeds: the entry stays where the copy was made
    EXPECT_EQ(exportsOf(t / "bk.dir"), before);
    std::vector<Bytes> now = exportsOf(dir);
    ASSERT_EQ(now.size(), 4u);
    EXPECT_EQ(Bytes(now[2].begin(), now[2].begin() + 100), pattern(100, 8));
    for (size_t i : {0u, 1u, 3u}) EXPECT_EQ(now[i], before[i]);
}

TEST(WholeCommand, AddIntoADataFileWithOtherNamesNeverWritesBelowItsEnd)
{
    // Another archive shares the data file through a hard link, and its
    // unpadded last entry ends in the partial last sector, where our table
    // sees nothing.
    TempDir t;
    Bytes data = pattern(2048 + 1000, 3);
    std::string dir = makeArchive(t / "x", {makeEntry(0, 1, "a.dff")}, data);
    writeFile(t / "bk.dir", directoryBytes({makeEntry(0, 1, "a.dff"), makeEntry(1, 1, "b.dff")}));
    std::filesystem::create_hard_link(fsPath(t / "x.img"), fsPath(t / "bk.img"));
    writeFile(t / "c.dff", pattern(500, 7));
    for (bool many : {false, true}) {
        Archive a;
        a.openimg(dir);
        if (many)
            a.addEntries({t / "c.dff", t / "c.dff"});
        else
            a.addEntry(t / "c.dff");
        Bytes now = readFile(t / "x.img");
        EXPECT_EQ(Bytes(now.begin(), now.begin() + static_cast<long>(data.size())), data);
        std::vector<Bytes> ours = exportsOf(dir);
        EXPECT_EQ(Bytes(ours.back().begin(), ours.back().begin() + 500), pattern(500, 7));
        data = now;
    }
    std::vector<Bytes> theirs = exportsOf(t / "bk.dir");
    Bytes original = pattern(2048 + 1000, 3);
    EXPECT_EQ(Bytes(theirs[1].begin(), theirs[1].begin() + 1000), Bytes(original.begin() + 2048, original.end()));
}

TEST(WholeCommand, TheBytesPastTheLastWholeEntryOutliveEveryWrite)
{
    const Bytes tail = {0xEE, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    struct Case {
        const char* name;
        std::function<void(Archive&, const TempDir&)> run;
        size_t entriesAfter;
    };
    const std::vector<Case> cases = {
        {"add", [](Archive& a, const TempDir& t) { a.addEntry(t / "new.dff"); }, 5},
        {"rename", [](Archive& a, const TempDir&) { a.renameEntry(0, "z.dff"); }, 4},
        {"delete", [](Archive& a, const TempDir&) { a.deleteEntry(0); }, 3},
        {"replace", [](Archive& a, const TempDir& t) { a.replaceEntry(1, t / "new.dff"); }, 4},
        {"import", [](Archive& a, const TempDir& t) { a.importFiles({t / "new.dff"}); }, 5},
        {"rebuild", [](Archive& a, const TempDir&) { a.rebuild(); }, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir t;
        std::string dir = fourEntries(t);
        Bytes bytes = readFile(dir);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        writeFile(dir, bytes);
        writeFile(t / "new.dff", pattern(3000, 4));
        Archive a;
        a.openimg(dir);
        c.run(a, t);
        Bytes now = readFile(dir);
        ASSERT_EQ(now.size(), c.entriesAfter * 32 + tail.size());
        EXPECT_EQ(Bytes(now.end() - static_cast<long>(tail.size()), now.end()), tail);
        // Opened again, the next command still finds the directory as it left it.
        Archive again;
        again.openimg(dir);
        again.renameEntry(0, "again.dff");
        EXPECT_EQ(readFile(dir).size(), now.size());
    }
}

#ifndef _WIN32 // the system-call layer tells a Recorder on POSIX only
namespace {

// Runs `act` once, at the first flush of a command: after its bytes are
// written, before its directory is saved.
struct AtFirstFlush : sys::Recorder {
    std::function<void()> act;
    void opened(int, int, const char*, int) override {}
    void wrote(int, const void*, size_t, uint64_t) override {}
    void resized(int, uint64_t) override {}
    void renamed(int, const char*, const char*) override {}
    void linked(int, int, const char*) override {}
    void unlinked(const char*) override {}
    void madeFolder(const char*) override {}
    void duplicated(int, int) override {}
    void closed(int) override {}
    void flushed(int) override
    {
        if (act) std::exchange(act, nullptr)();
    }
    void flushedEverything() override {}
};

}  // namespace

// Another program saves a version 2 archive as most do, a new file renamed
// over the old, while an add of ours runs: the directory we save must go
// into the file we locked and wrote into, or nowhere. It goes nowhere; the
// other program's file keeps every byte.
// The same for a pair: a data file, or both files, renamed into place by
// another program's rebuild while an add of ours runs, and a version 2
// file while a rebuild of ours runs.
TEST(WholeCommand, FilesRenamedOverTheArchiveDuringACommandAreNotWritten)
{
    for (std::string renamed : {"x.img", "x.img x.dir"}) {
        SCOPED_TRACE(renamed);
        TempDir t;
        makeArchive(t / "theirs", {makeEntry(0, 1, "other.txd")}, pattern(2048, 3));
        Bytes theirDirectory = readFile(t / "theirs.dir"), theirData = readFile(t / "theirs.img");
        makeArchive(t / "x", {makeEntry(0, 1, "mine.dff")}, pattern(2048, 4));
        writeFile(t / "new.dff", pattern(5000, 5));
        Archive archive;
        archive.openimg(t / "x.dir");
        AtFirstFlush recorder;
        recorder.act = [&] {
            std::filesystem::rename(fsPath(t / "theirs.img"), fsPath(t / "x.img"));
            if (renamed.ends_with("dir")) std::filesystem::rename(fsPath(t / "theirs.dir"), fsPath(t / "x.dir"));
        };
        sys::setRecorder(&recorder);
        EXPECT_FAILURE(archive.addEntry(t / "new.dff"), "Another program is saving this archive; try again when it has finished");
        sys::setRecorder(nullptr);
        EXPECT_EQ(readFile(t / "x.img"), theirData);
        if (renamed.ends_with("dir")) {
            EXPECT_EQ(readFile(t / "x.dir"), theirDirectory);
        }
    }
    TempDir t;
    Bytes theirs = version2File({{1, 1, 0, "other.txd"}}, pattern(2048, 3), 1);
    writeFile(t / "theirs.img", theirs);
    writeFile(t / "x.img", version2File({{2, 1, 0, "mine.dff"}}, pattern(2 * 2048, 4), 1));
    Archive archive;
    archive.openimg(t / "x.img");
    AtFirstFlush recorder;
    recorder.act = [&] { std::filesystem::rename(fsPath(t / "theirs.img"), fsPath(t / "x.img")); };
    sys::setRecorder(&recorder);
    EXPECT_FAILURE(archive.rebuild(), "Another program is saving this archive; try again when it has finished");
    sys::setRecorder(nullptr);
    EXPECT_EQ(readFile(t / "x.img"), theirs);
}

TEST(WholeCommand, AVersion2FileRenamedOverTheArchiveDuringACommandIsNotWritten)
{
    TempDir t;
    Bytes theirs = version2File({{1, 1, 0, "other.txd"}}, pattern(2048, 3), 1);
    writeFile(t / "theirs.img", theirs);
    writeFile(t / "x.img", version2File({{1, 1, 0, "mine.dff"}}, pattern(2048, 4), 1));
    writeFile(t / "new.dff", pattern(5000, 5));
    Archive archive;
    archive.openimg(t / "x.img");
    AtFirstFlush recorder;
    recorder.act = [&] { std::filesystem::rename(fsPath(t / "theirs.img"), fsPath(t / "x.img")); };
    sys::setRecorder(&recorder);
    EXPECT_FAILURE(archive.addEntry(t / "new.dff"), "Another program is saving this archive; try again when it has finished");
    sys::setRecorder(nullptr);
    EXPECT_EQ(readFile(t / "x.img"), theirs);
    EXPECT_EQ(archive.count(), 1u);
}
#endif
