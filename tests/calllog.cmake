# End-to-end runs of probix32 as an unattended call-detail recorder (-m-)
# against the embedded simulator. Each feeds tests/data/calllog/<name>.in
# to the program, compares what it prints with <name>.expected and the call
# log it leaves with <name>.CALLS.LOG. Times and durations in the records
# vary with the wall clock and are masked.

set(CALLLOG_DATA ${CMAKE_CURRENT_LIST_DIR}/data/calllog)
set(CALLLOG_RUNS ${CMAKE_BINARY_DIR}/tests/calllog)
set(CALLLOG_MASKS
  "[0-9][0-9]/[0-9][0-9]/[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]"
  "[0-9][0-9]/[0-9][0-9] [0-9][0-9]:[0-9][0-9]  [0-9][0-9]:[0-9][0-9]:[0-9][0-9]"
  " [0-9]+:[0-9][0-9]"
  "[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][IG]")

# calllog_transcript(<name> [COPY files...] [FILES name=expected...])
function(calllog_transcript name)
  cmake_parse_arguments(T "" "" "COPY;FILES" ${ARGN})
  # A scenario of the same name sets the switch up before the program starts.
  set(env "")
  if(EXISTS ${CALLLOG_DATA}/${name}.scn)
    set(env "TELSIM_SCENARIO=${CALLLOG_DATA}/${name}.scn")
  endif()
  probix_transcript_test(calllog_${name} ${name} DATA ${CALLLOG_DATA} RUNS ${CALLLOG_RUNS}
    ARGS -sprobix.ini -m- COPY ${T_COPY} FILES ${T_FILES} MASK ${CALLLOG_MASKS} ENVIRONMENT ${env})
endfunction()

# Logging opened from the profile at start-up onto a log that already holds
# a record (a restart appends); lines and extensions monitored; calls made,
# answered, held, transferred, conferenced, sent out through a line, left
# unanswered; logging closed (a call ends unwritten) and reopened in the
# Mitel layout. One record per call ended while logging was open.
calllog_transcript(unattended
  COPY ${CALLLOG_DATA}/probix.ini ${CALLLOG_DATA}/earlier/CALLS.LOG
  FILES CALLS.LOG=${CALLLOG_DATA}/unattended.CALLS.LOG)

# Outside calls from the switch's scenario, one forwarded, answered from
# here, one held, written in the Definity G3 layout.
calllog_transcript(inbound
  COPY ${CALLLOG_DATA}/probix.ini
  FILES CALLS.LOG=${CALLLOG_DATA}/inbound.CALLS.LOG)

if(NOT WIN32)
  # A device that is always full: each lost record is reported and counted.
  calllog_transcript(full_device COPY ${CALLLOG_DATA}/full/probix.ini)

  # Records through a real pseudo-terminal pair at 2400 baud, even parity,
  # 7 data bits, read whole at the other end; then the other end goes away
  # and the next record is reported lost. The script looks for socat and
  # stty when it runs and reports itself skipped without them.
  if(TARGET probix32)
    add_test(NAME calllog_serial_pty
      COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/calllog_pty.sh $<TARGET_FILE:probix32>
              ${CALLLOG_RUNS}/serial_pty)
    set_tests_properties(calllog_serial_pty PROPERTIES LABELS transcript TIMEOUT 120 SKIP_RETURN_CODE 77)
  endif()
endif()
