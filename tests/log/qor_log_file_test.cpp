// The log file destination. Its stream is opened once and stays open for the
// rest of the process, so the suite opens it before any test starts and the
// descriptor check of each test does not see it appear.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "log_test_support.h"
#include "qor_log.h"

namespace {

std::string contents_of(const std::string &path) {
    (void)fflush(nullptr); // the facility leaves flushing to the stream
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Descriptors of this process open on `path`.
int descriptors_on(const std::string &path) {
    int count = 0;
    for (const auto &link : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        count += std::filesystem::read_symlink(link.path(), ignored) == path ? 1 : 0;
    }
    return count;
}

void file_record(const char *message) {
    qor_log_fun(6, 0, QOR_LOG_TO_FILE, "t", "sysutils/base/base", 1, "f", "%s", message);
}

class LogFile : public logtest::FacilityTest {
protected:
    static void SetUpTestSuite() {
        first_file() = fake::scratch_file("first.log", "existing\n");
        qor_set_log_file(first_file().c_str());
        file_record("one\n");
    }
    static std::string &first_file() {
        static std::string path;
        return path;
    }
};

TEST_F(LogFile, RecordsAreAppendedToExistingContent) {
    file_record("two\n");
    EXPECT_EQ(contents_of(first_file()), "existing\none\ntwo\n");
}

TEST_F(LogFile, NewNameDoesNotReopenTheStream) {
    const std::string second = fake::scratch_path("second.log");
    const std::string before = contents_of(first_file());
    qor_set_log_file(second.c_str());
    EXPECT_EQ(qor_get_log_file(), second);
    const std::string printed = logtest::stdout_of([] { file_record("three\n"); });
    EXPECT_EQ(printed, "");
    EXPECT_EQ(contents_of(first_file()), before + "three\n");
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_EQ(descriptors_on(first_file()), 1);
}

} // namespace
