// SPDX-License-Identifier: MIT
// Power control: power-off and reboot are the init process's work, asked for
// with a signal; suspend to RAM goes through the kernel's power-state file.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

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
// A signal that cannot be sent (a caller that may not signal process 1) is
// logged under the caller's name.
int ask_init(const char *caller, int signal_number, const char *signal_name) {
    sync();
    if (kill(kInitProcess, signal_number) != 0) {
        SU_LOG_ERROR_AS(caller, "kill(1, %s) failed: %s\n", signal_name, strerror(errno));
        return -1;
    }
    return 0;
}

} // namespace

extern "C" int SU_Base_Shutdown(void) {
    return ask_init(__func__, SIGUSR2, "SIGUSR2");
}

extern "C" int SU_Base_Reboot(void) {
    return ask_init(__func__, SIGTERM, "SIGTERM");
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
