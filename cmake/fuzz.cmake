# Fuzz targets. With PROBIX_FUZZ (clang only) everything is built with
# coverage for libFuzzer and the targets are fuzzers (scripts/test-fuzz.sh
# runs them). Without it each target is a plain program that runs its
# checked-in seeds once, as a test, so a seed that once found a fault keeps
# guarding against it in every build that runs here.
option(PROBIX_FUZZ "Build the fuzz targets as libFuzzer fuzzers (needs clang)" OFF)
if(PROBIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PROBIX_FUZZ needs clang (CXX=clang++)")
  endif()
  add_compile_options(-g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# probix_fuzz_target(<name> SOURCES <files> LIBS <targets> CORPUS <folder>)
function(probix_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  foreach(lib ${F_LIBS})
    if(NOT TARGET ${lib})
      return()
    endif()
  endforeach()
  if(PROBIX_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  elseif(NOT CMAKE_CROSSCOMPILING)
    add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz_replay.cpp)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    file(GLOB seeds CONFIGURE_DEPENDS ${F_CORPUS}/*)
    add_test(NAME ${name}_seeds COMMAND ${name} ${seeds})
    set_tests_properties(${name}_seeds PROPERTIES LABELS fuzz TIMEOUT 60)
  endif()
endfunction()

function(probix_fuzz_targets)
  probix_fuzz_target(wire_fuzz SOURCES ${PROJECT_SOURCE_DIR}/csta32/fuzz/wire_fuzz.cpp
    LIBS csta32_wire CORPUS ${PROJECT_SOURCE_DIR}/csta32/fuzz/corpus/wire_fuzz)
  probix_fuzz_target(private_fuzz SOURCES ${PROJECT_SOURCE_DIR}/telephony/fuzz/private_fuzz.cpp
    LIBS shell CORPUS ${PROJECT_SOURCE_DIR}/telephony/fuzz/corpus/private_fuzz)
  probix_fuzz_target(profile_fuzz SOURCES ${PROJECT_SOURCE_DIR}/console/fuzz/profile_fuzz.cpp
    LIBS console CORPUS ${PROJECT_SOURCE_DIR}/console/fuzz/corpus/profile_fuzz)
  probix_fuzz_target(telsim_config_fuzz SOURCES ${PROJECT_SOURCE_DIR}/simulator/fuzz/config_fuzz.cpp
    LIBS simulator CORPUS ${PROJECT_SOURCE_DIR}/simulator/fuzz/corpus/telsim_config_fuzz)
  probix_fuzz_target(telsrvr_fuzz SOURCES ${PROJECT_SOURCE_DIR}/voxbridge/fuzz/telsrvr_fuzz.cpp
    LIBS voxbridge_core CORPUS ${PROJECT_SOURCE_DIR}/voxbridge/fuzz/corpus/telsrvr_fuzz)
endfunction()
