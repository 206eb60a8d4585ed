# SPDX-License-Identifier: MIT
# cmake --install into a scratch prefix, then a C and a C++ consumer built
# against it with find_package and with pkg-config, and run.
# Sanitizer builds would need the sanitizers' runtimes in every consumer:
# installs are tested on plain builds.
if("${C_FLAGS} ${CXX_FLAGS}" MATCHES "-fsanitize")
  message(FATAL_ERROR "SKIPPED: sanitizer build; installs are tested on plain builds")
endif()
if(NOT PKG_CONFIG)
  message(FATAL_ERROR "SKIPPED: pkg-config is not installed")
endif()

function(run_checked)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${SCRATCH}/install/prefix)
file(REMOVE_RECURSE ${SCRATCH}/install)
run_checked(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The installed tree: public headers only, the libraries, both commands and
# both package descriptions.
foreach(file IN ITEMS
    include/sysutils/su_base.h include/sysutils/qor_log.h include/sysutils/android_log.h
    ${LIBDIR}/libsysutils_base.a ${LIBDIR}/libsysutils_log.a
    bin/chipid bin/sysutil
    ${LIBDIR}/cmake/sysutils/sysutilsConfig.cmake
    ${LIBDIR}/cmake/sysutils/sysutilsConfigVersion.cmake
    ${LIBDIR}/pkgconfig/sysutils.pc)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
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
  if(NOT EXISTS ${prefix}/${LIBDIR}/libsysutils.so)
    message(FATAL_ERROR "not installed: ${LIBDIR}/libsysutils.so")
  endif()
  list(APPEND modes shared)
endif()
foreach(mode IN LISTS modes)
  set(build ${SCRATCH}/install/consumer-${mode})
  set(configure ${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${build} -G ${GENERATOR}
      -DSYSUTILS_CONSUME=${mode} -DSYSUTILS_EXPECTED_VERSION=${VERSION}
      -DCMAKE_PREFIX_PATH=${prefix} -DPKG_CONFIG_EXECUTABLE=${PKG_CONFIG}
      "-DCMAKE_C_FLAGS=${C_FLAGS}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
      "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}")
  if(TOOLCHAIN_FILE)
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
    execute_process(COMMAND ${EMULATOR} ${build}/${consumer}
                    RESULT_VARIABLE run_status OUTPUT_VARIABLE run_output ERROR_VARIABLE run_error)
    if(NOT run_status EQUAL 0)
      message(FATAL_ERROR "${mode} ${consumer} exited ${run_status}\n${run_output}${run_error}")
    endif()
    if(NOT run_output MATCHES "^logged from ${consumer}\nversion: SYSUTILS-${VERSION}\n$")
      message(FATAL_ERROR "${mode} ${consumer} printed:\n${run_output}${run_error}")
    endif()
  endforeach()
endforeach()
