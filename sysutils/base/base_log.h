// Error records of the base module: priority 6 to the kernel log with the tag
// "base", the module's source name, the line of the call and the name of the
// function that logs, whatever file of the module it is compiled in.
#ifndef SYSUTILS_BASE_BASE_LOG_H
#define SYSUTILS_BASE_BASE_LOG_H

#include "android_log.h"
#include "qor_log.h"

#define SU_LOG_ERROR(...)                                                                          \
    qor_log_fun(ANDROID_LOG_ERROR, QOR_Log_Get_Option(), QOR_LOG_TO_LOGCAT, "base",                \
                "sysutils/base/base", __LINE__, __func__, __VA_ARGS__)

#endif // SYSUTILS_BASE_BASE_LOG_H
