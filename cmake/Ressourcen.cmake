# Windows resources of the two programs: icon, version information, type library and manifest,
# made during the build from cmake/Kennung.cmake, with the icons of app/symbole.
# SPDX-License-Identifier: MIT
include_guard(GLOBAL)

if(NOT COMMAND dadaviru_kennung)
  include(${CMAKE_CURRENT_LIST_DIR}/Kennung.cmake)
endif()

# Functions see the caller's CMAKE_CURRENT_LIST_DIR, so the tree's root is kept from here.
get_filename_component(_dadaviru_wurzel "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set_property(GLOBAL PROPERTY DADAVIRU_WURZEL "${_dadaviru_wurzel}")
unset(_dadaviru_wurzel)

# The other build-machine programs: widl from the same toolchain as windres, and iconv.
function(_dadaviru_werkzeuge_finden)
  get_filename_component(windres "${CMAKE_RC_COMPILER}" NAME)
  string(REGEX REPLACE "windres(\\.exe)?$" "" praefix "${windres}")
  find_program(DADAVIRU_WIDL NAMES ${praefix}widl widl NO_CMAKE_FIND_ROOT_PATH REQUIRED
    DOC "widl, which writes the type libraries")
  find_program(DADAVIRU_ICONV NAMES iconv NO_CMAKE_FIND_ROOT_PATH REQUIRED
    DOC "iconv, which hands widl the type-library source in Windows-1252")
endfunction()

# dadaviru_windows_ressourcen(<target> <program>): gives <target>, a Windows executable defined in
# the calling directory, the resources of <program> (Dadaviru or Dadaviru_Autostart). Needs
# enable_language(RC) with windres as the RC compiler. Generated files go to
# <binary dir>/<target>_ressourcen.
function(dadaviru_windows_ressourcen ziel programm)
  get_property(sprachen GLOBAL PROPERTY ENABLED_LANGUAGES)
  if(NOT "RC" IN_LIST sprachen)
    message(FATAL_ERROR "dadaviru_windows_ressourcen(${ziel}): enable_language(RC) first")
  endif()
  if(NOT TARGET ${ziel})
    message(FATAL_ERROR "dadaviru_windows_ressourcen: no target ${ziel}")
  endif()
  get_target_property(ziel_ordner ${ziel} BINARY_DIR)
  if(NOT ziel_ordner STREQUAL CMAKE_CURRENT_BINARY_DIR)
    # Custom commands only reach targets of their own directory.
    message(FATAL_ERROR "dadaviru_windows_ressourcen(${ziel}): call it where ${ziel} is defined")
  endif()

  dadaviru_kennung(${programm})
  # Fixed for good: the type library's identity must not change from one build to the next.
  if(programm STREQUAL "Dadaviru")
    set(TYPBIB_UUID "e58177d3-b183-42d1-add1-e0f8de14e341")
  else()
    set(TYPBIB_UUID "89b67924-10f8-4216-adf1-b1eb673d0acf")
  endif()
  # The type library's version is major.minor of the file version.
  string(REPLACE "," ";" teile "${DADAVIRU_VERSION_NUMERISCH}")
  list(GET teile 0 haupt)
  list(GET teile 1 neben)
  set(TYPBIB_VERSION "${haupt}.${neben}")
  set(PROGRAMM ${programm})

  _dadaviru_werkzeuge_finden()
  get_property(wurzel GLOBAL PROPERTY DADAVIRU_WURZEL)

  string(TOLOWER ${programm} datei)
  set(aus "${CMAKE_CURRENT_BINARY_DIR}/${ziel}_ressourcen")
  file(MAKE_DIRECTORY "${aus}")
  # The icon is kept as a file beside its XPM source (the image of the Linux window), 32x32 with
  # 16 colours; the two change together.
  set(RESSOURCE_SYMBOL "${wurzel}/app/symbole/${datei}.ico")
  set(RESSOURCE_TYPBIB "${aus}/${datei}.tlb")
  set(RESSOURCE_MANIFEST "${wurzel}/app/win32/dadaviru.manifest")


  # Each step writes beside its target and renames, so a failed step leaves no output that looks current.
  configure_file("${wurzel}/app/win32/programm.idl.in" "${aus}/${datei}.utf8.idl" @ONLY)
  add_custom_command(OUTPUT "${aus}/${datei}.idl"
    COMMAND "${DADAVIRU_ICONV}" -f UTF-8 -t WINDOWS-1252 -o "${aus}/${datei}.idl.neu" "${aus}/${datei}.utf8.idl"
    COMMAND "${CMAKE_COMMAND}" -E rename "${aus}/${datei}.idl.neu" "${aus}/${datei}.idl"
    DEPENDS "${aus}/${datei}.utf8.idl"
    VERBATIM)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(widl_ziel --win64)
  else()
    set(widl_ziel --win32)
  endif()
  add_custom_command(OUTPUT "${RESSOURCE_TYPBIB}"
    COMMAND "${DADAVIRU_WIDL}" ${widl_ziel} --nostdinc -t -o "${RESSOURCE_TYPBIB}.neu" "${aus}/${datei}.idl"
    COMMAND "${CMAKE_COMMAND}" -E rename "${RESSOURCE_TYPBIB}.neu" "${RESSOURCE_TYPBIB}"
    DEPENDS "${aus}/${datei}.idl"
    COMMENT "Type library of ${programm}"
    VERBATIM)

  set(rc "${aus}/${datei}.rc")
  configure_file("${wurzel}/app/win32/programm.rc.in" "${rc}" @ONLY)
  # windres reads the three files while compiling the .rc, a dependency CMake cannot see by itself.
  set_source_files_properties("${rc}" PROPERTIES
    OBJECT_DEPENDS "${RESSOURCE_SYMBOL};${RESSOURCE_TYPBIB};${RESSOURCE_MANIFEST}")
  target_sources(${ziel} PRIVATE "${rc}" "${RESSOURCE_SYMBOL}" "${RESSOURCE_TYPBIB}")
endfunction()
