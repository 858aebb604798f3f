# End-to-end runs of probix32's private commands against the simulator
# embedded in the client library: each test starts the program in a fresh
# directory with the profile tests/data/stream/stream.ini, the switch set up
# by tests/data/private/private.cfg (voice files in the run's directory) and
# setup.scn (an outside caller talking to 201 on call 1), feeds
# tests/data/private/<name>.in and compares what it prints with
# <name>.expected. Play and record times run on the switch's clock: what
# varies with them is masked.

set(PRIVATE_DATA ${CMAKE_CURRENT_LIST_DIR}/data/private)
set(PRIVATE_RUNS ${CMAKE_BINARY_DIR}/tests/private)

# private_transcript(<name> [REAL_CLOCK] [ENVIRONMENT var=value...])
function(private_transcript name)
  cmake_parse_arguments(T "REAL_CLOCK" "" "ENVIRONMENT" ${ARGN})
  set(clock)
  if(T_REAL_CLOCK)
    set(clock REAL_CLOCK)
  endif()
  probix_transcript_test(private_${name} ${name} DATA ${PRIVATE_DATA} RUNS ${PRIVATE_RUNS} ${clock}
    ARGS -sstream.ini
    COPY ${CMAKE_CURRENT_LIST_DIR}/data/stream/stream.ini ${PRIVATE_DATA}/private.cfg
         ${PRIVATE_DATA}/setup.scn ${PRIVATE_DATA}/greet.vox
    MASK "Since end: [0-9.]+" "msg.vox@[0-9]+"
    # A repeated play starts within milliseconds of the end before it: the
    # figure is shown only when the clock has moved on by then.
    DROP " +Since end: 0\\.[0-4][0-9]*"
         # The prompt a wait writes after each batch of events: how events
         # of real-time plays fall into batches varies with the machine.
         "\nPROBIX>\n"
    ENVIRONMENT TELSIM_CONFIG=private.cfg TELSIM_SCENARIO=setup.scn ${T_ENVIRONMENT})
endfunction()

# Get and set round trips of line, system, span, translation, board order
# and operator settings (the value set is the value read back); resources
# and versions by board; GET STREAM_INFO refusing 600 and then reporting.
private_transcript(settings)
# Caller ID of an incoming outside call, formatted and raw; CTI values;
# digits heard with LISTEN; a play with its reports and "Since end:",
# repeated plays; a record and its file; park and park information; the
# administration password.
# Plays and records last their time on the switch's clock, which runs five
# times as fast here, and the program's waits and stamps with it.
private_transcript(calls REAL_CLOCK ENVIRONMENT PROBIX_WAIT_CLOCK=x5 TELSIM_SPEED=5)
# A new user's first steps, with no drive folders yet: "~" at the file to
# play cancels, a name climbing out of the voice folder is not known, the
# first record makes the voice folder, a report ends with the lines there
# are, and input that ends inside SET SYSTEM_INFO sends no set.
probix_transcript_test(private_fresh fresh DATA ${PRIVATE_DATA} RUNS ${PRIVATE_RUNS}
  ARGS -sstream.ini
  COPY ${CMAKE_CURRENT_LIST_DIR}/data/stream/stream.ini ${PRIVATE_DATA}/setup.scn
  MASK "greet.vox@[0-9]+"
  ENVIRONMENT TELSIM_SCENARIO=setup.scn TELVANIX_DRIVES=drives)
