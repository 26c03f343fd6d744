#include "file.h"

#include "descriptor.h"
#include "errors.h"
#include "paths.h"
#include "sys.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>
#include <cstdlib>
#include <memory>
#include <vector>

namespace brimlet {

// ---------------------------------------------------------------- File

File::File(const std::string& path, Mode mode) : path_(path)
{
    // Non-blocking: opening a FIFO would otherwise wait for a writer, holding
    // the archive's lock all the while. It changes nothing for regular files.
    int flags = (mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | sys::kOpenNonBlocking;
    fd_.reset(sys::open(path.c_str(), flags));
    if (!fd_.valid()) raise(errno);
    sys::FileStatus st;
    if (sys::fstat(fd_.get(), &st) != 0) raise(errno);
    if (!S_ISREG(st.mode) && !S_ISDIR(st.mode)) throw Failure(path + " is a pipe or a device, not a file");
    // A folder opened for reading succeeds on POSIX; as a file it is refused.
    // A file nobody may write carries the read-only attribute, and one nobody
    // may read is unreadable: both are refused even to root.
    bool readOnlyAttribute = mode == Mode::ReadWrite && (st.mode & 0222) == 0;
    bool unreadable = (st.mode & 0444) == 0;
    if (S_ISDIR(st.mode) || readOnlyAttribute || unreadable) raise(EACCES);
}

void File::raise(int err) const { raiseErrno(err, path_); }

FileIdentity File::identity() const
{
    sys::FileStatus st;
    if (sys::fstat(fd_.get(), &st) != 0) raise(errno);
    return {st.device, st.inode};
}

uint64_t File::size() const
{
    sys::FileStatus st;
    if (sys::fstat(fd_.get(), &st) != 0) raise(errno);
    return st.size;
}

uint64_t File::linkCount() const
{
    sys::FileStatus st;
    if (sys::fstat(fd_.get(), &st) != 0) raise(errno);
    return st.links;
}

void File::readExact(std::span<char> into, uint64_t offset) const
{
    char* bytes = into.data();
    size_t count = into.size();
    while (count > 0) {
        ssize_t n = sys::pread(fd_.get(), bytes, count, static_cast<off_t>(offset));
        if (n < 0) raise(errno);
        if (n == 0) raiseIoAt(io_code::kReadBeyondEnd, path_);
        bytes += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
}

bool File::hasByteAt(uint64_t offset) const
{
    char byte;
    ssize_t n = sys::pread(fd_.get(), &byte, 1, static_cast<off_t>(offset));
    if (n < 0) raise(errno);
    return n == 1;
}

void File::writeExact(std::span<const char> bytes, uint64_t offset)
{
    size_t count = bytes.size();
    ssize_t n = sys::pwrite(fd_.get(), bytes.data(), count, static_cast<off_t>(offset));
    if (n < 0) raise(errno);
    // A write that stores fewer bytes than asked is a full disk, as on the
    // runtime this format comes from; it is not retried.
    if (static_cast<size_t>(n) != count) raiseIoAt(io_code::kDiskFull, path_);
}

void File::writeZeros(uint64_t offset, uint64_t count)
{
    static const std::vector<char> zeros(64 * 1024, 0);
    while (count > 0) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, zeros.size()));
        writeExact({zeros.data(), chunk}, offset);
        offset += chunk;
        count -= chunk;
    }
}

void File::sync()
{
    if (sys::fsync(fd_.get()) != 0) raise(errno);
}

void File::truncate(uint64_t size)
{
    if (sys::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) raise(errno);
}

void File::close()
{
    if (fd_.close() != 0) raiseErrno(errno, path_);
}

bool identityOf(const std::string& path, FileIdentity& out)
{
    sys::FileStatus st;
    if (sys::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        raiseErrno(errno, path);
    }
    out = {st.device, st.inode};
    return true;
}

// ---------------------------------------------------------------- copying

namespace {

[[noreturn]] void raiseWriteFailure(WriteFailure how, int err, const std::string& path)
{
    if (how == WriteFailure::StreamWriteError) raiseStreamWriteError(path);
    if (err == 0) raiseIoAt(io_code::kDiskFull, path);
    raiseErrno(err, path);
}

bool kernelCopyUnsupported(int err)
{
    return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EBADF;
}

// Returns the bytes copied by the kernel before it declined (all of `count`
// when it did the whole copy).
uint64_t kernelCopy(const File& from, uint64_t fromOffset, int toFd, const std::string& toPath,
                    uint64_t toOffset, uint64_t count, WriteFailure how, const ByteProgress& progress)
{
    uint64_t done = 0;
    while (done < count) {
        if (progress && done > 0) progress(done);
        auto in = static_cast<off_t>(fromOffset + done);
        auto out = static_cast<off_t>(toOffset + done);
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, progress ? kProgressEvery : 1u << 30));
        ssize_t n = sys::copyFileRange(from.descriptor(), &in, toFd, &out, chunk);
        if (n < 0) {
            int err = errno;
            if (kernelCopyUnsupported(err)) return done;
            if (err == ENOSPC || err == sys::kQuotaExceeded || err == EFBIG) raiseWriteFailure(how, err, toPath);
            raiseErrno(err, from.path());
        }
        if (n == 0) raiseIoAt(io_code::kReadBeyondEnd, from.path());
        done += static_cast<uint64_t>(n);
    }
    return done;
}

// The kernel copies a page at a time: where the two offsets sit at other
// places within their pages (an entry at an odd sector, half of them), it
// goes through partial pages and takes a third longer than one buffer
// (measured on ext4). It copies where they line up, and may then share the
// blocks on a file system that can.
bool kernelCopyLinesUp(uint64_t fromOffset, uint64_t toOffset)
{
    constexpr uint64_t kPageSize = 4096;
    return fromOffset % kPageSize == toOffset % kPageSize;
}

}  // namespace

void copyBetween(const File& from, uint64_t fromOffset, int toFd, const std::string& toPath,
                 uint64_t toOffset, uint64_t count, WriteFailure how, const ByteProgress& progress)
{
    uint64_t done = 0;
    if (kernelCopyLinesUp(fromOffset, toOffset))
        done = kernelCopy(from, fromOffset, toFd, toPath, toOffset, count, how, progress);
    if (done == count) return;
    // No larger than the copy: most entries are a few sectors.
    const auto bufferSize = static_cast<size_t>(std::min<uint64_t>(count - done, kCopyBufferSize));
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (uint64_t told = done; done < count;) {
        if (progress && done - told >= kProgressEvery) progress(told = done);
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, bufferSize));
        from.readExact({buffer.get(), chunk}, fromOffset + done);
        ssize_t n = sys::pwrite(toFd, buffer.get(), chunk, static_cast<off_t>(toOffset + done));
        if (n < 0) raiseWriteFailure(how, errno, toPath);
        if (static_cast<size_t>(n) != chunk) raiseWriteFailure(how, 0, toPath);
        done += chunk;
    }
}

}  // namespace brimlet
