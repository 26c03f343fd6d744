// ArchiveLock: the advisory lock a command holds on an archive for its whole
// duration, honoured by every program built on this store (the window and
// brimlet-cli).
//
// The lock belongs to the archive, whatever path reaches it: it is taken on
// the data file (symbolic links resolved), which is the archive's stable
// identity, since the directory file is replaced by a rename at every save.
// Two archives in one folder therefore never wait for each other. An archive
// whose data file does not exist yet is locked on its directory file; as that
// file may be replaced while we wait, the lock is taken again until the file
// we hold is the one the path names.
//
// A lock that cannot be had is never skipped: the command is refused with a
// message. Only when neither file exists (or is a regular file) is there
// nothing to protect; the command then fails on its own terms.
//
// Within one process the lock is re-entrant, so a caller may hold it around
// several operations (brimlet-cli holds it from reading the directory to
// writing it).
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

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

private:
    bool held_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace brimlet
