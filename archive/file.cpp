#include "file.h"

#include "errors.h"
#include "sys.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace brimlet {

// ---------------------------------------------------------------- File

File::File(const std::string& path, Mode mode) : path_(path)
{
    int flags = mode == Mode::ReadWrite ? O_RDWR : O_RDONLY;
    fd_ = sys::open(path.c_str(), flags);
    if (fd_ < 0) failOpen(errno);
    struct stat st {};
    if (sys::fstat(fd_, &st) != 0) failOpen(errno);
    // A folder opened for reading succeeds on POSIX; as a file it is refused.
    // A file nobody may write carries the read-only attribute, and one nobody
    // may read is unreadable: both are refused even to root.
    bool readOnlyAttribute = mode == Mode::ReadWrite && (st.st_mode & 0222) == 0;
    bool unreadable = (st.st_mode & 0444) == 0;
    if (S_ISDIR(st.st_mode) || readOnlyAttribute || unreadable) failOpen(EACCES);
}

File::~File()
{
    if (fd_ >= 0) sys::close(fd_);
}

// The descriptor is left to the destructor, except while constructing, when
// no destructor will run.
void File::raise(int err) const { raiseErrno(err, path_); }

void File::failOpen(int err)
{
    if (fd_ >= 0) sys::close(fd_);
    fd_ = -1;
    raiseErrno(err, path_);
}

FileIdentity File::identity() const
{
    struct stat st {};
    if (sys::fstat(fd_, &st) != 0) raise(errno);
    return {st.st_dev, st.st_ino};
}

uint64_t File::size() const
{
    struct stat st {};
    if (sys::fstat(fd_, &st) != 0) raise(errno);
    return static_cast<uint64_t>(st.st_size);
}

void File::readExact(void* buffer, size_t count, uint64_t offset) const
{
    auto* bytes = static_cast<char*>(buffer);
    while (count > 0) {
        ssize_t n = sys::pread(fd_, bytes, count, static_cast<off_t>(offset));
        if (n < 0) raise(errno);
        if (n == 0) raiseIo(io_code::kReadBeyondEnd);
        bytes += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
}

void File::writeExact(const void* buffer, size_t count, uint64_t offset)
{
    ssize_t n = sys::pwrite(fd_, buffer, count, static_cast<off_t>(offset));
    if (n < 0) raise(errno);
    // A write that stores fewer bytes than asked is a full disk, as on the
    // runtime this format comes from; it is not retried.
    if (static_cast<size_t>(n) != count) raiseIo(io_code::kDiskFull);
}

void File::writeZeros(uint64_t offset, uint64_t count)
{
    static const std::vector<char> zeros(64 * 1024, 0);
    while (count > 0) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, zeros.size()));
        writeExact(zeros.data(), chunk, offset);
        offset += chunk;
        count -= chunk;
    }
}

void File::sync()
{
    if (sys::fsync(fd_) != 0) raise(errno);
}

void File::close()
{
    int fd = fd_;
    fd_ = -1;
    if (sys::close(fd) != 0) raiseErrno(errno, path_);
}

bool identityOf(const std::string& path, FileIdentity& out)
{
    struct stat st {};
    if (sys::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        raiseErrno(errno, path);
    }
    out = {st.st_dev, st.st_ino};
    return true;
}

// ---------------------------------------------------------------- copying

namespace {

[[noreturn]] void raiseWriteFailure(WriteFailure how, int err, const std::string& path)
{
    if (how == WriteFailure::StreamWriteError) throw Failure("Stream write error");
    if (err == 0) raiseIo(io_code::kDiskFull);
    raiseErrno(err, path);
}

bool kernelCopyUnsupported(int err)
{
    return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EBADF;
}

// Returns the bytes copied by the kernel before it declined (all of `count`
// when it did the whole copy).
uint64_t kernelCopy(const File& from, uint64_t fromOffset, int toFd, const std::string& toPath,
                    uint64_t toOffset, uint64_t count, WriteFailure how)
{
    uint64_t done = 0;
    while (done < count) {
        auto in = static_cast<off_t>(fromOffset + done);
        auto out = static_cast<off_t>(toOffset + done);
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 30));
        ssize_t n = sys::copyFileRange(from.descriptor(), &in, toFd, &out, chunk);
        if (n < 0) {
            int err = errno;
            if (kernelCopyUnsupported(err)) return done;
            if (err == ENOSPC || err == EDQUOT || err == EFBIG) raiseWriteFailure(how, err, toPath);
            raiseErrno(err, from.path());
        }
        if (n == 0) raiseIo(io_code::kReadBeyondEnd);
        done += static_cast<uint64_t>(n);
    }
    return done;
}

}  // namespace

void copyBetween(const File& from, uint64_t fromOffset, int toFd, const std::string& toPath,
                 uint64_t toOffset, uint64_t count, WriteFailure how)
{
    uint64_t done = kernelCopy(from, fromOffset, toFd, toPath, toOffset, count, how);
    if (done == count) return;
    std::unique_ptr<char[]> buffer(new char[kCopyBufferSize]);
    while (done < count) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, kCopyBufferSize));
        from.readExact(buffer.get(), chunk, fromOffset + done);
        ssize_t n = sys::pwrite(toFd, buffer.get(), chunk, static_cast<off_t>(toOffset + done));
        if (n < 0) raiseWriteFailure(how, errno, toPath);
        if (static_cast<size_t>(n) != chunk) raiseWriteFailure(how, 0, toPath);
        done += chunk;
    }
}

// ---------------------------------------------------------------- whole-file writes

namespace {

// Where a write to `path` lands: through a symbolic link, its final target.
std::string resolvedTarget(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

// Makes a rename durable. Best effort: the file itself is already on disk.
void syncFolderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = sys::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    sys::fsync(fd);
    sys::close(fd);
}

const char* const kTemporaryMark = ".brimlet-";

std::string temporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    return target + kTemporaryMark + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

// A writer killed between creating its temporary file and renaming it leaves
// "<target>.brimlet-<pid>-<n>" behind; the next write of the same file removes
// those whose process is gone. Best effort: they hold nothing the archive needs.
void removeStaleTemporaries(const std::string& target)
{
    auto slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
    std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + kTemporaryMark;
    for (const std::string& name : sys::listFolder(folder.c_str())) {
        if (name.rfind(prefix, 0) != 0) continue;
        auto pid = static_cast<pid_t>(std::atol(name.c_str() + prefix.size()));
        if (pid > 0 && pid != ::getpid() && !sys::processExists(pid)) sys::unlink((folder + "/" + name).c_str());
    }
}

}  // namespace

WholeFileWriter::WholeFileWriter(const std::string& path) : path_(path), targetPath_(resolvedTarget(path))
{
    openTemporary();
    if (fd_ < 0) openInPlace();
}

WholeFileWriter::~WholeFileWriter()
{
    if (fd_ >= 0) sys::close(fd_);
    if (!committed_ && !tempPath_.empty()) sys::unlink(tempPath_.c_str());
}

void WholeFileWriter::raiseCannotCreate() const { throw Failure("Cannot create file " + path_); }

void WholeFileWriter::openTemporary()
{
    struct stat target {};
    bool exists = sys::stat(targetPath_.c_str(), &target) == 0;
    if (exists && !S_ISREG(target.st_mode)) return; // a device or the like: write in place
    // A read-only file is not replaced behind its back.
    if (exists && (target.st_mode & 0222) == 0) raiseCannotCreate();
    std::string temp = temporaryNameFor(targetPath_);
    int fd = sys::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return;
    // The new file takes the old one's permissions.
    if (exists && sys::fchmod(fd, target.st_mode & 07777) != 0) {
        sys::close(fd);
        sys::unlink(temp.c_str());
        raiseCannotCreate();
    }
    fd_ = fd;
    tempPath_ = temp;
}

void WholeFileWriter::openInPlace()
{
    fd_ = sys::open(targetPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd_ < 0) raiseCannotCreate();
}

void WholeFileWriter::write(const void* buffer, size_t count)
{
    if (count == 0) return;
    ssize_t n = sys::pwrite(fd_, buffer, count, static_cast<off_t>(written_));
    if (n < 0 || static_cast<size_t>(n) != count) throw Failure("Stream write error");
    written_ += count;
}

void WholeFileWriter::copyFrom(const File& source, uint64_t offset, uint64_t count)
{
    copyBetween(source, offset, fd_, path_, written_, count, WriteFailure::StreamWriteError);
    written_ += count;
}

void WholeFileWriter::commit()
{
    if (sys::fsync(fd_) != 0) throw Failure("Stream write error");
    int fd = fd_;
    fd_ = -1;
    if (sys::close(fd) != 0) throw Failure("Stream write error");
    if (!tempPath_.empty() && sys::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) raiseCannotCreate();
    committed_ = true;
    syncFolderOf(targetPath_);
    removeStaleTemporaries(targetPath_);
}

void writeWholeFile(const std::string& path, const void* data, size_t size)
{
    WholeFileWriter writer(path);
    writer.write(data, size);
    writer.commit();
}

}  // namespace brimlet
