// The system-call layer: every call the archive store makes to the
// operating system goes through here, so tests can make any one of them fail.
//
// Each wrapper has the POSIX call's signature and result convention (-1 and
// errno on failure). A `FaultPlan` installed by a test counts the calls and
// makes the k-th one fail with a chosen errno, or turn a read or write short.
#pragma once

#include <cstddef>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <sys/types.h>

namespace brimlet::sys {

struct FaultPlan {
    long failAt = -1;     // 1-based number of the call to fail; -1: never
    int error = 0;        // errno to fail with; 0 with `shortIo` makes a short read/write
    bool shortIo = false; // a read or write at call k transfers fewer bytes instead of failing
    bool kill = false;    // the process kills itself (SIGKILL) at call k, as a crash would
    // The process kills itself once this many bytes have been written in all
    // (a write that crosses the mark stores only its part before it): a power
    // cut in the middle of a write. -1: never.
    long long killAfterBytes = -1;
    long long bytesWritten = 0;
    long calls = 0;       // calls made since the plan was installed
    bool fired = false;   // whether the chosen call was reached
};

// Installs `plan` (nullptr: none). The plan must outlive its installation.
void setFaultPlan(FaultPlan* plan);

int open(const char* path, int flags, mode_t mode = 0);
// Relative to an open folder (extract writes every file through its folder,
// so a link put in place of the folder afterwards is never followed).
int openAt(int folderFd, const char* name, int flags, mode_t mode = 0);
int renameAt(int folderFd, const char* from, const char* to);
int linkOpenFileAt(int fd, int folderFd, const char* name);
int mkdir(const char* path, mode_t mode);
// Flushes every file of the file system that holds `fd`.
int syncfs(int fd);
// Free bytes for us on the file system that holds `fd`; -1 on failure.
long long freeBytes(int fd);
int close(int fd);
ssize_t pread(int fd, void* buf, size_t count, off_t offset);
ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset);
ssize_t copyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count);
int fstat(int fd, struct stat* st);
int stat(const char* path, struct stat* st);
int fsync(int fd);
int fchmod(int fd, mode_t mode);
int rename(const char* from, const char* to);
// Gives a name to a file opened with O_TMPFILE.
int linkOpenFile(int fd, const char* newPath);
int fchown(int fd, uid_t owner, gid_t group);
// Copies every extended attribute (ACLs among them) of the file at `from` to
// the open file `toFd`. 0, or -1 with errno when one cannot be copied.
int copyAttributes(const char* from, int toFd);
int ftruncate(int fd, off_t length);
// Clears O_NONBLOCK, with which every file is opened (so that a FIFO's open
// never waits for a partner).
int setBlocking(int fd);
// Plain write at the current position, for pipes and devices.
ssize_t write(int fd, const void* buf, size_t count);
int unlink(const char* path);
int flock(int fd, int operation);
// The names in a folder ("." and ".." left out); empty when it cannot be read.
std::vector<std::string> listFolder(const char* path);
// Whether a process with this id exists.
bool processExists(pid_t pid);

// Sleeps without being counted: used while waiting for a lock.
void pause(int milliseconds);

// Not counted and never failed: only used to classify an error that has
// already happened (missing file or missing folder).
bool isFolderUncounted(const char* path);

}  // namespace brimlet::sys
