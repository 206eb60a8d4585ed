# Debian packages for the architecture the build targets (host or mipsel):
#   sysutils      runtime: chipid, sysutil (and libsysutils.so when built)
#   sysutils-dev  development: headers, static libraries, CMake and pkg-config files
# Built with `cpack -G DEB` in the build directory.

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
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "System utilities for embedded Linux devices")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "chipid prints the chip's unique identifier; sysutil queries and drives chip identity, real-time clock, wake-up alarm and power control from the shell")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "Headers, static libraries, CMake package config and pkg-config file of the sysutils base module and log facility")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "sysutils developers <sysutils@localhost>")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${SYSUTILS_DEBIAN_ARCHITECTURE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME sysutils)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME sysutils-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libc6-dev")
if(SYSUTILS_BUILD_SHARED)
  string(APPEND CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS ", sysutils (= ${PROJECT_VERSION})")
endif()

# The runtime package needs the C library only. dpkg-shlibdeps finds the
# version where it knows the target's libraries (host builds); for a cross
# build the dependency is computed at packaging time from the binaries' own
# version references (cmake/PackageDepends.cmake).
find_program(SYSUTILS_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(SYSUTILS_DPKG_SHLIBDEPS AND NOT CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
else()
  set(runtime_files "$<TARGET_FILE:chipid>;$<TARGET_FILE:sysutil>")
  if(SYSUTILS_BUILD_SHARED)
    string(APPEND runtime_files ";$<TARGET_FILE:sysutils_shared>")
  endif()
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/CPackRuntimeFiles.cmake
       CONTENT "set(SYSUTILS_RUNTIME_FILES \"${runtime_files}\")\nset(SYSUTILS_OBJDUMP \"${CMAKE_OBJDUMP}\")\n")
  set(CPACK_SYSUTILS_RUNTIME_FILES_LIST ${PROJECT_BINARY_DIR}/CPackRuntimeFiles.cmake)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageDepends.cmake)
endif()

include(CPack)
