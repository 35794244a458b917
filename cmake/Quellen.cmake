# The three built-in time services are fixed when the program is built.
# The defaults lie under the reserved .example domain: they never resolve, so a build
# that nobody configured can never hand anyone's clock to a stranger.
# SPDX-License-Identifier: MIT

set(DADAVIRU_HOST_A "dadaviru.webspace.example" CACHE STRING "Host (or host:port) of the first time service")
set(DADAVIRU_HOST_B "dadaviru.example" CACHE STRING "Host (or host:port) of the second time service")
set(DADAVIRU_HOST_C "" CACHE STRING "Host of the third time service; empty means \"time.\" followed by DADAVIRU_HOST_B")

# A host ends up inside a C++ string literal and a URL, so only plain host names,
# IPv4 addresses and bracketed IPv6 addresses, each with an optional port, get through.
function(dadaviru_host_pruefen name wert)
  if(NOT wert MATCHES "^([A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?|\\[[0-9A-Fa-f:.]+\\])(:[0-9]+)?$")
    message(FATAL_ERROR "${name}=\"${wert}\" is not a host name or host:port")
  endif()
endfunction()

# dadaviru_urls(<host a> <host b> <host c>): sets DADAVIRU_URL_0 to _2, the URLs of passes 0 to 2.
function(dadaviru_urls host_a host_b host_c)
  if(host_c STREQUAL "")
    set(host_c "time.${host_b}")
  endif()
  dadaviru_host_pruefen(host_a "${host_a}")
  dadaviru_host_pruefen(host_b "${host_b}")
  dadaviru_host_pruefen(host_c "${host_c}")
  set(DADAVIRU_URL_0 "http://${host_a}/zeit.php" PARENT_SCOPE)
  set(DADAVIRU_URL_1 "http://${host_b}/zeit.php" PARENT_SCOPE)
  set(DADAVIRU_URL_2 "http://${host_c}" PARENT_SCOPE)
endfunction()

# Run as a script, it prints the URLs of passes 0 to 2 that a configured build folder's programs
# ask, one a line (the tests use it to serve the programs as built):
#   cmake -DBAU=build/windows -P cmake/Quellen.cmake
if(CMAKE_SCRIPT_MODE_FILE)
  if(NOT EXISTS "${BAU}/CMakeCache.txt")
    message(FATAL_ERROR "BAU=\"${BAU}\" is no configured build folder")
  endif()
  load_cache("${BAU}" READ_WITH_PREFIX bau_ DADAVIRU_HOST_A DADAVIRU_HOST_B DADAVIRU_HOST_C)
  dadaviru_urls("${bau_DADAVIRU_HOST_A}" "${bau_DADAVIRU_HOST_B}" "${bau_DADAVIRU_HOST_C}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${DADAVIRU_URL_0}\n${DADAVIRU_URL_1}\n${DADAVIRU_URL_2}")
endif()
