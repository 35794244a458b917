# Install step of the right to set the clock. By default it grants nothing: the programs ask
# systemd-timedated, and the polkit rule lets the members of the group dadaviru. Only with
# DADAVIRU_FILE_CAPABILITY, for systems without timedated, does the helper uhrsteller get
# CAP_SYS_TIME as a permitted file capability, and only the group dadaviru may run it. The
# programs themselves never carry a capability: they load GTK, and GTK loads code the user names.
# SPDX-License-Identifier: MIT

set(uhrsteller "${CMAKE_INSTALL_PREFIX}/${DADAVIRU_UHRSTELLER_DIR}/uhrsteller")
set(polkit_regel "${CMAKE_INSTALL_PREFIX}/${DADAVIRU_POLKIT_DIR}/50-dadaviru.rules")

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr" AND NOT DADAVIRU_POLKIT_DIR MATCHES "^/")
  message(STATUS "polkit reads its rules from /usr/share/polkit-1/rules.d and /etc/polkit-1/rules.d only: "
                 "link ${polkit_regel} into /etc/polkit-1/rules.d to let the group dadaviru set the clock")
endif()

if(NOT DADAVIRU_FILE_CAPABILITY)
  message(STATUS "No file capability set: members of the group dadaviru set the clock through timedated")
  return()
endif()

set(befehle "getent group dadaviru >/dev/null || groupadd --system dadaviru
  chown root:dadaviru ${uhrsteller} && chmod 0750 ${uhrsteller} && setcap cap_sys_time=p ${uhrsteller}")
if(DEFINED ENV{DESTDIR} AND NOT "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "Staged install into $ENV{DESTDIR}: no capability set. Run as root once the files are in place:\n  ${befehle}")
  return()
endif()

find_program(DADAVIRU_SETCAP setcap PATHS /usr/sbin /sbin)
find_program(DADAVIRU_GETCAP getcap PATHS /usr/sbin /sbin)
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

# The group first, then the mode, then the capability: chown clears a file capability.
execute_process(COMMAND chown root:dadaviru "${uhrsteller}" RESULT_VARIABLE chown_ergebnis)
execute_process(COMMAND chmod 0750 "${uhrsteller}" RESULT_VARIABLE chmod_ergebnis)
execute_process(COMMAND ${DADAVIRU_SETCAP} cap_sys_time=p "${uhrsteller}" RESULT_VARIABLE setcap_ergebnis ERROR_VARIABLE fehler)
execute_process(COMMAND ${DADAVIRU_GETCAP} "${uhrsteller}" OUTPUT_VARIABLE faehigkeit)
if(NOT chown_ergebnis EQUAL 0 OR NOT chmod_ergebnis EQUAL 0 OR NOT setcap_ergebnis EQUAL 0
   OR NOT faehigkeit MATCHES "cap_sys_time[=+]p\n?$")
  message(FATAL_ERROR "Could not give ${uhrsteller} the capability cap_sys_time (${fehler}). Run as root:\n  ${befehle}")
endif()
message(STATUS "Gave ${uhrsteller} the permitted capability cap_sys_time, for the group dadaviru only")
