#pragma once
// A digest-based key derivation: the key is the (possibly multi-lane, folded)
// digest of each input followed by a 4-byte trailer that encodes its length.

#include <cstdint>

#include "security/digest.h"
#include "security/key_derivation_function.h"

namespace security {

class SimpleKdf : public PasswordKeyDerivationFunction {
 public:
  // Digest of `digestIdentifier` producing `keyLength` bytes.
  SimpleKdf(std::uint32_t digestIdentifier, std::uint32_t keyLength);

  // True when the digest id is known and the key length can be produced.
  bool IsValid() const { return digest_.OutputLength() != 0; }

  void Reset() override;
  // Hashes the bytes, then the bytes ~(length << 16) big-endian: for a
  // 1-byte input FF FE FF FF. Only the low 16 bits of the length count.
  void AddInput(const void* data, std::uint32_t length) override;
  // Writes the key (`length` 0: the key length given at construction; a
  // shorter length: its first bytes) and starts afresh. A length above the
  // key length, or an invalid function, is refused with nothing written.
  bool Derive(std::uint8_t* out, std::uint32_t length) override;

 private:
  Digest digest_;
};

}  // namespace security
