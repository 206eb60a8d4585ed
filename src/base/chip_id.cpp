// SPDX-License-Identifier: MIT
// Chip identity: the three chip-identifier registers, read through the
// physical-memory device.
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "error_record.h"
#include "owners.h"
#include "su_base.h"

namespace {

// Physical addresses, in the order their digits appear in the identifier.
constexpr uint32_t kChipIdRegisters[] = {0x13540200U, 0x13540204U, 0x13540208U};

// A register closer than this to the end of its page gets a two-page window.
constexpr uint32_t kWindowSlack = 32;

constexpr size_t kDigitsPerRegister = 8;

// The part of physical memory mapped to read one register: the page that
// holds it, and the next one too when the register lies near the page's end.
struct Window {
    uint32_t offset_in_page;
    uint32_t map_offset;
    size_t length;
};

constexpr Window window_for(uint32_t address, uint32_t page) {
    const uint32_t offset_in_page = address & (page - 1U);
    return {offset_in_page, address & (0U - page),
            offset_in_page + kWindowSlack > page ? 2U * size_t{page} : size_t{page}};
}

static_assert(window_for(0x13540200U, 4096U).map_offset == 0x13540000U, "page of a register");
static_assert(window_for(0x13540208U, 65536U).offset_in_page == 0x208U, "offset in a large page");
static_assert(window_for(0x1000U + 4064U, 4096U).length == 4096U, "one page up to 32 bytes from its end");
static_assert(window_for(0x1000U + 4065U, 4096U).length == 8192U, "two pages closer to the end");

// Reads one 32-bit register at a physical address. The device is opened,
// mapped, unmapped and closed for every read: nothing outlives the call.
int regrw(uint32_t address, uint32_t *value) {
    const sysutils::UniqueFd mem = sysutils::open_fd("/dev/mem", O_RDONLY | O_SYNC);
    if (!mem.valid()) {
        SU_LOG_ERROR("open /dev/mem failed\n");
        return -1;
    }

    // A regular file standing in for the device (a container, a test root)
    // maps past its end without complaint, and the load then faults.
    struct stat file {};
    if (fstat(mem.get(), &file) == 0 && S_ISREG(file.st_mode) &&
        file.st_size < static_cast<off_t>(address + sizeof *value)) {
        SU_LOG_ERROR("/dev/mem ends before 0x%08x\n", static_cast<unsigned>(address));
        return -1;
    }

    const Window window = window_for(address, static_cast<uint32_t>(getpagesize()));
    sysutils::Mapping mapping(
        mmap(nullptr, window.length, PROT_READ, MAP_SHARED, mem.get(), static_cast<off_t>(window.map_offset)),
        window.length);
    if (!mapping.valid()) {
        SU_LOG_ERROR("mmap failed\n");
        return -1;
    }
    // One 32-bit load: the register must not be read byte by byte.
    *value = *mapping.word_at(window.offset_in_page);

    if (mapping.unmap() == -1) {
        SU_LOG_ERROR("munmap failed\n");
    }
    return 0;
}

// The register's bytes from least to most significant, two lowercase digits
// each, high digit first: 0x11223344 gives "44332211".
void append_register_digits(char *text, uint32_t value) {
    constexpr char kHexDigits[] = "0123456789abcdef";
    char *out = text + strlen(text);
    for (size_t byte_index = 0; byte_index < kDigitsPerRegister / 2; ++byte_index) {
        const uint32_t byte = (value >> (8U * byte_index)) & 0xFFU;
        *out++ = kHexDigits[byte >> 4U];
        *out++ = kHexDigits[byte & 0xFU];
    }
    *out = '\0';
}

} // namespace

extern "C" int SU_Base_GetDevID(char *devID) {
    for (const uint32_t address : kChipIdRegisters) {
        uint32_t value = 0;
        if (regrw(address, &value) != 0) {
            SU_LOG_ERROR("%s(): failed\n", __func__);
            return -1;
        }
        append_register_digits(devID, value);
    }
    return 0;
}
