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
// are written. Three ways, chosen when it is made:
// - Replace (the usual one): the bytes go into a new unnamed file in the same
//   folder (or, where the file system has none, one named ".brimlet-<host>-<pid>-<n>.tmp"),
//   which is flushed and then renamed over the target; a crash or a full
//   disk leaves either the old or the new file. The new file takes the old
//   one's owner, group and mode. Through a symbolic link, the link's target
//   is replaced. On Windows the file is always named, the rename is
//   MoveFileExW's (written through), and the new file takes the old one's
//   hidden and system attributes and its access rules.
// - In place, only where the target cannot be replaced: its folder refuses
//   new files (EACCES, EPERM, EROFS), it has other hard links, or the new file
//   cannot be given the old owner and group. The target is never truncated
//   first: only the blocks that differ are written, the file is flushed, and
//   only then cut to its new length, so a crash leaves every block that was
//   not being changed as it was.
// - Straight through, for a pipe or a character device (/dev/null, a
//   terminal): no temporary file and no flush. A pipe nobody reads is refused
//   at once rather than waited for.
// Failures: "Cannot create file <path>" and "Stream write error".
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

class WholeFileWriter {
public:
    explicit WholeFileWriter(const std::string& path);
    ~WholeFileWriter(); // an uncommitted write leaves no file under the target's name
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    void write(const void* buffer, size_t count);
    // Copies `count` bytes of `source` from `offset` on; read failures raise
    // the source's I/O failure, write failures "Stream write error".
    void copyFrom(const File& source, uint64_t offset, uint64_t count, const ByteProgress& progress = {});
    // Whether the bytes go into a new file that commit() renames over the
    // target (rather than into the target itself, or a stream).
    bool replacesTheTarget() const { return way_ == Way::Replace; }
    // Puts what was written on disk under the temporary name: once flushed,
    // the commit needs no more space. commit() flushes first when this was
    // not called.
    void flush();
    // `beforeReplacing`, when given, is told the new file's descriptor just
    // before the new file takes the target's name (the archive's lock
    // follows it there).
    void commit(const std::function<void(int)>& beforeReplacing = {});

private:
    enum class Way { Replace, InPlace, Stream };

    void chooseWay();
    bool openTemporary(const sys::FileStatus* old);
    bool openUnnamedTemporary(const std::string& folder);
    bool openNamedTemporary(const std::string& folder);
    bool keepAttributesOf(const sys::FileStatus& old);
    void openInPlace(uint64_t oldSize);
    void openStream();
    void put(const char* bytes, size_t count);
    void putChanged(const char* bytes, size_t count);
    void putStream(const char* bytes, size_t count);
    void discardTemporary();
    void giveTemporaryAName();
    [[noreturn]] void raiseCannotCreate() const;

    std::string path_;       // as given, for messages
    std::string targetPath_; // where the file ends up (a link's target)
    std::string tempPath_;   // the named temporary file; empty while it has no name
    Way way_ = Way::Replace;
    Descriptor fd_;
    uint64_t written_ = 0;
    uint64_t oldSize_ = 0; // writing in place: the target's size before
    // Writing in place: the blocks overwritten so far, as they were, so that
    // a write that fails half-way can be taken back. Up to kUndoLimit bytes.
    struct OldBlock {
        uint64_t offset;
        std::vector<char> bytes;
    };
    std::vector<OldBlock> undo_;
    uint64_t undoBytes_ = 0;
    bool undoComplete_ = true;
    void takeBack();
    bool committed_ = false;
    bool flushed_ = false;
};

void writeWholeFile(const std::string& path, const void* data, size_t size);

// Makes the names in `folder` durable (a file made, a rename): until its
// folder is flushed, a power cut may lose a new name. False when it cannot be.
[[nodiscard]] bool flushFolder(const std::string& folder);

// A name for a temporary file, of the one form that clean-up removes once its
// process is gone: ".brimlet-<host>-<pid>-<n>.tmp" (<host>: this machine's).
std::string temporaryFileName();
// Whether `name` looks like one of ours (".brimlet-*.tmp", any host): such
// names are never written as an entry's file.
bool isTemporaryFileName(const std::string& name);
// A writer killed while its temporary file had a name leaves it behind; a
// later write into the same folder removes those of this host whose
// process is gone. Only names of exactly our form are touched. Best effort.
void removeStaleTemporaries(const std::string& folder);

// The descriptor of this process that `path` names (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N), which a write goes straight into; -1 for other paths.
int inheritedDescriptor(const std::string& path);

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
