#include "security/block_cipher.h"

#include "security/aes_accelerated_cipher.h"
#include "security/aes_vanilla_cipher.h"
#include "security/kernels.h"
#include "security/secure_wipe.h"
#include "security/triple_des_cipher.h"

namespace security {

BaseCipher::BaseCipher(std::uint32_t keyLength, std::uint32_t minimumKeyLength,
                       std::uint32_t maximumKeyLength, std::uint32_t blockSize)
    : keyLength_(keyLength),
      minimumKeyLength_(minimumKeyLength),
      maximumKeyLength_(maximumKeyLength),
      blockSize_(blockSize) {}

BaseCipher::~BaseCipher() = default;

std::uint32_t* BaseCipher::GetBlockSize(std::uint32_t* out) const {
  if (out != nullptr) *out = blockSize_;
  return out;
}

std::uint32_t BaseCipher::Reserved() const { return 0; }

bool BaseCipher::SetKeyLength(std::uint32_t bytes) {
  if (bytes < minimumKeyLength_ || bytes > maximumKeyLength_) return false;
  keyLength_ = bytes;
  return true;
}

template <bool kEncrypt>
bool BlockCipher::Ecb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  const std::uint32_t blockSize = BlockSize();
  if (length % blockSize != 0) return false;
  if (length == 0) return true;
  if (in == nullptr || out == nullptr) return false;
  const std::uint32_t words = blockSize / 4;
  std::uint32_t block[kMaxCipherBlockSize / 4];
  for (std::uint32_t offset = 0; offset < length; offset += blockSize) {
    for (std::uint32_t w = 0; w < words; ++w) block[w] = LoadBigEndian32(in + offset + 4 * w);
    if constexpr (kEncrypt) {
      EncryptBlock(block, block);
    } else {
      DecryptBlock(block, block);
    }
    for (std::uint32_t w = 0; w < words; ++w) StoreBigEndian32(out + offset + 4 * w, block[w]);
  }
  SecureWipe(block, sizeof block);
  return true;
}

bool BlockCipher::EncryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  return Ecb<true>(in, out, length);
}

bool BlockCipher::DecryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  return Ecb<false>(in, out, length);
}

void BlockCipher::EncryptCbcBlocks(const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks,
                                   std::uint32_t* chain) {
  const std::uint32_t blockSize = BlockSize();
  const std::uint32_t words = blockSize / 4;
  for (; blocks != 0; --blocks, in += blockSize, out += blockSize) {
    for (std::uint32_t w = 0; w < words; ++w) chain[w] ^= LoadBigEndian32(in + 4 * w);
    EncryptBlock(chain, chain);
    for (std::uint32_t w = 0; w < words; ++w) StoreLittleEndian32(out + 4 * w, chain[w]);
  }
}

void BlockCipher::DecryptCbcBlocks(const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks,
                                   std::uint32_t* chain) {
  const std::uint32_t blockSize = BlockSize();
  const std::uint32_t words = blockSize / 4;
  std::uint32_t stored[kMaxCipherBlockSize / 4];
  std::uint32_t plain[kMaxCipherBlockSize / 4];
  for (; blocks != 0; --blocks, in += blockSize, out += blockSize) {
    // Read the whole stored block before writing `out`: in-place works.
    for (std::uint32_t w = 0; w < words; ++w) stored[w] = LoadLittleEndian32(in + 4 * w);
    DecryptBlock(stored, plain);
    for (std::uint32_t w = 0; w < words; ++w) {
      StoreBigEndian32(out + 4 * w, plain[w] ^ chain[w]);
      chain[w] = stored[w];
    }
  }
  SecureWipe(plain, sizeof plain);
}

std::unique_ptr<BlockCipher> CreateBlockCipher(std::uint32_t identifier) {
  std::unique_ptr<BlockCipher> cipher;
  switch (identifier) {
    case kCipherTripleDes:
      cipher = std::make_unique<TripleDESCipher>();
      break;
    case kCipherAes:
      // The processor's AES instructions when this processor has them.
      if (const detail::AesKernels* kernels = detail::ActiveKernels().aes) {
        cipher = std::make_unique<AesAcceleratedCipher>(*kernels);
      } else {
        cipher = std::make_unique<AesVanillaCipher>();
      }
      break;
    default:
      return nullptr;
  }
  cipher->SetIdentifier(identifier);
  return cipher;
}

}  // namespace security
