// Files as the archive store uses them: an existing file, and copies between files.
//
// `File` is an existing file, opened without ever creating it: the archive's
// own ".dir" and ".img" for reading and writing, the source of an Add or a
// Replace for reading only. Every call is tested at once and a failure raises
// the runtime's I/O failure (see errors.h); a read that returns fewer bytes than
// asked raises code 100, a write that stores fewer code 101. The descriptor is
// closed when the object goes, on every path; `close()` is the checked close of
// a successful run.
#pragma once

#include "descriptor.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace brimlet {

// Told how many bytes of a copy are done, every few megabytes, so that a
// window can show a large entry moving (and stay responsive meanwhile).
using ByteProgress = std::function<void(uint64_t bytesDone)>;

// Identity of a file on disk (device and inode), to refuse operations that
// would read and write one file through two names.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

class File {
public:
    enum class Mode { ReadWrite, ReadOnly };

    // Opens an existing file; never creates one. A folder, and for ReadWrite a
    // file without any write permission bit (the read-only attribute), fail
    // with code 5, whoever runs the program. A pipe, a device or a socket is
    // refused at once (without waiting for a partner to open its other end).
    File(const std::string& path, Mode mode);
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const std::string& path() const { return path_; }
    int descriptor() const { return fd_.get(); }
    [[nodiscard]] FileIdentity identity() const;

    [[nodiscard]] uint64_t size() const;
    // How many names (hard links) the file has.
    [[nodiscard]] uint64_t linkCount() const;
    // Fills `into` from `offset` on; fewer bytes in the file raise code 100.
    void readExact(std::span<char> into, uint64_t offset) const;
    void readExact(std::span<uint8_t> into, uint64_t offset) const
    {
        readExact(std::span<char>(reinterpret_cast<char*>(into.data()), into.size()), offset);
    }
    // Whether a byte can be read at `offset` (whatever the size says).
    [[nodiscard]] bool hasByteAt(uint64_t offset) const;
    void writeExact(std::span<const char> bytes, uint64_t offset);
    void writeZeros(uint64_t offset, uint64_t count);
    void sync();
    // Cuts the file to `size` bytes.
    void truncate(uint64_t size);
    void close();

private:
    [[noreturn]] void raise(int err) const;

    std::string path_;
    Descriptor fd_;
};

// Identity of the file at `path`, or none when it does not exist.
[[nodiscard]] bool identityOf(const std::string& path, FileIdentity& out);

// How a failed write is reported: as the runtime's I/O failure of the target
// (patching the data file) or as "Stream write error" (a whole-file write).
enum class WriteFailure { IoCode, StreamWriteError };

// Copies `count` bytes from `from` into the descriptor `toFd` at the given
// offsets, through the kernel (copy_file_range) or one bounded buffer, so
// memory stays flat whatever the size. A source that ends early raises 100.
void copyBetween(const File& from, uint64_t fromOffset, int toFd, const std::string& toPath,
                 uint64_t toOffset, uint64_t count, WriteFailure how, const ByteProgress& progress = {});

inline constexpr size_t kCopyBufferSize = 1 << 20;
// How often a copy tells its ByteProgress.
inline constexpr uint64_t kProgressEvery = 16u << 20;

}  // namespace brimlet
