// The 32-byte entry, the sector rules, the path rules and the table.
#include "archive/dir_entry.h"
#include "archive/entry_table.h"
#include "archive/errors.h"
#include "archive/paths.h"
#include "archive/sectors.h"
#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace brimlet;
using namespace brimlet::test;

TEST(DirEntry, EncodesLittleEndianFieldsAtTheirOffsets)
{
    DirEntry e = makeEntry(0x01020304, 0xA0B0C0D0u, "car.dff");
    const auto& b = e.bytes();
    EXPECT_EQ((Bytes{b.begin(), b.begin() + 8}), (Bytes{0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0}));
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 15), "car.dff");
    EXPECT_EQ(b[15], 0);
    EXPECT_EQ(e.startSector(), 0x01020304);
    EXPECT_EQ(e.sectorCount(), 0xA0B0C0D0u);
}

TEST(DirEntry, StartSectorIsSignedAndCountUnsigned)
{
    DirEntry::Bytes raw{};
    raw.fill(0xFF);
    DirEntry e(raw);
    EXPECT_EQ(e.startSector(), -1);
    EXPECT_EQ(e.sectorCount(), 4294967295u);
}

TEST(DirEntry, NameEndsAtFirstNulOrFillsTheField)
{
    DirEntry::Bytes raw{};
    std::string withResidue = std::string("abc") + '\0' + "zzz";
    std::copy(withResidue.begin(), withResidue.end(), raw.begin() + 8);
    EXPECT_EQ(DirEntry(raw).name(), "abc");

    std::string full = "abcdefghijklmnopqrstuvwx"; // 24 bytes, no NUL
    std::copy(full.begin(), full.end(), raw.begin() + 8);
    EXPECT_EQ(DirEntry(raw).name(), full);
}

TEST(DirEntry, SetNameKeepsResidueAndNeverLeavesTheField)
{
    DirEntry e = makeEntry(7, 3, "bigtree.dff");
    e.setName("tree.dff");
    const auto& b = e.bytes();
    std::string field(b.begin() + 8, b.end());
    EXPECT_EQ(field.substr(0, 12), std::string("tree.dff") + '\0' + "ff" + '\0');
    EXPECT_EQ(e.name(), "tree.dff");

    e.setName("abcdefghijklmnopqrstuvwx"); // exactly 24: no NUL, nothing beyond
    EXPECT_EQ(e.name(), "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(e.startSector(), 7);
    EXPECT_EQ(e.sectorCount(), 3u);

    DirEntry before = e;
    EXPECT_THROW(e.setName("abcdefghijklmnopqrstuvwxy"), Failure);
    EXPECT_EQ(e.bytes(), before.bytes());

    e.setName("");
    EXPECT_EQ(e.bytes()[8], 0);
    EXPECT_EQ(e.name(), "");
}

TEST(Sectors, PaddedSizeAlwaysTakesAtLeastOneStep)
{
    EXPECT_EQ(paddedSize(0), 2048u);
    EXPECT_EQ(paddedSize(1), 2048u);
    EXPECT_EQ(paddedSize(1000), 2048u);
    EXPECT_EQ(paddedSize(2047), 2048u);
    EXPECT_EQ(paddedSize(2048), 4096u);
    EXPECT_EQ(paddedSize(2049), 4096u);
    EXPECT_EQ(paddedSize(4095), 4096u);
    EXPECT_EQ(paddedSize(3 * 2048), 4u * 2048);
    EXPECT_EQ(sectorsFor(2048), 2u);
    EXPECT_EQ(appendStartSector(20 * 2048), 20u);
    EXPECT_EQ(appendStartSector(20 * 2048 + 1), 20u);
    EXPECT_EQ(paddedSize(uint64_t{1} << 40), (uint64_t{1} << 40) + 2048);
}

TEST(Paths, ArchivePathsFromAnyOfItsNames)
{
    EXPECT_EQ(directoryPathFor("/g/models/gta3.img"), "/g/models/gta3.dir");
    EXPECT_EQ(directoryPathFor("/g/models/gta3.dir"), "/g/models/gta3.dir");
    EXPECT_EQ(directoryPathFor("x"), "x.dir");
    EXPECT_EQ(dataPathFor("x.dir"), "x.img");
    EXPECT_EQ(directoryPathFor("/g/v1.2/gta3"), "/g/v1.2/gta3.dir"); // a dot in a folder is not an extension
    EXPECT_EQ(directoryPathFor("a.b.img"), "a.b.dir");
}

TEST(Paths, OneSplitForEveryFolderAndName)
{
    // The folder to open: a file at the root is in "/", a bare name in ".".
    EXPECT_EQ(folderOf("/x.dir"), "/");
    EXPECT_EQ(folderOf("x.dir"), ".");
    EXPECT_EQ(folderOf("./x.dir"), ".");
    EXPECT_EQ(folderOf("/g/x.dir"), "/g");
    // Joined back, a path keeps the form it was given in.
    std::vector<std::string> paths{"/x.dir", "x.dir", "./x.dir", "/g/x.dir", "a/b/c"};
#ifdef _WIN32
    EXPECT_EQ(folderOf("C:\\x.dir"), "C:\\");
    EXPECT_EQ(folderOf("C:x.dir"), "C:");
    EXPECT_EQ(folderOf("C:\\g\\x.dir"), "C:\\g");
    paths.insert(paths.end(), {"C:\\x.dir", "C:x.dir", "C:/g/x.dir", "\\\\server\\share\\g\\x.dir"});
#endif
    for (const std::string& path : paths) {
        auto [folder, name] = splitPath(path);
        EXPECT_EQ(joinPath(folder, name), path);
    }
}

TEST(Paths, HostPathsAreBoundedBySlash)
{
    EXPECT_EQ(hostFileName("/home/me/cars/car.dff"), "car.dff");
    EXPECT_EQ(hostFileName("car.dff"), "car.dff");
#ifdef _WIN32
    EXPECT_EQ(hostFileName("odd\\name:x.dff"), "name:x.dff");
    EXPECT_EQ(hostFileName("C:car.dff"), "car.dff");
    EXPECT_EQ(hostExtension("C:\\a.b\\c"), "");
#else
    EXPECT_EQ(hostFileName("odd\\name:x.dff"), "odd\\name:x.dff");
#endif
    EXPECT_EQ(hostExtension("/a.b/c"), "");
    EXPECT_EQ(hostExtension("/a/c.TXD"), ".TXD");
}

TEST(Paths, EntryExtensionsAreBoundedByBackslashAndColonOnly)
{
    EXPECT_EQ(entryExtension("a.b.col"), ".col");
    EXPECT_EQ(entryExtension(".txd"), ".txd");
    EXPECT_EQ(entryExtension("readme"), "");
    EXPECT_EQ(entryExtension("x.txd\\y"), "");
    EXPECT_EQ(entryExtension("x.txd:y"), "");
    EXPECT_EQ(entryExtension("x.txd/y"), ".txd/y");
}

TEST(Paths, CaseRulesTouchAsciiLettersOnly)
{
    EXPECT_EQ(lowerAscii("CAR.DFF\xC4"), "car.dff\xC4");
    EXPECT_TRUE(equalsIgnoringCase("A.DFF", "a.dff"));
    EXPECT_FALSE(equalsIgnoringCase("\xC4.dff", "\xE4.dff"));
    EXPECT_TRUE(containsIgnoringCase("Car.dff", "DFF"));
    EXPECT_FALSE(containsIgnoringCase("car.txd", "DFF"));
    EXPECT_FALSE(containsIgnoringCase("anything", ""));
}

TEST(Paths, FileExistsIsAnyNonFolderWhateverItsTime)
{
    TempDir dir;
    using std::chrono::hours;
    auto now = std::filesystem::file_time_type::clock::now();
    for (auto when : {now - hours(24 * 365 * 60), now + hours(24 * 365 * 190)}) { // outside 1980 to 2107
        writeFile(dir / "dated", {1});
        std::filesystem::last_write_time(fsPath(dir / "dated"), when);
        EXPECT_TRUE(fileExists(dir / "dated"));
    }
    EXPECT_FALSE(fileExists(dir.path()));
    EXPECT_FALSE(fileExists(dir / "missing"));
    EXPECT_FALSE(fileExists(""));
}

TEST(EntryTable, AssignDropsTrailingPartialEntryAndRemoveKeepsOrder)
{
    Bytes bytes = directoryBytes({makeEntry(1, 1, "a"), makeEntry(2, 1, "b"), makeEntry(3, 1, "c")});
    bytes.resize(100); // 3 entries and 4 stray bytes
    EntryTable table = tableOf(bytes);
    ASSERT_EQ(table.count(), 3u);
    EXPECT_EQ(table.imageSize(), 96u);
    table.remove(0);
    ASSERT_EQ(table.count(), 2u);
    EXPECT_EQ(table[0].name(), "b");
    EXPECT_EQ(table[1].name(), "c");
}

TEST(IoFailure, MessagesFollowTheirCodes)
{
    EXPECT_STREQ(IoFailure(2).what(), "File not found");
    EXPECT_STREQ(IoFailure(3).what(), "Invalid filename");
    EXPECT_STREQ(IoFailure(4).what(), "Too many open files");
    EXPECT_STREQ(IoFailure(5).what(), "File access denied");
    EXPECT_STREQ(IoFailure(100).what(), "Read beyond end of file");
    EXPECT_STREQ(IoFailure(101).what(), "Disk full");
    EXPECT_STREQ(IoFailure(106).what(), "Invalid numeric input");
    EXPECT_STREQ(IoFailure(32).what(), "I/O error 32");
}
