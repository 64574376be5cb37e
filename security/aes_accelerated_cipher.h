#pragma once
// AES with the processor's AES instructions (see security/kernels.h). It is
// an AesVanillaCipher in every respect but speed and its key schedule: the
// same key bookkeeping and lazily computed round keys, identical results,
// but the round keys come from the instructions' own key expansion (no
// S-box table whose lookups depend on the key). CBC decryption and ECB keep
// several blocks in flight.

#include <cstdint>

#include "security/aes_vanilla_cipher.h"
#include "security/kernels.h"

namespace security {

class AesAcceleratedCipher final : public AesVanillaCipher {
 public:
  // `kernels` must outlive the object (the selection hands out static ones).
  explicit AesAcceleratedCipher(const detail::AesKernels& kernels);
  ~AesAcceleratedCipher() override;

  // Forgets (and wipes) the round keys of both forms.
  void Reset() override;
  bool EncryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) override;
  bool DecryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) override;
  void EncryptBlock(const std::uint32_t* in, std::uint32_t* out) override;
  void DecryptBlock(const std::uint32_t* in, std::uint32_t* out) override;
  void EncryptCbcBlocks(const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks,
                        std::uint32_t* chain) override;
  void DecryptCbcBlocks(const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks,
                        std::uint32_t* chain) override;

 private:
  enum Direction : std::uint8_t { kNone = 0, kEncryption = 1, kDecryption = 2 };

  // The round keys of one direction in the instructions' byte order,
  // computed on first use after SetKey or Reset.
  const std::uint8_t* Keys(Direction direction);
  template <Direction kDirection>
  bool Ecb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length);

  const detail::AesKernels& kernels_;
  std::uint8_t keyBytes_[16 * 15];
  std::uint32_t keyRounds_ = 0;
  Direction direction_ = kNone;
};

}  // namespace security
