// Files as the archive store uses them, one RAII type each way.
//
// `File` is an existing file, opened without ever creating it: the archive's
// own ".dir" and ".img" for reading and writing, the source of an Add or a
// Replace for reading only. Every call is tested at once and a failure raises
// the runtime's I/O failure (see errors.h); a read that returns fewer bytes than
// asked raises code 100, a write that stores fewer code 101. The descriptor is
// closed when the object goes, on every path; `close()` is the checked close of
// a successful run.
//
// `WholeFileWriter` writes a file whole, as the directory and exported entries
// are written: into a temporary file in the same folder, flushed to disk and
// renamed over the target, so a crash or a full disk leaves either the old or
// the new file and never a truncated one. Through a symbolic link the link's
// target is replaced; the target's permissions are kept. Where the folder
// allows no new file it falls back to rewriting the target in place.
// Failures: "Cannot create file <path>" and "Stream write error".
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace brimlet {

// Identity of a file on disk (device and inode), to refuse operations that
// would read and write one file through two names.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

class File {
public:
    enum class Mode { ReadWrite, ReadOnly };

    // Opens an existing file; never creates one. A folder, and for ReadWrite a
    // file without any write permission bit (the read-only attribute), fail
    // with code 5, whoever runs the program.
    File(const std::string& path, Mode mode);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const std::string& path() const { return path_; }
    int descriptor() const { return fd_; }
    FileIdentity identity() const;

    uint64_t size() const;
    void readExact(void* buffer, size_t count, uint64_t offset) const;
    void writeExact(const void* buffer, size_t count, uint64_t offset);
    void writeZeros(uint64_t offset, uint64_t count);
    void sync();
    void close();

private:
    [[noreturn]] void raise(int err) const;
    [[noreturn]] void failOpen(int err);

    std::string path_;
    int fd_ = -1;
};

class WholeFileWriter {
public:
    explicit WholeFileWriter(const std::string& path);
    ~WholeFileWriter(); // an uncommitted write leaves no file under the target's name
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    void write(const void* buffer, size_t count);
    // Copies `count` bytes of `source` from `offset` on; read failures raise
    // the source's I/O failure, write failures "Stream write error".
    void copyFrom(const File& source, uint64_t offset, uint64_t count);
    void commit();

private:
    void openTemporary();
    void openInPlace();
    [[noreturn]] void raiseCannotCreate() const;

    std::string path_;       // as given, for messages
    std::string targetPath_; // where the file ends up (a link's target)
    std::string tempPath_;   // empty when writing in place
    int fd_ = -1;
    uint64_t written_ = 0;
    bool committed_ = false;
};

void writeWholeFile(const std::string& path, const void* data, size_t size);

// Identity of the file at `path`, or none when it does not exist.
bool identityOf(const std::string& path, FileIdentity& out);

// How a failed write is reported: as the runtime's I/O failure of the target
// (patching the data file) or as "Stream write error" (a whole-file write).
enum class WriteFailure { IoCode, StreamWriteError };

// Copies `count` bytes from `from` into the descriptor `toFd` at the given
// offsets, through the kernel (copy_file_range) or one bounded buffer, so
// memory stays flat whatever the size. A source that ends early raises 100.
void copyBetween(const File& from, uint64_t fromOffset, int toFd, const std::string& toPath,
                 uint64_t toOffset, uint64_t count, WriteFailure how);

inline constexpr size_t kCopyBufferSize = 1 << 20;

}  // namespace brimlet
