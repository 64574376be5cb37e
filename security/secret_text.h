#pragma once
// Text that is secret (a password as it was typed): its bytes live only in
// locked blocks that are wiped before they are released, also the blocks left
// behind when the text grows.

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "security/locked_memory.h"
#include "security/secure_wipe.h"

namespace security {

// A NUL-terminated byte string in locked, wiped memory, with the few string
// operations a line reader needs (named as std::string's). Unlike std::string
// it never keeps its bytes inside the object itself (no short-string
// buffer), so nothing of it stays behind on the stack.
class SecretText {
 public:
  SecretText() { bytes_.reserve(kInitialCapacity); bytes_.push_back('\0'); }
  explicit SecretText(std::string_view text) : SecretText() { append(text); }

  void append(std::string_view text) {
    bytes_.pop_back();
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back('\0');
  }
  void push_back(char c) {
    bytes_.back() = c;
    bytes_.push_back('\0');
  }
  // Drops the last byte (the text must not be empty); the byte is wiped.
  void pop_back() {
    bytes_.pop_back();
    bytes_.back() = '\0';
  }
  // Wipes the text; the block is kept for reuse.
  void clear() {
    SecureWipe(bytes_.data(), bytes_.size());
    bytes_.assign(1, '\0');
  }

  const char* c_str() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size() - 1; }
  bool empty() const { return size() == 0; }
  char back() const { return bytes_[bytes_.size() - 2]; }
  std::string_view view() const { return {bytes_.data(), size()}; }

 private:
  static constexpr std::size_t kInitialCapacity = 64;
  std::vector<char, LockedAllocator<char>> bytes_;
};

}  // namespace security
