// SPDX-License-Identifier: MIT
// The log file destination. Its descriptor is opened once and stays open for
// the rest of the process, so the suite opens it before any test starts and
// the descriptor check of each test does not see it appear.
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
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "android_log.h"
#include "log_test_support.h"
#include "qor_log.h"

namespace {

std::string contents_of(const std::string &path) {
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

// Forks a child that logs `message` to the kernel log, releases the
// facility's lock when it holds it, and ends; its exit status, 0 when it did
// so within the bound.
int fork_child_that_logs(const std::string &message, bool holds_lock) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(5); // a child that hangs dies of it
        qor_log_fun(6, 0, QOR_LOG_TO_LOGCAT, "child", "c.cpp", 1, "f", "%s\n", message.c_str());
        if (holds_lock) {
            qor_log_unlock();
        }
        _exit(0);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LogFile : public fake::FacilityTest {
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

TEST_F(LogFile, NewNameDoesNotReopenTheFile) {
    const std::string second = fake::scratch_path("second.log");
    const std::string before = contents_of(first_file());
    qor_set_log_file(second.c_str());
    EXPECT_EQ(qor_get_log_file(), second);
    const std::string printed = fake::stdout_of([] { file_record("three\n"); });
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
        hung += fork_child_that_logs("child " + std::to_string(child), false) == 0 ? 0 : 1;
    }
    stop = true;
    for (pthread_t thread : workers) {
        ASSERT_EQ(pthread_join(thread, nullptr), 0);
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

// A thread holding qor_log_lock writes to the log file and forks while
// another thread forks: the other fork waits for the lock, neither hangs,
// and each child logs; the holder's child holds the lock until its unlock.
TEST_F(LogFile, ForkUnderAHeldLockWhileAnotherThreadForks) {
    // The writer has opened its device, as in a process that has logged.
    ASSERT_GT(__android_log_write(ANDROID_LOG_INFO, "t", "open"), 0);
    fake::clear_log();
    static std::atomic<bool> locked;
    static std::atomic<bool> forked;
    static std::atomic<int> holders_child;
    locked = false;
    forked = false;
    holders_child = -1;
    const auto holder = [](void *) -> void * {
        qor_log_lock();
        locked = true;
        usleep(100 * 1000); // meanwhile the main thread enters its fork
        qor_log_fun(6, 0x38, QOR_LOG_TO_FILE, "holder", "h.cpp", 1, "hold", "held record\n");
        holders_child = fork_child_that_logs("holder's child", true);
        qor_log_unlock();
        while (!forked) { // not a finished thread in the other child
            usleep(1000);
        }
        return nullptr;
    };
    pthread_t thread{};
    ASSERT_EQ(pthread_create(&thread, nullptr, holder, nullptr), 0);
    while (!locked) {
        usleep(1000);
    }
    alarm(10); // a hang fails the test instead of stalling the run
    const int others_child = fork_child_that_logs("other child", false);
    forked = true;
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    alarm(0);
    EXPECT_EQ(holders_child, 0);
    EXPECT_EQ(others_child, 0);
    EXPECT_NE(contents_of(first_file()).find("[h.cpp]:[1][hold]held record\n"), std::string::npos);
    const std::vector<std::string> messages = fake::log_messages();
    const std::set<std::string> children(messages.begin(), messages.end());
    EXPECT_EQ(children, (std::set<std::string>{"holder's child\n", "other child\n"}));
}

// Parent and child append to the log file the parent opened, at once: every
// record arrives once and whole, each on its own line.
TEST_F(LogFile, ParentAndChildAppendWholeRecords) {
    constexpr int kParentRecords = 200;
    constexpr int kChildRecords = 20;
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(5);
        for (int i = 0; i < kChildRecords; ++i) {
            usleep(2000);
            qor_log_fun(6, 0, QOR_LOG_TO_FILE, "t", "c.cpp", 1, "f", "appended by the child %02d\n", i);
        }
        _exit(0); // nothing left to write out
    }
    // Records of 88 bytes: a 4 KiB buffer would end inside one of them.
    const std::string padding(60, 'p');
    for (int i = 0; i < kParentRecords; ++i) {
        qor_log_fun(6, 0, QOR_LOG_TO_FILE, "t", "p.cpp", 1, "f", "appended by the parent %03d %s\n", i,
                    padding.c_str());
        usleep(200);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::regex whole("appended by the (parent [0-9]{3} p{60}|child [0-9]{2})");
    std::istringstream file(contents_of(first_file()));
    std::set<std::string> records;
    for (std::string line; std::getline(file, line);) {
        if (line.find("appended") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(line, whole)) << line;
            EXPECT_TRUE(records.insert(line).second) << "written twice: " << line;
        }
    }
    EXPECT_EQ(records.size(), static_cast<std::size_t>(kParentRecords + kChildRecords));
}

} // namespace
