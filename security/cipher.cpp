#include "security/cipher.h"

namespace security {

Cipher::Cipher(std::uint32_t identifier) : blockCipher_(CreateBlockCipher(identifier)) {}

Cipher::~Cipher() = default;

bool Cipher::SetIv(const std::uint8_t* /*iv*/, std::uint32_t /*length*/) {
  if (!blockCipher_) return false;
  blockCipher_->Reset();
  return true;
}

bool Cipher::Encrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  return blockCipher_ && blockCipher_->EncryptEcb(in, out, length);
}

bool Cipher::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  return blockCipher_ && blockCipher_->DecryptEcb(in, out, length);
}

}  // namespace security
