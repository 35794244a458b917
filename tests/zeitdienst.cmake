# Tests of the time service: the real service on loopback, and its clock arithmetic with the time handed in.
# SPDX-License-Identifier: MIT
add_test(NAME zeitdienst.dienst
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zeitdienst_test.sh $<TARGET_FILE:zeitdienst> ${PROJECT_BINARY_DIR}/tools/systemd-pruefung)
set_tests_properties(zeitdienst.dienst PROPERTIES TIMEOUT 120)

add_executable(zeittakt_tests ${CMAKE_CURRENT_LIST_DIR}/zeittakt_test.cpp)
target_link_libraries(zeittakt_tests PRIVATE zeittakt GTest::gtest_main)
gtest_discover_tests(zeittakt_tests TEST_PREFIX zeittakt. DISCOVERY_TIMEOUT 60)
