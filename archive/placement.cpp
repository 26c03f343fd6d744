#include "placement.h"

#include "errors.h"

#include <algorithm>
#include <climits>

namespace brimlet {

Span spanOf(const DirEntry& entry)
{
    return {static_cast<int64_t>(entry.startSector()) * static_cast<int64_t>(kSectorSize),
            uint64_t{entry.sectorCount()} * kSectorSize};
}

bool spanInside(const Span& span, uint64_t fileSize)
{
    if (span.length == 0) return span.start >= 0; // nothing to read, wherever it points
    return span.start >= 0 && static_cast<uint64_t>(span.start) <= fileSize &&
           span.length <= fileSize - static_cast<uint64_t>(span.start);
}

bool sharesSpan(const EntryTable& table, size_t i)
{
    Span mine = spanOf(table[i]);
    for (size_t j = 0; j < table.count(); ++j) {
        if (j == i) continue;
        Span other = spanOf(table[j]);
        if (other.length > 0 && other.start < mine.start + static_cast<int64_t>(mine.length) &&
            mine.start < other.start + static_cast<int64_t>(other.length))
            return true;
    }
    return false;
}

bool isArchiveFile(const FileIdentity& id, const std::string& directoryPath, const File& data)
{
    FileIdentity own;
    return data.identity() == id || (identityOf(directoryPath, own) && own == id);
}

bool isArchiveFileAt(const std::string& path, const std::string& directoryPath, const File& data)
{
    FileIdentity id;
    return identityOf(path, id) && isArchiveFile(id, directoryPath, data);
}

void refuseArchiveFile(const File& source, const std::string& directoryPath, const File& data)
{
    if (isArchiveFile(source.identity(), directoryPath, data))
        throw Failure("The archive's own directory or data file cannot be put into it");
}

uint64_t knownLength(const File& source)
{
    uint64_t size = source.size();
    if (size == 0 && source.hasByteAt(0))
        throw Failure("The size of " + source.path() + " cannot be known; copy it to an ordinary file first");
    return size;
}

void checkStartFits(uint64_t startSector, uint64_t sectors)
{
    if (startSector > INT32_MAX || sectors > UINT32_MAX)
        throw Failure("The data file is too large: a new entry would start beyond sector 2147483647");
}

// An appended entry starts at the sector in which the data file ends. Other
// tools leave the last entry unpadded, though: when a span covers that last,
// partial sector, the new entry starts at the next sector instead, keeping
// the partial sector's bytes. Only a span that covers that very sector counts,
// so a corrupt count never pushes new data further out than one sector.
uint64_t appendStart(uint64_t dataSize, const EntryTable& table, const SpanReach& reach)
{
    uint64_t last = appendStartSector(dataSize);
    if (dataSize % kSectorSize == 0 || reach.furthest() <= last) return last; // no span ends past `last`
    for (size_t i = 0; i < table.count(); ++i) {
        int64_t start = table[i].startSector();
        uint64_t count = table[i].sectorCount();
        if (count > 0 && start >= 0 && static_cast<uint64_t>(start) <= last && last < start + count) return last + 1;
    }
    return last;
}

// Writes `length` bytes of `source` as entry `entry`'s new data at the end of
// the data file, padded as the format wants: the span is padded(length), and
// a zero fill of the span's length plus one byte runs from the file's old end
// (so each append leaves one more stray zero byte past the last span).
// Returns the data file's new size.
SpanReach::SpanReach(const EntryTable& table)
{
    for (size_t i = 0; i < table.count(); ++i) extend(table[i]);
}

void SpanReach::extend(const DirEntry& entry)
{
    if (entry.startSector() >= 0 && entry.sectorCount() > 0)
        furthest_ = std::max(furthest_, uint64_t(entry.startSector()) + entry.sectorCount());
}

uint64_t appendPlacement(DirEntry& entry, const File& source, uint64_t length, File& data, const EntryTable& table,
                         SpanReach& reach, const ByteProgress& progress)
{
    uint64_t oldSize = data.size();
    uint64_t start = std::max(appendStart(oldSize, table, reach), reach.floor());
    // A data file with other names may be another archive's too, whose
    // unpadded last entry can end in the last, partial sector where our
    // table sees nothing: then nothing below the file's end is written.
    // Asked at every append, since a link can be made while a command runs.
    if (data.linkCount() > 1) start = std::max(start, roundUpToSector(oldSize) / kSectorSize);
    uint64_t sectors = sectorsFor(length);
    checkStartFits(start, sectors);
    uint64_t offset = sectorOffset(start);
    uint64_t end = std::max(oldSize, offset) + sectors * kSectorSize + 1;
    if (offset > oldSize) data.writeZeros(oldSize, offset - oldSize);
    copyBetween(source, 0, data.descriptor(), data.path(), offset, length, WriteFailure::IoCode, progress);
    uint64_t zerosFrom = std::max(oldSize, offset + length);
    data.writeZeros(zerosFrom, end - zerosFrom);
    entry.setStartSector(static_cast<int32_t>(start));
    entry.setSectorCount(static_cast<uint32_t>(sectors));
    reach.extend(entry);
    return end;
}

AppendedBytes::AppendedBytes(File& data, const bool* kept) : data_(data), sizeBefore_(data.size()), keptBySave_(kept)
{
    partialSector_.resize(sizeBefore_ % kSectorSize);
    if (!partialSector_.empty())
        data_.readExact(std::span<char>(partialSector_), sizeBefore_ - partialSector_.size());
}

bool AppendedBytes::partialSectorChanged() const
{
    if (partialSector_.empty()) return false;
    try {
        std::vector<char> now(partialSector_.size());
        data_.readExact(std::span<char>(now), sizeBefore_ - now.size());
        return now != partialSector_;
    } catch (const Failure&) {
        return true;
    }
}

AppendedBytes::~AppendedBytes()
{
    if (kept_ || (keptBySave_ && *keptBySave_)) return;
    try {
        data_.truncate(sizeBefore_);
        if (partialSector_.empty()) return;
        // Only when an append wrote over them: a data file with other names
        // never has a byte below its end written.
        std::vector<char> now(partialSector_.size());
        data_.readExact(std::span<char>(now), sizeBefore_ - now.size());
        if (now != partialSector_) data_.writeExact(partialSector_, sizeBefore_ - partialSector_.size());
    } catch (const Failure&) {
    }
}

}  // namespace brimlet
