/* SPDX-License-Identifier: MIT */
/* The parent's chipid, through sysutils::base: a call that touches no device. */
#include <stdio.h>

#include "su_base.h"

int main(void) {
    char version[16] = "";
    if (SU_Base_GetVersion(version) != 0)
        return 1;
    printf("parent: %s\n", version);
    return 0;
}
