# SPDX-License-Identifier: MIT
# cpack -G DEB: the packages' names, control fields and contents, then all of
# them unpacked into a scratch root with chipid and sysutil run from it.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
skip_without("${DPKG_DEB}" "dpkg-deb")
skip_without("${DPKG}" "dpkg")

# The architecture the packages must declare, found independently of the
# packaging rules.
if(CROSSCOMPILING)
  set(architecture "${SYSTEM_PROCESSOR}")
else()
  run_checked(${DPKG} --print-architecture)
  string(STRIP "${run_output}" architecture)
endif()

set(work ${SCRATCH}/deb)
build_packages(${work}/packages)

# Package, its fields (field=pattern), then the files it must hold; a file
# may be a link, written link->target.
set(library_depends "libsysutils1 \\(= ${VERSION}\\)")
set(packages sysutils sysutils-dev)
set(sysutils_fields "Section=^admin$" "Multi-Arch=^(no)?$")
set(sysutils_files bin/chipid bin/sysutil share/man/man1/chipid.1.gz share/man/man1/sysutil.1.gz
    share/bash-completion/completions/sysutil)
set(sysutils-dev_fields "Section=^libdevel$" "Multi-Arch=^same$")
set(sysutils-dev_files include/sysutils/su_base.h include/sysutils/qor_log.h
    include/sysutils/android_log.h ${LIBDIR}/libsysutils_base.a ${LIBDIR}/libsysutils_log.a
    ${LIBDIR}/cmake/sysutils/sysutilsConfig.cmake ${LIBDIR}/pkgconfig/sysutils.pc
    share/man/man3/su_base.3.gz share/man/man3/qor_log.3.gz share/man/man3/android_log.3.gz
    share/man/man3/SU_Base_GetTime.3.gz->su_base.3.gz
    share/man/man3/qor_log_lock.3.gz->qor_log.3.gz
    share/man/man3/__android_log_set_logger.3.gz->android_log.3.gz)
if(SHARED)
  list(APPEND packages libsysutils1)
  set(libsysutils1_fields "Section=^libs$" "Multi-Arch=^same$"
      "Depends=^libc6 \\(>= [0-9]+(\\.[0-9]+)+\\)$")
  set(libsysutils1_files ${LIBDIR}/libsysutils.so.1->libsysutils.so.${VERSION}
      ${LIBDIR}/libsysutils.so.${VERSION})
  list(APPEND sysutils_fields "Depends=^libc6 \\(>= [0-9]+(\\.[0-9]+)+\\), ${library_depends}$")
  list(APPEND sysutils-dev_fields "Depends=^libc6-dev, ${library_depends}$")
  list(APPEND sysutils-dev_files ${LIBDIR}/libsysutils.so->libsysutils.so.1
       ${LIBDIR}/pkgconfig/sysutils-shared.pc)
else()
  list(APPEND sysutils_fields "Depends=^libc6 \\(>= [0-9]+(\\.[0-9]+)+\\)$")
  list(APPEND sysutils-dev_fields "Depends=^libc6-dev$")
endif()

set(root ${work}/root)
foreach(package IN LISTS packages)
  set(deb ${work}/packages/${package}_${VERSION}_${architecture}.deb)
  expect_file(${deb})
  foreach(field IN ITEMS "Package=^${package}$" "Version=^${VERSION}$"
                         "Architecture=^${architecture}$" ${${package}_fields})
    string(REGEX MATCH "^[^=]+" name "${field}")
    string(REGEX REPLACE "^[^=]+=" "" pattern "${field}")
    run_checked(${DPKG_DEB} -f ${deb} ${name})
    string(STRIP "${run_output}" value)
    if(NOT value MATCHES "${pattern}")
      message(FATAL_ERROR "${package}: ${name} is '${value}', expected '${pattern}'")
    endif()
  endforeach()

  # Owned by root, and every package has its copyright and changelog.
  run_checked(${DPKG_DEB} -c ${deb})
  set(listing "${run_output}")
  string(REGEX REPLACE "[^ \n]+ root/root [^\n]*\n" "" not_root "${listing}")
  if(NOT not_root STREQUAL "")
    message(FATAL_ERROR "${package}: files not owned by root:\n${not_root}")
  endif()
  foreach(file IN LISTS ${package}_files ITEMS share/doc/${package}/copyright
                                               share/doc/${package}/changelog.gz)
    string(REPLACE "->" " -> " file "${file}")
    string(FIND "${listing}" " ./usr/${file}\n" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${package} lacks /usr/${file}:\n${listing}")
    endif()
  endforeach()

  # The ldconfig trigger instead of maintainer scripts; shlibs.
  file(REMOVE_RECURSE ${work}/control)
  run_checked(${DPKG_DEB} --control ${deb} ${work}/control)
  file(GLOB control_files RELATIVE ${work}/control ${work}/control/*)
  set(expected_control control md5sums)
  if(package STREQUAL "libsysutils1")
    list(APPEND expected_control shlibs triggers)
    file(READ ${work}/control/triggers triggers)
    file(READ ${work}/control/shlibs shlibs)
    if(NOT triggers STREQUAL "activate-noawait ldconfig\n"
       OR NOT shlibs STREQUAL "libsysutils 1 libsysutils1 (>= ${VERSION})\n")
      message(FATAL_ERROR "libsysutils1: triggers '${triggers}', shlibs '${shlibs}'")
    endif()
  endif()
  list(SORT control_files)
  list(SORT expected_control)
  if(NOT control_files STREQUAL expected_control)
    message(FATAL_ERROR "${package}: control files ${control_files}, expected ${expected_control}")
  endif()

  run_checked(${DPKG} -x ${deb} ${root})
endforeach()

# Only the public headers, and no command outside sysutils.
file(GLOB_RECURSE headers RELATIVE ${root} ${root}/*.h)
list(LENGTH headers header_count)
file(GLOB_RECURSE commands RELATIVE ${root} ${root}/usr/${BINDIR}/*)
list(LENGTH commands command_count)
if(NOT header_count EQUAL 3 OR NOT command_count EQUAL 2)
  message(FATAL_ERROR "unexpected headers or commands: ${headers} ${commands}")
endif()

# Each function's manual page link leads to a page that names the function.
file(GLOB man3 ${root}/usr/share/man/man3/*.3.gz)
foreach(link IN LISTS man3)
  if(NOT IS_SYMLINK ${link})
    continue()
  endif()
  file(READ_SYMLINK ${link} page)
  get_filename_component(function ${link} NAME)
  string(REGEX REPLACE "\\.3\\.gz$" "" function "${function}")
  string(REGEX REPLACE "\\.gz$" "" page "${page}")
  file(READ ${SOURCE_DIR}/man/${page} text)
  string(REGEX MATCH "\n\\.SH NAME\n[^.]*" names "${text}")
  if(NOT names MATCHES "[\n ]${function}[,\n ]")
    message(FATAL_ERROR "man3/${function}.3.gz leads to ${page}, whose NAME lacks it")
  endif()
endforeach()

# The commands, unpacked, run with the packages' library. chipid cannot read
# the registers here; its line and status stay the same.
run_packaged_program(${root} ${BINDIR}/chipid)
if(NOT run_status EQUAL 0 OR NOT run_output MATCHES "^CHIP ID: [0-9a-f]*\n$")
  message(FATAL_ERROR "chipid from the package: status ${run_status}, output '${run_output}${run_error}'")
endif()
run_packaged_program(${root} ${BINDIR}/sysutil version)
if(NOT run_status EQUAL 0 OR NOT run_output STREQUAL "version: SYSUTILS-${VERSION}\n")
  message(FATAL_ERROR "sysutil from the package: status ${run_status}, output '${run_output}${run_error}'")
endif()
