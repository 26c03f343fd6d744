#include "whole_file_writer.h"

#include "errors.h"
#include "paths.h"
#include "sys.h"
#include "temporary_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace brimlet {

bool flushFolder(const std::string& folder)
{
    Descriptor fd(sys::open(folder.c_str(), O_RDONLY | sys::kOpenFolder));
    return fd.valid() && sys::fsync(fd.get()) == 0;
}

namespace {

// Makes a rename durable. Best effort: the file itself is already on disk.
void syncFolder(const std::string& folder) { (void)flushFolder(folder); }

std::string temporaryNameIn(const std::string& folder) { return joinPath(folder, temporaryFileName()); }

// The folder does not let us make a file: the only errors that send a save
// to write in place. Anything else (a full disk, too many open files) is an
// error, never a reason to touch the live file.
bool folderRefusesNewFiles(int err) { return err == EACCES || err == EPERM || err == EROFS; }

constexpr size_t kCompareBlock = 4096;

}  // namespace

// /dev/stdout, /dev/fd/N and /proc/self/fd/N name a descriptor this process
// already has: written to as it is (a log opened for appending stays one),
// never replaced by a new file. -1 for any other path.
int inheritedDescriptor(const std::string& path)
{
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    for (const std::string prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (path.rfind(prefix, 0) != 0) continue;
        std::string number = path.substr(prefix.size());
        if (!number.empty() && number.size() < 12 && std::to_string(std::atoi(number.c_str())) == number) return std::atoi(number.c_str());
    }
    return -1;
}

WholeFileWriter::WholeFileWriter(const std::string& path) : path_(path), targetPath_(sys::resolvedPath(path))
{
    try {
        chooseWay();
    } catch (...) {
        discardTemporary(); // no destructor runs for a constructor that throws (fd_ closes itself)
        throw;
    }
}

void WholeFileWriter::chooseWay()
{
    int inherited = inheritedDescriptor(path_);
    if (inherited >= 0) {
        way_ = Way::Stream;
        fd_.reset(sys::duplicate(inherited));
        if (!fd_.valid()) raiseCannotCreate();
        return;
    }
    if (targetPath_.empty()) raiseCannotCreate(); // a link we cannot follow is never replaced
    sys::FileStatus old;
    bool exists = sys::stat(targetPath_.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) raiseCannotCreate();
    if (exists && (S_ISFIFO(old.mode) || S_ISCHR(old.mode))) {
        openStream();
        return;
    }
    if (exists && !S_ISREG(old.mode)) raiseCannotCreate(); // a folder, a socket, a block device
    // A read-only file is not replaced behind its back.
    if (exists && (old.mode & 0222) == 0) raiseCannotCreate();
    // Replacing a file with other names would part it from them.
    bool replaceable = !exists || old.links <= 1;
    if (replaceable && openTemporary(exists ? &old : nullptr)) return;
    if (!exists) raiseCannotCreate();
    openInPlace(old.size);
}

WholeFileWriter::~WholeFileWriter()
{
    if (!committed_ && way_ == Way::InPlace) takeBack();
    if (!committed_) discardTemporary();
}

void WholeFileWriter::raiseCannotCreate() const { throw Failure("Cannot create file " + path_); }

void WholeFileWriter::discardTemporary()
{
    if (way_ == Way::Replace && !tempPath_.empty()) sys::unlink(tempPath_.c_str());
    tempPath_.clear();
}

// Returns false when the folder takes no new file (or the new file cannot
// have the old one's owner): the caller then writes in place.
bool WholeFileWriter::openTemporary(const sys::FileStatus* old)
{
    std::string folder = folderOf(targetPath_);
    if (!openUnnamedTemporary(folder) && !openNamedTemporary(folder)) return false;
    if (old && !keepAttributesOf(*old)) {
        discardTemporary();
        fd_.reset();
        return false;
    }
    return true;
}

bool WholeFileWriter::openUnnamedTemporary(const std::string& folder)
{
    if (!sys::hasUnnamedFiles()) return false; // it could not be given a name later
    fd_.reset(sys::open(folder.c_str(), sys::kOpenUnnamed | O_WRONLY, 0666));
    if (fd_.valid()) return true;
    // Not every file system has unnamed files; a refusal of the folder or a
    // full disk would refuse a named one as well.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return false;
    if (folderRefusesNewFiles(errno)) return false;
    raiseCannotCreate();
}

bool WholeFileWriter::openNamedTemporary(const std::string& folder)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temporaryNameIn(folder);
        fd_.reset(sys::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
        if (fd_.valid()) {
            tempPath_ = temp;
            return true;
        }
        if (errno == EEXIST) continue;
        if (folderRefusesNewFiles(errno)) return false;
        raiseCannotCreate();
    }
    raiseCannotCreate();
}

// The new file keeps the old one's owner, group, mode and attributes. A user who may not
// give a file away (everyone but root, for a file of someone else's) cannot
// replace that file without taking it over: such a file is written in place.
bool WholeFileWriter::keepAttributesOf(const sys::FileStatus& old)
{
    sys::FileStatus now;
    if (sys::fstat(fd_.get(), &now) != 0) raiseCannotCreate();
    if (now.owner != old.owner || now.group != old.group) {
        if (sys::fchown(fd_.get(), old.owner, old.group) != 0) {
            if (errno == EPERM) return false;
            raiseCannotCreate();
        }
    }
    // ACLs and other extended attributes come along; where they cannot (a
    // file system without them, or attributes only their owner may set), the
    // file is written in place rather than lose them.
    if (sys::copyAttributes(targetPath_.c_str(), fd_.get()) != 0) return false;
    // After the owner: a change of owner clears the set-id bits.
    if (sys::fchmod(fd_.get(), old.mode & 07777) != 0) raiseCannotCreate();
    return true;
}

void WholeFileWriter::openInPlace(uint64_t oldSize)
{
    way_ = Way::InPlace;
    oldSize_ = oldSize;
    fd_.reset(sys::open(targetPath_.c_str(), O_RDWR | sys::kOpenNonBlocking));
    if (!fd_.valid()) raiseCannotCreate();
}

void WholeFileWriter::openStream()
{
    way_ = Way::Stream;
    // Non-blocking, so that a FIFO nobody reads fails at once (ENXIO).
    fd_.reset(sys::open(targetPath_.c_str(), O_WRONLY | sys::kOpenNonBlocking));
    if (!fd_.valid() || sys::setBlocking(fd_.get()) != 0) raiseCannotCreate();
}

void WholeFileWriter::write(const void* buffer, size_t count)
{
    put(static_cast<const char*>(buffer), count);
}

void WholeFileWriter::put(const char* bytes, size_t count)
{
    if (count == 0) return;
    if (way_ == Way::InPlace) {
        putChanged(bytes, count);
    } else if (way_ == Way::Stream) {
        putStream(bytes, count);
    } else {
        ssize_t n = sys::pwrite(fd_.get(), bytes, count, static_cast<off_t>(written_));
        if (n < 0 || static_cast<size_t>(n) != count) raiseStreamWriteError(path_);
    }
    written_ += count;
}

// Puts back what a failed in-place write changed: the file is as it was.
// Best effort; beyond the undo limit (large exports) the new bytes stay.
void WholeFileWriter::takeBack()
{
    if (!undoComplete_ || !fd_.valid()) return;
    for (auto block = undo_.rbegin(); block != undo_.rend(); ++block)
        sys::pwrite(fd_.get(), block->bytes.data(), block->bytes.size(), static_cast<off_t>(block->offset));
    if (written_ > oldSize_) sys::ftruncate(fd_.get(), static_cast<off_t>(oldSize_));
    sys::fsync(fd_.get());
}

// Writes only the blocks that differ from what the file holds there,
// remembering what they held.
void WholeFileWriter::putChanged(const char* bytes, size_t count)
{
    constexpr uint64_t kUndoLimit = 64u << 20;
    char old[kCompareBlock];
    for (size_t done = 0; done < count;) {
        uint64_t at = written_ + done;
        size_t block = std::min(count - done, kCompareBlock - static_cast<size_t>(at % kCompareBlock));
        ssize_t have = 0;
        if (at < oldSize_) {
            have = sys::pread(fd_.get(), old, block, static_cast<off_t>(at));
            if (have < 0) raiseStreamWriteError(path_);
        }
        if (static_cast<size_t>(have) != block || std::memcmp(old, bytes + done, block) != 0) {
            if (have > 0 && undoComplete_) {
                undoComplete_ = (undoBytes_ += static_cast<uint64_t>(have)) <= kUndoLimit;
                if (undoComplete_) undo_.push_back({at, std::vector<char>(old, old + have)});
            }
            ssize_t n = sys::pwrite(fd_.get(), bytes + done, block, static_cast<off_t>(at));
            if (n < 0 || static_cast<size_t>(n) != block) raiseStreamWriteError(path_);
        }
        done += block;
    }
}

void WholeFileWriter::putStream(const char* bytes, size_t count)
{
    while (count > 0) {
        ssize_t n = sys::write(fd_.get(), bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) raiseStreamWriteError(path_);
        bytes += n;
        count -= static_cast<size_t>(n);
    }
}

void WholeFileWriter::copyFrom(const File& source, uint64_t offset, uint64_t count, const ByteProgress& progress)
{
    if (way_ == Way::Replace) {
        copyBetween(source, offset, fd_.get(), path_, written_, count, WriteFailure::StreamWriteError, progress);
        written_ += count;
        return;
    }
    std::unique_ptr<char[]> buffer(new char[kCopyBufferSize]);
    for (uint64_t done = 0, told = 0; done < count;) {
        if (progress && done - told >= kProgressEvery) progress(told = done);
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, kCopyBufferSize));
        source.readExact({buffer.get(), chunk}, offset + done);
        put(buffer.get(), chunk);
        done += chunk;
    }
}

void WholeFileWriter::giveTemporaryAName()
{
    std::string folder = folderOf(targetPath_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temporaryNameIn(folder);
        if (sys::linkOpenFile(fd_.get(), temp.c_str()) == 0) {
            tempPath_ = temp;
            return;
        }
        if (errno != EEXIST) raiseCannotCreate();
    }
    raiseCannotCreate();
}

void WholeFileWriter::flush()
{
    if (flushed_ || way_ == Way::Stream) return;
    if (sys::fsync(fd_.get()) != 0) raiseStreamWriteError(path_);
    if (way_ == Way::InPlace) {
        // Cut only once the new bytes are on disk.
        if (oldSize_ > written_ && (sys::ftruncate(fd_.get(), static_cast<off_t>(written_)) != 0 || sys::fsync(fd_.get()) != 0))
            raiseStreamWriteError(path_);
    } else if (tempPath_.empty()) {
        giveTemporaryAName();
    }
    flushed_ = true;
}

void WholeFileWriter::commit(const std::function<void(int)>& beforeReplacing)
{
    if (way_ == Way::Stream) {
        if (fd_.close() != 0) raiseStreamWriteError(path_);
        committed_ = true;
        return;
    }
    flush();
    if (way_ == Way::Replace && beforeReplacing) beforeReplacing(fd_.get());
    if (fd_.close() != 0) raiseStreamWriteError(path_);
    if (way_ == Way::Replace) {
        if (sys::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) raiseCannotCreate();
        tempPath_.clear();
        syncFolder(folderOf(targetPath_));
        removeStaleTemporaries(folderOf(targetPath_));
    }
    committed_ = true;
}

void writeWholeFile(const std::string& path, const void* data, size_t size)
{
    WholeFileWriter writer(path);
    writer.write(data, size);
    writer.commit();
}

}  // namespace brimlet
