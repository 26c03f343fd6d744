// The system-call layer on Linux and other POSIX systems.
#include "sys.h"
#include "sys_faults.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <cstdio>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <sys/file.h>
#include <sys/xattr.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace brimlet::sys {

void faults::killProcess()
{
    ::kill(::getpid(), SIGKILL);
    __builtin_unreachable();
}

int os::open(const char* path, int flags, int mode)
{
    int fd = ::open(path, flags | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd >= 0 && faults::recorder()) faults::recorder()->opened(fd, AT_FDCWD, path, flags);
    return fd;
}

int os::openAt(int folderFd, const char* name, int flags, int mode)
{
    int fd = ::openat(folderFd, name, flags | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd >= 0 && faults::recorder()) faults::recorder()->opened(fd, folderFd, name, flags);
    return fd;
}

int os::renameAt(int folderFd, const char* from, const char* to)
{
    int result = ::renameat(folderFd, from, folderFd, to);
    if (result == 0 && faults::recorder()) faults::recorder()->renamed(folderFd, from, to);
    return result;
}

int os::linkOpenFileAt(int fd, int folderFd, const char* name)
{
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    int result = ::linkat(AT_FDCWD, self.c_str(), folderFd, name, AT_SYMLINK_FOLLOW);
    if (result != 0 && errno == EEXIST) return -1; // the name is taken, whichever way the file is linked
    if (result != 0) result = ::linkat(fd, "", folderFd, name, AT_EMPTY_PATH);
    if (result == 0 && faults::recorder()) faults::recorder()->linked(fd, folderFd, name);
    return result;
}

int os::mkdir(const char* path, int mode)
{
    int result = ::mkdir(path, static_cast<mode_t>(mode));
    if (result == 0 && faults::recorder()) faults::recorder()->madeFolder(path);
    return result;
}

int os::syncfs(int fd)
{
    int result = ::syncfs(fd);
    if (result == 0 && faults::recorder()) faults::recorder()->flushedEverything();
    return result;
}

long long os::freeBytes(int fd)
{
    struct statvfs st {};
    if (::fstatvfs(fd, &st) != 0) return -1;
    return static_cast<long long>(st.f_bavail) * static_cast<long long>(st.f_frsize);
}

int os::close(int fd)
{
    int result = ::close(fd); // the descriptor is released even when the close is made to fail
    if (faults::recorder()) faults::recorder()->closed(fd);
    return result;
}

ssize_t os::pread(int fd, void* buf, size_t count, off_t offset)
{
    return ::pread(fd, buf, count, offset);
}

ssize_t os::pwrite(int fd, const void* buf, size_t count, off_t offset)
{
    ssize_t n = ::pwrite(fd, buf, count, offset);
    if (n > 0 && faults::recorder()) faults::recorder()->wrote(fd, buf, static_cast<size_t>(n), static_cast<uint64_t>(offset));
    return n;
}

ssize_t os::write(int fd, const void* buf, size_t count)
{
    ssize_t n = ::write(fd, buf, count);
    return n;
}

ssize_t os::copyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count)
{
    off_t from = *inOffset, to = *outOffset;
    ssize_t n = ::copy_file_range(in, inOffset, out, outOffset, count, 0);
    if (n > 0 && faults::recorder()) {
        // What was copied, read back from the source (the ranges never overlap).
        std::vector<char> bytes(static_cast<size_t>(n));
        if (::pread(in, bytes.data(), bytes.size(), from) == n)
            faults::recorder()->wrote(out, bytes.data(), bytes.size(), static_cast<uint64_t>(to));
    }
    return n;
}

namespace {

void fill(FileStatus* out, const struct stat& st)
{
    *out = {st.st_mode, static_cast<uint64_t>(st.st_size), st.st_nlink, st.st_uid, st.st_gid,
            static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

int os::fstat(int fd, FileStatus* out)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    fill(out, st);
    return 0;
}

int os::stat(const char* path, FileStatus* out)
{
    struct stat st {};
    if (::stat(path, &st) != 0) return -1;
    fill(out, st);
    return 0;
}

int os::fsync(int fd)
{
    int result = ::fsync(fd);
    if (result == 0 && faults::recorder()) faults::recorder()->flushed(fd);
    return result;
}

int os::fchmod(int fd, unsigned mode)
{
    return ::fchmod(fd, static_cast<mode_t>(mode));
}

int os::rename(const char* from, const char* to)
{
    int result = ::rename(from, to);
    if (result == 0 && faults::recorder()) faults::recorder()->renamed(AT_FDCWD, from, to);
    return result;
}

int os::linkOpenFile(int fd, const char* newPath)
{
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    int result = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, newPath, AT_SYMLINK_FOLLOW);
    // Without /proc, only a process that may read any file can do this.
    if (result != 0) result = ::linkat(fd, "", AT_FDCWD, newPath, AT_EMPTY_PATH);
    if (result == 0 && faults::recorder()) faults::recorder()->linked(fd, AT_FDCWD, newPath);
    return result;
}

int os::fchown(int fd, unsigned owner, unsigned group)
{
    return ::fchown(fd, owner, group);
}

int os::copyAttributes(const char* from, int toFd)
{
    ssize_t size = ::listxattr(from, nullptr, 0);
    if (size < 0) return errno == ENOTSUP ? 0 : -1; // a file system without them
    std::vector<char> names(static_cast<size_t>(size));
    size = ::listxattr(from, names.data(), names.size());
    if (size < 0) return -1;
    for (const char* name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
        ssize_t length = ::getxattr(from, name, nullptr, 0);
        if (length < 0) return -1;
        std::vector<char> value(static_cast<size_t>(length));
        length = ::getxattr(from, name, value.data(), value.size());
        if (length < 0 || ::fsetxattr(toFd, name, value.data(), static_cast<size_t>(length), 0) != 0) return -1;
    }
    return 0;
}

int os::ftruncate(int fd, off_t length)
{
    int result = ::ftruncate(fd, length);
    if (result == 0 && faults::recorder()) faults::recorder()->resized(fd, static_cast<uint64_t>(length));
    return result;
}

int os::setBlocking(int fd)
{
    int flags = ::fcntl(fd, F_GETFL);
    return flags < 0 ? -1 : ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

int os::unlink(const char* path)
{
    int result = ::unlink(path);
    if (result == 0 && faults::recorder()) faults::recorder()->unlinked(path);
    return result;
}

namespace {

// The byte that brimlet-cli.exe locks on Windows, far past any data. Wine
// turns that lock into a POSIX record lock on the same byte, so holding one
// there too keeps this program and brimlet-cli.exe under wine from writing
// one archive at once. An open file description's lock is used: a plain
// POSIX lock would be dropped when any other descriptor of the file closes.
constexpr off_t kWindowsLockByte = 0x7FFFFFFFFFFFFFFE;

int windowsLockByte(int fd, bool take)
{
    struct flock record {};
    int access = ::fcntl(fd, F_GETFL) & O_ACCMODE;
    record.l_type = !take ? F_UNLCK : access == O_RDONLY ? F_RDLCK : F_WRLCK;
    record.l_whence = SEEK_SET;
    record.l_start = kWindowsLockByte;
    record.l_len = 1;
    if (::fcntl(fd, F_OFD_SETLK, &record) == 0) return 0;
    // A file system without record locks has no Windows program to keep out.
    return errno == EINVAL || errno == ENOLCK || errno == EOPNOTSUPP ? 0 : -1;
}

}  // namespace

int os::flock(int fd, int operation)
{
    if (operation & LOCK_UN) {
        windowsLockByte(fd, false);
        return ::flock(fd, operation);
    }
    if (::flock(fd, operation) != 0) return -1;
    if (windowsLockByte(fd, true) == 0) return 0;
    int err = errno == EACCES ? EWOULDBLOCK : errno; // EACCES: held elsewhere, on some systems
    ::flock(fd, LOCK_UN);
    errno = err;
    return -1;
}

std::vector<std::string> os::listFolder(const char* path)
{
    std::vector<std::string> names;
    DIR* folder = ::opendir(path);
    if (!folder) return names;
    while (const dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(folder);
    return names;
}

bool os::processExists(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

long processId() { return ::getpid(); }

// The boot id, with the process-id namespace: containers on one kernel
// share the boot but not the numbers, and a pid that is free in ours may
// be a live writer's in another.
std::string hostIdentity()
{
    char text[256] = {}, space[128] = {};
    if (FILE* boot = std::fopen("/proc/sys/kernel/random/boot_id", "re")) {
        bool read = std::fgets(text, sizeof text, boot) != nullptr;
        std::fclose(boot);
        ssize_t n = ::readlink("/proc/self/ns/pid", space, sizeof space - 1);
        if (read && text[0] && n > 0) return std::string(text) + space;
    }
    // Without them, a host name is shared by containers whose pids are not:
    // nothing then proves a temporary file ours.
    return {};
}

std::string nameOnDisk(const std::string&) { return {}; }

std::string resolvedPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (real) return real.get();
    // realpath gives up where the whole path would pass PATH_MAX (a name in
    // a deep working folder) or a folder on the way is missing: the links of
    // the last name are followed by hand, each relative one from its own
    // folder. Folders on the way need no resolving: the rename passes
    // through them.
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), target, sizeof target);
        if (n < 0) return errno == EINVAL || errno == ENOENT || errno == ENOTDIR ? current : std::string();
        std::string link(target, static_cast<size_t>(n));
        auto slash = current.find_last_of('/');
        current = link[0] == '/' || slash == std::string::npos ? link : current.substr(0, slash + 1) + link;
    }
    return {}; // a loop of links
}

bool hasUnnamedFiles() { return ::access("/proc/self/fd", F_OK) == 0; }

int duplicate(int fd)
{
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy >= 0 && faults::recorder()) faults::recorder()->duplicated(fd, copy);
    return copy;
}

int systemErrorCode(int err) { return err; }

std::string fileNameKey(const std::string& name) { return name; }

void pause(int milliseconds)
{
    struct timespec t {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

bool isFolderUncounted(const char* path)
{
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace brimlet::sys
