// SPDX-License-Identifier: MIT
// Real-time clock and its wake-up alarm, through the RTC character device.
// Every call opens the device itself and closes it before returning; the
// alarm time and the alarm-interrupt flag live in the clock, not here.
#include <errno.h>
#include <fcntl.h>
#include <linux/rtc.h>
#include <poll.h>
#include <stdint.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>

#include "error_record.h"
#include "owners.h"
#include "su_base.h"

namespace {

constexpr uint32_t kMsPerSecond = 1000U;
constexpr uint32_t kNsPerMs = 1000U * 1000U;

// Read-only even for the requests that change the clock: the driver checks
// capabilities, not the open mode, and nothing is ever written to the device.
// A failed open is logged under the public function that asked for it.
sysutils::UniqueFd open_rtc(const char *caller) {
    sysutils::UniqueFd rtc = sysutils::open_fd("/dev/rtc0", O_RDONLY);
    if (!rtc.valid()) {
        SU_LOG_ERROR_AS(caller, "open rtc node fail: %s\n", strerror(errno));
    }
    return rtc;
}

// One request on an open device; its result. A refusal is logged under the
// caller's name.
int issue_request(const sysutils::UniqueFd &rtc, const char *caller, unsigned long request, void *argument,
                  const char *failure) {
    const int result = ioctl(rtc.get(), request, argument); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (result < 0) {
        SU_LOG_ERROR_AS(caller, "%s", failure);
    }
    return result;
}

// One request on a descriptor of its own, closed on every path; its result,
// or -1 when the device could not be opened.
int rtc_request(const char *caller, unsigned long request, void *argument, const char *failure) {
    const sysutils::UniqueFd rtc = open_rtc(caller);
    return rtc.valid() ? issue_request(rtc, caller, request, argument, failure) : -1;
}

// Plain 32-bit arithmetic with wrap-around: fields are never range-checked,
// so an absurd value must still reach the device without undefined behaviour.
constexpr int32_t add_wrapping(int32_t value, int32_t delta) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(delta));
}

constexpr int32_t kYearBase = 1900;

// The one mapping between the calendar record and the driver's structure,
// for the clock and the alarm alike. Weekday, day of the year and DST are
// not derived from the record: the driver does not need them.
constexpr rtc_time to_rtc_time(const SUTime &time) {
    rtc_time device{};
    device.tm_sec = time.sec;
    device.tm_min = time.min;
    device.tm_hour = time.hour;
    device.tm_mday = time.mday;
    device.tm_mon = add_wrapping(time.mon, -1);
    device.tm_year = add_wrapping(time.year, -kYearBase);
    return device;
}

constexpr SUTime to_su_time(const rtc_time &device) {
    SUTime time{};
    time.sec = device.tm_sec;
    time.min = device.tm_min;
    time.hour = device.tm_hour;
    time.mday = device.tm_mday;
    time.mon = add_wrapping(device.tm_mon, 1);
    time.year = add_wrapping(device.tm_year, kYearBase);
    return time;
}

// The private check of the enable call: whether the stored alarm lies
// strictly after the clock's time. A failed read counts as not later.
bool time_compare() {
    SUTime now{};
    if (SU_Base_GetTime(&now) < 0) {
        SU_LOG_ERROR("SU_Base_GetTime() error\n");
        return false;
    }
    SUTime alarm{};
    if (SU_Base_GetAlarm(&alarm) < 0) {
        SU_LOG_ERROR("SU_Base_GetAlarm() error\n");
        return false;
    }
    // Lexicographic from the year down to the second, fields as they are.
    const int32_t later[] = {alarm.year, alarm.mon, alarm.mday, alarm.hour, alarm.min, alarm.sec};
    const int32_t earlier[] = {now.year, now.mon, now.mday, now.hour, now.min, now.sec};
    for (size_t field = 0; field < sizeof later / sizeof later[0]; ++field) {
        if (later[field] != earlier[field]) {
            return later[field] > earlier[field];
        }
    }
    return false;
}

// Sets the clock or the alarm from a record, read only once the device is
// open: with the device absent, a bad pointer gives -1 and the open record.
int set_from_record(const char *caller, unsigned long request, const SUTime *record, const char *failure) {
    const sysutils::UniqueFd rtc = open_rtc(caller);
    if (!rtc.valid()) {
        return -1;
    }
    rtc_time device = to_rtc_time(*record);
    return issue_request(rtc, caller, request, &device, failure);
}

} // namespace

extern "C" int SU_Base_GetTime(SUTime *suTime) {
    if (suTime == nullptr) {
        return -1;
    }
    rtc_time device{};
    const int result = rtc_request(__func__, RTC_RD_TIME, &device, "IOCTL RTC_RD_TIME fail \n");
    if (result < 0) {
        return -1;
    }
    *suTime = to_su_time(device);
    return result;
}

extern "C" int SU_Base_SetTime(const SUTime *suTime) {
    if (suTime == nullptr) {
        return -1;
    }
    return set_from_record(__func__, RTC_SET_TIME, suTime, "IOCTL RTC_SET_TIME fail \n");
}

extern "C" int SU_Base_SetAlarm(const SUTime *suTime) {
    if (suTime == nullptr) {
        return -1;
    }
    // Only the time is stored: the alarm interrupt is left as it was.
    return set_from_record(__func__, RTC_ALM_SET, suTime, "IOCTL RTC_ALM_SET fail \n");
}

extern "C" int SU_Base_GetAlarm(SUTime *suTime) {
    if (suTime == nullptr) {
        return -1;
    }
    rtc_time device{};
    if (rtc_request(__func__, RTC_ALM_READ, &device, "IOCTL RTC_ALM_READ fail \n") < 0) {
        return -1;
    }
    *suTime = to_su_time(device);
    return 0;
}

extern "C" int SU_Base_EnableAlarm(void) {
    // The check reads the clock and the alarm through descriptors of its own,
    // each closed before the enable request opens the device again.
    if (!time_compare()) {
        SU_LOG_ERROR("Alarm Time Invalid ,forbid to enable alram\n");
        return -1;
    }
    return rtc_request(__func__, RTC_AIE_ON, nullptr, "IOCTL RTC_AIE_ON fail \n");
}

extern "C" int SU_Base_DisableAlarm(void) {
    return rtc_request(__func__, RTC_AIE_OFF, nullptr, "IOCTL RTC_AIE_OFF fail \n");
}

extern "C" int SU_Base_PollingAlarm(uint32_t timeoutMs) {
    const sysutils::UniqueFd rtc = open_rtc(__func__);
    if (!rtc.valid()) {
        return -1;
    }
    // poll, not select: an fd_set holds only descriptors below 1024, and a
    // busy process may well have given the device a higher one.
    pollfd device{};
    device.fd = rtc.get();
    device.events = POLLIN;
    // Whole seconds and the remainder, never truncated; the largest time-out
    // gives 4294967 s, which fits a 32-bit time_t.
    timespec timeout{};
    const uint32_t rest_ns = (timeoutMs % kMsPerSecond) * kNsPerMs; // below 10^9
    timeout.tv_sec = static_cast<time_t>(timeoutMs / kMsPerSecond);
    timeout.tv_nsec = static_cast<decltype(timeout.tv_nsec)>(rest_ns);

    const int ready = ppoll(&device, 1, &timeout, nullptr);
    if (ready < 0) {
        SU_LOG_ERROR("select error: %s\n", strerror(errno));
        return -1;
    }
    if (ready == 0) {
        // A time-out leaves errno as it was: the text is the thread's last error.
        SU_LOG_ERROR("select timeout: %s\n", strerror(errno));
        return -1;
    }
    return 0;
}
