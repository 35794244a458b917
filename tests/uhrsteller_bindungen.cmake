# Fails unless the built helper uhrsteller needs no shared library but libcap and the C and C++
# runtime (with a sanitizer's in a sanitizer build): it may hold CAP_SYS_TIME, so every other
# library would be code run with the right to set the clock.
#   cmake -DPROGRAMM=<uhrsteller> [-DSANITIZER=ON] -P uhrsteller_bindungen.cmake
# SPDX-License-Identifier: MIT
cmake_minimum_required(VERSION 3.25)
find_program(READELF readelf REQUIRED)
execute_process(COMMAND ${READELF} --dynamic --wide "${PROGRAMM}"
  OUTPUT_VARIABLE dynamisch RESULT_VARIABLE ergebnis ERROR_VARIABLE fehler)
if(NOT ergebnis EQUAL 0)
  message(FATAL_ERROR "readelf could not read ${PROGRAMM}: ${fehler}")
endif()

set(erlaubt "libcap\\.so\\.2|libc\\.so\\.6|libm\\.so\\.6|libstdc\\+\\+\\.so\\.6|libgcc_s\\.so\\.1|ld-linux[-a-z0-9_.]*\\.so\\.[0-9]+")
if(SANITIZER)
  string(APPEND erlaubt "|lib(a|ub|l|t)san\\.so\\.[0-9]+")
endif()

string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]*\\]" eintraege "${dynamisch}")
set(gebraucht "")
set(fremd "")
foreach(eintrag IN LISTS eintraege)
  string(REGEX REPLACE ".*\\[([^]]*)\\]$" "\\1" bibliothek "${eintrag}")
  list(APPEND gebraucht "${bibliothek}")
  if(NOT bibliothek MATCHES "^(${erlaubt})$")
    list(APPEND fremd "${bibliothek}")
  endif()
endforeach()
# A helper that needs nothing at all is no dynamically linked program this check can speak for.
if(NOT "libcap.so.2" IN_LIST gebraucht)
  message(FATAL_ERROR "${PROGRAMM} does not need libcap.so.2; readelf said:\n${dynamisch}")
endif()
if(fremd)
  message(FATAL_ERROR "${PROGRAMM} needs more than libcap and the C and C++ runtime: ${fremd}")
endif()
message(STATUS "${PROGRAMM} needs ${gebraucht}")
