// SPDX-License-Identifier: MIT
// Error records of the base module: priority 6 to the kernel log with the tag
// "base", the module's source name, the line of the log call itself and the
// name of the function that logs, whatever file of the module it is compiled
// in.
#ifndef SYSUTILS_BASE_ERROR_RECORD_H
#define SYSUTILS_BASE_ERROR_RECORD_H

#include "android_log.h"
#include "qor_log.h"

#define SU_LOG_ERROR(...) SU_LOG_ERROR_AS(__func__, __VA_ARGS__)

// For helpers that log on behalf of the public function that called them:
// the record names that function, and carries the helper's own line.
#define SU_LOG_ERROR_AS(function, ...)                                                             \
    qor_log_fun(ANDROID_LOG_ERROR, QOR_Log_Get_Option(), QOR_LOG_TO_LOGCAT, "base",                \
                "sysutils/base/base", __LINE__, function, __VA_ARGS__)

#endif // SYSUTILS_BASE_ERROR_RECORD_H
