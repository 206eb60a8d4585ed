// SPDX-License-Identifier: MIT
// RAII owners of the system resources the modules use: a descriptor, a
// mapping, a standard I/O stream, a locked mutex, and errno itself. Each
// releases its resource on every path out of the scope that holds it, with
// errno as the release found it (a failed call's error survives the cleanup
// after it); the release results are not looked at, except munmap's, which
// the mapping offers to check explicitly.
//
// They wrap the C library directly and add nothing at run time. They have
// internal linkage, so no library exports them or keeps a weak copy of them.
#ifndef SYSUTILS_COMMON_OWNERS_H
#define SYSUTILS_COMMON_OWNERS_H

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

namespace sysutils {
namespace {

// Puts errno back as the scope found it: logging a failure must not change
// the error its caller reports.
class ErrnoKeeper {
public:
    ErrnoKeeper() noexcept = default;
    ErrnoKeeper(const ErrnoKeeper &) = delete;
    ErrnoKeeper &operator=(const ErrnoKeeper &) = delete;
    ErrnoKeeper(ErrnoKeeper &&) = delete;
    ErrnoKeeper &operator=(ErrnoKeeper &&) = delete;
    ~ErrnoKeeper() { errno = saved_; }

private:
    int saved_ = errno;
};

class UniqueFd {
public:
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    UniqueFd &operator=(UniqueFd &&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) {
            const ErrnoKeeper keep_errno;
            (void)::close(fd_);
        }
    }

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }

private:
    int fd_;
};

// open(2) with no mode: a negative descriptor when it fails, errno set.
inline UniqueFd open_fd(const char *path, int flags) noexcept {
    return UniqueFd(::open(path, flags)); // NOLINT(cppcoreguidelines-pro-type-vararg)
}

class Mapping {
public:
    Mapping(void *addr, size_t length) noexcept : addr_(addr), length_(length) {}
    Mapping(const Mapping &) = delete;
    Mapping &operator=(const Mapping &) = delete;
    Mapping(Mapping &&) = delete;
    Mapping &operator=(Mapping &&) = delete;
    ~Mapping() {
        const ErrnoKeeper keep_errno;
        (void)unmap();
    }

    bool valid() const noexcept { return addr_ != MAP_FAILED; }
    // The 32-bit word at a byte offset that is a multiple of 4.
    const volatile uint32_t *word_at(size_t offset) const noexcept {
        return static_cast<const volatile uint32_t *>(addr_) + offset / sizeof(uint32_t);
    }
    // munmap's result; the mapping is released whatever it says.
    int unmap() noexcept {
        if (addr_ == MAP_FAILED) {
            return 0;
        }
        void *const addr = addr_;
        addr_ = MAP_FAILED;
        return ::munmap(addr, length_);
    }

private:
    void *addr_;
    size_t length_;
};

class Stream {
public:
    explicit Stream(FILE *file) noexcept : file_(file) {}
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
    Stream(Stream &&) = delete;
    Stream &operator=(Stream &&) = delete;
    ~Stream() {
        if (file_ != nullptr) {
            const ErrnoKeeper keep_errno;
            (void)::fclose(file_);
        }
    }
    FILE *get() const noexcept { return file_; }
    bool valid() const noexcept { return file_ != nullptr; }

private:
    FILE *file_;
};

// The calling thread's cancellation stays off for the owner's scope, then
// returns to what it was: no cancellation point can end the thread while it
// holds one of the library's locks, which would leave the lock held for good.
class CancellationOff {
public:
    CancellationOff() noexcept { (void)::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_); }
    CancellationOff(const CancellationOff &) = delete;
    CancellationOff &operator=(const CancellationOff &) = delete;
    CancellationOff(CancellationOff &&) = delete;
    CancellationOff &operator=(CancellationOff &&) = delete;
    ~CancellationOff() {
        int ignored = 0;
        (void)::pthread_setcancelstate(previous_, &ignored);
    }

private:
    int previous_ = PTHREAD_CANCEL_ENABLE;
};

// Holds a pthread mutex for its scope, with cancellation off while it does;
// no C++ runtime needed.
class MutexLock {
public:
    explicit MutexLock(pthread_mutex_t &mutex) noexcept : mutex_(mutex) { (void)::pthread_mutex_lock(&mutex_); }
    MutexLock(const MutexLock &) = delete;
    MutexLock &operator=(const MutexLock &) = delete;
    MutexLock(MutexLock &&) = delete;
    MutexLock &operator=(MutexLock &&) = delete;
    ~MutexLock() { (void)::pthread_mutex_unlock(&mutex_); }

private:
    CancellationOff cancellation_; // constructed before the lock, restored after the unlock
    pthread_mutex_t &mutex_;
};

} // namespace
} // namespace sysutils

#endif // SYSUTILS_COMMON_OWNERS_H
