# Every value a program takes from its build, in one generated source: the version, the URLs of its
# time services, Timer_start's interval, the request time-out, the helper's path and what of the
# environment the helper is handed. The programs as shipped take the defaults below; another build
# of them names what it changes.
# SPDX-License-Identifier: MIT
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/Quellen.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/Version.cmake)

set(DADAVIRU_INET_ZEITLIMIT_MS "" CACHE STRING "Benchmark builds only: a shorter request time-out (ms) than the 60 s of a real build")

# dadaviru_bauwerte(<target> [HOSTS <a> <b> <c>] [WARTEZEIT_MS <ms>] [UHRSTELLER_PFAD <path>]
#                   [UHRSTELLER_UMGEBUNG <variable>...]): an object library <target> holding the values.
function(dadaviru_bauwerte ziel)
  cmake_parse_arguments(PARSE_ARGV 1 wert "" "WARTEZEIT_MS;UHRSTELLER_PFAD" "HOSTS;UHRSTELLER_UMGEBUNG")
  if(wert_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "dadaviru_bauwerte(${ziel}): unknown arguments ${wert_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT DEFINED wert_HOSTS)
    set(wert_HOSTS "${DADAVIRU_HOST_A}" "${DADAVIRU_HOST_B}" "${DADAVIRU_HOST_C}")
  endif()
  list(LENGTH wert_HOSTS anzahl)
  if(NOT anzahl EQUAL 3)
    message(FATAL_ERROR "dadaviru_bauwerte(${ziel}): HOSTS takes three hosts, the third may be empty")
  endif()
  list(GET wert_HOSTS 0 host_a)
  list(GET wert_HOSTS 1 host_b)
  list(GET wert_HOSTS 2 host_c)
  dadaviru_urls("${host_a}" "${host_b}" "${host_c}")

  set(WARTEZEIT_MS 30000)
  if(DEFINED wert_WARTEZEIT_MS)
    set(WARTEZEIT_MS ${wert_WARTEZEIT_MS})
  endif()
  set(ZEITLIMIT_MS 60000)
  if(DADAVIRU_INET_ZEITLIMIT_MS)
    set(ZEITLIMIT_MS ${DADAVIRU_INET_ZEITLIMIT_MS})
  endif()
  foreach(ms IN ITEMS WARTEZEIT_MS ZEITLIMIT_MS)
    if(NOT ${ms} MATCHES "^[1-9][0-9]*$")
      message(FATAL_ERROR "dadaviru_bauwerte(${ziel}): ${ms} \"${${ms}}\" is no number of milliseconds")
    endif()
  endforeach()

  # The path and the names end up in C++ string literals.
  set(UHRSTELLER_PFAD "${DADAVIRU_UHRSTELLER_PFAD}")
  if(DEFINED wert_UHRSTELLER_PFAD)
    set(UHRSTELLER_PFAD "${wert_UHRSTELLER_PFAD}")
  endif()
  if(UHRSTELLER_PFAD MATCHES "[\"\\\\]")
    message(FATAL_ERROR "dadaviru_bauwerte(${ziel}): the helper's path \"${UHRSTELLER_PFAD}\" holds a quote or backslash")
  endif()
  set(UHRSTELLER_UMGEBUNG "")
  foreach(name IN LISTS wert_UHRSTELLER_UMGEBUNG)
    if(NOT name MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
      message(FATAL_ERROR "dadaviru_bauwerte(${ziel}): \"${name}\" is no variable name")
    endif()
    string(APPEND UHRSTELLER_UMGEBUNG "\"${name}\", ")
  endforeach()
  string(REGEX REPLACE ", $" "" UHRSTELLER_UMGEBUNG "${UHRSTELLER_UMGEBUNG}")

  set(erzeugt ${CMAKE_CURRENT_BINARY_DIR}/${ziel}.cpp)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/bauwerte.cpp.in ${erzeugt} @ONLY)
  # An object library, so the values are linked in whatever the order of the static libraries.
  add_library(${ziel} OBJECT ${erzeugt})
  target_include_directories(${ziel} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${ziel} PRIVATE dadaviru_flaggen)
endfunction()
