# End-to-end runs of probix32's stream and event loop against the simulator
# embedded in the client library: each test starts the program in a fresh
# directory with the profile tests/data/stream/stream.ini, feeds
# tests/data/stream/<name>.in to it and compares what it prints with
# <name>.expected (the runner is run_transcript.cmake). The scripts switch
# delay stamps off; time stamps are normalised by the runner.

set(STREAM_DATA ${CMAKE_CURRENT_LIST_DIR}/data/stream)
set(STREAM_RUNS ${CMAKE_BINARY_DIR}/tests/stream)

# stream_transcript(<name> [FILES name=expected...]), FILES relative to
# tests/data/stream.
function(stream_transcript name)
  cmake_parse_arguments(T "" "" "FILES" ${ARGN})
  set(checks "")
  foreach(f ${T_FILES})
    string(REPLACE "=" "=${STREAM_DATA}/" f "${f}")
    list(APPEND checks "${f}")
  endforeach()
  probix_transcript_test(stream_${name} ${name} DATA ${STREAM_DATA} RUNS ${STREAM_RUNS}
    ARGS -sstream.ini COPY ${STREAM_DATA}/stream.ini FILES ${checks})
endfunction()

# CONNECT refusing server numbers 0 and 6, opening with the profile's values
# and with typed answers (closing the open stream first), writing the
# profile back; WATCH on ACK returning with the first confirmation (it would
# otherwise wait 600 seconds); DISCONNECT and its confirmation.
stream_transcript(connect FILES stream.ini=connect.ini.expected)
# Events shown by the idle poll with time stamps, ABORT_STREAM with and
# without a stream, and the abort of an open stream when the program ends.
stream_transcript(abort)
# The events of a call: a device monitor, a call made and hung up, events
# handled but not written while event reports are off.
stream_transcript(call_events)
