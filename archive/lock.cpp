#include "lock.h"

#include "descriptor.h"
#include "errors.h"
#include "sys.h"

#include <cerrno>
#include <chrono>
#include <map>
#include <utility>

namespace brimlet {

namespace {

using Key = std::pair<uint64_t, uint64_t>;

struct Held {
    Descriptor fd; // closing it releases the lock
    int depth = 0;
};

// Locks this process holds, by file: flock() would block on a second
// descriptor of the same file, so nested holders share the first.
std::map<Key, Held>& heldLocks()
{
    static std::map<Key, Held> held;
    return held;
}

// A file to lock on, opened; `fd` is not valid when the path names no
// regular file.
struct Target {
    Descriptor fd;
    Key key{};
};

// Opens `path` for locking only. Writing is asked for first: on Linux the
// record lock on the byte Windows programs lock is a write lock only on a
// descriptor open for writing, and under wine brimlet-cli.exe's lock becomes
// one as well. A write lock is what keeps the other program's lock out, even
// when that one could open the file only for reading. Where writing is
// refused (a read-only file, or on Windows a running game that shares the
// file for reading only), reading will do. A FIFO must not make the open
// wait, hence O_NONBLOCK.
Target openTarget(const std::string& path)
{
    Descriptor fd;
    for (int access : {O_RDWR, O_RDONLY, O_WRONLY}) {
        fd.reset(sys::open(path.c_str(), access | O_NONBLOCK));
        if (fd.valid() || errno == ENOENT || errno == ENOTDIR || errno == EISDIR) break;
    }
    if (!fd.valid()) {
        // A folder has nothing to protect (Windows refuses to open one as a file).
        if (errno == ENOENT || errno == ENOTDIR || errno == EISDIR || sys::isFolderUncounted(path.c_str())) return {};
        raiseErrno(errno, path);
    }
    sys::FileStatus st;
    if (sys::fstat(fd.get(), &st) != 0) raiseErrno(errno, path);
    if (!S_ISREG(st.mode)) return {};
    return {std::move(fd), {st.device, st.inode}};
}

// Takes the lock on `fd`, waiting as `wait` says.
void acquire(int fd, const LockWait& wait)
{
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    bool announced = false;
    int nap = 5;
    for (;;) {
        if (sys::flock(fd, LOCK_EX | LOCK_NB) == 0) return;
        if (errno != EWOULDBLOCK && errno != EINTR)
            throw Failure("The archive cannot be locked against other programs (I/O error " +
                          std::to_string(sys::systemErrorCode(errno)) +
                          ")");
        auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (wait.limitMs >= 0 && waited >= wait.limitMs)
            throw Failure("Another program is using this archive; try again when it has finished");
        if (!announced && waited >= 500) {
            announced = true;
            if (wait.onWaiting) wait.onWaiting();
        }
        sys::pause(nap);
        nap = std::min(nap * 2, 100);
    }
}

// Whether `path` still names the file we locked (a save may have replaced it).
bool stillNames(const std::string& path, const Key& key)
{
    sys::FileStatus st;
    if (sys::stat(path.c_str(), &st) != 0) return true; // gone: the command fails on its own terms
    return Key{st.device, st.inode} == key;
}

}  // namespace

// On Windows only the data file is locked: a handle held open on the
// directory file would stand in the way of the rename that saves it.
#ifdef _WIN32
constexpr bool kLocksDirectoryFile = false;
#else
constexpr bool kLocksDirectoryFile = true;
#endif

// The data file first: it is never replaced, so whoever waits for the
// archive waits there, and only the one holder of the data file goes on to
// the directory file. Had the directory come first, a command arriving
// between the two saves of a replace could hold a directory file that a
// save had since replaced, while another held the new one and waited for
// the data file it holds: each waiting for the other for ever.
ArchiveLock::ArchiveLock(const std::string& dataPath, const std::string& directoryPath, const LockWait& wait)
{
    data_ = lockFile(dataPath, wait);
    try {
        if (kLocksDirectoryFile) directory_ = lockFile(directoryPath, wait);
    } catch (...) {
        release(data_);
        throw;
    }
}

ArchiveLock::~ArchiveLock()
{
    release(directory_);
    release(data_);
}

ArchiveLock::Held ArchiveLock::lockFile(const std::string& path, const LockWait& wait)
{
    for (;;) {
        Target target = openTarget(path);
        if (!target.fd.valid()) return {}; // nothing there to protect
        auto it = heldLocks().find(target.key);
        if (it != heldLocks().end()) {
            ++it->second.depth; // this process holds it already, through the first descriptor
        } else {
            acquire(target.fd.get(), wait);
            if (!stillNames(path, target.key)) continue; // a save replaced it while we waited
            heldLocks()[target.key] = {std::move(target.fd), 1};
        }
        return {true, target.key.first, target.key.second};
    }
}

void ArchiveLock::release(const Held& held)
{
    if (!held.held) return;
    auto it = heldLocks().find({held.device, held.inode});
    if (it == heldLocks().end() || --it->second.depth > 0) return;
    heldLocks().erase(it); // its descriptor closes, which releases the lock
}

}  // namespace brimlet
