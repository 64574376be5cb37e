#include "security/secure_blob.h"

#include <cstddef>
#include <cstring>

#include "security/secure_wipe.h"
#include "security/uninitialised_array.h"

namespace security {

SecureBlob::SecureBlob(const void* data, std::uint32_t length)
    : size_(length), block_(MakeUninitialisedArray<std::uint8_t[]>(BlockSize())) {
  for (std::uint32_t i = 0; i < kPrefixBytes; ++i) block_[i] = static_cast<std::uint8_t>(length >> (8 * i));
  if (length != 0) std::memcpy(Data(), data, length);
  std::memset(Spare(), 0, kSpareBytes);
}

SecureBlob::~SecureBlob() {
  SecureWipe(block_.get(), BlockSize());
}

}  // namespace security
