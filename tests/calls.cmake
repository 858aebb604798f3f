# End-to-end runs of probix32's call, query, feature and monitor commands
# against the embedded simulator: each test feeds tests/data/calls/<name>.in
# to the program in a fresh directory and compares everything it prints with
# <name>.expected. The scripts switch delay stamps off; the switch answers at
# once, so the events each step produces come out in a fixed order.

set(CALLS_DATA ${CMAKE_CURRENT_LIST_DIR}/data/calls)
set(CALLS_RUNS ${CMAKE_BINARY_DIR}/tests/calls)

function(calls_transcript name)
  # A scenario of the same name sets the switch up before the program starts.
  set(env "")
  if(EXISTS ${CALLS_DATA}/${name}.scn)
    set(env "TELSIM_SCENARIO=${CALLS_DATA}/${name}.scn")
  endif()
  probix_transcript_test(calls_${name} ${name} DATA ${CALLS_DATA} RUNS ${CALLS_RUNS}
    ARGS -sprobix.ini COPY ${CALLS_DATA}/probix.ini ENVIRONMENT ${env})
endfunction()

# Made, answered, held, retrieved, consulted, transferred, conferenced and
# cleared between extensions, with the events of each step.
calls_transcript(extensions)
# An outside call through a line, device and call snapshots, line reports.
calls_transcript(trunk)
# Do not disturb and message waiting set and queried, forwarding (set up by
# the switch's scenario) queried, a monitor started and ended by its device.
calls_transcript(features)
