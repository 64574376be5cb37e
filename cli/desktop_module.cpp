#include "cli/desktop_module.h"

#include <dlfcn.h>
#include <sys/auxv.h>

#include <filesystem>
#include <system_error>

namespace cli {

namespace {

// The running program's own file: what /proc says, else (no /proc, as in a
// bare chroot) the path it was started by, made absolute and free of links.
std::filesystem::path RunningProgram(std::error_code& error) {
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self;
  const auto started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
  if (started == nullptr) return {};
  return std::filesystem::canonical(started, error);
}

}  // namespace

int OpenWithDesktopModule(const char* path, std::string& whyNot) {
  std::error_code error;
  const std::filesystem::path self = RunningProgram(error);
  if (self.empty() || error) {
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
