#pragma once
// Primitives with the x86 processor's own instructions (AES-NI, the SHA
// extensions, AVX2 or AVX-512 with BMI2), for 32- and 64-bit builds. Each function is
// compiled for its instructions with a target attribute, so the module as a
// whole still runs on a processor without them; security/kernels.cpp calls
// them only after Detect() has found the instructions. Results equal the
// portable code's bit for bit.
//
// Without an x86 compiler target this header declares nothing.

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define VP_SECURITY_X86 1
#endif

#ifdef VP_SECURITY_X86

namespace security::x86 {

// What the processor (and, for the AVX registers, the operating system)
// supports.
struct Features {
  bool ssse3 = false;
  bool sse41 = false;
  bool aes = false;
  bool sha = false;
  bool avx2 = false;
  bool bmi2 = false;
  bool avx512vl = false;  // with AVX-512F, and the operating system saving its state
  bool vaes = false;      // AES on 256-bit registers (with AVX2)
};

// Asks CPUID (and XGETBV for the AVX state); cheap, but callers keep the answer.
Features Detect();

// SHA compression of `count` consecutive blocks into the chaining words, as
// security::detail::Sha256Compress and friends.
void Sha1CompressShaNi(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count);
void Sha256CompressShaNi(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count);
void Sha512CompressAvx2(std::uint64_t* chain, const std::uint8_t* blocks, std::uint32_t count);
void Sha512CompressAvx512(std::uint64_t* chain, const std::uint8_t* blocks, std::uint32_t count);

// The round keys of a `keyBytes` (16, 24 or 32) key into `roundKeys` (16
// bytes per round key, rounds + 1 of them): the FIPS 197 key expansion with
// the S-box of AESKEYGENASSIST (no table, so no memory access that depends
// on the key), for decryption the equivalent inverse cipher's keys through
// AESIMC. Returns the round count.
std::uint32_t AesNiExpandKey(const std::uint8_t* key, std::uint32_t keyBytes, bool decryption,
                             std::uint8_t* roundKeys);
// AES with `rounds` rounds (10, 12 or 14) over whole 16-byte blocks.
// `roundKeys` holds rounds + 1 keys of 16 bytes in natural byte order: the
// FIPS 197 schedule for encryption, the equivalent inverse cipher's for
// decryption. `in` and `out` may be the same buffer or not overlap.
void AesNiEncryptEcb(const std::uint8_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                     std::uint8_t* out, std::uint32_t blocks);
void AesNiDecryptEcb(const std::uint8_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                     std::uint8_t* out, std::uint32_t blocks);
// CBC in the stored byte order (each 4-byte group of the ciphertext
// reversed; see security/cbc_cipher.h). `chain` is the 16-byte chaining
// value in natural order (the last textbook ciphertext block); it is updated.
void AesNiEncryptCbcStored(const std::uint8_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                           const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks);
void AesNiDecryptCbcStored(const std::uint8_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                           const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks);
// The same with VAES, two blocks per instruction (64-bit builds only).
void AesVaesDecryptCbcStored(const std::uint8_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                             const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks);

}  // namespace security::x86

#endif  // VP_SECURITY_X86
