/* SPDX-License-Identifier: MIT */
/* The parent's sysutil, through sysutils::log alone. */
#include "qor_log.h"

int main(void) {
    qor_log_fun(6, 0, QOR_LOG_TO_STDOUT, "parent", __FILE__, __LINE__, __func__, "parent's record\n");
    return 0;
}
