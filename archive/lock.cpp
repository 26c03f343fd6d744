#include "lock.h"

#include "descriptor.h"
#include "errors.h"
#include "paths.h"
#include "sys.h"

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace brimlet {

namespace {

using Key = std::pair<uint64_t, uint64_t>;

// One lock this process holds: the file it was taken on and, for a
// directory file, each file a save renamed over it since (see
// coverReplacement). Closing the descriptors releases it.
struct HeldFiles {
    struct Locked {
        Key key;
        Descriptor fd; // not valid once given up for a rename over it (Windows)
    };
    std::vector<Locked> files; // the first the one locked first
    int depth = 0;
};

// Locks this process holds, by file: flock() would block on a second
// descriptor of the same file, so nested holders share the first. A lock
// that covers several files is found under each.
std::map<Key, std::shared_ptr<HeldFiles>>& heldLocks()
{
    static std::map<Key, std::shared_ptr<HeldFiles>> held;
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
// wait, hence the non-blocking open.
Target openTarget(const std::string& path)
{
    Descriptor fd;
    for (int access : {O_RDWR, O_RDONLY, O_WRONLY}) {
        fd.reset(sys::open(path.c_str(), access | sys::kOpenNonBlocking));
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

using Clock = std::chrono::steady_clock;

}  // namespace

// How long the archive's lock has been waited for, over every attempt.
class ArchiveLock::Waiter {
public:
    explicit Waiter(const LockWait& wait) : wait_(wait), start_(Clock::now()) {}

    // Sleeps a little longer each time; gives up when the wait may last no longer.
    void nap()
    {
        auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
        if (wait_.limitMs >= 0 && waited >= wait_.limitMs)
            throw Failure("Another program is using this archive; try again when it has finished");
        if (!announced_ && waited >= 500) {
            announced_ = true;
            if (wait_.onWaiting) wait_.onWaiting();
        }
        sys::pause(nap_);
        nap_ = std::min(nap_ * 2, 100);
    }

private:
    const LockWait& wait_;
    Clock::time_point start_;
    bool announced_ = false;
    int nap_ = 5;
};

namespace {

// Takes the lock on `fd` if it is free now.
bool tryLock(int fd)
{
    if (sys::flock(fd, sys::kLockExclusive | sys::kLockNoWait) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR)
        throw Failure("The archive cannot be locked against other programs (I/O error " +
                      std::to_string(sys::systemErrorCode(errno)) + ")");
    return false;
}

// Whether `path` still names the file we locked (a save may have replaced it).
bool stillNames(const std::string& path, const Key& key)
{
    sys::FileStatus st;
    if (sys::stat(path.c_str(), &st) != 0) return true; // gone: the command fails on its own terms
    return Key{st.device, st.inode} == key;
}

}  // namespace

// On Windows a handle held open on a file stands in the way of a rename over
// it, so a save there gives up the lock of the directory file it replaces
// (having locked the new one first), and the files are never held open
// while their lock is waited for. Between the two, for a moment, the old
// file is not locked: so a program of ours that reaches the directory file
// through a link (on either system: brimlet-cli.exe under wine and this one
// share the files) waits at the data file beside the link's target as well,
// which that save's command holds all along.
#ifdef _WIN32
constexpr bool kGivesUpReplacedFiles = true;
#else
constexpr bool kGivesUpReplacedFiles = false;
#endif

// The data file first: it is never replaced, so whoever waits for the
// archive waits there, and only the one holder of the data file goes on to
// the directory file. Had the directory come first, a command arriving
// between the two saves of a replace could hold a directory file that a
// save had since replaced, while another held the new one and waited for
// the data file it holds: each waiting for the other for ever.
//
// Two pairs that cross (b.dir a link to a.img, b.img to a.dir) would still
// take the same two files in the opposite order: so whoever finds the
// directory file taken gives the data file back and starts again.
ArchiveLock::ArchiveLock(const std::string& dataPath, const std::string& directoryPath, const LockWait& wait)
{
    Waiter waiter(wait);
    // The data file beside the directory file itself, where a link led.
    std::string partner, resolved = sys::resolvedPath(directoryPath);
    if (!resolved.empty() && resolved != directoryPath) partner = dataPathFor(resolved);
    for (;;) {
        data_ = lockFile(dataPath, waiter, false);
        // Held already by this process, the data file cannot be given back.
        bool mayGiveWay = !data_.held || heldLocks().at({data_.device, data_.inode})->depth == 1;
        bool busy = false;
        try {
            if (!partner.empty()) partner_ = lockFile(partner, waiter, mayGiveWay, &busy);
            if (!busy) directory_ = lockFile(directoryPath, waiter, mayGiveWay, &busy);
        } catch (...) {
            release(partner_);
            release(data_);
            throw;
        }
        if (!busy) return;
        release(partner_);
        partner_ = {};
        release(data_);
        waiter.nap();
    }
}

ArchiveLock::~ArchiveLock()
{
    release(directory_);
    release(partner_);
    release(data_);
}

ArchiveLock::Held ArchiveLock::lockFile(const std::string& path, Waiter& waiter, bool once, bool* busy)
{
    for (;;) {
        Target target = openTarget(path);
        if (!target.fd.valid()) return {}; // nothing there to protect
        auto it = heldLocks().find(target.key);
        if (it != heldLocks().end()) {
            ++it->second->depth; // this process holds it already, through the first descriptor
        } else {
            if (!tryLock(target.fd.get())) {
                if (once) {
                    *busy = true;
                    return {};
                }
                // Not held open while waiting: on Windows that would stand
                // in the way of the holder's save.
                target.fd.reset();
                waiter.nap();
                continue;
            }
            if (!stillNames(path, target.key)) continue; // a save replaced it while we waited
            auto held = std::make_shared<HeldFiles>();
            held->files.push_back({target.key, std::move(target.fd)});
            held->depth = 1;
            heldLocks()[target.key] = std::move(held);
        }
        return {true, target.key.first, target.key.second};
    }
}

void ArchiveLock::release(const Held& held)
{
    if (!held.held) return;
    auto it = heldLocks().find({held.device, held.inode});
    if (it == heldLocks().end() || --it->second->depth > 0) return;
    std::shared_ptr<HeldFiles> last = it->second;
    for (const auto& file : last->files) heldLocks().erase(file.key);
    // `last` goes here: its descriptors close, which releases the lock
}

bool ArchiveLock::isHeld(uint64_t device, uint64_t inode) { return heldLocks().count({device, inode}) > 0; }

// The new file is locked before it takes the path's name, and stays locked
// with the file it replaces, so that no moment of a command leaves the file
// that the path names unlocked: a program that reaches the directory file
// alone (through a link from a folder without the data file) waits for the
// whole command, not only until its first save.
void ArchiveLock::coverReplacement(const std::string& path, int replacementFd)
{
    sys::FileStatus st;
    if (sys::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return; // nothing there yet: nobody can reach it
        raiseErrno(errno, path); // else the new file would go unlocked
    }
    auto it = heldLocks().find({st.device, st.inode});
    if (it == heldLocks().end()) return; // not ours to hold
    Descriptor fd(sys::duplicate(replacementFd));
    if (!fd.valid() || sys::fstat(fd.get(), &st) != 0) raiseErrno(errno, path);
    // A new file: no other program can hold it, unless one found it by its
    // temporary name; then we stop before the save.
    if (sys::flock(fd.get(), sys::kLockExclusive | sys::kLockNoWait) != 0)
        throw Failure("The archive cannot be locked against other programs (I/O error " +
                      std::to_string(sys::systemErrorCode(errno)) + ")");
    std::shared_ptr<HeldFiles> held = it->second;
    Key replaced = it->first, key{st.device, st.inode};
    // Windows refuses to rename over a file that any handle has open, ours
    // too: the replaced file's lock is given up now, the new one's held.
    if (kGivesUpReplacedFiles)
        for (auto& file : held->files)
            if (file.key == replaced) file.fd.reset();
    held->files.push_back({key, std::move(fd)});
    heldLocks()[key] = held;
}

}  // namespace brimlet
