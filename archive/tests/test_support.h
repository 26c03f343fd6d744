// Helpers for tests on real files: a temporary folder that removes itself,
// whole-file reads and writes, and hand-made directory entries.
#pragma once

#include "archive/archive.h"
#include "archive/entry_table.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Expects `statement` to raise a Failure with exactly `message`.
#define EXPECT_FAILURE(statement, message)                      \
    try {                                                       \
        statement;                                              \
        ADD_FAILURE() << "no failure, expected: " << (message); \
    } catch (const ::brimlet::Failure& f) {                     \
        EXPECT_EQ(std::string(f.what()), (message));            \
    }

namespace brimlet::test {

using Bytes = std::vector<uint8_t>;

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// UTF-8 paths as the store takes them, to and from std::filesystem (whose
// narrow strings are not UTF-8 on Windows).
std::filesystem::path fsPath(const std::string& utf8);
std::string utf8Path(const std::filesystem::path& path);

// A symbolic link at `link` to `target`; false where the system or the
// user may not make one (Windows without the privilege).
bool makeLink(const std::string& target, const std::string& link);
void makeFolder(const std::string& path);

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
bool exists(const std::string& path);
Bytes pattern(size_t size, uint8_t seed = 1); // recognisable non-zero bytes

DirEntry makeEntry(int32_t start, uint32_t count, const std::string& name);
Bytes directoryBytes(const std::vector<DirEntry>& entries);
// A table of a directory file's whole entries; a trailing partial entry is dropped.
EntryTable tableOf(const Bytes& directory);
// containsLowered for a search text in any case.
bool containsIgnoringCase(const std::string& text, const std::string& search);

// Writes base.dir with `entries` and base.img with `data`; returns base.dir.
std::string makeArchive(const std::string& base, const std::vector<DirEntry>& entries, const Bytes& data);

// A version 2 archive's bytes as the later games' tools lay them out, made
// without the store: "VER2", the count, the entries (a second size field
// of their own), zeros up to sector `dataSector`, then `data` from there.
struct Version2Entry {
    uint32_t start;
    uint16_t size;
    uint16_t second;
    std::string name;
};
Bytes version2File(const std::vector<Version2Entry>& entries, const Bytes& data, size_t dataSector);
// The entries of a version 2 file's bytes, read by the format alone.
std::vector<Version2Entry> readVersion2Independently(const Bytes& file);

// One test, both versions: an archive of either version made from the same
// entries and bytes, and read back the same way. Start sectors are counted
// from the first data sector: 0 in a pair; 1 in a version 2 file, whose
// directory has sector 0 to itself (room for 63 entries). Negative starts
// are written and read as they are.
class Layout {
public:
    using Version = Archive::Version;
    explicit Layout(Version version) : version_(version) {}
    Version version() const { return version_; }
    uint32_t firstDataSector() const { return version_ == Version::One ? 0 : 1; }

    // Writes the archive `base` ("base.dir" + "base.img", or "base.img" with
    // the directory inside; counts of at most 65,535 for version 2) and
    // returns the path a user names: the .dir, or the .img.
    std::string make(const std::string& base, const std::vector<DirEntry>& entries, const Bytes& data) const;
    // The data file of the archive at `archive` (itself, for version 2).
    std::string dataPath(const std::string& archive) const;
    // Its bytes from the first data sector on, and those bytes rewritten
    // (a version 2 directory kept in front of them).
    Bytes data(const std::string& archive) const;
    void writeData(const std::string& archive, const Bytes& data) const;
    // The directory's 32-byte entries as on disk, starts counted from the
    // first data sector (a version 2 entry's second size field is 0).
    Bytes directory(const std::string& archive) const;
    // Entry i's start as the archive holds it, counted likewise.
    int64_t start(const Archive& archive, size_t i) const;

private:
    int64_t relative(int32_t start) const;
    Version version_;
};
// "Version1" or "Version2", for a parametrised test's name.
std::string versionName(Archive::Version version);

// Number of descriptors this process has open, to prove none is left behind.
int openDescriptorCount();

}  // namespace brimlet::test
