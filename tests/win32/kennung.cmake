# Identification of the Windows programs, read back under Wine through the APIs Windows itself uses.
# SPDX-License-Identifier: MIT
add_executable(kennungspruefer ${CMAKE_CURRENT_LIST_DIR}/../werkzeuge/kennungspruefer.cpp)
# The version is the project's, as the build derives it; the strings the checker writes out itself.
target_compile_definitions(kennungspruefer PRIVATE KENNUNG_VERSION=L"${DADAVIRU_VERSION}"
  KENNUNG_VERSION_NUMERISCH=${DADAVIRU_VERSION_NUMERISCH})
# Static, so Wine needs no MinGW DLL next to it.
target_compile_options(kennungspruefer PRIVATE -municode)
target_link_options(kennungspruefer PRIVATE -municode -static -static-libgcc -static-libstdc++)
target_link_libraries(kennungspruefer PRIVATE version oleaut32 ole32 shell32 dadaviru_flaggen)

foreach(programm Dadaviru Dadaviru_Autostart)
  add_test(NAME win32.kennung.${programm}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/kennung_test.sh ${DADAVIRU_WINEPREFIX}
            $<TARGET_FILE:${programm}> ${programm} $<TARGET_FILE:kennungspruefer>)
  # One Wine program at a time in the prefix, as in the other Windows tests.
  set_tests_properties(win32.kennung.${programm} PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix)
endforeach()
