# cpack -G DEB, then the runtime package unpacked into a scratch root with
# chipid and sysutil run from it, and both packages' control fields.
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
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${work}/packages
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()

set(runtime ${work}/packages/sysutils_${VERSION}_${architecture}.deb)
set(development ${work}/packages/sysutils-dev_${VERSION}_${architecture}.deb)
expect_file(${runtime})
expect_file(${development})

function(expect_field package field pattern)
  run_checked(${DPKG_DEB} -f ${package} ${field})
  string(STRIP "${run_output}" value)
  if(NOT value MATCHES "${pattern}")
    message(FATAL_ERROR "${package}: ${field} is '${value}', expected '${pattern}'")
  endif()
endfunction()

expect_field(${runtime} Package "^sysutils$")
expect_field(${runtime} Version "^${VERSION}$")
expect_field(${runtime} Architecture "^${architecture}$")
expect_field(${runtime} Depends "^libc6 \\(>= [0-9]+(\\.[0-9]+)+\\)$")
expect_field(${development} Package "^sysutils-dev$")
expect_field(${development} Version "^${VERSION}$")
expect_field(${development} Architecture "^${architecture}$")
expect_field(${development} Depends "^libc6-dev")

# The development package holds the headers, libraries and descriptions, and
# only the public headers.
run_checked(${DPKG_DEB} -c ${development})
set(listing "${run_output}")
foreach(file IN ITEMS include/sysutils/su_base.h include/sysutils/qor_log.h
                      include/sysutils/android_log.h ${LIBDIR}/libsysutils_base.a
                      ${LIBDIR}/libsysutils_log.a ${LIBDIR}/cmake/sysutils/sysutilsConfig.cmake
                      ${LIBDIR}/pkgconfig/sysutils.pc)
  string(FIND "${listing}" "./usr/${file}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "sysutils-dev lacks /usr/${file}:\n${listing}")
  endif()
endforeach()
if(listing MATCHES "owners\\.h|/bin/")
  message(FATAL_ERROR "sysutils-dev holds more than the development files:\n${listing}")
endif()

# The runtime package alone, unpacked, runs.
set(root ${work}/root)
run_checked(${DPKG} -x ${runtime} ${root})
# chipid cannot read the registers here; its line and status stay the same.
run_target_program(${root}/usr/${BINDIR}/chipid)
if(NOT run_status EQUAL 0 OR NOT run_output MATCHES "^CHIP ID: [0-9a-f]*\n$")
  message(FATAL_ERROR "chipid from the package: status ${run_status}, output '${run_output}'")
endif()
run_target_program(${root}/usr/${BINDIR}/sysutil version)
if(NOT run_status EQUAL 0 OR NOT run_output STREQUAL "version: SYSUTILS-${VERSION}\n")
  message(FATAL_ERROR "sysutil from the package: status ${run_status}, output '${run_output}'")
endif()
file(GLOB_RECURSE unpacked RELATIVE ${root} ${root}/*)
foreach(file IN LISTS unpacked)
  if(NOT file MATCHES "^usr/${BINDIR}/(chipid|sysutil)$|^usr/${LIBDIR}/libsysutils\\.so")
    message(FATAL_ERROR "unexpected file in the runtime package: ${file}")
  endif()
endforeach()
