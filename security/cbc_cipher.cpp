#include "security/cbc_cipher.h"

#include "security/secure_wipe.h"

namespace security {

CBCCipher::CBCCipher(std::uint32_t identifier) : Cipher(identifier) {
  const BlockCipher* block = GetBlockCipher();
  if (block == nullptr) return;
  chainWords_ = block->BlockSize() / 4;
  chain_ = std::make_unique<std::uint32_t[]>(chainWords_);  // value-initialised: zeros
}

CBCCipher::~CBCCipher() {
  if (chain_) SecureWipe(chain_.get(), chainWords_ * sizeof(std::uint32_t));
}

bool CBCCipher::SetIv(const std::uint8_t* iv, std::uint32_t length) {
  BlockCipher* block = GetBlockCipher();
  if (block == nullptr) return false;
  const bool given = iv != nullptr && length != 0;
  if (given && length < block->BlockSize()) return false;
  block->Reset();
  for (std::uint32_t w = 0; w < chainWords_; ++w) {
    chain_[w] = given ? LoadBigEndian32(iv + 4 * w) : 0;
  }
  return true;
}

bool CBCCipher::Encrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  BlockCipher* block = GetBlockCipher();
  if (block == nullptr) return false;
  const std::uint32_t blockSize = block->BlockSize();
  if (length % blockSize != 0) return false;
  if (length == 0) return true;
  if (in == nullptr || out == nullptr) return false;
  block->EncryptCbcBlocks(in, out, length / blockSize, chain_.get());
  return true;
}

bool CBCCipher::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  BlockCipher* block = GetBlockCipher();
  if (block == nullptr) return false;
  const std::uint32_t blockSize = block->BlockSize();
  if (length % blockSize != 0) return false;
  if (length == 0) return true;
  if (in == nullptr || out == nullptr) return false;
  block->DecryptCbcBlocks(in, out, length / blockSize, chain_.get());
  return true;
}

}  // namespace security
