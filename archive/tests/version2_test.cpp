// Version 2 archives, one file with the directory inside, made here byte by
// byte as the later games' own tools lay them out (not by this program), and
// read through the store as a user reads them.
#include "archive/archive.h"
#include "archive/check.h"
#include "archive/errors.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

Bytes slice(const Bytes& b, size_t from, size_t length) { return Bytes(b.begin() + from, b.begin() + from + length); }

class Version2Test : public ::testing::Test {
protected:
    // The directory fills sector 0; car.dff (1-2), road.txd (3), one dead
    // sector, generic.col (5).
    void SetUp() override
    {
        data = pattern(5 * 2048, 3);
        file = version2File({{1, 2, 0, "car.dff"}, {3, 1, 0, "road.txd"}, {5, 1, 0, "generic.col"}}, data, 1);
        writeFile(img, file);
    }

    TempDir tmp;
    std::string img = tmp / "gta3.img";
    Bytes data, file;
};

}  // namespace

TEST_F(Version2Test, ItIsListedExportedExtractedAndCheckedAsAPairIs)
{
    Archive archive;
    archive.openimg(tmp / "gta3"); // by its base name as well as by the .img
    EXPECT_EQ(archive.version(), Archive::Version::Two);
    EXPECT_EQ(archive.directoryPath(), img);
    EXPECT_EQ(archive.dataPath(), img);
    ASSERT_EQ(archive.count(), 3u);
    EXPECT_EQ(archive.name(1), "road.txd");
    EXPECT_EQ(archive.table()[0].sectorCount(), 2u);
    EXPECT_EQ(archive.table()[0].startSector(), 1);

    archive.exportEntry(0, tmp / "car.out");
    EXPECT_EQ(readFile(tmp / "car.out"), slice(file, 2048, 2 * 2048));
    auto count = archive.extractEntries(tmp / "out", {}, [](const std::string&) {});
    EXPECT_EQ(count.written, 3u);
    EXPECT_EQ(readFile(tmp / "out/generic.col"), slice(file, 5 * 2048, 2048));

    CheckReport report = checkArchive(archive);
    EXPECT_TRUE(report.problems.empty()) << report.problemLines().front();
    EXPECT_EQ(report.notes, std::vector<std::string>{"Dead space: 2048 bytes (a version 2 archive is not rebuilt)"});
    EXPECT_EQ(readFile(img), file);
}

TEST_F(Version2Test, ASecondSizeAndAStartInsideTheDirectoryAreReportedNotHidden)
{
    writeFile(img, version2File({{1, 1, 7, "big.dff"}, {0, 1, 0, "over.txd"}}, pattern(2048), 1));
    Archive archive;
    archive.openimg(img);
    EXPECT_EQ(archive.table()[0].sectorCount(), 1u); // the streaming size
    EXPECT_EQ(archive.secondSize(0), 7u);
    archive.exportEntry(0, tmp / "big.out");
    EXPECT_EQ(readFile(tmp / "big.out").size(), 2048u);
    EXPECT_EQ(checkArchive(archive).problemLines(),
              (std::vector<std::string>{
                  "#0 \"big.dff\": its second size field holds 7 (the games' own files have 0); its size is read from "
                  "the first",
                  "#1 \"over.txd\": it starts at sector 0, inside the directory (sectors 0 to 0)"}));
}

TEST_F(Version2Test, ABrokenHeaderIsRefusedAndAPairKeepsItsOwnReading)
{
    Archive archive;
    writeFile(img, {'V', 'E', 'R', '2', 2, 0, 0, 0});
    EXPECT_FAILURE(archive.openimg(img), img + ": its directory of 2 entries passes the end of the file");
    writeFile(img, {'V', 'E', 'R', '2', 1, 0, 1, 0});
    EXPECT_FAILURE(archive.openimg(img), "The directory of " + img + " holds more than 65536 entries");
    writeFile(img, {'V', 'E', 'R', '2', 0});
    EXPECT_FAILURE(archive.openimg(img), img + ": its version 2 header is cut short");
    EXPECT_FALSE(archive.isOpen());

    // With a .dir beside it, an .img that starts "VER2" is a version 1 pair's data.
    writeFile(img, file);
    writeFile(tmp / "gta3.dir", directoryBytes({makeEntry(0, 1, "magic.dat")}));
    archive.openimg(img);
    EXPECT_EQ(archive.version(), Archive::Version::One);
    EXPECT_EQ(archive.name(0), "magic.dat");
}

TEST_F(Version2Test, EveryCommandThatWritesIsRefusedAndTheFileKeepsEveryByte)
{
    Archive archive;
    archive.openimg(img);
    writeFile(tmp / "new.dff", pattern(100));
    std::string refusal = img + " is a version 2 archive: it can be listed, searched, exported and checked, but not changed";
    EXPECT_FAILURE(archive.addEntry(tmp / "new.dff"), refusal);
    EXPECT_FAILURE(archive.replaceEntry(0, tmp / "new.dff"), refusal);
    EXPECT_FAILURE(archive.deleteEntry(0), refusal);
    EXPECT_FAILURE(archive.deleteEntries({0, 1}), refusal);
    EXPECT_FAILURE(archive.renameEntry(0, "bus.dff"), refusal);
    EXPECT_FAILURE(archive.importFiles({tmp / "new.dff"}), refusal);
    EXPECT_FAILURE(archive.rebuild(), refusal);
    EXPECT_FAILURE(archive.restoreTable(archive.table(), archive.overwrites()), refusal);
    EXPECT_EQ(readFile(img), file);
    EXPECT_EQ(archive.count(), 3u);
    EXPECT_FALSE(exists(tmp / "gta3.dir"));
}

TEST_F(Version2Test, AnotherProgramsChangeOfTheDirectoryIsSeen)
{
    Archive archive;
    archive.openimg(img);
    Bytes changed = file;
    changed[8 + 8] = 'b'; // car.dff becomes bar.dff
    writeFile(img, changed);
    EXPECT_THROW(archive.exportEntry(0, tmp / "car.out"), Failure);
    EXPECT_FALSE(exists(tmp / "car.out"));
    Bytes grown = file;
    grown.resize(grown.size() + 2048, 1); // an append changes no directory byte
    writeFile(img, grown);
    archive.exportEntry(0, tmp / "car.out");
    EXPECT_EQ(readFile(tmp / "car.out"), slice(file, 2048, 2 * 2048));
}
