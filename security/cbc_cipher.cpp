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

BlockCipher* CBCCipher::Prepare(const std::uint8_t* in, const std::uint8_t* out, std::uint32_t length,
                                 bool& answer) {
  answer = false;
  BlockCipher* block = GetBlockCipher();
  if (block == nullptr || length % block->BlockSize() != 0) return nullptr;
  if (length == 0) {
    answer = true;
    return nullptr;
  }
  return in != nullptr && out != nullptr ? block : nullptr;
}

bool CBCCipher::Encrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  bool answer = false;
  BlockCipher* block = Prepare(in, out, length, answer);
  if (block == nullptr) return answer;
  const std::uint32_t blockSize = block->BlockSize();
  block->EncryptCbcBlocks(in, out, length / blockSize, chain_.get());
  return true;
}

bool CBCCipher::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  bool answer = false;
  BlockCipher* block = Prepare(in, out, length, answer);
  if (block == nullptr) return answer;
  const std::uint32_t blockSize = block->BlockSize();
  block->DecryptCbcBlocks(in, out, length / blockSize, chain_.get());
  return true;
}

}  // namespace security
