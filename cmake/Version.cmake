# Dadaviru's version in the two forms it is shown in, worked out here and nowhere else from
# project(VERSION): "1.01" as written, and Windows' numeric form, where "1.01" reads as 1.1.0.0.
# The build includes it after project(); scripts run it, and it prints both, separated by a blank:
#   cmake -P cmake/Version.cmake
# SPDX-License-Identifier: MIT

if(CMAKE_SCRIPT_MODE_FILE)
  # No project() in a script: the version is read from where project() takes it.
  file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../CMakeLists.txt" _projekt REGEX "^project\\(Dadaviru VERSION ")
  if(NOT _projekt MATCHES "VERSION (([0-9]+)\\.([0-9]+))[ )]")
    message(FATAL_ERROR "CMakeLists.txt names no project(Dadaviru VERSION major.minor)")
  endif()
  set(PROJECT_VERSION "${CMAKE_MATCH_1}")
  set(PROJECT_VERSION_MAJOR "${CMAKE_MATCH_2}")
  set(PROJECT_VERSION_MINOR "${CMAKE_MATCH_3}")
endif()

set(DADAVIRU_VERSION "${PROJECT_VERSION}")
math(EXPR _neben "${PROJECT_VERSION_MINOR}")
# With commas, as VERSIONINFO and C++ take it.
set(DADAVIRU_VERSION_NUMERISCH "${PROJECT_VERSION_MAJOR},${_neben},0,0")
unset(_neben)

if(CMAKE_SCRIPT_MODE_FILE)
  string(REPLACE "," "." _punkte "${DADAVIRU_VERSION_NUMERISCH}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${DADAVIRU_VERSION} ${_punkte}")
endif()
