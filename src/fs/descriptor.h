#pragma once

#include <unistd.h>
#include <string>
#include <utility>

namespace tarnwell {

// An open file descriptor, closed when its owner goes: no path through the
// walk, a failure or a stop can leak one.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// The path through which this process reaches what its descriptor `fd` is
// open on, or the entry `name` inside that folder: /proc/self/fd/N[/name].
// It never exceeds the path limit, however deep the folder lies.
inline std::string descriptorPath(int fd, const char* name = nullptr) {
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (name) {
        path += '/';
        path += name;
    }
    return path;
}

}  // namespace tarnwell
