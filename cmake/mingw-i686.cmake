# Cross-builds the 32-bit Windows programs with Debian's mingw-w64 toolchain for i686.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

# The compilers with the posix thread model: GCC 12's win32 model has no std::mutex, which
# GoogleTest needs on Windows. Its winpthreads is linked statically like the rest of the runtime.
set(DADAVIRU_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${DADAVIRU_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DADAVIRU_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DADAVIRU_MINGW_PREFIX}-windres)

# Libraries and headers come from the target's tree only; programs (widl, windres) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DADAVIRU_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
