#include "lock.h"

#include "sys.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/file.h>

namespace brimlet {

namespace {

struct Held {
    int fd = -1;
    int depth = 0;
};

// Locks this process holds, by folder: flock() would block on a second
// descriptor of the same folder, so nested holders share the first.
std::map<std::string, Held>& heldLocks()
{
    static std::map<std::string, Held> held;
    return held;
}

std::string folderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int lockFolder(const std::string& folder)
{
    int fd = sys::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -1;
    int result;
    while ((result = sys::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        sys::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

ArchiveLock::ArchiveLock(const std::string& directoryPath) : folder_(folderOf(directoryPath))
{
    Held& held = heldLocks()[folder_];
    if (held.depth++ == 0) held.fd = lockFolder(folder_);
}

ArchiveLock::~ArchiveLock()
{
    auto it = heldLocks().find(folder_);
    if (it == heldLocks().end() || --it->second.depth > 0) return;
    if (it->second.fd >= 0) sys::close(it->second.fd); // closing releases the lock
    heldLocks().erase(it);
}

}  // namespace brimlet
