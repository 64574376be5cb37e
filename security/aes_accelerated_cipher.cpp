#include "security/aes_accelerated_cipher.h"

#include "security/byte_order.h"
#include "security/secure_wipe.h"

namespace security {

AesAcceleratedCipher::AesAcceleratedCipher(const detail::AesKernels& kernels) : kernels_(kernels), keyBytes_{} {}

AesAcceleratedCipher::~AesAcceleratedCipher() { SecureWipe(keyBytes_, sizeof keyBytes_); }

void AesAcceleratedCipher::Reset() {
  if (direction_ != kNone) SecureWipe(keyBytes_, sizeof keyBytes_);
  direction_ = kNone;
  AesVanillaCipher::Reset();
}

const std::uint8_t* AesAcceleratedCipher::Keys(Direction direction) {
  if (direction_ != direction) {
    keyRounds_ = kernels_.expandKey(Key(), KeyLength(), direction == kDecryption, keyBytes_);
    direction_ = direction;
  }
  return keyBytes_;
}

template <AesAcceleratedCipher::Direction kDirection>
bool AesAcceleratedCipher::Ecb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  if (length % kBlockSize != 0) return false;
  if (length == 0) return true;
  if (in == nullptr || out == nullptr) return false;
  const std::uint8_t* keys = Keys(kDirection);  // sets keyRounds_
  if constexpr (kDirection == kEncryption) {
    kernels_.encryptEcb(keys, keyRounds_, in, out, length / kBlockSize);
  } else {
    kernels_.decryptEcb(keys, keyRounds_, in, out, length / kBlockSize);
  }
  return true;
}

bool AesAcceleratedCipher::EncryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  return Ecb<kEncryption>(in, out, length);
}

bool AesAcceleratedCipher::DecryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) {
  return Ecb<kDecryption>(in, out, length);
}

void AesAcceleratedCipher::EncryptBlock(const std::uint32_t* in, std::uint32_t* out) {
  std::uint8_t block[kBlockSize];
  for (int w = 0; w < 4; ++w) StoreBigEndian32(block + 4 * w, in[w]);
  const std::uint8_t* keys = Keys(kEncryption);  // sets keyRounds_
  kernels_.encryptEcb(keys, keyRounds_, block, block, 1);
  for (int w = 0; w < 4; ++w) out[w] = LoadBigEndian32(block + 4 * w);
  SecureWipe(block, sizeof block);
}

void AesAcceleratedCipher::DecryptBlock(const std::uint32_t* in, std::uint32_t* out) {
  std::uint8_t block[kBlockSize];
  for (int w = 0; w < 4; ++w) StoreBigEndian32(block + 4 * w, in[w]);
  const std::uint8_t* keys = Keys(kDecryption);  // sets keyRounds_
  kernels_.decryptEcb(keys, keyRounds_, block, block, 1);
  for (int w = 0; w < 4; ++w) out[w] = LoadBigEndian32(block + 4 * w);
  SecureWipe(block, sizeof block);
}

void AesAcceleratedCipher::EncryptCbcBlocks(const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks,
                                            std::uint32_t* chain) {
  std::uint8_t value[kBlockSize];
  for (int w = 0; w < 4; ++w) StoreBigEndian32(value + 4 * w, chain[w]);
  const std::uint8_t* keys = Keys(kEncryption);  // sets keyRounds_
  kernels_.encryptCbcStored(keys, keyRounds_, value, in, out, blocks);
  for (int w = 0; w < 4; ++w) chain[w] = LoadBigEndian32(value + 4 * w);
  SecureWipe(value, sizeof value);
}

void AesAcceleratedCipher::DecryptCbcBlocks(const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks,
                                            std::uint32_t* chain) {
  std::uint8_t value[kBlockSize];
  for (int w = 0; w < 4; ++w) StoreBigEndian32(value + 4 * w, chain[w]);
  const std::uint8_t* keys = Keys(kDecryption);  // sets keyRounds_
  kernels_.decryptCbcStored(keys, keyRounds_, value, in, out, blocks);
  for (int w = 0; w < 4; ++w) chain[w] = LoadBigEndian32(value + 4 * w);
  SecureWipe(value, sizeof value);
}

}  // namespace security
