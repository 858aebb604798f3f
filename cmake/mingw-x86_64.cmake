# Cross build for 64-bit Windows with mingw-w64 (x86_64), run under 64-bit
# Wine. The deliverables are 32-bit; this build exists so that every test can
# still run under Wine on hosts whose kernel runs no 32-bit programs
# (scripts/test-windows.sh picks it there).
#   cmake -S . -B build/windows64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# With the 32-bit Wine installed too, the `wine` launcher would pick the
# 32-bit loader; call the 64-bit loader itself.
find_program(WINE_PROGRAM NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_DEFAULT_PATH)
if(NOT WINE_PROGRAM)
  find_program(WINE_PROGRAM NAMES wine64)
endif()
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
