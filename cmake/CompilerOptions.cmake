# SPDX-License-Identifier: MIT
# Options shared by every target of the project: strict warnings, and a code
# generation that needs nothing of the C++ runtime (no exceptions, no RTTI).
add_library(sysutils_options INTERFACE)
target_compile_options(sysutils_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  $<$<BOOL:${SYSUTILS_WERROR}>:-Werror>
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
target_link_options(sysutils_options INTERFACE LINKER:--as-needed)

# Hidden visibility for what ships (-fvisibility=hidden
# -fvisibility-inlines-hidden): only what the public headers declare under
# "#pragma GCC visibility push(default)" is exported. The test executables
# keep the default, as their interposed C library functions must stay
# visible to the dynamic linker.
function(sysutils_hide_symbols)
  set_target_properties(${ARGN} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# What ships is small: each function and object in a section of its own, so
# that linking drops what nothing calls (a command that logs through one
# entry of the log interface does not carry the others), and calls into the
# C library through the GOT rather than PLT stubs (GCC 6 and newer).
include(CheckCXXCompilerFlag)
check_cxx_compiler_flag(-fno-plt SYSUTILS_HAVE_NO_PLT)
target_compile_options(sysutils_options INTERFACE -ffunction-sections -fdata-sections
                       $<$<BOOL:${SYSUTILS_HAVE_NO_PLT}>:-fno-plt>)
target_link_options(sysutils_options INTERFACE LINKER:--gc-sections)

# Read-only relocations, resolved at load time, as distributions harden what
# they ship (the native linker makes them read-only by default, the mipsel
# cross linker does not). On MIPS the read-only part is aligned to the
# largest page size, 64 KiB, which pads every program and library by up to
# that much: the size-first presets (chipid, mipsel-chipid) leave it off.
option(SYSUTILS_RELRO "Link with read-only relocations (-z relro -z now)" ON)
if(SYSUTILS_RELRO)
  target_link_options(sysutils_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
