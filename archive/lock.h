// ArchiveLock: the advisory lock a command holds on an archive for its whole
// duration, honoured by every program built on this store (the window and
// brimlet-cli). It is taken on the folder that holds the ".dir", because the
// directory file itself is replaced by each save, and it blocks until the
// other holder is done. Within one process it is re-entrant, so a caller may
// hold it around several operations. Where the folder cannot be opened the
// command runs unlocked and fails on its own terms.
#pragma once

#include <string>

namespace brimlet {

class ArchiveLock {
public:
    explicit ArchiveLock(const std::string& directoryPath);
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

private:
    std::string folder_;
};

}  // namespace brimlet
