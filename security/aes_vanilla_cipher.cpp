#include "security/aes_vanilla_cipher.h"

#include <cstring>

#include "security/aes_tables.h"
#include "security/secure_wipe.h"

namespace security {

namespace {

using detail::kAesDecrypt;
using detail::kAesEncrypt;
using detail::kAesInverseSbox;
using detail::kAesSbox;

inline std::uint32_t Byte(std::uint32_t w, unsigned index) {  // index 0 = most significant
  return (w >> (24u - 8u * index)) & 0xFFu;
}

inline std::uint32_t SubWord(std::uint32_t w) {
  return (std::uint32_t{kAesSbox[Byte(w, 0)]} << 24) | (std::uint32_t{kAesSbox[Byte(w, 1)]} << 16) |
         (std::uint32_t{kAesSbox[Byte(w, 2)]} << 8) | std::uint32_t{kAesSbox[Byte(w, 3)]};
}

// InvMixColumns of one column: the decryption tables include InvSubBytes, so
// the bytes go through the S-box first.
inline std::uint32_t InvMixColumn(std::uint32_t w) {
  return kAesDecrypt[0][kAesSbox[Byte(w, 0)]] ^ kAesDecrypt[1][kAesSbox[Byte(w, 1)]] ^
         kAesDecrypt[2][kAesSbox[Byte(w, 2)]] ^ kAesDecrypt[3][kAesSbox[Byte(w, 3)]];
}

}  // namespace

AesVanillaCipher::AesVanillaCipher()
    : key_{}, keyBits_(8 * kMaximumKeyLength), rounds_(0), roundKeys_{}, computed_(kNone) {}

AesVanillaCipher::~AesVanillaCipher() {
  SecureWipe(key_, sizeof key_);
  SecureWipe(roundKeys_, sizeof roundKeys_);
}

bool AesVanillaCipher::SetKeyLength(std::uint32_t bytes) {
  if (bytes != 16 && bytes != 24 && bytes != 32) return false;
  return AESCipher::SetKeyLength(bytes);
}

bool AesVanillaCipher::SetKey(const std::uint8_t* key) {
  if (key == nullptr) return false;
  Reset();
  SecureWipe(key_, sizeof key_);
  std::memcpy(key_, key, KeyLength());
  keyBits_ = 8 * KeyLength();
  rounds_ = 0;
  return true;
}

void AesVanillaCipher::Reset() {
  if (computed_ != kNone) SecureWipe(roundKeys_, sizeof roundKeys_);
  computed_ = kNone;
}

void AesVanillaCipher::ExpandEncryptionKey() {
  // keyBits_ is 128, 192 or 256: SetKeyLength admits nothing else.
  const std::uint32_t nk = keyBits_ / 32;
  rounds_ = nk + 6;
  const std::uint32_t total = 4 * (rounds_ + 1);
  std::uint32_t* w = roundKeys_;
  for (std::uint32_t i = 0; i < nk; ++i) w[i] = LoadBigEndian32(key_ + 4 * i);
  std::uint32_t rcon = 0x01;
  for (std::uint32_t i = nk; i < total; ++i) {
    std::uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = SubWord((temp << 8) | (temp >> 24)) ^ (rcon << 24);
      rcon = detail::AesXtime(static_cast<std::uint8_t>(rcon));
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  computed_ = kEncryption;
}

void AesVanillaCipher::ExpandDecryptionKey() {
  ExpandEncryptionKey();
  std::uint32_t* w = roundKeys_;
  // Reverse the order of the round keys (four words each).
  for (std::uint32_t i = 0, j = 4 * rounds_; i < j; i += 4, j -= 4) {
    for (std::uint32_t k = 0; k < 4; ++k) {
      const std::uint32_t t = w[i + k];
      w[i + k] = w[j + k];
      w[j + k] = t;
    }
  }
  // InvMixColumns on all but the first and last round key.
  for (std::uint32_t i = 4; i < 4 * rounds_; ++i) w[i] = InvMixColumn(w[i]);
  computed_ = kDecryption;
}

std::uint32_t AesVanillaCipher::PrepareRoundKeys(bool decryption) {
  if (decryption && computed_ != kDecryption) ExpandDecryptionKey();
  if (!decryption && computed_ != kEncryption) ExpandEncryptionKey();
  return rounds_;
}

void AesVanillaCipher::EncryptBlock(const std::uint32_t* in, std::uint32_t* out) {
  if (computed_ != kEncryption) ExpandEncryptionKey();
  const auto& T = kAesEncrypt;
  const std::uint32_t* rk = roundKeys_;
  std::uint32_t s0 = in[0] ^ rk[0];
  std::uint32_t s1 = in[1] ^ rk[1];
  std::uint32_t s2 = in[2] ^ rk[2];
  std::uint32_t s3 = in[3] ^ rk[3];
  for (std::uint32_t r = 1; r < rounds_; ++r) {
    rk += 4;
    const std::uint32_t t0 = T[0][s0 >> 24] ^ T[1][(s1 >> 16) & 0xFF] ^ T[2][(s2 >> 8) & 0xFF] ^ T[3][s3 & 0xFF] ^ rk[0];
    const std::uint32_t t1 = T[0][s1 >> 24] ^ T[1][(s2 >> 16) & 0xFF] ^ T[2][(s3 >> 8) & 0xFF] ^ T[3][s0 & 0xFF] ^ rk[1];
    const std::uint32_t t2 = T[0][s2 >> 24] ^ T[1][(s3 >> 16) & 0xFF] ^ T[2][(s0 >> 8) & 0xFF] ^ T[3][s1 & 0xFF] ^ rk[2];
    const std::uint32_t t3 = T[0][s3 >> 24] ^ T[1][(s0 >> 16) & 0xFF] ^ T[2][(s1 >> 8) & 0xFF] ^ T[3][s2 & 0xFF] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const auto& S = kAesSbox;
  const auto last = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return (std::uint32_t{S[a >> 24]} << 24) | (std::uint32_t{S[(b >> 16) & 0xFF]} << 16) |
           (std::uint32_t{S[(c >> 8) & 0xFF]} << 8) | std::uint32_t{S[d & 0xFF]};
  };
  out[0] = last(s0, s1, s2, s3) ^ rk[0];
  out[1] = last(s1, s2, s3, s0) ^ rk[1];
  out[2] = last(s2, s3, s0, s1) ^ rk[2];
  out[3] = last(s3, s0, s1, s2) ^ rk[3];
}

void AesVanillaCipher::DecryptBlock(const std::uint32_t* in, std::uint32_t* out) {
  if (computed_ != kDecryption) ExpandDecryptionKey();
  const auto& T = kAesDecrypt;
  const std::uint32_t* rk = roundKeys_;
  std::uint32_t s0 = in[0] ^ rk[0];
  std::uint32_t s1 = in[1] ^ rk[1];
  std::uint32_t s2 = in[2] ^ rk[2];
  std::uint32_t s3 = in[3] ^ rk[3];
  for (std::uint32_t r = 1; r < rounds_; ++r) {
    rk += 4;
    const std::uint32_t t0 = T[0][s0 >> 24] ^ T[1][(s3 >> 16) & 0xFF] ^ T[2][(s2 >> 8) & 0xFF] ^ T[3][s1 & 0xFF] ^ rk[0];
    const std::uint32_t t1 = T[0][s1 >> 24] ^ T[1][(s0 >> 16) & 0xFF] ^ T[2][(s3 >> 8) & 0xFF] ^ T[3][s2 & 0xFF] ^ rk[1];
    const std::uint32_t t2 = T[0][s2 >> 24] ^ T[1][(s1 >> 16) & 0xFF] ^ T[2][(s0 >> 8) & 0xFF] ^ T[3][s3 & 0xFF] ^ rk[2];
    const std::uint32_t t3 = T[0][s3 >> 24] ^ T[1][(s2 >> 16) & 0xFF] ^ T[2][(s1 >> 8) & 0xFF] ^ T[3][s0 & 0xFF] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const auto& S = kAesInverseSbox;
  const auto last = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return (std::uint32_t{S[a >> 24]} << 24) | (std::uint32_t{S[(b >> 16) & 0xFF]} << 16) |
           (std::uint32_t{S[(c >> 8) & 0xFF]} << 8) | std::uint32_t{S[d & 0xFF]};
  };
  out[0] = last(s0, s3, s2, s1) ^ rk[0];
  out[1] = last(s1, s0, s3, s2) ^ rk[1];
  out[2] = last(s2, s1, s0, s3) ^ rk[2];
  out[3] = last(s3, s2, s1, s0) ^ rk[3];
}

}  // namespace security
