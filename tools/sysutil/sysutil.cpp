#include "sysutil.h"

#include <array>

namespace sysutil {
namespace {

constexpr const char *kUsage =
    "Usage: sysutil [--json] COMMAND [ARGUMENTS]\n"
    "\n"
    "Queries and operations of the sysutils base module, for bringing up a board.\n"
    "\n"
    "Identity:\n"
    "  id                       chip identifier, 24 hex digits (reads /dev/mem)\n"
    "  model                    CPU model, from the first line of /proc/cpuinfo\n"
    "  version                  module version\n"
    "Real-time clock (/dev/rtc0):\n"
    "  time get                 read the clock\n"
    "  time set TIME            set the clock\n"
    "  alarm get                read the stored wake-up alarm\n"
    "  alarm set TIME           store the wake-up alarm (does not enable it)\n"
    "  alarm enable             enable the alarm interrupt; refused unless the\n"
    "                           stored alarm lies after the clock's time\n"
    "  alarm disable            disable the alarm interrupt\n"
    "  alarm wait --timeout MS  wait up to MS milliseconds for a clock event\n"
    "Calendar:\n"
    "  raw2time SECONDS         seconds since 1970-01-01 00:00:00 to TIME\n"
    "  time2raw TIME            TIME to seconds since 1970-01-01 00:00:00\n"
    "Power (each needs --yes):\n"
    "  suspend --yes            suspend to RAM; returns after the resume\n"
    "  poweroff --yes           ask init (process 1) to power the device off\n"
    "  reboot --yes             ask init (process 1) to reboot the device\n"
    "\n"
    "TIME is YYYY-MM-DDTHH:MM:SS (a blank may replace the T), on the clock's own\n"
    "time scale with no time zone. Fields are not range-checked: the module and\n"
    "the clock's driver get them as given. SECONDS is 0 to 4294967295.\n"
    "\n"
    "Options:\n"
    "  --json                   print one JSON object instead of key: value lines\n"
    "  --yes                    confirm suspend, poweroff or reboot\n"
    "  --timeout MS             milliseconds to wait, 0 to 4294967295 (alarm wait)\n"
    "  -h, --help               print this text\n"
    "\n"
    "Exit status: 0 on success; 1 when the module reports a failure (its error\n"
    "records go to the kernel log, tag \"base\"); 2 for a bad command line or a\n"
    "power command without --yes.\n";

// The command line, split into options and up to three words.
struct CommandLine {
    bool json = false;
    bool yes = false;
    bool help = false;
    bool has_timeout = false;
    uint32_t timeout_ms = 0;
    std::array<std::string_view, 3> words{};
    std::size_t word_count = 0;
};

// One result printed either way: key: value lines, or one JSON object.
class Report {
public:
    Report(std::FILE *out, bool json) : out_(out), json_(json) {}

    void text(const char *key, std::string_view value) {
        begin_field(key);
        if (json_) {
            put_json_string(value);
        } else {
            (void)std::fwrite(value.data(), 1, value.size(), out_);
        }
        end_field();
    }

    void number(const char *key, uint32_t value) {
        begin_field(key);
        (void)std::fprintf(out_, "%lu", static_cast<unsigned long>(value));
        end_field();
    }

    void finish() {
        if (json_) {
            (void)std::fputs(fields_ == 0 ? "{}\n" : "}\n", out_);
        }
    }

private:
    void begin_field(const char *key) {
        if (json_) {
            (void)std::fputs(fields_ == 0 ? "{" : ", ", out_);
            put_json_string(key);
            (void)std::fputs(": ", out_);
        } else {
            (void)std::fprintf(out_, "%s: ", key);
        }
        ++fields_;
    }

    void end_field() {
        if (!json_) {
            (void)std::fputc('\n', out_);
        }
    }

    void put_json_string(std::string_view value) {
        (void)std::fputc('"', out_);
        for (const char c : value) {
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

    std::FILE *out_;
    bool json_;
    int fields_ = 0;
};

struct Context {
    const CommandLine &line;
    std::FILE *out;
    std::FILE *err;
};

int usage_error(std::FILE *err, const char *what, std::string_view detail = "") {
    (void)std::fprintf(err, "sysutil: %s%.*s\nTry 'sysutil --help'.\n", what,
                       static_cast<int>(detail.size()), detail.data());
    return kExitUsage;
}

// The module logs the cause itself; the command names the call that failed.
int module_failure(std::FILE *err, const char *command, const char *call, int result,
                   const char *detail = "") {
    (void)std::fprintf(err,
                       "sysutil: %s: %s() failed (%d)%s; the module's error records are in "
                       "the kernel log, tag \"base\"\n",
                       command, call, result, detail);
    return kExitFailure;
}

int print_time(const Context &ctx, const char *key, const SUTime &time) {
    char text[kTimeTextSize];
    format_time(time, text);
    Report report(ctx.out, ctx.line.json);
    report.text(key, text);
    report.finish();
    return kExitOk;
}

int print_text(const Context &ctx, const char *key, std::string_view value) {
    Report report(ctx.out, ctx.line.json);
    report.text(key, value);
    report.finish();
    return kExitOk;
}

bool time_argument(const Context &ctx, SUTime &time) {
    if (!parse_time(ctx.line.words[ctx.line.word_count - 1], time)) {
        (void)usage_error(ctx.err, "not a time in the form YYYY-MM-DDTHH:MM:SS: ",
                          ctx.line.words[ctx.line.word_count - 1]);
        return false;
    }
    return true;
}

int cmd_id(const Context &ctx) {
    char id[64] = {};
    if (const int rc = SU_Base_GetDevID(id); rc != 0) {
        char detail[96];
        (void)std::snprintf(detail, sizeof detail, ", read before the failure: \"%s\"", id);
        return module_failure(ctx.err, "id", "SU_Base_GetDevID", rc, detail);
    }
    return print_text(ctx, "chip_id", id);
}

int cmd_model(const Context &ctx) {
    char model[128] = {};
    if (const int rc = SU_Base_GetModelNumber(model); rc != 0) {
        return module_failure(ctx.err, "model", "SU_Base_GetModelNumber", rc);
    }
    return print_text(ctx, "model", model);
}

int cmd_version(const Context &ctx) {
    char version[32] = {};
    if (const int rc = SU_Base_GetVersion(version); rc != 0) {
        return module_failure(ctx.err, "version", "SU_Base_GetVersion", rc);
    }
    return print_text(ctx, "version", version);
}

int cmd_time_get(const Context &ctx) {
    SUTime now{};
    if (const int rc = SU_Base_GetTime(&now); rc < 0) {
        return module_failure(ctx.err, "time get", "SU_Base_GetTime", rc);
    }
    return print_time(ctx, "time", now);
}

int cmd_time_set(const Context &ctx) {
    SUTime time{};
    if (!time_argument(ctx, time)) {
        return kExitUsage;
    }
    if (const int rc = SU_Base_SetTime(&time); rc != 0) {
        return module_failure(ctx.err, "time set", "SU_Base_SetTime", rc);
    }
    return print_time(ctx, "time", time);
}

int cmd_alarm_get(const Context &ctx) {
    SUTime alarm{};
    if (const int rc = SU_Base_GetAlarm(&alarm); rc != 0) {
        return module_failure(ctx.err, "alarm get", "SU_Base_GetAlarm", rc);
    }
    return print_time(ctx, "alarm", alarm);
}

int cmd_alarm_set(const Context &ctx) {
    SUTime alarm{};
    if (!time_argument(ctx, alarm)) {
        return kExitUsage;
    }
    if (const int rc = SU_Base_SetAlarm(&alarm); rc != 0) {
        return module_failure(ctx.err, "alarm set", "SU_Base_SetAlarm", rc);
    }
    return print_time(ctx, "alarm", alarm);
}

int cmd_alarm_enable(const Context &ctx) {
    if (const int rc = SU_Base_EnableAlarm(); rc != 0) {
        return module_failure(ctx.err, "alarm enable", "SU_Base_EnableAlarm", rc,
                              " (refused when the stored alarm is not after the clock's time)");
    }
    return print_text(ctx, "alarm_irq", "on");
}

int cmd_alarm_disable(const Context &ctx) {
    if (const int rc = SU_Base_DisableAlarm(); rc != 0) {
        return module_failure(ctx.err, "alarm disable", "SU_Base_DisableAlarm", rc);
    }
    return print_text(ctx, "alarm_irq", "off");
}

int cmd_alarm_wait(const Context &ctx) {
    if (!ctx.line.has_timeout) {
        return usage_error(ctx.err, "alarm wait needs --timeout MS");
    }
    if (const int rc = SU_Base_PollingAlarm(ctx.line.timeout_ms); rc != 0) {
        return module_failure(ctx.err, "alarm wait", "SU_Base_PollingAlarm", rc,
                              " (no clock event within the time-out, or the wait failed)");
    }
    return print_text(ctx, "alarm_event", "ready");
}

int cmd_raw2time(const Context &ctx) {
    uint32_t raw = 0;
    if (!parse_u32(ctx.line.words[1], raw)) {
        return usage_error(ctx.err, "not a number of seconds from 0 to 4294967295: ",
                           ctx.line.words[1]);
    }
    SUTime time{};
    if (const int rc = SU_Base_Raw2SUTime(&raw, &time); rc != 0) {
        return module_failure(ctx.err, "raw2time", "SU_Base_Raw2SUTime", rc);
    }
    return print_time(ctx, "time", time);
}

int cmd_time2raw(const Context &ctx) {
    SUTime time{};
    if (!time_argument(ctx, time)) {
        return kExitUsage;
    }
    uint32_t raw = 0;
    if (const int rc = SU_Base_SUTime2Raw(&time, &raw); rc != 0) {
        return module_failure(ctx.err, "time2raw", "SU_Base_SUTime2Raw", rc);
    }
    Report report(ctx.out, ctx.line.json);
    report.number("raw", raw);
    report.finish();
    return kExitOk;
}

int cmd_suspend(const Context &ctx) {
    if (const int rc = SU_Base_Suspend(); rc != 0) {
        return module_failure(ctx.err, "suspend", "SU_Base_Suspend", rc);
    }
    return print_text(ctx, "suspend", "resumed");
}

// Shutdown and Reboot report no failure: they return once init is signalled.
int cmd_poweroff(const Context &ctx) {
    (void)SU_Base_Shutdown();
    return print_text(ctx, "poweroff", "requested");
}

int cmd_reboot(const Context &ctx) {
    (void)SU_Base_Reboot();
    return print_text(ctx, "reboot", "requested");
}

enum Needs : unsigned { kNothing = 0, kYes = 1, kTimeout = 2 };

struct Command {
    std::string_view name;
    std::string_view verb; // empty for one-word commands
    std::size_t arguments; // words after the name and verb
    unsigned needs;        // options the command takes
    int (*handler)(const Context &);
};

constexpr std::array kCommands{
    Command{"id", "", 0, kNothing, cmd_id},
    Command{"model", "", 0, kNothing, cmd_model},
    Command{"version", "", 0, kNothing, cmd_version},
    Command{"time", "get", 0, kNothing, cmd_time_get},
    Command{"time", "set", 1, kNothing, cmd_time_set},
    Command{"alarm", "get", 0, kNothing, cmd_alarm_get},
    Command{"alarm", "set", 1, kNothing, cmd_alarm_set},
    Command{"alarm", "enable", 0, kNothing, cmd_alarm_enable},
    Command{"alarm", "disable", 0, kNothing, cmd_alarm_disable},
    Command{"alarm", "wait", 0, kTimeout, cmd_alarm_wait},
    Command{"raw2time", "", 1, kNothing, cmd_raw2time},
    Command{"time2raw", "", 1, kNothing, cmd_time2raw},
    Command{"suspend", "", 0, kYes, cmd_suspend},
    Command{"poweroff", "", 0, kYes, cmd_poweroff},
    Command{"reboot", "", 0, kYes, cmd_reboot},
};

// Unoptimised, string_view::starts_with keeps its out_of_range check, which
// would make the command need the C++ runtime library.
bool has_prefix(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::string_view(text.data(), prefix.size()) == prefix;
}

// Splits argv into options and words; prints the complaint and returns
// false on a malformed line.
bool parse_line(int argc, const char *const *argv, CommandLine &line, std::FILE *err) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--json") {
            line.json = true;
        } else if (arg == "--yes") {
            line.yes = true;
        } else if (arg == "-h" || arg == "--help") {
            line.help = true;
        } else if (arg == "--timeout" || has_prefix(arg, "--timeout=")) {
            std::string_view value = arg;
            if (arg == "--timeout") {
                if (i + 1 == argc) {
                    (void)usage_error(err, "--timeout needs a number of milliseconds");
                    return false;
                }
                value = argv[++i];
            } else {
                value.remove_prefix(sizeof "--timeout=" - 1);
            }
            if (!parse_u32(value, line.timeout_ms)) {
                (void)usage_error(err, "not a number of milliseconds from 0 to 4294967295: ",
                                  value);
                return false;
            }
            line.has_timeout = true;
        } else if (arg.size() > 1 && arg.front() == '-') {
            (void)usage_error(err, "unknown option ", arg);
            return false;
        } else if (line.word_count == line.words.size()) {
            (void)usage_error(err, "too many arguments at ", arg);
            return false;
        } else {
            line.words[line.word_count++] = arg;
        }
    }
    return true;
}

const Command *find_command(const CommandLine &line, std::FILE *err) {
    const std::string_view name = line.words[0];
    const std::string_view verb = line.word_count > 1 ? line.words[1] : std::string_view{};
    bool name_known = false;
    for (const Command &command : kCommands) {
        if (command.name != name) {
            continue;
        }
        name_known = true;
        if (!command.verb.empty() && command.verb != verb) {
            continue;
        }
        const std::size_t words = 1 + (command.verb.empty() ? 0 : 1) + command.arguments;
        if (line.word_count != words) {
            (void)usage_error(err, line.word_count < words ? "missing argument for "
                                                           : "too many arguments for ",
                              name);
            return nullptr;
        }
        return &command;
    }
    if (name_known) {
        (void)usage_error(err, "unknown or missing action for ", name);
    } else {
        (void)usage_error(err, "unknown command ", name);
    }
    return nullptr;
}

// Two-digit, four-digit fields of the time text.
bool digits(std::string_view text, std::size_t at, std::size_t count, int32_t &value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

bool parse_time(std::string_view text, SUTime &time) {
    constexpr std::string_view kShape = "YYYY-MM-DDTHH:MM:SS";
    if (text.size() != kShape.size() || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':') {
        return false;
    }
    SUTime parsed{};
    if (!digits(text, 0, 4, parsed.year) || !digits(text, 5, 2, parsed.mon) ||
        !digits(text, 8, 2, parsed.mday) || !digits(text, 11, 2, parsed.hour) ||
        !digits(text, 14, 2, parsed.min) || !digits(text, 17, 2, parsed.sec)) {
        return false;
    }
    time = parsed;
    return true;
}

void format_time(const SUTime &time, char (&out)[kTimeTextSize]) {
    (void)std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d",
                        static_cast<int>(time.year), static_cast<int>(time.mon),
                        static_cast<int>(time.mday), static_cast<int>(time.hour),
                        static_cast<int>(time.min), static_cast<int>(time.sec));
}

bool parse_u32(std::string_view text, uint32_t &value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    uint64_t parsed = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        parsed = parsed * 10 + static_cast<uint64_t>(c - '0');
    }
    if (parsed > UINT32_MAX) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

int run(int argc, const char *const *argv, std::FILE *out, std::FILE *err) {
    CommandLine line;
    if (!parse_line(argc, argv, line, err)) {
        return kExitUsage;
    }
    if (line.help) {
        (void)std::fputs(kUsage, out);
        return kExitOk;
    }
    if (line.word_count == 0) {
        return usage_error(err, "no command given");
    }
    const Command *command = find_command(line, err);
    if (command == nullptr) {
        return kExitUsage;
    }
    if (line.has_timeout && (command->needs & kTimeout) == 0) {
        return usage_error(err, "--timeout is only for alarm wait");
    }
    if (line.yes && (command->needs & kYes) == 0) {
        return usage_error(err, "--yes is only for suspend, poweroff and reboot");
    }
    if ((command->needs & kYes) != 0 && !line.yes) {
        (void)std::fprintf(err,
                           "sysutil: %.*s stops this device; refused without --yes\n",
                           static_cast<int>(command->name.size()), command->name.data());
        return kExitUsage;
    }
    const Context ctx{line, out, err};
    const int status = command->handler(ctx);
    (void)std::fflush(out);
    return status;
}

} // namespace sysutil
