# Runs the IVR example as its README says (examples/ivr/run.sh) with the
# scripted caller, and compares what it printed with ivr.expected; the bytes
# recorded vary with timing and read as N, and message.vox must hold them.
#   cmake -DSOURCE=<source root> -DBUILD=<build root> -DWORK=<scratch> -P run_ivr.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND bash ${SOURCE}/examples/ivr/run.sh ${BUILD}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ivr example failed (${rc}):\n${out}\n${err}")
endif()
string(REGEX MATCH "message recorded, ([0-9]+) bytes" recorded "${out}")
set(bytes ${CMAKE_MATCH_1})
string(REGEX REPLACE "message recorded, [0-9]+ bytes" "message recorded, N bytes" seen "${out}")
string(REGEX REPLACE "ivr: files in [^\n]*\n" "" seen "${seen}")
file(READ ${SOURCE}/tests/data/voxbridge/ivr.expected expected)
if(NOT seen STREQUAL expected)
  message(FATAL_ERROR "ivr example printed:\n${seen}\nexpected:\n${expected}\n${err}")
endif()
if(NOT bytes OR bytes LESS 8000)
  message(FATAL_ERROR "a message of ${bytes} bytes is shorter than the caller spoke")
endif()
file(SIZE ${WORK}/message.vox size)
if(NOT size EQUAL bytes)
  message(FATAL_ERROR "message.vox holds ${size} bytes, the library reported ${bytes}")
endif()
message(STATUS "ivr example: ${bytes} bytes recorded")
