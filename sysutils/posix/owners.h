// RAII owners of the system resources the modules use: a descriptor, a
// mapping, a standard I/O stream, a locked mutex. Each releases its resource
// on every path out of the scope that holds it; the release results are not
// looked at, except munmap's, which the mapping offers to check explicitly.
//
// They wrap the C library directly and add nothing at run time.
#ifndef SYSUTILS_POSIX_OWNERS_H
#define SYSUTILS_POSIX_OWNERS_H

#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

namespace sysutils::posix {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
    void reset() noexcept {
        if (fd_ >= 0) {
            (void)::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

// open(2) with no mode: a negative descriptor when it fails, errno set.
[[nodiscard]] inline UniqueFd open_fd(const char *path, int flags) noexcept {
    return UniqueFd(::open(path, flags)); // NOLINT(cppcoreguidelines-pro-type-vararg)
}

class Mapping {
public:
    Mapping(void *addr, std::size_t length) noexcept : addr_(addr), length_(length) {}
    Mapping(const Mapping &) = delete;
    Mapping &operator=(const Mapping &) = delete;
    ~Mapping() { (void)unmap(); }

    [[nodiscard]] bool valid() const noexcept { return addr_ != MAP_FAILED; }
    [[nodiscard]] const unsigned char *bytes() const noexcept {
        return static_cast<const unsigned char *>(addr_);
    }
    // munmap's result; the mapping is released whatever it says.
    int unmap() noexcept {
        if (addr_ == MAP_FAILED) {
            return 0;
        }
        const int result = ::munmap(std::exchange(addr_, MAP_FAILED), length_);
        return result;
    }

private:
    void *addr_;
    std::size_t length_;
};

[[nodiscard]] inline Mapping map_shared_readonly(const UniqueFd &fd, std::size_t length,
                                                 off_t offset) noexcept {
    return {::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd.get(), offset), length};
}

class Stream {
public:
    explicit Stream(FILE *file) noexcept : file_(file) {}
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
    ~Stream() {
        if (file_ != nullptr) {
            (void)::fclose(file_);
        }
    }
    [[nodiscard]] FILE *get() const noexcept { return file_; }
    [[nodiscard]] bool valid() const noexcept { return file_ != nullptr; }

private:
    FILE *file_;
};

// Holds a pthread mutex for its scope; no C++ runtime needed.
class MutexLock {
public:
    explicit MutexLock(pthread_mutex_t &mutex) noexcept : mutex_(mutex) {
        (void)::pthread_mutex_lock(&mutex_);
    }
    MutexLock(const MutexLock &) = delete;
    MutexLock &operator=(const MutexLock &) = delete;
    ~MutexLock() { (void)::pthread_mutex_unlock(&mutex_); }

private:
    pthread_mutex_t &mutex_;
};

} // namespace sysutils::posix

#endif // SYSUTILS_POSIX_OWNERS_H
