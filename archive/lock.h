// ArchiveLock: the advisory lock a command holds on an archive for its whole
// duration, honoured by every program built on this store (the window and
// brimlet-cli).
//
// The lock belongs to the archive, whatever path reaches it: it is taken on
// both of its files, symbolic links resolved, the data file first. The data
// file is the archive's stable identity, so it is where others wait; the
// directory file is replaced by a rename at every save, so its lock is
// taken (by its holder of the data file alone) again until the file we hold
// is the one the path names. A save of ours locks the new directory file
// before renaming it into place and keeps that lock too, so the file the
// path names is locked at every moment of the command, between two saves
// as well. Locking both makes every path
// that reaches either file wait for the others: a ".dir" reached through a
// link from a folder with no data file, and two directories that share one
// data file, alike. Two archives in one folder never wait for each other.
//
// On Windows (LockFileEx on a byte far past any data) a handle held open on
// a file makes a rename over it fail: so a save there gives up the lock of
// the directory file it replaces once the new one is locked, and a lock is
// never waited for with the file held open. For the moment between the
// two, the data file beside the directory file that a link leads to (the
// archive's own, for `lonely/y.dir -> ../x.dir`) is locked as well, on both
// systems (they share the files under wine).
//
// A lock that cannot be had is never skipped: the command is refused with a
// message. A file that does not exist (or is not a regular file) has nothing
// to protect; the command then fails on its own terms.
//
// Within one process the lock is re-entrant, so a caller may hold it around
// several operations (brimlet-cli holds it from reading the directory to
// writing it).
#pragma once

#include <functional>
#include <string>
#include <cstdint>

namespace brimlet {

// How long to wait for another program's lock.
struct LockWait {
    // Give up after this many milliseconds; negative: wait as long as it takes.
    long limitMs = -1;
    // Called once when the wait has lasted a moment (brimlet-cli says so).
    std::function<void()> onWaiting;
};

class ArchiveLock {
public:
    ArchiveLock(const std::string& dataPath, const std::string& directoryPath, const LockWait& wait);
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    // A save is about to rename a new file (open as `replacementFd`) over
    // `path`. When this process holds the lock of the file `path` names,
    // the new file is locked as well, for as long as that lock is held.
    static void coverReplacement(const std::string& path, int replacementFd);

    // Whether this process holds the lock of the file with this identity.
    // A file opened after the lock was taken may be another: one that
    // another program's save put in place meanwhile (on Windows a save gives
    // up the old file's lock a moment before its rename).
    static bool isHeld(uint64_t device, uint64_t inode);

private:
    struct Held {
        bool held = false;
        uint64_t device = 0;
        uint64_t inode = 0;
    };
public:
    class Waiter;

private:
    // With `once`, a file locked by another process is not waited for:
    // `busy` is set and nothing is held.
    static Held lockFile(const std::string& path, Waiter& waiter, bool once, bool* busy = nullptr);
    static void release(const Held& held);

    Held directory_;
    Held partner_; // the data file beside the directory file a link leads to
    Held data_;
};

}  // namespace brimlet
