#pragma once
// 32-bit result codes and the process-wide table of sources that turn them
// into text.
//
// Code layout: bits 27 to 29 hold the source kind; for kind 2, bits 21 to 26
// hold a sub-source. The value is the low 21 bits for kind 2, the low 27 bits
// for kind 3 and the low 15 bits for every other kind.

#include <cstddef>
#include <cstdint>
#include <map>

namespace xp {

class GenericResult {
 public:
  // Text for a code, or null when there is none.
  using TextFunction = const char* (*)(std::uint32_t code);

  struct TextSource {
    const char* name;
    TextFunction text;
  };

  // Source key -> (name, text function). One per process, shared by every
  // module through the shared-variable registry.
  class TextSourceContainer {
   public:
    // Registers the system texts (key 0x18000000, name "") and the runtime
    // texts (key 0x10200000, name "libc").
    TextSourceContainer();
    // Adds or replaces the source under key.
    void add(std::uint32_t key, const char* name, TextFunction text);
    // The source under key, or null.
    const TextSource* find(std::uint32_t key) const;
    std::size_t size() const { return sources_.size(); }

   private:
    std::map<std::uint32_t, TextSource> sources_;
  };

  static constexpr std::uint32_t kSystemKind = 3;
  static constexpr std::uint32_t kRuntimeKind = 2;
  static constexpr std::uint32_t kRuntimeSubSource = 1;
  static constexpr std::uint32_t kSystemKey = 0x18000000u;
  static constexpr std::uint32_t kRuntimeKey = 0x10200000u;

  static constexpr std::uint32_t Kind(std::uint32_t code) { return (code >> 27) & 0x7u; }
  static constexpr std::uint32_t SubSource(std::uint32_t code) { return Kind(code) == 2 ? (code >> 21) & 0x3Fu : 0; }
  static constexpr std::uint32_t Value(std::uint32_t code) {
    switch (Kind(code)) {
      case 2:
        return code & 0x1FFFFFu;
      case 3:
        return code & 0x7FFFFFFu;
      default:
        return code & 0x7FFFu;
    }
  }
  // ((kind << 6) | sub-source) << 21: the key of the source a code belongs to.
  static constexpr std::uint32_t SourceKey(std::uint32_t code) {
    return ((Kind(code) << 6) | SubSource(code)) << 21;
  }

  // The process-wide container (created when the module loads).
  static const TextSourceContainer& Sources();
  // The text of code through its source (chosen by kind and sub-source);
  // null when no source is registered or the source has no text.
  static const char* Text(std::uint32_t code);

  // The system's message for the value of code. The text belongs to the
  // calling thread and stays valid until its next request.
  static const char* SystemMessageText(std::uint32_t code);
  // strerror of the value of code.
  static const char* RuntimeErrorText(std::uint32_t code);
};

}  // namespace xp
