// Create, import, extract, rebuild and check on real files, byte for byte.
#include "archive/archive.h"
#include "archive/check.h"
#include "archive/errors.h"
#include "archive/paths.h"
#include "archive/sectors.h"
#include "test_support.h"

#include <filesystem>
#include <set>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

Bytes slice(const Bytes& b, size_t from, size_t length) { return Bytes(b.begin() + from, b.begin() + from + length); }

// Every entry's name and exported bytes.
std::vector<std::pair<std::string, Bytes>> exportsOf(Archive& archive, const TempDir& t)
{
    std::vector<std::pair<std::string, Bytes>> out;
    for (size_t i = 0; i < archive.count(); ++i) {
        archive.exportEntry(i, t / "export.out");
        out.emplace_back(archive.name(i), readFile(t / "export.out"));
    }
    return out;
}

// Both versions, counted from the first data sector (Layout in test_support.h).
class Bulk : public ::testing::TestWithParam<Archive::Version> {
protected:
    // a.dff (0-1), dead sector 2, b.txd (3), c.col (4-6) and, sharing b's
    // sector, d.ifp; data 7 sectors and a stray byte.
    void SetUp() override
    {
        data = pattern(7 * 2048 + 1, 9);
        dir = layout.make(tmp / "gta3",
                          {makeEntry(0, 2, "a.dff"), makeEntry(3, 1, "b.txd"), makeEntry(4, 3, "c.col"),
                           makeEntry(3, 1, "d.ifp")},
                          data);
        archive.openimg(dir);
    }
    Bytes dataNow() const { return layout.data(dir); }
    int64_t start(size_t i) const { return layout.start(archive, i); }

    Layout layout{GetParam()};
    TempDir tmp;
    std::string dir; // the archive as named: its .dir, or the version 2 .img
    Bytes data;
    Archive archive;
};

}  // namespace

TEST(Create, MakesAnEmptyPairAndRefusesWhenEitherFileExists)
{
    TempDir t;
    Archive::create(t / "new.img");
    EXPECT_EQ(readFile(t / "new.dir").size(), 0u);
    EXPECT_EQ(readFile(t / "new.img").size(), 0u);
    EXPECT_FAILURE(Archive::create(t / "new"), "The archive already exists: " + (t / "new.dir"));
    writeFile(t / "ONLY.IMG", {1});
    // The file found is named as its folder spells it (with the folder's separator).
    EXPECT_FAILURE(Archive::create(t / "only.dir"), "The archive already exists: " + joinPath(t.path(), "ONLY.IMG") +
                                                        " (its directory file " + (t / "only.dir") + " is missing)");
    EXPECT_FALSE(exists(t / "only.dir"));
    EXPECT_EQ(readFile(t / "ONLY.IMG"), Bytes{1});
    // A name with no base (an unset variable in a script) makes nothing.
    for (std::string nameless : {std::string(), t / "", t / ".dir", t / ".IMG", t / ".", t / "..", t / ".x"})
        EXPECT_FAILURE(Archive::create(nameless), "Invalid filename");
    EXPECT_FALSE(exists(t / ".dir"));
    EXPECT_FALSE(exists(".dir"));
}

TEST_P(Bulk, ImportReplacesByNameAndAddsTheRestAtTheEnd)
{
    writeFile(tmp / "B.TXD", pattern(100, 1)); // replaces b.txd, whatever its case
    writeFile(tmp / "e.col", pattern(3000, 2));
    auto count = archive.importFiles({tmp / "B.TXD", tmp / "e.col"});
    EXPECT_EQ(count.replaced, 1u);
    EXPECT_EQ(count.added, 1u);
    ASSERT_EQ(archive.count(), 5u);
    EXPECT_EQ(archive.name(1), "b.txd"); // the name stays
    // Appended as Add would: b at sector 7 (the stray byte is overwritten), e after it.
    EXPECT_EQ(start(1), 7);
    EXPECT_EQ(archive.table()[1].sectorCount(), 1u);
    EXPECT_EQ(start(4), 8);
    EXPECT_EQ(archive.table()[4].sectorCount(), 2u);
    Bytes img = dataNow();
    EXPECT_EQ(slice(img, 7 * 2048, 100), pattern(100, 1));
    EXPECT_EQ(slice(img, 8 * 2048, 3000), pattern(3000, 2));
    EXPECT_EQ(slice(img, 0, 7 * 2048), slice(data, 0, 7 * 2048)); // nothing else moved
    Archive reread;
    reread.openimg(dir);
    EXPECT_EQ(reread.table().imageSize(), archive.table().imageSize());
}

TEST_P(Bulk, ImportIsAllOrNothing)
{
    Bytes directoryBefore = readFile(dir), dataBefore = readFile(tmp / "gta3.img");
    auto unchanged = [&] {
        EXPECT_EQ(readFile(dir), directoryBefore);
        EXPECT_EQ(readFile(tmp / "gta3.img"), dataBefore); // for version 2, the same file
        EXPECT_EQ(archive.count(), 4u);
    };
    writeFile(tmp / "a.dff", pattern(5000, 3));
    writeFile(tmp / "new.dff", pattern(10, 4));
    EXPECT_FAILURE(archive.importFiles({tmp / "a.dff", tmp / "new.dff", tmp / "missing.dff"}), "File not found");
    unchanged();
    std::filesystem::create_directories(tmp / "other");
    writeFile(tmp / "other/A.DFF", {1});
    EXPECT_FAILURE(archive.importFiles({tmp / "a.dff", tmp / "other/A.DFF"}),
                   "Two files would both become the entry \"A.DFF\": " + (tmp / "a.dff") + " and " + (tmp / "other/A.DFF"));
    unchanged();
    std::string longName = tmp / "a-name-of-twenty-five-b.dff";
    writeFile(longName, {1});
    EXPECT_FAILURE(archive.importFiles({tmp / "new.dff", longName}),
                   "The name \"a-name-of-twenty-five-b.dff\" is longer than the 24 bytes an entry name can hold");
    unchanged();
}

TEST_P(Bulk, ExtractWritesEverySpanAndNeverLeavesTheFolder)
{
    std::string out = tmp / "out/deeper";
    std::filesystem::create_directories(tmp / "out");
    // Traps: a link in the way pointing outside, a file to be replaced.
    writeFile(tmp / "outside.txt", {7, 7});
    std::filesystem::create_directories(out);
    bool linked = makeLink(tmp / "outside.txt", out + "/a.dff");
#ifndef _WIN32
    ASSERT_TRUE(linked);
#endif
    writeFile(out + "/c.col", pattern(100000, 5));
    archive.renameEntry(3, "../B.TXD"); // unsafe, and the same name as b.txd once made safe? no: ".._B.TXD"
    std::vector<std::string> notes;
    auto count = archive.extractEntries(out, {}, [&](const std::string& n) { notes.push_back(n); });
    EXPECT_EQ(count.written, 4u);
    EXPECT_EQ(readFile(tmp / "outside.txt"), (Bytes{7, 7}));
    if (linked) {
        EXPECT_FALSE(std::filesystem::is_symlink(fsPath(out + "/a.dff")));
    }
    EXPECT_EQ(readFile(out + "/a.dff"), slice(data, 0, 2 * 2048));
    EXPECT_EQ(readFile(out + "/b.txd"), slice(data, 3 * 2048, 2048));
    EXPECT_EQ(readFile(out + "/c.col"), slice(data, 4 * 2048, 3 * 2048));
    EXPECT_EQ(readFile(out + "/.._B.TXD"), slice(data, 3 * 2048, 2048));
    EXPECT_EQ(notes, std::vector<std::string>{"#3 \"../B.TXD\" written as \".._B.TXD\""});
    EXPECT_FALSE(exists(tmp / "B.TXD"));

    // A later entry of a name already written is skipped; ENTRY picks some.
    archive.renameEntry(3, "A.DFF");
    notes.clear();
    std::string only = tmp / "only";
    count = archive.extractEntries(only, {2, 0, 3}, [&](const std::string& n) { notes.push_back(n); });
    EXPECT_EQ(count.written, 2u);
    EXPECT_EQ(count.skipped, 1u);
    EXPECT_EQ(notes, std::vector<std::string>{"#3 \"A.DFF\" skipped: an entry of that name was already written"});
    std::set<std::string> files;
    for (auto& e : std::filesystem::directory_iterator(only)) files.insert(e.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"a.dff", "c.col"}));
}

TEST(Extract, AMadeSafeNameNeverTakesAnotherEntrysName)
{
    TempDir t;
    Bytes data = pattern(7 * 2048, 2);
    std::string dir = makeArchive(t / "e",
                                  {makeEntry(0, 1, "a\\b.dff"), makeEntry(1, 1, "a_b.dff"), makeEntry(2, 1, "."),
                                   makeEntry(3, 1, ""), makeEntry(4, 1, "_"), makeEntry(5, 1, ".."), makeEntry(6, 1, "__")},
                                  data);
    Archive archive;
    archive.openimg(dir);
    std::vector<std::string> notes;
    auto count = archive.extractEntries(t / "out", {}, [&](const std::string& n) { notes.push_back(n); });
    EXPECT_EQ(count.written, 7u);
    EXPECT_EQ(count.skipped, 0u);
    auto sector = [&](size_t i) { return slice(data, i * 2048, 2048); };
    EXPECT_EQ(readFile(t / "out/a_b.dff"), sector(1)); // the real a_b.dff, whatever comes first
    EXPECT_EQ(readFile(t / "out/_"), sector(4));
    EXPECT_EQ(readFile(t / "out/__"), sector(6));
    EXPECT_EQ(readFile(t / "out/a_b~0.dff"), sector(0));
    EXPECT_EQ(readFile(t / "out/_~2"), sector(2));
    EXPECT_EQ(readFile(t / "out/_~3"), sector(3));
    EXPECT_EQ(readFile(t / "out/__~5"), sector(5));
    EXPECT_EQ(notes.size(), 4u);
}

TEST(SafeNames, UnsafeBytesBecomeUnderscores)
{
    EXPECT_EQ(safeFileName(""), "_");
    EXPECT_EQ(safeFileName("."), "_");
    EXPECT_EQ(safeFileName(".."), "__");
    EXPECT_EQ(safeFileName("a/b\\c\x01\x7f.dff"), "a_b_c__.dff");
    EXPECT_EQ(safeFileName("...dff"), "...dff");
#ifdef _WIN32
    // What Windows would take for a stream of another file, a device, or
    // a name it shortens.
    EXPECT_EQ(safeFileName("car.dff:hidden"), "car.dff_hidden");
    EXPECT_EQ(safeFileName("a?*<>|\".txd"), "a______.txd");
    EXPECT_EQ(safeFileName("CON"), "_CON");
    EXPECT_EQ(safeFileName("nul.txd"), "_nul.txd");
    EXPECT_EQ(safeFileName("Com3.dff"), "_Com3.dff");
    EXPECT_EQ(safeFileName("com0.dff"), "_com0.dff");
    EXPECT_EQ(safeFileName("CONIN$"), "_CONIN$");
    EXPECT_EQ(safeFileName("lpt\xC2\xB3.txd"), "_lpt\xC2\xB3.txd");
    EXPECT_EQ(safeFileName("com10.dff"), "com10.dff");
    // Windows names are Unicode: a Latin-1 byte cannot be part of one.
    EXPECT_EQ(safeFileName("caf\xE9.dff"), "caf_.dff");
    EXPECT_EQ(safeFileName("caf\xC3\xA9.dff"), "caf\xC3\xA9.dff");
    EXPECT_EQ(safeFileName("\xED\xA0\x80\xC0\xAF.dff"), "_____.dff"); // a surrogate, an overlong "/"
    EXPECT_EQ(safeFileName("console.dff"), "console.dff");
    EXPECT_EQ(safeFileName("car.dff."), "car.dff_");
#else
    EXPECT_EQ(safeFileName("car.dff:x?"), "car.dff:x?");
#endif
}

TEST_P(Bulk, ExtractNeverOverwritesTheArchiveItself)
{
    // Extracted into its own folder, entries named like the archive's files.
    // A version 2 file has no .dir, and one made beside it would turn it
    // into a pair's data file.
    archive.renameEntry(0, "gta3.img");
    archive.renameEntry(2, "gta3.dir");
    Bytes directory = readFile(dir);
    std::vector<std::string> notes;
    auto count = archive.extractEntries(tmp.path(), {}, [&](const std::string& n) { notes.push_back(n); });
    EXPECT_EQ(count.written, 2u);
    EXPECT_EQ(count.skipped, 2u);
    std::string dirSkipped = GetParam() == Archive::Version::One
                                 ? "it would overwrite the archive's own directory or data file"
                                 : "beside gta3.img it would change which files make up an archive in the folder";
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "#0 \"gta3.img\" skipped: it would overwrite the archive's own directory or data file",
                         "#2 \"gta3.dir\" skipped: " + dirSkipped}));
    EXPECT_EQ(readFile(dir), directory);
    EXPECT_EQ(dataNow(), data);
    EXPECT_EQ(readFile(tmp / "b.txd"), slice(data, 3 * 2048, 2048));
}

TEST_P(Bulk, ExtractKeepsAFileMadeReadOnly)
{
    std::string out = tmp / "out";
    makeFolder(out);
    writeFile(out + "/b.txd", {1, 2, 3});
    std::filesystem::permissions(fsPath(out + "/b.txd"), std::filesystem::perms::owner_read);
    std::vector<std::string> notes;
    auto count = archive.extractEntries(out, {}, [&](const std::string& n) { notes.push_back(n); });
    EXPECT_EQ(count.written, 3u);
    EXPECT_EQ(notes, std::vector<std::string>{"#1 \"b.txd\" skipped: b.txd is read-only"});
    EXPECT_EQ(readFile(out + "/b.txd"), (Bytes{1, 2, 3}));
    EXPECT_EQ(readFile(out + "/a.dff"), slice(data, 0, 2 * 2048));
}

#ifdef _WIN32
TEST_P(Bulk, ExtractTakesNamesThatDifferInTheCaseOfAnyLetterForOneFile)
{
    archive.renameEntry(0, "\xE9.dff"); // é.dff, in Latin-1 as entry names are
    archive.renameEntry(1, "\xC9.DFF"); // É.DFF: the same file name on Windows
    std::vector<std::string> notes;
    auto count = archive.extractEntries(tmp / "out", {}, [&](const std::string& n) { notes.push_back(n); });
    EXPECT_EQ(count.written, 3u);
    EXPECT_EQ(notes, std::vector<std::string>{"#1 \"\xC3\x89.DFF\" skipped: an entry of that name was already written"});
    EXPECT_EQ(readFile(tmp / "out/\xC3\xA9.dff"), slice(data, 0, 2 * 2048));
}
#endif

TEST_P(Bulk, ExtractNeverWritesOutsideTheNamedFiles)
{
    // Every entry gets a file of its own in the folder, whatever its name.
    archive.renameEntry(0, "car.dff:hidden");
    archive.renameEntry(1, "CON");
    std::string out = tmp / "out";
    std::vector<std::string> notes;
    auto count = archive.extractEntries(out, {}, [&](const std::string& n) { notes.push_back(n); });
    EXPECT_EQ(count.written, 4u);
    std::set<std::string> files;
    for (auto& e : std::filesystem::directory_iterator(fsPath(out))) files.insert(utf8Path(e.path().filename()));
    EXPECT_EQ(files.size(), 4u);
    EXPECT_EQ(readFile(out + "/" + safeFileName("car.dff:hidden")), slice(data, 0, 2 * 2048));
}

TEST_P(Bulk, RebuildPacksEveryEntryInDirectoryOrder)
{
    auto before = exportsOf(archive, tmp);
    int64_t given = archive.rebuild();
    EXPECT_EQ(given, int64_t(7 * 2048 + 1) - int64_t(7 * 2048)); // the dead sector went, d got its own copy
    std::vector<std::pair<int64_t, uint32_t>> spans;
    for (size_t i = 0; i < archive.count(); ++i) spans.emplace_back(start(i), archive.table()[i].sectorCount());
    EXPECT_EQ(spans, (std::vector<std::pair<int64_t, uint32_t>>{{0, 2}, {2, 1}, {3, 3}, {6, 1}}));
    EXPECT_EQ(dataNow().size(), 7u * 2048);
    EXPECT_EQ(exportsOf(archive, tmp), before);
    Archive reread;
    reread.openimg(dir);
    EXPECT_EQ(exportsOf(reread, tmp), before);
    EXPECT_EQ(archive.rebuild(), 0); // already packed: nothing moves
    EXPECT_EQ(exportsOf(archive, tmp), before);
}

TEST_P(Bulk, ARebuildOfASpanPastTheEndRefusesAndChangesNothing)
{
    TempDir t;
    std::string far = layout.make(t / "g", {makeEntry(2, 1, "a.dff"), makeEntry(5, 3, "far.dff")}, pattern(4 * 2048));
    Archive broken;
    broken.openimg(far);
    Bytes d = readFile(far), img = readFile(t / "g.img");
    EXPECT_FAILURE(broken.rebuild(), "Read beyond end of file: entry #1 \"far.dff\" reaches past the data file's end");
    EXPECT_EQ(readFile(far), d);
    EXPECT_EQ(readFile(t / "g.img"), img);
}

TEST(Check, ReportsEveryProblemOncePerEntry)
{
    EntryTable table;
    auto add = [&](const DirEntry& e) { table.append(e); };
    add(makeEntry(0, 2, "good.dff"));
    add(makeEntry(1, 1, "Good.DFF"));              // overlaps #0, repeats its name
    add(makeEntry(3, 0, "noext"));                 // 0 sectors, no extension
    add(makeEntry(1 << 24, 1, "far.txd"));         // beyond the games' reach, past the end
    add(makeEntry(4, 1, "abcdefghijklmnopqrstu.d")); // 21 bytes before the "."
    DirEntry full = makeEntry(5, 1, "");
    full.setName("abc.defghijklmnopqrstuvw"); // 24 bytes: no NUL
    add(full);
    add(makeEntry(6, 1, "tab\there.col"));
    CheckReport r = checkTable(table, 7 * 32 + 5, 10 * 2048);
    EXPECT_EQ(r.problemLines(), (std::vector<std::string>{
                              "#2 \"noext\": it has 0 sectors",
                              "#2 \"noext\": the name has no extension",
                              "#3 \"far.txd\": its span reaches past the end of the data file",
                              "#3 \"far.txd\": it starts at sector 16777216, outside 0 to 16777215",
                              "#4 \"abcdefghijklmnopqrstu.d\": the name's part before the first \".\" is longer "
                              "than 20 bytes",
                              "#5 \"abc.defghijklmnopqrstuvw\": the name fills all 24 bytes with no NUL",
                              "#6 \"tab\\x09here.col\": the name has non-printable bytes",
                              "#1 \"Good.DFF\": its span overlaps that of #0 \"good.dff\"",
                              "#1 \"Good.DFF\": the name repeats that of #0",
                          }));
    // The same as data, for the window's decisions: each line's kind and entry.
    using Kind = CheckProblem::Kind;
    std::vector<std::pair<Kind, size_t>> kinds;
    for (const auto& problem : r.problems) kinds.emplace_back(problem.kind, problem.entry);
    EXPECT_EQ(kinds, (std::vector<std::pair<Kind, size_t>>{
                         {Kind::ZeroSectors, 2}, {Kind::NoExtension, 2}, {Kind::SpanPastTheEnd, 3},
                         {Kind::StartOutsideTheGames, 3}, {Kind::LongFirstPart, 4}, {Kind::NameFillsTheField, 5},
                         {Kind::NonPrintableName, 6}, {Kind::Overlap, 1}, {Kind::RepeatedName, 1}}));
    EXPECT_EQ(r.notes, (std::vector<std::string>{
                           "The directory file's size, 229 bytes, is not a multiple of 32: its last 5 bytes are not "
                           "an entry (every save keeps them after the entries)",
                           "No dead-space figure: a span reaches past the end of the data file, and rebuild refuses "
                           "such an archive"}));
    // A clean archive: only the dead space.
    EntryTable clean;
    clean.append(makeEntry(0, 1, "a.dff"));
    CheckReport ok = checkTable(clean, 32, 2049);
    EXPECT_TRUE(ok.problems.empty());
    EXPECT_EQ(ok.notes, std::vector<std::string>{"Dead space: 1 byte, which rebuild gives back"});
}

TEST(Progress, ALargeEntryIsToldAsItsBytesAreCopied)
{
    // A window shows a large entry moving, and stays responsive meanwhile,
    // only if the copy reports its bytes before the entry is done.
    TempDir t;
    std::string dir = makeArchive(t / "x", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    const size_t big = 40u << 20;
    writeFile(t / "big.dff", Bytes(big, 7));
    std::vector<Archive::ProgressStep> steps;
    auto record = [&](const Archive::ProgressStep& step) { steps.push_back(step); };
    auto check = [&](const char* what, uint64_t total) {
        SCOPED_TRACE(what);
        ASSERT_GE(steps.size(), 3u); // at least twice on the way, then done
        for (size_t k = 1; k < steps.size(); ++k) EXPECT_GE(steps[k].bytes, steps[k - 1].bytes);
        EXPECT_EQ(steps.front().entries, 0u);
        EXPECT_LT(steps.front().bytes, total);
        EXPECT_EQ(steps.back().bytes, total);
        EXPECT_EQ(steps.back().entries, 1u);
        EXPECT_EQ(steps.back().bytesTotal, total);
        steps.clear();
    };
    Archive a;
    a.openimg(dir);
    a.addEntry(t / "big.dff", record);
    check("add", big);
    a.exportEntry(1, t / "out.dff", record);
    check("export", paddedSize(big));
    a.replaceEntry(1, t / "big.dff", record); // in place: copied to the end, then back
    check("replace in place", big + paddedSize(big));
    EXPECT_EQ(readFile(t / "out.dff").size(), paddedSize(big));
}

INSTANTIATE_TEST_SUITE_P(BothVersions, Bulk, ::testing::Values(Archive::Version::One, Archive::Version::Two),
                         [](const auto& version) { return versionName(version.param); });
