# Identification of the Windows programs, read back under Wine through the APIs Windows itself
# uses, and the icon converter's refusal of files that are not one of our icons.
add_executable(kennungspruefer ${CMAKE_CURRENT_LIST_DIR}/../../tools/win32/kennungspruefer.cpp)
# Static, so Wine needs no MinGW DLL next to it.
target_compile_options(kennungspruefer PRIVATE -municode)
target_link_options(kennungspruefer PRIVATE -municode -static -static-libgcc -static-libstdc++)
target_link_libraries(kennungspruefer PRIVATE version oleaut32 ole32 shell32)

foreach(programm Dadaviru Dadaviru_Autostart)
  add_test(NAME win32.kennung.${programm}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/kennung_test.sh ${DADAVIRU_WINEPREFIX}
            $<TARGET_FILE:${programm}> ${programm} $<TARGET_FILE:kennungspruefer>)
  set_tests_properties(win32.kennung.${programm} PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED wine)
endforeach()

# symbol_wandeln runs on the build machine, so these run there too, without Wine. Each case is
# the real icon with one fault, and must be refused for that fault: a crash or a wrong reason fails.
get_property(symbol_wandeln GLOBAL PROPERTY DADAVIRU_SYMBOL_WANDELN)
if(NOT symbol_wandeln)
  message(FATAL_ERROR "tests/win32/kennung.cmake: include it after dadaviru_windows_ressourcen()")
endif()
file(READ ${CMAKE_CURRENT_LIST_DIR}/../../app/symbole/dadaviru.xpm symbol)
set(faelle_ordner ${CMAKE_CURRENT_BINARY_DIR}/symbol_wandeln_faelle)
file(MAKE_DIRECTORY ${faelle_ordner})

function(symbol_fall name muster ersatz grund)
  string(REGEX REPLACE "${muster}" "${ersatz}" inhalt "${symbol}")
  if(inhalt STREQUAL symbol)
    message(FATAL_ERROR "symbol_wandeln case ${name}: \"${muster}\" is not in dadaviru.xpm")
  endif()
  file(WRITE ${faelle_ordner}/${name}.xpm "${inhalt}")
  add_test(NAME win32.symbol_wandeln.${name}
    COMMAND ${symbol_wandeln} ${faelle_ordner}/${name}.xpm ${faelle_ordner}/${name}.ico)
  set_tests_properties(win32.symbol_wandeln.${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "^symbol_wandeln: [^\n]*: ${grund}[^\n]*\n$" TIMEOUT 30)
endfunction()

set(werte "\"32 32 ([0-9]+) 1\"")
symbol_fall(breite "${werte}" "\"33 32 \\1 1\"" "image is not 32x32")
symbol_fall(zeichen_je_pixel "${werte}" "\"32 32 \\1 2\"" "only one character per pixel")
symbol_fall(farben_zu_viele "${werte}" "\"32 32 17 1\"" "between 1 and 16 colours")
symbol_fall(farben_keine "${werte}" "\"32 32 0 1\"" "between 1 and 16 colours")
symbol_fall(zahl_riesig "${werte}" "\"3200000000000 32 \\1 1\"" "bad number")
symbol_fall(hotspot "${werte}" "\"32 32 \\1 1 0 0\"" "values line must be")
symbol_fall(ersatzzeichen "${werte}" "\"32 32 \\1 1\\\\n\"" "escape sequences")
symbol_fall(farbname "\"# c #000080\"" "\"# c navy\"" "colour \"navy\" is neither")
symbol_fall(farbe_hex "\"# c #000080\"" "\"# c #00008G\"" "bad hex digit")
symbol_fall(farbe_doppelt "\"\\. c #C0C0FF\"" "\"# c #C0C0FF\"" "colour character '#' defined twice")
symbol_fall(pixel_unbekannt "##########" "#########Z" "pixel character 'Z' has no colour")
symbol_fall(zeile_kurz "##########" "#########" "pixel row [0-9]+ is not 32 characters long")
symbol_fall(zeilen_fehlen "\",\n[^\n]*\"};" "\"};" "expected [0-9]+ strings, found [0-9]+")
symbol_fall(abgeschnitten "\"[^\"]*\"};.*" "\"   " "unterminated string")
symbol_fall(ohne_kennzeile "^/\\* XPM \\*/" "" "does not start with /\\* XPM \\*/")
string(REPEAT " " 70000 leer)
symbol_fall(zu_gross "};" "};/*${leer}*/" "larger than [0-9]+ bytes")
