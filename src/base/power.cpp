// SPDX-License-Identifier: MIT
// Power control: power-off and reboot are the init process's work, asked for
// with a signal; suspend to RAM goes through the kernel's power-state file.
#include <fcntl.h>
#include <pthread.h>
#include <sys/types.h>
#include <unistd.h>

#include <signal.h>

#include "error_record.h"
#include "owners.h"
#include "su_base.h"

namespace {

constexpr pid_t kInitProcess = 1;
constexpr const char *kPowerStatePath = "/sys/power/state";
// No line end and no NUL: the kernel takes the state name as written.
constexpr char kSuspendToRam[] = "mem";
constexpr size_t kSuspendToRamLength = sizeof kSuspendToRam - 1;

// Flushes the file systems first: the init process may power off at once.
void ask_init(int signal_number) {
    sync();
    (void)kill(kInitProcess, signal_number); // the caller gets 0 whatever happens
}

} // namespace

extern "C" int SU_Base_Shutdown(void) {
    ask_init(SIGUSR2);
    return 0;
}

extern "C" int SU_Base_Reboot(void) {
    ask_init(SIGTERM);
    return 0;
}

// The write returns only after the resume (or a refused suspend), so the lock
// spans the whole cycle: one suspend of the process at a time. A thread
// cancelled meanwhile ends only after the unlock.
extern "C" int SU_Base_Suspend(void) {
    static pthread_mutex_t singleton_mutex = PTHREAD_MUTEX_INITIALIZER;
    const sysutils::MutexLock lock(singleton_mutex);

    const sysutils::UniqueFd state = sysutils::open_fd(kPowerStatePath, O_RDWR);
    if (!state.valid()) {
        SU_LOG_ERROR("when open %s\n", kPowerStatePath);
        return -1;
    }
    if (write(state.get(), kSuspendToRam, kSuspendToRamLength) !=
        static_cast<ssize_t>(kSuspendToRamLength)) {
        SU_LOG_ERROR("Error when suspend\n");
        return -1;
    }
    return 0;
}
