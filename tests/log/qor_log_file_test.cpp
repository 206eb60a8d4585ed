// SPDX-License-Identifier: MIT
// The log file destination. Its stream is opened once and stays open for the
// rest of the process, so the suite opens it before any test starts and the
// descriptor check of each test does not see it appear.
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "android_log.h"
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

// Forks while two threads log, to the kernel log and to the log file: every
// child logs its own record at once, and no record is written twice.
TEST_F(LogFile, ForkWhileOthersLogGivesTheChildAFreeFacility) {
    constexpr int kForks = 20;
    // Open before the forks, as a real device is shared, not reopened.
    ASSERT_GT(__android_log_write(ANDROID_LOG_INFO, "t", "open"), 0);
    fake::clear_log();
    static std::atomic<bool> stop;
    stop = false;
    const auto worker = [](void *arg) -> void * {
        const int dest = *static_cast<int *>(arg);
        // Bounded and paced: under a sanitizer or valgrind the forks are slow.
        for (int i = 0; !stop && i < 5000; ++i) {
            qor_log_fun(6, 0x38, dest, "worker", "w.cpp", dest, "run", "record %d\n", i);
            usleep(20);
        }
        return nullptr;
    };
    int dests[] = {QOR_LOG_TO_LOGCAT, QOR_LOG_TO_FILE};
    pthread_t workers[2]{};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(pthread_create(&workers[i], nullptr, worker, &dests[i]), 0);
    }
    int hung = 0;
    for (int child = 0; child < kForks; ++child) {
        const pid_t pid = fork();
        if (pid == 0) {
            alarm(5); // a child that hangs dies of it
            qor_log_fun(6, 0, QOR_LOG_TO_LOGCAT, "child", "c.cpp", 1, "f", "child %d\n", child);
            // Writes out the inherited log-file stream as exit would, without
            // a sanitizer's exit-time checks of the parent's threads.
            (void)fflush(nullptr);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        hung += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    }
    stop = true;
    for (pthread_t thread : workers) {
        ASSERT_EQ(pthread_join(thread, nullptr), 0);
    }
    if (const pid_t last = fork(); last == 0) {
        _exit(0); // the fork itself writes out the log file's stream
    } else {
        ASSERT_EQ(waitpid(last, nullptr, 0), last);
    }
    EXPECT_EQ(hung, 0);

    std::set<std::string> seen;
    std::set<std::string> children;
    for (const fake::LogEntry &entry : fake::log_entries()) {
        EXPECT_TRUE((entry.tag == "child" ? children : seen).insert(entry.msg).second) << entry.msg;
    }
    for (int child = 0; child < kForks; ++child) {
        EXPECT_TRUE(children.contains("child " + std::to_string(child) + "\n")) << child;
    }
    EXPECT_EQ(children.size(), static_cast<std::size_t>(kForks));
    std::istringstream file(contents_of(first_file()));
    std::set<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (line.find("record") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(line, std::regex(R"(\[w\.cpp\]:\[1\]\[run\]record [0-9]+)"))) << line;
            EXPECT_TRUE(lines.insert(line).second) << "written twice: " << line;
        }
    }
    EXPECT_FALSE(lines.empty());
}

// A fork while another thread, holding qor_log_lock, goes on to write to the
// log file: the fork waits for that record, and neither side hangs.
TEST_F(LogFile, ForkWaitsForAHeldLockThatWritesTheFile) {
    static std::atomic<bool> locked;
    locked = false;
    const auto holder = [](void *) -> void * {
        qor_log_lock();
        locked = true;
        usleep(200 * 1000); // meanwhile the main thread enters its fork
        qor_log_fun(6, 0x38, QOR_LOG_TO_FILE, "holder", "h.cpp", 1, "hold", "held record\n");
        qor_log_unlock();
        return nullptr;
    };
    pthread_t thread{};
    ASSERT_EQ(pthread_create(&thread, nullptr, holder, nullptr), 0);
    while (!locked) {
        usleep(1000);
    }
    alarm(10); // a hang dies of it
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(0);
    }
    alarm(0);
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    EXPECT_NE(contents_of(first_file()).find("held record"), std::string::npos);
}

} // namespace
