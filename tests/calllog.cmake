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
  # The port is opened for this program alone; the unit tests use it too.
  if(TEST calllog_full_device)
    set_property(TEST calllog_full_device PROPERTY RESOURCE_LOCK dev_full)
  endif()

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

# Manual mode: the MiVB layout chosen with SET PBX_TYPE, logging opened into
# a file by hand, lines and extensions monitored; outside callers from the
# switch's scenario (answered, unanswered, forwarded), an internal and an
# outgoing call. Then the log is checked byte for byte: five records of 90
# characters, each ending in CR LF, nothing between them.
probix_transcript_test(calllog_mivb mivb DATA ${CALLLOG_DATA} RUNS ${CALLLOG_RUNS}
  ARGS -smivb.ini COPY ${CALLLOG_DATA}/mivb.ini
  FILES CALLS.LOG=${CALLLOG_DATA}/mivb.CALLS.LOG
  MASK ${CALLLOG_MASKS} "  [0-9][0-9][0-9] "
  ENVIRONMENT TELSIM_SCENARIO=${CALLLOG_DATA}/mivb.scn)
if(TEST calllog_mivb)
  set_tests_properties(calllog_mivb PROPERTIES FIXTURES_SETUP calllog_mivb_log)
  add_test(NAME calllog_mivb_line_ends
    COMMAND ${CMAKE_COMMAND} -DFILE=${CALLLOG_RUNS}/mivb/CALLS.LOG -DWIDTH=90 -DCOUNT=5
            -P ${CMAKE_CURRENT_LIST_DIR}/record_lines.cmake)
  set_tests_properties(calllog_mivb_line_ends PROPERTIES FIXTURES_REQUIRED calllog_mivb_log
                       LABELS transcript)
endif()

# SMDR over TCP end to end: collectors are a small program of ours.
if(NOT WIN32 AND TARGET probix32)
  add_executable(smdr_collector ${CMAKE_CURRENT_LIST_DIR}/smdr_collector.cpp)
  target_link_libraries(smdr_collector PRIVATE platform)
  target_include_directories(smdr_collector PRIVATE ${CMAKE_SOURCE_DIR})
  add_test(NAME calllog_tcp_outputs
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/calllog_tcp.sh $<TARGET_FILE:probix32>
            $<TARGET_FILE:smdr_collector> ${CALLLOG_RUNS}/tcp_outputs)
  set_tests_properties(calllog_tcp_outputs PROPERTIES LABELS transcript TIMEOUT 120)
  # The layout named in the profile, from the first record, to file and socket.
  add_test(NAME calllog_layout_tcp
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/calllog_layout_tcp.sh $<TARGET_FILE:probix32>
            $<TARGET_FILE:smdr_collector> ${CALLLOG_RUNS}/layout_tcp)
  set_tests_properties(calllog_layout_tcp PROPERTIES LABELS transcript TIMEOUT 60)
endif()

# A file that takes only part of a record keeps whole lines only.
if(NOT WIN32 AND TARGET probix32)
  add_test(NAME calllog_whole_records
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/calllog_whole.sh $<TARGET_FILE:probix32>
            ${CALLLOG_RUNS}/whole_records)
  set_tests_properties(calllog_whole_records PROPERTIES LABELS transcript TIMEOUT 60)
endif()
