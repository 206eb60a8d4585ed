// SPDX-License-Identifier: MIT
// sysutil log: prints the entries of the kernel logger device, or of a file
// of entries as the device returns them, one line each in the layout of
// logcat's threadtime format.
#ifndef SYSUTILS_TOOLS_SYSUTIL_LOG_READER_H
#define SYSUTILS_TOOLS_SYSUTIL_LOG_READER_H

#include <cstdio>

namespace sysutils {

struct LogOptions {
    const char *path;      // the device, or the file given with --file
    bool follow;           // wait for new entries; a file is followed by name, as tail -F does
    const char *tag;       // only text entries of this tag; null for all
    bool json;             // one JSON object per entry
};

// Returns the exit status: 1 when the source could not be opened or read,
// ended in a truncated entry, or standard output failed.
int read_log(const LogOptions &options, std::FILE *out, std::FILE *err);

} // namespace sysutils

#endif // SYSUTILS_TOOLS_SYSUTIL_LOG_READER_H
