// SPDX-License-Identifier: MIT
#include "command_records.h"

#include <string.h>

#include "android_log.h"
#include "owners.h"

namespace {

// The records, one after the other, each ending in a NUL.
char *kept = nullptr;
size_t kept_size = 0;
size_t kept_used = 0;

void keeping_logger(const struct __android_log_message *log_message) {
    // The caller reads errno after the failed call: logging must not move it.
    const sysutils::ErrnoKeeper keep_errno;
    __android_log_kernel_logger(log_message);
    const char *const message = log_message->message != nullptr ? log_message->message : "";
    size_t length = strlen(message);
    if (length > 0 && message[length - 1] == '\n') {
        --length;
    }
    if (length < kept_size - kept_used) {
        memcpy(kept + kept_used, message, length);
        kept[kept_used + length] = '\0';
        kept_used += length + 1;
    } else {
        kept_size = kept_used; // full: no later, shorter record either
    }
}

} // namespace

namespace sysutils {

void keep_records(char *storage, size_t size) {
    kept = storage;
    kept_size = size;
    kept_used = 0;
    __android_log_set_logger(keeping_logger);
}

void stop_keeping_records() { __android_log_set_logger(nullptr); }

void print_records(FILE *stream, const char *prefix) {
    for (size_t at = 0; at < kept_used; at += strlen(kept + at) + 1) {
        (void)fprintf(stream, "%s: %s\n", prefix, kept + at);
    }
}

} // namespace sysutils
