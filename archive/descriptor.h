// A file descriptor that closes itself. Every descriptor the store opens is
// owned by one, so that none stays open after a command, whether it
// succeeds or fails; `close()` is the checked close of a successful run.
#pragma once

#include "sys.h"

#include <utility>

namespace brimlet {

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    [[nodiscard]] int release() { return std::exchange(fd_, -1); }

    // Closes the descriptor held (unchecked: on a path that is failing
    // already) and takes `fd`.
    void reset(int fd = -1)
    {
        if (fd_ >= 0) sys::close(fd_);
        fd_ = fd;
    }

    // Closes it and says whether the close succeeded (0) or failed (-1, errno).
    [[nodiscard]] int close() { return fd_ >= 0 ? sys::close(release()) : 0; }

private:
    int fd_ = -1;
};

}  // namespace brimlet
