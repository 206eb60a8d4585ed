// sysutil: bring-up command for the base module; see `sysutil --help`.
#include <cstdio>

#include "sysutil.h"

int main(int argc, char **argv) {
    return sysutil::run(argc, argv, stdout, stderr);
}
