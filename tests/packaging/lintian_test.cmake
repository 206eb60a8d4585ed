# SPDX-License-Identifier: MIT
# The Debian packages of this build pass lintian with no error and no
# warning. With SYSUTILS_OTHER_ARCH_PACKAGES in the environment naming a
# directory that holds the packages of a build for another architecture
# (such as that build's directory after `cpack -G DEB`), the library and
# development packages of both architectures are installed side by side into
# a scratch dpkg root, and a C program is built against this architecture's
# shared library there and run. The machine's own dpkg database is never
# touched.
include(${CMAKE_CURRENT_LIST_DIR}/../install/common.cmake)
skip_without("${LINTIAN}" "lintian")
skip_without("${DPKG_DEB}" "dpkg-deb")

set(work ${SCRATCH}/lintian)
build_packages(${work}/packages)
file(GLOB packages ${work}/packages/*.deb)
if(NOT packages)
  message(FATAL_ERROR "cpack made no package")
endif()

# Informational tags may stay.
execute_process(COMMAND ${LINTIAN} --fail-on error,warning ${packages}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR out MATCHES "(^|\n)[EW]: ")
  message(FATAL_ERROR "lintian (status ${status}):\n${out}${err}")
endif()

set(other_packages "$ENV{SYSUTILS_OTHER_ARCH_PACKAGES}")
if(other_packages STREQUAL "")
  message(STATUS "SYSUTILS_OTHER_ARCH_PACKAGES not set: no side-by-side install")
  return()
endif()
skip_without("${DPKG}" "dpkg")
skip_without("${PKG_CONFIG}" "pkg-config")
if(NOT SHARED)
  message(FATAL_ERROR "SKIPPED: side by side needs the shared library (SYSUTILS_BUILD_SHARED)")
endif()

run_checked(${DPKG_DEB} -f ${work}/packages/libsysutils1_${VERSION}_${DEBIAN_ARCHITECTURE}.deb
            Architecture)
string(STRIP "${run_output}" architecture)
file(GLOB foreign ${other_packages}/libsysutils1_${VERSION}_*.deb
                  ${other_packages}/sysutils-dev_${VERSION}_*.deb)
list(FILTER foreign EXCLUDE REGEX "_${architecture}\\.deb$")
list(LENGTH foreign foreign_count)
if(NOT foreign_count EQUAL 2)
  message(FATAL_ERROR "${other_packages}: expected libsysutils1 and sysutils-dev of another "
                      "architecture, found: ${foreign}")
endif()
list(GET foreign 0 first_foreign)
run_checked(${DPKG_DEB} -f ${first_foreign} Architecture)
string(STRIP "${run_output}" foreign_architecture)

# A scratch root with its own database; the C library packages are not in it,
# hence --force-depends. Multi-Arch: same lets both architectures in only when
# their shared files are identical.
set(root ${work}/root)
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root}/var/lib/dpkg/info ${root}/var/lib/dpkg/updates)
file(WRITE ${root}/var/lib/dpkg/status "")
set(dpkg ${DPKG} --root=${root} --force-not-root --force-depends)
run_checked(${dpkg} --add-architecture ${architecture})
run_checked(${dpkg} --add-architecture ${foreign_architecture})
run_checked(${dpkg} --install ${work}/packages/libsysutils1_${VERSION}_${architecture}.deb
            ${work}/packages/sysutils-dev_${VERSION}_${architecture}.deb ${foreign})
foreach(arch IN ITEMS ${architecture} ${foreign_architecture})
  foreach(package IN ITEMS libsysutils1 sysutils-dev)
    run_checked(${dpkg} --status ${package}:${arch})
    if(NOT run_output MATCHES "\nStatus: install ok installed\n")
      message(FATAL_ERROR "${package}:${arch} not installed:\n${run_output}")
    endif()
  endforeach()
endforeach()

# A consumer of this architecture's shared library in the scratch root, found
# through its pkg-config file, which locates the root from its own place.
set(ENV{PKG_CONFIG_LIBDIR} ${root}/usr/${LIBDIR}/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
run_checked(${PKG_CONFIG} --cflags --libs sysutils-shared)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS} ${EXE_LINKER_FLAGS}")
set(consumer ${work}/consumer)
run_checked(${C_COMPILER} ${c_flags} -std=c99 -Wall -Wextra -Werror
            "-DEXPECTED_VERSION=\"SYSUTILS-${VERSION}\"" "-DCONSUMER=\"packaged consumer\""
            ${CONSUMER_SOURCE_DIR}/consumer.c ${flags} -o ${consumer})
set(emulator)
if(CROSSCOMPILING)
  set(emulator ${EMULATOR})
endif()
run_checked(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${root}/usr/${LIBDIR} ${emulator} ${consumer})
if(NOT run_output STREQUAL "logged from packaged consumer\nversion: SYSUTILS-${VERSION}\n")
  message(FATAL_ERROR "the consumer printed:\n${run_output}")
endif()
