#pragma once
// SHA-1 (FIPS 180-4) as an algorithm front; it holds its state itself.

#include <cstdint>

#include "security/digest_imp.h"

namespace security {

class SHA1Digest : public DigestImp {
 public:
  SHA1Digest();
  ~SHA1Digest() override;

  void Reset() override;
  void Update(const void* data, std::uint32_t length) override;
  // Writes `length` bytes (0: 20) of the digest; above 20 is refused.
  bool Final(std::uint8_t* out, std::uint32_t length) override;
  std::uint32_t BlockSize() const override { return kBlockSize; }

  static constexpr std::uint32_t kBlockSize = 64;
  static constexpr std::uint32_t kDigestSize = 20;

 private:
  std::uint32_t chain_[5];
  std::uint32_t bitCountLow_;
  std::uint32_t bitCountHigh_;
  std::uint8_t buffer_[kBlockSize];
};

}  // namespace security
