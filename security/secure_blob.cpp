#include "security/secure_blob.h"

#include <cstddef>
#include <cstring>

namespace security {

SecureBlob::SecureBlob(const void* data, std::uint32_t length)
    : size_(length), block_(BlockSize()) {
  for (std::uint32_t i = 0; i < kPrefixBytes; ++i) block_[i] = static_cast<std::uint8_t>(length >> (8 * i));
  if (length != 0) std::memcpy(Data(), data, length);
  std::memset(Spare(), 0, kSpareBytes);
}

SecureBlob::~SecureBlob() = default;  // wiped with its memory

}  // namespace security
