// Rebuild: the data file without dead space.
//
// Entry i ends up at the sector where entry i-1 ends, the first at sector 0,
// each with its own copy of its bytes. The directory save is the only commit
// point, and no byte that the directory on disk points at is overwritten:
//   1. the entries that are not yet where they belong are copied past the
//      end of the data file (past where the rebuilt file will end, too);
//   2. the directory is switched to those copies;
//   3. the copies are copied down to their places at the front;
//   4. the directory is switched to the front;
//   5. the file is cut to the sum of the spans.
// Killed at any moment, the archive opens and every entry reads as before.
// The entries already in their places at the front (after an earlier
// rebuild, say) are not copied at all.
//
// Both directory files are written and flushed under temporary names before
// the first byte is copied, so that a disk that fills up stops the rebuild
// while nothing has changed: later steps need no more room (copying down
// writes inside the file, and cutting it frees space).
//
// A data file with other hard links is refused at the start, and its link
// count is asked again right before each step that overwrites bytes (each
// copy down and the cut): a link made meanwhile (a backup taken while the
// rebuild runs) stops the rebuild there, with every entry of both names
// reading as before.
#include "archive.h"

#include "errors.h"
#include "file.h"
#include "whole_file_writer.h"
#include "placement.h"
#include "sys.h"
#include "version2.h"

#include <climits>
#include <memory>

namespace brimlet {

// Where each entry starts once rebuilt, in sectors; and the total.
struct Archive::Layout {
    std::vector<uint64_t> start;
    uint64_t sectors = 0;
    size_t firstToMove = 0; // entries before it are in place already
};

Archive::Layout Archive::layoutOf(const EntryTable& table)
{
    Layout layout;
    layout.firstToMove = table.count();
    for (size_t i = 0; i < table.count(); ++i) {
        layout.start.push_back(layout.sectors);
        bool inPlace = table[i].startSector() >= 0 && uint64_t(table[i].startSector()) == layout.sectors;
        if (!inPlace && layout.firstToMove == table.count()) layout.firstToMove = i;
        layout.sectors += table[i].sectorCount();
    }
    return layout;
}

// Entries that share spans each get their own copy, so the rebuilt starts
// can pass what the signed 32-bit field holds even where today's do not.
std::optional<Archive::StartTooFar> Archive::rebuiltStartTooFar() const
{
    Layout layout = layoutOf(table_);
    for (size_t i = 0; i < table_.count(); ++i)
        if (layout.start[i] > uint64_t{INT32_MAX}) return StartTooFar{i, layout.start[i]};
    return std::nullopt;
}

namespace {

std::string describe(size_t i, const DirEntry& entry)
{
    return "entry #" + std::to_string(i) + " \"" + entry.name() + "\"";
}

const char* const kLinkMadeMeanwhile =
    " got another hard link while the rebuild ran (a backup made with cp -al or ln, say): the rebuild stopped "
    "before overwriting bytes that the other name may still point at. Every entry reads as before; give the data "
    "file a name of its own (copy it, then move the copy over it) and rebuild again";

// A failure after the switch to the staging copies (an I/O error: the room
// was reserved) leaves the archive whole but the rebuild not done.
Failure stoppedHalfWay(const Failure& failure)
{
    Failure halfWay(std::string(failure.what()) + "; the rebuild stopped half-way: every entry reads as before, from "
                                                  "its copy past the old end of the data file (rebuild again to "
                                                  "finish)");
    halfWay.setPath(failure.path());
    return halfWay;
}

}  // namespace

// Stops the rebuild before a step that overwrites bytes in place, when the
// data file has gained a name since the start.
void Archive::refuseNewLinks(const File& data) const
{
    if (data.linkCount() > 1) throw Failure("The data file " + dataPath_ + kLinkMadeMeanwhile);
}

// A directory save written and flushed now, committed later: its commit
// needs no more room. Where the directory would be written in place (its
// folder takes no new file), there is nothing to reserve: null, and the
// save is made at its commit (a writer opened now would write into the
// file that an earlier save replaces).
std::unique_ptr<WholeFileWriter> Archive::prepareDirectory(const EntryTable& table) const
{
    auto writer = std::make_unique<WholeFileWriter>(directoryPath_);
    if (!writer->replacesTheTarget()) return nullptr;
    writeDirectory(*writer, table);
    writer->flush();
    return writer;
}

void Archive::commitPrepared(std::unique_ptr<WholeFileWriter>& prepared, const EntryTable& table,
                             const TableChange& change)
{
    saveDirectory(prepared, table);
    draft_.copyFrom(table);
    swapInDraft(change);
}

// A data file with other hard links may be another archive's too (a backup
// made with cp -al or rsync --link-dest): moving its bytes would change that
// archive's entries. A directory file with other links is saved in place,
// keeping them, so the other name would describe the rebuilt layout over
// a data file that may not have it.
void Archive::refuseSharedFiles(const File& data) const
{
    const char* why = " has other hard links (a backup made with cp -al or rsync --link-dest, say): a rebuild would "
                      "change the entries of every archive that shares it. Give each file of the pair a file of its "
                      "own first (copy it, then move the copy over it)";
    if (data.linkCount() > 1) throw Failure("The data file " + dataPath_ + why);
    sys::FileStatus directory;
    if (sys::stat(directoryPath_.c_str(), &directory) == 0 && directory.links > 1)
        throw Failure("The directory file " + directoryPath_ + why);
}

int64_t Archive::deadSpace() const
{
    uint64_t sectors = version_ == Version::Two ? version2DirectorySectors(table_.count()) : 0;
    for (size_t i = 0; i < table_.count(); ++i) sectors += table_[i].sectorCount();
    return static_cast<int64_t>(dataFileSize()) - static_cast<int64_t>(sectors * kSectorSize);
}

uint64_t Archive::dataFileSize() const
{
    File data(dataPath_, File::Mode::ReadOnly);
    uint64_t size = data.size();
    data.close();
    return size;
}

// Whether no entry still to be moved has bytes where the moved entries go:
// then they can be copied straight to their places (a rebuild that was cut
// short finishes this way, with no room to spare).
bool Archive::frontIsFree(const Layout& layout, uint64_t total) const
{
    uint64_t from = layout.start[layout.firstToMove] * kSectorSize;
    for (size_t i = layout.firstToMove; i < table_.count(); ++i) {
        Span span = spanOf(table_[i]);
        auto start = static_cast<uint64_t>(span.start);
        if (span.length > 0 && start < total && start + span.length > from) return false;
    }
    return true;
}

void Archive::checkFreeSpace(const File& data, uint64_t needed) const
{
    long long free = sys::freeBytes(data.descriptor());
    if (free >= 0 && static_cast<uint64_t>(free) < needed)
        throw Failure("Not enough free space to rebuild: it needs " + std::to_string(needed) +
                      " bytes and the disk has " + std::to_string(free));
}

// Step 1: copies of the entries to move past both ends of the file. Returns
// the table that points at them.
EntryTable Archive::stagedTable(const Layout& layout, uint64_t total, const File& data) const
{
    uint64_t movedFrom = layout.start[layout.firstToMove] * kSectorSize;
    uint64_t staging = roundUpToSector(std::max(data.size(), total));
    checkStartFits(staging / kSectorSize + (layout.sectors - layout.start[layout.firstToMove]), 0);
    EntryTable staged(table_);
    for (size_t i = layout.firstToMove; i < table_.count(); ++i)
        staged[i].setStartSector(static_cast<int32_t>((staging - movedFrom) / kSectorSize + layout.start[i]));
    return staged;
}

// Steps 1 and 2: copies of the entries to move past both ends of the file,
// and the directory switched to them.
void Archive::stagePastTheEnds(const Layout& layout, uint64_t total, File& data, ProgressCount& progress,
                               const EntryTable& staged, std::unique_ptr<WholeFileWriter>& save)
{
    size_t first = layout.firstToMove, count = table_.count();
    uint64_t staging = roundUpToSector(std::max(data.size(), total));
    checkFreeSpace(data, staging + (total - layout.start[first] * kSectorSize) - data.size());
    AppendedBytes copies(data);
    for (size_t i = first; i < count; ++i) {
        Span span = spanOf(table_[i]);
        copyBetween(data, static_cast<uint64_t>(span.start), data.descriptor(), data.path(),
                    sectorOffset(uint64_t(staged[i].startSector())), span.length, WriteFailure::IoCode,
                    progress.partial());
        progress.entryDone(span.length);
    }
    data.sync();
    commitPrepared(save, staged, {TableChange::Kind::Update, first, count - 1});
    copies.keep();
}

// Steps 3 and 4: each entry to move copied to its place, where nothing points,
// and the directory switched there.
void Archive::copyDown(const Layout& layout, File& data, ProgressCount& progress, const EntryTable& rebuilt,
                       std::unique_ptr<WholeFileWriter>& save)
{
    size_t first = layout.firstToMove, count = table_.count();
    for (size_t i = first; i < count; ++i) {
        uint64_t length = uint64_t{table_[i].sectorCount()} * kSectorSize;
        refuseNewLinks(data);
        copyBetween(data, uint64_t(table_[i].startSector()) * kSectorSize, data.descriptor(), data.path(),
                    layout.start[i] * kSectorSize, length, WriteFailure::IoCode, progress.partial());
        progress.entryDone(length);
    }
    data.sync();
    commitPrepared(save, rebuilt, {TableChange::Kind::Update, first, count - 1});
}

// Rebuild copies every span: one that reaches past the data file's end
// stops it before anything is written.
void Archive::refuseSpansPastTheEnd(uint64_t dataSize) const
{
    for (size_t i = 0; i < table_.count(); ++i)
        if (table_[i].sectorCount() > 0 && !spanInside(spanOf(table_[i]), dataSize))
            throw Failure("Read beyond end of file: " + describe(i, table_[i]) + " reaches past the data file's end");
}

// A version 2 archive is rebuilt as a new file, written whole beside it and
// renamed over it: the directory, then every entry's span in directory
// order from the first sector after it (entries that shared a span each
// get a copy). Until the rename the old file stands; it needs room for a
// second copy, and a full disk stops it with nothing changed.
int64_t Archive::rebuildVersion2(const Progress& progress)
{
    File data(dataPath_, File::Mode::ReadWrite);
    refuseUnlocked(data);
    uint64_t oldSize = data.size();
    refuseSpansPastTheEnd(oldSize);
    refuseSharedFiles(data);
    uint64_t next = version2DirectorySectors(table_.count()), bytes = 0;
    EntryTable rebuilt(table_);
    for (size_t i = 0; i < rebuilt.count(); ++i) {
        checkStartFits(next, rebuilt[i].sectorCount());
        rebuilt[i].setStartSector(static_cast<int32_t>(next));
        next += rebuilt[i].sectorCount();
        bytes += uint64_t{rebuilt[i].sectorCount()} * kSectorSize;
    }
    std::vector<uint8_t> front = version2Front(rebuilt);
    front.resize(static_cast<size_t>(version2DirectorySectors(rebuilt.count()) * kSectorSize), 0);
    checkFreeSpace(data, front.size() + bytes); // the whole new file, beside the old
    ++overwrites_; // a new file in the old one's place
    WholeFileWriter writer(dataPath_);
    // Written over itself, a cut would mix two layouts.
    if (!writer.replacesTheTarget())
        throw Failure("Cannot create file for the rebuilt archive beside " + dataPath_ + ": a version 2 archive is " +
                      "rebuilt as a new file renamed over the old one; nothing was changed");
    writer.write(front.data(), front.size());
    ProgressCount done(progress, table_.count(), bytes);
    for (size_t i = 0; i < table_.count(); ++i) {
        Span span = spanOf(table_[i]);
        writer.copyFrom(data, static_cast<uint64_t>(span.start), span.length, done.partial());
        done.entryDone(span.length);
    }
    data.close();
    writer.commit([this](int fd) {
        refuseReplacedFiles();
        ArchiveLock::coverReplacement(dataPath_, fd);
    });
    uint64_t total = front.size() + bytes;
    draft_.copyFrom(rebuilt);
    swapInDraft({TableChange::Kind::Reset});
    return static_cast<int64_t>(oldSize) - static_cast<int64_t>(total);
}

int64_t Archive::rebuild(const Progress& progress)
{
    refuseWritingVersion2();
    auto held = lock();
    checkUnchanged();
    if (version_ == Version::Two) return rebuildVersion2(progress);
    File data(dataPath_, File::Mode::ReadWrite);
    refuseUnlocked(data);
    uint64_t oldSize = data.size();
    refuseSpansPastTheEnd(oldSize);
    Layout layout = layoutOf(table_);
    uint64_t total = layout.sectors * kSectorSize;
    bool movesBytes = layout.firstToMove < table_.count() || oldSize != total;
    if (movesBytes) refuseSharedFiles(data);
    if (movesBytes) ++overwrites_; // bytes move to the front, over others
    if (layout.firstToMove < table_.count()) {
        if (auto far = rebuiltStartTooFar())
            throw Failure("Rebuild would start " + describe(far->entry, table_[far->entry]) + " at sector " +
                          std::to_string(far->start) + ", past sector 2147483647, the last a directory can " +
                          "name; nothing was changed");
        EntryTable rebuilt(table_);
        for (size_t i = layout.firstToMove; i < table_.count(); ++i)
            rebuilt[i].setStartSector(static_cast<int32_t>(layout.start[i]));
        // Each entry to move is copied once straight to its place, or twice
        // through the staging copies.
        uint64_t moved = total - layout.start[layout.firstToMove] * kSectorSize;
        size_t entries = table_.count() - layout.firstToMove;
        if (frontIsFree(layout, total)) {
            auto save = prepareDirectory(rebuilt);
            checkFreeSpace(data, total > oldSize ? total - oldSize : 0);
            AppendedBytes grown(data);
            ProgressCount done(progress, entries, moved);
            copyDown(layout, data, done, rebuilt, save);
            grown.keep();
        } else {
            EntryTable staged = stagedTable(layout, total, data);
            auto stagedSave = prepareDirectory(staged), rebuiltSave = prepareDirectory(rebuilt);
            ProgressCount done(progress, 2 * entries, 2 * moved);
            stagePastTheEnds(layout, total, data, done, staged, stagedSave);
            try {
                copyDown(layout, data, done, rebuilt, rebuiltSave);
            } catch (const Failure& failure) {
                throw stoppedHalfWay(failure);
            }
        }
    }
    // Only dead space is left past the total; but a name made meanwhile may
    // point at the staging copies there.
    if (data.size() != total) {
        refuseNewLinks(data);
        data.truncate(total);
    }
    data.sync();
    data.close();
    return static_cast<int64_t>(oldSize) - static_cast<int64_t>(total);
}

}  // namespace brimlet
