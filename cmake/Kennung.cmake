# How each program names itself: the strings of its desktop entry on Linux and of its version
# and type information on Windows. Kept here once for both.
# SPDX-License-Identifier: MIT

include(${CMAKE_CURRENT_LIST_DIR}/Version.cmake)

# dadaviru_kennung(<program>): sets KENNUNG_BESCHREIBUNG (FileDescription), KENNUNG_PRODUKT
# (ProductName), KENNUNG_INTERN (InternalName), KENNUNG_DATEINAME (OriginalFilename) and
# KENNUNG_SELBST (the program's description of itself in its type information).
function(dadaviru_kennung programm)
  if(programm STREQUAL "Dadaviru")
    set(beschreibung "ändert die Systemzeit")
    set(selbst "Systemzeit ändern")
  elseif(programm STREQUAL "Dadaviru_Autostart")
    set(beschreibung "Ändert die Systemzeit nach 30sek.")
    set(selbst "Systemzeit ändern (für Revizavir)")
  else()
    message(FATAL_ERROR "No program named ${programm}")
  endif()
  set(KENNUNG_BESCHREIBUNG "${beschreibung}" PARENT_SCOPE)
  set(KENNUNG_PRODUKT "Dadaviru" PARENT_SCOPE)
  set(KENNUNG_INTERN "${programm}" PARENT_SCOPE)
  set(KENNUNG_DATEINAME "${programm}.exe" PARENT_SCOPE)
  set(KENNUNG_SELBST "${selbst}" PARENT_SCOPE)
endfunction()
