// How entries' spans are read and how new data is placed in the data file:
// the rules that the operations of archive.cpp, bulk.cpp and rebuild.cpp
// share. Internal to the archive store.
#pragma once

#include "archive.h"
#include "entry_table.h"
#include "file.h"
#include "sectors.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brimlet {

// Counts a long command's entries and bytes toward their totals and tells
// its Progress after each entry.
class ProgressCount {
public:
    ProgressCount(const Archive::Progress& progress, uint64_t entries, uint64_t bytes) : progress_(progress)
    {
        step_.entriesTotal = entries;
        step_.bytesTotal = bytes;
    }
    void entryDone(uint64_t bytes)
    {
        ++step_.entries;
        step_.bytes += bytes;
        if (progress_) progress_(step_);
    }
    // All done: the totals, whichever steps were needed.
    void finish()
    {
        step_.entries = step_.entriesTotal;
        step_.bytes = step_.bytesTotal;
        if (progress_) progress_(step_);
    }
    // Bytes of an entry done, part of the way (a copy made in two steps).
    void bytesDone(uint64_t bytes)
    {
        step_.bytes += bytes;
        if (progress_) progress_(step_);
    }
    // For the entry being copied: its bytes done so far, told as they come
    // (a large entry moves between two entryDone calls); empty without a
    // Progress.
    ByteProgress partial()
    {
        if (!progress_) return {};
        return [this](uint64_t bytes) {
            Archive::ProgressStep now = step_;
            now.bytes += bytes;
            progress_(now);
        };
    }

private:
    const Archive::Progress& progress_;
    Archive::ProgressStep step_;
};

// An entry's bytes in the data file.
struct Span {
    int64_t start = 0; // bytes; negative for a corrupt start sector
    uint64_t length = 0;
};

Span spanOf(const DirEntry& entry);
// Whether the whole span lies inside a data file of `fileSize` bytes.
bool spanInside(const Span& span, uint64_t fileSize);

// Whether any other entry's span overlaps entry i's (other tools share spans
// between entries, and broken directories overlap them).
bool sharesSpan(const EntryTable& table, size_t i);

// Refuses to use one of the archive's own files as a source or destination:
// reading and writing one file through two names would destroy it.
bool isArchiveFile(const FileIdentity& id, const std::string& directoryPath, const File& data);
void refuseArchiveFile(const File& source, const std::string& directoryPath, const File& data);
// Whether `path` names the archive's own directory or data file (through
// any link, and in any case where names are blind to it).
bool isArchiveFileAt(const std::string& path, const std::string& directoryPath, const File& data);

// The source's length. Files under /proc and the like say 0 and yet hold
// bytes: stored by their size they would become empty entries, so they are
// refused.
uint64_t knownLength(const File& source);

// Refuses a start sector or a count that the entry's fields cannot hold.
void checkStartFits(uint64_t startSector, uint64_t sectors);

// How far the table's spans reach, in sectors: asked at every append, so a
// command of many appends finds it once and extends it with each.
class SpanReach {
public:
    explicit SpanReach(const EntryTable& table);
    void extend(const DirEntry& entry);
    uint64_t furthest() const { return furthest_; }
    // No append starts below this sector (a version 2 directory's own).
    void setFloor(uint64_t sector) { floor_ = sector; }
    uint64_t floor() const { return floor_; }

private:
    uint64_t furthest_ = 0;
    uint64_t floor_ = 0;
};

// The sector at which an appended entry starts (see the .cpp for the rule
// on unpadded last entries).
uint64_t appendStart(uint64_t dataSize, const EntryTable& table, const SpanReach& reach);

// Writes `length` bytes of `source` as `entry`'s new data at the end of the
// data file and points the entry at it; returns the data file's new size.
// `reach` is extended with the entry.
uint64_t appendPlacement(DirEntry& entry, const File& source, uint64_t length, File& data, const EntryTable& table,
                         SpanReach& reach, const ByteProgress& progress = {});

inline uint64_t roundUpToSector(uint64_t n) { return (n + kSectorSize - 1) / kSectorSize * kSectorSize; }

// Puts the data file back as it was before a command that appended to it,
// unless the command got as far as its directory save (keep()): cuts it to
// its old size, and writes back the bytes of its last, partial sector, which
// an append may have written over. Best effort: those bytes are referred to
// by no entry either way.
class AppendedBytes {
public:
    // `kept`: where the command's save sets it once nothing may be cut.
    explicit AppendedBytes(File& data, const bool* kept = nullptr);
    ~AppendedBytes();
    AppendedBytes(const AppendedBytes&) = delete;
    AppendedBytes& operator=(const AppendedBytes&) = delete;
    uint64_t sizeBefore() const { return sizeBefore_; }
    // Whether an append wrote over bytes of the last, partial sector the
    // file had (true also when that cannot be read back).
    bool partialSectorChanged() const;
    void keep() { kept_ = true; }

private:
    File& data_;
    uint64_t sizeBefore_;
    std::vector<char> partialSector_;
    bool kept_ = false;
    const bool* keptBySave_;
};

}  // namespace brimlet
