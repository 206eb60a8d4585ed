// SPDX-License-Identifier: MIT
// chipid: prints the chip's unique identifier. Arguments are ignored and the
// exit status is always 0; a failed register read shows as a shorter
// identifier, and the module's records of the failure go to standard error
// as well as to the kernel log.
#include <stdio.h>

#include "command_records.h"
#include "su_base.h"

int main() {
    char devID[64] = {};
    char records[256]; // the records of a failed read are short
    sysutils::keep_records(records, sizeof records);
    if (SU_Base_GetDevID(devID) != 0) {
        sysutils::print_records(stderr, "chipid");
    }
    (void)printf("CHIP ID: %s\n", devID);
    return 0;
}
