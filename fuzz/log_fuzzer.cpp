// SPDX-License-Identifier: MIT
// Fuzzes the module log facility: records of any text, length, option word,
// destination, level and prefix, log file names, and records built by hand
// from several pieces. The formats stay constant; the data varies.
//
// Input: a sequence of operations, each an operation byte and its operands.
#include <stdarg.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "qor_log.h"

namespace {

// The kernel log is the null device, standard output discarded, and
// the log file lies in this process's scratch directory.
std::string log_dir;
int runs = 0;

// Drives the va_list entry point, which only a variadic function can.
void log_vl(int prio, int option, int dest, const char *tag, const char *file, int line, const char *func,
            const char *fmt, ...) __attribute__((format(printf, 8, 9)));
void log_vl( // NOLINT(cert-dcl50-cpp)
int prio, int option, int dest, const char *tag, const char *file, int line, const char *func,
            const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    qor_log_fun_vl(prio, option, dest, tag, file, line, func, fmt, ap);
    va_end(ap);
}

// 0, 1, 2 and any other value.
int destination(fuzz::Reader &in) {
    const uint8_t pick = in.u8();
    return pick < 3 ? pick : pick == 3 ? in.integral<int>() : pick % 3;
}

// Keeps the name inside the scratch directory: no separator, no parent.
std::string file_name(fuzz::Reader &in) {
    std::string name = in.text();
    for (char &c : name) {
        if (c == '/' || c == '\0') {
            c = '_';
        }
    }
    if (name.empty() || name[0] == '.') {
        name.insert(0, "f");
    }
    // A missing directory makes the open fail.
    return log_dir + ((in.u8() & 1) != 0 ? "/missing/" : "/") + name;
}

void record(fuzz::Reader &in, bool variadic_list) {
    const int prio = in.small_int();
    const int option = in.integral<int>();
    const int dest = destination(in);
    const uint8_t nulls = in.u8();
    const std::string tag = in.text();
    const std::string file = in.text();
    const std::string func = in.text();
    const int line = in.integral<int>();
    const std::string text = in.text();
    // Any precision, the string's own length and beyond included.
    const int length = static_cast<int>(in.u8()) * 8 - 8;
    const char *tag_arg = (nulls & 1) != 0 ? nullptr : tag.c_str();
    if (variadic_list) {
        log_vl(prio, option, dest, tag_arg, file.c_str(), line, func.c_str(), "%.*s", length, text.c_str());
    } else {
        qor_log_fun(prio, option, dest, tag_arg, file.c_str(), line, func.c_str(), "%.*s", length, text.c_str());
    }
}

// Formatting calls, then one flush.
void record_by_hand(fuzz::Reader &in) {
    const int pieces = in.u8() % 8;
    for (int i = 0; i < pieces; ++i) {
        const uint8_t kind = in.u8() % 4;
        if (kind == 0) {
            qor_log_format_option(in.integral<int>());
        } else if (kind == 1) {
            const std::string text = in.text();
            qor_log_format_info("%s", text.c_str());
        } else if (kind == 2) {
            const std::string text = in.text();
            const int length = static_cast<int>(in.u8()) - 1;
            const int number = in.integral<int>();
            qor_log_format_info("%.*s[%d]", length, text.c_str(), number);
        } else {
            qor_log_format_info("%s", ""); // an empty piece
        }
    }
    switch (in.u8() % 3) {
    case 0: qor_log_print_buf(); break;
    case 1: qor_log_buf(); break;
    default: {
        const std::string tag = in.text();
        qor_log_to_logcat(in.small_int(), tag.c_str());
        break;
    }
    }
}

void set_log_file(fuzz::Reader &in) {
    const std::string before = qor_get_log_file();
    const std::string name = file_name(in);
    qor_set_log_file(name.c_str());
    // Names of 100 characters or more are refused.
    const std::string expected = name.size() < 100 ? name : before;
    if (expected != qor_get_log_file()) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/) {
    fuzz::require_null_log_device();
    fuzz::silence_stdout();
    log_dir = fuzz::scratch_dir();
    // Never the default relative name: it would land in the working directory.
    const std::string default_file = log_dir + "/tqor.log";
    qor_set_log_file(default_file.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Reader in(data, size);
    while (!in.empty()) {
        switch (in.u8() % 7) {
        case 0: record(in, false); break;
        case 1: record(in, true); break;
        case 2: record_by_hand(in); break;
        case 3: set_log_file(in); break;
        case 4: qor_set_log_level(in.small_int() % 10); break;
        case 5: {
            const int option = in.integral<int>();
            QOR_Log_Set_Option(option);
            if (QOR_Log_Get_Option() != option) {
                __builtin_trap();
            }
            break;
        }
        default: {
            // Long pieces straight into the buffer, to hit its edge.
            const int prio = in.u8();
            const int dest = destination(in);
            const int line = in.integral<int>();
            const std::string text = in.rest(in.integral<uint16_t>() % 1200);
            qor_log_fun(prio, QOR_LOG_OPT_FILE | QOR_LOG_OPT_LINE | QOR_LOG_OPT_FUNC, dest, "fuzz", text.c_str(),
                        line, text.c_str(), "%s", text.c_str());
            break;
        }
        }
    }
    if (++runs % 4096 == 0) {
        fuzz::empty_scratch_files();
    }
    return 0;
}
