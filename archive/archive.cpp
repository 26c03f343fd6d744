#include "archive.h"

#include "errors.h"
#include "file.h"
#include "lock.h"
#include "paths.h"
#include "sectors.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <vector>

namespace brimlet {

namespace {

struct Span {
    int64_t start = 0; // bytes; negative for a corrupt start sector
    uint64_t length = 0;
};

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

// Refuses to use one of the archive's own files as a source or destination:
// reading and writing one file through two names would destroy it.
bool isArchiveFile(const FileIdentity& id, const std::string& directoryPath, const std::string& dataPath)
{
    FileIdentity own;
    return (identityOf(directoryPath, own) && own == id) || (identityOf(dataPath, own) && own == id);
}

void refuseArchiveFile(const File& source, const std::string& directoryPath, const std::string& dataPath)
{
    if (isArchiveFile(source.identity(), directoryPath, dataPath))
        throw Failure("The archive's own directory or data file cannot be put into it");
}

// Writes `length` bytes of `source` as entry `entry`'s new data at the end of
// the data file, padded as the format wants: the span is padded(length), and
// the zero fill runs one byte past it, starting at the file's old end.
void appendPlacement(DirEntry& entry, const File& source, uint64_t length, File& data)
{
    uint64_t oldSize = data.size();
    uint64_t start = appendStartSector(oldSize);
    uint64_t sectors = sectorsFor(length);
    if (start > INT32_MAX || sectors > UINT32_MAX)
        throw Failure("The data file is too large: a new entry would start beyond sector 2147483647");
    uint64_t offset = sectorOffset(start);
    uint64_t end = oldSize + sectors * kSectorSize + 1;
    copyBetween(source, 0, data.descriptor(), data.path(), offset, length, WriteFailure::IoCode);
    uint64_t zerosFrom = std::max(oldSize, offset + length);
    data.writeZeros(zerosFrom, end - zerosFrom);
    entry.setStartSector(static_cast<int32_t>(start));
    entry.setSectorCount(static_cast<uint32_t>(sectors));
}

// Overwrites the first `length` bytes of the span with the source and zeros
// the rest up to one byte past its second-to-last sector; the span's last
// 2047 bytes keep their values.
void placeInPlace(const Span& span, const File& source, uint64_t length, File& data)
{
    auto start = static_cast<uint64_t>(span.start);
    copyBetween(source, 0, data.descriptor(), data.path(), start, length, WriteFailure::IoCode);
    uint64_t zerosEnd = span.length - kSectorSize + 1;
    if (length < zerosEnd) data.writeZeros(start + length, zerosEnd - length);
}

}  // namespace

std::string Archive::dataPath() const { return existingWithAnyCase(dataPathFor(directoryPath_)); }

long Archive::indexOf(std::string_view name) const
{
    std::string wanted = lowerAscii(std::string(name));
    for (size_t i = 0; i < table_.count(); ++i) {
        std::string_view candidate = table_[i].nameView();
        if (candidate.size() == wanted.size() && lowerAscii(std::string(candidate)) == wanted)
            return static_cast<long>(i);
    }
    return -1;
}

void Archive::checkIndex(size_t i) const
{
    if (i >= table_.count()) throw Failure("List index out of bounds (" + std::to_string(i) + ")");
}

// Another program may have saved this archive since we read it: writing our
// table then would drop its changes. The directory is compared whole, which
// costs one read of at most 2 MiB, small beside the write that follows.
void Archive::checkUnchanged() const
{
    File directory(directoryPath_, File::Mode::ReadOnly);
    uint64_t size = directory.size();
    bool same = size / kEntrySize == table_.count();
    if (same && table_.imageSize() > 0) {
        std::vector<uint8_t> onDisk(table_.imageSize());
        directory.readExact(onDisk.data(), onDisk.size(), 0);
        same = std::equal(onDisk.begin(), onDisk.end(), table_.image());
    }
    directory.close();
    if (!same)
        throw Failure("The archive was changed by another program since it was opened; open it again to see the "
                      "changes");
}

void Archive::saveDirectory(const EntryTable& table)
{
    writeWholeFile(directoryPath_, table.image(), table.imageSize());
}

void Archive::openimg(const std::string& path)
{
    std::string directoryPath = existingWithAnyCase(directoryPathFor(path));
    ArchiveLock lock(directoryPath);
    File directory(directoryPath, File::Mode::ReadWrite);
    uint64_t size = directory.size();
    if (size / kEntrySize > EntryTable::kCapacity)
        throw Failure("The directory file " + directoryPath + " holds more than 65536 entries");
    // Whole entries only: a trailing partial entry is not part of the directory.
    size_t count = static_cast<size_t>(size / kEntrySize);
    directory.readExact(draft_.storage(), count * kEntrySize, 0);
    directory.close();
    draft_.setCount(count);
    std::swap(table_, draft_);
    directoryPath_ = directoryPath;
}

void Archive::exportEntry(size_t i, const std::string& destination)
{
    checkIndex(i);
    ArchiveLock lock(directoryPath_);
    checkUnchanged();
    File data(dataPath(), File::Mode::ReadWrite);
    FileIdentity target;
    if (identityOf(destination, target) && isArchiveFile(target, directoryPath_, dataPath()))
        throw Failure("An entry cannot be exported onto the archive's own directory or data file");
    Span span = spanOf(table_[i]);
    if (!spanInside(span, data.size())) raiseIo(io_code::kReadBeyondEnd);
    WholeFileWriter writer(destination);
    writer.copyFrom(data, static_cast<uint64_t>(span.start), span.length);
    data.close(); // before the commit, so a failed close leaves no destination
    writer.commit();
}

void Archive::appendFile(EntryTable& table, const std::string& sourcePath)
{
    std::string name = hostFileName(sourcePath);
    checkNameFits(name);
    if (table.full()) throw Failure("The archive is full: it holds 65536 entries, the most it can hold");
    File source(sourcePath, File::Mode::ReadOnly);
    refuseArchiveFile(source, directoryPath_, dataPath());
    File data(dataPath(), File::Mode::ReadWrite);
    DirEntry entry;
    entry.setName(name);
    appendPlacement(entry, source, source.size(), data);
    data.sync();
    source.close();
    data.close();
    table.append(entry);
}

// A copy of the table to change; commit() makes it the table.
EntryTable& Archive::draft()
{
    draft_.copyFrom(table_);
    return draft_;
}

// The table in memory follows the directory on disk, never leads it.
void Archive::commit()
{
    saveDirectory(draft_);
    std::swap(table_, draft_);
}

size_t Archive::addEntry(const std::string& sourcePath)
{
    addEntries({sourcePath});
    return table_.count() - 1;
}

void Archive::addEntries(const std::vector<std::string>& sources)
{
    ArchiveLock lock(directoryPath_);
    checkUnchanged();
    EntryTable& next = draft();
    std::exception_ptr failure;
    for (const auto& source : sources) {
        try {
            appendFile(next, source);
        } catch (...) {
            failure = std::current_exception();
            break;
        }
    }
    if (next.count() != table_.count()) commit();
    if (failure) std::rethrow_exception(failure);
}

void Archive::replaceEntry(size_t i, const std::string& sourcePath)
{
    checkIndex(i);
    ArchiveLock lock(directoryPath_);
    checkUnchanged();
    File source(sourcePath, File::Mode::ReadOnly);
    refuseArchiveFile(source, directoryPath_, dataPath());
    uint64_t length = source.size();
    File data(dataPath(), File::Mode::ReadWrite);
    Span span = spanOf(table_[i]);
    // A file of exactly the span's length does not fit: its padded size is a
    // sector more. A span outside the data file (a broken directory) is never
    // written in place; the entry moves to the end instead.
    bool fits = paddedSize(length) <= span.length && spanInside(span, data.size());
    if (fits) {
        placeInPlace(span, source, length, data);
        data.sync();
    } else {
        EntryTable& next = draft();
        appendPlacement(next[i], source, length, data);
        data.sync();
        commit();
    }
    source.close();
    data.close();
}

void Archive::deleteEntry(size_t i)
{
    if (table_.count() == 0) return;
    checkIndex(i);
    ArchiveLock lock(directoryPath_);
    checkUnchanged();
    draft().remove(i);
    commit();
}

void Archive::renameEntry(size_t i, const std::string& name)
{
    checkIndex(i);
    checkNameFits(name);
    ArchiveLock lock(directoryPath_);
    checkUnchanged();
    draft()[i].setName(name);
    commit();
}

}  // namespace brimlet
