// Known answers and edge cases of HMAC, the chained PBKDF2, its input adapter,
// SimpleKdf and SecureBlob.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "security/digest.h"
#include "security/hmac.h"
#include "security/kat_file.h"
#include "security/key_derivation_function.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"
#include "security/secure_blob.h"
#include "security/sha1_digest.h"
#include "security/simple_kdf.h"

namespace security {
namespace {

using kat::Bytes;
using ShaPbkdf2 = PbKdf2<HMac<Sha2Digest>>;
using KeccakPbkdf2 = PbKdf2<HMac<KeccakF1600Digest>>;
using ShaAdapter = PasswordKdfAdapter<ShaPbkdf2>;

template <class D>
Bytes Mac(const Bytes& key, const Bytes& message, std::uint32_t length = 0) {
  HMac<D> mac;
  mac.SetKey(key.data(), static_cast<std::uint32_t>(key.size()));
  mac.Update(message.data(), static_cast<std::uint32_t>(message.size()));
  Bytes out(length ? length : mac.OutputSize());
  EXPECT_TRUE(mac.Final(out.data(), length));
  return out;
}

Bytes Keccak256(const Bytes& m) {
  KeccakF1600Digest d;
  d.Update(m.data(), static_cast<std::uint32_t>(m.size()));
  Bytes out(32);
  EXPECT_TRUE(d.Final(out.data(), 0));
  return out;
}

Bytes Sha1(const Bytes& m) {
  SHA1Digest d;
  d.Update(m.data(), static_cast<std::uint32_t>(m.size()));
  Bytes out(20);
  EXPECT_TRUE(d.Final(out.data(), 0));
  return out;
}

Bytes Iota(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i);
  return b;
}

// --- HMAC --------------------------------------------------------------------

TEST(HMac, KnownAnswersIncludingRfc4231) {
  const auto lines = kat::ReadFile("hmac_kat.txt");
  ASSERT_GE(lines.size(), 15u);
  for (const auto& line : lines) {
    SCOPED_TRACE("hmac_kat.txt line " + std::to_string(line.number));
    ASSERT_GE(line.fields.size(), 4u);
    const Bytes key = kat::DecodeField(line.fields[1]);
    const Bytes message = kat::DecodeField(line.fields[2]);
    const std::uint32_t truncated = line.fields.size() > 4 ? std::stoul(line.fields[4]) : 0;
    const Bytes mac = line.fields[0] == "hmac-sha256" ? Mac<Sha2Digest>(key, message, truncated)
                                                      : Mac<KeccakF1600Digest>(key, message, truncated);
    EXPECT_EQ(kat::ToHex(mac), line.fields[3]);
  }
}

TEST(HMac, BlockSizedKeysAreUsedAsTheyAreLongerOnesHashed) {
  const Bytes message = kat::Text("message");
  // SHA-256: 64-byte pads.
  EXPECT_EQ(HMac<Sha2Digest>().BlockSize(), 64u);
  const Bytes key64 = Iota(64);
  const Bytes key65 = Iota(65);
  Sha2Digest sha;
  Bytes hashed65(32);
  sha.Update(key65.data(), 65);
  ASSERT_TRUE(sha.Final(hashed65.data(), 0));
  EXPECT_EQ(Mac<Sha2Digest>(key65, message), Mac<Sha2Digest>(hashed65, message));
  EXPECT_NE(Mac<Sha2Digest>(key64, message), Mac<Sha2Digest>(Bytes(32, 0), message));

  // Keccak-256: 136-byte pads, a 137-byte key is replaced by its Keccak-256 digest.
  EXPECT_EQ(HMac<KeccakF1600Digest>().BlockSize(), 136u);
  const Bytes key136 = Iota(136);
  const Bytes key137 = Iota(137);
  EXPECT_EQ(Mac<KeccakF1600Digest>(key137, message), Mac<KeccakF1600Digest>(Keccak256(key137), message));
  EXPECT_NE(Mac<KeccakF1600Digest>(key136, message), Mac<KeccakF1600Digest>(Keccak256(key136), message));
}

TEST(HMac, ConstructedWithAnEmptyKeyAndResetKeepsTheKey) {
  const Bytes message = kat::Text("message");
  HMac<Sha2Digest> fresh;
  fresh.Update(message.data(), 7);
  Bytes out(32);
  ASSERT_TRUE(fresh.Final(out.data(), 0));
  EXPECT_EQ(out, Mac<Sha2Digest>({}, message));

  HMac<Sha2Digest> mac;
  mac.SetKey("Jefe", 4);
  for (int round = 0; round < 2; ++round) {
    mac.Update(message.data(), 7);
    ASSERT_TRUE(mac.Final(out.data(), 0));
    EXPECT_EQ(out, Mac<Sha2Digest>(kat::Text("Jefe"), message));
    mac.Reset();
  }
  // A new key replaces the old one entirely.
  mac.SetKey("a much longer key than before", 29);
  mac.SetKey("Jefe", 4);
  mac.Update(message.data(), 7);
  ASSERT_TRUE(mac.Final(out.data(), 0));
  EXPECT_EQ(out, Mac<Sha2Digest>(kat::Text("Jefe"), message));
}

TEST(HMac, RefusesLongerOutputsAndOtherSizes) {
  HMac<Sha2Digest> mac;
  mac.SetKey("k", 1);
  mac.Update("m", 1);
  Bytes out(80, 0xAA);
  EXPECT_FALSE(mac.Final(out.data(), 33));
  EXPECT_EQ(out, Bytes(80, 0xAA));
  ASSERT_TRUE(mac.Final(out.data(), 0));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Mac<Sha2Digest>(kat::Text("k"), kat::Text("m")));

  // The pads were sized for SHA-256; a different variant would not match them.
  EXPECT_FALSE(mac.SetOutputSize(48));
  EXPECT_FALSE(mac.SetOutputSize(64));
  EXPECT_TRUE(mac.SetOutputSize(32));
  EXPECT_EQ(mac.BlockSize(), 64u);
}

// --- PBKDF2 --------------------------------------------------------------------

template <class K>
Bytes RunPbkdf2(std::uint32_t mode, std::uint32_t iterations, const Bytes& password, const Bytes& prefix,
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
    ASSERT_EQ(line.fields.size(), 7u);
    const std::uint32_t mode = std::stoul(line.fields[1]);
    const std::uint32_t iterations = std::stoul(line.fields[2]);
    const Bytes password = kat::DecodeField(line.fields[3]);
    const Bytes prefix = kat::DecodeField(line.fields[4]);
    const Bytes salt = kat::DecodeField(line.fields[5]);
    const std::size_t length = line.fields[6].size() / 2;
    const Bytes out = line.fields[0] == "sha256"
                          ? RunPbkdf2<ShaPbkdf2>(mode, iterations, password, prefix, salt, length)
                          : RunPbkdf2<KeccakPbkdf2>(mode, iterations, password, prefix, salt, length);
    EXPECT_EQ(kat::ToHex(out), line.fields[6]);
  }
}

TEST(PbKdf2, LaterBlocksChainWithoutIterationsOrPrefix) {
  const Bytes salt = Iota(32);
  const Bytes password = kat::Text("pw");
  const Bytes t1 = RunPbkdf2<ShaPbkdf2>(ShaPbkdf2::ChainedBlocks, 50, password, kat::Text("user"), salt, 32);
  const Bytes forty = RunPbkdf2<ShaPbkdf2>(ShaPbkdf2::ChainedBlocks, 50, password, kat::Text("user"), salt, 40);
  Bytes saltAndTwo = salt;
  saltAndTwo.insert(saltAndTwo.end(), {0, 0, 0, 2});
  const Bytes u2 = Mac<Sha2Digest>(password, saltAndTwo);
  EXPECT_TRUE(std::equal(t1.begin(), t1.end(), forty.begin()));
  for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(forty[32 + i], t1[i] ^ u2[i]) << i;
}

TEST(PbKdf2, SecondDeriveContinuesWithTheNextBlock) {
  const Bytes salt = Iota(32);
  const Bytes whole = RunPbkdf2<ShaPbkdf2>(1, 20, kat::Text("pw"), {}, salt, 64);
  ShaPbkdf2 kdf(20, salt.data(), 32, 1);
  kdf.AddInput("pw", 2);
  Bytes a(16), b(16);
  ASSERT_TRUE(kdf.Derive(a.data(), 16));
  ASSERT_TRUE(kdf.Derive(b.data(), 16));
  EXPECT_EQ(a, Bytes(whole.begin(), whole.begin() + 16));       // T1
  EXPECT_EQ(b, Bytes(whole.begin() + 32, whole.begin() + 48));  // T2, not T1 again
}

TEST(PbKdf2, ZeroIterationsCountAsOne) {
  const Bytes salt = Iota(32);
  EXPECT_EQ(RunPbkdf2<ShaPbkdf2>(1, 0, kat::Text("pw"), {}, salt, 64),
            RunPbkdf2<ShaPbkdf2>(1, 1, kat::Text("pw"), {}, salt, 64));
  EXPECT_EQ(RunPbkdf2<KeccakPbkdf2>(0, 0, kat::Text("pw"), {}, salt, 40),
            RunPbkdf2<KeccakPbkdf2>(0, 1, kat::Text("pw"), {}, salt, 40));
}

TEST(PbKdf2, ResetForgetsTheKeyAndStartsAtBlockOne) {
  const Bytes salt = Iota(32);
  ShaPbkdf2 kdf(5, salt.data(), 32, 1);
  Bytes first(32), second(32);
  kdf.AddInput("old", 3);
  kdf.AddInput("prefix", 6);
  ASSERT_TRUE(kdf.Derive(first.data(), 32));
  kdf.Reset();
  kdf.AddInput("new", 3);
  ASSERT_TRUE(kdf.Derive(second.data(), 32));
  EXPECT_EQ(second, RunPbkdf2<ShaPbkdf2>(1, 5, kat::Text("new"), {}, salt, 32));
  EXPECT_NE(first, second);
}

// --- the input adapter ---------------------------------------------------------

TEST(PasswordKdfAdapter, SecondInputIsTheKeyFirstTheMessagePrefix) {
  const Bytes salt = Iota(32);
  ShaAdapter kdf(7, salt.data(), 32, ShaPbkdf2::ChainedBlocks);
  kdf.AddInput("alice", 5);
  kdf.AddInput("secret", 6);
  Bytes out(40);
  ASSERT_TRUE(kdf.Derive(out.data(), 40));
  EXPECT_EQ(out, RunPbkdf2<ShaPbkdf2>(1, 7, kat::Text("secret"), kat::Text("alice"), salt, 40));
}

TEST(PasswordKdfAdapter, OneInputLeavesTheKeyEmptyAndIsNeverUsed) {
  const Bytes salt = Iota(32);
  ShaAdapter kdf(3, salt.data(), 32, 1);
  kdf.AddInput("alice", 5);
  Bytes out(32);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
  ShaPbkdf2 plain(3, salt.data(), 32, 1);  // no input at all: the empty key
  Bytes expected(32);
  ASSERT_TRUE(plain.Derive(expected.data(), 32));
  EXPECT_EQ(out, expected);
}

TEST(PasswordKdfAdapter, LaterInputsExtendThePrefixAndResetKeepsTheCount) {
  const Bytes salt = Iota(32);
  ShaAdapter kdf(3, salt.data(), 32, 1);
  kdf.AddInput("alice", 5);
  kdf.AddInput("secret", 6);
  kdf.AddInput("+more", 5);
  Bytes out(32);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
  EXPECT_EQ(out, RunPbkdf2<ShaPbkdf2>(1, 3, kat::Text("secret"), kat::Text("alice+more"), salt, 32));

  // After Reset inputs are no longer reordered: the first one is the key.
  kdf.Reset();
  kdf.AddInput("bob", 3);
  kdf.AddInput("pw", 2);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
  EXPECT_EQ(out, RunPbkdf2<ShaPbkdf2>(1, 3, kat::Text("bob"), kat::Text("pw"), salt, 32));
}

TEST(PasswordKdfAdapter, EmptyUserAndPassword) {
  const Bytes salt = Iota(32);
  PasswordKdfAdapter<KeccakPbkdf2> kdf(2, salt.data(), 32, 1);
  kdf.AddInput(nullptr, 0);
  kdf.AddInput(nullptr, 0);
  Bytes out(32);
  ASSERT_TRUE(kdf.Derive(out.data(), 32));
  EXPECT_EQ(out, RunPbkdf2<KeccakPbkdf2>(1, 2, {}, {}, salt, 32));
}

// --- SimpleKdf ------------------------------------------------------------------

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
  EXPECT_EQ(Simple(2, 20, {'u'}, {'p'}), Sha1({'u', 0xFF, 0xFE, 0xFF, 0xFF, 'p', 0xFF, 0xFE, 0xFF, 0xFF}));
  EXPECT_EQ(Simple(2, 20, kat::Text("abc"), {}),
            Sha1({'a', 'b', 'c', 0xFF, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  // Only the low 16 bits of the length are encoded.
  Bytes big(65537, 'x');
  Bytes expected = big;
  expected.insert(expected.end(), {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(Simple(2, 20, big, {}), Sha1(expected));
}

TEST(SimpleKdf, TwoLanesAreFolded) {
  // 24 bytes of SHA-1: two lanes. Each update is cut on its own: a 1-byte
  // input gives lane 0 nothing and lane 1 the byte; each trailer is split 2/2.
  const Bytes key = Simple(2, 24, {'u'}, {'p'});
  const Bytes lane0 = Sha1({0xFF, 0xFE, 0xFF, 0xFE});
  const Bytes lane1 = Sha1({'u', 0xFF, 0xFF, 'p', 0xFF, 0xFF});
  Bytes all = lane0;
  all.insert(all.end(), lane1.begin(), lane1.end());
  Bytes expected(all.begin(), all.begin() + 24);
  const std::size_t excess[6] = {0, 1, 2, 3, 0, 1};
  for (std::size_t g = 0; g < 6; ++g) {
    for (std::size_t b = 0; b < 4; ++b) expected[4 * g + b] ^= all[24 + 4 * excess[g] + b];
  }
  EXPECT_EQ(key, expected);
}

TEST(SimpleKdf, DeriveLengthsAndReuse) {
  SimpleKdf kdf(3, 32);
  Bytes out(64, 0xAA);
  kdf.AddInput("u", 1);
  EXPECT_FALSE(kdf.Derive(out.data(), 33));  // more than the key length
  EXPECT_EQ(out, Bytes(64, 0xAA));
  ASSERT_TRUE(kdf.Derive(out.data(), 16));   // a prefix of the key
  EXPECT_EQ(out[16], 0xAA);
  kdf.AddInput("u", 1);
  Bytes full(32);
  ASSERT_TRUE(kdf.Derive(full.data(), 0));   // the whole key; Derive started afresh
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16, full.begin()));
  kdf.AddInput("junk", 4);
  kdf.Reset();
  kdf.AddInput("u", 1);
  Bytes again(32);
  ASSERT_TRUE(kdf.Derive(again.data(), 32));
  EXPECT_EQ(again, full);
}

TEST(SimpleKdf, UnknownDigestOrImpossibleLengthIsInvalid) {
  for (auto [id, length] : {std::pair{1u, 20u}, {0u, 24u}, {5u, 32u}, {2u, 200u}, {3u, 257u}}) {
    SimpleKdf kdf(id, length);
    EXPECT_FALSE(kdf.IsValid()) << id << "/" << length;
    kdf.AddInput("u", 1);
    std::uint8_t out[300] = {};
    EXPECT_FALSE(kdf.Derive(out, length));
    EXPECT_FALSE(kdf.Derive(out, 0));
  }
  EXPECT_TRUE(SimpleKdf(2, 24).IsValid());
  EXPECT_TRUE(SimpleKdf(3, 256).IsValid());
}

// --- AddInputFrom, SecureBlob -------------------------------------------------------

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
  void Reset() override { inputs.clear(); }
  void AddInput(const void* data, std::uint32_t length) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    inputs.emplace_back(p, p + length);
  }
  bool Derive(std::uint8_t*, std::uint32_t) override { return false; }
  std::vector<Bytes> inputs;
};

TEST(KeyDerivationFunction, AddInputFromPassesTheSourceBytesOn) {
  FixedKeySource source(kat::Text("from the source"));
  RecordingKdf kdf;
  kdf.AddInputFrom(source);
  ASSERT_EQ(kdf.inputs.size(), 1u);
  EXPECT_EQ(kdf.inputs[0], kat::Text("from the source"));
  FixedKeySource empty({});
  kdf.AddInputFrom(empty);
  ASSERT_EQ(kdf.inputs.size(), 2u);
  EXPECT_TRUE(kdf.inputs[1].empty());
}

TEST(KeyDerivationFunction, PasswordFunctionsIgnoreKeySources) {
  FixedKeySource source(kat::Text("ignored"));
  SimpleKdf simple(2, 20);
  simple.AddInputFrom(source);
  Bytes out(20);
  ASSERT_TRUE(simple.Derive(out.data(), 0));
  EXPECT_EQ(out, Sha1({}));

  const Bytes salt = Iota(32);
  ShaAdapter adapter(2, salt.data(), 32, 1);
  adapter.AddInputFrom(source);
  adapter.AddInput("user", 4);
  adapter.AddInput("pw", 2);
  ASSERT_TRUE(adapter.Derive(out.data(), 20));
  EXPECT_EQ(out, RunPbkdf2<ShaPbkdf2>(1, 2, kat::Text("pw"), kat::Text("user"), salt, 20));
  EXPECT_EQ(source.copies, 0);
}

TEST(SecureBlob, CopiesTheBytesAndKeepsSpareRoomBehind) {
  const Bytes salt = Iota(32);
  SecureBlob blob(salt.data(), 32);
  EXPECT_EQ(blob.Size(), 32u);
  EXPECT_EQ(Bytes(blob.Data(), blob.Data() + 32), salt);
  EXPECT_EQ(blob.Spare(), blob.Data() + 32);
  for (std::uint32_t i = 0; i < SecureBlob::kSpareBytes; ++i) EXPECT_EQ(blob.Spare()[i], 0);
  SecureBlob empty(nullptr, 0);
  EXPECT_EQ(empty.Size(), 0u);
  empty.Spare()[3] = 1;  // the spare bytes exist even for an empty blob
}

}  // namespace
}  // namespace security
