// SPDX-License-Identifier: MIT
// sysutil: bring-up command for the base module; see `sysutil --help`.
#include <csignal>
#include <cstdio>

#include "sysutil.h"

int main(int argc, char **argv) {
    // A closed pipe on standard output then shows as a write error (EPIPE)
    // instead of ending the process unannounced.
    (void)std::signal(SIGPIPE, SIG_IGN);
    return sysutils::run_sysutil(argc, argv, stdout, stderr);
}
