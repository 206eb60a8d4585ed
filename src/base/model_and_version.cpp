// SPDX-License-Identifier: MIT
// Model text of the processor and the module's version string.
#include <stdio.h>
#include <string.h>

#include "error_record.h"
#include "owners.h"
#include "su_base.h"
#include "version.h"

namespace {

constexpr char kVersionString[] = "SYSUTILS-" SYSUTILS_VERSION;

// One line of at most 127 characters: with the ':' and the character after
// it skipped, at most 125 reach the caller, whose buffer needs 126 bytes.
constexpr int kLineSize = 128;

// Skipped after the ':', whatever they are: the ':' and the blank after it.
constexpr size_t kSeparatorLength = 2;

} // namespace

extern "C" int SU_Base_GetModelNumber(char *modelNumber) {
    char line[kLineSize] = {};
    {
        const sysutils::Stream cpuinfo(fopen("/proc/cpuinfo", "r"));
        if (!cpuinfo.valid()) {
            SU_LOG_ERROR("Get Model Number Error\n");
            return -1;
        }
        if (fgets(line, kLineSize, cpuinfo.get()) == nullptr) {
            SU_LOG_ERROR("fgets Model Number Error\n");
            return -1;
        }
    } // closed before the line is looked at

    const char *const colon = strchr(line, ':');
    if (colon == nullptr) {
        SU_LOG_ERROR("no ':' in Model Number line\n");
        return -1;
    }
    const size_t after_colon = strlen(colon);
    const char *model = colon + (after_colon >= kSeparatorLength ? kSeparatorLength : after_colon);
    size_t length = strlen(model);
    if (length > 0 && model[length - 1] == '\n') {
        --length;
    }
    memcpy(modelNumber, model, length);
    modelNumber[length] = '\0';
    return 0;
}

extern "C" int SU_Base_GetVersion(char *version) {
    if (version == nullptr) {
        return -1;
    }
    memcpy(version, kVersionString, sizeof kVersionString);
    return 0;
}
