// Hostile and broken inputs: each gets its exact message or result, and a
// failure changes nothing on disk.
#include "archive/archive.h"
#include "archive/errors.h"
#include "test_support.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

// Every file of the folder: its bytes, or where a link points.
std::map<std::string, Bytes> snapshot(const TempDir& t)
{
    std::map<std::string, Bytes> files;
    for (auto& e : std::filesystem::directory_iterator(t.path())) {
        std::string name = e.path().filename().string();
        if (e.is_symlink()) {
            std::string target = std::filesystem::read_symlink(e.path()).string();
            files[name] = Bytes(target.begin(), target.end());
        } else if (e.is_regular_file()) {
            files[name] = readFile(e.path().string());
        } else {
            files[name] = {'/'};
        }
    }
    return files;
}

// Runs `action`, expects `message`, and checks the folder is as it was.
void expectRefused(const TempDir& t, const std::function<void()>& action, const std::string& message)
{
    auto before = snapshot(t);
    try {
        action();
        ADD_FAILURE() << "no failure, expected: " << message;
    } catch (const Failure& f) {
        EXPECT_EQ(std::string(f.what()), message);
    }
    EXPECT_EQ(snapshot(t), before) << message;
}


DirEntry rawEntry(int32_t start, uint32_t count, const std::string& field)
{
    DirEntry::Bytes raw{};
    DirEntry e(raw);
    e.setStartSector(start);
    e.setSectorCount(count);
    DirEntry::Bytes bytes = e.bytes();
    std::copy(field.begin(), field.end(), bytes.begin() + 8);
    return DirEntry(bytes);
}

}  // namespace

TEST(Hostile, DirectoryFileSizes)
{
    TempDir t;
    const std::vector<std::pair<size_t, size_t>> sizes = {{0, 0}, {1, 0}, {31, 0}, {33, 1}, {65536 * 32, 65536}};
    for (auto [bytes, entries] : sizes) {
        writeFile(t / "a.dir", Bytes(bytes, 0x41));
        Archive archive;
        archive.openimg(t / "a.dir");
        EXPECT_EQ(archive.count(), entries) << bytes;
    }
    writeFile(t / "a.dir", Bytes(65537 * 32, 0));
    Archive archive;
    expectRefused(t, [&] { archive.openimg(t / "a.dir"); },
                  "The directory file " + (t / "a.dir") + " holds more than 65536 entries");
    EXPECT_FALSE(archive.isOpen());
}

TEST(Hostile, OddNamesAreKeptByteForByte)
{
    TempDir t;
    std::string noNul = "abcdefghijklmnopqrstuvwx";
    std::string allFF(24, '\xFF');
    std::string control = std::string("a\x01\x1b\t\nb.dff") + '\0';
    makeArchive(t / "n", {rawEntry(0, 1, noNul), rawEntry(1, 1, allFF), rawEntry(2, 1, control)}, pattern(3 * 2048));
    Archive archive;
    archive.openimg(t / "n.dir");
    EXPECT_EQ(archive.name(0), noNul);
    EXPECT_EQ(archive.name(1), allFF);
    EXPECT_EQ(archive.name(2), "a\x01\x1b\t\nb.dff");
    Bytes before = readFile(t / "n.dir");
    archive.renameEntry(2, "a\x01\x1b\t\nb.dff"); // the same name: the same bytes
    EXPECT_EQ(readFile(t / "n.dir"), before);
    archive.exportEntry(1, t / "out");
    EXPECT_EQ(readFile(t / "out").size(), 2048u);
}

TEST(Hostile, SectorCountsAndStarts)
{
    TempDir t;
    makeArchive(t / "s",
                {makeEntry(0, 0, "zero"), makeEntry(0, 1, "one"), makeEntry(1, 4294967295u, "huge"),
                 makeEntry(-1, 1, "negative"), makeEntry(100, 2, "past"), makeEntry(INT32_MAX, 1, "far")},
                pattern(3 * 2048));
    Archive archive;
    archive.openimg(t / "s.dir");
    archive.exportEntry(0, t / "zero.out");
    EXPECT_EQ(readFile(t / "zero.out").size(), 0u);
    archive.exportEntry(1, t / "one.out");
    EXPECT_EQ(readFile(t / "one.out").size(), 2048u);
    for (size_t i : {2, 3, 4, 5})
        expectRefused(t, [&] { archive.exportEntry(i, t / "bad.out"); }, "Read beyond end of file");

    // A replace never writes into a span outside the data file: it moves.
    writeFile(t / "f", {7});
    for (size_t i : {2, 3, 4, 5}) {
        uint64_t size = readFile(t / "s.img").size();
        archive.replaceEntry(i, t / "f");
        EXPECT_EQ(static_cast<uint64_t>(archive.table()[i].startSector()), size / 2048);
        EXPECT_EQ(archive.table()[i].sectorCount(), 1u);
    }
    EXPECT_LT(readFile(t / "s.img").size(), 8u * 2048);
}

TEST(Hostile, MissingReadOnlyAndFolderArchiveFiles)
{
    TempDir t;
    std::string dir = makeArchive(t / "g", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    writeFile(t / "src.dff", {1});
    Archive archive;
    archive.openimg(dir);

    ::chmod((t / "g.img").c_str(), 0444);
    expectRefused(t, [&] { archive.addEntry(t / "src.dff"); }, "File access denied");
    expectRefused(t, [&] { archive.replaceEntry(0, t / "src.dff"); }, "File access denied");
    ::chmod((t / "g.img").c_str(), 0644);

    ::rename((t / "g.img").c_str(), (t / "moved").c_str());
    expectRefused(t, [&] { archive.exportEntry(0, t / "out"); }, "File not found");
    expectRefused(t, [&] { archive.addEntry(t / "src.dff"); }, "File not found");
    makeFolder(t / "g.img");
    expectRefused(t, [&] { archive.exportEntry(0, t / "out"); }, "File access denied");
    expectRefused(t, [&] { archive.replaceEntry(0, t / "src.dff"); }, "File access denied");

    Archive other;
    ::chmod(dir.c_str(), 0444);
    expectRefused(t, [&] { other.openimg(dir); }, "File access denied");
    makeFolder(t / "h.dir");
    expectRefused(t, [&] { other.openimg(t / "h.img"); }, "File access denied");
    expectRefused(t, [&] { other.openimg(t / "none.img"); }, "File not found");
    expectRefused(t, [&] { other.openimg(t / "nofolder/x.dir"); }, "Invalid filename");
    expectRefused(t, [&] { other.openimg(t / "src.dff/x.dir"); }, "Invalid filename"); // a file as a folder
}

TEST(Hostile, SymbolicLinksAsDirectory)
{
    TempDir t;
    makeArchive(t / "real", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    if (!makeLink(t / "real.dir", t / "link.dir")) GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(makeLink(t / "real.img", t / "link.img"));
    Archive archive;
    archive.openimg(t / "link.dir");
    archive.renameEntry(0, "b.dff");
    EXPECT_TRUE(std::filesystem::is_symlink(t / "link.dir"));
    Archive real;
    real.openimg(t / "real.dir");
    EXPECT_EQ(real.name(0), "b.dff");

    ASSERT_TRUE(makeLink(t / "gone.dir", t / "dangling.dir"));
    expectRefused(t, [&] { real.openimg(t / "dangling.dir"); }, "File not found");
}

TEST(Hostile, BadSourcesAndDestinations)
{
    TempDir t;
    std::string dir = makeArchive(t / "g", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    Archive archive;
    archive.openimg(dir);
    makeFolder(t / "folder.dff");
    std::vector<std::pair<std::string, std::string>> sources{{t / "folder.dff", "File access denied"},
                                                             {t / "missing.dff", "File not found"},
                                                             {t / "nofolder/x.dff", "Invalid filename"}};
#ifndef _WIN32 // Windows has no file that its owner cannot read
    writeFile(t / "secret.dff", {1});
    ::chmod((t / "secret.dff").c_str(), 0);
    sources.push_back({t / "secret.dff", "File access denied"});
#endif
    for (const auto& source : sources) {
        expectRefused(t, [&] { archive.addEntry(source.first); }, source.second);
        expectRefused(t, [&] { archive.replaceEntry(0, source.first); }, source.second);
    }
    expectRefused(t, [&] { archive.exportEntry(0, t / "nofolder/out"); }, "Cannot create file " + (t / "nofolder/out"));
    writeFile(t / "locked.out", {9});
    ::chmod((t / "locked.out").c_str(), 0444);
    expectRefused(t, [&] { archive.exportEntry(0, t / "locked.out"); }, "Cannot create file " + (t / "locked.out"));
    expectRefused(t, [&] { archive.exportEntry(0, t.path()); }, "Cannot create file " + t.path());
}
