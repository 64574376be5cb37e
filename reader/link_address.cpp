#include "reader/link_address.h"

#include <cstddef>
#include <initializer_list>

namespace reader {

namespace {

// Length of `scheme` when `address` starts with it, ignoring case; else 0.
std::size_t SchemeLength(const char* address, const char* scheme) {
  std::size_t i = 0;
  for (; scheme[i] != '\0'; ++i) {
    const char c = address[i];
    if (c == '\0') return 0;
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != scheme[i]) return 0;
  }
  return i;
}

}  // namespace

bool IsOpenableLinkAddress(const char* address) {
  if (address == nullptr) return false;
  std::size_t scheme = 0;
  for (const char* allowed : {"http:", "https:", "mailto:"}) {
    scheme = SchemeLength(address, allowed);
    if (scheme != 0) break;
  }
  if (scheme == 0 || address[scheme] == '\0') return false;
  for (const char* p = address; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c <= 0x20 || c == 0x7F || c == '"') return false;
  }
  return true;
}

}  // namespace reader
