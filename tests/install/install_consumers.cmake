# SPDX-License-Identifier: MIT
# cmake --install into a scratch prefix, then a C and a C++ consumer built
# against it with find_package and with pkg-config, and run.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
skip_without("${PKG_CONFIG}" "pkg-config")

set(prefix ${SCRATCH}/install/prefix)
file(REMOVE_RECURSE ${SCRATCH}/install)
run_checked(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The installed tree: public headers only, the libraries, both commands and
# both package descriptions.
foreach(file IN ITEMS
    ${INCLUDEDIR}/sysutils/su_base.h ${INCLUDEDIR}/sysutils/qor_log.h
    ${INCLUDEDIR}/sysutils/android_log.h
    ${LIBDIR}/libsysutils_base.a ${LIBDIR}/libsysutils_log.a
    ${BINDIR}/chipid ${BINDIR}/sysutil
    ${LIBDIR}/cmake/sysutils/sysutilsConfig.cmake
    ${LIBDIR}/cmake/sysutils/sysutilsConfigVersion.cmake
    ${LIBDIR}/pkgconfig/sysutils.pc)
  expect_file(${prefix}/${file})
endforeach()
file(GLOB_RECURSE headers RELATIVE ${prefix} ${prefix}/*.h)
list(LENGTH headers header_count)
if(NOT header_count EQUAL 3)
  message(FATAL_ERROR "installed headers other than the three public ones: ${headers}")
endif()
# Nothing installed may point back into the source or build tree.
file(GLOB_RECURSE descriptions ${prefix}/*.cmake ${prefix}/*.pc)
foreach(file IN LISTS descriptions)
  file(READ ${file} text)
  foreach(tree IN ITEMS "${SOURCE_DIR}" "${BUILD_DIR}")
    string(FIND "${text}" "${tree}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${file} refers to ${tree}")
    endif()
  endforeach()
endforeach()

set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/${LIBDIR}/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
run_checked(${PKG_CONFIG} --modversion sysutils)
if(NOT run_output STREQUAL "${VERSION}\n")
  message(FATAL_ERROR "pkg-config --modversion sysutils: ${run_output}")
endif()

set(modes find_package pkg-config)
if(SHARED)
  expect_file(${prefix}/${LIBDIR}/libsysutils.so)
  list(APPEND modes shared)
endif()
foreach(mode IN LISTS modes)
  set(build ${SCRATCH}/install/consumer-${mode})
  set(configure ${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${build} -G ${GENERATOR}
      -DSYSUTILS_CONSUME=${mode} -DSYSUTILS_EXPECTED_VERSION=${VERSION}
      -DCMAKE_PREFIX_PATH=${prefix} -DPKG_CONFIG_EXECUTABLE=${PKG_CONFIG}
      "-DCMAKE_C_FLAGS=${C_FLAGS}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
      "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}")
  if(CROSSCOMPILING)
    # The toolchain confines searches to the target's root; the scratch
    # prefix stands for the target's staging tree.
    list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -DCMAKE_STAGING_PREFIX=${prefix})
  else()
    list(APPEND configure -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
  endif()
  run_checked(${configure})
  run_checked(${CMAKE_COMMAND} --build ${build})

  # A cross-built consumer's run path names the library's place on the
  # target, not in the scratch prefix.
  set(ENV{LD_LIBRARY_PATH} ${prefix}/${LIBDIR})
  foreach(consumer IN ITEMS consumer_c consumer_cxx)
    run_target_program(${build}/${consumer})
    if(NOT run_status EQUAL 0)
      message(FATAL_ERROR "${mode} ${consumer} exited ${run_status}\n${run_output}${run_error}")
    endif()
    if(NOT run_output MATCHES "^logged from ${consumer}\nversion: SYSUTILS-${VERSION}\n$")
      message(FATAL_ERROR "${mode} ${consumer} printed:\n${run_output}${run_error}")
    endif()
  endforeach()
endforeach()
