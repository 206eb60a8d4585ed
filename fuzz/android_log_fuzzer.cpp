// SPDX-License-Identifier: MIT
// Fuzzes the kernel log writer: tags (null and radio ones included),
// messages, priorities, log ids and event payloads. Each write's result must
// be the size of the entry it makes.
//
// Input: a sequence of operations, each an operation byte and its operands.
#include <stdarg.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "android_log.h"
#include "fuzz_support.h"

namespace {

constexpr size_t kMessageRoom = 1023; // formatted messages are cut to this

void expect(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

// The result of a write of an entry of `size` bytes.
void expect_written(int result, size_t size) {
    expect(result == static_cast<int>(size));
}

size_t text_entry_size(const char *tag, const char *msg) { return 1 + (tag != nullptr ? strlen(tag) : 0) + 1 + strlen(msg) + 1; }

// Drives the va_list entry point, which only a variadic function can.
int vprint(int prio, const char *tag, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
int vprint( // NOLINT(cert-dcl50-cpp)
int prio, const char *tag, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int result = __android_log_vprint(prio, tag, fmt, ap);
    va_end(ap);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/) {
    fuzz::require_null_log_device();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Reader in(data, size);
    while (!in.empty()) {
        const uint8_t op = in.u8();
        const int prio = in.small_int();
        const std::string tag_text = in.text();
        const char *tag = (op & 0x80) != 0 ? nullptr : tag_text.c_str();
        switch (op % 8) {
        case 0: {
            const std::string msg = in.text();
            expect_written(__android_log_write(prio, tag, msg.c_str()), text_entry_size(tag, msg.c_str()));
            break;
        }
        case 1: {
            const int log_id = in.small_int();
            const std::string msg = in.text();
            const int result = __android_log_buf_write(log_id, prio, tag, msg.c_str());
            // Outside 0 to 3 the id may be refused; a radio tag overrides it.
            if (log_id >= 0 && log_id < LOG_ID_MAX) {
                expect_written(result, text_entry_size(tag, msg.c_str()));
            }
            break;
        }
        case 2: {
            const std::string msg = in.text();
            const size_t cut = strnlen(msg.c_str(), kMessageRoom);
            expect_written(__android_log_print(prio, tag, "%s", msg.c_str()), text_entry_size(tag, "") + cut);
            break;
        }
        case 3: {
            const std::string msg = in.rest(in.integral<uint16_t>() % 1600);
            const size_t cut = strnlen(msg.c_str(), kMessageRoom);
            expect_written(vprint(prio, tag, "%s", msg.c_str()), text_entry_size(tag, "") + cut);
            break;
        }
        case 4: {
            const int log_id = in.small_int();
            const std::string msg = in.text();
            const int result = __android_log_buf_print(log_id, prio, tag, "%.*s", prio, msg.c_str());
            if (log_id >= 0 && log_id < LOG_ID_MAX) {
                const size_t cut = strnlen(msg.c_str(), prio < 0 ? kMessageRoom : static_cast<size_t>(prio));
                expect_written(result, text_entry_size(tag, "") + cut);
            }
            break;
        }
        case 5: {
            const auto event = in.integral<int32_t>();
            const std::string payload = in.text();
            expect_written(__android_log_bwrite(event, payload.data(), payload.size()), 4 + payload.size());
            break;
        }
        case 6: {
            const auto event = in.integral<int32_t>();
            const auto type = static_cast<char>(in.u8());
            const std::string payload = in.text();
            expect_written(__android_log_btwrite(event, type, payload.data(), payload.size()), 5 + payload.size());
            break;
        }
        default:
            expect(__android_log_dev_available() == 1);
            break;
        }
    }
    return 0;
}
