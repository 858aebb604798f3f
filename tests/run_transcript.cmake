# Runs probix32 once as a process and compares its whole standard output with
# an expected transcript.
#
#   cmake -DPROGRAM=<exe> -DEXPECTED=<file> -DWORKDIR=<dir>
#         [-DEMULATOR=a|b] [-DARGS=a|b|c] [-DINPUT=<file>] [-DSTATUS=<n>]
#         [-DCOPY=f1|f2] [-DFILES=name=expected|...] [-DMASK=regex|...]
#         [-DDROP=regex|...]
#         -P run_transcript.cmake
#
# Lists use | instead of ; so they survive add_test. The program runs in a
# fresh WORKDIR (COPY files are put there first) with INPUT as its standard
# input. Time stamps become <TIME> and CR LF becomes LF before comparing.
# FILES compares files the program left in WORKDIR the same way. MASK lists
# regular expressions for what varies from run to run (rates, durations):
# within each match, after the time stamps are replaced, every number becomes
# <N> and every run of blanks and tabs one blank (column padding follows the
# numbers' width), in the output and in the expected text alike. A mask can
# use neither | nor a line end. DROP lists regular expressions for what is
# shown or not depending on a millisecond (a figure printed only when above
# zero): every match is removed from both texts before the masks apply.

# tests/CMakeLists.txt includes every *.cmake here; this one only runs as a script.
if(NOT CMAKE_SCRIPT_MODE_FILE)
  return()
endif()

foreach(required PROGRAM EXPECTED WORKDIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "run_transcript: ${required} is not set")
  endif()
endforeach()
if(NOT DEFINED STATUS)
  set(STATUS 0)
endif()

string(REPLACE "|" ";" emulator "${EMULATOR}")
string(REPLACE "|" ";" args "${ARGS}")
string(REPLACE "|" ";" copies "${COPY}")
string(REPLACE "|" ";" checks "${FILES}")
string(REPLACE "|" ";" masks "${MASK}")
string(REPLACE "|" ";" drops "${DROP}")

file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")
foreach(f IN LISTS copies)
  file(COPY "${f}" DESTINATION "${WORKDIR}")
endforeach()

if(NOT INPUT)
  set(INPUT "${WORKDIR}/empty.input")
  file(WRITE "${INPUT}" "")
endif()

execute_process(
  COMMAND ${emulator} "${PROGRAM}" ${args}
  WORKING_DIRECTORY "${WORKDIR}"
  INPUT_FILE "${INPUT}"
  OUTPUT_VARIABLE actual
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
  TIMEOUT 120)

# Same text on every system and at every hour.
function(normalise var)
  set(text "${${var}}")
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REGEX REPLACE "[0-9][0-9][A-Z][a-z][a-z][0-9][0-9][0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]"
         "<TIME>" text "${text}")
  foreach(drop IN LISTS drops)
    string(REGEX REPLACE "${drop}" "" text "${text}")
  endforeach()
  foreach(mask IN LISTS masks)
    set(done "")
    while(text MATCHES "${mask}")
      set(hit "${CMAKE_MATCH_0}")
      if(hit STREQUAL "")
        break()
      endif()
      # The leftmost match: any earlier copy of the same text would match too.
      string(FIND "${text}" "${hit}" at)
      string(LENGTH "${hit}" length)
      string(SUBSTRING "${text}" 0 ${at} before)
      math(EXPR after "${at} + ${length}")
      string(SUBSTRING "${text}" ${after} -1 text)
      string(REGEX REPLACE "[0-9]+(\\.[0-9]+)?" "<N>" hit "${hit}")
      string(REGEX REPLACE "[ \t]+" " " hit "${hit}")
      string(APPEND done "${before}${hit}")
    endwhile()
    set(text "${done}${text}")
  endforeach()
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

set(failures "")

normalise(actual)
file(WRITE "${WORKDIR}/actual.out" "${actual}")
set(expected "")
if(EXISTS "${EXPECTED}")
  file(READ "${EXPECTED}" expected)
  normalise(expected)
else()
  string(APPEND failures "no expected transcript ${EXPECTED}\n")
endif()
if(NOT actual STREQUAL expected)
  string(APPEND failures
         "standard output differs from ${EXPECTED}\n"
         "(actual output kept in ${WORKDIR}/actual.out)\n"
         "---- expected\n${expected}---- actual\n${actual}----\n")
endif()

if(NOT "${status}" STREQUAL "${STATUS}")
  string(APPEND failures "exit status ${status}, expected ${STATUS}\n")
endif()

foreach(check IN LISTS checks)
  string(FIND "${check}" "=" eq)
  string(SUBSTRING "${check}" 0 ${eq} name)
  math(EXPR from "${eq} + 1")
  string(SUBSTRING "${check}" ${from} -1 wanted)
  if(NOT EXISTS "${WORKDIR}/${name}")
    string(APPEND failures "file ${name} was not written\n")
    continue()
  endif()
  file(READ "${WORKDIR}/${name}" got)
  file(READ "${wanted}" want)
  normalise(got)
  normalise(want)
  if(NOT got STREQUAL want)
    string(APPEND failures "file ${name} differs from ${wanted}\n---- expected\n${want}---- actual\n${got}----\n")
  endif()
endforeach()

if(failures)
  if(errors)
    string(APPEND failures "standard error:\n${errors}\n")
  endif()
  message(FATAL_ERROR "${failures}")
endif()
