/* SPDX-License-Identifier: MIT */
// Shared pieces of the fuzz targets: a sequential reader of the fuzzer's
// bytes, and the scratch places the log targets write to.
#ifndef SYSUTILS_FUZZ_FUZZ_SUPPORT_H
#define SYSUTILS_FUZZ_FUZZ_SUPPORT_H

#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "null_log_device.h"

namespace fuzz {

// Reads the input front to back; past its end every value is zero, so any
// input, even an empty one, drives the target.
class Reader {
public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    [[nodiscard]] bool empty() const { return at_ >= size_; }

    uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }

    // -128 to 127, for priorities, levels and log ids around their ranges.
    int small_int() { return static_cast<int>(u8()) - 128; }

    template <typename T> T integral() {
        T value{};
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char &byte : bytes) {
            byte = u8();
        }
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // A length byte (a second one when the first is 255, for long texts),
    // then that many bytes; may hold NULs.
    std::string text() {
        size_t length = u8();
        if (length == 255) {
            length += size_t{u8()} * 16;
        }
        length = length < size_ - at_ ? length : size_ - at_;
        std::string result(reinterpret_cast<const char *>(data_ + at_), length);
        at_ += length;
        return result;
    }

    // The rest of the input, bounded.
    std::string rest(size_t most) {
        const size_t length = size_ - at_ < most ? size_ - at_ : most;
        std::string result(reinterpret_cast<const char *>(data_ + at_), length);
        at_ += length;
        return result;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

// Aborts unless the kernel log is the null device (tests/support/private_dev.sh).
inline void require_null_log_device() {
    if (!fake::kernel_log_is_null_device()) {
        abort();
    }
}

// Standard output goes nowhere: the log facility prints there.
inline void silence_stdout() {
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) {
        perror("fuzz: /dev/null");
        abort();
    }
    (void)close(null_fd);
}

namespace detail {
inline std::string &scratch_dir() {
    static std::string dir;
    return dir;
}
inline int remove_entry(const char *path, const struct stat * /*info*/, int /*type*/, struct FTW * /*ftw*/) {
    return remove(path);
}
inline void remove_scratch() {
    (void)nftw(scratch_dir().c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
}
} // namespace detail

// A directory of this process under $TMPDIR (else /tmp), removed at exit.
inline const std::string &scratch_dir() {
    std::string &dir = detail::scratch_dir();
    if (dir.empty()) {
        const char *tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/sysutils-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            perror("fuzz: scratch directory");
            abort();
        }
        dir = pattern;
        (void)atexit(detail::remove_scratch);
    }
    return dir;
}

// Empties every file of the scratch directory: the log file stream stays
// open in append mode, so its file only ever grows otherwise.
inline void empty_scratch_files() {
    (void)nftw(
        scratch_dir().c_str(),
        [](const char *path, const struct stat *info, int type, struct FTW * /*ftw*/) {
            if (type == FTW_F && info->st_size > 0) {
                (void)truncate(path, 0);
            }
            return 0;
        },
        8, FTW_PHYS);
}

} // namespace fuzz

#endif // SYSUTILS_FUZZ_FUZZ_SUPPORT_H
