# SPDX-License-Identifier: GPL-3.0-or-later
# The screen reader's view of the panel (label x11): the simulated edition in a private X
# session with a private accessibility bus, read through AT-SPI by the system Python.
add_executable(a11y_tests
  ${CMAKE_CURRENT_LIST_DIR}/XSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/a11y_test.cpp
)
target_include_directories(a11y_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(a11y_tests PRIVATE quarvel_core quarvel_warnings Qt6::Core GTest::gtest_main)
target_compile_definitions(a11y_tests PRIVATE
  QUARVEL_SIM_EXE="$<TARGET_FILE:QuarvelSDR-sim>"
  QUARVEL_A11Y_READER="${CMAKE_CURRENT_LIST_DIR}/a11y_read.py")
add_dependencies(a11y_tests QuarvelSDR-sim)
gtest_discover_tests(a11y_tests
  DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS x11 TIMEOUT 120)
