#pragma once
// The triple-DES construction stored documents use: 8-byte blocks, keys of 8,
// 16 or 24 bytes. It is built from DES parts (S-boxes, P, the key schedule)
// but is its own construction, not FIPS 46-3 DES or TDEA; stored documents
// depend on it exactly as it is.
//
// Encryption: forward pass with K1, then (keys of 16 or 24 bytes) backward
// pass with K2 and forward pass with K3. A 16-byte key uses K3 = K1; an 8-byte
// key runs the single forward pass.

#include <cstdint>

#include "security/block_cipher.h"

namespace security {

class TripleDESCipher : public BlockCipher {
 public:
  // Key length 24 bytes, all subkeys zero until SetKey.
  TripleDESCipher();
  ~TripleDESCipher() override;

  // Accepts 8, 16 and 24 only.
  bool SetKeyLength(std::uint32_t bytes) override;
  bool SetKey(const std::uint8_t* key) override;
  // Nothing is derived lazily; does nothing.
  void Reset() override;
  void EncryptBlock(const std::uint32_t* in, std::uint32_t* out) override;
  void DecryptBlock(const std::uint32_t* in, std::uint32_t* out) override;

  static constexpr std::uint32_t kBlockSize = 8;
  static constexpr std::uint32_t kSubkeyWords = 32;

 private:
  // Wipes all three schedules.
  void WipeSchedules() noexcept;

  std::uint32_t k1_[kSubkeyWords];
  std::uint32_t k2_[kSubkeyWords];
  std::uint32_t k3_[kSubkeyWords];
};

}  // namespace security
