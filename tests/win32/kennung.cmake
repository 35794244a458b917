# The checker that reads the Windows programs' identification back under Wine through the APIs Windows
# itself uses (tests/e2e/test_win32.py).
# SPDX-License-Identifier: MIT
add_executable(kennungspruefer ${CMAKE_CURRENT_LIST_DIR}/../werkzeuge/kennungspruefer.cpp)
# The version is the project's, as the build derives it; the strings the checker writes out itself.
target_compile_definitions(kennungspruefer PRIVATE KENNUNG_VERSION=L"${DADAVIRU_VERSION}"
  KENNUNG_VERSION_NUMERISCH=${DADAVIRU_VERSION_NUMERISCH})
# Static, so Wine needs no MinGW DLL next to it.
target_compile_options(kennungspruefer PRIVATE -municode)
target_link_options(kennungspruefer PRIVATE -municode -static -static-libgcc -static-libstdc++)
target_link_libraries(kennungspruefer PRIVATE version oleaut32 ole32 shell32 dadaviru_flaggen)
