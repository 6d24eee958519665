# Cross-building for 64-bit Windows with Debian's mingw-w64 (the POSIX
# threads flavour, which std::thread and std::mutex need):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs (and gtest_discover_tests) run under Wine; the tests put a
# wrapper of their own here that gives each run a private prefix.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(_wine NAMES wine64 wine PATHS /usr/lib/wine)
  if(_wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${_wine})
  endif()
endif()
