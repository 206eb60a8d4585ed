// SPDX-License-Identifier: MIT
// The module's log records of the call a command is making, kept so that a
// failing command can say why on standard error. The records still reach the
// kernel log: the logger installed here passes each one on to it.
#ifndef SYSUTILS_TOOLS_COMMAND_RECORDS_H
#define SYSUTILS_TOOLS_COMMAND_RECORDS_H

#include <stddef.h>
#include <stdio.h>

namespace sysutils {

// Installs the keeping logger, which keeps the records in the caller's
// storage (each without its trailing newline, until the storage is full:
// later records are dropped) and forgets those kept so far.
void keep_records(char *storage, size_t size);
// Restores the default logger; the records kept stay printable.
void stop_keeping_records();

// Prints each record kept since keep_records(), oldest first, as "PREFIX: record"
// on a line of its own.
void print_records(FILE *stream, const char *prefix);

} // namespace sysutils

#endif // SYSUTILS_TOOLS_COMMAND_RECORDS_H
