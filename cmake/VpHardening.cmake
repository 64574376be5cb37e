# The usual hardening of release builds (Release, RelWithDebInfo, MinSizeRel),
# never of sanitizer or fuzz builds, whose instrumentation these flags would
# only disturb:
# - Linux: stack protector (strong), _FORTIFY_SOURCE=3 (checked string and
#   buffer calls), control-flow protection on x86 (-fcf-protection), and
#   full RELRO with immediate binding (-z relro -z now; also no lazy binding,
#   which would save vector registers, and the decoded bytes in them, on the
#   stack); executables are position-independent (CMAKE_POSITION_INDEPENDENT_CODE).
# - MinGW: stack protector (its runtime linked statically, like the rest) and
#   the PE flags ASLR with relocations (--dynamicbase), DEP (--nxcompat) and,
#   for 64-bit images, high-entropy ASLR (--high-entropy-va), set explicitly
#   rather than left to the toolchain's defaults.
# Sets VP_HARDENED when the flags apply; the checks of the built reader and
# module (tests/cli/check_hardening.cmake, tests/win32/check_module.cmake)
# follow it.
include(CheckCXXCompilerFlag)

set(VP_HARDENED OFF)
if(NOT VP_SANITIZE AND NOT VP_BUILD_FUZZERS AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  set(VP_HARDENED ON)
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong)
  if(WIN32)
    add_link_options(-Wl,--dynamicbase -Wl,--nxcompat)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      add_link_options(-Wl,--high-entropy-va)
    endif()
  else()
    add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3)
    check_cxx_compiler_flag(-fcf-protection VP_HAVE_CF_PROTECTION)
    if(VP_HAVE_CF_PROTECTION)
      add_compile_options(-fcf-protection)
    endif()
    add_link_options(-Wl,-z,relro -Wl,-z,now)
  endif()
endif()
message(STATUS "Hardening flags: ${VP_HARDENED}")
