// A stand-in for one module of the process (the Windows module, a shell
// extension, ...): its own copy of the support library, its own static
// objects, sharing the process-wide variables through the registry.

#include <cstdint>

#include "source/xp/debugengine/base/debug_engine_state.h"
#include "source/xp/global_pointer.h"
#include "source/xp/result/generic_result.h"
#include "source/xp/xp_module.h"

#define XP_TEST_EXPORT extern "C" __attribute__((visibility("default")))

// The shared text-source container's block as this module sees it.
XP_TEST_EXPORT const void* XpTestModuleContainerBlock() { return xp::ResultTextSourcesVariable().block(); }

// The container's reference count as this module sees it.
XP_TEST_EXPORT std::uint32_t XpTestModuleContainerReferences() {
  return xp::ResultTextSourcesVariable().references();
}

// The registry this module attached to.
XP_TEST_EXPORT const void* XpTestModuleRegistry() { return &xp::GlobalPointerBase::ModuleRegistry(); }

// The debug-log state as this module sees it.
XP_TEST_EXPORT const void* XpTestModuleDebugState() { return &xp::DebugEngineState::Instance(); }

// A result text looked up through the shared container.
XP_TEST_EXPORT const char* XpTestModuleText(std::uint32_t code) { return xp::GenericResult::Text(code); }
