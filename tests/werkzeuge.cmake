# Tests of the test tools themselves: the reference time service and the clock interposer.
# SPDX-License-Identifier: MIT
add_executable(uhrattrappe_probe ${CMAKE_CURRENT_LIST_DIR}/uhrattrappe_probe.cpp)
target_link_libraries(uhrattrappe_probe PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(uhrattrappe_probe uhrattrappe)
# The probe hands NULL to clock_settime on purpose, to see the interposer refuse it.
target_compile_options(uhrattrappe_probe PRIVATE -fno-sanitize=nonnull-attribute)

add_test(NAME werkzeuge.uhrattrappe
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/uhrattrappe_test.sh
          $<TARGET_FILE:uhrattrappe> $<TARGET_FILE:uhrattrappe_probe>)
add_test(NAME werkzeuge.zeitdienst
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zeitdienst_test.sh $<TARGET_FILE:zeitdienst> $<TARGET_FILE:pruefdienst>
          ${PROJECT_BINARY_DIR}/tools/systemd-pruefung)

# The time service's clock arithmetic and texts, with the time handed in.
add_executable(zeittakt_tests ${CMAKE_CURRENT_LIST_DIR}/zeittakt_test.cpp)
target_link_libraries(zeittakt_tests PRIVATE zeittakt GTest::gtest_main)
gtest_discover_tests(zeittakt_tests TEST_PREFIX zeittakt. DISCOVERY_TIMEOUT 60)
set_tests_properties(werkzeuge.uhrattrappe werkzeuge.zeitdienst PROPERTIES TIMEOUT 60)
