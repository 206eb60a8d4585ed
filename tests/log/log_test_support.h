/* SPDX-License-Identifier: MIT */
// Helpers shared by the log tests.
#ifndef SYSUTILS_TESTS_LOG_TEST_SUPPORT_H
#define SYSUTILS_TESTS_LOG_TEST_SUPPORT_H

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "qor_log.h"

namespace fake {

// What `action` printed on standard output.
template <typename Action> std::string stdout_of(Action &&action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

// Bytes of a kernel-log text entry.
inline std::string text_entry(unsigned char prio, std::string_view tag, std::string_view msg) {
    std::string bytes(1, static_cast<char>(prio));
    bytes.append(tag).push_back('\0');
    bytes.append(msg).push_back('\0');
    return bytes;
}

// The facility's settings are process-wide: each test starts from the
// initial level and option word.
class FacilityTest : public fake::Test {
protected:
    void SetUp() override {
        fake::Test::SetUp();
        qor_set_log_level(3);
        QOR_Log_Set_Option(0);
    }
};

} // namespace fake

#endif // SYSUTILS_TESTS_LOG_TEST_SUPPORT_H
