// SPDX-License-Identifier: MIT
// The letter a reader of the kernel log shows for an Android log priority:
// V, D, I, W, E, F for 2 to 7, S for 8 (silent), '?' for anything else.
#ifndef SYSUTILS_COMMON_PRIORITY_LETTER_H
#define SYSUTILS_COMMON_PRIORITY_LETTER_H

namespace sysutils {
namespace {

constexpr char priority_letter(int priority) {
    return priority >= 2 && priority <= 8 ? "VDIWEFS"[priority - 2] : '?';
}

} // namespace
} // namespace sysutils

#endif // SYSUTILS_COMMON_PRIORITY_LETTER_H
