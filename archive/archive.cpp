#include "archive.h"

#include "errors.h"
#include "file.h"
#include "temporary_files.h"
#include "whole_file_writer.h"
#include "name_index.h"
#include "paths.h"
#include "placement.h"
#include "sectors.h"
#include "sys.h"
#include "version2.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <functional>
#include <optional>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

namespace brimlet {

namespace {

// Both names of a pair reaching one file (a hard link, a symbolic link, a
// bind mount) would make the directory's save cut the entries' bytes, and
// a delete shift them all. Checked at open and again by every command.
void refuseOneFileForBoth(const std::string& directory, const std::string& data)
{
    sys::FileStatus d, i;
    if (sys::stat(directory.c_str(), &d) != 0 || sys::stat(data.c_str(), &i) != 0) return;
    if (d.device == i.device && d.inode == i.inode)
        throw Failure(directory + " and " + data + " are one file reached by two names; an archive needs a directory " +
                      "file and a data file of its own");
}

// The sources' sizes as they are now, for the progress only.
uint64_t totalSize(const std::vector<std::string>& sources)
{
    uint64_t total = 0;
    for (const auto& source : sources) {
        sys::FileStatus st;
        if (sys::stat(source.c_str(), &st) == 0) total += st.size;
    }
    return total;
}

}  // namespace

Archive::CommandLock Archive::lock() const
{
    if (version_ == Version::One) refuseOneFileForBoth(directoryPath_, dataPath_);
    return CommandLock{ArchiveLock(dataPath_, directoryPath_, lockWait_), this};
}

Archive::DataFileState Archive::dataFileNow() const
{
    sys::FileStatus st;
    if (sys::stat(dataPath_.c_str(), &st) != 0) return {};
    return {true, st.size, st.modified, st.device, st.inode};
}

void Archive::noteDataFile() const
{
    if (!keepsOverwrites_) return;
    try {
        dataLeft_ = dataFileNow();
    } catch (...) {
        dataLeft_ = {};
    }
}

uint64_t Archive::overwrites() const
{
    if (keepsOverwrites_ && isOpen() && !dataFileAsLeft()) {
        ++overwrites_;
        noteDataFile();
    }
    return overwrites_;
}

bool Archive::dataFileAsLeft() const
{
    DataFileState now = dataFileNow();
    return now.known && now == dataLeft_;
}

// An append may begin in the data file's last, partial sector, where no
// entry of the table has a span. An earlier directory may have had one
// there (an entry deleted since, which an undo would put back): those bytes
// are then overwritten.
void Archive::keepAppended(AppendedBytes& appended)
{
    uint64_t partialSector = appended.sizeBefore() / kSectorSize;
    bool partial = appended.sizeBefore() % kSectorSize != 0;
    if (partial && partialSector < furthestReferenced_ && appended.partialSectorChanged()) ++overwrites_;
    appended.keep();
}

void Archive::restoreTable(const EntryTable& earlier, uint64_t asOf)
{
    refuseWritingVersion2();
    auto held = lock();
    checkUnchanged();
    if (overwrites_ != asOf)
        throw Failure("The directory cannot be put back: bytes it points at in the data file have been overwritten "
                      "since");
    draft().copyFrom(earlier);
    commit({TableChange::Kind::Reset});
}

File Archive::openForReading(const std::string& path) const
{
    return File(path, readAccess_ == ReadAccess::ReadOnly ? File::Mode::ReadOnly : File::Mode::ReadWrite);
}



long Archive::indexOf(std::string_view name) const
{
    for (size_t i = 0; i < table_.count(); ++i)
        if (equalsIgnoringCase(table_[i].nameView(), name)) return static_cast<long>(i);
    return -1;
}

void Archive::checkIndex(size_t i) const
{
    if (i >= table_.count()) throw Failure("List index out of bounds (" + std::to_string(i) + ")");
}

// A file of the archive, once open, must be the one locked: another
// program's save can rename a new file over it after the lock was taken,
// where the lock cannot follow (the directory file at every save of a pair;
// a version 2 archive's one file, or a data file, at a rebuild). Bytes
// written into the file we hold are then the only ones we write.
void Archive::refuseUnlocked(const File& file) const
{
    FileIdentity id = file.identity();
    if (!ArchiveLock::isHeld(id.device, id.inode))
        throw Failure("Another program is saving this archive; try again when it has finished");
}

// A program that does not take our lock may rename its own save over
// either file of the archive while a command runs: its files are then the
// archive, and a directory of ours renamed in place would point at bytes
// its data file does not have, or drop its directory. Checked as late as
// can be, just before our rename.
void Archive::refuseReplacedFiles() const
{
    for (const std::string* path : {&directoryPath_, &dataPath_}) {
        FileIdentity id;
        if (identityOf(*path, id) && !ArchiveLock::isHeld(id.device, id.inode))
            throw Failure("Another program is saving this archive; try again when it has finished");
    }
}

// Another program may have saved this archive since we read it: writing our
// table then would drop its changes. The directory is compared whole, which
// costs one read of at most 2 MiB, small beside the write that follows.
void Archive::checkUnchanged() const
{
    version2SaveStands_ = false;
    // Written by another program since our last command: any of its bytes
    // may be new. Counted before anything can refuse the command, whose end
    // notes the data file as it then is.
    if (keepsOverwrites_) {
        overwrites();
        furthestReferenced_ = std::max(furthestReferenced_, SpanReach(table_).furthest());
    }
    File directory(directoryPath_, File::Mode::ReadOnly);
    refuseUnlocked(directory);
    uint64_t size = directory.size();
    bool same = size == table_.imageSize() + directoryTail_.size();
    if (version_ == Version::Two) {
        // A save of ours that failed after its point of no return left its
        // directory's copy: it is finished first.
        if (readAccess_ == ReadAccess::ReadWrite) {
            File file(dataPath_, File::Mode::ReadWrite);
            refuseUnlocked(file);
            finishCutVersion2Save(file, true);
            file.close();
        }
        same = version2DirectoryIs(directory, table_, secondSizes_);
    } else if (same && size > 0) {
        std::vector<uint8_t> onDisk(size);
        directory.readExact(std::span<uint8_t>(onDisk), 0);
        same = std::equal(onDisk.begin(), onDisk.begin() + static_cast<long>(table_.imageSize()), table_.image()) &&
               std::equal(directoryTail_.begin(), directoryTail_.end(), onDisk.begin() + static_cast<long>(table_.imageSize()));
    }
    directory.close();
    if (!same)
        throw Failure("The archive was changed by another program since it was opened; open it again to see the "
                      "changes");
}

void Archive::openimg(const std::string& path, LockScope scope)
{
    ArchivePair pair = archivePairFor(path);
    if (!fileExists(pair.directory) && startsAsVersion2(pair.data)) {
        openVersion2(pair.data, scope);
        return;
    }
    // A data file that is a pipe or a device is refused now, not at the first
    // command that reads an entry (list and rename never do).
    sys::FileStatus data;
    if (sys::stat(pair.data.c_str(), &data) == 0 && !S_ISREG(data.mode) && !S_ISDIR(data.mode))
        throw Failure(pair.data + " is a pipe or a device, not a file");
    refuseOneFileForBoth(pair.directory, pair.data);
    auto held = std::make_unique<ArchiveLock>(pair.data, pair.directory, lockWait_);
    File directory = openForReading(pair.directory);
    refuseUnlocked(directory);
    uint64_t size = directory.size();
    if (size / kEntrySize > EntryTable::kCapacity)
        throw Failure("The directory file " + pair.directory + " holds more than 65536 entries");
    // Whole entries only: a trailing partial entry is not part of the
    // directory, but its bytes are kept.
    size_t count = static_cast<size_t>(size / kEntrySize);
    directory.readExact(std::span<uint8_t>(draft_.storage(), count * kEntrySize), 0);
    std::vector<uint8_t> tail(size % kEntrySize);
    directory.readExact(std::span<uint8_t>(tail), count * kEntrySize);
    directory.close();
    draft_.setCount(count);
    directoryTail_ = std::move(tail);
    secondSizes_.clear();
    takeOpened(Version::One, pair.directory, pair.data, std::move(held), scope);
}

void Archive::openVersion2(const std::string& path, LockScope scope)
{
    sys::FileStatus st;
    if (sys::stat(path.c_str(), &st) == 0 && !S_ISREG(st.mode)) throw Failure(path + " is a pipe or a device, not a file");
    auto held = std::make_unique<ArchiveLock>(path, path, lockWait_);
    File file = openForReading(path);
    refuseUnlocked(file);
    finishCutVersion2Save(file, readAccess_ == ReadAccess::ReadWrite);
    std::vector<uint16_t> secondSizes = readVersion2Directory(file, path, draft_);
    file.close();
    secondSizes_ = std::move(secondSizes);
    reservedReach_ = version2DirectorySectors(draft_.count());
    directoryTail_.clear();
    takeOpened(Version::Two, path, path, std::move(held), scope);
}

// The archive just read (into the draft) becomes the current one.
void Archive::takeOpened(Version version, const std::string& directory, const std::string& data,
                         std::unique_ptr<ArchiveLock> held, LockScope scope)
{
    version_ = version;
    directoryPath_ = directory;
    dataPath_ = data;
    overwrites_ = 0;
    furthestReferenced_ = 0;
    noteDataFile();
    swapInDraft({TableChange::Kind::Reset});
    heldLock_ = scope == LockScope::UntilClosed ? std::move(held) : nullptr;
}

// An archive with a second size that is not 0 is never written: the table
// holds those entries without it, and a save would lose it.
void Archive::refuseWritingVersion2() const
{
    if (version_ != Version::Two) return;
    sys::FileStatus st;
    if (sys::stat(dataPath_.c_str(), &st) == 0 && st.links > 1) refuseSharedVersion2();
    for (size_t i = 0; i < secondSizes_.size(); ++i)
        if (secondSizes_[i] != 0)
            throw Failure(dataPath_ + ": entry #" + std::to_string(i) + " has a second size field of " +
                          std::to_string(secondSizes_[i]) + " (the games' own files have 0); such an archive is read " +
                          "but not changed, so that those bytes stay as they are");
}

// Every save of a version 2 archive writes into its one file: another name
// of that file (a backup made with cp -al) would change with it.
void Archive::refuseSharedVersion2() const
{
    throw Failure(dataPath_ + " has other hard links (a backup made with cp -al or rsync --link-dest, say): a change " +
                  "would change every archive that shares it. Give it a file of its own first (copy it, then move " +
                  "the copy over it)");
}

namespace {

// An entry with bytes that starts below `sector`.
bool startsBelow(const DirEntry& entry, uint64_t sector)
{
    return entry.sectorCount() > 0 && entry.startSector() >= 0 && uint64_t(entry.startSector()) < sector;
}

}  // namespace

uint64_t Archive::directoryFloor(size_t entries) const
{
    return version_ == Version::Two ? version2DirectorySectors(entries) : 0;
}

// Entries where a version 2 directory will reach are copied to the end
// first and the table pointed at the copies (entries that shared a span
// still share one); the caller flushes them, and whether there were any is
// returned. Growing over sectors no directory of
// this open covered ends undo: an earlier table's entries may have had
// bytes there.
bool Archive::makeRoomForDirectory(EntryTable& next, File& file)
{
    if (version_ != Version::Two) return false;
    uint64_t reserved = version2DirectorySectors(next.count());
    if (reserved > reservedReach_) {
        ++overwrites_;
        reservedReach_ = reserved;
    }
    std::map<std::pair<int32_t, uint32_t>, uint64_t> moved; // (start, count) -> new start
    for (size_t i = 0; i < next.count(); ++i) {
        DirEntry& entry = next[i];
        if (!startsBelow(entry, reserved)) continue;
        auto key = std::pair(entry.startSector(), entry.sectorCount());
        auto it = moved.find(key);
        if (it == moved.end()) {
            Span span = spanOf(entry);
            if (!spanInside(span, file.size()))
                throw Failure("Entry #" + std::to_string(i) + " cannot be moved out of the growing directory's way: its "
                              "span reaches past the end of the data file");
            uint64_t to = std::max(roundUpToSector(file.size()), reserved * kSectorSize);
            checkStartFits(to / kSectorSize, entry.sectorCount());
            copyBetween(file, static_cast<uint64_t>(span.start), file.descriptor(), file.path(), to, span.length,
                        WriteFailure::IoCode);
            it = moved.emplace(key, to / kSectorSize).first;
        }
        entry.setStartSector(static_cast<int32_t>(it->second));
    }
    return !moved.empty();
}

// Whether a version 2 entry starts inside the directory's own sectors (in
// another tool's file): the next save moves it out to the end first. A
// replace in place, which cuts the file back to its old size at its end,
// would cut it off, and the copy into such a span would overwrite the
// directory: that replace moves the entry instead.
bool Archive::entryInsideDirectory() const
{
    uint64_t reserved = directoryFloor(table_.count());
    for (size_t i = 0; i < table_.count(); ++i)
        if (startsBelow(table_[i], reserved)) return true;
    return false;
}

// A command that appends makes room before it flushes what it appended;
// one that does not (an undo) is given room here.
void Archive::saveVersion2(EntryTable& next)
{
    version2SaveStands_ = false; // of this save: a command may save twice
    removeStaleTemporaries(folderOf(dataPath_)); // a killed rebuild's
    File file(dataPath_, File::Mode::ReadWrite);
    refuseUnlocked(file);
    if (file.linkCount() > 1) refuseSharedVersion2(); // made while the command ran
    if (makeRoomForDirectory(next, file)) file.sync();
    saveVersion2Directory(file, next, version2SaveStands_);
    file.close();
}

uint16_t Archive::secondSize(size_t i) const
{
    return i < secondSizes_.size() ? secondSizes_[i] : 0;
}

namespace {

const char* const kOntoTheArchive = "An entry cannot be exported onto the archive's own directory or data file";

// Wine cannot say which file a descriptor it was handed by the shell is
// (`wine brimlet-cli.exe export x #0 - 1<>x.dir`), nor can Linux without
// /proc say what /dev/stdout is: unknown is no proof that it is not the
// archive, so the descriptor itself is asked.
void refuseArchiveDescriptor(int fd, const std::string& directoryPath, const File& data)
{
    sys::FileStatus st;
    if (sys::fstat(fd, &st) != 0)
        throw Failure("Standard output is a file that cannot be told apart from the archive's own; give the "
                      "destination as a file name");
    if (isArchiveFile({st.device, st.inode}, directoryPath, data)) throw Failure(kOntoTheArchive);
}

}  // namespace

// A path that names a descriptor of ours is that descriptor's file. Whatever
// else cannot be looked at here cannot be the archive's own file; the writer
// says whether it can be created.
void Archive::refuseArchiveFileAsDestination(const std::string& destination, const File& data) const
{
    int inherited = inheritedDescriptor(destination);
    if (inherited >= 0) {
        refuseArchiveDescriptor(inherited, directoryPath_, data);
        return;
    }
    FileIdentity target;
    bool known = false;
    try {
        known = identityOf(destination, target);
    } catch (const Failure&) {
    }
    if (known && isArchiveFile(target, directoryPath_, data)) throw Failure(kOntoTheArchive);
}

// A new file in a folder must not become part of another archive there
// (see pairingClash), nor take a name that our clean-up may remove. Pipes
// and devices pair with nothing.
void Archive::refuseRepairing(const std::string& destination)
{
    sys::FileStatus st;
    if (inheritedDescriptor(destination) >= 0 || (sys::stat(destination.c_str(), &st) == 0 && !S_ISREG(st.mode)))
        return;
    // Where the bytes land: through a link, its target's folder and name.
    std::string resolved = sys::resolvedPath(destination);
    std::string path = asTheSystemReadsIt(resolved.empty() ? destination : resolved), name = hostFileName(path);
    if (isTemporaryFileName(name))
        throw Failure("An entry cannot be exported as " + destination + ": the name is one this program gives its "
                      "temporary files");
    std::string clash = pairingClash(folderOf(path), name);
    if (!clash.empty())
        throw Failure("An entry cannot be exported as " + destination + ": beside " + clash +
                      " it would change which files make up an archive in that folder");
}

void Archive::exportEntry(size_t i, const std::string& destination, const Progress& progress)
{
    checkIndex(i);
    auto held = lock();
    checkUnchanged();
    File data = openForReading(dataPath_);
    refuseUnlocked(data);
    refuseArchiveFileAsDestination(destination, data);
    refuseRepairing(destination);
    Span span = spanOf(table_[i]);
    if (!spanInside(span, data.size())) raiseIoAt(io_code::kReadBeyondEnd, dataPath_);
    WholeFileWriter writer(destination);
    ProgressCount done(progress, 1, span.length);
    writer.copyFrom(data, static_cast<uint64_t>(span.start), span.length, done.partial());
    done.entryDone(span.length);
    data.close(); // before the commit, so a failed close leaves no destination
    writer.commit();
}

void Archive::exportEntry(size_t i, std::ostream& out, int outFd)
{
    checkIndex(i);
    auto held = lock();
    checkUnchanged();
    File data = openForReading(dataPath_);
    refuseUnlocked(data);
    if (outFd >= 0) refuseArchiveDescriptor(outFd, directoryPath_, data);
    Span span = spanOf(table_[i]);
    if (!spanInside(span, data.size())) raiseIoAt(io_code::kReadBeyondEnd, dataPath_);
    std::unique_ptr<char[]> buffer(new char[kCopyBufferSize]);
    for (uint64_t done = 0; done < span.length;) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(span.length - done, kCopyBufferSize));
        data.readExact({buffer.get(), chunk}, static_cast<uint64_t>(span.start) + done);
        if (!out.write(buffer.get(), static_cast<std::streamsize>(chunk))) throw Failure("Stream write error");
        done += chunk;
    }
    if (!out.flush()) throw Failure("Stream write error");
    data.close();
}

size_t Archive::readEntry(size_t i, uint64_t offset, std::span<char> into)
{
    checkIndex(i);
    auto held = lock();
    checkUnchanged();
    File data = openForReading(dataPath_);
    refuseUnlocked(data);
    Span span = spanOf(table_[i]);
    if (!spanInside(span, data.size())) raiseIoAt(io_code::kReadBeyondEnd, dataPath_);
    if (offset >= span.length) return 0;
    size_t length = static_cast<size_t>(std::min<uint64_t>(span.length - offset, into.size()));
    data.readExact(into.first(length), static_cast<uint64_t>(span.start) + offset);
    data.close();
    return length;
}

void Archive::appendFile(EntryTable& table, const std::string& sourcePath, const std::function<File&()>& openData,
                         SpanReach& reach, ProgressCount& progress)
{
    std::string name = entryNameFor(sourcePath);
    checkNameFits(name);
    if (table.full()) throw Failure("The archive is full: it holds 65536 entries, the most it can hold");
    File source(sourcePath, File::Mode::ReadOnly);
    File& data = openData();
    refuseArchiveFile(source, directoryPath_, data);
    DirEntry entry;
    entry.setName(name);
    uint64_t length = knownLength(source);
    appendPlacement(entry, source, length, data, table, reach, progress.partial());
    source.close();
    table.append(entry);
    progress.entryDone(length);
}

// A copy of the table to change; commit() makes it the table.
EntryTable& Archive::draft()
{
    draft_.copyFrom(table_);
    return draft_;
}

void Archive::writeDirectory(WholeFileWriter& writer, const EntryTable& table) const
{
    writer.write(table.image(), table.imageSize());
    writer.write(directoryTail_.data(), directoryTail_.size());
}

// The save's commit point, through a writer prepared ahead (rebuild's), or
// one made now when `prepared` is null. The lock follows the new file
// (lock.h).
void Archive::saveDirectory(std::unique_ptr<WholeFileWriter>& prepared, const EntryTable& table) const
{
    if (!prepared) {
        prepared = std::make_unique<WholeFileWriter>(directoryPath_);
        writeDirectory(*prepared, table);
    }
    prepared->commit([this](int fd) {
        refuseReplacedFiles();
        ArchiveLock::coverReplacement(directoryPath_, fd);
    });
}

// The table in memory follows the directory on disk, never leads it.
void Archive::commit(const TableChange& change)
{
    if (version_ == Version::Two) {
        // A save past its point of no return is the archive's directory,
        // even where a later step failed: the table follows it.
        try {
            saveVersion2(draft_);
        } catch (...) {
            if (version2SaveStands_) swapInDraft(change);
            throw;
        }
        swapInDraft(change);
        return;
    }
    std::unique_ptr<WholeFileWriter> writer;
    saveDirectory(writer, draft_);
    swapInDraft(change);
}

void Archive::swapInDraft(const TableChange& change)
{
    if (listener_) listener_(change, true);
    std::swap(table_, draft_);
    if (listener_) listener_(change, false);
}

size_t Archive::addEntry(const std::string& sourcePath, const Progress& progress)
{
    addEntries({sourcePath}, progress);
    return table_.count() - 1;
}

void Archive::addEntries(const std::vector<std::string>& sources, const Progress& progress)
{
    refuseWritingVersion2();
    for (const auto& source : sources) checkNameFits(entryNameFor(source));
    if (count() + sources.size() > EntryTable::kCapacity)
        throw Failure("The archive is full: it holds 65536 entries, the most it can hold");
    auto held = lock();
    checkUnchanged();
    // The data file is opened after the first source, so that a bad source
    // is reported before a missing data file.
    std::optional<File> data;
    std::optional<AppendedBytes> appended; // all or nothing: a failure puts the data file back
    auto openData = [&]() -> File& {
        if (data) return *data;
        refuseUnlocked(data.emplace(dataPath_, File::Mode::ReadWrite));
        appended.emplace(*data, &version2SaveStands_);
        return *data;
    };
    EntryTable& next = draft();
    SpanReach reach(next);
    reach.setFloor(directoryFloor(next.count() + sources.size()));
    ProgressCount done(progress, sources.size(), totalSize(sources));
    for (const auto& source : sources) appendFile(next, source, openData, reach, done);
    if (!data) return;
    makeRoomForDirectory(next, *data);
    data->sync(); // the data before the directory that points at it
    commit({TableChange::Kind::Insert, table_.count(), next.count() - 1});
    keepAppended(*appended);
    appended.reset();
    data->close();
}

void Archive::replaceEntry(size_t i, const std::string& sourcePath, const Progress& progress)
{
    refuseWritingVersion2();
    checkIndex(i);
    auto held = lock();
    checkUnchanged();
    File source(sourcePath, File::Mode::ReadOnly);
    File data(dataPath_, File::Mode::ReadWrite);
    refuseUnlocked(data);
    refuseArchiveFile(source, directoryPath_, data);
    uint64_t length = knownLength(source);
    Span span = spanOf(table_[i]);
    // A file of exactly the span's length does not fit: its padded size is a
    // sector more. A span outside the data file (a broken directory), or one
    // that another entry shares, is never written in place; the entry moves
    // to the end instead.
    // Nor is a data file with other hard links (a backup made with cp -al):
    // the other archive's entries may point at the span too.
    bool fits = paddedSize(length) <= span.length && spanInside(span, data.size()) && !sharesSpan(table_, i) &&
                data.linkCount() <= 1 && !entryInsideDirectory();
    // In place, the bytes are copied twice: to the end, then into the span.
    ProgressCount done(progress, 1, fits ? length + span.length : length);
    if (fits) {
        replaceInPlace(i, source, length, data, done);
    } else {
        AppendedBytes appended(data, &version2SaveStands_);
        EntryTable& next = draft();
        SpanReach reach(next);
        reach.setFloor(directoryFloor(next.count()));
        appendPlacement(next[i], source, length, data, next, reach, done.partial());
        makeRoomForDirectory(next, data);
        data.sync();
        commit({TableChange::Kind::Update, i, i});
        keepAppended(appended);
    }
    done.finish();
    source.close();
    data.close();
}

// Points entry i at another start sector and saves the directory.
void Archive::moveStart(size_t i, uint64_t startSector)
{
    draft()[i].setStartSector(static_cast<int32_t>(startSector));
    commit({TableChange::Kind::Update, i, i});
}

void Archive::replaceInPlace(size_t i, const File& source, uint64_t length, File& data, ProgressCount& progress)
{
    ++overwrites_; // the span's old bytes go
    Span span = spanOf(table_[i]);
    auto spanStart = static_cast<uint64_t>(span.start);
    AppendedBytes scratchCopy(data, &version2SaveStands_);
    uint64_t scratch = roundUpToSector(scratchCopy.sizeBefore()); // past every byte of the file
    checkStartFits(scratch / kSectorSize, span.length / kSectorSize);

    // 1. The span's final image at the end: the source, the zeros, and the
    //    bytes that the in-place rule keeps.
    uint64_t zerosEnd = span.length - kSectorSize + 1;
    copyBetween(source, 0, data.descriptor(), data.path(), scratch, length, WriteFailure::IoCode, progress.partial());
    progress.bytesDone(length);
    if (length < zerosEnd) data.writeZeros(scratch + length, zerosEnd - length);
    uint64_t keptFrom = std::max(length, zerosEnd);
    copyBetween(data, spanStart + keptFrom, data.descriptor(), data.path(), scratch + keptFrom,
                span.length - keptFrom, WriteFailure::IoCode);
    data.sync();
    // 2. The entry reads the new bytes from there.
    moveStart(i, scratch / kSectorSize);
    scratchCopy.keep(); // from here on the directory may point at the copy
    // 3. Into the span, and back; then the copy goes. The command has
    // succeeded already: the entry reads its new bytes. A failure from here
    // on leaves it where it is, at the end, as a replace that moves does.
    // So does a hard link made to the data file meanwhile (a backup taken
    // while the copy was made): that name's directory may point at the span,
    // or, once the entry is back, at the copy.
    try {
        if (data.linkCount() > 1) return;
        copyBetween(data, scratch, data.descriptor(), data.path(), spanStart, span.length, WriteFailure::IoCode,
                    progress.partial());
        data.sync();
        moveStart(i, spanStart / kSectorSize);
        // Not flushed: the directory already points back at the span, so a
        // crash that loses the cut only leaves dead bytes past the last entry.
        if (data.linkCount() <= 1) data.truncate(scratchCopy.sizeBefore());
    } catch (const Failure&) {
    }
}

void Archive::deleteEntry(size_t i)
{
    refuseWritingVersion2();
    if (table_.count() == 0) return;
    checkIndex(i);
    auto held = lock();
    checkUnchanged();
    draft().remove(i);
    commit({TableChange::Kind::Remove, i, i});
}

void Archive::deleteEntries(const std::vector<size_t>& which)
{
    refuseWritingVersion2();
    for (size_t i : which) checkIndex(i);
    if (which.empty()) return;
    std::vector<size_t> rows(which);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    auto held = lock();
    checkUnchanged();
    draft().removeEach(rows);
    commit({TableChange::Kind::Reset});
}

void Archive::renameEntry(size_t i, const std::string& name)
{
    refuseWritingVersion2();
    checkIndex(i);
    checkNameFits(name);
    auto held = lock();
    checkUnchanged();
    draft()[i].setName(name);
    commit({TableChange::Kind::Update, i, i});
}

}  // namespace brimlet
