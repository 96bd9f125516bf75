# Fails unless FILE is shipped lean: at most MAX_BYTES, no debug information of
# its own, and a .gnu_debuglink naming DEBUG_FILE, which lies beside it holding
# the debug information.
file(SIZE ${FILE} size)
execute_process(COMMAND ${OBJDUMP} -h ${FILE} OUTPUT_VARIABLE sections RESULT_VARIABLE result)
if(size GREATER MAX_BYTES OR NOT result EQUAL 0 OR sections MATCHES " \\.debug_")
  message(FATAL_ERROR "${FILE}: ${size} bytes (at most ${MAX_BYTES}), or debug sections left in:\n${sections}")
endif()
# objcopy always writes a copy too; both go to this test's own folder.
set(link ${CMAKE_CURRENT_BINARY_DIR}/debuglink.bin)
file(REMOVE ${link})
execute_process(COMMAND ${OBJCOPY} --dump-section .gnu_debuglink=${link} ${FILE} ${link}.exe)
file(REMOVE ${link}.exe)
set(named "")
if(EXISTS ${link})
  file(STRINGS ${link} named LIMIT_COUNT 1)
endif()
get_filename_component(debug_name ${DEBUG_FILE} NAME)
execute_process(COMMAND ${OBJDUMP} -h ${DEBUG_FILE} OUTPUT_VARIABLE sections RESULT_VARIABLE result)
if(NOT named STREQUAL debug_name OR NOT result EQUAL 0 OR NOT sections MATCHES " \\.debug_info ")
  message(FATAL_ERROR "${FILE} does not link ${debug_name} ('${named}'), or that holds no debug information")
endif()
