# SPDX-License-Identifier: MIT
# cmake -DGZIP=gzip -DINPUT=file -DOUTPUT=file.gz -P gzip-n.cmake
# Compresses without the name and time stamp (-n), so that the result depends
# on the content alone.
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
execute_process(COMMAND ${GZIP} -9 -n -c ${INPUT} OUTPUT_FILE ${OUTPUT}.tmp RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "gzip ${INPUT} failed")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
