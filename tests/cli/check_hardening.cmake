# cmake -DPROGRAM=<vaultpost> [-DMODULE=<vaultpost-gtk.so>] -DREADELF=<readelf> -P check_hardening.cmake
# Checks the built reader (and its desktop module) for the hardening of release builds
# (cmake/VpHardening.cmake) without running it: a position-independent
# executable, full RELRO with immediate binding, a stack that is not
# executable, the stack protector and the checked (_FORTIFY_SOURCE) calls.
# (-fcf-protection leaves no mark to check: the C runtime's start files of
# this system carry no IBT/SHSTK property, so the linker drops it.)
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${READELF} -W --file-header --dynamic --program-headers --dyn-syms ${PROGRAM}
                OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${READELF} ${PROGRAM} failed")
endif()
set(failures "")
function(expect pattern what)
  if(NOT dump MATCHES "${pattern}")
    set(failures "${failures}  ${what}\n" PARENT_SCOPE)
  endif()
endfunction()

expect("Type: +DYN" "not a position-independent executable")
expect("FLAGS_1[^\n]*PIE" "no PIE flag")
function(expect_hardened_image)
  expect("GNU_RELRO" "no RELRO segment")
  expect("(BIND_NOW|FLAGS_1[^\n]*NOW)" "lazy binding: the RELRO is partial (no -z now)")
  expect("GNU_STACK[^\n]* RW +0x" "the stack is executable")
  expect("__stack_chk_fail" "no stack protector")
  set(failures "${failures}" PARENT_SCOPE)
endfunction()
expect_hardened_image()
expect("__[a-z]*(printf|mem[a-z]+|str[a-z]+|read|poll)_chk" "no checked calls of _FORTIFY_SOURCE")
if(failures)
  message(FATAL_ERROR "${PROGRAM}:\n${failures}")
endif()
message(STATUS "${PROGRAM}: PIE, full RELRO, no executable stack, stack protector, checked calls")

# The desktop module: the same, and its entry the one function it exports.
if(MODULE)
  execute_process(COMMAND ${READELF} -W --dynamic --program-headers --dyn-syms ${MODULE}
                  OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${READELF} ${MODULE} failed")
  endif()
  expect_hardened_image()
  string(REGEX MATCHALL "FUNC +GLOBAL +DEFAULT +[0-9]+ [A-Za-z_0-9]+" exported "${dump}")
  if(NOT exported MATCHES "^FUNC +GLOBAL +DEFAULT +[0-9]+ vp_open_on_desktop$")
    set(failures "${failures}  exports ${exported}, not vp_open_on_desktop alone\n")
  endif()
  if(failures)
    message(FATAL_ERROR "${MODULE}:\n${failures}")
  endif()
  message(STATUS "${MODULE}: full RELRO, no executable stack, stack protector, one export")
endif()
