/* SPDX-License-Identifier: MIT */
// The benchmark and the fuzz targets write to the kernel log as fast as they
// can: they run only where "/dev/log_main" is the null device, as
// tests/support/private_dev.sh --null-log makes it in a /dev of their own.
#ifndef SYSUTILS_TESTS_NULL_LOG_DEVICE_H
#define SYSUTILS_TESTS_NULL_LOG_DEVICE_H

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>

namespace fake {

inline bool kernel_log_is_null_device() {
    struct stat device {};
    if (stat("/dev/log_main", &device) == 0 && S_ISCHR(device.st_mode) && device.st_rdev == makedev(1, 3)) {
        return true;
    }
    (void)std::fputs("/dev/log_main is not the null device: run under tests/support/private_dev.sh --null-log\n",
                     stderr);
    return false;
}

} // namespace fake

#endif // SYSUTILS_TESTS_NULL_LOG_DEVICE_H
