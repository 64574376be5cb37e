# Helpers shared by the subsystem lists.
#
# vp_add_library(NAME DIR [DEPS ...]): a static library from every .cpp in DIR,
# plus DIR/posix or DIR/win32 (and *_posix.cpp / *_win32.cpp) for the platform
# being built. Headers are found as "subsystem/file.h" from the source root.
function(vp_add_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _all CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(WIN32)
    file(GLOB _plat CONFIGURE_DEPENDS "${dir}/win32/*.cpp")
    list(FILTER _all EXCLUDE REGEX "_posix\\.cpp$")
  else()
    file(GLOB _plat CONFIGURE_DEPENDS "${dir}/posix/*.cpp")
    list(FILTER _all EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(_srcs ${_all} ${_plat})
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# vp_add_test(NAME DIR [LIBS ...]): one GoogleTest binary from every .cpp in DIR
# (not recursing), registered with CTest under NAME and labelled "unit".
function(vp_add_test name dir)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE VP_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
                                             VP_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(_labels unit)
  if(ARG_LABELS)
    set(_labels ${ARG_LABELS})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES LABELS "${_labels}" TIMEOUT 900)
endfunction()

# vp_add_test_run(NAME TEST [ENVIRONMENT VAR=VALUE...]): runs the test binary
# of TEST once more under NAME with the given environment, labelled "unit".
function(vp_add_test_run name test)
  cmake_parse_arguments(ARG "" "" "ENVIRONMENT" ${ARGN})
  if(NOT TARGET ${test})
    return()
  endif()
  add_test(NAME ${name} COMMAND ${test} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES LABELS unit TIMEOUT 900 ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()
