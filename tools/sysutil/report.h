// SPDX-License-Identifier: MIT
// Output of the sysutil commands: results as "key: value" lines or as one
// JSON object, and the check that standard output took them.
#ifndef SYSUTILS_TOOLS_SYSUTIL_REPORT_H
#define SYSUTILS_TOOLS_SYSUTIL_REPORT_H

#include <cstddef>
#include <cstdio>

namespace sysutils {

// One result printed either way: key: value lines, or one JSON object on one
// line; values of any bytes are escaped (put_text, or valid UTF-8 JSON with
// U+FFFD for bytes that are not UTF-8).
class Report {
public:
    Report(std::FILE *out, bool json) : out_(out), json_(json) {}

    void text(const char *key, const char *value);
    void text(const char *key, const char *value, std::size_t size);
    void number(const char *key, long long value);
    void finish();

private:
    void begin_field(const char *key);
    void end_field();
    void put_json_string(const char *value, std::size_t size);

    std::FILE *out_;
    bool json_;
    int fields_ = 0;
};

// Writes text with control characters but the tab, and bytes that are not
// UTF-8, as \xNN escapes: whatever it holds, it cannot break the line or
// reach the terminal as a control sequence.
void put_text(std::FILE *out, const char *text, std::size_t size);

// Flushes out; when the output failed now or before, says so on err
// ("sysutil: write error: ...") and returns false.
bool flush_output(std::FILE *out, std::FILE *err);

} // namespace sysutils

#endif // SYSUTILS_TOOLS_SYSUTIL_REPORT_H
