// The archive operations on real files, byte for byte.
#include "archive/archive.h"
#include "archive/errors.h"
#include "archive/sectors.h"
#include "archive/sys.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

Bytes slice(const Bytes& b, size_t from, size_t length) { return Bytes(b.begin() + from, b.begin() + from + length); }
Bytes zeros(size_t n) { return Bytes(n, 0); }

// The same commands on both versions, the same bytes: starts and data are
// counted from the first data sector (Layout in test_support.h).
class Operations : public ::testing::TestWithParam<Archive::Version> {
protected:
    // Three entries: a.dff (sectors 0-1), b.txd (2), c.col (3-5), data 6 sectors.
    void SetUp() override
    {
        data = pattern(6 * 2048, 9);
        dir = layout.make(tmp / "gta3", {makeEntry(0, 2, "a.dff"), makeEntry(2, 1, "b.txd"), makeEntry(3, 3, "c.col")},
                          data);
        img = layout.dataPath(dir);
        archive.openimg(dir);
    }
    Bytes dataNow() const { return layout.data(dir); }
    Bytes directoryNow() const { return layout.directory(dir); }
    int64_t start(size_t i) const { return layout.start(archive, i); }

    Layout layout{GetParam()};
    TempDir tmp;
    std::string dir, img; // the archive as named, and its data file (the same file for version 2)
    Bytes data;
    Archive archive;
};

}  // namespace

TEST_P(Operations, OpenLoadsEveryEntryFromAnyArchiveName)
{
    for (std::string name : {"gta3.img", "gta3.dir", "gta3"}) {
        if (GetParam() == Archive::Version::Two && name == "gta3.dir") continue; // no such file
        Archive other;
        other.openimg(tmp / name);
        EXPECT_EQ(other.version(), GetParam());
        EXPECT_EQ(other.directoryPath(), dir);
        EXPECT_EQ(other.dataPath(), tmp / "gta3.img");
        ASSERT_EQ(other.count(), 3u);
        EXPECT_EQ(other.name(2), "c.col");
        EXPECT_EQ(layout.start(other, 2), 3);
    }
}

TEST_P(Operations, OpenWithoutDirectoryFailsAndKeepsThePreviousArchive)
{
    writeFile(tmp / "only.img", {1, 2, 3});
    EXPECT_FAILURE(archive.openimg(tmp / "only.img"), "File not found");
    EXPECT_EQ(archive.directoryPath(), dir);
    EXPECT_EQ(archive.count(), 3u);
    EXPECT_FAILURE(archive.openimg(tmp / "nofolder/x.dir"), "Invalid filename");
    EXPECT_EQ(archive.directoryPath(), dir);
}

TEST(Archive, EmptyAndOddSizedDirectories)
{
    TempDir tmp;
    writeFile(tmp / "empty.dir", {});
    Archive archive;
    archive.openimg(tmp / "empty.dir");
    EXPECT_EQ(archive.count(), 0u);
    archive.deleteEntry(0); // nothing to delete: nothing happens
    EXPECT_EQ(readFile(tmp / "empty.dir").size(), 0u);

    Bytes hundred = directoryBytes({makeEntry(0, 1, "a"), makeEntry(1, 1, "b"), makeEntry(2, 1, "c")});
    hundred.resize(100, 0xEE);
    writeFile(tmp / "odd.dir", hundred);
    archive.openimg(tmp / "odd.dir");
    EXPECT_EQ(archive.count(), 3u);
    archive.renameEntry(1, "b");
    EXPECT_EQ(readFile(tmp / "odd.dir"), hundred);
}

TEST(Archive, DirectoryOfMoreThan65536EntriesIsRefused)
{
    TempDir tmp;
    writeFile(tmp / "big.dir", Bytes(65537 * 32, 0));
    Archive archive;
    EXPECT_FAILURE(archive.openimg(tmp / "big.dir"), "The directory file " + (tmp / "big.dir") + " holds more than 65536 entries");
    EXPECT_FALSE(archive.isOpen());
    writeFile(tmp / "full.dir", Bytes(65536 * 32 + 31, 0));
    archive.openimg(tmp / "full.dir");
    EXPECT_EQ(archive.count(), 65536u);
    writeFile(tmp / "full.img", {});
    writeFile(tmp / "new.dff", {1});
    EXPECT_FAILURE(archive.addEntry(tmp / "new.dff"), "The archive is full: it holds 65536 entries, the most it can hold");
    EXPECT_EQ(readFile(tmp / "full.img").size(), 0u);
}

TEST_P(Operations, ExportWritesTheWholeSpan)
{
    archive.exportEntry(2, tmp / "out.col");
    EXPECT_EQ(readFile(tmp / "out.col"), slice(data, 3 * 2048, 3 * 2048));
    EXPECT_EQ(dataNow(), data);
}

// A reader that pulls an entry piece by piece gets the span export writes,
// and is refused where export is: a span past the end, a directory another
// program changed.
TEST_P(Operations, AnEntryReadInPiecesIsItsWholeSpan)
{
    Bytes got;
    std::vector<char> piece(1000);
    for (size_t n; (n = archive.readEntry(2, got.size(), piece)) > 0;) got.insert(got.end(), piece.begin(), piece.begin() + n);
    EXPECT_EQ(got, slice(data, 3 * 2048, 3 * 2048));
    EXPECT_EQ(archive.readEntry(2, 99999, piece), 0u);

    Archive bad;
    bad.openimg(layout.make(tmp / "bad", {makeEntry(5, 2, "past")}, pattern(6 * 2048)));
    EXPECT_FAILURE(bad.readEntry(0, 0, piece), "Read beyond end of file");
    Bytes changed = readFile(dir);
    changed[GetParam() == Archive::Version::One ? 0 : 8] ^= 1; // the first entry's start
    writeFile(dir, changed);
    EXPECT_THROW(archive.readEntry(0, 0, piece), Failure);
}

TEST_P(Operations, ExportOfZeroSectorsIsAnEmptyFile)
{
    Archive z;
    z.openimg(layout.make(tmp / "z", {makeEntry(1, 0, "zero")}, {}));
    writeFile(tmp / "out", {1, 2, 3});
    z.exportEntry(0, tmp / "out");
    EXPECT_EQ(readFile(tmp / "out").size(), 0u);
}

TEST_P(Operations, ExportPastTheEndFailsBeforeCreatingTheDestination)
{
    uint32_t most = GetParam() == Archive::Version::One ? 4294967295u : 65535u;
    Archive bad;
    bad.openimg(layout.make(tmp / "bad",
                            {makeEntry(5, most, "huge"), makeEntry(-1, 1, "negative"), makeEntry(5, 2, "past")},
                            pattern(6 * 2048)));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_FAILURE(bad.exportEntry(i, tmp / "out"), "Read beyond end of file");
        EXPECT_FALSE(exists(tmp / "out"));
    }
}

TEST_P(Operations, ExportToAMissingFolderCannotCreateTheFile)
{
    EXPECT_FAILURE(archive.exportEntry(0, tmp / "no/out"), "Cannot create file " + (tmp / "no/out"));
}

TEST_P(Operations, ExportOntoTheArchiveItselfIsRefused)
{
    std::vector<std::string> targets{img, dir};
    if (makeLink(img, tmp / "alias")) targets.push_back(tmp / "alias");
    for (const std::string& target : targets)
        EXPECT_FAILURE(archive.exportEntry(0, target),
                       "An entry cannot be exported onto the archive's own directory or data file");
    EXPECT_EQ(dataNow(), data);
}

TEST_P(Operations, AddAppendsPaddedDataWithTheExtraZeroByte)
{
    // 20 sectors of data; a 1000-byte file lands at sector 20 with one sector.
    layout.writeData(dir, pattern(20 * 2048, 3));
    Bytes file = pattern(1000, 5);
    writeFile(tmp / "new.dff", file);
    Bytes dirBefore = directoryNow();

    EXPECT_EQ(archive.addEntry(tmp / "new.dff"), 3u);

    Bytes after = dataNow();
    ASSERT_EQ(after.size(), 20u * 2048 + 2048 + 1);
    EXPECT_EQ(slice(after, 0, 20 * 2048), pattern(20 * 2048, 3));
    EXPECT_EQ(slice(after, 20 * 2048, 1000), file);
    EXPECT_EQ(slice(after, 20 * 2048 + 1000, 1049), zeros(1049));
    Bytes expectedDir = dirBefore;
    Bytes added = directoryBytes({makeEntry(20, 1, "new.dff")}); // whole entry cleared before the name
    expectedDir.insert(expectedDir.end(), added.begin(), added.end());
    EXPECT_EQ(directoryNow(), expectedDir);
}

TEST_P(Operations, AppendsAccumulateOneZeroByteEach)
{
    writeFile(tmp / "a", Bytes(2048, 0xAA)); // exactly one sector: takes two
    writeFile(tmp / "b", {});                // empty: one sector
    writeFile(tmp / "c", Bytes(5, 0xCC));
    archive.addEntry(tmp / "a");
    archive.addEntry(tmp / "b");
    archive.addEntry(tmp / "c");
    // a: 6 + 2 sectors, file ends 1 byte past; b starts at 8 and its fill
    // starts at that stray byte, so the file ends 2 past; c at 9, 3 past.
    EXPECT_EQ(start(3), 6);
    EXPECT_EQ(archive.table()[3].sectorCount(), 2u);
    EXPECT_EQ(start(4), 8);
    EXPECT_EQ(archive.table()[4].sectorCount(), 1u);
    EXPECT_EQ(start(5), 9);
    Bytes after = dataNow();
    ASSERT_EQ(after.size(), 10u * 2048 + 3);
    EXPECT_EQ(slice(after, 6 * 2048, 2048), Bytes(2048, 0xAA));
    EXPECT_EQ(slice(after, 7 * 2048, 2 * 2048), zeros(2 * 2048));
    EXPECT_EQ(slice(after, 9 * 2048, 5), Bytes(5, 0xCC));
    EXPECT_EQ(slice(after, 9 * 2048 + 5, 2046), zeros(2046));
}

TEST_P(Operations, AddTakesTheFileNamePartAndRefusesLongNames)
{
    writeFile(tmp / "abcdefghijklmnopqrstu.dff", {1});  // 25 bytes
    writeFile(tmp / "abcdefghijklmnopqrst.dff", {2});   // 24 bytes
    Bytes dirBefore = directoryNow();
    EXPECT_FAILURE(archive.addEntry(tmp / "abcdefghijklmnopqrstu.dff"),
                   "The name \"abcdefghijklmnopqrstu.dff\" is longer than the 24 bytes an entry name can hold");
    EXPECT_EQ(dataNow(), data);
    EXPECT_EQ(directoryNow(), dirBefore);
    archive.addEntry(tmp / "abcdefghijklmnopqrst.dff");
    EXPECT_EQ(archive.name(3), "abcdefghijklmnopqrst.dff");
}

TEST_P(Operations, ReadOnlySourcesAreAddedLikeAnyOther)
{
    writeFile(tmp / "ro.txd", pattern(10));
    ::chmod((tmp / "ro.txd").c_str(), 0444);
    archive.addEntry(tmp / "ro.txd");
    EXPECT_EQ(archive.name(3), "ro.txd");
}

TEST_P(Operations, ReadOnlyArchiveFilesAreAccessDenied)
{
    writeFile(tmp / "new.dff", {1});
    ::chmod(img.c_str(), 0444);
    EXPECT_FAILURE(archive.addEntry(tmp / "new.dff"), "File access denied");
    EXPECT_FAILURE(archive.exportEntry(0, tmp / "out"), "File access denied");
    ::chmod(img.c_str(), 0644);
    ::chmod(dir.c_str(), 0444);
    Archive other;
    EXPECT_FAILURE(other.openimg(dir), "File access denied");
}

TEST_P(Operations, MissingDataFileAndSources)
{
    Bytes before = readFile(img);
    EXPECT_FAILURE(archive.addEntry(tmp / "missing.dff"), "File not found");
    EXPECT_FAILURE(archive.addEntry(tmp / "nofolder/x.dff"), "Invalid filename");
    EXPECT_FAILURE(archive.replaceEntry(0, tmp.path()), "File access denied");
    EXPECT_EQ(readFile(img), before);

    writeFile(tmp / "new.dff", {1});
    ::unlink(img.c_str());
    EXPECT_FAILURE(archive.addEntry(tmp / "new.dff"), "File not found");
    EXPECT_FAILURE(archive.exportEntry(0, tmp / "out"), "File not found");
    EXPECT_FALSE(exists(img));
    EXPECT_EQ(archive.count(), 3u);
}

TEST_P(Operations, AddingOrReplacingFromTheArchiveItselfIsRefused)
{
    Bytes dirBefore = directoryNow();
    EXPECT_FAILURE(archive.addEntry(img), "The archive's own directory or data file cannot be put into it");
    EXPECT_FAILURE(archive.replaceEntry(0, dir), "The archive's own directory or data file cannot be put into it");
    EXPECT_EQ(dataNow(), data);
    EXPECT_EQ(directoryNow(), dirBefore);
}

TEST_P(Operations, ReplaceInPlaceKeepsTheLast2047BytesOfTheSpan)
{
    Bytes file = pattern(1000, 77);
    writeFile(tmp / "small.col", file);
    Bytes dirBefore = directoryNow();
    archive.replaceEntry(2, tmp / "small.col"); // span: sectors 3-5
    Bytes after = dataNow();
    ASSERT_EQ(after.size(), data.size());
    size_t at = 3 * 2048;
    EXPECT_EQ(slice(after, 0, at), slice(data, 0, at));
    EXPECT_EQ(slice(after, at, 1000), file);
    EXPECT_EQ(slice(after, at + 1000, 2 * 2048 + 1 - 1000), zeros(2 * 2048 + 1 - 1000));
    EXPECT_EQ(slice(after, at + 2 * 2048 + 1, 2047), slice(data, at + 2 * 2048 + 1, 2047));
    EXPECT_EQ(directoryNow(), dirBefore);
}

TEST_P(Operations, ReplaceWithOneByteLessThanTheSpanStillFits)
{
    writeFile(tmp / "f", pattern(3 * 2048 - 1, 4));
    archive.replaceEntry(2, tmp / "f");
    EXPECT_EQ(start(2), 3);
    EXPECT_EQ(slice(dataNow(), 3 * 2048, 3 * 2048 - 1), pattern(3 * 2048 - 1, 4));
}

TEST_P(Operations, ReplaceWithExactlyTheSpanMovesTheEntry)
{
    Bytes file = pattern(3 * 2048, 4);
    writeFile(tmp / "f", file);
    archive.replaceEntry(2, tmp / "f");
    EXPECT_EQ(start(2), 6);
    EXPECT_EQ(archive.table()[2].sectorCount(), 4u);
    EXPECT_EQ(archive.name(2), "c.col");
    Bytes after = dataNow();
    ASSERT_EQ(after.size(), 10u * 2048 + 1);
    EXPECT_EQ(slice(after, 0, 6 * 2048), data); // the old span is left as it was
    EXPECT_EQ(slice(after, 6 * 2048, 3 * 2048), file);
    EXPECT_EQ(slice(after, 9 * 2048, 2049), zeros(2049));
    Archive reread;
    reread.openimg(dir);
    EXPECT_EQ(layout.start(reread, 2), 6);
}

TEST_P(Operations, ReplaceOfZeroSectorsOrAnEntryOutsideTheFileMoves)
{
    std::string made = layout.make(tmp / "z", {makeEntry(0, 0, "zero"), makeEntry(100, 2, "outside")}, pattern(2048));
    Archive z;
    z.openimg(made);
    writeFile(tmp / "f", {1, 2, 3});
    z.replaceEntry(0, tmp / "f");
    EXPECT_EQ(layout.start(z, 0), 1);
    EXPECT_EQ(z.table()[0].sectorCount(), 1u);
    z.replaceEntry(1, tmp / "f"); // would fit, but its span lies past the end
    EXPECT_EQ(layout.start(z, 1), 2);
    EXPECT_EQ(layout.data(made).size(), 3u * 2048 + 2);
}

TEST_P(Operations, DeleteMovesLaterEntriesDownByteForByte)
{
    Bytes before = directoryNow();
    archive.deleteEntry(0);
    EXPECT_EQ(directoryNow(), slice(before, 32, 64));
    archive.deleteEntry(1);
    EXPECT_EQ(directoryNow(), slice(before, 32, 32));
    EXPECT_EQ(dataNow(), data);
}

TEST_P(Operations, RenameLeavesResidueAndKeepsEverythingElse)
{
    writeFile(tmp / "bigtree.dff", {1});
    archive.addEntry(tmp / "bigtree.dff");
    archive.renameEntry(3, "tree.dff");
    Bytes d = directoryNow();
    EXPECT_EQ(std::string(d.begin() + 96 + 8, d.begin() + 96 + 20), std::string("tree.dff\0ff\0", 12));
    EXPECT_EQ(archive.name(3), "tree.dff");
    Bytes before = directoryNow();
    EXPECT_FAILURE(archive.renameEntry(3, std::string(25, 'x')),
                   "The name \"" + std::string(25, 'x') + "\" is longer than the 24 bytes an entry name can hold");
    EXPECT_EQ(directoryNow(), before);
    archive.renameEntry(3, "");
    EXPECT_EQ(directoryNow()[96 + 8], 0);
}

#ifndef _WIN32 // POSIX permissions and links
TEST_P(Operations, DirectoryIsReplacedThroughItsLinkKeepingPermissions)
{
    std::string real = tmp / "real.dir";
    ASSERT_EQ(::rename(dir.c_str(), real.c_str()), 0);
    ASSERT_EQ(::symlink(real.c_str(), dir.c_str()), 0);
    ::chmod(real.c_str(), 0640);
    archive.deleteEntry(0);
    struct stat st {};
    ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(layout.directory(real).size(), 64u);
}
#endif

TEST_P(Operations, FailedSaveLeavesTableAndDirectoryAsBefore)
{
    // Cut short, only the write of the new directory fails a command: a short
    // read is read again, other calls have no short form. A rename to the
    // same name, which changes nothing, finds that call.
    Bytes before = directoryNow();
    sys::FaultPlan plan{0, 0, true};
    sys::setFaultPlan(&plan);
    for (bool failed = false; !failed && (plan.failAt == 0 || plan.fired);) {
        plan = {plan.failAt + 1, 0, true};
        try {
            archive.renameEntry(0, "a.dff");
        } catch (const Failure&) {
            failed = true;
        }
    }
    plan = {plan.failAt, 0, true};
    EXPECT_THROW(archive.deleteEntry(0), Failure);
    EXPECT_EQ(archive.count(), 3u);
    plan = {plan.failAt, 0, true};
    EXPECT_THROW(archive.renameEntry(0, "x"), Failure);
    sys::setFaultPlan(nullptr);
    EXPECT_EQ(archive.name(0), "a.dff");
    EXPECT_EQ(directoryNow(), before);
}

TEST_P(Operations, NoDescriptorStaysOpenAfterSuccessOrFailure)
{
    int before = openDescriptorCount();
    writeFile(tmp / "f", pattern(5000));
    archive.addEntry(tmp / "f");
    archive.replaceEntry(0, tmp / "f");
    archive.exportEntry(1, tmp / "out");
    EXPECT_THROW(archive.exportEntry(0, tmp / "no/out"), Failure);
    EXPECT_THROW(archive.addEntry(tmp / "missing"), Failure);
    archive.renameEntry(0, "r");
    archive.deleteEntry(0);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST_P(Operations, AddEntriesIsAllOrNothing)
{
    writeFile(tmp / "one", {1});
    writeFile(tmp / "two", {2});
    Bytes directoryBefore = directoryNow(), fileBefore = readFile(img);
    EXPECT_FAILURE(archive.addEntries({tmp / "one", tmp / "missing", tmp / "two"}), "File not found");
    EXPECT_FAILURE(archive.addEntries({tmp / "one", tmp / "a-name-of-twenty-five-byt"}),
                   "The name \"a-name-of-twenty-five-byt\" is longer than the 24 bytes an entry name can hold");
    EXPECT_EQ(directoryNow(), directoryBefore);
    EXPECT_EQ(readFile(img), fileBefore);
    EXPECT_EQ(archive.count(), 3u);
}

#ifndef _WIN32 // on Windows itself the file system folds the case
TEST(Archive, PairsOfMixedCaseFromWindowsAreFound)
{
    TempDir tmp;
    writeFile(tmp / "GTA3.DIR", directoryBytes({makeEntry(0, 1, "a.dff")}));
    writeFile(tmp / "gta3.IMG", pattern(2048));
    Archive archive;
    archive.openimg(tmp / "gta3.IMG"); // gta3.dir does not exist; GTA3.DIR does
    EXPECT_EQ(archive.directoryPath(), tmp / "GTA3.DIR");
    EXPECT_EQ(archive.dataPath(), tmp / "gta3.IMG");
    writeFile(tmp / "b.dff", {2});
    archive.addEntry(tmp / "b.dff");
    EXPECT_EQ(readFile(tmp / "GTA3.DIR").size(), 64u);
    EXPECT_EQ(readFile(tmp / "gta3.IMG").size(), 2u * 2048 + 1);
    EXPECT_FALSE(exists(tmp / "gta3.dir"));
    EXPECT_FALSE(exists(tmp / "GTA3.img"));

    // An exact name wins over one of another case.
    writeFile(tmp / "gta3.dir", {});
    Archive exact;
    exact.openimg(tmp / "gta3.img");
    EXPECT_EQ(exact.count(), 0u);
}
#endif

// An earlier directory is saved again only while the bytes it points at are
// still there: a rebuild or another program's write ends that.
TEST_P(Operations, AnEarlierTableIsPutBackOnlyWhileItsBytesAreThere)
{
    Bytes original = readFile(dir);
    Archive undoable;
    undoable.keepOverwrites();
    undoable.openimg(dir);
    EntryTable before(undoable.table());
    uint64_t asOf = undoable.overwrites();
    undoable.deleteEntry(0);
    undoable.restoreTable(before, asOf);
    EXPECT_EQ(readFile(dir), original);

    undoable.deleteEntry(1);
    uint64_t beforeRebuild = undoable.overwrites();
    undoable.rebuild(); // c.col moves down over b.txd's bytes
    EXPECT_GT(undoable.overwrites(), beforeRebuild);
    Bytes rebuilt = readFile(dir);
    EXPECT_FAILURE(undoable.restoreTable(before, beforeRebuild),
                   "The directory cannot be put back: bytes it points at in the data file have been overwritten since");
    EXPECT_EQ(readFile(dir), rebuilt);

    // Another program's write into the data file counts too.
    uint64_t now = undoable.overwrites();
    EXPECT_TRUE(undoable.dataFileAsLeft());
    Bytes grown = readFile(img);
    grown.push_back(1);
    writeFile(img, grown);
    EXPECT_FALSE(undoable.dataFileAsLeft());
    EXPECT_GT(undoable.overwrites(), now);
}

INSTANTIATE_TEST_SUITE_P(BothVersions, Operations, ::testing::Values(Archive::Version::One, Archive::Version::Two),
                         [](const auto& version) { return versionName(version.param); });
