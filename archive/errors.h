// Failures of the archive store.
//
// Every failure is an exception that carries the exact text the user sees.
// `Failure` is the general kind (whole-file write errors, refusals of bad
// input); `IoFailure` is the runtime's I/O failure and carries its numeric
// code as well, with the message fixed by the code:
//
//   2 "File not found"          3 "Invalid filename"   4 "Too many open files"
//   5 "File access denied"    100 "Read beyond end of file"
// 101 "Disk full"             106 "Invalid numeric input"
//   any other code: "I/O error <code>"
#pragma once

#include <stdexcept>
#include <string>

namespace brimlet {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& message) : std::runtime_error(message) {}
    // The file the failure is about, where it is about one ("" otherwise);
    // kept apart from the message, which is the system's own text.
    const std::string& path() const { return path_; }
    void setPath(const std::string& path) { path_ = path; }

private:
    std::string path_;
};

class IoFailure : public Failure {
public:
    explicit IoFailure(int code);
    IoFailure(int code, const std::string& message) : Failure(message), code_(code) {}
    int code() const { return code_; }

    static std::string messageFor(int code);

private:
    int code_;
};

namespace io_code {
inline constexpr int kFileNotFound = 2;
inline constexpr int kInvalidFilename = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kReadBeyondEnd = 100;
inline constexpr int kDiskFull = 101;
}  // namespace io_code

// Maps a POSIX errno from a call on `path` to the runtime's code, or 0 when
// the runtime has no code for it. `path` tells a missing file (2) from a
// missing folder (3).
int ioCodeForErrno(int err, const std::string& path);

[[noreturn]] void raiseIo(int code);
// The same, about the file at `path`.
[[noreturn]] void raiseIoAt(int code, const std::string& path);
[[noreturn]] void raiseErrno(int err, const std::string& path);
// "Stream write error", about the file being written at `path`.
[[noreturn]] void raiseStreamWriteError(const std::string& path);

}  // namespace brimlet
