// Known answers and edge cases of HMAC, the chained PBKDF2, its input adapter
// and SimpleKdf.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "security/hmac.h"
#include "security/kat_file.h"
#include "security/key_derivation_function.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"
#include "security/sha1_digest.h"
#include "security/simple_kdf.h"

namespace security {
namespace {

using kat::Bytes;
using kat::Text;
using ShaPbkdf2 = PbKdf2<HMac<Sha2Digest>>;
using KeccakPbkdf2 = PbKdf2<HMac<KeccakF1600Digest>>;
using ShaAdapter = PasswordKdfAdapter<ShaPbkdf2>;

template <class D>
Bytes Hash(const Bytes& m, std::size_t size) {
  D d;
  d.Update(m.data(), static_cast<std::uint32_t>(m.size()));
  Bytes out(size);
  EXPECT_TRUE(d.Final(out.data(), 0));
  return out;
}

template <class D>
Bytes Mac(const Bytes& key, const Bytes& message, std::uint32_t length = 0) {
  HMac<D> mac;
  mac.SetKey(key.data(), static_cast<std::uint32_t>(key.size()));
  mac.Update(message.data(), static_cast<std::uint32_t>(message.size()));
  Bytes out(length ? length : 32);
  EXPECT_TRUE(mac.Final(out.data(), length));
  return out;
}

Bytes Iota(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i);
  return b;
}

const Bytes kSalt = Iota(32);

TEST(HMac, KnownAnswersIncludingRfc4231) {
  const auto lines = kat::ReadFile("hmac_kat.txt");
  ASSERT_GE(lines.size(), 15u);
  for (const auto& line : lines) {
    SCOPED_TRACE("hmac_kat.txt line " + std::to_string(line.number));
    const Bytes key = kat::DecodeField(line.fields[1]), message = kat::DecodeField(line.fields[2]);
    const std::uint32_t truncated = line.fields.size() > 4 ? std::stoul(line.fields[4]) : 0;
    const Bytes mac = line.fields[0] == "hmac-sha256" ? Mac<Sha2Digest>(key, message, truncated)
                                                      : Mac<KeccakF1600Digest>(key, message, truncated);
    EXPECT_EQ(kat::ToHex(mac), line.fields[3]);
  }
}

TEST(HMac, BlockSizedKeysAreUsedAsTheyAreLongerOnesHashed) {
  const Bytes m = Text("message");
  EXPECT_EQ(HMac<Sha2Digest>().BlockSize(), 64u);
  EXPECT_EQ(Mac<Sha2Digest>(Iota(65), m), Mac<Sha2Digest>(Hash<Sha2Digest>(Iota(65), 32), m));
  EXPECT_NE(Mac<Sha2Digest>(Iota(64), m), Mac<Sha2Digest>(Hash<Sha2Digest>(Iota(64), 32), m));
  EXPECT_EQ(HMac<KeccakF1600Digest>().BlockSize(), 136u);
  EXPECT_EQ(Mac<KeccakF1600Digest>(Iota(137), m), Mac<KeccakF1600Digest>(Hash<KeccakF1600Digest>(Iota(137), 32), m));
  EXPECT_NE(Mac<KeccakF1600Digest>(Iota(136), m), Mac<KeccakF1600Digest>(Hash<KeccakF1600Digest>(Iota(136), 32), m));
}

TEST(HMac, EmptyKeyAtFirstResetKeepsTheKeyLongerOutputsRefused) {
  const Bytes m = Text("message");
  HMac<Sha2Digest> mac;
  Bytes out(40, 0xAA);
  mac.Update(m.data(), 7);
  ASSERT_TRUE(mac.Final(out.data(), 0));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Mac<Sha2Digest>({}, m));

  mac.SetKey("a much longer key than the next", 31);
  mac.SetKey("Jefe", 4);  // replaces the old key entirely
  for (int round = 0; round < 2; ++round) {
    mac.Reset();
    mac.Update(m.data(), 7);
    out.assign(40, 0xAA);
    EXPECT_FALSE(mac.Final(out.data(), 33));
    EXPECT_EQ(out, Bytes(40, 0xAA));
    ASSERT_TRUE(mac.Final(out.data(), 32));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Mac<Sha2Digest>(Text("Jefe"), m));
  }
  // The pads were sized for SHA-256; another variant would not match them.
  EXPECT_FALSE(mac.SetOutputSize(48));
  EXPECT_TRUE(mac.SetOutputSize(32));
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
    EXPECT_EQ(kat::ToHex(run(std::stoul(f[1]), std::stoul(f[2]), kat::DecodeField(f[3]), kat::DecodeField(f[4]),
                             kat::DecodeField(f[5]), f[6].size() / 2)),
              f[6]);
  }
}

TEST(PbKdf2, LaterBlocksChainWithoutIterationsOrPrefix) {
  const Bytes pw = Text("pw");
  const Bytes forty = Derive<ShaPbkdf2>(ShaPbkdf2::ChainedBlocks, 50, pw, Text("user"), kSalt, 40);
  const Bytes t1 = Derive<ShaPbkdf2>(ShaPbkdf2::ChainedBlocks, 50, pw, Text("user"), kSalt, 32);
  Bytes saltAndTwo = kSalt;
  saltAndTwo.insert(saltAndTwo.end(), {0, 0, 0, 2});
  const Bytes u2 = Mac<Sha2Digest>(pw, saltAndTwo);
  EXPECT_EQ(Bytes(forty.begin(), forty.begin() + 32), t1);
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
    if (firstLength != 0) {
      EXPECT_EQ(a, Bytes(whole.begin(), whole.begin() + 16));
    }
    EXPECT_EQ(b, Bytes(whole.begin() + 32, whole.begin() + 48));  // T2, not T1 again
  }
}

TEST(PbKdf2, ZeroIterationsCountAsOneAndResetTakesANewKey) {
  EXPECT_EQ(Derive<ShaPbkdf2>(1, 0, Text("pw"), {}, kSalt, 64), Derive<ShaPbkdf2>(1, 1, Text("pw"), {}, kSalt, 64));
  EXPECT_EQ(Derive<KeccakPbkdf2>(0, 0, Text("pw"), {}, kSalt, 40), Derive<KeccakPbkdf2>(0, 1, Text("pw"), {}, kSalt, 40));

  ShaPbkdf2 kdf(5, kSalt.data(), 32, 1);
  Bytes out(32);
  kdf.AddInput("old", 3);
  kdf.AddInput("prefix", 6);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
  kdf.Reset();
  kdf.AddInput("new", 3);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
  EXPECT_EQ(out, Derive<ShaPbkdf2>(1, 5, Text("new"), {}, kSalt, 32));
}

TEST(PasswordKdfAdapter, SecondInputIsTheKeyFirstAndLaterOnesThePrefix) {
  ShaAdapter kdf(7, kSalt.data(), 32, 1);
  kdf.AddInput("alice", 5);
  kdf.AddInput("secret", 6);
  Bytes out(40);
  ASSERT_TRUE(kdf.Derive(out.data(), 40));
  EXPECT_EQ(out, Derive<ShaPbkdf2>(1, 7, Text("secret"), Text("alice"), kSalt, 40));

  ShaAdapter three(3, kSalt.data(), 32, 1);
  three.AddInput("alice", 5);
  three.AddInput("secret", 6);
  three.AddInput("+more", 5);
  ASSERT_TRUE(three.Derive(out.data(), 32));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Derive<ShaPbkdf2>(1, 3, Text("secret"), Text("alice+more"), kSalt, 32));

  // After Reset the count goes on, so inputs are no longer reordered.
  three.Reset();
  three.AddInput("bob", 3);
  three.AddInput("pw", 2);
  ASSERT_TRUE(three.Derive(out.data(), 32));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Derive<ShaPbkdf2>(1, 3, Text("bob"), Text("pw"), kSalt, 32));
}

TEST(PasswordKdfAdapter, ASingleInputIsNeverUsed) {
  ShaAdapter kdf(3, kSalt.data(), 32, 1);
  kdf.AddInput("alice", 5);
  ShaPbkdf2 noInput(3, kSalt.data(), 32, 1);  // the empty key, no prefix
  Bytes out(32), expected(32);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
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

TEST(SimpleKdf, OneLaneHashesInputsWithLengthTrailers) {
  EXPECT_EQ(Simple(2, 20, {'u'}, {'p'}), Hash<SHA1Digest>({'u', 0xFF, 0xFE, 0xFF, 0xFF, 'p', 0xFF, 0xFE, 0xFF, 0xFF}, 20));
  EXPECT_EQ(Simple(2, 20, Text("abc"), {}), Hash<SHA1Digest>({'a', 'b', 'c', 0xFF, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 20));
  Bytes big(65537, 'x');  // only the low 16 bits of the length count
  Bytes expected = big;
  expected.insert(expected.end(), {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(Simple(2, 20, big, {}), Hash<SHA1Digest>(expected, 20));
}

TEST(SimpleKdf, TwoLanesAreFolded) {
  // Each update is cut on its own: a 1-byte input goes wholly to lane 1, each trailer splits 2/2.
  Bytes lanes = Hash<SHA1Digest>({0xFF, 0xFE, 0xFF, 0xFE}, 20);
  const Bytes lane1 = Hash<SHA1Digest>({'u', 0xFF, 0xFF, 'p', 0xFF, 0xFF}, 20);
  lanes.insert(lanes.end(), lane1.begin(), lane1.end());
  Bytes expected(lanes.begin(), lanes.begin() + 24);
  const std::size_t excess[6] = {0, 1, 2, 3, 0, 1};
  for (std::size_t g = 0; g < 24; ++g) expected[g] ^= lanes[24 + 4 * excess[g / 4] + g % 4];
  EXPECT_EQ(Simple(2, 24, {'u'}, {'p'}), expected);
}

TEST(SimpleKdf, DeriveLengthsReuseAndInvalidSetups) {
  SimpleKdf kdf(3, 32);
  Bytes out(64, 0xAA), full(32);
  kdf.AddInput("u", 1);
  EXPECT_FALSE(kdf.Derive(out.data(), 33));
  EXPECT_EQ(out, Bytes(64, 0xAA));
  ASSERT_TRUE(kdf.Derive(out.data(), 16));  // a prefix, and a fresh start
  EXPECT_EQ(out[16], 0xAA);
  kdf.AddInput("junk", 4);
  kdf.Reset();
  kdf.AddInput("u", 1);
  ASSERT_TRUE(kdf.Derive(full.data(), 0));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), Bytes(full.begin(), full.begin() + 16));

  for (auto [id, length] : {std::pair{1u, 20u}, {0u, 24u}, {2u, 200u}, {3u, 257u}}) {
    SimpleKdf bad(id, length);
    EXPECT_FALSE(bad.IsValid()) << id << "/" << length;
    bad.AddInput("u", 1);
    std::uint8_t sink[300] = {};
    EXPECT_FALSE(bad.Derive(sink, 0));
  }
  EXPECT_TRUE(SimpleKdf(3, 256).IsValid());
}

class FixedKeySource : public KeySource {
 public:
  explicit FixedKeySource(Bytes key) : key_(std::move(key)) {}
  void CopyKey(std::int32_t* result, void* buffer, std::uint32_t length) override {
    if (length != 0) std::memcpy(buffer, key_.data(), length);
    *result = 0;
    ++copies;
  }
  void GetKeyLength(std::uint32_t* length) override { *length = static_cast<std::uint32_t>(key_.size()); }
  int copies = 0;

 private:
  Bytes key_;
};

class RecordingKdf : public KeyDerivationFunction {
 public:
  void Reset() override {}
  void AddInput(const void* data, std::uint32_t length) override {
    inputs.emplace_back(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + length);
  }
  bool Derive(std::uint8_t*, std::uint32_t) override { return false; }
  std::vector<Bytes> inputs;
};

TEST(KeyDerivationFunction, OnlyTheBaseReadsKeySources) {
  FixedKeySource source(Text("from the source")), empty({});
  RecordingKdf recording;
  recording.AddInputFrom(source);
  recording.AddInputFrom(empty);
  EXPECT_EQ(recording.inputs, (std::vector<Bytes>{Text("from the source"), {}}));

  FixedKeySource ignored(Text("ignored"));
  SimpleKdf simple(2, 20);
  simple.AddInputFrom(ignored);
  ShaAdapter adapter(2, kSalt.data(), 32, 1);
  adapter.AddInputFrom(ignored);
  EXPECT_EQ(ignored.copies, 0);
  Bytes out(20);
  ASSERT_TRUE(simple.Derive(out.data(), 0));
  EXPECT_EQ(out, Hash<SHA1Digest>({}, 20));
}

}  // namespace
}  // namespace security
