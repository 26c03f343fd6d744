#include "errors.h"

#include "paths.h"
#include "sys.h"

#include <cerrno>

namespace brimlet {

IoFailure::IoFailure(int code) : Failure(messageFor(code)), code_(code) {}

std::string IoFailure::messageFor(int code)
{
    switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
    default: return "I/O error " + std::to_string(code);
    }
}

int ioCodeForErrno(int err, const std::string& path)
{
    switch (err) {
    case ENOENT:
        // A missing file in an existing folder is "not found"; a missing
        // folder on the way makes the whole name invalid.
        return sys::isFolderUncounted(folderOf(path).c_str()) ? io_code::kFileNotFound : io_code::kInvalidFilename;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return io_code::kInvalidFilename;
    case EMFILE:
    case ENFILE:
        return io_code::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return io_code::kAccessDenied;
    case ENOSPC:
    case sys::kQuotaExceeded:
    case EFBIG:
        return io_code::kDiskFull;
    default:
        return 0;
    }
}

void raiseIo(int code) { throw IoFailure(code); }

void raiseIoAt(int code, const std::string& path)
{
    IoFailure failure(code);
    failure.setPath(path);
    throw failure;
}

void raiseErrno(int err, const std::string& path)
{
    int code = ioCodeForErrno(err, path);
    if (code != 0) raiseIoAt(code, path);
    // Shown with the system's own number, even where that number equals one
    // of the runtime's codes (EIO is 5, but it is not "File access denied").
    IoFailure failure(err, "I/O error " + std::to_string(sys::systemErrorCode(err)));
    failure.setPath(path);
    throw failure;
}

void raiseStreamWriteError(const std::string& path)
{
    Failure failure("Stream write error");
    failure.setPath(path);
    throw failure;
}

}  // namespace brimlet
