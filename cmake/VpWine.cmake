# The Wine harness of the x86-64 Windows build (see tests/win32/README.md).
#
# Every executable target gets wine_run.sh as its CROSSCOMPILING_EMULATOR, so
# add_test(NAME x COMMAND some_target ...) runs it under wine64 in the run's
# prefix on the run's Xvfb display. The CTest fixture "wine" prepares them
# (test wine_setup) and tears them down (test wine_teardown); every test that
# runs Windows code requires it: vp_add_test does so, other tests call
# vp_wine_test(NAME...).
#
# Defines VP_WINE_TESTS (ON when programs can run here), VP_WINE_STATE (the
# state folder) and VP_WINE_RUN / VP_WINE_FRESH_PREFIX (the scripts).

set(VP_WINE_TESTS OFF)
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  return()  # this machine cannot run 32-bit code: the i686 build is checked statically
endif()
find_program(VP_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VP_WINESERVER wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VP_XVFB Xvfb)
if(NOT VP_WINE64 OR NOT VP_WINESERVER OR NOT VP_XVFB)
  message(STATUS "Windows programs are built but not run: wine64, wineserver or Xvfb missing")
  return()
endif()

set(VP_WINE_TESTS ON)
set(VP_WINE_STATE ${PROJECT_BINARY_DIR}/wine)
set(VP_WINE_SCRIPTS ${PROJECT_SOURCE_DIR}/tests/win32)
set(VP_WINE_RUN ${VP_WINE_SCRIPTS}/wine_run.sh)
set(VP_WINE_FRESH_PREFIX ${VP_WINE_SCRIPTS}/wine_fresh_prefix.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VP_WINE_RUN} ${VP_WINE_STATE})

# vp_wine_test(NAME...): the tests need the run's Wine.
function(vp_wine_test)
  if(VP_WINE_TESTS)
    set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()

# vp_wine_fixture(): registers the setup and teardown tests (once, where the
# tests are registered).
function(vp_wine_fixture)
  if(NOT VP_WINE_TESTS)
    return()
  endif()
  add_test(NAME wine_setup COMMAND ${VP_WINE_SCRIPTS}/wine_setup.sh ${VP_WINE_STATE})
  add_test(NAME wine_teardown COMMAND ${VP_WINE_SCRIPTS}/wine_teardown.sh ${VP_WINE_STATE})
  set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 180 LABELS "unit;wine")
  set_tests_properties(wine_teardown PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS "unit;wine")
endfunction()
