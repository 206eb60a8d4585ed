// SPDX-License-Identifier: MIT
#include "report.h"

#include <cerrno>
#include <cstring>

namespace sysutil {

void Report::text(const char *key, const char *value) {
    text(key, value, std::strlen(value));
}

void Report::text(const char *key, const char *value, std::size_t size) {
    begin_field(key);
    if (json_) {
        put_json_string(value, size);
    } else {
        (void)std::fwrite(value, 1, size, out_);
    }
    end_field();
}

void Report::number(const char *key, long long value) {
    begin_field(key);
    (void)std::fprintf(out_, "%lld", value);
    end_field();
}

void Report::finish() {
    if (json_) {
        (void)std::fputs(fields_ == 0 ? "{}\n" : "}\n", out_);
    }
}

void Report::begin_field(const char *key) {
    if (json_) {
        (void)std::fputs(fields_ == 0 ? "{" : ", ", out_);
        put_json_string(key, std::strlen(key));
        (void)std::fputs(": ", out_);
    } else {
        (void)std::fprintf(out_, "%s: ", key);
    }
    ++fields_;
}

void Report::end_field() {
    if (!json_) {
        (void)std::fputc('\n', out_);
    }
}

void Report::put_json_string(const char *value, std::size_t size) {
    (void)std::fputc('"', out_);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = value[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            (void)std::fprintf(out_, "\\%c", c);
        } else if (byte < 0x20) {
            (void)std::fprintf(out_, "\\u%04x", static_cast<unsigned>(byte));
        } else {
            (void)std::fputc(c, out_);
        }
    }
    (void)std::fputc('"', out_);
}

bool flush_output(std::FILE *out, std::FILE *err) {
    if (std::fflush(out) == 0 && std::ferror(out) == 0) {
        return true;
    }
    (void)std::fprintf(err, "sysutil: write error: %s\n", std::strerror(errno));
    return false;
}

} // namespace sysutil
