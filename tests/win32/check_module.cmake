# cmake -DMODULE=<vaultpost.dll> -DOBJDUMP=<objdump> -DVERSION_TEXT=2.27-3 -DFORMAT=<pei-i386|pei-x86-64>
#       [-DHARDENED=ON] -P check_module.cmake
# Checks the built module as a file, whatever runs it:
# exactly the seven undecorated exports, system DLLs only among the imports,
# the dialog, icon, string and version resources, the version block and, for
# a release build, its hardening.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed")
endif()
set(failures "")

# Architecture.
if(FORMAT AND NOT dump MATCHES "file format ${FORMAT}\n")
  string(APPEND failures "  not a ${FORMAT} module\n")
endif()

# Exports: the name table, one "[  n] Name" line per export.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${dump}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" names "${table}")
list(TRANSFORM names REPLACE "^\t\\[ *[0-9]+\\] " "")
list(SORT names)
set(expected DeregisterDll DllCanUnloadNow DllGetClassObject InstallDll OpenDocument RegisterDll UninstallDll)
if(NOT names STREQUAL expected)
  string(APPEND failures "  exports are '${names}', expected '${expected}'\n")
endif()
message(STATUS "exports: ${names}")

# Imports: only DLLs every Windows has. The C runtime of MinGW is msvcrt.dll;
# libstdc++, libgcc, winpthread or zlib DLLs here mean a dynamic link crept in.
set(system_dlls advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll
                oleaut32.dll setupapi.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
list(TRANSFORM imports REPLACE "^DLL Name: " "")
foreach(dll ${imports})
  string(TOLOWER "${dll}" lower)
  if(NOT lower IN_LIST system_dlls)
    string(APPEND failures "  imports ${dll}, which is not a system DLL\n")
  endif()
endforeach()
message(STATUS "imports: ${imports}")

# Resources: the directory tree objdump prints, type level then name level.
string(REGEX MATCH "The \\.rsrc Resource Directory section:\n.*" rsrc "${dump}")
string(REPLACE "\n" ";" lines "${rsrc}")
set(type "")
foreach(line ${lines})
  if(line MATCHES "^[0-9a-f]+   Entry: ID: 0x([0-9a-f]+)")
    math(EXPR type "0x${CMAKE_MATCH_1}")
  elseif(line MATCHES "^[0-9a-f]+     Entry: ID: 0x([0-9a-f]+)" AND NOT type STREQUAL "")
    math(EXPR id "0x${CMAKE_MATCH_1}")
    list(APPEND resources_${type} ${id})
  endif()
endforeach()
# 5 dialogs, 14 icon groups, 3 icon images, 6 string blocks (143 lies in block 143/16+1), 16 version.
foreach(check "5;102;103;104;145" "14;141;146" "6;9" "16;1")
  list(POP_FRONT check type)
  foreach(id ${check})
    if(NOT id IN_LIST resources_${type})
      string(APPEND failures "  no resource of type ${type} with id ${id}\n")
    endif()
  endforeach()
endforeach()
list(LENGTH resources_3 images)
if(images LESS 10)
  string(APPEND failures "  ${images} icon images, expected five sizes for each of the two icons\n")
endif()
message(STATUS "dialogs: ${resources_5}; icon groups: ${resources_14} (${images} images)")

# Version block: the fixed part (signature 0xFEEF04BD, file version 2.27.3.0
# as two little-endian words) and the version text in UTF-16.
file(READ ${MODULE} bytes HEX)
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)-([0-9]+)$" parts "${VERSION_TEXT}")
set(version ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.0)
set(fixed "bd04effe00000100")
foreach(word ${CMAKE_MATCH_2} ${CMAKE_MATCH_1} 0 ${CMAKE_MATCH_3})  # minor, major, 0, patch
  math(EXPR word "${word} + 65536" OUTPUT_FORMAT HEXADECIMAL)  # 0x1HHLL
  string(SUBSTRING "${word}" 5 2 lo)
  string(SUBSTRING "${word}" 3 2 hi)
  string(APPEND fixed "${lo}${hi}")
endforeach()
string(FIND "${bytes}" "${fixed}" at)
if(at EQUAL -1)
  string(APPEND failures "  no fixed version block for ${version}\n")
endif()
string(HEX "${VERSION_TEXT}" text_hex)
string(REGEX REPLACE "(..)" "\\100" text_hex "${text_hex}")  # UTF-16
string(FIND "${bytes}" "${text_hex}" at)
if(at EQUAL -1)
  string(APPEND failures "  the version text ${VERSION_TEXT} is not in the module\n")
endif()

# Hardening of release builds (cmake/VpHardening.cmake): ASLR with the
# relocations it needs, DEP, high-entropy ASLR for 64-bit images, and the
# stack protector (its runtime is linked in, so its symbol is in the image's
# symbol table, not among the imports).
if(HARDENED)
  string(REGEX MATCH "DllCharacteristics[^\n]*\n(\t+[A-Z_]+\n)*" characteristics "${dump}")
  set(wanted DYNAMIC_BASE NX_COMPAT)
  if(FORMAT STREQUAL "pei-x86-64")
    list(APPEND wanted HIGH_ENTROPY_VA)
  endif()
  foreach(flag ${wanted})
    if(NOT characteristics MATCHES "\t${flag}\n")
      string(APPEND failures "  DllCharacteristics lack ${flag}\n")
    endif()
  endforeach()
  execute_process(COMMAND ${OBJDUMP} -h -t ${MODULE} OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
  if(NOT sections MATCHES " \.reloc ")
    string(APPEND failures "  no .reloc section: the image cannot move\n")
  endif()
  if(NOT sections MATCHES "__stack_chk_fail")
    string(APPEND failures "  no stack protector\n")
  endif()
  message(STATUS "hardening: ${characteristics}")
endif()

if(failures)
  message(FATAL_ERROR "${MODULE}:\n${failures}")
endif()
message(STATUS "${MODULE}: exports, imports, resources and version block as expected")
