#pragma once
// The AES family: 16-byte blocks, keys of 16 to 32 bytes (default 32).

#include <cstdint>

#include "security/block_cipher.h"

namespace security {

class AESCipher : public BlockCipher {
 public:
  static constexpr std::uint32_t kBlockSize = 16;
  static constexpr std::uint32_t kMinimumKeyLength = 16;
  static constexpr std::uint32_t kMaximumKeyLength = 32;

 protected:
  AESCipher() : BlockCipher(kMaximumKeyLength, kMinimumKeyLength, kMaximumKeyLength, kBlockSize) {}
};

}  // namespace security
