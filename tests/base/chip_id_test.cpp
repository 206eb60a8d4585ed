// SPDX-License-Identifier: MIT
#include <errno.h>
#include <string.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "qor_log.h"
#include "su_base.h"

namespace {

constexpr off_t kFirstRegister = 0x13540200;

// A sparse stand-in for physical memory holding the three registers.
void install_registers(const std::vector<uint32_t> &values) {
    std::string page(0x1000, '\0');
    for (std::size_t i = 0; i < values.size(); ++i) {
        memcpy(&page[0x200 + 4 * i], &values[i], sizeof values[i]);
    }
    const std::string path = fake::scratch_path("mem");
    FILE *mem = fopen(path.c_str(), "wb");
    ASSERT_NE(mem, nullptr);
    ASSERT_EQ(fseeko(mem, kFirstRegister - 0x200, SEEK_SET), 0);
    ASSERT_EQ(fwrite(page.data(), 1, page.size(), mem), page.size());
    ASSERT_EQ(fclose(mem), 0);
    fake::redirect(fake::kDevMem, path);
}

class ChipId : public fake::Test {};

TEST_F(ChipId, AppendsEachRegisterLeastSignificantByteFirst) {
    install_registers({0x11223344U, 0x55667788U, 0x99aabbccU});
    char id[64] = "ID=";
    EXPECT_EQ(SU_Base_GetDevID(id), 0);
    EXPECT_STREQ(id, "ID=4433221188776655ccbbaa99");

    install_registers({0U, 0xabU, 0xff000000U});
    char zeros[64] = {};
    EXPECT_EQ(SU_Base_GetDevID(zeros), 0);
    EXPECT_STREQ(zeros, "00000000ab000000000000ff");
    EXPECT_TRUE(fake::log_entries().empty());
}

TEST_F(ChipId, OpensMapsUnmapsAndClosesTheDeviceForEveryRegister) {
    install_registers({1, 2, 3});
    char id[64] = {};
    ASSERT_EQ(SU_Base_GetDevID(id), 0);
    const std::vector<std::string> one_read{"open /dev/mem", "mmap /dev/mem", "munmap /dev/mem",
                                            "close /dev/mem"};
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(), one_read.begin(), one_read.end());
    }
    EXPECT_EQ(fake::events(fake::kDevMem), expected);
}

struct Failure {
    const char *what;
    fake::Call call;
    int nth;
    int result;
    const char *id;
    std::vector<std::string> records;
    std::size_t short_file = 0; // else: the device is a regular file of this size
};

TEST_F(ChipId, FailuresAreLoggedInnermostFirst) {
    const std::vector<Failure> failures{
        {"device absent", fake::Call::open, 1, -1, "", {"open /dev/mem failed\n", "SU_Base_GetDevID(): failed\n"}},
        {"second mapping", fake::Call::mmap, 2, -1, "44332211", {"mmap failed\n", "SU_Base_GetDevID(): failed\n"}},
        {"third open", fake::Call::open, 3, -1, "4433221188776655",
         {"open /dev/mem failed\n", "SU_Base_GetDevID(): failed\n"}},
        {"first unmapping", fake::Call::munmap, 1, 0, "4433221188776655ccbbaa99", {"munmap failed\n"}},
        // Mapped past its end, a regular file would fault on the load.
        {"100-byte file", {}, 0, -1, "", {"/dev/mem ends before 0x13540200\n", "SU_Base_GetDevID(): failed\n"}, 100},
    };
    for (const Failure &failure : failures) {
        SCOPED_TRACE(failure.what);
        install_registers({0x11223344U, 0x55667788U, 0x99aabbccU});
        fake::clear_log();
        fake::clear_events();
        if (failure.short_file != 0) {
            fake::redirect(fake::kDevMem, fake::scratch_file("short_mem", std::string(failure.short_file, '\0')));
        } else {
            fake::fail(failure.call, fake::kDevMem, EACCES, failure.nth);
        }
        char id[64] = {};
        EXPECT_EQ(SU_Base_GetDevID(id), failure.result);
        EXPECT_STREQ(id, failure.id);
        EXPECT_EQ(fake::log_messages(), failure.records);
        EXPECT_EQ(fake::open_count(fake::kDevMem), 0);
        for (const fake::LogEntry &entry : fake::log_entries()) {
            EXPECT_EQ(entry.prio, 6);
            EXPECT_EQ(entry.tag, "base");
        }
    }
}

TEST_F(ChipId, NoRegisterIsReadAfterAFailedMapping) {
    install_registers({1, 2, 3});
    fake::fail(fake::Call::mmap, fake::kDevMem, ENOMEM, 2);
    char id[64] = {};
    ASSERT_EQ(SU_Base_GetDevID(id), -1);
    const std::vector<std::string> expected{"open /dev/mem", "mmap /dev/mem", "munmap /dev/mem", "close /dev/mem",
                                            "open /dev/mem", "mmap /dev/mem", "close /dev/mem"};
    EXPECT_EQ(fake::events(fake::kDevMem), expected);
}

TEST_F(ChipId, RecordsNameTheModuleSourceAndTheFunction) {
    const int saved = QOR_Log_Get_Option();
    QOR_Log_Set_Option(QOR_LOG_OPT_FILE | QOR_LOG_OPT_FUNC | QOR_LOG_OPT_LINE);
    char id[64] = {};
    EXPECT_EQ(SU_Base_GetDevID(id), -1);
    QOR_Log_Set_Option(saved);

    const std::vector<std::string> messages = fake::log_messages();
    ASSERT_EQ(messages.size(), 2U);
    EXPECT_EQ(messages[0].rfind("[sysutils/base/base]:[", 0), 0U) << messages[0];
    EXPECT_NE(messages[0].find("][regrw]open /dev/mem failed\n"), std::string::npos) << messages[0];
    EXPECT_NE(messages[1].find("][SU_Base_GetDevID]SU_Base_GetDevID(): failed\n"), std::string::npos)
        << messages[1];
}

} // namespace
