// The system-call layer on Windows.
//
// Descriptors are C runtime descriptors wrapping Win32 handles, so the rest
// of the store keeps its POSIX shape. Every file is opened with share modes
// that let other programs read, write, rename and delete it, as POSIX does;
// folders are opened without FILE_SHARE_DELETE, so a folder we write into
// cannot be renamed away under us. Paths arrive as UTF-8 and go to the -W
// calls as UTF-16. Windows errors become errno values; one without a POSIX
// counterpart becomes kNativeErrorBase + its code, which systemErrorCode()
// gives back for the "I/O error N" message.
#include "wide_text.h"
#include "sys.h"
#include "sys_faults.h"

#include <windows.h>
#include <aclapi.h>
#include <io.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace brimlet::sys {

void faults::killProcess()
{
    ::TerminateProcess(::GetCurrentProcess(), 137); // the exit status a shell shows for SIGKILL
    for (;;) ::Sleep(INFINITE); // TerminateProcess on ourselves does not return
}

namespace {

constexpr int kNativeErrorBase = 0x10000;

int errnoFor(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE: return ENOTDIR; // "Invalid filename"
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    // A file another program holds open without sharing stays "I/O error 32"
    // (ERROR_SHARING_VIOLATION), as the runtime the format comes from says.
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_CALL_NOT_IMPLEMENTED: return EOPNOTSUPP;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return kNativeErrorBase + static_cast<int>(error);
    }
}

int failWith(DWORD error)
{
    errno = errnoFor(error);
    return -1;
}

int fail() { return failWith(::GetLastError()); }

// A path of MAX_PATH characters or more reaches the -W calls only in its
// "\\?\" form, which must be absolute and use "\\" alone: mod folders nest
// deep enough to need it.
std::wstring longPathForm(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
    DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    length = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2); // \\server\share
    return L"\\\\?\\" + full;
}

// UTF-8 to UTF-16; false for bytes that are not UTF-8 (no file has such a name).
bool toWide(const char* utf8, std::wstring& out)
{
    out.clear();
    if (!*utf8) return true;
    std::optional<std::wstring> wide = wideFromUtf8(utf8);
    if (!wide) return false;
    out = longPathForm(*wide);
    return true;
}

std::string toUtf8(const std::wstring& wide) { return utf8FromWide(wide); }

// Converts `path` or fails the call with ENOTDIR ("Invalid filename").
#define BRIMLET_WIDE_OR_FAIL(name, path) \
    std::wstring name;                   \
    if (!toWide(path, name)) {           \
        errno = ENOTDIR;                 \
        return -1;                       \
    }

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// The folders opened with kOpenFolder, by descriptor: openAt() and
// renameAt() work by path inside them (Windows has no *at calls). The
// folder cannot be renamed while we hold it open, so the path stays true.
std::mutex folderMutex;
std::map<int, std::wstring>& folderPaths()
{
    static std::map<int, std::wstring> paths;
    return paths;
}

bool folderPathOf(int fd, std::wstring& out)
{
    std::lock_guard<std::mutex> guard(folderMutex);
    auto it = folderPaths().find(fd);
    if (it == folderPaths().end()) return false;
    out = it->second;
    return true;
}

std::wstring inFolder(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty()) return name;
    wchar_t last = folder.back();
    return last == L'\\' || last == L'/' || last == L':' ? folder + name : folder + L'\\' + name;
}

int openWide(const std::wstring& path, int flags, int mode)
{
    if (flags & kOpenUnnamed) {
        errno = EOPNOTSUPP; // no unnamed files: the caller makes a named one
        return -1;
    }
    // Reading attributes is what fstat() and keeping them on a save need;
    // Windows checks it even where wine does not.
    DWORD access = FILE_READ_ATTRIBUTES;
    switch (flags & (O_RDONLY | O_WRONLY | O_RDWR)) {
    case O_WRONLY: access |= GENERIC_WRITE; break;
    case O_RDWR: access |= GENERIC_READ | GENERIC_WRITE; break;
    default: access |= GENERIC_READ; break;
    }
    DWORD disposition = OPEN_EXISTING;
    if (flags & O_CREAT) disposition = (flags & O_EXCL) ? CREATE_NEW : (flags & O_TRUNC) ? CREATE_ALWAYS : OPEN_ALWAYS;
    else if (flags & O_TRUNC) disposition = TRUNCATE_EXISTING;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (flags & kOpenFolder) {
        attributes = FILE_FLAG_BACKUP_SEMANTICS; // what opens a folder
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        access = GENERIC_READ | FILE_READ_ATTRIBUTES;
    }
    if (flags & O_CREAT) {
        access |= READ_CONTROL | WRITE_DAC; // so a new file can take an old one's ACL
        if ((mode & 0222) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    }
    HANDLE handle = ::CreateFileW(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return fail();
    int runtimeFlags = _O_BINARY | _O_NOINHERIT | ((flags & O_WRONLY) ? _O_WRONLY : (flags & O_RDWR) ? _O_RDWR : _O_RDONLY);
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), runtimeFlags);
    if (fd < 0) {
        ::CloseHandle(handle);
        errno = EMFILE;
        return -1;
    }
    if (flags & kOpenFolder) {
        std::lock_guard<std::mutex> guard(folderMutex);
        folderPaths()[fd] = path;
    }
    return fd;
}

bool information(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info)
{
    return ::GetFileInformationByHandle(handle, &info) != 0;
}

int statusOf(HANDLE handle, FileStatus* out)
{
    DWORD type = ::GetFileType(handle);
    if (type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR) {
        *out = {};
        out->mode = (type == FILE_TYPE_PIPE ? S_IFIFO : S_IFCHR) | 0666;
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!information(handle, info)) return fail();
    bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    bool readOnly = info.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
    out->mode = folder ? (S_IFDIR | 0777) : (S_IFREG | (readOnly ? 0444 : 0666));
    out->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    out->links = info.nNumberOfLinks;
    out->owner = out->group = 0;
    out->device = info.dwVolumeSerialNumber;
    out->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    out->modified = static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                         info.ftLastWriteTime.dwLowDateTime);
    return 0;
}

// Opens `path` only to ask about it (links followed, folders included).
HANDLE openToQuery(const std::wstring& path)
{
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool isFolderHandle(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return information(handle, info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The path Windows has for an open handle, without the "\\?\" prefix.
std::wstring finalPathOf(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length + 1);
    }
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

// Windows refuses to replace a file that any program has open at that
// moment, even one that only looks at its attributes: another brimlet-cli
// finding the archive before it waits for the lock, a virus scanner, an
// indexer. Such holds last milliseconds, so the rename is tried again for
// up to about two seconds before it counts as refused.
bool heldOpenElsewhere(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

int moveReplacing(const std::wstring& from, const std::wstring& to)
{
    // Atomic on NTFS: a crash leaves the old file or the new one under `to`.
    DWORD nap = 1, waited = 0;
    for (;;) {
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
        DWORD error = ::GetLastError();
        if (!heldOpenElsewhere(error) || waited >= 2000) return failWith(error);
        ::Sleep(nap);
        waited += nap;
        nap = std::min<DWORD>(nap * 2, 100);
    }
}

}  // namespace

int os::open(const char* path, int flags, int mode)
{
    BRIMLET_WIDE_OR_FAIL(wide, path);
    return openWide(wide, flags, mode);
}

int os::openAt(int folderFd, const char* name, int flags, int mode)
{
    std::wstring folder;
    if (!folderPathOf(folderFd, folder)) return failWith(ERROR_INVALID_HANDLE);
    BRIMLET_WIDE_OR_FAIL(wide, name);
    if (wide == L".") return openWide(folder, flags | kOpenFolder, mode);
    return openWide(longPathForm(inFolder(folder, wide)), flags, mode);
}

int os::renameAt(int folderFd, const char* from, const char* to)
{
    std::wstring folder;
    if (!folderPathOf(folderFd, folder)) return failWith(ERROR_INVALID_HANDLE);
    BRIMLET_WIDE_OR_FAIL(wideFrom, from);
    BRIMLET_WIDE_OR_FAIL(wideTo, to);
    return moveReplacing(longPathForm(inFolder(folder, wideFrom)), longPathForm(inFolder(folder, wideTo)));
}

int os::linkOpenFileAt(int, int, const char*)
{
    errno = EOPNOTSUPP; // never reached: no file is opened unnamed here
    return -1;
}

int os::linkOpenFile(int fd, const char* newPath) { return os::linkOpenFileAt(fd, -1, newPath); }

int os::mkdir(const char* path, int)
{
    BRIMLET_WIDE_OR_FAIL(wide, path);
    return ::CreateDirectoryW(wide.c_str(), nullptr) ? 0 : fail();
}

int os::syncfs(int)
{
    return 0; // Windows flushes a file system only for administrators: each file is flushed instead
}

long long os::freeBytes(int fd)
{
    std::wstring path = finalPathOf(handleOf(fd));
    auto slash = path.find_last_of(L"\\/");
    if (path.empty() || slash == std::wstring::npos) return -1;
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(path.substr(0, slash + 1).c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<long long>(available.QuadPart);
}

int os::close(int fd)
{
    {
        std::lock_guard<std::mutex> guard(folderMutex);
        folderPaths().erase(fd);
    }
    int result = ::_close(fd); // the descriptor is released even when the close is made to fail
    return result;
}

namespace {

// Where a synchronous ReadFile or WriteFile starts.
OVERLAPPED at(off_t offset)
{
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    where.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return where;
}

}  // namespace

ssize_t os::pread(int fd, void* buf, size_t count, off_t offset)
{
    OVERLAPPED from = at(offset);
    DWORD done = 0;
    DWORD asked = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    if (!::ReadFile(handleOf(fd), buf, asked, &done, &from)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        return fail();
    }
    return static_cast<ssize_t>(done);
}

ssize_t os::pwrite(int fd, const void* buf, size_t count, off_t offset)
{
    OVERLAPPED to = at(offset);
    DWORD done = 0;
    DWORD asked = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    if (!::WriteFile(handleOf(fd), buf, asked, &done, &to)) return fail();
    return static_cast<ssize_t>(done);
}

ssize_t os::write(int fd, const void* buf, size_t count)
{
    DWORD done = 0;
    DWORD asked = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    if (!::WriteFile(handleOf(fd), buf, asked, &done, nullptr)) {
        if (::GetLastError() == ERROR_NO_DATA || ::GetLastError() == ERROR_BROKEN_PIPE) return failWith(ERROR_NO_DATA);
        return fail();
    }
    return static_cast<ssize_t>(done);
}

ssize_t os::copyFileRange(int, off_t*, int, off_t*, size_t)
{
    errno = EOPNOTSUPP; // the caller copies through a buffer
    return -1;
}

int os::fstat(int fd, FileStatus* st)
{
    return statusOf(handleOf(fd), st);
}

int os::stat(const char* path, FileStatus* st)
{
    BRIMLET_WIDE_OR_FAIL(wide, path);
    if (wide.empty()) return failWith(ERROR_FILE_NOT_FOUND);
    HANDLE handle = openToQuery(wide);
    if (handle == INVALID_HANDLE_VALUE) return fail();
    int result = statusOf(handle, st);
    DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return result == 0 ? 0 : failWith(error);
}

int os::fsync(int fd)
{
    HANDLE handle = handleOf(fd);
    // A folder cannot be flushed on Windows; renames are written through.
    if (isFolderHandle(handle)) return 0;
    return ::FlushFileBuffers(handle) ? 0 : fail();
}

int os::fchmod(int fd, unsigned mode)
{
    // Windows has one permission bit of its own: the read-only attribute.
    FILE_BASIC_INFO basic{};
    HANDLE handle = handleOf(fd);
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return fail();
    DWORD wanted = (mode & 0222) ? (basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))
                                 : (basic.FileAttributes | FILE_ATTRIBUTE_READONLY);
    if (wanted == basic.FileAttributes) return 0;
    basic.FileAttributes = wanted;
    return ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) ? 0 : fail();
}

int os::rename(const char* from, const char* to)
{
    BRIMLET_WIDE_OR_FAIL(wideFrom, from);
    BRIMLET_WIDE_OR_FAIL(wideTo, to);
    return moveReplacing(wideFrom, wideTo);
}

int os::fchown(int, unsigned, unsigned)
{
    return 0; // no POSIX owners: a file's owner is its Windows security descriptor's (see copyAttributes)
}

int os::copyAttributes(const char* from, int toFd)
{
    BRIMLET_WIDE_OR_FAIL(wide, from);
    HANDLE to = handleOf(toFd);
    // The attributes that say how the file is shown and kept.
    DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD old = ::GetFileAttributesW(wide.c_str());
    if (old == INVALID_FILE_ATTRIBUTES) return fail();
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(to, FileBasicInfo, &basic, sizeof basic)) return fail();
    basic.FileAttributes = (basic.FileAttributes & ~kept) | (old & kept);
    if (!::SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof basic)) return fail();
    // The access rules (DACL). A volume without them (FAT) has none to keep.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ::GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                          &dacl, nullptr, &descriptor);
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED) return 0;
    if (error != ERROR_SUCCESS) return failWith(error);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED)
                                                                 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                 : UNPROTECTED_DACL_SECURITY_INFORMATION);
    error = dacl ? ::SetSecurityInfo(to, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr) : ERROR_SUCCESS;
    ::LocalFree(descriptor);
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED) return 0;
    return error == ERROR_SUCCESS ? 0 : failWith(error);
}

int os::ftruncate(int fd, off_t length)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    return ::SetFileInformationByHandle(handleOf(fd), FileEndOfFileInfo, &end, sizeof end) ? 0 : fail();
}

int os::setBlocking(int)
{
    return 0; // files are never opened non-blocking here
}

int os::unlink(const char* path)
{
    BRIMLET_WIDE_OR_FAIL(wide, path);
    return ::DeleteFileW(wide.c_str()) ? 0 : fail();
}

int os::flock(int fd, int operation)
{
    // Windows locks are mandatory for the bytes they cover: lock one byte far
    // past the end of any archive, which no read or write ever reaches.
    OVERLAPPED farPastTheEnd = at(0x7FFFFFFFFFFFFFFEll);
    HANDLE handle = handleOf(fd);
    if (operation & kUnlock) return ::UnlockFileEx(handle, 0, 1, 0, &farPastTheEnd) ? 0 : fail();
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | ((operation & kLockNoWait) ? LOCKFILE_FAIL_IMMEDIATELY : 0);
    if (::LockFileEx(handle, flags, 0, 1, 0, &farPastTheEnd)) return 0;
    DWORD error = ::GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
        errno = EWOULDBLOCK;
        return -1;
    }
    return failWith(error);
}

std::vector<std::string> os::listFolder(const char* path)
{
    std::vector<std::string> names;
    std::wstring wide;
    if (!toWide(path, wide)) return names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(inFolder(wide, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(toUtf8(name));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

bool os::processExists(long pid)
{
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER; // denied: it exists
    DWORD code = 0;
    bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}

long processId() { return static_cast<long>(::GetCurrentProcessId()); }

std::string hostIdentity()
{
    wchar_t name[256] = {};
    DWORD size = 255;
    if (!::GetComputerNameExW(ComputerNameDnsFullyQualified, name, &size)) return {};
    std::string text;
    for (DWORD k = 0; k < size; ++k) text += std::to_string(static_cast<unsigned>(name[k])) + ".";
    return text;
}

std::string nameOnDisk(const std::string& path)
{
    std::wstring wide;
    // A name with wildcards would be a search, not a name.
    if (path.find_first_of("*?") != std::string::npos || !toWide(path.c_str(), wide)) return {};
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(wide.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    ::FindClose(search);
    return toUtf8(found.cFileName);
}

std::string resolvedPath(const std::string& path)
{
    std::wstring wide;
    if (!toWide(path.c_str(), wide) || wide.empty()) return path;
    HANDLE handle = openToQuery(wide);
    if (handle == INVALID_HANDLE_VALUE) return path;
    std::wstring final = finalPathOf(handle);
    ::CloseHandle(handle);
    return final.empty() ? path : toUtf8(final);
}

bool hasUnnamedFiles() { return false; }

int duplicate(int fd) { return ::_dup(fd); }

int systemErrorCode(int err) { return err >= kNativeErrorBase ? err - kNativeErrorBase : err; }

std::string fileNameKey(const std::string& name)
{
    std::optional<std::wstring> converted = wideFromUtf8(name);
    if (!converted) return name;
    std::wstring wide = *converted;
    ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return toUtf8(wide);
}

void pause(int milliseconds) { ::Sleep(static_cast<DWORD>(milliseconds)); }

bool isFolderUncounted(const char* path)
{
    std::wstring wide;
    if (!toWide(path, wide)) return false;
    DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace brimlet::sys
