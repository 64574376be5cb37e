#pragma once
// The one place that decides which implementation of the primitives runs.
//
// The portable table-driven code is the reference and the fallback. Where
// the processor has instructions for a primitive (x86: AES-NI, the SHA
// extensions, AVX2 or AVX-512 with BMI2 for SHA-512), those run instead, with results
// identical bit for bit. A processor without them uses the portable code
// silently.
//
// VAULTPOST_PORTABLE_CRYPTO=1 in the environment (read once, on first use)
// forces the portable code for the whole process; ForcePortableCrypto is the
// same switch for tests. The choice is read when a cipher object is built and
// on every digest compression call, so switching affects cipher objects
// built afterwards and every digest at once.

#include <cstdint>

namespace security {

// Forces the portable code (true) or gives the choice back to the processor
// check and the environment (false). Not for use while other threads hash.
void ForcePortableCrypto(bool force);

// Names the implementations in use, e.g. "aes-ni sha1-ni sha256-ni
// sha512-avx512" or "portable".
const char* CryptoImplementation();

namespace detail {

using Sha1CompressFn = void (*)(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count);
using Sha256CompressFn = void (*)(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count);
using Sha512CompressFn = void (*)(std::uint64_t* chain, const std::uint8_t* blocks, std::uint32_t count);

// AES over whole 16-byte blocks with round keys in natural byte order
// (rounds + 1 keys of 16 bytes; the equivalent inverse cipher's for the
// decrypting functions). CBC runs in the stored byte order with `chain` the
// natural-order chaining value, which is updated.
struct AesKernels {
  // The round keys of `key` for one direction (see x86::AesNiExpandKey);
  // returns the round count.
  std::uint32_t (*expandKey)(const std::uint8_t* key, std::uint32_t keyBytes, bool decryption,
                             std::uint8_t* roundKeys);
  void (*encryptEcb)(const std::uint8_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                     std::uint8_t* out, std::uint32_t blocks);
  void (*decryptEcb)(const std::uint8_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                     std::uint8_t* out, std::uint32_t blocks);
  void (*encryptCbcStored)(const std::uint8_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                           const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks);
  void (*decryptCbcStored)(const std::uint8_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                           const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks);
};

struct Kernels {
  Sha1CompressFn sha1;
  Sha256CompressFn sha256;
  Sha512CompressFn sha512;
  // Null: the portable AesVanillaCipher.
  const AesKernels* aes;
  const char* name;
};

// The implementations in force now.
const Kernels& ActiveKernels();

// The portable compression functions (the reference).
void Sha1CompressPortable(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count);
void Sha256CompressPortable(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count);
void Sha512CompressPortable(std::uint64_t* chain, const std::uint8_t* blocks, std::uint32_t count);

}  // namespace detail
}  // namespace security
