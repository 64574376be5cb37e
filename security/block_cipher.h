#pragma once
// Block-cipher objects: the key-length bookkeeping of every cipher
// (BaseCipher), the word-level block operations and the shared ECB byte
// operations (BlockCipher), and the factory that builds a cipher from the
// identifier stored in a document header.
//
// Word convention: EncryptBlock/DecryptBlock work on 32-bit words holding the
// big-endian readings of consecutive 4-byte groups of a block. The byte-level
// operations take and give bytes in their natural order.
//
// A cipher object is used by one thread at a time.

#include <cstdint>
#include <memory>

#include "security/byte_order.h"
#include "security/locked_memory.h"

namespace security {

// Cipher identifiers as stored in documents.
enum CipherId : std::uint32_t {
  kCipherTripleDes = 4,
  kCipherAes = 5,
};

// Largest block size of any cipher here, in bytes.
inline constexpr std::uint32_t kMaxCipherBlockSize = 16;

class BaseCipher : public LockedObject {
 public:
  // Slot 0.
  virtual ~BaseCipher();

  // Slot 1: writes the block size in bytes to *out and returns out.
  virtual std::uint32_t* GetBlockSize(std::uint32_t* out) const;
  // Slot 2: no known use; 0 for every cipher here.
  virtual std::uint32_t Reserved() const;
  // Slot 3: accepts `bytes` when it lies within [minimum, maximum]; otherwise
  // returns false and keeps the current length. Ciphers refuse further lengths
  // that they have no key schedule for.
  virtual bool SetKeyLength(std::uint32_t bytes);
  // Slot 4: installs KeyLength() bytes from `key`. False, with nothing
  // changed, when `key` is null.
  virtual bool SetKey(const std::uint8_t* key) = 0;
  // Slot 5: forgets state derived lazily from the key.
  virtual void Reset() = 0;
  // Slots 6 and 7: ECB over `length` bytes; `in` and `out` may be the same
  // buffer or not overlap at all. False, with nothing written, when `length`
  // is not a whole number of blocks (or a buffer is null while length > 0).
  virtual bool EncryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) = 0;
  virtual bool DecryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) = 0;

  std::uint32_t KeyLength() const { return keyLength_; }
  std::uint32_t MinimumKeyLength() const { return minimumKeyLength_; }
  std::uint32_t MaximumKeyLength() const { return maximumKeyLength_; }
  std::uint32_t BlockSize() const { return blockSize_; }
  // The identifier CreateBlockCipher built this object for; 0 otherwise.
  std::uint32_t Identifier() const { return identifier_; }
  void SetIdentifier(std::uint32_t identifier) { identifier_ = identifier; }

  BaseCipher(const BaseCipher&) = delete;
  BaseCipher& operator=(const BaseCipher&) = delete;

 protected:
  BaseCipher(std::uint32_t keyLength, std::uint32_t minimumKeyLength,
             std::uint32_t maximumKeyLength, std::uint32_t blockSize);

 private:
  std::uint32_t keyLength_;
  std::uint32_t minimumKeyLength_;
  std::uint32_t maximumKeyLength_;
  std::uint32_t identifier_ = 0;
  std::uint32_t blockSize_;
};

class BlockCipher : public BaseCipher {
 public:
  bool EncryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) override;
  bool DecryptEcb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length) override;

  // Slots 8 and 9: one block of BlockSize() / 4 words; `in` and `out` may be
  // the same array.
  virtual void EncryptBlock(const std::uint32_t* in, std::uint32_t* out) = 0;
  virtual void DecryptBlock(const std::uint32_t* in, std::uint32_t* out) = 0;

  // CBC over `blocks` whole blocks in the stored byte order of
  // security/cbc_cipher.h; `chain` holds the BlockSize() / 4 chaining words
  // and is advanced. `in` and `out` may be the same buffer or not overlap.
  // The caller has checked the arguments. This base runs the block
  // operations one block at a time; a cipher with a faster way overrides them.
  virtual void EncryptCbcBlocks(const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks,
                                std::uint32_t* chain);
  virtual void DecryptCbcBlocks(const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks,
                                std::uint32_t* chain);

 protected:
  using BaseCipher::BaseCipher;

 private:
  template <bool kEncrypt>
  bool Ecb(const std::uint8_t* in, std::uint8_t* out, std::uint32_t length);
};

// Builds the cipher for a stored identifier (4: TripleDESCipher, 5:
// AesVanillaCipher) and records the identifier in it; null for any other.
std::unique_ptr<BlockCipher> CreateBlockCipher(std::uint32_t identifier);

namespace detail {

// (Not "RotateRight32": <windows.h> defines that as a macro.)
constexpr std::uint32_t RotR32(std::uint32_t x, unsigned n) {
  n &= 31u;
  return n == 0 ? x : (x >> n) | (x << (32u - n));
}

}  // namespace detail
}  // namespace security
