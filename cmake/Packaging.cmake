# SPDX-License-Identifier: MIT
# Debian packages for the architecture the build targets (host or mipsel),
# built with `cpack -G DEB` in the build directory:
#   libsysutils1  library: libsysutils.so.1 (with SYSUTILS_BUILD_SHARED)
#   sysutils      runtime: chipid, sysutil, their manual pages and completion
#   sysutils-dev  development: headers, static libraries, the .so link, CMake
#                 and pkg-config files, section 3 manual pages
# What CPack's DEB generator cannot say (Multi-Arch, the ldconfig trigger in
# place of its maintainer scripts) is put in by packaging/deb-post-build.cmake,
# which rebuilds each package; packaging/README.md has the details.

# Debian's name of the target architecture, from the compiler's multiarch
# triplet where dpkg knows it.
function(sysutils_debian_architecture out)
  set(arch "")
  find_program(SYSUTILS_DPKG_ARCHITECTURE dpkg-architecture)
  if(CMAKE_LIBRARY_ARCHITECTURE AND SYSUTILS_DPKG_ARCHITECTURE)
    execute_process(
      COMMAND ${SYSUTILS_DPKG_ARCHITECTURE} -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
      OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
      set(arch "")
    endif()
  endif()
  if(arch STREQUAL "")
    string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" processor)
    if(processor MATCHES "^(x86_64|amd64)$")
      set(arch amd64)
    elseif(processor MATCHES "^i.86$")
      set(arch i386)
    elseif(processor MATCHES "^(aarch64|arm64)$")
      set(arch arm64)
    elseif(processor MATCHES "^arm")
      set(arch armhf)
    elseif(processor MATCHES "^mips" AND CMAKE_C_BYTE_ORDER STREQUAL "LITTLE_ENDIAN")
      set(arch mipsel)
    else()
      set(arch "${processor}")
    endif()
  endif()
  set(${out} "${arch}" PARENT_SCOPE)
endfunction()

sysutils_debian_architecture(SYSUTILS_DEBIAN_ARCHITECTURE)

set(CPACK_PACKAGE_NAME sysutils)
set(CPACK_PACKAGE_VENDOR sysutils)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${SYSUTILS_COMPONENTS})
set(CPACK_STRIP_FILES ON)

# Descriptions: the first line is the synopsis; lines stay within 80 columns.
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "chip identity, clock, alarm and power commands for embedded Linux
chipid prints the chip's unique identifier. sysutil queries and drives the
chip identity, the real-time clock and its wake-up alarm, power control and
the kernel log from the shell, for bringing up a board.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "chip identity, clock, alarm and power library for embedded Linux (development)
Headers, static libraries, CMake package config and pkg-config files of the
sysutils base module (chip identity, real-time clock and alarm, calendar,
power control) and its log facility, with their manual pages.")
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "chip identity, clock, alarm and power library for embedded Linux
The sysutils base module (chip identity, real-time clock and alarm, calendar,
power control) and its log facility in one shared library.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SYSUTILS_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${SYSUTILS_DEBIAN_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
foreach(component IN LISTS SYSUTILS_COMPONENTS)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${SYSUTILS_PACKAGE_OF_${component}})
endforeach()
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# shlibs: programs built against the library need this version or later.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libc6-dev")
if(SYSUTILS_BUILD_SHARED)
  string(APPEND CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
         ", ${SYSUTILS_PACKAGE_OF_library} (= ${PROJECT_VERSION})")
endif()

# The runtime and library packages' Depends, computed at packaging time from
# the shared libraries their binaries need and the glibc symbol versions
# they reference (cmake/PackageDepends.cmake): the same rule for every
# architecture, and one that knows this project's own library.
set(depends_files "set(SYSUTILS_DEPENDS_FILES_RUNTIME \"$<TARGET_FILE:chipid>;$<TARGET_FILE:sysutil>\")\n")
if(SYSUTILS_BUILD_SHARED)
  string(APPEND depends_files "set(SYSUTILS_DEPENDS_FILES_LIBRARY \"$<TARGET_FILE:sysutils_shared>\")\n")
endif()
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/CPackDependsFiles.cmake CONTENT
     "${depends_files}set(SYSUTILS_OBJDUMP \"${CMAKE_OBJDUMP}\")\nset(SYSUTILS_LIBRARY_PACKAGE \"${SYSUTILS_PACKAGE_OF_library}\")\n")
set(CPACK_SYSUTILS_DEPENDS_FILES ${PROJECT_BINARY_DIR}/CPackDependsFiles.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake)

# After CPack: Multi-Arch, the ldconfig trigger, checksums, root ownership.
set(CPACK_SYSUTILS_MULTIARCH_SAME ${SYSUTILS_PACKAGE_OF_library} ${SYSUTILS_PACKAGE_OF_development})
find_program(SYSUTILS_DPKG_DEB dpkg-deb)
set(CPACK_SYSUTILS_DPKG_DEB ${SYSUTILS_DPKG_DEB})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deb-post-build.cmake)
if(CMAKE_VERSION VERSION_LESS 3.19)
  message(STATUS "CPack ${CMAKE_VERSION} runs no post-build script: the Debian packages lack "
                  "Multi-Arch and the ldconfig trigger (CMake 3.19 or newer is needed)")
endif()

include(CPack)
