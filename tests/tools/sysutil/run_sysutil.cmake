# SPDX-License-Identifier: MIT
# Runs sysutil with ARGUMENTS ('|'-separated) and checks its exit status and
# its standard output and error together against EXPECTED_OUTPUT.
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
string(REPLACE "|" ";" emulator "${EMULATOR}")
string(REPLACE "|" ";" wrapper "${WRAPPER}")
execute_process(COMMAND ${wrapper} ${emulator} ${SYSUTIL} ${arguments}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status STREQUAL "${EXPECTED_STATUS}")
  message(FATAL_ERROR "sysutil ${arguments}: exit status ${status}, expected ${EXPECTED_STATUS}\n${output}")
endif()
if(NOT output MATCHES "${EXPECTED_OUTPUT}")
  message(FATAL_ERROR "sysutil ${arguments}: output does not match '${EXPECTED_OUTPUT}':\n${output}")
endif()
