// A stand-in for one module of the process, with its own copy of the support library.

#include <cstdint>

#include "source/xp/global_pointer.h"
#include "source/xp/result/generic_result.h"
#include "source/xp/xp_module.h"

#ifdef _WIN32
#define XP_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define XP_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

XP_TEST_EXPORT const void* XpTestModuleRegistry() { return &xp::GlobalPointerBase::ModuleRegistry(); }
XP_TEST_EXPORT const void* XpTestModuleContainerBlock() { return xp::ResultTextSourcesVariable().block(); }
XP_TEST_EXPORT std::uint32_t XpTestModuleContainerReferences() {
  return xp::ResultTextSourcesVariable().references();
}
XP_TEST_EXPORT const char* XpTestModuleText(std::uint32_t code) { return xp::GenericResult::Text(code); }
