# The Wine harness of the Windows builds (see tests/win32/README.md).
#
# Every executable target gets wine_run.sh as its CROSSCOMPILING_EMULATOR, so
# add_test(NAME x COMMAND some_target ...) runs it under Wine in the run's
# prefix on the run's Xvfb display. The CTest fixture "wine" prepares them
# (test wine_setup) and tears them down (test wine_teardown); every test that
# runs Windows code requires it: vp_add_test does so, other tests call
# vp_wine_test(NAME...).
#
# The x86-64 build runs in a 64-bit prefix. The i686 build runs in the kind of
# prefix that VP_WINEARCH names when CTest runs: a 64-bit one (the default),
# where it runs through WoW64 as on 64-bit Windows, or a 32-bit one
# (VP_WINEARCH=win32), as on 32-bit Windows; it needs the 32-bit loader of
# wine32 for both.
#
# Defines VP_WINE_TESTS (ON when programs can run here), VP_WINE_STATE (the
# build's Wine folder) and VP_WINE_RUN / VP_WINE_FRESH_PREFIX (the scripts).
# Where programs cannot run, the tests are still built and registered, but
# disabled: CTest lists them as not run.

# vp_wine_test(NAME...): the tests need the run's Wine (disabled where there is none).
function(vp_wine_test)
  if(VP_WINE_TESTS)
    set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine)
  else()
    set_tests_properties(${ARGN} PROPERTIES DISABLED TRUE)
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

set(VP_WINE_TESTS OFF)
find_program(VP_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VP_WINESERVER wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VP_XVFB Xvfb)
set(_needed VP_WINE64 VP_WINESERVER VP_XVFB)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  find_program(VP_WINE32 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VP_WINESERVER32 wineserver32 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  list(APPEND _needed VP_WINE32 VP_WINESERVER32)
endif()
foreach(_program ${_needed})
  if(NOT ${_program})
    message(STATUS "Windows test programs are built but not run: ${_program} not found "
                   "(scripts/deps.sh installs wine64, wine32:i386 and xvfb)")
    return()
  endif()
endforeach()

set(VP_WINE_TESTS ON)
set(VP_WINE_STATE ${PROJECT_BINARY_DIR}/wine)
set(VP_WINE_SCRIPTS ${PROJECT_SOURCE_DIR}/tests/win32)
set(VP_WINE_RUN ${VP_WINE_SCRIPTS}/wine_run.sh)
set(VP_WINE_FRESH_PREFIX ${VP_WINE_SCRIPTS}/wine_fresh_prefix.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VP_WINE_RUN} ${VP_WINE_STATE})
