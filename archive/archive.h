// An open archive: the current archive path and its entry table, with one
// function per operation.
//
// Every operation opens the files it needs, does its work and closes them
// before it returns, on success and on failure alike. A failure raises
// `Failure` (see errors.h) with the text the user sees.
//
// What the operations guarantee:
// - The table in memory changes only when the directory file on disk did, so
//   the two never disagree after a failed command.
// - The directory file is replaced atomically, and only after the data it
//   points to is flushed to disk. It is the one commit point: at every moment
//   of every command, each entry reads its old bytes or its new ones.
// - Data that an entry points at is never overwritten while the directory on
//   disk still points at it with other content meant. A replace that fits in
//   place goes through a copy at the end of the data file (see replaceEntry).
// - Bytes already in the data file are never moved; space left behind by a
//   moved, replaced or deleted entry stays where it is. A command that fails
//   after appending cuts the data file back to its size before.
// - Sources, and the archive's own files, must be regular files: a pipe or a
//   device is refused at once, as is a file whose size the file system does
//   not know (those under /proc).
// - A directory file's partial last entry (its size is not a multiple of 32)
//   is no entry, and its bytes are kept after the entries at every save.
// - Limits, refused before anything is written: 65,536 entries; names of at
//   most 24 bytes; start sectors that fit the signed 32-bit field.
// - Each command holds the archive's lock (lock.h) and, before it reads or
//   writes, checks that the directory on disk is still the one this object
//   last read or wrote; if another program changed it, the command is
//   refused and nothing is written.
#pragma once

#include "entry_table.h"
#include "lock.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brimlet {

class File;
class ProgressCount;
class WholeFileWriter;
class AppendedBytes;
class SpanReach;

// A change of the table, told to a listener (a list model) just before and
// just after it happens. Rows are entry indexes, `first` to `last` inclusive.
struct TableChange {
    enum class Kind { Reset, Insert, Remove, Update };
    Kind kind = Kind::Reset;
    size_t first = 0;
    size_t last = 0;
};

class Archive {
public:
    // Called with `before` true just before the table changes and false just
    // after; a command that fails announces nothing. The listener must not
    // throw.
    using ChangeListener = std::function<void(const TableChange&, bool before)>;
    void setChangeListener(ChangeListener listener) { listener_ = std::move(listener); }

    // How far a long command has come, told after each entry and every few
    // megabytes of a large one: entries and bytes done of their totals
    // (bytes weigh a 10 MB entry as it is).
    struct ProgressStep {
        uint64_t entries = 0, entriesTotal = 0;
        uint64_t bytes = 0, bytesTotal = 0;
        // Done so far, in thousandths: by bytes where there are any.
        unsigned permille() const
        {
            if (bytesTotal > 0) return static_cast<unsigned>(bytes * 1000 / bytesTotal);
            return entriesTotal > 0 ? static_cast<unsigned>(entries * 1000 / entriesTotal) : 1000;
        }
    };
    using Progress = std::function<void(const ProgressStep&)>;

    // Commands that only read (open, export, extract, and check) open the
    // archive's files for reading and writing by default, as the window
    // does; ReadOnly lets a script read an archive on read-only media.
    // Writing commands always ask for writing.
    enum class ReadAccess { ReadWrite, ReadOnly };
    void setReadAccess(ReadAccess access) { readAccess_ = access; }

    // How long a command held up by another program's lock waits (lock.h).
    void setLockWait(LockWait wait) { lockWait_ = std::move(wait); }

    // The directory file's path as it was given, ending in ".dir" (or in
    // ".DIR" and the like, where only a file of that case exists); empty
    // until an archive was opened. The data file is found once, at open
    // (paths.h says how).
    const std::string& directoryPath() const { return directoryPath_; }
    const std::string& dataPath() const { return dataPath_; }
    bool isOpen() const { return !directoryPath_.empty(); }

    // Version 1: a pair of files, ".dir" and ".img". Version 2 (the later
    // games): one ".img" with the directory inside (version2.h); its
    // directoryPath() and dataPath() are both that file; every command
    // works on it with the same guarantees.
    enum class Version { One = 1, Two = 2 };
    Version version() const { return version_; }
    // Entry i's second size field (version 2; 0 in the games' own files,
    // and for every version 1 entry).
    uint16_t secondSize(size_t i) const;

    const EntryTable& table() const { return table_; }
    size_t count() const { return table_.count(); }
    std::string name(size_t i) const { return table_[i].name(); }
    // The first entry whose whole name equals `name`, ignoring the case of
    // ASCII letters; -1 when there is none.
    long indexOf(std::string_view name) const;

    // PerCommand: the lock is held while the directory is read. UntilClosed:
    // it stays held until the object goes (or opens another archive), so a
    // script's open and command see no other writer in between.
    enum class LockScope { PerCommand, UntilClosed };

    // Makes the archive named by `path` (its ".dir", its ".img" or its base
    // name) the current one. Nothing changes unless its whole directory was read.
    void openimg(const std::string& path, LockScope scope = LockScope::PerCommand);

    // Writes entry i's whole span (sector count x 2048 bytes) as the file
    // `destination` (a pipe or a character device gets it straight through).
    // The span is checked against the data file first.
    void exportEntry(size_t i, const std::string& destination, const Progress& progress = {});
    // The same onto a stream (a script's standard output). `outFd` is the
    // descriptor behind `out`, if any: `export x #0 - 1<>x.img` would write
    // the entry into the archive itself, and is refused.
    void exportEntry(size_t i, std::ostream& out, int outFd = -1);

    // Reads bytes of entry i's span from `offset` into `into`: as many as
    // are left of the span, up to its size; 0 at the span's end. For a
    // reader that pulls an entry piece by piece (the Windows shell taking a
    // dragged entry): each call is a command of its own, with the lock, the
    // check that the directory is still this one, and nothing left open.
    size_t readEntry(size_t i, uint64_t offset, std::span<char> into);

    // Appends the file at `source` as a new last entry named by its file-name
    // part; returns its index.
    size_t addEntry(const std::string& source, const Progress& progress = {});

    // Appends each file in turn and saves the directory once at the end. All
    // or nothing: on a failure, the data file is put back as it was and the
    // directory is not touched.
    void addEntries(const std::vector<std::string>& sources, const Progress& progress = {});

    // Puts the file at `source` into entry i: in place when it is shorter than
    // the entry's span, otherwise appended and the entry moved there.
    //
    // In place, the span ends up as the source's bytes, zeros up to one byte
    // past its second-to-last sector, then its last 2047 bytes as they were;
    // start and count stay. So that a stop at any moment leaves the entry
    // reading its old bytes or its new ones, that image is first built at the
    // end of the data file, the directory switched to it, the image copied
    // into the span, the directory switched back and the file cut to its old
    // length.
    void replaceEntry(size_t i, const std::string& source, const Progress& progress = {});

    // Removes entry i; the entries after it move down one. Does nothing on an
    // empty archive.
    void deleteEntry(size_t i);
    // Removes every entry of `which` (in any order; a repeat counts once)
    // with one directory save; the others keep their order. Their bytes stay
    // in the data file, as deleteEntry leaves them.
    void deleteEntries(const std::vector<size_t>& which);

    // Sets entry i's name; bytes of the field after the new name's NUL keep
    // their values.
    void renameEntry(size_t i, const std::string& name);

    // ---------------------------------------------------------------- bulk work

    // Makes an empty pair (0-byte ".dir" and ".img") for `path`; refuses when
    // either file of the pair exists, touching nothing, except where a create
    // was cut short: one empty file of the pair and the other missing. Then
    // the missing one is made, and its path returned ("" otherwise).
    // Version Two: one ".img" holding "VER2" and an entry count of 0,
    // refused where either file of a pair exists (a create cut short is
    // finished, its path returned).
    static std::string create(const std::string& path, Version version = Version::One);

    // Puts each file in as an entry named by its file-name part: an entry of
    // that name (the first, ASCII letters in any case) is replaced, any other
    // file added at the end. All or nothing, with one directory save: every
    // file's bytes are appended and the directory switched to them at once
    // (a replaced entry moves, its old span left for rebuild). Two files of
    // one entry name, a name too long, and more entries than the archive
    // holds are refused before anything is written.
    struct ImportCount {
        size_t replaced = 0;
        size_t added = 0;
    };
    ImportCount importFiles(const std::vector<std::string>& sources, const Progress& progress = {});

    // Writes entries (all when `which` is empty) as files named after them
    // into `folder`, created when missing; see extractFileNames for the
    // names. `note` hears of each renamed or skipped entry.
    struct ExtractCount {
        size_t written = 0;
        size_t skipped = 0;
        size_t unreadable = 0; // of those skipped: entries whose bytes could not be read
    };
    ExtractCount extractEntries(const std::string& folder, const std::vector<size_t>& which,
                                const std::function<void(const std::string&)>& note,
                                const Progress& progress = {});
    // The file name extract gives each entry of `which` (every entry when it
    // is empty), in that order: the entry's name as text, made safe for the
    // file system where it must be and then tagged "~N" so that it takes no
    // name another entry has; "" for an entry whose name (ignoring case) an
    // earlier one has, which extract skips.
    std::vector<std::string> extractFileNames(const std::vector<size_t>& which) const;

    // Removes dead space: afterwards entry i starts where entry i-1 ends, the
    // first at sector 0, and the data file is exactly the sum of the spans;
    // every entry exports the bytes it exported before, entries that shared
    // a span each getting their own copy. Crash-safe at every moment (see
    // rebuild.cpp). Returns the bytes given back (negative when shared spans
    // made the file grow).
    int64_t rebuild(const Progress& progress = {});
    // What rebuild would give back.
    int64_t deadSpace() const;
    // The first entry whose start after a rebuild would pass sector
    // 2147483647, the last the directory's signed 32-bit field holds, and
    // that start; rebuild refuses such an archive before writing anything.
    struct StartTooFar {
        size_t entry;
        uint64_t start;
    };
    std::optional<StartTooFar> rebuiltStartTooFar() const;

    // ---------------------------------------------------------------- undo

    // Delete, rename, add, import and a replace that moves an entry change
    // only the directory: the bytes an earlier directory points at stay in
    // the data file, so that directory can be saved again. Until bytes are
    // overwritten in place: by an in-place replace, a rebuild, or another
    // program (a data file found written since this program's last command,
    // or cut). `overwrites` counts those since the open, another program's
    // writes up to now included. Kept only once asked for (the window's
    // undo): every command then asks the data file's state twice more.
    void keepOverwrites() { keepsOverwrites_ = true; }
    uint64_t overwrites() const;
    // Whether the data file still has the size and last-write time this
    // program's last command left it with.
    bool dataFileAsLeft() const;
    // Saves `earlier`, a table of this archive from when overwrites() was
    // `asOf`, as its directory (a save like every other); refused once bytes
    // have been overwritten since.
    void restoreTable(const EntryTable& earlier, uint64_t asOf);

private:
    // The archive's lock for one command; at its end, the data file's state
    // is noted as this program left it.
    struct CommandLock {
        ArchiveLock lock;
        const Archive* archive;
        ~CommandLock() { archive->noteDataFile(); }
    };
    CommandLock lock() const;
    void openVersion2(const std::string& path, LockScope scope);
    static std::string createVersion2(const std::string& path);
    void takeOpened(Version version, const std::string& directory, const std::string& data,
                    std::unique_ptr<ArchiveLock> held, LockScope scope);
    void refuseWritingVersion2() const;
    [[noreturn]] void refuseSharedVersion2() const;
    int64_t rebuildVersion2(const Progress& progress);
    void refuseSpansPastTheEnd(uint64_t dataSize) const;
    uint64_t directoryFloor(size_t entries) const;
    bool makeRoomForDirectory(EntryTable& next, File& file);
    bool entryInsideDirectory() const;
    void saveVersion2(EntryTable& next);
    void noteDataFile() const;
    void keepAppended(AppendedBytes& appended);
    File openForReading(const std::string& path) const;
    void checkIndex(size_t i) const;
    void checkUnchanged() const;
    void refuseUnlocked(const File& file) const;
    void refuseReplacedFiles() const;
    void refuseArchiveFileAsDestination(const std::string& destination, const File& data) const;
    static void refuseRepairing(const std::string& destination);
    void appendFile(EntryTable& table, const std::string& sourcePath, const std::function<File&()>& openData,
                    SpanReach& reach, ProgressCount& progress);
    void replaceInPlace(size_t i, const File& source, uint64_t length, File& data, ProgressCount& progress);
    void moveStart(size_t i, uint64_t startSector);
    uint64_t dataFileSize() const;
    struct Layout;
    static Layout layoutOf(const EntryTable& table);
    bool frontIsFree(const Layout& layout, uint64_t total) const;
    void checkFreeSpace(const File& data, uint64_t needed) const;
    void refuseSharedFiles(const File& data) const;
    EntryTable stagedTable(const Layout& layout, uint64_t total, const File& data) const;
    void stagePastTheEnds(const Layout& layout, uint64_t total, File& data, ProgressCount& progress,
                          const EntryTable& staged, std::unique_ptr<WholeFileWriter>& save);
    void copyDown(const Layout& layout, File& data, ProgressCount& progress, const EntryTable& rebuilt,
                  std::unique_ptr<WholeFileWriter>& save);
    void refuseNewLinks(const File& data) const;
    std::unique_ptr<WholeFileWriter> prepareDirectory(const EntryTable& table) const;
    void commitPrepared(std::unique_ptr<WholeFileWriter>& prepared, const EntryTable& table, const TableChange& change);
    EntryTable& draft();
    void writeDirectory(WholeFileWriter& writer, const EntryTable& table) const;
    void saveDirectory(std::unique_ptr<WholeFileWriter>& prepared, const EntryTable& table) const;
    void commit(const TableChange& change);
    void swapInDraft(const TableChange& change);

    LockWait lockWait_;
    // The data file as this program's last command left it.
    struct DataFileState {
        bool known = false;
        uint64_t size = 0;
        int64_t modified = 0;
        uint64_t device = 0, inode = 0; // a file put in place of it is another
        bool operator==(const DataFileState&) const = default;
    };
    DataFileState dataFileNow() const;
    mutable DataFileState dataLeft_;
    mutable uint64_t overwrites_ = 0;
    bool keepsOverwrites_ = false;
    // Where the furthest span any directory of this archive had since the
    // open ends (in sectors): bytes below it may be an earlier entry's.
    mutable uint64_t furthestReferenced_ = 0;
    ReadAccess readAccess_ = ReadAccess::ReadWrite;
    ChangeListener listener_;
    std::unique_ptr<ArchiveLock> heldLock_;
    std::string directoryPath_;
    std::string dataPath_;
    EntryTable table_;
    // Bytes past the last whole entry of a directory file whose size is not
    // a multiple of 32 (left by another tool, or a cut-short copy): part of
    // no entry, but kept after the entries at every save.
    std::vector<uint8_t> directoryTail_;
    Version version_ = Version::One;
    // A version 2 archive's second size fields; empty when all are 0.
    std::vector<uint16_t> secondSizes_;
    // The sectors the largest directory of this open has covered.
    uint64_t reservedReach_ = 0;
    // This command's save is past its point of no return (version2.h).
    mutable bool version2SaveStands_ = false;
    // The next state of the table while a command builds it; swapped in only
    // once the directory file says the same. Kept to avoid a 2 MiB allocation
    // per command.
    EntryTable draft_;
};

}  // namespace brimlet
