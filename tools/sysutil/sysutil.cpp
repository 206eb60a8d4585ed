// SPDX-License-Identifier: MIT
#include "sysutil.h"

#include <cerrno>
#include <cstring>

#include "command_records.h"
#include "log_reader.h"
#include "report.h"

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
    "Kernel log:\n"
    "  log [--file PATH] [--follow] [--tag TAG]\n"
    "                           print the entries of /dev/log_main (or of PATH,\n"
    "                           a file of entries as the device returns them)\n"
    "\n"
    "TIME is YYYY-MM-DDTHH:MM:SS (a blank may replace the T), on the clock's own\n"
    "time scale with no time zone. Fields are not range-checked: the module and\n"
    "the clock's driver get them as given. SECONDS is 0 to 4294967295.\n"
    "\n"
    "Options:\n"
    "  --json                   print one JSON object instead of key: value lines\n"
    "                           (log: one object per entry)\n"
    "  --yes                    confirm suspend, poweroff or reboot\n"
    "  --timeout MS             milliseconds to wait, 0 to 4294967295 (alarm wait)\n"
    "  --file PATH              read the entries from PATH (log)\n"
    "  --follow                 wait for new entries (log)\n"
    "  --tag TAG                print only the text entries of tag TAG (log)\n"
    "  --version                print the command's version\n"
    "  -h, --help               print this text\n"
    "\n"
    "Exit status: 0 on success; 1 when the module reports a failure, which is\n"
    "explained on standard error by the module's error records and the failed\n"
    "call with the system's error text (the records also go to the kernel log,\n"
    "tag \"base\"), or when the output or the log could not be written or read;\n"
    "2 for a bad command line or a power command without --yes.\n";

constexpr const char *kLogDevice = "/dev/log_main";
constexpr std::size_t kMaxWords = 3;

// The command line, split into options and up to three words.
struct CommandLine {
    bool json = false;
    bool yes = false;
    bool help = false;
    bool version = false;
    bool has_timeout = false;
    uint32_t timeout_ms = 0;
    bool follow = false;
    const char *file = nullptr;
    const char *tag = nullptr;
    const char *words[kMaxWords] = {};
    std::size_t word_count = 0;
};

struct Context {
    const CommandLine &line;
    std::FILE *out;
    std::FILE *err;
};

bool same(const char *a, const char *b) {
    return std::strcmp(a, b) == 0;
}

int usage_error(std::FILE *err, const char *what, const char *detail = "") {
    (void)std::fprintf(err, "sysutil: %s%s\nTry 'sysutil --help'.\n", what, detail);
    return kExitUsage;
}

// Called straight after the failed module call, before anything can move
// errno: the module's records of the failure, then the call and the error
// of the system call that failed, if one did.
int module_failure(const Context &ctx, const char *command, const char *call) {
    const int error = errno;
    char prefix[64];
    (void)std::snprintf(prefix, sizeof prefix, "sysutil: %s", command);
    command_records::print(ctx.err, prefix);
    if (error != 0) {
        (void)std::fprintf(ctx.err, "%s: %s() failed: %s\n", prefix, call, std::strerror(error));
    } else {
        (void)std::fprintf(ctx.err, "%s: %s() failed\n", prefix, call);
    }
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

int print_text(const Context &ctx, const char *key, const char *value) {
    Report report(ctx.out, ctx.line.json);
    report.text(key, value);
    report.finish();
    return kExitOk;
}

const char *last_word(const Context &ctx) {
    return ctx.line.words[ctx.line.word_count - 1];
}

bool time_argument(const Context &ctx, SUTime &time) {
    if (!parse_time(last_word(ctx), time)) {
        (void)usage_error(ctx.err, "not a time in the form YYYY-MM-DDTHH:MM:SS: ", last_word(ctx));
        return false;
    }
    return true;
}

int cmd_id(const Context &ctx) {
    char id[64] = {};
    if (SU_Base_GetDevID(id) != 0) {
        const int status = module_failure(ctx, "id", "SU_Base_GetDevID");
        if (id[0] != '\0') {
            (void)std::fprintf(ctx.err, "sysutil: id: read before the failure: %s\n", id);
        }
        return status;
    }
    return print_text(ctx, "chip_id", id);
}

int cmd_model(const Context &ctx) {
    char model[128] = {};
    if (SU_Base_GetModelNumber(model) != 0) {
        return module_failure(ctx, "model", "SU_Base_GetModelNumber");
    }
    return print_text(ctx, "model", model);
}

int cmd_version(const Context &ctx) {
    char version[32] = {};
    if (SU_Base_GetVersion(version) != 0) {
        return module_failure(ctx, "version", "SU_Base_GetVersion");
    }
    return print_text(ctx, "version", version);
}

int cmd_time_get(const Context &ctx) {
    SUTime now{};
    if (SU_Base_GetTime(&now) < 0) {
        return module_failure(ctx, "time get", "SU_Base_GetTime");
    }
    return print_time(ctx, "time", now);
}

int cmd_time_set(const Context &ctx) {
    SUTime time{};
    if (!time_argument(ctx, time)) {
        return kExitUsage;
    }
    if (SU_Base_SetTime(&time) != 0) {
        return module_failure(ctx, "time set", "SU_Base_SetTime");
    }
    return print_time(ctx, "time", time);
}

int cmd_alarm_get(const Context &ctx) {
    SUTime alarm{};
    if (SU_Base_GetAlarm(&alarm) != 0) {
        return module_failure(ctx, "alarm get", "SU_Base_GetAlarm");
    }
    return print_time(ctx, "alarm", alarm);
}

int cmd_alarm_set(const Context &ctx) {
    SUTime alarm{};
    if (!time_argument(ctx, alarm)) {
        return kExitUsage;
    }
    if (SU_Base_SetAlarm(&alarm) != 0) {
        return module_failure(ctx, "alarm set", "SU_Base_SetAlarm");
    }
    return print_time(ctx, "alarm", alarm);
}

int cmd_alarm_enable(const Context &ctx) {
    if (SU_Base_EnableAlarm() != 0) {
        return module_failure(ctx, "alarm enable", "SU_Base_EnableAlarm");
    }
    return print_text(ctx, "alarm_irq", "on");
}

int cmd_alarm_disable(const Context &ctx) {
    if (SU_Base_DisableAlarm() != 0) {
        return module_failure(ctx, "alarm disable", "SU_Base_DisableAlarm");
    }
    return print_text(ctx, "alarm_irq", "off");
}

int cmd_alarm_wait(const Context &ctx) {
    if (!ctx.line.has_timeout) {
        return usage_error(ctx.err, "alarm wait needs --timeout MS");
    }
    if (SU_Base_PollingAlarm(ctx.line.timeout_ms) != 0) {
        return module_failure(ctx, "alarm wait", "SU_Base_PollingAlarm");
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
    if (SU_Base_Raw2SUTime(&raw, &time) != 0) {
        return module_failure(ctx, "raw2time", "SU_Base_Raw2SUTime");
    }
    return print_time(ctx, "time", time);
}

int cmd_time2raw(const Context &ctx) {
    SUTime time{};
    if (!time_argument(ctx, time)) {
        return kExitUsage;
    }
    uint32_t raw = 0;
    if (SU_Base_SUTime2Raw(&time, &raw) != 0) {
        return module_failure(ctx, "time2raw", "SU_Base_SUTime2Raw");
    }
    Report report(ctx.out, ctx.line.json);
    report.number("raw", raw);
    report.finish();
    return kExitOk;
}

int cmd_suspend(const Context &ctx) {
    if (SU_Base_Suspend() != 0) {
        return module_failure(ctx, "suspend", "SU_Base_Suspend");
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

int cmd_log(const Context &ctx) {
    LogOptions options{};
    options.path = ctx.line.file != nullptr ? ctx.line.file : kLogDevice;
    options.follow = ctx.line.follow;
    options.tag = ctx.line.tag;
    options.json = ctx.line.json;
    return read_log(options, ctx.out, ctx.err);
}

enum Needs : unsigned { kNothing = 0, kYes = 1, kTimeout = 2, kLogOptions = 4 };

struct Command {
    const char *name;
    const char *verb;      // empty for one-word commands
    std::size_t arguments; // words after the name and verb
    unsigned needs;        // options the command takes
    int (*handler)(const Context &);
};

constexpr Command kCommands[] = {
    {"id", "", 0, kNothing, cmd_id},
    {"model", "", 0, kNothing, cmd_model},
    {"version", "", 0, kNothing, cmd_version},
    {"time", "get", 0, kNothing, cmd_time_get},
    {"time", "set", 1, kNothing, cmd_time_set},
    {"alarm", "get", 0, kNothing, cmd_alarm_get},
    {"alarm", "set", 1, kNothing, cmd_alarm_set},
    {"alarm", "enable", 0, kNothing, cmd_alarm_enable},
    {"alarm", "disable", 0, kNothing, cmd_alarm_disable},
    {"alarm", "wait", 0, kTimeout, cmd_alarm_wait},
    {"raw2time", "", 1, kNothing, cmd_raw2time},
    {"time2raw", "", 1, kNothing, cmd_time2raw},
    {"suspend", "", 0, kYes, cmd_suspend},
    {"poweroff", "", 0, kYes, cmd_poweroff},
    {"reboot", "", 0, kYes, cmd_reboot},
    {"log", "", 0, kLogOptions, cmd_log},
};

// An option that takes a value, as "--name VALUE" or "--name=VALUE". Returns
// false when arg is not this option; otherwise value is set, or null when
// the value is missing.
bool option_with_value(const char *name, int argc, const char *const *argv, int &i,
                       const char *&value) {
    const char *arg = argv[i];
    const std::size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0) {
        return false;
    }
    if (arg[length] == '=') {
        value = arg + length + 1;
        return true;
    }
    if (arg[length] != '\0') {
        return false;
    }
    value = i + 1 < argc ? argv[++i] : nullptr;
    return true;
}

// Splits argv into options and words; prints the complaint and returns
// false on a malformed line.
bool parse_line(int argc, const char *const *argv, CommandLine &line, std::FILE *err) {
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const char *value = nullptr;
        if (same(arg, "--json")) {
            line.json = true;
        } else if (same(arg, "--yes")) {
            line.yes = true;
        } else if (same(arg, "-h") || same(arg, "--help")) {
            line.help = true;
        } else if (same(arg, "--version")) {
            line.version = true;
        } else if (same(arg, "--follow")) {
            line.follow = true;
        } else if (option_with_value("--timeout", argc, argv, i, value)) {
            if (value == nullptr) {
                (void)usage_error(err, "--timeout needs a number of milliseconds");
                return false;
            }
            if (!parse_u32(value, line.timeout_ms)) {
                (void)usage_error(err, "not a number of milliseconds from 0 to 4294967295: ",
                                  value);
                return false;
            }
            line.has_timeout = true;
        } else if (option_with_value("--file", argc, argv, i, value)) {
            if (value == nullptr || *value == '\0') {
                (void)usage_error(err, "--file needs a path");
                return false;
            }
            line.file = value;
        } else if (option_with_value("--tag", argc, argv, i, value)) {
            if (value == nullptr) {
                (void)usage_error(err, "--tag needs a tag");
                return false;
            }
            line.tag = value;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            (void)usage_error(err, "unknown option ", arg);
            return false;
        } else if (line.word_count == kMaxWords) {
            (void)usage_error(err, "too many arguments at ", arg);
            return false;
        } else {
            line.words[line.word_count++] = arg;
        }
    }
    return true;
}

const Command *find_command(const CommandLine &line, std::FILE *err) {
    const char *name = line.words[0];
    const char *verb = line.word_count > 1 ? line.words[1] : "";
    bool name_known = false;
    for (const Command &command : kCommands) {
        if (!same(command.name, name)) {
            continue;
        }
        name_known = true;
        const bool has_verb = command.verb[0] != '\0';
        if (has_verb && !same(command.verb, verb)) {
            continue;
        }
        const std::size_t words = 1 + (has_verb ? 1 : 0) + command.arguments;
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

// Options a command does not take are refused; returns the exit status of
// the refusal, or kExitOk.
int check_options(const CommandLine &line, const Command &command, std::FILE *err) {
    if (line.has_timeout && (command.needs & kTimeout) == 0) {
        return usage_error(err, "--timeout is only for alarm wait");
    }
    if (line.yes && (command.needs & kYes) == 0) {
        return usage_error(err, "--yes is only for suspend, poweroff and reboot");
    }
    if ((line.follow || line.file != nullptr || line.tag != nullptr) &&
        (command.needs & kLogOptions) == 0) {
        return usage_error(err, "--file, --follow and --tag are only for log");
    }
    if ((command.needs & kYes) != 0 && !line.yes) {
        (void)std::fprintf(err, "sysutil: %s stops this device; refused without --yes\n",
                           command.name);
        return kExitUsage;
    }
    return kExitOk;
}

// Fixed-width fields of the time text.
bool digits(const char *text, std::size_t at, std::size_t count, int32_t &value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

int dispatch(int argc, const char *const *argv, std::FILE *out, std::FILE *err) {
    CommandLine line;
    if (!parse_line(argc, argv, line, err)) {
        return kExitUsage;
    }
    if (line.help) {
        (void)std::fputs(kUsage, out);
        return kExitOk;
    }
    if (line.version) {
        // The command's version is the module's: "SYSUTILS-" and the version.
        char version[32] = {};
        (void)SU_Base_GetVersion(version);
        (void)std::fprintf(out, "sysutil %s\n", std::strchr(version, '-') + 1);
        return kExitOk;
    }
    if (line.word_count == 0) {
        return usage_error(err, "no command given");
    }
    const Command *command = find_command(line, err);
    if (command == nullptr) {
        return kExitUsage;
    }
    const int refusal = check_options(line, *command, err);
    if (refusal != kExitOk) {
        return refusal;
    }
    const Context ctx{line, out, err};
    // Nothing before a command's module call sets errno: after a failure, a
    // non-zero errno names the error of the system call that failed.
    errno = 0;
    return command->handler(ctx);
}

} // namespace

bool parse_time(const char *text, SUTime &time) {
    constexpr std::size_t kLength = sizeof "YYYY-MM-DDTHH:MM:SS" - 1;
    if (std::strlen(text) != kLength || text[4] != '-' || text[7] != '-' ||
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

bool parse_u32(const char *text, uint32_t &value) {
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > 10) {
        return false;
    }
    uint64_t parsed = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        parsed = parsed * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (parsed > UINT32_MAX) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

int run(int argc, const char *const *argv, std::FILE *out, std::FILE *err) {
    // The module's records of a failed call reach standard error as well as
    // the kernel log.
    // One call logs at most three records of at most 999 characters.
    char records[3 * 1000];
    command_records::begin(records, sizeof records);
    int status = dispatch(argc, argv, out, err);
    command_records::end();
    if (!flush_output(out, err)) {
        status = kExitFailure;
    }
    return status;
}

} // namespace sysutil
