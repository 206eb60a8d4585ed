// Error records of the base module: priority 6 to the kernel log with the tag
// "base", the module's source name, the line of the call and the name of the
// function that logs, whatever file of the module it is compiled in.
#ifndef SYSUTILS_BASE_BASE_LOG_H
#define SYSUTILS_BASE_BASE_LOG_H

#include "android_log.h"
#include "qor_log.h"

#define SU_LOG_ERROR(...) SU_LOG_ERROR_AT(__func__, __LINE__, __VA_ARGS__)

// For helpers that log on behalf of the public function that called them.
#define SU_LOG_ERROR_AT(function, line, ...)                                                       \
    qor_log_fun(ANDROID_LOG_ERROR, QOR_Log_Get_Option(), QOR_LOG_TO_LOGCAT, "base",                \
                "sysutils/base/base", line, function, __VA_ARGS__)

#endif // SYSUTILS_BASE_BASE_LOG_H
