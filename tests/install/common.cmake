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
