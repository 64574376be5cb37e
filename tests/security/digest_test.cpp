// Known answers and edge cases of the digest fronts and the multi-lane Digest.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "security/digest.h"
#include "security/digest_imp.h"
#include "security/keccak_f1600_digest.h"
#include "security/sha1_digest.h"
#include "security/sha2_digest.h"
#include "security/kat_file.h"

namespace security {
namespace {

using kat::Bytes;

std::unique_ptr<DigestImp> MakeFront(const std::string& algorithm) {
  if (algorithm == "sha1") return std::make_unique<SHA1Digest>();
  const std::uint32_t bits = static_cast<std::uint32_t>(std::stoul(algorithm.substr(algorithm.find_first_of("0123456789"))));
  if (algorithm.rfind("sha", 0) == 0) return std::make_unique<Sha2Digest>(bits / 8);
  if (algorithm.rfind("keccak", 0) == 0) return std::make_unique<KeccakF1600Digest>(bits / 8);
  return nullptr;
}

Bytes Hash(DigestImp& d, const Bytes& message, std::uint32_t chunk = 0) {
  d.Reset();
  if (chunk == 0) {
    d.Update(message.data(), static_cast<std::uint32_t>(message.size()));
  } else {
    for (std::size_t i = 0; i < message.size(); i += chunk) {
      d.Update(message.data() + i, static_cast<std::uint32_t>(std::min<std::size_t>(chunk, message.size() - i)));
    }
  }
  Bytes out(d.OutputSize());
  EXPECT_TRUE(d.Final(out.data(), 0));
  return out;
}

Bytes Sha1(const Bytes& m) {
  SHA1Digest d;
  return Hash(d, m);
}

Bytes Sha256(const Bytes& m) {
  Sha2Digest d(32);
  return Hash(d, m);
}

Bytes Bytes0To(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return b;
}

TEST(DigestKnownAnswers, EveryFrontMatchesTheFileWholeAndInPieces) {
  const auto lines = kat::ReadFile("digest_kat.txt");
  ASSERT_GE(lines.size(), 40u);
  for (const auto& line : lines) {
    SCOPED_TRACE("digest_kat.txt line " + std::to_string(line.number));
    ASSERT_EQ(line.fields.size(), 3u);
    auto front = MakeFront(line.fields[0]);
    ASSERT_NE(front, nullptr);
    const Bytes message = kat::DecodeField(line.fields[1]);
    const std::string expected = line.fields[2];
    ASSERT_EQ(expected.size(), 2u * front->OutputSize());
    EXPECT_EQ(kat::ToHex(Hash(*front, message)), expected);
    // Odd call sizes exercise the buffer top-up and the whole-block path.
    EXPECT_EQ(kat::ToHex(Hash(*front, message, 1)), expected);
    EXPECT_EQ(kat::ToHex(Hash(*front, message, 997)), expected);
  }
}

TEST(DigestFronts, Keccak256IsTheSubmissionPaddingNotSha3) {
  KeccakF1600Digest d;
  EXPECT_EQ(d.OutputSize(), 32u);
  EXPECT_EQ(kat::ToHex(Hash(d, {})), "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");
}

TEST(DigestFronts, OutputSizesAndBlockSizes) {
  SHA1Digest sha1;
  EXPECT_EQ(sha1.BlockSize(), 64u);
  EXPECT_TRUE(sha1.SetOutputSize(20));
  for (std::uint32_t size : {0u, 19u, 21u, 28u, 32u}) EXPECT_FALSE(sha1.SetOutputSize(size)) << size;
  EXPECT_EQ(sha1.OutputSize(), 20u);

  const std::pair<std::uint32_t, std::uint32_t> sha2Blocks[] = {{28, 64}, {32, 64}, {48, 128}, {64, 128}};
  for (auto [size, block] : sha2Blocks) {
    Sha2Digest d(size);
    EXPECT_EQ(d.OutputSize(), size);
    EXPECT_EQ(d.BlockSize(), block);
  }
  const std::pair<std::uint32_t, std::uint32_t> keccakRates[] = {{28, 144}, {32, 136}, {48, 104}, {64, 72}};
  for (auto [size, rate] : keccakRates) {
    KeccakF1600Digest d(size);
    EXPECT_EQ(d.OutputSize(), size);
    EXPECT_EQ(d.BlockSize(), rate);
  }
  EXPECT_EQ(Sha2Digest(0).OutputSize(), 32u);
  EXPECT_EQ(KeccakF1600Digest(0).OutputSize(), 32u);
}

TEST(DigestFronts, RefusedSizesKeepTheCurrentVariant) {
  const Bytes abc = kat::Text("abc");
  Sha2Digest d(48);
  const Bytes sha384 = Hash(d, abc);
  EXPECT_EQ(kat::ToHex(sha384).substr(0, 16), "cb00753f45a35e8b");
  EXPECT_FALSE(d.SetOutputSize(40));  // within bounds, but no variant
  EXPECT_FALSE(d.SetOutputSize(70));  // above the maximum
  EXPECT_FALSE(d.SetOutputSize(27));  // below the minimum
  EXPECT_EQ(d.OutputSize(), 48u);
  EXPECT_EQ(Hash(d, abc), sha384);

  // A size without a variant at construction leaves a working SHA-256 or Keccak-256.
  Sha2Digest odd(40);
  EXPECT_EQ(odd.OutputSize(), 32u);
  EXPECT_EQ(Hash(odd, abc), Sha256(abc));
  KeccakF1600Digest oddKeccak(40);
  EXPECT_EQ(oddKeccak.OutputSize(), 32u);
  EXPECT_EQ(kat::ToHex(Hash(oddKeccak, {})).substr(0, 8), "c5d24601");
}

TEST(DigestFronts, SelectingAVariantDropsAbsorbedData) {
  Sha2Digest d(32);
  d.Update("junk", 4);
  ASSERT_TRUE(d.SetOutputSize(32));
  d.Update("abc", 3);
  Bytes out(32);
  ASSERT_TRUE(d.Final(out.data(), 0));
  EXPECT_EQ(out, Sha256(kat::Text("abc")));
}

// Final above the output size writes nothing and leaves the state usable.
TEST(DigestFronts, FinalRefusesLengthsAboveTheOutputSize) {
  const Bytes abc = kat::Text("abc");
  std::unique_ptr<DigestImp> fronts[] = {std::make_unique<SHA1Digest>(), std::make_unique<Sha2Digest>(28),
                                         std::make_unique<Sha2Digest>(64), std::make_unique<KeccakF1600Digest>(32),
                                         std::make_unique<KeccakF1600Digest>(64)};
  for (auto& front : fronts) {
    const Bytes expected = Hash(*front, abc);
    front->Reset();
    front->Update(abc.data(), 3);
    Bytes out(256, 0xAA);
    EXPECT_FALSE(front->Final(out.data(), front->OutputSize() + 1));
    EXPECT_FALSE(front->Final(out.data(), 200));
    EXPECT_EQ(out, Bytes(256, 0xAA));
    ASSERT_TRUE(front->Final(out.data(), 5));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 5, expected.begin()));
    EXPECT_EQ(out[5], 0xAA);
    // Reset makes the front reusable.
    EXPECT_EQ(Hash(*front, abc), expected);
  }
}

// A copied state carries on exactly where the source was, partial block included.
TEST(DigestFronts, CopyStateFromContinuesTheSourceMessage) {
  const Bytes m = Bytes0To(300);
  Sha2Digest source(64), copy(64), other(32);
  source.Update(m.data(), 150);
  ASSERT_TRUE(copy.CopyStateFrom(source));
  EXPECT_FALSE(other.CopyStateFrom(source));  // a different variant
  copy.Update(m.data() + 150, 150);
  Bytes out(64);
  ASSERT_TRUE(copy.Final(out.data(), 0));
  Sha2Digest whole(64);
  EXPECT_EQ(out, Hash(whole, m));

  KeccakF1600Digest kSource(32), kCopy(32), kOther(64);
  kSource.Update(m.data(), 200);
  ASSERT_TRUE(kCopy.CopyStateFrom(kSource));
  EXPECT_FALSE(kOther.CopyStateFrom(kSource));
  kCopy.Update(m.data() + 200, 100);
  ASSERT_TRUE(kCopy.Final(out.data(), 32));
  KeccakF1600Digest kWhole(32);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Hash(kWhole, m));
}

TEST(CreateDigestImp, BuildsTheTableAndNothingElse) {
  const std::pair<std::uint32_t, std::uint32_t> known[] = {{2, 20}, {7, 32}, {3, 32}, {4, 64}};
  for (auto [id, size] : known) {
    auto d = CreateDigestImp(id);
    ASSERT_NE(d, nullptr) << id;
    EXPECT_EQ(d->OutputSize(), size);
    EXPECT_EQ(d->Identifier(), id);
  }
  EXPECT_NE(dynamic_cast<SHA1Digest*>(CreateDigestImp(2).get()), nullptr);
  EXPECT_NE(dynamic_cast<KeccakF1600Digest*>(CreateDigestImp(7).get()), nullptr);
  EXPECT_NE(dynamic_cast<Sha2Digest*>(CreateDigestImp(4).get()), nullptr);
  for (std::uint32_t id : {0u, 1u, 5u, 6u, 8u, 255u, 0xFFFFFFFFu}) EXPECT_EQ(CreateDigestImp(id), nullptr) << id;
  EXPECT_EQ(SHA1Digest().Identifier(), 0u);
}

// --- the multi-lane front ---------------------------------------------------

Bytes DigestOf(std::uint32_t id, std::uint32_t length, const Bytes& message, std::uint32_t finalLength = 0) {
  Digest d(id);
  if (length != 0) {
    EXPECT_TRUE(d.SetOutputLength(length));
  }
  d.Update(message.data(), static_cast<std::uint32_t>(message.size()));
  Bytes out(finalLength ? finalLength : d.OutputLength());
  EXPECT_TRUE(d.Final(out.data(), finalLength));
  return out;
}

Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

// XORs 4-byte group `group` of `out` with the excess group `excess` of `all` (excess area at `requested`).
void FoldGroup(Bytes& out, const Bytes& all, std::size_t requested, std::size_t group, std::size_t excess) {
  for (std::size_t b = 0; b < 4; ++b) out[4 * group + b] ^= all[requested + 4 * excess + b];
}

TEST(Digest, SingleLaneIdsGiveTheirAlgorithms) {
  const Bytes abc = kat::Text("abc");
  EXPECT_EQ(DigestOf(2, 0, abc), Sha1(abc));
  EXPECT_EQ(DigestOf(3, 0, abc), Sha256(abc));
  EXPECT_EQ(kat::ToHex(DigestOf(4, 0, abc)).substr(0, 16), "ddaf35a193617aba");
  EXPECT_EQ(kat::ToHex(DigestOf(7, 0, {})), "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");
  // A length lane 0 produces itself switches its variant: 48 on SHA-2 is SHA-384.
  EXPECT_EQ(kat::ToHex(DigestOf(3, 48, abc)).substr(0, 16), "cb00753f45a35e8b");
  // Final with a shorter length gives a prefix.
  const Bytes full = Sha256(abc);
  EXPECT_EQ(DigestOf(3, 0, abc, 8), Bytes(full.begin(), full.begin() + 8));
}

TEST(Digest, UpdateCutsEachCallAcrossTheLanes) {
  const Bytes ten = Bytes0To(10);
  const Bytes seven = Bytes0To(7);
  Digest d(2);
  ASSERT_TRUE(d.SetOutputLength(24));
  EXPECT_EQ(d.LaneCount(), 2u);
  d.Update(ten.data(), 10);   // 5 and 5
  d.Update(seven.data(), 7);  // 3 and 4
  Bytes out(24);
  ASSERT_TRUE(d.Final(out.data(), 0));

  const Bytes lane0 = Sha1(Concat(Bytes(ten.begin(), ten.begin() + 5), Bytes(seven.begin(), seven.begin() + 3)));
  const Bytes lane1 = Sha1(Concat(Bytes(ten.begin() + 5, ten.end()), Bytes(seven.begin() + 3, seven.end())));
  const Bytes all = Concat(lane0, lane1);  // 40 bytes, excess 16: e0..e3
  Bytes expected(all.begin(), all.begin() + 24);
  const std::size_t order[6] = {0, 1, 2, 3, 0, 1};
  for (std::size_t g = 0; g < 6; ++g) FoldGroup(expected, all, 24, g, order[g]);
  EXPECT_EQ(out, expected);
}

TEST(Digest, FoldingFollowsTheWorkedCases) {
  const Bytes m = Bytes0To(100);  // divisible by 2 lanes: 50 each
  const Bytes h1 = Sha1(m);
  const Bytes halves1 = Concat(Sha1(Bytes(m.begin(), m.begin() + 50)), Sha1(Bytes(m.begin() + 50, m.end())));
  const Bytes halves256 = Concat(Sha256(Bytes(m.begin(), m.begin() + 50)), Sha256(Bytes(m.begin() + 50, m.end())));

  {  // SHA-1, R = 16: one lane, every group with the single excess group.
    Bytes expected(h1.begin(), h1.begin() + 16);
    for (std::size_t g = 0; g < 4; ++g) FoldGroup(expected, h1, 16, g, 0);
    EXPECT_EQ(DigestOf(2, 16, m), expected);
  }
  {  // SHA-1, R = 32: two lanes, e0, e1 alternately.
    Bytes expected(halves1.begin(), halves1.begin() + 32);
    for (std::size_t g = 0; g < 8; ++g) FoldGroup(expected, halves1, 32, g, g % 2);
    EXPECT_EQ(DigestOf(2, 32, m), expected);
  }
  {  // SHA-256, R = 16: E = 16 is not below R, so the first 16 bytes.
    const Bytes h = Sha256(m);
    EXPECT_EQ(DigestOf(3, 16, m), Bytes(h.begin(), h.begin() + 16));
  }
  {  // SHA-256, R = 24: one lane, e0, e1 alternately over six groups.
    const Bytes h = Sha256(m);
    Bytes expected(h.begin(), h.begin() + 24);
    for (std::size_t g = 0; g < 6; ++g) FoldGroup(expected, h, 24, g, g % 2);
    EXPECT_EQ(DigestOf(3, 24, m), expected);
  }
  {  // SHA-256, R = 40: two lanes, ten groups with e0..e5 cyclically.
    Bytes expected(halves256.begin(), halves256.begin() + 40);
    for (std::size_t g = 0; g < 10; ++g) FoldGroup(expected, halves256, 40, g, g % 6);
    EXPECT_EQ(DigestOf(3, 40, m), expected);
  }
}

// Requests the lanes cover exactly, or with fewer than 4 excess bytes, have
// no excess group to fold with: the output is the lanes' bytes as they are.
TEST(Digest, NoWholeExcessGroupMeansNoFold) {
  const Bytes m = Bytes0To(64);
  const Bytes h1 = Sha1(m);
  EXPECT_EQ(DigestOf(2, 18, m), Bytes(h1.begin(), h1.begin() + 18));  // E = 2
  EXPECT_EQ(DigestOf(2, 3, m), Bytes(h1.begin(), h1.begin() + 3));    // R below 4

  const Bytes halves = Concat(Sha1(Bytes(m.begin(), m.begin() + 32)), Sha1(Bytes(m.begin() + 32, m.end())));
  EXPECT_EQ(DigestOf(2, 40, m), halves);                                 // E = 0
  EXPECT_EQ(DigestOf(2, 39, m), Bytes(halves.begin(), halves.end() - 1));  // E = 1

  // Eight SHA-256 lanes of 8 bytes each, E = 0.
  Digest d(3);
  ASSERT_TRUE(d.SetOutputLength(256));
  EXPECT_EQ(d.LaneCount(), 8u);
  d.Update(m.data(), 64);
  Bytes out(256);
  ASSERT_TRUE(d.Final(out.data(), 0));
  Bytes expected;
  for (std::size_t i = 0; i < 8; ++i) expected = Concat(expected, Sha256(Bytes(m.begin() + 8 * i, m.begin() + 8 * i + 8)));
  EXPECT_EQ(out, expected);
}

TEST(Digest, MoreThanEightLanesIsRefused) {
  Digest d(3);
  EXPECT_FALSE(d.SetOutputLength(257));
  EXPECT_TRUE(d.IsValid());
  EXPECT_EQ(d.LaneCount(), 1u);
  EXPECT_EQ(d.OutputLength(), 0u);
  d.Update("abc", 3);
  Bytes out(300, 0xAA);
  EXPECT_FALSE(d.Final(out.data(), 0));
  EXPECT_FALSE(d.Final(out.data(), 16));
  EXPECT_EQ(out, Bytes(300, 0xAA));
  // A later request that fits makes it usable again.
  ASSERT_TRUE(d.SetOutputLength(32));
  d.Reset();
  d.Update("abc", 3);
  ASSERT_TRUE(d.Final(out.data(), 0));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Sha256(kat::Text("abc")));
}

TEST(Digest, SecondSetOutputLengthReleasesLanes) {
  const Bytes abc = kat::Text("abc");
  for (std::uint32_t second : {20u, 0u}) {
    Digest d(2);
    ASSERT_TRUE(d.SetOutputLength(24));
    ASSERT_EQ(d.LaneCount(), 2u);
    ASSERT_TRUE(d.SetOutputLength(second));
    EXPECT_EQ(d.LaneCount(), 1u);
    d.Update(abc.data(), 3);
    Bytes out(20);
    ASSERT_TRUE(d.Final(out.data(), 0));
    EXPECT_EQ(out, Sha1(abc));
  }
  Digest d(2);
  ASSERT_TRUE(d.SetOutputLength(60));
  EXPECT_EQ(d.LaneCount(), 3u);
  ASSERT_TRUE(d.SetOutputLength(24));
  EXPECT_EQ(d.LaneCount(), 2u);
  ASSERT_TRUE(d.SetOutputLength(80));
  EXPECT_EQ(d.LaneCount(), 4u);
}

TEST(Digest, FinalLengthAboveTheOutputIsRefused) {
  const Bytes abc = kat::Text("abc");
  Digest one(3);
  one.Update(abc.data(), 3);
  Bytes out(64, 0xAA);
  EXPECT_FALSE(one.Final(out.data(), 33));
  EXPECT_EQ(out, Bytes(64, 0xAA));
  ASSERT_TRUE(one.Final(out.data(), 0));  // the absorbed data survived
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), Sha256(abc));

  const Bytes folded = DigestOf(2, 24, abc);
  Digest lanes(2);
  ASSERT_TRUE(lanes.SetOutputLength(24));
  lanes.Update(abc.data(), 3);
  std::fill(out.begin(), out.end(), 0xAA);
  EXPECT_FALSE(lanes.Final(out.data(), 25));
  EXPECT_FALSE(lanes.Final(out.data(), 40));  // the lane bytes before folding stay private
  EXPECT_EQ(out, Bytes(64, 0xAA));
  ASSERT_TRUE(lanes.Final(out.data(), 16));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), Bytes(folded.begin(), folded.begin() + 16));
  EXPECT_EQ(out[16], 0xAA);
}

TEST(Digest, FinalLeavesItReadyForTheSameInputAgain) {
  const Bytes m = Bytes0To(300);
  for (std::uint32_t length : {0u, 24u, 40u}) {
    Digest d(3);
    if (length) {
      ASSERT_TRUE(d.SetOutputLength(length));
    }
    Bytes first(d.OutputLength()), second(d.OutputLength());
    d.Update(m.data(), 300);
    ASSERT_TRUE(d.Final(first.data(), 0));
    d.Update(m.data(), 300);
    ASSERT_TRUE(d.Final(second.data(), 0));
    EXPECT_EQ(first, second) << length;
  }
}

TEST(Digest, UnknownIdentifierIsInvalidAndRefusesEverything) {
  for (std::uint32_t id : {0u, 1u, 5u, 6u, 8u}) {
    Digest d(id);
    EXPECT_FALSE(d.IsValid());
    EXPECT_EQ(d.OutputLength(), 0u);
    EXPECT_FALSE(d.SetOutputLength(24));
    d.Update("abc", 3);
    d.Reset();
    std::uint8_t out[64] = {};
    EXPECT_FALSE(d.Final(out, 0));
    EXPECT_FALSE(d.Final(out, 20));
  }
  EXPECT_TRUE(Digest(2).IsValid());
}

}  // namespace
}  // namespace security
