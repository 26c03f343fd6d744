// The counted calls: each asks the installed FaultPlan first, then makes
// the platform's call (sys_faults.h). A planned failure returns -1 with the
// plan's errno without making the call; a planned short transfer moves half
// the bytes; writes stop at the plan's byte mark, as a power cut would.
#include "sys.h"
#include "sys_faults.h"

namespace brimlet::sys {

namespace {

using faults::Fault;

// `call()` unless the plan fails this call: then `failed`, with its errno.
template <typename Result, typename Call>
Result counted(Call call, Result failed = Result(-1))
{
    if (faults::nextCall() == Fault::Fail) {
        errno = faults::planError();
        return failed;
    }
    return call();
}

// A call that moves `count` bytes: `call(n)` moves n of them.
template <typename Call>
ssize_t transfer(size_t count, Call call)
{
    Fault fault = faults::nextCall();
    if (fault == Fault::Fail) {
        errno = faults::planError();
        return -1;
    }
    return call(fault == Fault::Short ? faults::shortened(count) : count);
}

// A transfer that writes: cut at the byte mark, which may end the process.
template <typename Call>
ssize_t writing(size_t count, Call call)
{
    return transfer(count, [&](size_t n) {
        ssize_t written = call(faults::cappedAtByteMark(n));
        faults::afterWrite(written);
        return written;
    });
}

}  // namespace

int open(const char* path, int flags, int mode) { return counted<int>([&] { return os::open(path, flags, mode); }); }
int openAt(int folderFd, const char* name, int flags, int mode)
{
    return counted<int>([&] { return os::openAt(folderFd, name, flags, mode); });
}
int renameAt(int folderFd, const char* from, const char* to)
{
    return counted<int>([&] { return os::renameAt(folderFd, from, to); });
}
int linkOpenFileAt(int fd, int folderFd, const char* name)
{
    return counted<int>([&] { return os::linkOpenFileAt(fd, folderFd, name); });
}
int mkdir(const char* path, int mode) { return counted<int>([&] { return os::mkdir(path, mode); }); }
int syncfs(int fd) { return counted<int>([&] { return os::syncfs(fd); }); }
long long freeBytes(int fd) { return counted<long long>([&] { return os::freeBytes(fd); }); }

// The descriptor is released even when the close is made to fail.
int close(int fd)
{
    Fault fault = faults::nextCall();
    int result = os::close(fd);
    if (fault != Fault::Fail) return result;
    errno = faults::planError();
    return -1;
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset)
{
    return transfer(count, [&](size_t n) { return os::pread(fd, buf, n, offset); });
}
ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset)
{
    return writing(count, [&](size_t n) { return os::pwrite(fd, buf, n, offset); });
}
ssize_t copyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count)
{
    return writing(count, [&](size_t n) { return os::copyFileRange(in, inOffset, out, outOffset, n); });
}
ssize_t write(int fd, const void* buf, size_t count)
{
    return writing(count, [&](size_t n) { return os::write(fd, buf, n); });
}

int fstat(int fd, FileStatus* st) { return counted<int>([&] { return os::fstat(fd, st); }); }
int stat(const char* path, FileStatus* st) { return counted<int>([&] { return os::stat(path, st); }); }
int fsync(int fd) { return counted<int>([&] { return os::fsync(fd); }); }
int fchmod(int fd, unsigned mode) { return counted<int>([&] { return os::fchmod(fd, mode); }); }
int rename(const char* from, const char* to) { return counted<int>([&] { return os::rename(from, to); }); }
int linkOpenFile(int fd, const char* newPath) { return counted<int>([&] { return os::linkOpenFile(fd, newPath); }); }
int fchown(int fd, unsigned owner, unsigned group)
{
    return counted<int>([&] { return os::fchown(fd, owner, group); });
}
int copyAttributes(const char* from, int toFd) { return counted<int>([&] { return os::copyAttributes(from, toFd); }); }
int ftruncate(int fd, off_t length) { return counted<int>([&] { return os::ftruncate(fd, length); }); }
int setBlocking(int fd) { return counted<int>([&] { return os::setBlocking(fd); }); }
int unlink(const char* path) { return counted<int>([&] { return os::unlink(path); }); }
int flock(int fd, int operation) { return counted<int>([&] { return os::flock(fd, operation); }); }

// A folder that cannot be read lists nothing.
std::vector<std::string> listFolder(const char* path)
{
    return counted<std::vector<std::string>>([&] { return os::listFolder(path); }, {});
}
// When in doubt, a process is alive: its files are someone's.
bool processExists(long pid) { return counted<bool>([&] { return os::processExists(pid); }, true); }

}  // namespace brimlet::sys
