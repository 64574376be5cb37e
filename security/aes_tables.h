#pragma once
// AES lookup tables, generated at compile time from the FIPS 197 definitions:
// the S-box is the multiplicative inverse in GF(2^8) (modulo x^8 + x^4 + x^3 +
// x + 1) followed by the affine transformation; the round tables fold SubBytes
// (or InvSubBytes) and MixColumns (or InvMixColumns) into one lookup per byte.
//
// Words are big-endian column readings: the first byte of a column is the most
// significant byte.
//   kAesEncrypt[0][x] = (2·S[x], S[x], S[x], 3·S[x]),  kAesEncrypt[n] = rotr(.., 8n)
//   kAesDecrypt[0][x] = (14·Si[x], 9·Si[x], 13·Si[x], 11·Si[x]), likewise rotated

#include <array>
#include <cstdint>

namespace security::detail {

using AesByteTable = std::array<std::uint8_t, 256>;
using AesWordTables = std::array<std::array<std::uint32_t, 256>, 4>;

constexpr std::uint8_t AesXtime(std::uint8_t a) {
  return static_cast<std::uint8_t>((std::uint32_t{a} << 1) ^ ((a & 0x80u) != 0 ? 0x1Bu : 0u));
}

constexpr std::uint8_t AesMultiply(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  while (b != 0) {
    if ((b & 1u) != 0) product ^= a;
    a = AesXtime(a);
    b = static_cast<std::uint8_t>(b >> 1);
  }
  return product;
}

constexpr std::uint8_t AesInverse(std::uint8_t a) {
  if (a == 0) return 0;
  // a^254 = a^-1 in GF(2^8).
  std::uint8_t result = 1;
  std::uint8_t base = a;
  for (unsigned e = 254; e != 0; e >>= 1) {
    if ((e & 1u) != 0) result = AesMultiply(result, base);
    base = AesMultiply(base, base);
  }
  return result;
}

constexpr std::uint8_t AesRotateLeft8(std::uint8_t x, unsigned n) {
  return static_cast<std::uint8_t>((x << n) | (x >> (8u - n)));
}

constexpr AesByteTable MakeAesSbox() {
  AesByteTable box{};
  for (unsigned i = 0; i < 256; ++i) {
    const std::uint8_t b = AesInverse(static_cast<std::uint8_t>(i));
    box[i] = static_cast<std::uint8_t>(b ^ AesRotateLeft8(b, 1) ^ AesRotateLeft8(b, 2) ^
                                       AesRotateLeft8(b, 3) ^ AesRotateLeft8(b, 4) ^ 0x63u);
  }
  return box;
}

constexpr AesByteTable MakeAesInverseSbox(const AesByteTable& box) {
  AesByteTable inverse{};
  for (unsigned i = 0; i < 256; ++i) inverse[box[i]] = static_cast<std::uint8_t>(i);
  return inverse;
}

constexpr std::uint32_t AesPack(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) |
         std::uint32_t{b3};
}

constexpr std::uint32_t AesRotateRight32(std::uint32_t x, unsigned n) {
  return n == 0 ? x : (x >> n) | (x << (32u - n));
}

constexpr AesWordTables MakeAesRoundTables(const AesByteTable& box, std::uint8_t m0, std::uint8_t m1,
                                           std::uint8_t m2, std::uint8_t m3) {
  AesWordTables tables{};
  for (unsigned i = 0; i < 256; ++i) {
    const std::uint8_t s = box[i];
    const std::uint32_t w =
        AesPack(AesMultiply(s, m0), AesMultiply(s, m1), AesMultiply(s, m2), AesMultiply(s, m3));
    for (unsigned n = 0; n < 4; ++n) tables[n][i] = AesRotateRight32(w, 8 * n);
  }
  return tables;
}

inline constexpr AesByteTable kAesSbox = MakeAesSbox();
inline constexpr AesByteTable kAesInverseSbox = MakeAesInverseSbox(kAesSbox);
inline constexpr AesWordTables kAesEncrypt = MakeAesRoundTables(kAesSbox, 2, 1, 1, 3);
inline constexpr AesWordTables kAesDecrypt = MakeAesRoundTables(kAesInverseSbox, 14, 9, 13, 11);

static_assert(kAesSbox[0x00] == 0x63 && kAesSbox[0x53] == 0xED && kAesSbox[0xFF] == 0x16);
static_assert(kAesInverseSbox[0x63] == 0x00);

}  // namespace security::detail
