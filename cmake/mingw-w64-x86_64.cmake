# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which
# std::thread and std::mutex need) and runs the built programs under wine:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DQV_HIDAPI_WINDOWS_DIR=<folder made by scripts/build-hidapi-windows>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QV_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QV_MINGW_TRIPLET}-windres)

# Libraries and headers come from the mingw sysroot only; programs (code generators, git) from
# the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread are linked in, so that a program and a DLL import
# nothing but Windows' own DLLs (and hidapi.dll) and run from any folder they are copied to.
set(QV_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${QV_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${QV_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${QV_MINGW_STATIC_RUNTIME}")

# ctest, gtest_discover_tests and add_test run the programs through wine, in the prefix named
# by WINEPREFIX (scripts/wine-prefix prepares one).
get_filename_component(QV_TOOLCHAIN_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${QV_TOOLCHAIN_SOURCE_DIR}/scripts/wine-run")
