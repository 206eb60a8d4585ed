/* SPDX-License-Identifier: MIT */
// sysutil: every query and operation of the base module from the shell, for
// engineers bringing up a board. One subcommand per call; results on standard
// output as "key: value" lines or one JSON object, failures on standard error.
#ifndef SYSUTILS_TOOLS_SYSUTIL_H
#define SYSUTILS_TOOLS_SYSUTIL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "su_base.h"

namespace sysutils {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // the module reported a failure, or output failed
constexpr int kExitUsage = 2;   // bad command line, or power command without --yes

// "YYYY-MM-DDTHH:MM:SS", a blank allowed for the 'T'. Widths are fixed, the
// values are not range-checked: the module takes any record as it is.
bool parse_time(const char *text, SUTime &time);

// The same form; out needs kTimeTextSize bytes for any record.
constexpr std::size_t kTimeTextSize = 80;
void format_time(const SUTime &time, char (&out)[kTimeTextSize]);

// Decimal digits only, 0 to 4294967295.
bool parse_u32(const char *text, uint32_t &value);

// Runs one command line (argv[0] is the program name) and returns the exit
// status.
int run_sysutil(int argc, const char *const *argv, std::FILE *out, std::FILE *err);

} // namespace sysutils

#endif // SYSUTILS_TOOLS_SYSUTIL_H
