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
  std::uint32_t* chain = chain_.get();
  for (std::uint32_t offset = 0; offset < length; offset += blockSize) {
    for (std::uint32_t w = 0; w < chainWords_; ++w) {
      chain[w] ^= LoadBigEndian32(in + offset + 4 * w);
    }
    block->EncryptBlock(chain, chain);
    for (std::uint32_t w = 0; w < chainWords_; ++w) {
      StoreLittleEndian32(out + offset + 4 * w, chain[w]);
    }
  }
  return true;
}

bool CBCCipher::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  bool answer = false;
  BlockCipher* block = Prepare(in, out, length, answer);
  if (block == nullptr) return answer;
  const std::uint32_t blockSize = block->BlockSize();
  std::uint32_t* chain = chain_.get();
  std::uint32_t stored[kMaxCipherBlockSize / 4];
  std::uint32_t plain[kMaxCipherBlockSize / 4];
  for (std::uint32_t offset = 0; offset < length; offset += blockSize) {
    // Read the whole stored block before writing `out`: in-place works.
    for (std::uint32_t w = 0; w < chainWords_; ++w) {
      stored[w] = LoadLittleEndian32(in + offset + 4 * w);
    }
    block->DecryptBlock(stored, plain);
    for (std::uint32_t w = 0; w < chainWords_; ++w) {
      StoreBigEndian32(out + offset + 4 * w, plain[w] ^ chain[w]);
      chain[w] = stored[w];
    }
  }
  SecureWipe(plain, sizeof plain);
  return true;
}

}  // namespace security
