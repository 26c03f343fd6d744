#include "sys.h"

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace brimlet::sys {

namespace {

FaultPlan* activePlan = nullptr;

enum class Fault { None, Fail, Short };

Fault nextCall()
{
    if (!activePlan) return Fault::None;
    ++activePlan->calls;
    if (activePlan->calls != activePlan->failAt) return Fault::None;
    activePlan->fired = true;
    if (activePlan->kill) ::kill(::getpid(), SIGKILL);
    return activePlan->shortIo ? Fault::Short : Fault::Fail;
}

// For calls that move bytes: a short transfer moves half (at least nothing).
size_t shortened(size_t count) { return count / 2; }

}  // namespace

void setFaultPlan(FaultPlan* plan) { activePlan = plan; }

#define BRIMLET_FAIL_IF_PLANNED(fault)        \
    if ((fault) == Fault::Fail) {             \
        errno = activePlan->error ? activePlan->error : EIO; \
        return -1;                            \
    }

int open(const char* path, int flags, mode_t mode)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    return ::open(path, flags | O_CLOEXEC, mode);
}

int close(int fd)
{
    auto fault = nextCall();
    int result = ::close(fd); // the descriptor is released even when the close is made to fail
    BRIMLET_FAIL_IF_PLANNED(fault);
    return result;
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    if (fault == Fault::Short) count = shortened(count);
    return ::pread(fd, buf, count, offset);
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    if (fault == Fault::Short) count = shortened(count);
    return ::pwrite(fd, buf, count, offset);
}

ssize_t copyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    if (fault == Fault::Short) count = shortened(count);
    return ::copy_file_range(in, inOffset, out, outOffset, count, 0);
}

int fstat(int fd, struct stat* st)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    return ::fstat(fd, st);
}

int stat(const char* path, struct stat* st)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    return ::stat(path, st);
}

int fsync(int fd)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    return ::fsync(fd);
}

int fchmod(int fd, mode_t mode)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    return ::fchmod(fd, mode);
}

int rename(const char* from, const char* to)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    return ::rename(from, to);
}

int unlink(const char* path)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    return ::unlink(path);
}

int flock(int fd, int operation)
{
    auto fault = nextCall();
    BRIMLET_FAIL_IF_PLANNED(fault);
    return ::flock(fd, operation);
}

std::vector<std::string> listFolder(const char* path)
{
    std::vector<std::string> names;
    if (nextCall() == Fault::Fail) return names;
    DIR* folder = ::opendir(path);
    if (!folder) return names;
    while (const dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(folder);
    return names;
}

bool processExists(pid_t pid)
{
    if (nextCall() == Fault::Fail) return true; // when in doubt, the file is someone's
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

bool isFolderUncounted(const char* path)
{
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace brimlet::sys
