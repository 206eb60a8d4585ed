/* SPDX-License-Identifier: MIT */
/* Uses the installed library from C: calls that touch no device. */
#include <stdio.h>
#include <string.h>

#include "qor_log.h"
#include "su_base.h"

int main(void) {
    char version[16] = "";
    const uint32_t raw = 2147483648u;
    uint32_t back = 0;
    SUTime time;

    if (SU_Base_Raw2SUTime(&raw, &time) != 0 || time.year != 2038 || time.mon != 1 ||
        time.mday != 19 || time.hour != 3 || time.min != 14 || time.sec != 8) {
        fputs("Raw2SUTime\n", stderr);
        return 1;
    }
    if (SU_Base_SUTime2Raw(&time, &back) != 0 || back != raw) {
        fputs("SUTime2Raw\n", stderr);
        return 1;
    }
    if (SU_Base_GetVersion(version) != 0 || strcmp(version, EXPECTED_VERSION) != 0) {
        fprintf(stderr, "version %s\n", version);
        return 1;
    }
    qor_log_fun(6, 0, QOR_LOG_TO_STDOUT, "consumer", __FILE__, __LINE__, __func__,
                "logged from %s\n", CONSUMER);
    fflush(stdout);
    printf("version: %s\n", version);
    return 0;
}
