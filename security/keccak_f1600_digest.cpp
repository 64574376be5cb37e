#include "security/keccak_f1600_digest.h"

#include <bit>

namespace security {
namespace detail {
namespace {

constexpr std::uint64_t kRoundConstants[24] = {
    0x0000000000000001ull, 0x0000000000008082ull, 0x800000000000808Aull, 0x8000000080008000ull,
    0x000000000000808Bull, 0x0000000080000001ull, 0x8000000080008081ull, 0x8000000000008009ull,
    0x000000000000008Aull, 0x0000000000000088ull, 0x0000000080008009ull, 0x000000008000000Aull,
    0x000000008000808Bull, 0x800000000000008Bull, 0x8000000000008089ull, 0x8000000000008003ull,
    0x8000000000008002ull, 0x8000000000000080ull, 0x000000000000800Aull, 0x800000008000000Aull,
    0x8000000080008081ull, 0x8000000000008080ull, 0x0000000080000001ull, 0x8000000080008008ull};

}  // namespace

// Each round is theta, rho and pi combined into one pass that reads lane
// A[x,y] and writes B[y, 2x+3y] rotated, then chi back into A, then iota.
// The lane names are axy; the rotation offsets are the standard ones.
void KeccakF1600Permute(std::uint64_t* s) {
  std::uint64_t a00 = s[0], a10 = s[1], a20 = s[2], a30 = s[3], a40 = s[4];
  std::uint64_t a01 = s[5], a11 = s[6], a21 = s[7], a31 = s[8], a41 = s[9];
  std::uint64_t a02 = s[10], a12 = s[11], a22 = s[12], a32 = s[13], a42 = s[14];
  std::uint64_t a03 = s[15], a13 = s[16], a23 = s[17], a33 = s[18], a43 = s[19];
  std::uint64_t a04 = s[20], a14 = s[21], a24 = s[22], a34 = s[23], a44 = s[24];

  for (int round = 0; round < 24; ++round) {
    const std::uint64_t c0 = a00 ^ a01 ^ a02 ^ a03 ^ a04;
    const std::uint64_t c1 = a10 ^ a11 ^ a12 ^ a13 ^ a14;
    const std::uint64_t c2 = a20 ^ a21 ^ a22 ^ a23 ^ a24;
    const std::uint64_t c3 = a30 ^ a31 ^ a32 ^ a33 ^ a34;
    const std::uint64_t c4 = a40 ^ a41 ^ a42 ^ a43 ^ a44;
    const std::uint64_t d0 = c4 ^ std::rotl(c1, 1);
    const std::uint64_t d1 = c0 ^ std::rotl(c2, 1);
    const std::uint64_t d2 = c1 ^ std::rotl(c3, 1);
    const std::uint64_t d3 = c2 ^ std::rotl(c4, 1);
    const std::uint64_t d4 = c3 ^ std::rotl(c0, 1);

    // B[y, 2x+3y] = rotl(A[x,y] ^ D[x], r[x,y]); bXY names B[X,Y].
    const std::uint64_t b00 = a00 ^ d0;
    const std::uint64_t b02 = std::rotl(a10 ^ d1, 1);
    const std::uint64_t b04 = std::rotl(a20 ^ d2, 62);
    const std::uint64_t b01 = std::rotl(a30 ^ d3, 28);
    const std::uint64_t b03 = std::rotl(a40 ^ d4, 27);
    const std::uint64_t b13 = std::rotl(a01 ^ d0, 36);
    const std::uint64_t b10 = std::rotl(a11 ^ d1, 44);
    const std::uint64_t b12 = std::rotl(a21 ^ d2, 6);
    const std::uint64_t b14 = std::rotl(a31 ^ d3, 55);
    const std::uint64_t b11 = std::rotl(a41 ^ d4, 20);
    const std::uint64_t b21 = std::rotl(a02 ^ d0, 3);
    const std::uint64_t b23 = std::rotl(a12 ^ d1, 10);
    const std::uint64_t b20 = std::rotl(a22 ^ d2, 43);
    const std::uint64_t b22 = std::rotl(a32 ^ d3, 25);
    const std::uint64_t b24 = std::rotl(a42 ^ d4, 39);
    const std::uint64_t b34 = std::rotl(a03 ^ d0, 41);
    const std::uint64_t b31 = std::rotl(a13 ^ d1, 45);
    const std::uint64_t b33 = std::rotl(a23 ^ d2, 15);
    const std::uint64_t b30 = std::rotl(a33 ^ d3, 21);
    const std::uint64_t b32 = std::rotl(a43 ^ d4, 8);
    const std::uint64_t b42 = std::rotl(a04 ^ d0, 18);
    const std::uint64_t b44 = std::rotl(a14 ^ d1, 2);
    const std::uint64_t b41 = std::rotl(a24 ^ d2, 61);
    const std::uint64_t b43 = std::rotl(a34 ^ d3, 56);
    const std::uint64_t b40 = std::rotl(a44 ^ d4, 14);

    // A[x,y] = B[x,y] ^ (~B[x+1,y] & B[x+2,y])
    a00 = b00 ^ (~b10 & b20) ^ kRoundConstants[round];
    a10 = b10 ^ (~b20 & b30);
    a20 = b20 ^ (~b30 & b40);
    a30 = b30 ^ (~b40 & b00);
    a40 = b40 ^ (~b00 & b10);
    a01 = b01 ^ (~b11 & b21);
    a11 = b11 ^ (~b21 & b31);
    a21 = b21 ^ (~b31 & b41);
    a31 = b31 ^ (~b41 & b01);
    a41 = b41 ^ (~b01 & b11);
    a02 = b02 ^ (~b12 & b22);
    a12 = b12 ^ (~b22 & b32);
    a22 = b22 ^ (~b32 & b42);
    a32 = b32 ^ (~b42 & b02);
    a42 = b42 ^ (~b02 & b12);
    a03 = b03 ^ (~b13 & b23);
    a13 = b13 ^ (~b23 & b33);
    a23 = b23 ^ (~b33 & b43);
    a33 = b33 ^ (~b43 & b03);
    a43 = b43 ^ (~b03 & b13);
    a04 = b04 ^ (~b14 & b24);
    a14 = b14 ^ (~b24 & b34);
    a24 = b24 ^ (~b34 & b44);
    a34 = b34 ^ (~b44 & b04);
    a44 = b44 ^ (~b04 & b14);
  }

  s[0] = a00; s[1] = a10; s[2] = a20; s[3] = a30; s[4] = a40;
  s[5] = a01; s[6] = a11; s[7] = a21; s[8] = a31; s[9] = a41;
  s[10] = a02; s[11] = a12; s[12] = a22; s[13] = a32; s[14] = a42;
  s[15] = a03; s[16] = a13; s[17] = a23; s[18] = a33; s[19] = a43;
  s[20] = a04; s[21] = a14; s[22] = a24; s[23] = a34; s[24] = a44;
}

}  // namespace detail

KeccakF1600Digest::KeccakF1600Digest(std::uint32_t size) : DigestImp(28, 64, 32) {
  // Start from Keccak-256 so that the front always owns a variant, even when
  // `size` names none.
  SelectVariant(32);
  if (size != 0 && size != 32) SetOutputSize(size);
}

KeccakF1600Digest::~KeccakF1600Digest() = default;

void KeccakF1600Digest::Reset() { variant_->Reset(); }

void KeccakF1600Digest::Update(const void* data, std::uint32_t length) {
  variant_->Update(data, length);
}

bool KeccakF1600Digest::Final(std::uint8_t* out, std::uint32_t length) {
  return variant_->Final(out, length);
}

std::uint32_t KeccakF1600Digest::BlockSize() const { return variant_->BlockSize(); }

bool KeccakF1600Digest::SelectVariant(std::uint32_t size) {
  switch (size) {
    case 28: variant_ = std::make_unique<KeccakVariant<448, 224>>(); return true;
    case 32: variant_ = std::make_unique<KeccakVariant<512, 256>>(); return true;
    case 48: variant_ = std::make_unique<KeccakVariant<768, 384>>(); return true;
    case 64: variant_ = std::make_unique<KeccakVariant<1024, 512>>(); return true;
    default: return false;
  }
}

}  // namespace security
