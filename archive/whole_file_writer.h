// Whole-file writes, as the directory and exported entries are written.
//
// `WholeFileWriter` writes a file whole, in one of three ways, chosen when it is made:
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
#include "file.h"
#include "sys.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace brimlet {

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

// The descriptor of this process that `path` names (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N), which a write goes straight into; -1 for other paths.
int inheritedDescriptor(const std::string& path);

}  // namespace brimlet
