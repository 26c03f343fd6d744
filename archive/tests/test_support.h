// Helpers for tests on real files: a temporary folder that removes itself,
// whole-file reads and writes, and hand-made directory entries.
#pragma once

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

// Number of descriptors this process has open, to prove none is left behind.
int openDescriptorCount();

}  // namespace brimlet::test
