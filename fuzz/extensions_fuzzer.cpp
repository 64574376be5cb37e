// The accepted-extensions list: the stored text is whatever the settings
// hold (another program may have written it), the extension comes from a
// document's part name. The input is the list, a NUL, the extension.

#include <string>
#include <string_view>

#include "fuzz/fuzz_target.h"
#include "os/accepted_extensions.h"
#include "os/settings_store.h"

namespace {

// One value in memory, with the limits of the real stores.
class MemoryStore final : public os::SettingsStore {
 public:
  explicit MemoryStore(std::string text) : text_(std::move(text)) {}
  bool ReadValue(const char*, std::string& out, std::size_t limit) override {
    if (text_.size() + 1 > limit) return false;
    out = text_;
    return true;
  }
  bool UpdateValue(const char*, std::size_t readLimit, const Updater& update) override {
    std::string text = text_.size() + 1 > readLimit ? std::string() : text_;
    if (!update(text, true)) return false;
    text_ = text;
    return true;
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace

VP_FUZZ_TARGET(extensions) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string list(input.substr(0, nul));
  const std::string ext(nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1));
  const std::string extText(ext.c_str());  // as a C string reaches the store

  const bool storable = os::IsStorableExtension(ext);
  VP_FUZZ_CHECK(!storable || (ext.size() >= 2 && ext[0] == '.' && !os::IsExecutableExtension(ext)));
  (void)os::ListHoldsExtension(list, ext);

  for (const std::size_t limit : {os::kAcceptedLookupLimit, list.size() + 1 + ext.size() / 2}) {
    std::string grown = list;
    if (os::AppendExtension(grown, ext, limit)) {
      VP_FUZZ_CHECK(grown.size() + 1 <= limit);
      VP_FUZZ_CHECK(ext.empty() || os::ListHoldsExtension(grown, ext));
    } else {
      VP_FUZZ_CHECK(grown == list);
    }
  }

  MemoryStore store(list);
  const bool before = os::IsAcceptedExtension(store, extText.c_str());
  os::AddAcceptedExtension(store, extText.c_str());
  VP_FUZZ_CHECK(store.Text().size() + 1 <= os::kAcceptedUpdateLimit || store.Text() == list);
  if (before) VP_FUZZ_CHECK(store.Text() == list);  // nothing is added twice
  // A storable extension is found afterwards, unless the list could not take
  // it (the addition never grows the list past what a lookup reads).
  if (os::IsStorableExtension(extText)) {
    VP_FUZZ_CHECK(os::IsAcceptedExtension(store, extText.c_str()) || store.Text() == list);
  }
  return 0;
}
