// AES with AES-NI. CBC decryption and ECB keep several blocks in flight (the
// instructions have a latency of several cycles but issue every cycle);
// CBC encryption is serial by nature. The stored CBC byte order (4-byte
// groups reversed) is one byte shuffle on the way in or out of each block.

#include "security/x86/x86_kernels.h"

#ifdef VP_SECURITY_X86

#include <immintrin.h>

#include <cstring>

#include "security/secure_wipe.h"

#if defined(__GNUC__) || defined(__clang__)
#define VP_AES_TARGET __attribute__((target("aes,ssse3")))
#else
#define VP_AES_TARGET
#endif

namespace security::x86 {
namespace {

// Blocks in flight: 64-bit mode has 16 vector registers, 32-bit mode 8.
#if defined(__x86_64__) || defined(_M_X64)
constexpr std::uint32_t kLanes = 8;
#else
constexpr std::uint32_t kLanes = 4;
#endif

VP_AES_TARGET inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

VP_AES_TARGET inline void Store(std::uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Reverses each 4-byte group: natural order <-> stored order.
VP_AES_TARGET inline __m128i GroupSwap() {
  return _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
}

template <std::uint32_t N>
VP_AES_TARGET inline void EncryptLanes(const std::uint8_t* rk, std::uint32_t rounds, __m128i* x) {
  const __m128i k0 = Load(rk);
  for (std::uint32_t i = 0; i < N; ++i) x[i] = _mm_xor_si128(x[i], k0);
  for (std::uint32_t r = 1; r < rounds; ++r) {
    const __m128i k = Load(rk + 16 * r);
    for (std::uint32_t i = 0; i < N; ++i) x[i] = _mm_aesenc_si128(x[i], k);
  }
  const __m128i last = Load(rk + 16 * rounds);
  for (std::uint32_t i = 0; i < N; ++i) x[i] = _mm_aesenclast_si128(x[i], last);
}

template <std::uint32_t N>
VP_AES_TARGET inline void DecryptLanes(const std::uint8_t* rk, std::uint32_t rounds, __m128i* x) {
  const __m128i k0 = Load(rk);
  for (std::uint32_t i = 0; i < N; ++i) x[i] = _mm_xor_si128(x[i], k0);
  for (std::uint32_t r = 1; r < rounds; ++r) {
    const __m128i k = Load(rk + 16 * r);
    for (std::uint32_t i = 0; i < N; ++i) x[i] = _mm_aesdec_si128(x[i], k);
  }
  const __m128i last = Load(rk + 16 * rounds);
  for (std::uint32_t i = 0; i < N; ++i) x[i] = _mm_aesdeclast_si128(x[i], last);
}

template <std::uint32_t N, bool kEncrypt>
VP_AES_TARGET inline void EcbLanes(const std::uint8_t* rk, std::uint32_t rounds, const std::uint8_t* in,
                                   std::uint8_t* out) {
  __m128i x[N];
  for (std::uint32_t i = 0; i < N; ++i) x[i] = Load(in + 16 * i);
  if constexpr (kEncrypt) {
    EncryptLanes<N>(rk, rounds, x);
  } else {
    DecryptLanes<N>(rk, rounds, x);
  }
  for (std::uint32_t i = 0; i < N; ++i) Store(out + 16 * i, x[i]);
}

template <bool kEncrypt>
VP_AES_TARGET void Ecb(const std::uint8_t* rk, std::uint32_t rounds, const std::uint8_t* in, std::uint8_t* out,
                       std::uint32_t blocks) {
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    EcbLanes<kLanes, kEncrypt>(rk, rounds, in, out);
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) EcbLanes<1, kEncrypt>(rk, rounds, in, out);
}

// N stored blocks: every ciphertext block is read before any output is
// written, so `in` may equal `out`.
template <std::uint32_t N>
VP_AES_TARGET inline __m128i DecryptCbcLanes(const std::uint8_t* rk, std::uint32_t rounds, __m128i previous,
                                             const std::uint8_t* in, std::uint8_t* out) {
  const __m128i swap = GroupSwap();
  __m128i c[N], x[N];
  for (std::uint32_t i = 0; i < N; ++i) x[i] = c[i] = _mm_shuffle_epi8(Load(in + 16 * i), swap);
  DecryptLanes<N>(rk, rounds, x);
  Store(out, _mm_xor_si128(x[0], previous));
  for (std::uint32_t i = 1; i < N; ++i) Store(out + 16 * i, _mm_xor_si128(x[i], c[i - 1]));
  return c[N - 1];
}

// SubWord of a key-schedule word (its bytes in memory order, read as a
// little-endian number): AESKEYGENASSIST applies the S-box to its second
// 32-bit lane and leaves the result in its first.
VP_AES_TARGET inline std::uint32_t SubWord(std::uint32_t w) {
  return static_cast<std::uint32_t>(
      _mm_cvtsi128_si32(_mm_aeskeygenassist_si128(_mm_set_epi32(0, 0, static_cast<int>(w), 0), 0)));
}

}  // namespace

VP_AES_TARGET std::uint32_t AesNiExpandKey(const std::uint8_t* key, std::uint32_t keyBytes, bool decryption,
                                           std::uint8_t* roundKeys) {
  // FIPS 197 section 5.2 on words in memory order: RotWord is a rotation by
  // one byte towards the low end, Rcon goes into the first byte.
  const std::uint32_t nk = keyBytes / 4;
  const std::uint32_t rounds = nk + 6;
  const std::uint32_t total = 4 * (rounds + 1);
  std::uint32_t w[60];
  std::memcpy(w, key, keyBytes);
  std::uint32_t rcon = 0x01;
  for (std::uint32_t i = nk; i < total; ++i) {
    std::uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = SubWord((temp >> 8) | (temp << 24)) ^ rcon;
      rcon = (rcon << 1) ^ ((rcon >> 7) * 0x11B);
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  for (std::uint32_t r = 0; r <= rounds; ++r) {
    // The equivalent inverse cipher takes the keys backwards, InvMixColumns
    // (AESIMC) applied to all but the outer two.
    const std::uint32_t from = decryption ? rounds - r : r;
    __m128i k = Load(reinterpret_cast<const std::uint8_t*>(w + 4 * from));
    if (decryption && r != 0 && r != rounds) k = _mm_aesimc_si128(k);
    Store(roundKeys + 16 * r, k);
  }
  SecureWipe(w, sizeof w);
  return rounds;
}

void AesNiEncryptEcb(const std::uint8_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                     std::uint8_t* out, std::uint32_t blocks) {
  Ecb<true>(roundKeys, rounds, in, out, blocks);
}

void AesNiDecryptEcb(const std::uint8_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                     std::uint8_t* out, std::uint32_t blocks) {
  Ecb<false>(roundKeys, rounds, in, out, blocks);
}

VP_AES_TARGET void AesNiEncryptCbcStored(const std::uint8_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                                         const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks) {
  const __m128i swap = GroupSwap();
  __m128i x = Load(chain);
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    x = _mm_xor_si128(x, Load(in));
    EncryptLanes<1>(roundKeys, rounds, &x);
    Store(out, _mm_shuffle_epi8(x, swap));
  }
  Store(chain, x);
}

VP_AES_TARGET void AesNiDecryptCbcStored(const std::uint8_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                                         const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks) {
  __m128i previous = Load(chain);
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    previous = DecryptCbcLanes<kLanes>(roundKeys, rounds, previous, in, out);
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    previous = DecryptCbcLanes<1>(roundKeys, rounds, previous, in, out);
  }
  Store(chain, previous);
}

}  // namespace security::x86

#endif  // VP_SECURITY_X86
