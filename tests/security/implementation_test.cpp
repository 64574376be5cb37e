// The processor's implementations against the portable ones, in one process:
// random keys, lengths and call splits, in place and not. (The whole suite
// also runs once with VAULTPOST_PORTABLE_CRYPTO=1, see tests/CMakeLists.txt.)

#include <cstdlib>
#include <cstring>
#include <memory>
#include <typeinfo>

#include "security/aes_vanilla_cipher.h"
#include "security/byte_order.h"
#include "security/cbc_cipher.h"
#include "security/kat_file.h"
#include "security/kernels.h"
#include "security/sha1_digest.h"
#include "security/sha2_digest.h"
#include "security/x86/x86_kernels.h"

namespace security {
namespace {

using kat::Bytes;
using kat::Random;

// Builds with the portable code forced or not, and gives the choice back.
template <class T, class... Args>
std::unique_ptr<T> Make(bool portable, Args&&... args) {
  ForcePortableCrypto(portable);
  auto object = std::make_unique<T>(std::forward<Args>(args)...);
  ForcePortableCrypto(false);
  return object;
}

std::unique_ptr<CBCCipher> Cbc(bool portable, const Bytes& key, const Bytes& iv) {
  auto cbc = Make<CBCCipher>(portable, kCipherAes);
  EXPECT_TRUE(cbc->GetBlockCipher()->SetKeyLength(static_cast<std::uint32_t>(key.size())));
  EXPECT_TRUE(cbc->GetBlockCipher()->SetKey(key.data()) && cbc->SetIv(iv.data(), 16));
  return cbc;
}

// Runs `length` bytes through `op` in random whole-block pieces, in place or
// from `in` into a separate buffer.
template <class Op>
Bytes InPieces(const Bytes& in, bool inPlace, std::mt19937& rng, Op op) {
  Bytes out = inPlace ? in : Bytes(in.size(), 0xEE);
  const std::uint8_t* from = inPlace ? out.data() : in.data();
  for (std::size_t done = 0, take; done < in.size(); done += take) {
    take = 16 * (1 + rng() % 40);
    take = std::min(take, in.size() - done);
    EXPECT_TRUE(op(from + done, out.data() + done, static_cast<std::uint32_t>(take)));
  }
  return out;
}

// Whether the comparisons below set the processor's code against the
// portable one: not in the suite's portable run, nor on a processor without
// the instructions, where both sides would be the portable code.
bool ProcessorCodeRuns() { return std::strcmp(CryptoImplementation(), "portable") != 0; }

// Forcing is visible, and the suite's portable run (VAULTPOST_PORTABLE_CRYPTO=1,
// see tests/CMakeLists.txt) really runs the portable code throughout.
TEST(Implementation, ForcingThePortableCodeIsVisible) {
  ForcePortableCrypto(true);
  EXPECT_STREQ(CryptoImplementation(), "portable");
  const auto made = CreateBlockCipher(kCipherAes);
  const BlockCipher& cipher = *made;
  EXPECT_EQ(typeid(cipher), typeid(AesVanillaCipher));
  ForcePortableCrypto(false);
  const char* run = std::getenv("VAULTPOST_PORTABLE_CRYPTO");
  if (run != nullptr && std::strcmp(run, "1") == 0) {
    EXPECT_STREQ(CryptoImplementation(), "portable");
    const auto again = CreateBlockCipher(kCipherAes);
    const BlockCipher& chosen = *again;
    EXPECT_EQ(typeid(chosen), typeid(AesVanillaCipher));
  }
}

TEST(Implementation, AesCbcAndEcbAgreeWithThePortableCode) {
  if (!ProcessorCodeRuns()) GTEST_SKIP() << "the portable code runs on both sides";
  std::mt19937 rng(97);
  for (std::uint32_t keyLength : {16u, 24u, 32u}) {
    for (int round = 0; round < 20; ++round) {
      const Bytes key = Random(rng, keyLength), iv = Random(rng, 16);
      const Bytes plain = Random(rng, 16 * (rng() % 70));
      const bool inPlace = round % 2 == 0;
      SCOPED_TRACE(testing::Message() << "key " << keyLength << " length " << plain.size() << " in place " << inPlace);
      Bytes stored[2], decrypted[2];
      for (bool portable : {true, false}) {
        auto enc = Cbc(portable, key, iv);
        stored[portable] = InPieces(plain, inPlace, rng, [&](auto in, auto out, auto n) { return enc->Encrypt(in, out, n); });
      }
      EXPECT_EQ(stored[0], stored[1]);
      for (bool portable : {true, false}) {
        auto dec = Cbc(portable, key, iv);
        decrypted[portable] = InPieces(stored[!portable], inPlace, rng, [&](auto in, auto out, auto n) { return dec->Decrypt(in, out, n); });
        EXPECT_EQ(decrypted[portable], plain) << portable;
      }

      // ECB, and the word-level block operations, switching direction
      // without Reset in between.
      Bytes ecb[2];
      std::uint32_t words[2][4];
      for (bool portable : {true, false}) {
        auto block = Make<CBCCipher>(portable, kCipherAes);
        BlockCipher& cipher = *block->GetBlockCipher();
        ASSERT_TRUE(cipher.SetKeyLength(keyLength) && cipher.SetKey(key.data()));
        ecb[portable] = InPieces(plain, inPlace, rng, [&](auto in, auto out, auto n) { return cipher.EncryptEcb(in, out, n); });
        EXPECT_EQ(InPieces(ecb[portable], !inPlace, rng, [&](auto in, auto out, auto n) { return cipher.DecryptEcb(in, out, n); }), plain);
        for (int w = 0; w < 4; ++w) words[portable][w] = LoadBigEndian32(iv.data() + 4 * w);
        cipher.EncryptBlock(words[portable], words[portable]);
        cipher.DecryptBlock(words[portable], words[portable]);
        cipher.EncryptBlock(words[portable], words[portable]);
      }
      EXPECT_EQ(ecb[0], ecb[1]);
      EXPECT_TRUE(std::equal(words[0], words[0] + 4, words[1]));
    }
  }
}

// Lengths around every block boundary, the SHA-384/512 length-field quirk
// (112..119 bytes in the last block) included, fed in random pieces.
TEST(Implementation, DigestsAgreeWithThePortableCode) {
  if (!ProcessorCodeRuns()) GTEST_SKIP() << "the portable code runs on both sides";
  std::mt19937 rng(98);
  for (std::size_t n = 0; n < 700; n += 1 + (n > 300 ? rng() % 97 : 0)) {
    const Bytes message = Random(rng, n);
    for (std::uint32_t size : {20u, 28u, 32u, 48u, 64u}) {
      Bytes out[2];
      for (bool portable : {true, false}) {
        ForcePortableCrypto(portable);
        std::unique_ptr<DigestImp> d;
        if (size == 20) d = std::make_unique<SHA1Digest>();
        else d = std::make_unique<Sha2Digest>(size);
        for (std::size_t at = 0, take; at < n; at += take) {
          take = std::min<std::size_t>(n - at, rng() % 400);
          d->Update(message.data() + at, static_cast<std::uint32_t>(take));
        }
        out[portable].resize(size);
        EXPECT_TRUE(d->Final(out[portable].data(), 0));
        ForcePortableCrypto(false);
      }
      EXPECT_EQ(out[0], out[1]) << n << " bytes, size " << size;
    }
  }
}

#ifdef VP_SECURITY_X86
// Every compression kernel this processor can run, not only the one chosen,
// against the portable one over random blocks.
TEST(Implementation, EveryShaKernelOfThisProcessorAgreesWithThePortableOne) {
  const x86::Features f = x86::Detect();
  std::mt19937 rng(99);
  const Bytes blocks = Random(rng, 7 * 128);
  const auto check = [&](auto kernel, auto portable, auto word, std::size_t blockSize, const char* name) {
    for (std::uint32_t count = 1; count <= 7; ++count) {
      decltype(word) a[8], b[8];
      for (int i = 0; i < 8; ++i) a[i] = b[i] = static_cast<decltype(word)>(rng() * 0x9E3779B97F4A7C15ull);
      kernel(a, blocks.data(), static_cast<std::uint32_t>(count * 128u / blockSize));
      portable(b, blocks.data(), static_cast<std::uint32_t>(count * 128 / blockSize));
      EXPECT_TRUE(std::equal(a, a + 8, b)) << name << " " << count;
    }
  };
  if (f.sha && f.ssse3 && f.sse41) {
    check(x86::Sha1CompressShaNi, detail::Sha1CompressPortable, std::uint32_t{}, 64, "sha1-ni");
    check(x86::Sha256CompressShaNi, detail::Sha256CompressPortable, std::uint32_t{}, 64, "sha256-ni");
  }
  if (f.avx2 && f.bmi2) check(x86::Sha512CompressAvx2, detail::Sha512CompressPortable, std::uint64_t{}, 128, "sha512-avx2");
  if (f.avx512vl && f.bmi2) check(x86::Sha512CompressAvx512, detail::Sha512CompressPortable, std::uint64_t{}, 128, "sha512-avx512");
}

// The portable key schedule, word by word as bytes.
struct PortableSchedule : AesVanillaCipher {
  Bytes RoundKeys(const Bytes& key, bool decryption) {
    EXPECT_TRUE(SetKeyLength(static_cast<std::uint32_t>(key.size())) && SetKey(key.data()));
    const std::uint32_t rounds = PrepareRoundKeys(decryption);
    Bytes out(16 * (rounds + 1));
    for (std::size_t i = 0; i < out.size() / 4; ++i) StoreBigEndian32(out.data() + 4 * i, AesVanillaCipher::RoundKeys()[i]);
    return out;
  }
};

// The key expansion of the instructions against FIPS 197 Appendix A and,
// for both directions and random keys of each length, the portable one.
TEST(Implementation, TheInstructionsKeyExpansionMatchesFips197AndThePortableSchedule) {
  const x86::Features f = x86::Detect();
  if (!f.aes || !f.ssse3) GTEST_SKIP() << "no AES-NI";
  std::uint8_t keys[16 * 15];
  for (const auto& line : kat::ReadFile("aes_key_expansion.txt")) {
    SCOPED_TRACE("aes_key_expansion.txt line " + std::to_string(line.number));
    const Bytes key = kat::DecodeField(line.fields[0]);
    const std::size_t round = std::stoul(line.fields[1]);
    const Bytes expected = kat::FromHex(line.fields[2]);
    EXPECT_EQ(x86::AesNiExpandKey(key.data(), static_cast<std::uint32_t>(key.size()), false, keys), key.size() / 4 + 6);
    EXPECT_EQ(Bytes(keys + 16 * round, keys + 16 * round + 16), expected);
    EXPECT_EQ(kat::Slice(PortableSchedule().RoundKeys(key, false), 16 * round, 16 * round + 16), expected);
  }
  std::mt19937 rng(7);
  for (std::size_t length : {16u, 24u, 32u}) {
    for (int round = 0; round < 20; ++round) {
      const Bytes key = Random(rng, length);
      for (bool decryption : {false, true}) {
        const std::uint32_t rounds = x86::AesNiExpandKey(key.data(), static_cast<std::uint32_t>(length), decryption, keys);
        EXPECT_EQ(Bytes(keys, keys + 16 * (rounds + 1)), PortableSchedule().RoundKeys(key, decryption))
            << kat::ToHex(key) << " decryption " << decryption;
      }
    }
  }
}

// Both CBC decryption kernels against CBC built by hand from the one-block
// decryption (checked by the known answers), over random round keys and
// lengths, in place and not, with the chaining value carried between calls.
TEST(Implementation, EveryAesCbcKernelOfThisProcessorAgreesWithTextbookCbc) {
  const x86::Features f = x86::Detect();
  if (!f.aes || !f.ssse3) GTEST_SKIP() << "no AES-NI";
  using Kernel = void (*)(const std::uint8_t*, std::uint32_t, std::uint8_t*, const std::uint8_t*, std::uint8_t*,
                          std::uint32_t);
  std::vector<std::pair<Kernel, const char*>> kernels = {{x86::AesNiDecryptCbcStored, "aes-ni"}};
#if defined(__x86_64__) || defined(_M_X64)
  if (f.vaes) kernels.push_back({x86::AesVaesDecryptCbcStored, "vaes"});
#endif
  std::mt19937 rng(100);
  for (std::uint32_t rounds : {10u, 12u, 14u}) {
    for (int round = 0; round < 20; ++round) {
      const Bytes keys = Random(rng, 16 * (rounds + 1)), iv = Random(rng, 16);
      const auto blocks = static_cast<std::uint32_t>(rng() % 70);
      const auto split = blocks == 0 ? 0u : static_cast<std::uint32_t>(rng() % blocks);
      const Bytes stored = Random(rng, 16 * blocks);
      Bytes expected(stored.size());
      Bytes previous = iv;
      for (std::uint32_t b = 0; b < blocks; ++b) {
        const Bytes c = kat::ReverseGroups(kat::Slice(stored, 16 * b, 16 * b + 16));
        x86::AesNiDecryptEcb(keys.data(), rounds, c.data(), expected.data() + 16 * b, 1);
        for (int i = 0; i < 16; ++i) expected[16 * b + i] ^= previous[i];
        previous = c;
      }
      for (auto [kernel, name] : kernels) {
        for (bool inPlace : {false, true}) {
          Bytes chain = iv, out = inPlace ? stored : Bytes(stored.size());
          const std::uint8_t* from = inPlace ? out.data() : stored.data();
          kernel(keys.data(), rounds, chain.data(), from, out.data(), split);
          kernel(keys.data(), rounds, chain.data(), from + 16 * split, out.data() + 16 * split, blocks - split);
          EXPECT_EQ(out, expected) << name << " rounds " << rounds << " blocks " << blocks << " in place " << inPlace;
          EXPECT_EQ(chain, previous) << name;
        }
      }
    }
  }
}
#endif

}  // namespace
}  // namespace security
