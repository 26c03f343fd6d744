// Internal to the system-call layer. The calls of sys.h are counted and
// failed as a test's FaultPlan says once, in sys.cpp, in front of the
// platform's own calls declared here (`os::`), which sys_posix.cpp and
// sys_windows.cpp define with the same signatures and conventions and no
// knowledge of faults.
#pragma once

#include "sys.h"

#include <cerrno>

namespace brimlet::sys {

namespace os {
int open(const char* path, int flags, int mode);
int openAt(int folderFd, const char* name, int flags, int mode);
int renameAt(int folderFd, const char* from, const char* to);
int linkOpenFileAt(int fd, int folderFd, const char* name);
int mkdir(const char* path, int mode);
int syncfs(int fd);
long long freeBytes(int fd);
int close(int fd);
ssize_t pread(int fd, void* buf, size_t count, off_t offset);
ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset);
ssize_t copyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count);
int fstat(int fd, FileStatus* st);
int stat(const char* path, FileStatus* st);
int fsync(int fd);
int fchmod(int fd, unsigned mode);
int rename(const char* from, const char* to);
int linkOpenFile(int fd, const char* newPath);
int fchown(int fd, unsigned owner, unsigned group);
int copyAttributes(const char* from, int toFd);
int ftruncate(int fd, off_t length);
int setBlocking(int fd);
ssize_t write(int fd, const void* buf, size_t count);
int unlink(const char* path);
int flock(int fd, int operation);
std::vector<std::string> listFolder(const char* path);
bool processExists(long pid);
}  // namespace os

namespace faults {

enum class Fault { None, Fail, Short };

FaultPlan* active();
// Counts the call; kills the process when the plan says so.
Fault nextCall();
// For calls that move bytes: a short transfer moves half (at least nothing).
inline size_t shortened(size_t count) { return count / 2; }
// With a byte mark set, a write is cut at the mark; `afterWrite` then ends
// the process, as a power cut in the middle of the write would.
size_t cappedAtByteMark(size_t count);
void afterWrite(ssize_t written);
// Ends the process at once, as a crash would.
[[noreturn]] void killProcess();

// The installed Recorder, or nullptr.
Recorder* recorder();

inline int planError() { return active() && active()->error ? active()->error : EIO; }

}  // namespace faults

}  // namespace brimlet::sys
