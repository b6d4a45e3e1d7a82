# Cross-compiles the Windows build (x86-64) with Debian's MinGW-w64 compilers
# (package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# or, the same, cmake --preset mingw (CMakePresets.json).
# The programs are linked statically, so they need no runtime DLLs beside
# them, and run under Wine on the build machine (the tests' emulator).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KNITFOLD_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix thread model: the one whose runtime carries std::thread and
# std::mutex, which GoogleTest uses.
set(CMAKE_C_COMPILER ${KNITFOLD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KNITFOLD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KNITFOLD_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KNITFOLD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(KNITFOLD_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(KNITFOLD_WINE NAMES wine64 wine)
if(KNITFOLD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KNITFOLD_WINE})
endif()

# Debian has no Google Benchmark for MinGW-w64: a Windows build leaves the
# benchmarks out unless asked otherwise.
set(KNITFOLD_BUILD_BENCHMARKS OFF CACHE BOOL "Build the benchmarks")
