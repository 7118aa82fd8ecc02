# Test registration shared by all folders.
#
# Natively every GoogleTest case becomes its own ctest test. Under wine one
# process per case would cost a wine start each, so a whole test program is
# one ctest test there; it still reports every case it runs.
#
# Wine tests share one prefix and one virtual display per build tree, set up
# by the fixture below and torn down after the last of them.
include(GoogleTest)

set(WINE_TEST_DISPLAY ":87" CACHE STRING "X display (Xvfb) that the wine tests of this build use")
set(WINE_TEST_PREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "wine prefix that the wine tests of this build use")

if(CMAKE_CROSSCOMPILING AND NOT TARGET wine_session)
  add_test(NAME wine_session_start
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh start ${WINE_TEST_PREFIX} ${WINE_TEST_DISPLAY})
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session LABELS wine)
  add_test(NAME wine_session_stop
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh stop ${WINE_TEST_PREFIX} ${WINE_TEST_DISPLAY})
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session LABELS wine)
  add_custom_target(wine_session)
endif()

# murvex_add_gtest(<target> [LABELS l...] [TIMEOUT s])
function(murvex_add_gtest target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES
      LABELS "wine;${ARG_LABELS}"
      TIMEOUT ${ARG_TIMEOUT}
      FIXTURES_REQUIRED wine_session
      ENVIRONMENT "DISPLAY=${WINE_TEST_DISPLAY};WINEPREFIX=${WINE_TEST_PREFIX};LANG=ja_JP.UTF-8;WINEDEBUG=-all")
    # The manager's Stop ends every MURVEX.EXE, and its windows share one
    # screen: such tests never run beside each other.
    if("gui" IN_LIST ARG_LABELS OR "endtoend" IN_LIST ARG_LABELS)
      set_tests_properties(${target} PROPERTIES RESOURCE_LOCK desktop)
    endif()
  else()
    gtest_discover_tests(${target}
      DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "native;${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT})
  endif()
endfunction()
