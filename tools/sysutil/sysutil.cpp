// SPDX-License-Identifier: MIT
#include "sysutil.h"

#include <cerrno>
#include <cstring>

#include <getopt.h>

#include "command_records.h"
#include "log_reader.h"
#include "report.h"

namespace sysutils {
namespace {

constexpr const char *kUsageStart =
    "Usage: sysutil [--json] COMMAND [ARGUMENTS]\n"
    "\n"
    "Queries and operations of the sysutils base module, for bringing up a board.\n"
    "\n";

constexpr const char *kArgumentForms =
    "\n"
    "TIME is YYYY-MM-DDTHH:MM:SS (a blank may replace the T), on the clock's own\n"
    "time scale with no time zone. Fields are not range-checked: the module and\n"
    "the clock's driver get them as given. SECONDS is 0 to 4294967295.\n";

constexpr const char *kExitStatus =
    "\n"
    "Exit status: 0 on success; 1 when the module reports a failure, which is\n"
    "explained on standard error by the module's error records and the failed\n"
    "call with its device or file and the system's error text (the records\n"
    "also go to the kernel log, tag \"base\"), or when the output or the log\n"
    "could not be written or read; 2 for a bad command line or a power command\n"
    "without --yes.\n";

constexpr const char *kLogDevice = "/dev/log_main";
constexpr std::size_t kMaxWords = 3;

// Options a command takes, and who the usage lists an option for.
enum Takes : unsigned { kNothing = 0, kYes = 1, kTimeout = 2, kLogOptions = 4, kAnyCommand = 8, kNoCommand = 16 };

struct OptionHelp {
    unsigned for_commands;
    const char *text;
};

constexpr OptionHelp kOptionHelp[] = {
    {kAnyCommand, "  --json                   print one JSON object instead of key: value lines\n"
                  "                           (log: one object per entry)\n"},
    {kYes, "  --yes                    confirm suspend, poweroff or reboot\n"},
    {kTimeout, "  --timeout MS             milliseconds to wait, 0 to 4294967295 (alarm wait)\n"},
    {kLogOptions, "  --file PATH              read the entries from PATH (log)\n"
                  "  --follow                 wait for new entries, as tail -F (log)\n"
                  "  --tag TAG                print only the text entries of tag TAG (log)\n"},
    {kNoCommand, "  --version                print the command's version\n"},
    {kAnyCommand, "  -h, --help               print this text; COMMAND --help: that command's part\n"},
};

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

struct Context;

struct Command {
    const char *name;
    const char *verb;      // empty for one-word commands
    std::size_t arguments; // words after the name and verb
    unsigned takes;        // options the command takes
    const char *subject;   // the device or file a failure concerns, or null
    int (*handler)(const Context &);
    const char *group;     // the heading the whole usage gives it, or null
    const char *help;      // its lines of the usage
};

struct Context {
    const CommandLine &line;
    const Command &command;
    std::FILE *out;
    std::FILE *err;
};

int usage_error(std::FILE *err, const char *what, const char *detail = "") {
    (void)std::fprintf(err, "sysutil: %s%s\nTry 'sysutil --help'.\n", what, detail);
    return kExitUsage;
}

// Called straight after the failed module call, before anything can move
// errno: the module's records of the failure, then the call, and the device
// or file with the error of the system call that failed, if one did.
int module_failure(const Context &ctx, const char *call) {
    const int error = errno;
    char prefix[64];
    (void)std::snprintf(prefix, sizeof prefix, "sysutil: %s%s%s", ctx.command.name,
                        ctx.command.verb[0] != '\0' ? " " : "", ctx.command.verb);
    print_records(ctx.err, prefix);
    if (error != 0 && ctx.command.subject != nullptr) {
        (void)std::fprintf(ctx.err, "%s: %s() failed: %s: %s\n", prefix, call, ctx.command.subject,
                           std::strerror(error));
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
        const int status = module_failure(ctx, "SU_Base_GetDevID");
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
        return module_failure(ctx, "SU_Base_GetModelNumber");
    }
    return print_text(ctx, "model", model);
}

int cmd_version(const Context &ctx) {
    char version[32] = {};
    if (SU_Base_GetVersion(version) != 0) {
        return module_failure(ctx, "SU_Base_GetVersion");
    }
    return print_text(ctx, "version", version);
}

int cmd_time_get(const Context &ctx) {
    SUTime now{};
    if (SU_Base_GetTime(&now) < 0) {
        return module_failure(ctx, "SU_Base_GetTime");
    }
    return print_time(ctx, "time", now);
}

int cmd_time_set(const Context &ctx) {
    SUTime time{};
    if (!time_argument(ctx, time)) {
        return kExitUsage;
    }
    if (SU_Base_SetTime(&time) != 0) {
        return module_failure(ctx, "SU_Base_SetTime");
    }
    return print_time(ctx, "time", time);
}

int cmd_alarm_get(const Context &ctx) {
    SUTime alarm{};
    if (SU_Base_GetAlarm(&alarm) != 0) {
        return module_failure(ctx, "SU_Base_GetAlarm");
    }
    return print_time(ctx, "alarm", alarm);
}

int cmd_alarm_set(const Context &ctx) {
    SUTime alarm{};
    if (!time_argument(ctx, alarm)) {
        return kExitUsage;
    }
    if (SU_Base_SetAlarm(&alarm) != 0) {
        return module_failure(ctx, "SU_Base_SetAlarm");
    }
    return print_time(ctx, "alarm", alarm);
}

int cmd_alarm_enable(const Context &ctx) {
    if (SU_Base_EnableAlarm() != 0) {
        return module_failure(ctx, "SU_Base_EnableAlarm");
    }
    return print_text(ctx, "alarm_irq", "on");
}

int cmd_alarm_disable(const Context &ctx) {
    if (SU_Base_DisableAlarm() != 0) {
        return module_failure(ctx, "SU_Base_DisableAlarm");
    }
    return print_text(ctx, "alarm_irq", "off");
}

int cmd_alarm_wait(const Context &ctx) {
    if (!ctx.line.has_timeout) {
        return usage_error(ctx.err, "alarm wait needs --timeout MS");
    }
    if (SU_Base_PollingAlarm(ctx.line.timeout_ms) != 0) {
        return module_failure(ctx, "SU_Base_PollingAlarm");
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
        return module_failure(ctx, "SU_Base_Raw2SUTime");
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
        return module_failure(ctx, "SU_Base_SUTime2Raw");
    }
    Report report(ctx.out, ctx.line.json);
    report.number("raw", raw);
    report.finish();
    return kExitOk;
}

int cmd_suspend(const Context &ctx) {
    if (SU_Base_Suspend() != 0) {
        return module_failure(ctx, "SU_Base_Suspend");
    }
    return print_text(ctx, "suspend", "resumed");
}

// Sent is all that can be said: init powers off or reboots in its own time.
int cmd_poweroff(const Context &ctx) {
    if (SU_Base_Shutdown() != 0) {
        return module_failure(ctx, "SU_Base_Shutdown");
    }
    return print_text(ctx, "poweroff", "requested");
}

int cmd_reboot(const Context &ctx) {
    if (SU_Base_Reboot() != 0) {
        return module_failure(ctx, "SU_Base_Reboot");
    }
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

constexpr const char *kRtc = "/dev/rtc0";
constexpr const char *kInit = "init (process 1)";

constexpr Command kCommands[] = {
    {"id", "", 0, kNothing, "/dev/mem", cmd_id, "Identity:\n",
     "  id                       chip identifier, 24 hex digits (reads /dev/mem)\n"},
    {"model", "", 0, kNothing, "/proc/cpuinfo", cmd_model, nullptr,
     "  model                    CPU model, from the first line of /proc/cpuinfo\n"},
    {"version", "", 0, kNothing, nullptr, cmd_version, nullptr,
     "  version                  module version\n"},
    {"time", "get", 0, kNothing, kRtc, cmd_time_get, "Real-time clock (/dev/rtc0):\n",
     "  time get                 read the clock\n"},
    {"time", "set", 1, kNothing, kRtc, cmd_time_set, nullptr,
     "  time set TIME            set the clock\n"},
    {"alarm", "get", 0, kNothing, kRtc, cmd_alarm_get, nullptr,
     "  alarm get                read the stored wake-up alarm\n"},
    {"alarm", "set", 1, kNothing, kRtc, cmd_alarm_set, nullptr,
     "  alarm set TIME           store the wake-up alarm (does not enable it)\n"},
    {"alarm", "enable", 0, kNothing, kRtc, cmd_alarm_enable, nullptr,
     "  alarm enable             enable the alarm interrupt; refused unless the\n"
     "                           stored alarm lies after the clock's time\n"},
    {"alarm", "disable", 0, kNothing, kRtc, cmd_alarm_disable, nullptr,
     "  alarm disable            disable the alarm interrupt\n"},
    {"alarm", "wait", 0, kTimeout, kRtc, cmd_alarm_wait, nullptr,
     "  alarm wait --timeout MS  wait up to MS milliseconds for a clock event\n"},
    {"raw2time", "", 1, kNothing, nullptr, cmd_raw2time, "Calendar:\n",
     "  raw2time SECONDS         seconds since 1970-01-01 00:00:00 to TIME\n"},
    {"time2raw", "", 1, kNothing, nullptr, cmd_time2raw, nullptr,
     "  time2raw TIME            TIME to seconds since 1970-01-01 00:00:00\n"},
    {"suspend", "", 0, kYes, "/sys/power/state", cmd_suspend, "Power (each needs --yes):\n",
     "  suspend --yes            suspend to RAM; returns after the resume\n"},
    {"poweroff", "", 0, kYes, kInit, cmd_poweroff, nullptr,
     "  poweroff --yes           ask init (process 1) to power the device off\n"},
    {"reboot", "", 0, kYes, kInit, cmd_reboot, nullptr,
     "  reboot --yes             ask init (process 1) to reboot the device\n"},
    {"log", "", 0, kLogOptions, nullptr, cmd_log, "Kernel log:\n",
     "  log [--file PATH] [--follow] [--tag TAG]\n"
     "                           print the entries of /dev/log_main (or of PATH,\n"
     "                           a file of entries as the device returns them)\n"},
};

const Command *first_named(const char *name) {
    for (const Command &command : kCommands) {
        if (std::strcmp(command.name, name) == 0) {
            return &command;
        }
    }
    return nullptr;
}

// The whole usage, or, given a command's name, its lines and options alone.
void print_usage(std::FILE *out, const char *name) {
    const Command *const named = name != nullptr ? first_named(name) : nullptr;
    if (named == nullptr) {
        (void)std::fputs(kUsageStart, out);
    } else {
        (void)std::fprintf(out, "Usage: sysutil [--json] %s%s\n\n", named->name,
                           named->verb[0] != '\0' ? " ACTION" : "");
    }
    unsigned listed = named == nullptr ? ~0U : kAnyCommand;
    bool arguments = named == nullptr;
    for (const Command &command : kCommands) {
        if (named != nullptr && std::strcmp(command.name, named->name) != 0) {
            continue;
        }
        if (named == nullptr && command.group != nullptr) {
            (void)std::fputs(command.group, out);
        }
        (void)std::fputs(command.help, out);
        listed |= command.takes;
        arguments = arguments || command.arguments > 0;
    }
    if (arguments) {
        (void)std::fputs(kArgumentForms, out);
    }
    (void)std::fputs("\nOptions:\n", out);
    for (const OptionHelp &option : kOptionHelp) {
        if ((option.for_commands & listed) != 0) {
            (void)std::fputs(option.text, out);
        }
    }
    if (named == nullptr) {
        (void)std::fputs(kExitStatus, out);
    }
}

constexpr option kLongOptions[] = {
    {"json", no_argument, nullptr, 'j'},       {"yes", no_argument, nullptr, 'y'},
    {"help", no_argument, nullptr, 'h'},       {"version", no_argument, nullptr, 'V'},
    {"follow", no_argument, nullptr, 'F'},     {"timeout", required_argument, nullptr, 't'},
    {"file", required_argument, nullptr, 'f'}, {"tag", required_argument, nullptr, 'g'},
    {nullptr, 0, nullptr, 0},
};

bool add_word(CommandLine &line, const char *word, std::FILE *err) {
    if (line.word_count == kMaxWords) {
        (void)usage_error(err, "too many arguments at ", word);
        return false;
    }
    line.words[line.word_count++] = word;
    return true;
}

// Splits argv into options and words; prints the complaint and returns
// false on a malformed line.
bool parse_line(int argc, const char *const *argv, CommandLine &line, std::FILE *err) {
    // "-": words come back in place as code 1, whatever POSIXLY_CORRECT says,
    // so nothing in argv is moved; ":": a missing value is told apart.
    char *const *args = const_cast<char *const *>(argv); // NOLINT(cppcoreguidelines-pro-type-const-cast)
    optind = 0;                                           // a fresh scan for every command line
    opterr = 0;
    for (int code = 0; (code = getopt_long(argc, args, "-:h", kLongOptions, nullptr)) != -1;) {
        bool ok = true;
        switch (code) {
        case 1: ok = add_word(line, optarg, err); break;
        case 'j': line.json = true; break;
        case 'y': line.yes = true; break;
        case 'h': line.help = true; break;
        case 'V': line.version = true; break;
        case 'F': line.follow = true; break;
        case 't':
            ok = parse_u32(optarg, line.timeout_ms);
            if (!ok) {
                (void)usage_error(err, "not a number of milliseconds from 0 to 4294967295: ", optarg);
            }
            line.has_timeout = true;
            break;
        case 'f':
            ok = *optarg != '\0';
            line.file = optarg;
            if (!ok) {
                (void)usage_error(err, "--file needs a path");
            }
            break;
        case 'g': line.tag = optarg; break;
        case ':':
            ok = false;
            (void)usage_error(err, optopt == 't'   ? "--timeout needs a number of milliseconds"
                                   : optopt == 'f' ? "--file needs a path"
                                                   : "--tag needs a tag");
            break;
        default: { // an unknown option, or a value for one that takes none
            ok = false;
            const char *const given = argv[optind - 1];
            const char short_option[] = {'-', static_cast<char>(optopt), '\0'};
            (void)usage_error(err, "unknown option ", optopt != 0 && given[1] != '-' ? short_option : given);
            break;
        }
        }
        if (!ok) {
            return false;
        }
    }
    for (int i = optind; i < argc; ++i) { // the words after "--"
        if (!add_word(line, argv[i], err)) {
            return false;
        }
    }
    return true;
}

const Command *find_command(const CommandLine &line, std::FILE *err) {
    const char *name = line.words[0];
    const char *verb = line.word_count > 1 ? line.words[1] : "";
    if (first_named(name) == nullptr) {
        (void)usage_error(err, "unknown command ", name);
        return nullptr;
    }
    for (const Command &command : kCommands) {
        const bool has_verb = command.verb[0] != '\0';
        if (std::strcmp(command.name, name) != 0 || (has_verb && std::strcmp(command.verb, verb) != 0)) {
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
    (void)std::fprintf(err, "sysutil: unknown or missing action for %s", name);
    const char *separator = " (";
    for (const Command &command : kCommands) {
        if (std::strcmp(command.name, name) == 0) {
            (void)std::fprintf(err, "%s%s", separator, command.verb);
            separator = ", ";
        }
    }
    (void)std::fprintf(err, ")\nTry 'sysutil %s --help'.\n", name);
    return nullptr;
}

// Options a command does not take are refused; returns the exit status of
// the refusal, or kExitOk.
int check_options(const CommandLine &line, const Command &command, std::FILE *err) {
    if (line.has_timeout && (command.takes & kTimeout) == 0) {
        return usage_error(err, "--timeout is only for alarm wait");
    }
    if (line.yes && (command.takes & kYes) == 0) {
        return usage_error(err, "--yes is only for suspend, poweroff and reboot");
    }
    if ((line.follow || line.file != nullptr || line.tag != nullptr) &&
        (command.takes & kLogOptions) == 0) {
        return usage_error(err, "--file, --follow and --tag are only for log");
    }
    if ((command.takes & kYes) != 0 && !line.yes) {
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
        print_usage(out, line.word_count > 0 ? line.words[0] : nullptr);
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
    const Context ctx{line, *command, out, err};
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

int run_sysutil(int argc, const char *const *argv, std::FILE *out, std::FILE *err) {
    // The module's records of a failed call reach standard error as well as
    // the kernel log.
    // One call logs at most three records of at most 999 characters.
    char records[3 * 1000];
    keep_records(records, sizeof records);
    int status = dispatch(argc, argv, out, err);
    stop_keeping_records();
    if (!flush_output(out, err)) {
        status = kExitFailure;
    }
    return status;
}

} // namespace sysutils
