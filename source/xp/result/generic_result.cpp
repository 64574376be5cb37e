#include "source/xp/result/generic_result.h"

#include <cstring>

#include "source/xp/platform.h"
#include "source/xp/xp_module.h"

namespace xp {

GenericResult::TextSourceContainer::TextSourceContainer() {
  add(kSystemKey, "", SystemMessageText);
  add(kRuntimeKey, "libc", RuntimeErrorText);
}

void GenericResult::TextSourceContainer::add(std::uint32_t key, const char* name, TextFunction text) {
  sources_[key] = TextSource{name, text};
}

const GenericResult::TextSource* GenericResult::TextSourceContainer::find(std::uint32_t key) const {
  const auto it = sources_.find(key);
  return it == sources_.end() ? nullptr : &it->second;
}

const char* GenericResult::Text(std::uint32_t code) {
  const TextSource* source = Sources().find(SourceKey(code));
  return source == nullptr ? nullptr : source->text(code);
}

const char* GenericResult::SystemMessageText(std::uint32_t code) {
  char* text = platform::FormatSystemMessage(Value(code));
  if (text == nullptr) return nullptr;
  // The thread keeps its latest text; the one it replaces is given back.
  const XPThread::Storage& slot = SystemTextSlot();
  void* previous = slot.get();
  slot.set(text);
  if (previous != nullptr) platform::ReleaseSystemText(previous);
  return text;
}

const char* GenericResult::RuntimeErrorText(std::uint32_t code) {
  return std::strerror(static_cast<int>(Value(code)));
}

}  // namespace xp
