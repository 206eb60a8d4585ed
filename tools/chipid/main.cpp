// chipid: prints the chip's unique identifier. Arguments are ignored and the
// exit status is always 0; a failed register read shows as a shorter
// identifier, the failure itself going to the kernel log.
#include <stdio.h>

#include "su_base.h"

int main() {
    char devID[64] = {};
    (void)SU_Base_GetDevID(devID);
    (void)printf("CHIP ID: %s\n", devID);
    return 0;
}
