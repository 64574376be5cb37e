#pragma once
// The ECB front over a block cipher built from a stored cipher identifier.
// CBCCipher derives from it.

#include <cstdint>
#include <memory>

#include "security/block_cipher.h"

namespace security {

class Cipher {
 public:
  // Builds the block cipher for `identifier` (see CreateBlockCipher). When the
  // identifier names no cipher the object is not valid: IsValid() is false and
  // every operation refuses.
  explicit Cipher(std::uint32_t identifier);
  // Slot 0: destroys the block cipher.
  virtual ~Cipher();

  Cipher(const Cipher&) = delete;
  Cipher& operator=(const Cipher&) = delete;

  // Slot 1: resets the block cipher; the ECB front has no chaining value, so
  // `iv` is not read. False when there is no block cipher.
  virtual bool SetIv(const std::uint8_t* iv, std::uint32_t length);
  // Slots 2 and 3: EncryptEcb / DecryptEcb of the block cipher. False when
  // there is no block cipher or `length` is not a whole number of blocks.
  virtual bool Encrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length);
  virtual bool Decrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length);

  bool IsValid() const { return blockCipher_ != nullptr; }
  // The block cipher, for SetKeyLength and SetKey; null when not valid.
  BlockCipher* GetBlockCipher() const { return blockCipher_.get(); }

 private:
  std::unique_ptr<BlockCipher> blockCipher_;
};

}  // namespace security
