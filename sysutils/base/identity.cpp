// Model text of the processor and the module's version string.
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base_log.h"
#include "owners.h"
#include "su_base.h"

namespace {

// Set by the build from the project's version.
constexpr char kVersionString[] = "SYSUTILS-" SYSUTILS_VERSION;

// One line of at most 127 characters: with the ':' and the character after
// it skipped, at most 125 reach the caller, whose buffer needs 126 bytes.
constexpr int kLineSize = 128;

// Skipped after the ':', whatever they are: the ':' and the blank after it.
constexpr std::size_t kSeparatorLength = 2;

} // namespace

extern "C" int SU_Base_GetModelNumber(char *modelNumber) {
    std::array<char, kLineSize> line{};
    {
        const sysutils::posix::Stream cpuinfo(fopen("/proc/cpuinfo", "r"));
        if (!cpuinfo.valid()) {
            SU_LOG_ERROR("Get Model Number Error\n");
            return -1;
        }
        if (fgets(line.data(), kLineSize, cpuinfo.get()) == nullptr) {
            SU_LOG_ERROR("fgets Model Number Error\n");
            return -1;
        }
    } // closed before the line is looked at

    std::string_view model(line.data());
    const std::size_t colon = model.find(':');
    if (colon == std::string_view::npos) {
        SU_LOG_ERROR("no ':' in Model Number line\n");
        return -1;
    }
    // remove_prefix, unlike substr, has no range check needing the C++ runtime.
    model.remove_prefix(colon + kSeparatorLength <= model.size() ? colon + kSeparatorLength
                                                                 : model.size());
    if (!model.empty() && model.back() == '\n') {
        model.remove_suffix(1);
    }
    memcpy(modelNumber, model.data(), model.size());
    modelNumber[model.size()] = '\0';
    return 0;
}

extern "C" int SU_Base_GetVersion(char *version) {
    if (version == nullptr) {
        return -1;
    }
    memcpy(version, kVersionString, sizeof kVersionString);
    return 0;
}
