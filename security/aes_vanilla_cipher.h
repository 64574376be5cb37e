#pragma once
// Table-driven FIPS 197 AES on big-endian words; EncryptEcb/DecryptEcb are
// standard AES-ECB.
//
// Round keys are computed on the first block operation after SetKey or Reset,
// for the direction of that operation; a later operation in the other
// direction computes that direction's round keys instead (so alternating
// directions costs a key expansion each time: Reset is not needed to switch,
// but one direction per key is the fast path).

#include <cstdint>

#include "security/aes_cipher.h"

namespace security {

class AesVanillaCipher : public AESCipher {
 public:
  // Key length 32 bytes and an all-zero key until SetKey.
  AesVanillaCipher();
  ~AesVanillaCipher() override;

  // Accepts 16, 24 and 32 only: other lengths have no key schedule.
  bool SetKeyLength(std::uint32_t bytes) override;
  // Copies KeyLength() bytes; the round keys are computed on first use.
  bool SetKey(const std::uint8_t* key) override;
  // Forgets (and wipes) the computed round keys.
  void Reset() override;
  void EncryptBlock(const std::uint32_t* in, std::uint32_t* out) override;
  void DecryptBlock(const std::uint32_t* in, std::uint32_t* out) override;

  static constexpr std::uint32_t kRoundKeyWords = 60;

 protected:
  // Computes the round keys of one direction (for decryption those of the
  // equivalent inverse cipher) unless they are in place, and returns the
  // round count. RoundKeys() then holds 4 * (rounds + 1) words.
  std::uint32_t PrepareRoundKeys(bool decryption);
  const std::uint32_t* RoundKeys() const { return roundKeys_; }
  // The key bytes (KeyLength() of them) that SetKey copied.
  const std::uint8_t* Key() const { return key_; }

 private:
  enum RoundKeys : std::uint8_t { kNone = 0, kEncryption = 1, kDecryption = 2 };

  void ExpandEncryptionKey();
  void ExpandDecryptionKey();

  std::uint8_t key_[kMaximumKeyLength];
  std::uint32_t keyBits_;
  std::uint32_t rounds_;
  std::uint32_t roundKeys_[kRoundKeyWords];
  std::uint8_t computed_;  // RoundKeys: which direction roundKeys_ holds
};

}  // namespace security
