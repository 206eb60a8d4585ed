// SPDX-License-Identifier: MIT
// Power control runs here as process 1 of a PID namespace of its own, so the
// signals meant for the init process reach this test process and no other.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fake_platform.h"
#include "su_base.h"

namespace {

std::atomic<int> usr2_received{0};
std::atomic<int> term_received{0};
static_assert(std::atomic<int>::is_always_lock_free, "counted from a signal handler");

std::atomic<int> &received(int signal_number) {
    return signal_number == SIGUSR2 ? usr2_received : term_received;
}

void count_signal(int signal_number) { received(signal_number).fetch_add(1); }

// Delivery to oneself is normally done when kill returns; allow some slack
// for emulated targets rather than fail on a late handler.
bool wait_for_count(int signal_number, int count) {
    for (int tries = 0; tries < 5000 && received(signal_number).load() < count; ++tries) {
        const timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
    return received(signal_number).load() == count;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> flush_then_signal(int signal_number) {
    return {"sync", "kill 1 " + std::to_string(signal_number)};
}

const std::string kOpen = "open /sys/power/state";
const std::string kWriteMem = "write /sys/power/state mem";
const std::string kClose = "close /sys/power/state";

struct PowerRequest {
    const char *what;
    int (*call)();
    int signal_number;
    const char *signal_name;
};

const std::array<PowerRequest, 2> kPowerRequests{{
    {"shutdown", SU_Base_Shutdown, SIGUSR2, "SIGUSR2"},
    {"reboot", SU_Base_Reboot, SIGTERM, "SIGTERM"},
}};

class Power : public fake::Test {};

TEST_F(Power, FlushesThenSignalsTheInitProcess) {
    for (const PowerRequest &request : kPowerRequests) {
        SCOPED_TRACE(request.what);
        fake::clear_events();
        const int usr2_before = usr2_received.load();
        const int term_before = term_received.load();

        EXPECT_EQ(request.call(), 0);
        EXPECT_EQ(fake::events(), flush_then_signal(request.signal_number));
        const bool usr2 = request.signal_number == SIGUSR2;
        EXPECT_TRUE(wait_for_count(SIGUSR2, usr2_before + (usr2 ? 1 : 0)));
        EXPECT_TRUE(wait_for_count(SIGTERM, term_before + (usr2 ? 0 : 1)));
    }
    EXPECT_TRUE(fake::log_messages().empty());
}

TEST_F(Power, FailsWithKillsErrorWhenTheSignalCannotBeSent) {
    for (const PowerRequest &request : kPowerRequests) {
        SCOPED_TRACE(request.what);
        fake::clear_events();
        fake::clear_log();
        const int before = received(request.signal_number).load();
        fake::fail(fake::Call::kill, {}, EPERM);

        errno = 0;
        EXPECT_EQ(request.call(), -1);
        EXPECT_EQ(errno, EPERM);
        std::vector<std::string> journal = fake::events(); // besides the record's own write
        std::erase_if(journal, [](const std::string &event) { return event.find("/dev/log_main") != std::string::npos; });
        EXPECT_EQ(journal, flush_then_signal(request.signal_number));
        EXPECT_EQ(received(request.signal_number).load(), before);
        EXPECT_EQ(fake::log_messages(), std::vector<std::string>{std::string("kill(1, ") + request.signal_name +
                                                                 ") failed: Operation not permitted\n"});
    }
}

TEST_F(Power, SuspendWritesMemInOneWrite) {
    const std::string state = fake::scratch_file("state", "");
    fake::redirect(fake::kPowerState, state);

    EXPECT_EQ(SU_Base_Suspend(), 0);
    EXPECT_EQ(read_file(state), "mem");
    EXPECT_EQ(fake::open_flags(fake::kPowerState), O_RDWR);
    EXPECT_EQ(fake::events(fake::kPowerState), (std::vector<std::string>{kOpen, kWriteMem, kClose}));
    EXPECT_TRUE(fake::log_messages().empty());
}

struct SuspendFailure {
    const char *what;
    void (*arrange)();
    const char *record;
    std::vector<std::string> events;
};

TEST_F(Power, SuspendFailuresLogOneRecordAndReleaseTheLock) {
    const std::vector<SuspendFailure> failures{
        {"state file absent", [] {}, "when open /sys/power/state\n", {}},
        {"open refused",
         [] {
             fake::redirect(fake::kPowerState, fake::scratch_file("state", ""));
             fake::fail(fake::Call::open, fake::kPowerState, EACCES);
         },
         "when open /sys/power/state\n",
         {}},
        {"no room for the state", [] { fake::redirect(fake::kPowerState, "/dev/full"); }, "Error when suspend\n",
         {kOpen, kWriteMem, kClose}},
        {"state refused",
         [] {
             fake::redirect(fake::kPowerState, fake::scratch_file("state", ""));
             fake::fail(fake::Call::write, fake::kPowerState, ENOSYS);
         },
         "Error when suspend\n",
         {kOpen, kWriteMem, kClose}},
    };
    for (const SuspendFailure &failure : failures) {
        SCOPED_TRACE(failure.what);
        fake::reset();
        fake::clear_log();
        failure.arrange();

        EXPECT_EQ(SU_Base_Suspend(), -1);
        EXPECT_EQ(fake::log_entries(), (std::vector<fake::LogEntry>{{6, "base", failure.record}}));
        EXPECT_EQ(fake::events(fake::kPowerState), failure.events);
        EXPECT_EQ(fake::open_count(fake::kPowerState), 0);

        // A lock left held would hang here.
        const std::string state = fake::scratch_file("state", "");
        fake::redirect(fake::kPowerState, state);
        EXPECT_EQ(SU_Base_Suspend(), 0);
        EXPECT_EQ(read_file(state), "mem");
    }
}

// A thread cancelled while its suspend waits in the write ends only after
// the suspend has released the lock: the next suspend goes through.
TEST_F(Power, CancelledSuspendLeavesTheLockFree) {
    fake::redirect(fake::kPowerState, fake::scratch_file("state", ""));
    fake::hold_writes(fake::kPowerState, true);
    pthread_t suspending{};
    ASSERT_EQ(pthread_create(&suspending, nullptr, [](void *) -> void * {
                  (void)SU_Base_Suspend();
                  pthread_testcancel();
                  return nullptr;
              }, nullptr), 0);
    while (fake::held_writes(fake::kPowerState) == 0) {
        usleep(1000);
    }
    ASSERT_EQ(pthread_cancel(suspending), 0);
    fake::hold_writes(fake::kPowerState, false);
    void *ended = nullptr;
    ASSERT_EQ(pthread_join(suspending, &ended), 0);
    EXPECT_EQ(ended, PTHREAD_CANCELED);

    // A lock left held would hang the next suspend: wait for it in bounds.
    static std::atomic<int> next_result;
    next_result = -2;
    std::thread next([] { next_result = SU_Base_Suspend(); });
    for (int waited = 0; waited < 1000 && next_result == -2; ++waited) {
        usleep(10000);
    }
    EXPECT_EQ(next_result, 0);
    if (next_result == -2) {
        next.detach();
    } else {
        next.join();
    }
}

TEST_F(Power, ConcurrentSuspendsTakeTurns) {
    // A pipe, unlike a regular file opened afresh, keeps both writes; the
    // reader keeps its contents alive across the closes.
    const std::string state = fake::scratch_path("state_fifo");
    ASSERT_EQ(mkfifo(state.c_str(), S_IRUSR | S_IWUSR), 0) << strerror(errno);
    const int reader = open(state.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0) << strerror(errno);
    fake::redirect(fake::kPowerState, state);
    fake::set_write_delay_ms(fake::kPowerState, 50); // the first write lingers

    std::array<int, 2> results{-2, -2};
    std::thread first([&results] { results[0] = SU_Base_Suspend(); });
    std::thread second([&results] { results[1] = SU_Base_Suspend(); });
    first.join();
    second.join();

    std::array<char, 16> bytes{};
    const ssize_t got = read(reader, bytes.data(), bytes.size());
    close(reader);
    EXPECT_EQ(results, (std::array<int, 2>{0, 0}));
    ASSERT_GE(got, 0) << strerror(errno);
    EXPECT_EQ(std::string(bytes.data(), static_cast<std::size_t>(got)), "memmem");
    EXPECT_EQ(fake::events(fake::kPowerState), (std::vector<std::string>{kOpen, kWriteMem, kClose, kOpen, kWriteMem, kClose}));
    EXPECT_TRUE(fake::log_messages().empty());
}

int skip(const char *why) {
    printf("[  SKIPPED ] power tests need their own PID and mount namespaces: %s: %s\n", why, strerror(errno));
    return EXIT_SUCCESS;
}

// Even a write that escaped the fake must not suspend the machine: the real
// state file is covered by a scratch file in this mount namespace.
bool cover_power_state() {
    const std::string guard = fake::scratch_file("power_state_guard", "");
    const std::string path(fake::kPowerState);
    if (mount(guard.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        return errno == ENOENT; // no state file here: nothing to cover
    }
    struct stat covered {};
    struct stat scratch {};
    return stat(path.c_str(), &covered) == 0 && stat(guard.c_str(), &scratch) == 0 &&
           covered.st_dev == scratch.st_dev && covered.st_ino == scratch.st_ino;
}

// Process 1 of a PID namespace gets only the signals it handles.
bool handle_power_signals() {
    struct sigaction action {};
    action.sa_handler = count_signal;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGUSR2, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

int run_as_init(int argc, char **argv) {
    (void)prctl(PR_SET_PDEATHSIG, SIGKILL); // gone with the runner that started us
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return skip("private mounts");
    }
    if (!cover_power_state()) {
        return skip("bind mount over /sys/power/state");
    }
    // A /proc of this PID namespace: process 1 there is this process, which
    // tools reading /proc/<pid> (the leak checker) need to see.
    if (mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        printf("note: /proc of the PID namespace not mounted: %s\n", strerror(errno));
    }
    if (!handle_power_signals()) {
        printf("sigaction: %s\n", strerror(errno));
        return EXIT_FAILURE;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace

int main(int argc, char **argv) {
    if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) {
        return skip("unshare");
    }
    const pid_t init = fork();
    if (init < 0) {
        perror("fork");
        return EXIT_FAILURE;
    }
    if (init == 0) {
        exit(run_as_init(argc, argv));
    }
    int status = 0;
    while (waitpid(init, &status, 0) < 0) {
        if (errno != EINTR) {
            perror("waitpid");
            return EXIT_FAILURE;
        }
    }
    const int result = WIFEXITED(status) ? WEXITSTATUS(status) : EXIT_FAILURE;
    if (WIFSIGNALED(status)) {
        printf("test process ended by signal %d\n", WTERMSIG(status));
    }
    // The namespace died with its process 1, and this process can start no
    // other process in it (ENOMEM), which exit-time checkers such as the leak
    // sanitizer would try. Nothing here is left to release.
    (void)fflush(stdout);
    _exit(result);
}
