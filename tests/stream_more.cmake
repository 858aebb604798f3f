# End-to-end runs of probix32's stream recovery and load test against the
# embedded simulator, set up by tests/data/stream_more/<name>.scn (run by the
# switch before the program connects). Each feeds <name>.in to the program
# in a fresh directory with the profile probix.ini and compares what it
# prints with <name>.expected (the runner is run_transcript.cmake).

set(STREAM_MORE_DATA ${CMAKE_CURRENT_LIST_DIR}/data/stream_more)
set(STREAM_MORE_RUNS ${CMAKE_BINARY_DIR}/tests/stream_more)

# stream_more_transcript(<name> [MASK regex...] [LABELS label...])
function(stream_more_transcript name)
  cmake_parse_arguments(T "REAL_CLOCK" "" "MASK;LABELS" ${ARGN})
  set(clock)
  if(T_REAL_CLOCK)
    set(clock REAL_CLOCK)
  endif()
  probix_transcript_test(stream_more_${name} ${name} DATA ${STREAM_MORE_DATA} RUNS ${STREAM_MORE_RUNS} ${clock}
    ARGS -sprobix.ini COPY ${STREAM_MORE_DATA}/probix.ini MASK ${T_MASK} LABELS ${T_LABELS}
    ENVIRONMENT "TELSIM_SCENARIO=${STREAM_MORE_DATA}/${name}.scn")
endfunction()

# The switch cuts the stream: the failure is shown, the first poll after it
# reopens the stream with TS2 (the first reopen of a run is not held back),
# says it is back, and a monitor is confirmed on it. Cut again within the
# second, the stream stays lost for a second: requests are refused, then the
# wait reopens it. The reopen's back-off runs on the wait clock, stepped here.
stream_more_transcript(reopen)
# Waiting out the minute, after which the stream comes back by itself, is
# run on the clock the unit tests move (telephony/events_test.cpp).
# The continuous-snapshot load test with two snapshots queued (a queue above
# ten refused first) and event reports off: one round's throughput lines,
# the per-second history, cleared and reported again.
stream_more_transcript(snapshots
  MASK "THRUPUT <TIME> [0-9.]+ seconds [0-9.]+"
       "PER_SECOND [0-9.]*[1-9][0-9.]* max[ \t]+[0-9.]+ min")
