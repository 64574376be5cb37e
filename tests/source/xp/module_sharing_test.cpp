#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "source/xp/debugengine/base/debug_engine_state.h"
#include "source/xp/global_pointer.h"
#include "source/xp/result/generic_result.h"
#include "source/xp/xp_module.h"

namespace xp {
namespace {

// One dlopen'ed test module and its entry points.
class LoadedModule {
 public:
  explicit LoadedModule(const char* path) : handle_(::dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~LoadedModule() {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  bool loaded() const { return handle_ != nullptr; }
  template <class F>
  F entry(const char* name) const {
    return reinterpret_cast<F>(::dlsym(handle_, name));
  }
  const void* containerBlock() const { return entry<const void* (*)()>("XpTestModuleContainerBlock")(); }
  std::uint32_t containerReferences() const {
    return entry<std::uint32_t (*)()>("XpTestModuleContainerReferences")();
  }
  const void* registry() const { return entry<const void* (*)()>("XpTestModuleRegistry")(); }
  const void* debugState() const { return entry<const void* (*)()>("XpTestModuleDebugState")(); }
  const char* text(std::uint32_t code) const { return entry<const char* (*)(std::uint32_t)>("XpTestModuleText")(code); }

 private:
  void* handle_;
};

TEST(ModuleSharing, TwoModulesShareTheResultContainerThroughTheRegistry) {
  const GlobalPointerBase& ours = ResultTextSourcesVariable();
  const std::uint32_t base = ours.references();
  {
    LoadedModule a(XP_TEST_MODULE_A);
    ASSERT_TRUE(a.loaded()) << ::dlerror();
    ASSERT_NE(a.entry<void*>("XpTestModuleContainerBlock"), nullptr);
    // The module has its own copy of the library, yet finds this process's
    // registry and the block created here.
    EXPECT_EQ(a.registry(), &GlobalPointerBase::ModuleRegistry());
    EXPECT_EQ(a.containerBlock(), ours.block());
    const std::uint32_t afterA = a.containerReferences();
    EXPECT_EQ(afterA, base + 1);
    {
      LoadedModule b(XP_TEST_MODULE_B);
      ASSERT_TRUE(b.loaded()) << ::dlerror();
      EXPECT_NE(b.entry<void*>("XpTestModuleRegistry"), a.entry<void*>("XpTestModuleRegistry"));
      EXPECT_EQ(b.containerBlock(), a.containerBlock());
      EXPECT_EQ(b.containerReferences(), afterA + 1);  // the first module's reference is there
      EXPECT_EQ(b.debugState(), a.debugState());
      EXPECT_EQ(b.debugState(), &DebugEngineState::Instance());
      EXPECT_STREQ(b.text(0x10200002u), std::strerror(2));
    }
    // Unloading a module gives its reference back.
    EXPECT_EQ(a.containerReferences(), afterA);
  }
  EXPECT_EQ(ours.references(), base);
}

}  // namespace
}  // namespace xp
