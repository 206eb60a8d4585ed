/* SPDX-License-Identifier: MIT */
// Calendar records as "YYYY-MM-DD hh:mm:ss", for readable test expectations.
#ifndef SYSUTILS_TESTS_SUTIME_TEXT_H
#define SYSUTILS_TESTS_SUTIME_TEXT_H

#include <cstdio>
#include <string>

#include "su_base.h"

namespace fake {

inline std::string text(const SUTime &t) {
    char buffer[96];
    if (std::snprintf(buffer, sizeof buffer, "%d-%02d-%02d %02d:%02d:%02d", t.year, t.mon, t.mday, t.hour,
                      t.min, t.sec) < 0) {
        return "?";
    }
    return buffer;
}

} // namespace fake

#endif // SYSUTILS_TESTS_SUTIME_TEXT_H
