# Install step of the right to set the clock. By default it grants nothing: the programs ask
# systemd-timedated, and the polkit rule lets the members of the group dadaviru. Only with
# DADAVIRU_FILE_CAPABILITY, for systems without timedated, does the helper uhrsteller get
# CAP_SYS_TIME as a permitted file capability, and only the group dadaviru may run it. The
# programs themselves never carry a capability: they load GTK, and GTK loads code the user names.
# SPDX-License-Identifier: MIT

set(uhrsteller "${CMAKE_INSTALL_PREFIX}/${DADAVIRU_UHRSTELLER_DIR}/uhrsteller")

# A staged install holds fresh files that carry nothing yet; whoever puts them in place decides.
set(befehle "getent group dadaviru >/dev/null || groupadd --system dadaviru
  setcap -r ${uhrsteller} 2>/dev/null; chown root:dadaviru ${uhrsteller} && chmod 0750 ${uhrsteller} && setcap cap_sys_time=p ${uhrsteller}")
if(DEFINED ENV{DESTDIR} AND NOT "$ENV{DESTDIR}" STREQUAL "")
  if(DADAVIRU_FILE_CAPABILITY)
    message(STATUS "Staged install into $ENV{DESTDIR}: no capability set. Run as root once the files are in place:\n  ${befehle}")
  endif()
  return()
endif()

find_program(DADAVIRU_SETCAP setcap PATHS /usr/sbin /sbin)
find_program(DADAVIRU_GETCAP getcap PATHS /usr/sbin /sbin)

# uhrsteller_faehigkeit(VAR): what getcap reports for the helper, empty when it carries nothing.
function(uhrsteller_faehigkeit var)
  execute_process(COMMAND ${DADAVIRU_GETCAP} "${uhrsteller}" OUTPUT_VARIABLE ausgabe OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(${var} "${ausgabe}" PARENT_SCOPE)
endfunction()

# The install rule leaves an up-to-date helper in place, with whatever capability an earlier
# install gave it. setcap -r fails on a file without one, so what counts is what getcap sees after.
function(uhrsteller_faehigkeit_entfernen)
  execute_process(COMMAND ${DADAVIRU_SETCAP} -r "${uhrsteller}" OUTPUT_QUIET ERROR_QUIET)
  uhrsteller_faehigkeit(rest)
  if(NOT rest STREQUAL "")
    message(FATAL_ERROR "Could not remove the capability of ${uhrsteller} (${rest}). Run as root:\n  setcap -r ${uhrsteller}")
  endif()
endfunction()

if(NOT DADAVIRU_FILE_CAPABILITY)
  # Without getcap no capability can be read, and none was set by an install without it either.
  if(DADAVIRU_GETCAP AND DADAVIRU_SETCAP)
    uhrsteller_faehigkeit(vorher)
    if(NOT vorher STREQUAL "")
      uhrsteller_faehigkeit_entfernen()
      message(STATUS "Removed the capability an earlier install gave ${uhrsteller}")
    endif()
  endif()
  # An earlier install with the capability left the helper to the group; root alone runs it now.
  execute_process(COMMAND stat -c %g "${uhrsteller}" OUTPUT_VARIABLE gruppe OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND id -u OUTPUT_VARIABLE wer OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(wer STREQUAL "0" AND gruppe MATCHES "^[0-9]+$" AND NOT gruppe STREQUAL "0")
    execute_process(COMMAND chown root:root "${uhrsteller}" RESULT_VARIABLE chown_ergebnis)
    if(NOT chown_ergebnis EQUAL 0)
      message(FATAL_ERROR "Could not give ${uhrsteller} back to the group root")
    endif()
  endif()
  message(STATUS "No file capability set: members of the group dadaviru set the clock through timedated")
  return()
endif()

if(NOT DADAVIRU_SETCAP OR NOT DADAVIRU_GETCAP)
  message(FATAL_ERROR "setcap and getcap (Debian: libcap2-bin) are needed for DADAVIRU_FILE_CAPABILITY")
endif()

execute_process(COMMAND getent group dadaviru OUTPUT_QUIET RESULT_VARIABLE gruppe_fehlt)
if(gruppe_fehlt)
  execute_process(COMMAND groupadd --system dadaviru RESULT_VARIABLE ergebnis ERROR_VARIABLE fehler)
  if(NOT ergebnis EQUAL 0)
    message(FATAL_ERROR "Could not create the group dadaviru (${fehler}). Run as root:\n  ${befehle}")
  endif()
  message(STATUS "Created the system group dadaviru")
endif()

# The capability goes first, so that no step below can leave it on a file others may run; then the
# group, which clears a capability anyway; then the mode, which the install rule already set
# (0750); the capability last, once only the group can run the file.
uhrsteller_faehigkeit_entfernen()
execute_process(COMMAND chown root:dadaviru "${uhrsteller}" RESULT_VARIABLE chown_ergebnis)
execute_process(COMMAND chmod 0750 "${uhrsteller}" RESULT_VARIABLE chmod_ergebnis)
if(NOT chown_ergebnis EQUAL 0 OR NOT chmod_ergebnis EQUAL 0)
  message(FATAL_ERROR "Could not give ${uhrsteller} to the group dadaviru. Run as root:\n  ${befehle}")
endif()
execute_process(COMMAND ${DADAVIRU_SETCAP} cap_sys_time=p "${uhrsteller}" RESULT_VARIABLE setcap_ergebnis ERROR_VARIABLE fehler)
uhrsteller_faehigkeit(faehigkeit)
if(NOT setcap_ergebnis EQUAL 0 OR NOT faehigkeit MATCHES "cap_sys_time[=+]p$")
  message(FATAL_ERROR "Could not give ${uhrsteller} the capability cap_sys_time (${fehler}). Run as root:\n  ${befehle}")
endif()
message(STATUS "Gave ${uhrsteller} the permitted capability cap_sys_time, for the group dadaviru only")
