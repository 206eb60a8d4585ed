// SPDX-License-Identifier: MIT
// Uses the installed library from C++: calls that touch no device.
#include <cstdio>
#include <cstring>

#include "android_log.h"
#include "qor_log.h"
#include "su_base.h"

int main() {
    char version[16] = "";
    SUTime time{0, 0, 0, 1, 1, 1970};
    uint32_t raw = 1;
    if (SU_Base_SUTime2Raw(&time, &raw) != 0 || raw != 0) {
        std::fputs("SUTime2Raw\n", stderr);
        return 1;
    }
    if (SU_Base_GetVersion(version) != 0 || std::strcmp(version, EXPECTED_VERSION) != 0) {
        std::fprintf(stderr, "version %s\n", version);
        return 1;
    }
    // Only tests the kernel log device for writing; 0 or 1 both do here.
    const int available = __android_log_dev_available();
    if (available != 0 && available != 1) {
        return 1;
    }
    qor_log_format_info("logged from %s\n", CONSUMER);
    qor_log_print_buf();
    std::fflush(stdout);
    std::printf("version: %s\n", version);
    return 0;
}
