// SPDX-License-Identifier: MIT
// Platform values the modules take from the headers by name. On the MIPS
// target they must be the device's own numbers: a toolchain or header set
// that disagrees would build cleanly and then misdrive the clock, signal the
// wrong thing to init or open "/dev/mem" with the wrong flags.
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/rtc.h>
#include <signal.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

namespace {

// The RTC requests as every Linux architecture encodes them: type 'p', the
// request number, the direction, and struct rtc_time as the argument size.
TEST(TargetConstants, RtcRequestsCarryTheirNumberDirectionAndArgument) {
    struct Request {
        const char *name;
        unsigned long code;
        unsigned long number;
        unsigned long direction;
        unsigned long size;
    };
    const auto rtc_time_size = static_cast<unsigned long>(sizeof(struct rtc_time));
    const Request requests[] = {
        {"RTC_AIE_ON", RTC_AIE_ON, 0x01, _IOC_NONE, 0},
        {"RTC_AIE_OFF", RTC_AIE_OFF, 0x02, _IOC_NONE, 0},
        {"RTC_ALM_SET", RTC_ALM_SET, 0x07, _IOC_WRITE, rtc_time_size},
        {"RTC_ALM_READ", RTC_ALM_READ, 0x08, _IOC_READ, rtc_time_size},
        {"RTC_RD_TIME", RTC_RD_TIME, 0x09, _IOC_READ, rtc_time_size},
        {"RTC_SET_TIME", RTC_SET_TIME, 0x0a, _IOC_WRITE, rtc_time_size},
    };
    for (const Request &request : requests) {
        SCOPED_TRACE(request.name);
        EXPECT_EQ(_IOC_TYPE(request.code), static_cast<unsigned long>('p'));
        EXPECT_EQ(_IOC_NR(request.code), request.number);
        EXPECT_EQ(_IOC_DIR(request.code), request.direction);
        EXPECT_EQ(_IOC_SIZE(request.code), request.size);
    }
    // Nine ints, tm_sec to tm_isdst, and nothing else.
    EXPECT_EQ(sizeof(struct rtc_time), 9 * sizeof(int));
}

TEST(TargetConstants, MatchTheMipsTarget) {
#if defined(__mips__)
    struct Constant {
        const char *name;
        unsigned long value;
        unsigned long on_target;
    };
#define CONSTANT(name, on_target) Constant{#name, static_cast<unsigned long>(name), on_target}
    const Constant constants[] = {
        CONSTANT(O_RDONLY | O_SYNC, 0x4010),
        CONSTANT(RTC_RD_TIME, 0x40247009),
        CONSTANT(RTC_SET_TIME, 0x8024700a),
        CONSTANT(RTC_ALM_SET, 0x80247007),
        CONSTANT(RTC_ALM_READ, 0x40247008),
        CONSTANT(RTC_AIE_ON, 0x20007001),
        CONSTANT(RTC_AIE_OFF, 0x20007002),
        CONSTANT(SIGUSR2, 17),
        CONSTANT(SIGTERM, 15),
        CONSTANT(sizeof(struct rtc_time), 36),
    };
#undef CONSTANT
    for (const Constant &constant : constants) {
        EXPECT_EQ(constant.value, constant.on_target) << constant.name;
    }

    // The chip identifier is formatted from the register's bytes as they
    // lie in memory: least significant first on this target.
    EXPECT_EQ(std::endian::native, std::endian::little);
    const std::uint32_t word = 0x11223344;
    unsigned char bytes[sizeof word] = {};
    std::memcpy(bytes, &word, sizeof word);
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(bytes[3], 0x11);

    // MIPS32, o32 calling convention: 32-bit long and pointers.
    EXPECT_EQ(_MIPS_SIM, _ABIO32);
    EXPECT_EQ(sizeof(long), 4u);
    EXPECT_EQ(sizeof(void *), 4u);
#else
    GTEST_SKIP() << "the target's values apply to the MIPS build only";
#endif
}

} // namespace
