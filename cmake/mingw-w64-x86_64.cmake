# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit Windows with mingw-w64 (Debian's g++-mingw-w64-x86-64-posix); the test
# binaries run under Wine through CTest. The -posix compilers are needed: GoogleTest does not
# build with the win32 thread model.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DPELORIN_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PELORIN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PELORIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELORIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PELORIN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELORIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe each: Wine then needs no mingw runtime DLLs on its path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest starts every test binary through Wine. scripts/test-windows.sh sets up the prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64 CACHE FILEPATH "Runs a Windows program")
