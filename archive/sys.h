// The system-call layer: every call the archive store makes to the
// operating system goes through here, so tests can make any one of them fail.
//
// Each wrapper has the POSIX call's signature and result convention (-1 and
// errno on failure). A `FaultPlan` installed by a test counts the calls and
// makes the k-th one fail with a chosen errno, or turn a read or write short.
//
// Two implementations sit behind it, chosen when building: sys_posix.cpp and
// sys_windows.cpp. The Windows one keeps the same conventions: descriptors
// are C runtime descriptors over Win32 handles, paths are UTF-8 (turned into
// UTF-16 for the -W calls), and Windows errors become errno values (see
// systemErrorCode for the ones without a counterpart).
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

#ifndef _WIN32
#include <sys/file.h>
#endif

namespace brimlet::sys {

// Flags and codes beyond what both C runtimes have. Windows has no FIFOs to
// wait for and no descriptors to leak into children of ours: the first two
// are 0 there. sys::open understands the next two; a lock's operations are
// sys::flock's. No quota is reported this way on Windows: the code is never
// set there, but named where POSIX sets it.
#ifdef _WIN32
inline constexpr int kOpenNonBlocking = 0;
inline constexpr int kOpenCloseOnExec = 0;
inline constexpr int kOpenFolder = 0x00200000;
inline constexpr int kOpenUnnamed = 0x00400000; // refused (EOPNOTSUPP): named temporary files are used
inline constexpr int kLockExclusive = 2, kLockNoWait = 4, kUnlock = 8;
inline constexpr int kQuotaExceeded = 0x7FF0;
#else
inline constexpr int kOpenNonBlocking = O_NONBLOCK;
inline constexpr int kOpenCloseOnExec = O_CLOEXEC;
inline constexpr int kOpenFolder = O_DIRECTORY;
inline constexpr int kOpenUnnamed = O_TMPFILE;
inline constexpr int kLockExclusive = LOCK_EX, kLockNoWait = LOCK_NB, kUnlock = LOCK_UN;
inline constexpr int kQuotaExceeded = EDQUOT;
#endif

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

// Told of every call that changed a file, a name or a folder, and of every
// flush, once the call succeeded: the power-cut test replays them to find
// the states a power cut may leave (what was not yet flushed may be lost).
// Folders are -1 (AT_FDCWD) where a path is taken as it is. Only the POSIX
// layer tells it.
class Recorder {
public:
    virtual ~Recorder() = default;
    virtual void opened(int fd, int folderFd, const char* path, int flags) = 0;
    virtual void wrote(int fd, const void* bytes, size_t count, uint64_t offset) = 0;
    virtual void resized(int fd, uint64_t length) = 0;
    virtual void renamed(int folderFd, const char* from, const char* to) = 0;
    virtual void linked(int fd, int folderFd, const char* name) = 0;
    virtual void unlinked(const char* path) = 0;
    virtual void madeFolder(const char* path) = 0;
    virtual void duplicated(int fd, int copy) = 0;
    virtual void closed(int fd) = 0;
    virtual void flushed(int fd) = 0;
    virtual void flushedEverything() = 0;
};

// Installs `recorder` (nullptr: none); it must outlive its installation.
void setRecorder(Recorder* recorder);

// What the store needs to know of a file, on either system.
struct FileStatus {
    unsigned mode = 0;  // type and permission bits, as in st_mode (S_ISREG() and friends)
    uint64_t size = 0;
    uint64_t links = 1; // hard links
    unsigned owner = 0; // POSIX user and group; 0 on Windows
    unsigned group = 0;
    uint64_t device = 0; // with `inode`, the file's identity (volume and file index on Windows)
    uint64_t inode = 0;
    int64_t modified = 0; // the last write, in ns on POSIX and in 100 ns units on Windows
};

int open(const char* path, int flags, int mode = 0);
// Relative to an open folder (extract writes every file through its folder,
// so a link put in place of the folder afterwards is never followed).
int openAt(int folderFd, const char* name, int flags, int mode = 0);
int renameAt(int folderFd, const char* from, const char* to);
int linkOpenFileAt(int fd, int folderFd, const char* name);
int mkdir(const char* path, int mode);
// Flushes every file of the file system that holds `fd`. Where the system
// cannot (kSyncsWholeFileSystem is false), each file is flushed on its own.
int syncfs(int fd);
#ifdef _WIN32
constexpr bool kSyncsWholeFileSystem = false;
#else
constexpr bool kSyncsWholeFileSystem = true;
#endif
// Free bytes for us on the file system that holds `fd`; -1 on failure.
long long freeBytes(int fd);
int close(int fd);
ssize_t pread(int fd, void* buf, size_t count, off_t offset);
ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset);
ssize_t copyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count);
int fstat(int fd, FileStatus* st);
int stat(const char* path, FileStatus* st);
int fsync(int fd);
int fchmod(int fd, unsigned mode);
// Replaces `to` atomically when it exists.
int rename(const char* from, const char* to);
// Gives a name to a file opened with O_TMPFILE.
int linkOpenFile(int fd, const char* newPath);
int fchown(int fd, unsigned owner, unsigned group);
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
// An advisory lock on the whole file (kLockExclusive, kLockNoWait, kUnlock), released
// when the descriptor closes. On Windows a byte far past any data is locked,
// so the lock never stands in the way of reading or writing the file.
int flock(int fd, int operation);
// The names in a folder ("." and ".." left out); empty when it cannot be read.
std::vector<std::string> listFolder(const char* path);
// Whether a process with this id exists.
bool processExists(long pid);

// Not counted and never failed: facts about this process and this system.
long processId();
// Text that tells this machine, and the set of process ids ours belong to,
// from others sharing a folder with it (on Linux its boot id and pid
// namespace; on Windows its computer name); the same for every process of
// ours on it, "" when the system cannot say.
std::string hostIdentity();
// The path a write to `path` lands on: symbolic links resolved where the
// system has them; "" when a link there cannot be followed.
std::string resolvedPath(const std::string& path);
// Whether a file opened with O_TMPFILE can be given a name later.
bool hasUnnamedFiles();
// The name under which its folder lists the file that `path` reaches, or
// "" when the system cannot tell. On a case-blind file system "g0.dir" may
// open G0.DIR; on POSIX a name is its own spelling and this is "".
std::string nameOnDisk(const std::string& path);
// A second descriptor for one this process inherited (standard output).
int duplicate(int fd);
// The number an "I/O error N" message shows for the errno `err`: the
// system's own code (on Windows, the Windows error that had no errno).
int systemErrorCode(int err);

// A key under which two file names are equal when this system's file
// names are: the name itself on POSIX; on Windows, whose names are blind to
// the case of every letter, the name upper-cased (bytes that are not UTF-8
// stay as they are).
std::string fileNameKey(const std::string& name);

// Sleeps without being counted: used while waiting for a lock.
void pause(int milliseconds);

// Not counted and never failed: only used to classify an error that has
// already happened (missing file or missing folder).
bool isFolderUncounted(const char* path);

}  // namespace brimlet::sys
