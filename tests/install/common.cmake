# SPDX-License-Identifier: MIT
# Shared by the install and package tests.
include(${CONFIG})

# Sanitizer builds need the sanitizers' runtimes in every consumer and in the
# packages' dependencies: what ships comes from plain builds.
if("${C_FLAGS} ${CXX_FLAGS}" MATCHES "-fsanitize")
  message(FATAL_ERROR "SKIPPED: sanitizer build; installs and packages are tested on plain builds")
endif()

function(run_checked)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

# Runs a program built for the target, through the emulator when cross-built.
function(run_target_program program)
  set(emulator)
  if(CROSSCOMPILING)
    set(emulator ${EMULATOR})
  endif()
  execute_process(COMMAND ${emulator} ${program} ${ARGN}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(run_status "${status}" PARENT_SCOPE)
  set(run_output "${out}" PARENT_SCOPE)
  set(run_error "${err}" PARENT_SCOPE)
endfunction()

function(skip_without tool what)
  if(NOT tool)
    message(FATAL_ERROR "SKIPPED: ${what} is not installed")
  endif()
endfunction()

function(expect_file path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "missing: ${path}")
  endif()
endfunction()

# Runs a program unpacked from the packages under root, with the packages'
# libraries, in a private mount namespace whose /dev is an empty tmpfs: a
# command such as chipid must not reach the machine's real devices. Skips
# where that namespace cannot be made (not root, no unshare).
find_program(UNSHARE unshare)
function(run_packaged_program root program)
  if(NOT UNSHARE)
    message(FATAL_ERROR "SKIPPED: unshare is not installed")
  endif()
  set(emulator)
  if(CROSSCOMPILING)
    set(emulator ${EMULATOR})
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${root}/usr/${LIBDIR}
            ${UNSHARE} --mount --propagation private
            sh -c "mount -t tmpfs sysutils-package-test /dev && exec \"$@\"" sh
            ${emulator} ${root}/usr/${program} ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(err MATCHES "^unshare: |mount: ")
    message(FATAL_ERROR "SKIPPED: no private mount namespace: ${err}")
  endif()
  set(run_status "${status}" PARENT_SCOPE)
  set(run_output "${out}" PARENT_SCOPE)
  set(run_error "${err}" PARENT_SCOPE)
endfunction()

# The packages of this build, made by cpack into directory.
function(build_packages directory)
  file(REMOVE_RECURSE ${directory})
  execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${directory}
                  WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${out}")
  endif()
endfunction()
