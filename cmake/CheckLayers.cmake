# cmake -DSOURCE_DIR=<root> -P CheckLayers.cmake
# Fails when a file includes a header from a folder of its own layer or a
# higher one (see VpLayers.cmake); tests and benchmarks may include anything.
include(${CMAKE_CURRENT_LIST_DIR}/VpLayers.cmake)

set(_violations "")
foreach(_pair ${VP_FOLDER_LAYERS})
  string(REPLACE "=" ";" _kv "${_pair}")
  list(GET _kv 0 _folder)
  file(GLOB_RECURSE _files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${_folder}/*.h" "${SOURCE_DIR}/${_folder}/*.cpp"
       "${SOURCE_DIR}/${_folder}/*.rc")
  foreach(_file ${_files})
    get_filename_component(_dir "${_file}" DIRECTORY)
    vp_folder_layer("${_dir}" _own)
    set(_ownFolder "${_own_FOLDER}")
    if(NOT _ownFolder STREQUAL _folder)
      continue()  # a nested folder with a layer of its own is checked on its own turn
    endif()
    file(STRINGS "${SOURCE_DIR}/${_file}" _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(_line ${_includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" _header "${_line}")
      get_filename_component(_hdir "${_header}" DIRECTORY)
      vp_folder_layer("${_hdir}" _theirs)
      if(_theirs EQUAL -1 OR _theirs_FOLDER STREQUAL _ownFolder)
        continue()
      endif()
      if(NOT _theirs LESS _own)
        string(APPEND _violations "  ${_file} (layer ${_own}) includes ${_header} (layer ${_theirs})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(_violations)
  message(FATAL_ERROR "Includes against the layering:\n${_violations}")
endif()
message(STATUS "layering: every include points to a lower layer")
