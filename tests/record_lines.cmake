# Checks that a file of fixed-width records holds nothing but whole records:
# each exactly WIDTH characters and then CR LF, with no stray bytes between
# them (collectors glue anything extra onto the next record).
#
#   cmake -DFILE=<path> -DWIDTH=<n> -DCOUNT=<n> -P record_lines.cmake

# tests/CMakeLists.txt includes every *.cmake here; this one only runs as a script.
if(NOT CMAKE_SCRIPT_MODE_FILE)
  return()
endif()

if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "no record file ${FILE}")
endif()
file(READ "${FILE}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR record "(${WIDTH} + 2) * 2")
math(EXPR records "${digits} / ${record}")
math(EXPR rest "${digits} % ${record}")
if(NOT rest EQUAL 0 OR NOT records EQUAL COUNT)
  math(EXPR bytes "${digits} / 2")
  message(FATAL_ERROR "${FILE}: ${bytes} bytes, not ${COUNT} records of ${WIDTH} characters and CR LF")
endif()
math(EXPR last "${records} - 1")
foreach(i RANGE ${last})
  math(EXPR at "${i} * ${record}")
  math(EXPR body "${WIDTH} * 2")
  string(SUBSTRING "${hex}" ${at} ${body} text)
  math(EXPR at "${at} + ${body}")
  string(SUBSTRING "${hex}" ${at} 4 ending)
  if(NOT ending STREQUAL "0d0a")
    message(FATAL_ERROR "${FILE}: record ${i} ends in ${ending}, not CR LF")
  endif()
  foreach(b RANGE 0 ${body} 2)
    if(b LESS body)
      string(SUBSTRING "${text}" ${b} 2 byte)
      if(byte STREQUAL "0d" OR byte STREQUAL "0a" OR byte STREQUAL "00")
        message(FATAL_ERROR "${FILE}: record ${i} holds byte ${byte}")
      endif()
    endif()
  endforeach()
endforeach()
