# End-to-end runs of probix32: each test starts the program as a process in a
# fresh directory, feeds tests/data/shell/<name>.in to its standard input and
# compares everything it prints with <name>.expected.

set(SHELL_DATA ${CMAKE_CURRENT_LIST_DIR}/data/shell)
set(SHELL_RUNS ${CMAKE_BINARY_DIR}/tests/shell)

# probix_transcript(<name> [ARGS a...] [STATUS n] [COPY f...] [FILES name=expected...])
# COPY and FILES paths are relative to tests/data/shell. The profile
# probix.ini is always copied; pass -sprobix.ini (or another) in ARGS.
function(probix_transcript name)
  cmake_parse_arguments(T "" "STATUS" "ARGS;COPY;FILES" ${ARGN})
  if(NOT DEFINED T_STATUS)
    set(T_STATUS 0)
  endif()
  set(copies ${SHELL_DATA}/probix.ini)
  foreach(f ${T_COPY})
    list(APPEND copies ${SHELL_DATA}/${f})
  endforeach()
  set(checks "")
  foreach(f ${T_FILES})
    string(REPLACE "=" "=${SHELL_DATA}/" f "${f}")
    list(APPEND checks "${f}")
  endforeach()
  probix_transcript_test(shell_${name} ${name} DATA ${SHELL_DATA} RUNS ${SHELL_RUNS}
    ARGS ${T_ARGS} STATUS ${T_STATUS} COPY ${copies} FILES ${checks})
endfunction()

# Banner, usage and the closing report of bad arguments.
probix_transcript(usage ARGS -sprobix.ini ?abc -?)
probix_transcript(bad_arguments ARGS -sprobix.ini -D bogus -dd -e5 STATUS 1)
probix_transcript(no_area_code ARGS -snoarea.ini COPY noarea.ini)
# Listing and help.
probix_transcript(help ARGS -sprobix.ini)
# Abbreviations, ambiguity, unknown words, keyword lists.
probix_transcript(abbreviations ARGS -sprobix.ini)
# Expert locking in automatic start-up, and EXPERT/NOEXPERT.
probix_transcript(expert ARGS -sprobix.ini -m-)
# Reports of the shell's own state.
probix_transcript(reports ARGS -sprobix.ini)
# Scripts: labels, forward and backward jumps, comments, nesting, -i order,
# and a lower-case script name on the @ line (file names keep their case).
probix_transcript(script ARGS -sprobix.ini -iscript.cmd COPY script.cmd)
probix_transcript(nested ARGS -sprobix.ini -ifirst.cmd -isecond.cmd
  COPY first.cmd second.cmd OUTER.CMD INNER.CMD innermost.cmd lower.cmd)
# Command log, report log file and the journal.
probix_transcript(logs ARGS -sprobix.ini
  FILES commands.CMD=logs.commands.CMD report.LOG=logs.report.LOG)
# Ways out: end of piped input, QUIT.
probix_transcript(end_of_input ARGS -sprobix.ini)
probix_transcript(quit ARGS -sprobix.ini)
# What a new user runs into: a profile that is no file (-s/dev/zero) and a
# folder given as a script (-i.), the open command log run as a script,
# names with more than one dot, a script with CR-only line ends and a NUL,
# and waits that are not a count of seconds.
probix_transcript(new_user ARGS -s/dev/zero -i.
  COPY my.test.cmd important FILES important=important important.log=new_user.important.log)
