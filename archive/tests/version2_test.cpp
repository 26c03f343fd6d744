// Version 2 archives, one file with the directory inside, made here byte by
// byte as the later games' own tools lay them out (not by this program), and
// read through the store as a user reads them.
#include "archive/archive.h"
#include "archive/check.h"
#include "archive/errors.h"
#include "test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

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
    EXPECT_EQ(report.notes, std::vector<std::string>{"Dead space: 2048 bytes, which rebuild gives back"});
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

// An archive with a second size that is not 0 is read, but a save would
// lose that field: every command that writes is refused, touching nothing.
TEST_F(Version2Test, ASecondSizeKeepsTheArchiveFromBeingWritten)
{
    Bytes odd = version2File({{1, 1, 3, "car.dff"}, {2, 1, 0, "road.txd"}}, pattern(2 * 2048), 1);
    writeFile(img, odd);
    Archive archive;
    archive.openimg(img);
    writeFile(tmp / "new.dff", pattern(100));
    std::string refusal = img + ": entry #0 has a second size field of 3 (the games' own files have 0); such an archive "
                                "is read but not changed, so that those bytes stay as they are";
    EXPECT_FAILURE(archive.addEntry(tmp / "new.dff"), refusal);
    EXPECT_FAILURE(archive.replaceEntry(1, tmp / "new.dff"), refusal);
    EXPECT_FAILURE(archive.deleteEntries({0, 1}), refusal);
    EXPECT_FAILURE(archive.renameEntry(1, "bus.dff"), refusal);
    EXPECT_FAILURE(archive.importFiles({tmp / "new.dff"}), refusal);
    EXPECT_EQ(readFile(img), odd);
    EXPECT_FALSE(exists(tmp / "gta3.dir"));
}

// Written by this program, read back by a reader of the format's own that
// shares no code with the store: every name, start, size and byte.
TEST_F(Version2Test, WhatThisProgramWritesAnIndependentReaderReads)
{
    std::string made = tmp / "mod.img";
    EXPECT_EQ(Archive::create(made, Archive::Version::Two), "");
    EXPECT_EQ(readFile(made), (Bytes{'V', 'E', 'R', '2', 0, 0, 0, 0}));
    EXPECT_THROW(Archive::create(made, Archive::Version::Two), Failure);
    Archive archive;
    archive.openimg(made);
    std::map<std::string, Bytes> expected;
    std::vector<std::string> sources;
    for (int i = 0; i < 70; ++i) { // the directory grows past its first sector
        std::string name = "e" + std::to_string(i) + ".col";
        expected[name] = pattern(100 + 37 * i, static_cast<uint8_t>(i));
        writeFile(tmp / name, expected[name]);
        sources.push_back(tmp / name);
    }
    archive.addEntry(sources[0]);
    archive.addEntries(std::vector<std::string>(sources.begin() + 1, sources.end()));
    archive.renameEntry(3, "renamed.col");
    expected["renamed.col"] = expected["e3.col"];
    expected.erase("e3.col");
    archive.deleteEntry(5);
    expected.erase("e5.col");
    writeFile(tmp / "e0.col", pattern(5000, 99)); // moves: larger than its span
    archive.replaceEntry(0, tmp / "e0.col");
    expected["e0.col"] = pattern(5000, 99);
    writeFile(tmp / "e1.col", pattern(10, 98)); // in place
    archive.replaceEntry(1, tmp / "e1.col");
    expected["e1.col"] = pattern(10, 98);

    Bytes written = readFile(made);
    auto read = readVersion2Independently(written);
    ASSERT_EQ(read.size(), expected.size());
    uint64_t directoryEnd = 8 + 32 * read.size();
    for (const auto& entry : read) {
        SCOPED_TRACE(entry.name);
        ASSERT_TRUE(expected.count(entry.name));
        EXPECT_EQ(entry.second, 0u);
        EXPECT_GE(entry.start * 2048u, directoryEnd); // no entry inside the directory
        const Bytes& want = expected[entry.name];
        EXPECT_EQ(entry.size, (want.size() / 2048) + 1);
        ASSERT_LE(entry.start * 2048u + want.size(), written.size());
        EXPECT_EQ(Bytes(written.begin() + entry.start * 2048, written.begin() + entry.start * 2048 + want.size()), want);
    }
    EXPECT_EQ(written.size() % 2048, 1u); // the padding quirk of version 1: one stray byte past the last span

    // Rebuilt: each entry right after the one before, from the first sector
    // after the directory, and nothing else in the file.
    int64_t given = archive.rebuild();
    Bytes rebuilt = readFile(made);
    EXPECT_EQ(static_cast<int64_t>(written.size() - rebuilt.size()), given);
    uint64_t next = (8 + 32 * read.size() + 2047) / 2048;
    for (const auto& entry : readVersion2Independently(rebuilt)) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(entry.start, next);
        next += entry.size;
        const Bytes& want = expected[entry.name];
        EXPECT_EQ(Bytes(rebuilt.begin() + entry.start * 2048, rebuilt.begin() + entry.start * 2048 + want.size()), want);
    }
    EXPECT_EQ(rebuilt.size(), next * 2048);
}

// A backup made as a hard link shares the one file: no change may reach it.
TEST_F(Version2Test, AFileWithOtherHardLinksIsNotChanged)
{
    std::filesystem::create_hard_link(fsPath(img), fsPath(tmp / "backup.img"));
    Archive archive;
    archive.openimg(img);
    writeFile(tmp / "new.dff", pattern(100));
    std::string refusal = img + " has other hard links (a backup made with cp -al or rsync --link-dest, say): a change "
                                "would change every archive that shares it. Give it a file of its own first (copy it, "
                                "then move the copy over it)";
    EXPECT_FAILURE(archive.renameEntry(0, "bus.dff"), refusal);
    EXPECT_FAILURE(archive.addEntry(tmp / "new.dff"), refusal);
    EXPECT_FAILURE(archive.rebuild(), refusal);
    EXPECT_EQ(readFile(tmp / "backup.img"), file);
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

namespace {

// The bytes of every entry of a version 2 file, read by the format alone.
std::map<std::string, Bytes> entryBytes(const Bytes& file)
{
    std::map<std::string, Bytes> all;
    for (const auto& e : readVersion2Independently(file)) {
        size_t from = size_t{e.start} * 2048, length = size_t{e.size} * 2048;
        EXPECT_LE(from + length, file.size()) << e.name << " reaches past the end";
        if (from + length <= file.size()) all[e.name] = slice(file, from, length);
    }
    return all;
}

void put32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// A save's trailer as this program writes it after the directory's copy:
// its magic, where the copy starts (64 bits), its length and its FNV-1a.
Bytes trailer(uint64_t start, uint32_t length, uint32_t sum)
{
    Bytes bytes = {'B', 'R', 'I', 'M', 'L', 'E', 'T', ' ', 'V', '2', ' ', 'S', 'A', 'V', 'E', 0};
    put32(bytes, static_cast<uint32_t>(start));
    put32(bytes, static_cast<uint32_t>(start >> 32));
    put32(bytes, length);
    put32(bytes, sum);
    return bytes;
}

uint32_t fnv1a(const Bytes& bytes)
{
    uint32_t hash = 2166136261u;
    for (uint8_t byte : bytes) hash = (hash ^ byte) * 16777619u;
    return hash;
}

Bytes joined(Bytes a, const Bytes& b, const Bytes& c = {})
{
    a.insert(a.end(), b.begin(), b.end());
    a.insert(a.end(), c.begin(), c.end());
    return a;
}

}  // namespace

// Another tool's file may have an entry inside the directory's sector. The
// next save moves it out to the end; a replace that would fit in place
// moves its entry instead, so that neither the directory's sector is
// written over nor the moved entry cut off with the replace's scratch copy.
TEST_F(Version2Test, AReplaceBesideAnEntryInsideTheDirectoryKeepsEveryEntry)
{
    struct Case {
        std::vector<Version2Entry> entries;
        std::string replaced;
    };
    for (const Case& c : {Case{{{0, 4, 0, "a.dff"}, {4, 1, 0, "b.dff"}}, "a.dff"},
                          Case{{{0, 2, 0, "x.dff"}, {2, 2, 0, "y.dff"}}, "y.dff"}}) {
        SCOPED_TRACE(c.replaced);
        Bytes original = version2File(c.entries, pattern(4 * 2048, 7), 1);
        writeFile(img, original);
        std::map<std::string, Bytes> expected = entryBytes(original);
        Bytes fresh = pattern(3000, 21);
        writeFile(tmp / c.replaced, fresh);
        Archive archive;
        archive.openimg(img);
        archive.replaceEntry(static_cast<size_t>(archive.indexOf(c.replaced)), tmp / c.replaced);
        expected[c.replaced] = fresh;
        expected[c.replaced].resize(2048 * 2, 0);

        Bytes after = readFile(img);
        EXPECT_EQ(std::string(after.begin(), after.begin() + 4), "VER2");
        EXPECT_EQ(entryBytes(after), expected);
        Archive reread;
        reread.openimg(img);
        EXPECT_TRUE(checkArchive(reread).problems.empty());
    }
}

// A trailer that looks like a cut save's but holds what no save of ours
// writes is not one: the file is read as it is and never written over.
TEST_F(Version2Test, ATrailerNoSaveCouldHaveWrittenIsNotTakenForOne)
{
    // A whole copy of more entries than an archive holds.
    Bytes tooMany = {'V', 'E', 'R', '2'};
    put32(tooMany, 70000);
    tooMany.resize(8 + 70000 * 32, 0);
    Bytes forged = joined(file, tooMany, trailer(file.size(), static_cast<uint32_t>(tooMany.size()), fnv1a(tooMany)));
    // A start that wraps past 2^64 to add up with a length larger than the file.
    uint32_t huge = 0xFFFFFFFFu;
    Bytes wrapping = joined(file, trailer(0, huge, 0));
    uint64_t wraps = wrapping.size() - uint64_t{huge} - 32; // start + huge + 32 == size, modulo 2^64
    wrapping = joined(file, trailer(wraps, huge, 0));
    for (const Bytes& odd : {forged, wrapping}) {
        writeFile(img, odd);
        Archive archive;
        archive.openimg(img);
        EXPECT_EQ(archive.count(), 3u);
        archive.renameEntry(0, "bus.dff");
        Bytes after = readFile(img);
        EXPECT_EQ(readVersion2Independently(after)[0].name, "bus.dff");
        EXPECT_EQ(slice(after, 2048, 5 * 2048), slice(file, 2048, 5 * 2048));
        EXPECT_EQ(after.size(), odd.size()); // its bytes past the entries are another tool's
    }
}
