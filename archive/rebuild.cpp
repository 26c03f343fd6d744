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
#include "archive.h"

#include "errors.h"
#include "file.h"
#include "placement.h"
#include "sys.h"

#include <climits>

namespace brimlet {

namespace {

// Where each entry starts once rebuilt, in sectors; and the total.
struct Layout {
    std::vector<uint64_t> start;
    uint64_t sectors = 0;
    size_t firstToMove = 0; // entries before it are in place already
};

Layout layoutOf(const EntryTable& table)
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

std::string describe(size_t i, const DirEntry& entry)
{
    return "entry #" + std::to_string(i) + " \"" + entry.name() + "\"";
}

}  // namespace

int64_t Archive::deadSpace() const
{
    uint64_t sectors = 0;
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

int64_t Archive::rebuild(const Progress& progress)
{
    auto held = lock();
    checkUnchanged();
    File data(dataPath_, File::Mode::ReadWrite);
    uint64_t oldSize = data.size();
    for (size_t i = 0; i < table_.count(); ++i)
        if (table_[i].sectorCount() > 0 && !spanInside(spanOf(table_[i]), oldSize))
            throw Failure("Read beyond end of file: " + describe(i, table_[i]) + " reaches past the data file's end");
    Layout layout = layoutOf(table_);
    uint64_t total = layout.sectors * kSectorSize;
    size_t first = layout.firstToMove, count = table_.count();
    uint64_t movedFrom = first < count ? layout.start[first] * kSectorSize : total;
    uint64_t staging = roundUpToSector(std::max(oldSize, total));
    if (first < count) {
        checkStartFits(staging / kSectorSize + (layout.sectors - layout.start[first]), 0);
        uint64_t needed = staging + (total - movedFrom) - oldSize;
        long long free = sys::freeBytes(data.descriptor());
        if (free >= 0 && static_cast<uint64_t>(free) < needed)
            throw Failure("Not enough free space to rebuild: it needs " + std::to_string(needed) +
                          " bytes and the disk has " + std::to_string(free));

        // 1. Copies past both ends.
        AppendedBytes copies(data);
        for (size_t i = first; i < count; ++i) {
            Span span = spanOf(table_[i]);
            uint64_t at = staging + layout.start[i] * kSectorSize - movedFrom;
            copyBetween(data, static_cast<uint64_t>(span.start), data.descriptor(), data.path(), at, span.length,
                        WriteFailure::IoCode);
            if (progress) progress(i - first + 1, 2 * (count - first));
        }
        data.sync();
        // 2. The directory points at the copies.
        EntryTable& next = draft();
        for (size_t i = first; i < count; ++i)
            next[i].setStartSector(static_cast<int32_t>((staging - movedFrom) / kSectorSize + layout.start[i]));
        commit({TableChange::Kind::Update, first, count - 1});
        copies.keep();
        // 3. Down to the front, where nothing points any more.
        for (size_t i = first; i < count; ++i) {
            uint64_t length = uint64_t{table_[i].sectorCount()} * kSectorSize;
            copyBetween(data, uint64_t(table_[i].startSector()) * kSectorSize, data.descriptor(), data.path(),
                        layout.start[i] * kSectorSize, length, WriteFailure::IoCode);
            if (progress) progress(count - first + i - first + 1, 2 * (count - first));
        }
        data.sync();
        // 4. The directory points at the front.
        EntryTable& last = draft();
        for (size_t i = first; i < count; ++i) last[i].setStartSector(static_cast<int32_t>(layout.start[i]));
        commit({TableChange::Kind::Update, first, count - 1});
    }
    // 5. Only dead space is left past the total.
    data.truncate(total);
    data.sync();
    data.close();
    return static_cast<int64_t>(oldSize) - static_cast<int64_t>(total);
}

}  // namespace brimlet
