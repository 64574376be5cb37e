#include "security/triple_des_cipher.h"

#include <cstring>

#include "security/des_tables.h"
#include "security/secure_wipe.h"

namespace security {

namespace {

using detail::kDesKeyTables;
using detail::kDesRoundTables;
using detail::RotR32;

// Swaps the bits of a selected by `mask` with the bits of b `shift` places
// lower: the building block of the initial and final steps.
inline void SwapBits(std::uint32_t& a, std::uint32_t& b, unsigned shift, std::uint32_t mask) {
  const std::uint32_t t = ((a >> shift) ^ b) & mask;
  b ^= t;
  a ^= t << shift;
}

// Derives the 32 subkey words of one 8-byte key.
void ScheduleKey(const std::uint8_t* key, std::uint32_t* k) {
  std::uint32_t c = LoadBigEndian32(key);
  std::uint32_t d = LoadBigEndian32(key + 4);
  std::uint32_t t;

  SwapBits(d, c, 4, 0x0F0F0F0Fu);
  t = ((c << 18) ^ c) & 0xCCCC0000u;
  c ^= t ^ (t >> 18);
  t = ((d << 18) ^ d) & 0xCCCC0000u;
  d ^= t ^ (t >> 18);
  SwapBits(d, c, 1, 0x55555555u);
  SwapBits(c, d, 8, 0x00FF00FFu);
  SwapBits(d, c, 1, 0x55555555u);
  d = ((d & 0xFFu) << 16) | (d & 0xFF00u) | ((d & 0xFF0000u) >> 16) | ((c & 0xF0000000u) >> 4);
  c &= 0x0FFFFFFFu;

  const auto& S = kDesKeyTables;
  for (unsigned i = 0; i < 16; ++i) {
    // Rotate both 28-bit halves right by one (rounds 0, 1, 8, 15) or two.
    if (i == 0 || i == 1 || i == 8 || i == 15) {
      c = (c >> 1) | (c << 27);
      d = (d >> 1) | (d << 27);
    } else {
      c = (c >> 2) | (c << 26);
      d = (d >> 2) | (d << 26);
    }
    c &= 0x0FFFFFFFu;
    d &= 0x0FFFFFFFu;

    const std::uint32_t s = S[0][c & 0x3F] | S[1][((c >> 6) & 0x03) | ((c >> 7) & 0x3C)] |
                            S[2][((c >> 13) & 0x0F) | ((c >> 14) & 0x30)] |
                            S[3][((c >> 20) & 0x01) | ((c >> 21) & 0x06) | ((c >> 22) & 0x38)];
    t = S[4][d & 0x3F] | S[5][((d >> 7) & 0x03) | ((d >> 8) & 0x3C)] | S[6][(d >> 15) & 0x3F] |
        S[7][((d >> 21) & 0x0F) | ((d >> 22) & 0x30)];
    k[2 * i] = RotR32((t << 16) | (s & 0xFFFFu), 30);
    k[2 * i + 1] = RotR32((s >> 16) | (t & 0xFFFF0000u), 26);
  }
  SecureWipe(&c, sizeof c);
  SecureWipe(&d, sizeof d);
}

inline std::uint32_t RoundFunction(std::uint32_t x, std::uint32_t k0, std::uint32_t k1) {
  const auto& P = kDesRoundTables;
  const std::uint32_t u = RotR32(x, 4) ^ k0;
  const std::uint32_t v = x ^ k1;
  return P[0][(u >> 24) & 63] ^ P[2][(u >> 16) & 63] ^ P[4][(u >> 8) & 63] ^ P[6][u & 63] ^
         P[1][(v >> 24) & 63] ^ P[3][(v >> 16) & 63] ^ P[5][(v >> 8) & 63] ^ P[7][v & 63];
}

inline void ForwardPass(std::uint32_t& a, std::uint32_t& b, const std::uint32_t* k) {
  for (unsigned j = 0; j < 8; ++j) {
    a ^= RoundFunction(b, k[4 * j], k[4 * j + 1]);
    b ^= RoundFunction(a, k[4 * j + 2], k[4 * j + 3]);
  }
}

inline void BackwardPass(std::uint32_t& a, std::uint32_t& b, const std::uint32_t* k) {
  for (unsigned j = 0; j < 8; ++j) {
    a ^= RoundFunction(b, k[30 - 4 * j], k[31 - 4 * j]);
    b ^= RoundFunction(a, k[28 - 4 * j], k[29 - 4 * j]);
  }
}

// Initial step on the block words; leaves the halves swapped in (a, b).
inline void InitialStep(const std::uint32_t* in, std::uint32_t& a, std::uint32_t& b) {
  std::uint32_t x = in[0];
  std::uint32_t y = in[1];
  SwapBits(y, x, 4, 0x0F0F0F0Fu);
  SwapBits(x, y, 16, 0x0000FFFFu);
  SwapBits(y, x, 2, 0x33333333u);
  SwapBits(x, y, 8, 0x00FF00FFu);
  SwapBits(y, x, 1, 0x55555555u);
  a = y;
  b = x;
}

inline void FinalStep(std::uint32_t a, std::uint32_t b, std::uint32_t* out) {
  SwapBits(b, a, 1, 0x55555555u);
  SwapBits(a, b, 8, 0x00FF00FFu);
  SwapBits(b, a, 2, 0x33333333u);
  SwapBits(a, b, 16, 0x0000FFFFu);
  SwapBits(b, a, 4, 0x0F0F0F0Fu);
  out[0] = a;
  out[1] = b;
}

}  // namespace

TripleDESCipher::TripleDESCipher() : BlockCipher(24, 8, 24, kBlockSize), k1_{}, k2_{}, k3_{} {}

TripleDESCipher::~TripleDESCipher() { WipeSchedules(); }

void TripleDESCipher::WipeSchedules() noexcept {
  SecureWipe(k1_, sizeof k1_);
  SecureWipe(k2_, sizeof k2_);
  SecureWipe(k3_, sizeof k3_);
}

bool TripleDESCipher::SetKeyLength(std::uint32_t bytes) {
  if (bytes != 8 && bytes != 16 && bytes != 24) return false;
  return BlockCipher::SetKeyLength(bytes);
}

bool TripleDESCipher::SetKey(const std::uint8_t* key) {
  if (key == nullptr) return false;
  WipeSchedules();
  const std::uint32_t length = KeyLength();
  ScheduleKey(key, k1_);
  if (length >= 16) {
    ScheduleKey(key + 8, k2_);
    if (length == 24) {
      ScheduleKey(key + 16, k3_);
    } else {
      std::memcpy(k3_, k1_, sizeof k3_);
    }
  }
  return true;
}

void TripleDESCipher::Reset() {}

void TripleDESCipher::EncryptBlock(const std::uint32_t* in, std::uint32_t* out) {
  std::uint32_t a;
  std::uint32_t b;
  InitialStep(in, a, b);
  ForwardPass(a, b, k1_);
  if (KeyLength() != 8) {
    BackwardPass(a, b, k2_);
    ForwardPass(a, b, k3_);
  }
  FinalStep(a, b, out);
}

void TripleDESCipher::DecryptBlock(const std::uint32_t* in, std::uint32_t* out) {
  std::uint32_t a;
  std::uint32_t b;
  InitialStep(in, a, b);
  if (KeyLength() != 8) {
    BackwardPass(a, b, k3_);
    ForwardPass(a, b, k2_);
  }
  BackwardPass(a, b, k1_);
  FinalStep(a, b, out);
}

}  // namespace security
