# Install step: gives both programs the right to set the clock (the file capability cap_sys_time).
# Where that cannot be done here, the install still succeeds and says what to run later.

set(programme "${CMAKE_INSTALL_PREFIX}/${DADAVIRU_BINDIR}/Dadaviru" "${CMAKE_INSTALL_PREFIX}/${DADAVIRU_BINDIR}/Dadaviru_Autostart")
string(JOIN " " liste ${programme})
set(spaeter "To let Dadaviru set the clock, run as root once the files are in place:\n  setcap cap_sys_time=ep ${liste}")

find_program(DADAVIRU_SETCAP setcap PATHS /usr/sbin /sbin)
if(DEFINED ENV{DESTDIR} AND NOT "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "Staged install into $ENV{DESTDIR}: no capability set.\n${spaeter}")
elseif(NOT DADAVIRU_SETCAP)
  message(STATUS "setcap was not found: no capability set.\n${spaeter}")
else()
  execute_process(COMMAND ${DADAVIRU_SETCAP} cap_sys_time=ep ${programme} RESULT_VARIABLE ergebnis ERROR_VARIABLE fehler)
  if(ergebnis EQUAL 0)
    message(STATUS "Gave ${liste} the capability cap_sys_time")
  else()
    message(STATUS "setcap failed (${fehler}): no capability set.\n${spaeter}")
  endif()
endif()
