#pragma once
// CBC over a block cipher, in the byte order stored documents use: with C(i)
// the textbook CBC ciphertext blocks (C(0) = IV, C(i) = E(P(i) ^ C(i-1))),
// the stored block i is C(i) with each of its 4-byte groups reversed. The IV
// and the plaintext are in natural byte order. For AES this is AES-CBC with
// every 4-byte group of the ciphertext reversed.
//
// The chaining value carries over from one Encrypt/Decrypt call to the next,
// so a message may be processed in several calls of whole blocks. No padding
// is added or removed.

#include <cstdint>
#include <memory>

#include "security/cipher.h"

namespace security {

class CBCCipher : public Cipher {
 public:
  // Builds the block cipher and a zero chaining value. When the identifier
  // names no cipher the object is not valid and every operation refuses.
  explicit CBCCipher(std::uint32_t identifier);
  // Wipes and releases the chaining value.
  ~CBCCipher() override;

  // Resets the block cipher and loads the chaining value: from the first block
  // of `iv` when `iv` is given and `length` is not 0, zeros otherwise. A
  // `length` shorter than one block is refused (false, nothing changed), as is
  // an invalid object.
  bool SetIv(const std::uint8_t* iv, std::uint32_t length) override;
  // Encrypts `length` bytes of natural-order plaintext into stored-order
  // ciphertext; `in` and `out` may be the same buffer. False, with nothing
  // written and the chaining value unchanged, when `length` is not a whole
  // number of blocks.
  bool Encrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) override;
  // The inverse of Encrypt, with the same rules.
  bool Decrypt(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) override;

 private:
  // The block cipher when a call over `length` bytes has work to do; null
  // with `answer` set to the call's result otherwise (false for a partial
  // block, a missing buffer or an invalid object; true for no bytes at all).
  BlockCipher* Prepare(const std::uint8_t* in, const std::uint8_t* out, std::uint32_t length, bool& answer);

  std::uint32_t chainWords_ = 0;
  std::unique_ptr<std::uint32_t[]> chain_;
};

}  // namespace security
