# Runs PROGRAM with ARGS; it must get as far as printing PATTERN and then fail.
# ctest's time-out on this test is what catches a crash that hangs instead.
execute_process(COMMAND ${PROGRAM} ${ARGS} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(status EQUAL 0)
  message(FATAL_ERROR "the program did not fail\n${out}${err}")
endif()
if(NOT out MATCHES "${PATTERN}")
  message(FATAL_ERROR "the program failed before '${PATTERN}':\n${out}${err}")
endif()
