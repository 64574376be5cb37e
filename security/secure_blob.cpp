#include "security/secure_blob.h"

#include <cstddef>
#include <cstring>

#include "security/secure_wipe.h"

namespace security {

SecureBlob::SecureBlob(const void* data, std::uint32_t length)
    : block_(new std::uint8_t[std::size_t{length} + kPrefixBytes + kSpareBytes]), size_(length) {
  for (std::uint32_t i = 0; i < kPrefixBytes; ++i) block_[i] = static_cast<std::uint8_t>(length >> (8 * i));
  if (length != 0) std::memcpy(Data(), data, length);
  std::memset(Spare(), 0, kSpareBytes);
}

SecureBlob::~SecureBlob() {
  SecureWipe(block_, std::size_t{size_} + kPrefixBytes + kSpareBytes);
  delete[] block_;
}

}  // namespace security
