/* SPDX-License-Identifier: MIT */
/* The public headers compile as C99 and declare everything with C linkage. */
#include "android_log.h"
#include "qor_log.h"
#include "su_base.h"

int sysutils_headers_in_c(void);
int sysutils_headers_in_c(void) {
    SUTime t = {0, 0, 0, 1, 1, 1970};
    uint32_t raw = 0;
    int (*get_id)(char *) = SU_Base_GetDevID;
    (void)get_id;
    return SU_Base_SUTime2Raw(&t, &raw) + QOR_LOG_TO_LOGCAT + LOG_ID_MAIN;
}
