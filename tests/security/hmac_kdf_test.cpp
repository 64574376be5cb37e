// Known answers and edge cases of HMAC, the chained PBKDF2, its input adapter
// and SimpleKdf.

#include "security/hmac.h"
#include "security/kat_file.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"
#include "security/sha1_digest.h"
#include "security/simple_kdf.h"

namespace security {
namespace {

using kat::Bytes;
using kat::Slice;
using kat::Text;
using ShaPbkdf2 = PbKdf2<HMac<Sha2Digest>>;
using KeccakPbkdf2 = PbKdf2<HMac<KeccakF1600Digest>>;
using ShaAdapter = PasswordKdfAdapter<ShaPbkdf2>;

Bytes Sha1(const Bytes& m) { return kat::Hash(SHA1Digest(), m); }

template <class D>
Bytes Mac(const Bytes& key, const Bytes& message, std::uint32_t length = 0) {
  HMac<D> mac;
  mac.SetKey(key.data(), static_cast<std::uint32_t>(key.size()));
  mac.Update(message.data(), static_cast<std::uint32_t>(message.size()));
  Bytes out(length ? length : 32);
  EXPECT_TRUE(mac.Final(out.data(), length));
  return out;
}

const Bytes kSalt = kat::Sequence(32);

// RFC 4231 cases 1-7, keys of 64/65 bytes for SHA-256 and 136/137 for Keccak.
TEST(HMac, KnownAnswers) {
  const auto lines = kat::ReadFile("hmac_kat.txt");
  ASSERT_GE(lines.size(), 15u);
  for (const auto& line : lines) {
    SCOPED_TRACE("hmac_kat.txt line " + std::to_string(line.number));
    const Bytes key = kat::DecodeField(line.fields[1]), message = kat::DecodeField(line.fields[2]);
    const std::uint32_t truncated = line.fields.size() > 4 ? static_cast<std::uint32_t>(std::stoul(line.fields[4])) : 0;
    const Bytes mac = line.fields[0] == "hmac-sha256" ? Mac<Sha2Digest>(key, message, truncated)
                                                      : Mac<KeccakF1600Digest>(key, message, truncated);
    EXPECT_EQ(kat::ToHex(mac), line.fields[3]);
  }
}

// A new key replaces the old one entirely and survives Reset and Final;
// longer outputs are refused without writing (RFC 4231 case 2 throughout).
TEST(HMac, KeysReuseAndRefusedLengths) {
  HMac<Sha2Digest> mac;
  mac.SetKey("a much longer key than the next", 31);
  mac.SetKey("Jefe", 4);
  for (int round = 0; round < 2; ++round) {
    mac.Reset();
    mac.Update("what do ya want for nothing?", 28);
    Bytes out(40, 0xAA);
    EXPECT_FALSE(mac.Final(out.data(), 33) || mac.SetOutputSize(48));  // the pads were sized for SHA-256
    EXPECT_EQ(out, Bytes(40, 0xAA));
    ASSERT_TRUE(mac.Final(out.data(), 32));
    EXPECT_EQ(kat::ToHex(Slice(out, 0, 32)), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  }
}

template <class K>
Bytes Derive(std::uint32_t mode, std::uint32_t iterations, const Bytes& password, const Bytes& prefix,
             const Bytes& salt, std::size_t length) {
  K kdf(iterations, salt.data(), static_cast<std::uint32_t>(salt.size()), mode);
  kdf.AddInput(password.data(), static_cast<std::uint32_t>(password.size()));
  if (!prefix.empty()) kdf.AddInput(prefix.data(), static_cast<std::uint32_t>(prefix.size()));
  Bytes out(length);
  EXPECT_TRUE(kdf.Derive(out.data(), static_cast<std::uint32_t>(length)));
  return out;
}

TEST(PbKdf2, KnownAnswersStandardAndChained) {
  const auto lines = kat::ReadFile("pbkdf2_kat.txt");
  ASSERT_GE(lines.size(), 8u);
  for (const auto& line : lines) {
    SCOPED_TRACE("pbkdf2_kat.txt line " + std::to_string(line.number));
    const auto& f = line.fields;
    ASSERT_EQ(f.size(), 7u);
    const auto run = f[0] == "sha256" ? Derive<ShaPbkdf2> : Derive<KeccakPbkdf2>;
    EXPECT_EQ(kat::ToHex(run(static_cast<unsigned>(std::stoul(f[1])), static_cast<unsigned>(std::stoul(f[2])), kat::DecodeField(f[3]), kat::DecodeField(f[4]),
                             kat::DecodeField(f[5]), f[6].size() / 2)),
              f[6]);
  }
}

TEST(PbKdf2, LaterBlocksChainWithoutIterationsOrPrefix) {
  const Bytes pw = Text("pw");
  const Bytes forty = Derive<ShaPbkdf2>(ShaPbkdf2::ChainedBlocks, 50, pw, Text("user"), kSalt, 40);
  const Bytes t1 = Derive<ShaPbkdf2>(ShaPbkdf2::ChainedBlocks, 50, pw, Text("user"), kSalt, 32);
  const Bytes u2 = Mac<Sha2Digest>(pw, kat::Concat(kSalt, {0, 0, 0, 2}));
  EXPECT_EQ(Slice(forty, 0, 32), t1);
  for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(forty[32 + i], t1[i] ^ u2[i]) << i;
}

TEST(PbKdf2, EachDeriveContinuesWithTheNextBlock) {
  const Bytes whole = Derive<ShaPbkdf2>(1, 20, Text("pw"), {}, kSalt, 64);
  for (std::uint32_t firstLength : {16u, 0u}) {  // an empty Derive still uses up block 1
    ShaPbkdf2 kdf(20, kSalt.data(), 32, 1);
    kdf.AddInput("pw", 2);
    Bytes a(16), b(16);
    ASSERT_TRUE(kdf.Derive(firstLength ? a.data() : nullptr, firstLength));
    ASSERT_TRUE(kdf.Derive(b.data(), 16));
    EXPECT_TRUE(firstLength == 0 || a == Slice(whole, 0, 16));
    EXPECT_EQ(b, Slice(whole, 32, 48));  // T2, not T1 again
  }
}

TEST(PbKdf2, ZeroIterationsCountAsOneAndResetTakesANewKey) {
  EXPECT_EQ(Derive<ShaPbkdf2>(1, 0, Text("pw"), {}, kSalt, 64), Derive<ShaPbkdf2>(1, 1, Text("pw"), {}, kSalt, 64));
  EXPECT_EQ(Derive<KeccakPbkdf2>(0, 0, Text("pw"), {}, kSalt, 40), Derive<KeccakPbkdf2>(0, 1, Text("pw"), {}, kSalt, 40));
  ShaPbkdf2 kdf(5, kSalt.data(), 32, 1);
  Bytes out(32);
  kdf.AddInput("old", 3);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
  kdf.Reset();
  kdf.AddInput("new", 3);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
  EXPECT_EQ(out, Derive<ShaPbkdf2>(1, 5, Text("new"), {}, kSalt, 32));
}

// Progress comes every 4096 iterations of block 1 on both iteration paths
// (SHA-256 straight on the compression function, Keccak through the MAC);
// it never changes the key, and a "stop" answer fails Derive with the output
// zeroed.
template <class Kdf>
void CheckProgressAndStop() {
  constexpr std::uint32_t kIterations = 9000;
  const Bytes expected = Derive<Kdf>(1, kIterations, Text("pw"), {}, kSalt, 40);
  for (const bool stop : {false, true}) {
    Kdf kdf(kIterations, kSalt.data(), 32, 1);
    kdf.AddInput("pw", 2);
    std::vector<std::uint64_t> reports;
    kdf.SetProgress([&](std::uint64_t done, std::uint64_t total) {
      EXPECT_EQ(total, kIterations);
      reports.push_back(done);
      return !stop;
    });
    Bytes out(40, 0xAA);
    EXPECT_EQ(kdf.Derive(out.data(), 40), !stop);
    EXPECT_EQ(out, stop ? Bytes(40, 0) : expected);
    const std::vector<std::uint64_t> expectedReports =
        stop ? std::vector<std::uint64_t>{4096} : std::vector<std::uint64_t>{4096, 8192};
    EXPECT_EQ(reports, expectedReports);
  }
}

TEST(PbKdf2, ProgressReportsNeverChangeTheKeyAndAStopFailsDerive) {
  CheckProgressAndStop<ShaPbkdf2>();
  CheckProgressAndStop<KeccakPbkdf2>();
}

// A single input is never used: the key stays empty. (Two inputs: see the
// OpenSSL cross-check.)
TEST(PasswordKdfAdapter, ASingleInputIsNeverUsed) {
  Bytes out(32), expected(32);
  ShaAdapter one(3, kSalt.data(), 32, 1);
  one.AddInput("alice", 5);
  ShaPbkdf2 noInput(3, kSalt.data(), 32, 1);  // the empty key, no prefix
  ASSERT_TRUE(one.Derive(out.data(), 32));
  ASSERT_TRUE(noInput.Derive(expected.data(), 32));
  EXPECT_EQ(out, expected);
}

Bytes Simple(std::uint32_t id, std::uint32_t keyLength, const Bytes& user, const Bytes& password) {
  SimpleKdf kdf(id, keyLength);
  EXPECT_TRUE(kdf.IsValid());
  kdf.AddInput(user.data(), static_cast<std::uint32_t>(user.size()));
  kdf.AddInput(password.data(), static_cast<std::uint32_t>(password.size()));
  Bytes out(keyLength);
  EXPECT_TRUE(kdf.Derive(out.data(), keyLength));
  return out;
}

TEST(SimpleKdf, InputsGetLengthTrailersAndTwoLanesAreFolded) {
  EXPECT_EQ(Simple(2, 20, {'u'}, {'p'}), Sha1({'u', 0xFF, 0xFE, 0xFF, 0xFF, 'p', 0xFF, 0xFE, 0xFF, 0xFF}));
  EXPECT_EQ(Simple(2, 20, Text("abc"), {}), Sha1({'a', 'b', 'c', 0xFF, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  const Bytes big(65537, 'x');  // only the low 16 bits of the length count
  EXPECT_EQ(Simple(2, 20, big, {}), Sha1(kat::Concat(big, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));

  // Each update is cut on its own: a 1-byte input goes wholly to lane 1, each trailer splits 2/2.
  const Bytes lanes = kat::Concat(Sha1({0xFF, 0xFE, 0xFF, 0xFE}), Sha1({'u', 0xFF, 0xFF, 'p', 0xFF, 0xFF}));
  Bytes expected = Slice(lanes, 0, 24);
  const std::size_t excess[6] = {0, 1, 2, 3, 0, 1};
  for (std::size_t g = 0; g < 24; ++g) expected[g] ^= lanes[24 + 4 * excess[g / 4] + g % 4];
  EXPECT_EQ(Simple(2, 24, {'u'}, {'p'}), expected);
}

TEST(SimpleKdf, DeriveLengthsReuseAndInvalidSetups) {
  SimpleKdf kdf(3, 32);
  Bytes out(300, 0xAA), full(32);
  kdf.AddInput("u", 1);
  EXPECT_FALSE(kdf.Derive(out.data(), 33));
  EXPECT_EQ(out, Bytes(300, 0xAA));
  ASSERT_TRUE(kdf.Derive(out.data(), 16));  // a prefix, and a fresh start
  kdf.AddInput("junk", 4);
  kdf.Reset();
  kdf.AddInput("u", 1);
  ASSERT_TRUE(kdf.Derive(full.data(), 0));
  EXPECT_EQ(Slice(out, 0, 17), kat::Concat(Slice(full, 0, 16), {0xAA}));
  for (auto [id, length] : {std::pair{1u, 20u}, {0u, 24u}, {2u, 200u}, {3u, 257u}}) {
    SimpleKdf bad(id, length);
    EXPECT_FALSE(bad.IsValid()) << id << "/" << length;
    bad.AddInput("u", 1);
    EXPECT_FALSE(bad.Derive(out.data(), 0));
  }
  EXPECT_TRUE(SimpleKdf(3, 256).IsValid());
}

}  // namespace
}  // namespace security
