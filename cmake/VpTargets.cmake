# Helpers shared by the subsystem lists.
include(${CMAKE_CURRENT_LIST_DIR}/VpLayers.cmake)

# vp_expose_folder(TARGET DIR SCOPE): puts DIR, and nothing else of the source
# tree, on TARGET's include path, so that its headers are included as
# "folder/file.h" from the source root. A symbolic link under the build tree
# stands for the folder at its place below an include root of its own.
function(vp_expose_folder target dir scope)
  file(RELATIVE_PATH _rel "${PROJECT_SOURCE_DIR}" "${dir}")
  set(_root "${PROJECT_BINARY_DIR}/include/${target}")
  get_filename_component(_parent "${_root}/${_rel}" DIRECTORY)
  file(MAKE_DIRECTORY "${_parent}")
  if(NOT EXISTS "${_root}/${_rel}")
    file(CREATE_LINK "${dir}" "${_root}/${_rel}" SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} "${_root}")
endfunction()

# vp_add_library(NAME DIR [DEPS ...]): a static library from every .cpp in DIR,
# plus DIR/posix or DIR/win32 (and *_posix.cpp / *_win32.cpp) for the platform
# being built. Its users see its own headers and those of its DEPS, nothing
# else; its folder's layer must be above the layers of the libraries it links.
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
    vp_expose_folder(${name} "${dir}" PUBLIC)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    vp_expose_folder(${name} "${dir}" INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
  file(RELATIVE_PATH _rel "${PROJECT_SOURCE_DIR}" "${dir}")
  vp_folder_layer("${_rel}" _layer)
  set_property(GLOBAL APPEND PROPERTY VP_LIBRARIES ${name})
  set_property(GLOBAL PROPERTY VP_LAYER_${name} ${_layer})
  set_property(GLOBAL PROPERTY VP_DEPS_${name} ${ARG_DEPS})
endfunction()

# vp_check_layers(): stops the configuration when a library links one of its
# own layer or a higher one (which is also what makes a cycle impossible).
function(vp_check_layers)
  get_property(_libs GLOBAL PROPERTY VP_LIBRARIES)
  foreach(_lib ${_libs})
    get_property(_layer GLOBAL PROPERTY VP_LAYER_${_lib})
    get_property(_deps GLOBAL PROPERTY VP_DEPS_${_lib})
    foreach(_dep ${_deps})
      get_property(_depLayer GLOBAL PROPERTY VP_LAYER_${_dep})
      if(NOT "${_depLayer}" STREQUAL "" AND NOT _depLayer LESS _layer)
        message(FATAL_ERROR "${_lib} (layer ${_layer}) links ${_dep} (layer ${_depLayer}): "
                            "a library may link only libraries of lower layers")
      endif()
    endforeach()
  endforeach()
endfunction()

# vp_add_test(NAME DIR [LIBS ...] [LABELS ...] [EXCLUDE FILE...]): one
# GoogleTest binary from every .cpp in DIR (not recursing) plus DIR/posix or
# DIR/win32 for the platform being built (and *_posix.cpp / *_win32.cpp),
# less the EXCLUDE files, registered with CTest under NAME and labelled
# "unit". Tests see the whole source tree. A test linking OpenSSL gets
# VP_TEST_OPENSSL; a test of a Windows build runs under Wine (cmake/VpWine.cmake).
function(vp_add_test name dir)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS;EXCLUDE" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(WIN32)
    file(GLOB _plat CONFIGURE_DEPENDS "${dir}/win32/*.cpp")
    list(FILTER _srcs EXCLUDE REGEX "_posix\\.cpp$")
  else()
    file(GLOB _plat CONFIGURE_DEPENDS "${dir}/posix/*.cpp")
    list(FILTER _srcs EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  list(APPEND _srcs ${_plat})
  foreach(_x ${ARG_EXCLUDE})
    list(REMOVE_ITEM _srcs "${dir}/${_x}")
  endforeach()
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE VP_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
                                             VP_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if("OpenSSL::Crypto" IN_LIST ARG_LIBS)
    target_compile_definitions(${name} PRIVATE VP_TEST_OPENSSL=1)
  endif()
  set(_labels unit)
  if(ARG_LABELS)
    set(_labels ${ARG_LABELS})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES LABELS "${_labels}" TIMEOUT 900)
  if(WIN32 AND COMMAND vp_wine_test)
    vp_wine_test(${name})
  endif()
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
