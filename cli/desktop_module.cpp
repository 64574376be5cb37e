#include "cli/desktop_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace cli {

int OpenWithDesktopModule(const char* path, std::string& whyNot) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    whyNot = "cannot find the running program: " + error.message();
    return kDesktopMissing;
  }
  const std::filesystem::path module = (self.parent_path() / kDesktopModulePath).lexically_normal();
  // Bound at once like the program itself: no lazy binding later, which
  // would save vector registers (and the secrets in them) on the stack.
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    whyNot = reason != nullptr ? reason : module.string();
    return kDesktopMissing;
  }
  // Never unloaded: the toolkit's threads and the signal handlers the module
  // installs outlive this call.
  const auto entry = reinterpret_cast<DesktopEntry>(::dlsym(handle, kDesktopEntryName));
  if (entry == nullptr) {
    whyNot = module.string() + " has no " + kDesktopEntryName;
    return kDesktopMissing;
  }
  return entry(path);
}

}  // namespace cli
