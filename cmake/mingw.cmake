# Cross-builds the Windows programs with Debian's mingw-w64 toolchain: for i686, as shipped, or for
# x86_64, where the tests must run under 64-bit Wine because the machine cannot run 32-bit code.
# SPDX-License-Identifier: MIT
set(DADAVIRU_MINGW_PREFIX i686-w64-mingw32 CACHE STRING "The mingw-w64 target: i686-w64-mingw32 or x86_64-w64-mingw32")
set(CMAKE_SYSTEM_NAME Windows)
if(DADAVIRU_MINGW_PREFIX MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

# The compilers with the posix thread model: GCC 12's win32 model has no std::mutex, which
# GoogleTest needs on Windows. Its winpthreads is linked statically like the rest of the runtime.
set(CMAKE_C_COMPILER ${DADAVIRU_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DADAVIRU_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DADAVIRU_MINGW_PREFIX}-windres)

# Libraries and headers come from the target's tree only; programs (widl, windres) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DADAVIRU_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
