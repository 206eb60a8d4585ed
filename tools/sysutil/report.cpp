// SPDX-License-Identifier: MIT
#include "report.h"

#include <cerrno>
#include <cstring>

namespace sysutils {
namespace {

// The length of the well-formed UTF-8 sequence that starts the text, or 0:
// no overlong form, surrogate or code point past U+10FFFF.
std::size_t utf8_length(const unsigned char *text, std::size_t size) {
    const unsigned char first = text[0];
    if (first < 0x80) {
        return 1;
    }
    std::size_t length = 4;
    unsigned char low = 0x80; // range of the second byte
    unsigned char high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        low = first == 0xE0 ? 0xA0 : low;
        high = first == 0xED ? 0x9F : high;
    } else if (first >= 0xF0 && first <= 0xF4) {
        low = first == 0xF0 ? 0x90 : low;
        high = first == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (size < length || text[1] < low || text[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// Whatever the bytes, the output stays one valid line: in a JSON string,
// quotes, backslashes and control characters become JSON escapes and bytes
// that are not UTF-8 become U+FFFD; as text, control characters but the tab
// and bytes that are not UTF-8 become \xNN.
void put_escaped(std::FILE *out, const char *text, std::size_t size, bool json) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = utf8_length(bytes + at, size - at);
        if (length == 0) {
            if (json) {
                (void)std::fputs("\\ufffd", out);
            } else {
                (void)std::fprintf(out, "\\x%02x", static_cast<unsigned>(bytes[at]));
            }
            ++at;
            continue;
        }
        // C0, DEL and C1 (U+0080 to U+009F, two bytes from 0xC2).
        const unsigned code = length == 2 && bytes[at] == 0xC2 ? bytes[at + 1] : bytes[at];
        const bool control = length == 1 ? code < 0x20 || code == 0x7F : length == 2 && code < 0xA0;
        if (json && control) {
            (void)std::fprintf(out, "\\u%04x", code);
        } else if (json && (code == '"' || code == '\\')) {
            (void)std::fprintf(out, "\\%c", static_cast<char>(code));
        } else if (!json && control && code != '\t') {
            for (std::size_t i = at; i < at + length; ++i) {
                (void)std::fprintf(out, "\\x%02x", static_cast<unsigned>(bytes[i]));
            }
        } else {
            (void)std::fwrite(bytes + at, 1, length, out);
        }
        at += length;
    }
}

} // namespace

void put_text(std::FILE *out, const char *text, std::size_t size) {
    put_escaped(out, text, size, false);
}

void Report::text(const char *key, const char *value) {
    text(key, value, std::strlen(value));
}

void Report::text(const char *key, const char *value, std::size_t size) {
    begin_field(key);
    if (json_) {
        put_json_string(value, size);
    } else {
        put_text(out_, value, size);
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
    put_escaped(out_, value, size, true);
    (void)std::fputc('"', out_);
}

bool flush_output(std::FILE *out, std::FILE *err) {
    if (std::fflush(out) == 0 && std::ferror(out) == 0) {
        return true;
    }
    (void)std::fprintf(err, "sysutil: write error: %s\n", std::strerror(errno));
    return false;
}

} // namespace sysutils
