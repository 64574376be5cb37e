// Known answers and edge cases of the digest fronts and the multi-lane Digest.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "security/digest.h"
#include "security/kat_file.h"
#include "security/keccak_f1600_digest.h"
#include "security/sha1_digest.h"
#include "security/sha2_digest.h"

namespace security {
namespace {

using kat::Bytes;

Bytes Hash(DigestImp& d, const Bytes& message, std::size_t chunk = 0) {
  d.Reset();
  if (chunk == 0) chunk = message.size() + 1;
  for (std::size_t i = 0; i < message.size(); i += chunk) {
    d.Update(message.data() + i, static_cast<std::uint32_t>(std::min(chunk, message.size() - i)));
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

Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return b;
}

const Bytes kAbc = kat::Text("abc");

TEST(DigestKnownAnswers, EveryFrontMatchesTheFileWholeAndInPieces) {
  const auto lines = kat::ReadFile("digest_kat.txt");
  ASSERT_GE(lines.size(), 40u);
  for (const auto& line : lines) {
    SCOPED_TRACE("digest_kat.txt line " + std::to_string(line.number));
    ASSERT_EQ(line.fields.size(), 3u);
    const std::string& algorithm = line.fields[0];
    const std::uint32_t bytes = algorithm == "sha1" ? 20 : std::stoul(algorithm.substr(algorithm.find_first_of("0123456789"))) / 8;
    std::unique_ptr<DigestImp> front;
    if (algorithm == "sha1") front = std::make_unique<SHA1Digest>();
    else if (algorithm.rfind("sha", 0) == 0) front = std::make_unique<Sha2Digest>(bytes);
    else front = std::make_unique<KeccakF1600Digest>(bytes);
    ASSERT_EQ(front->OutputSize(), bytes);
    const Bytes message = kat::DecodeField(line.fields[1]);
    // Odd call sizes exercise the buffer top-up and the whole-block paths.
    for (std::size_t chunk : {0, 1, 997}) EXPECT_EQ(kat::ToHex(Hash(*front, message, chunk)), line.fields[2]);
  }
}

TEST(DigestFronts, OutputSizesAndBlockSizes) {
  SHA1Digest sha1;
  EXPECT_EQ(sha1.BlockSize(), 64u);
  EXPECT_TRUE(sha1.SetOutputSize(20));
  for (std::uint32_t size : {0u, 19u, 21u, 32u}) EXPECT_FALSE(sha1.SetOutputSize(size)) << size;

  const std::uint32_t sizes[] = {28, 32, 48, 64}, sha2Blocks[] = {64, 64, 128, 128}, rates[] = {144, 136, 104, 72};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Sha2Digest(sizes[i]).BlockSize(), sha2Blocks[i]);
    EXPECT_EQ(KeccakF1600Digest(sizes[i]).BlockSize(), rates[i]);
  }
  EXPECT_EQ(Sha2Digest(0).OutputSize(), 32u);
  EXPECT_EQ(KeccakF1600Digest(0).OutputSize(), 32u);
}

TEST(DigestFronts, RefusedSizesKeepTheCurrentVariant) {
  Sha2Digest d(48);
  const Bytes sha384 = Hash(d, kAbc);
  EXPECT_EQ(kat::ToHex(sha384).substr(0, 16), "cb00753f45a35e8b");
  EXPECT_FALSE(d.SetOutputSize(40));  // within bounds, but no variant
  EXPECT_FALSE(d.SetOutputSize(70));
  EXPECT_FALSE(d.SetOutputSize(27));
  EXPECT_EQ(d.OutputSize(), 48u);
  EXPECT_EQ(Hash(d, kAbc), sha384);

  // Selecting a variant starts afresh.
  d.Update("junk", 4);
  ASSERT_TRUE(d.SetOutputSize(32));
  d.Update("abc", 3);
  Bytes out(32);
  ASSERT_TRUE(d.Final(out.data(), 0));
  EXPECT_EQ(out, Sha256(kAbc));

  // A size without a variant at construction leaves a working default.
  Sha2Digest odd(40);
  EXPECT_EQ(odd.OutputSize(), 32u);
  EXPECT_EQ(Hash(odd, kAbc), Sha256(kAbc));
  KeccakF1600Digest oddKeccak(40);
  EXPECT_EQ(kat::ToHex(Hash(oddKeccak, {})).substr(0, 8), "c5d24601");
}

// Final above the output size writes nothing and leaves the state usable.
TEST(DigestFronts, FinalRefusesLengthsAboveTheOutputSize) {
  std::unique_ptr<DigestImp> fronts[] = {std::make_unique<SHA1Digest>(), std::make_unique<Sha2Digest>(28),
                                         std::make_unique<Sha2Digest>(64), std::make_unique<KeccakF1600Digest>(64)};
  for (auto& front : fronts) {
    const Bytes expected = Hash(*front, kAbc);
    front->Reset();
    front->Update(kAbc.data(), 3);
    Bytes out(256, 0xAA);
    EXPECT_FALSE(front->Final(out.data(), front->OutputSize() + 1));
    EXPECT_FALSE(front->Final(out.data(), 200));
    EXPECT_EQ(out, Bytes(256, 0xAA));
    ASSERT_TRUE(front->Final(out.data(), 5));
    EXPECT_EQ(Slice(out, 0, 6), Concat(Slice(expected, 0, 5), {0xAA}));
  }
}

TEST(DigestFronts, CopyStateFromContinuesTheSourceMessage) {
  const Bytes m = Pattern(300);
  Sha2Digest source(64), copy(64), other(32), whole(64);
  source.Update(m.data(), 150);  // a partial block is carried over too
  ASSERT_TRUE(copy.CopyStateFrom(source));
  EXPECT_FALSE(other.CopyStateFrom(source));
  copy.Update(m.data() + 150, 150);
  Bytes out(64);
  ASSERT_TRUE(copy.Final(out.data(), 0));
  EXPECT_EQ(out, Hash(whole, m));

  KeccakF1600Digest kSource(32), kCopy(32), kOther(64), kWhole(32);
  kSource.Update(m.data(), 200);
  ASSERT_TRUE(kCopy.CopyStateFrom(kSource));
  EXPECT_FALSE(kOther.CopyStateFrom(kSource));
  kCopy.Update(m.data() + 200, 100);
  ASSERT_TRUE(kCopy.Final(out.data(), 32));
  EXPECT_EQ(Slice(out, 0, 32), Hash(kWhole, m));
}

TEST(CreateDigestImp, BuildsTheTableAndNothingElse) {
  const std::uint32_t ids[] = {2, 7, 3, 4}, sizes[] = {20, 32, 32, 64};
  for (int i = 0; i < 4; ++i) {
    auto d = CreateDigestImp(ids[i]);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->OutputSize(), sizes[i]);
    EXPECT_EQ(d->Identifier(), ids[i]);
  }
  EXPECT_NE(dynamic_cast<KeccakF1600Digest*>(CreateDigestImp(7).get()), nullptr);
  for (std::uint32_t id : {0u, 1u, 5u, 6u, 8u, 0xFFFFFFFFu}) EXPECT_EQ(CreateDigestImp(id), nullptr) << id;
}

// --- the multi-lane front ---------------------------------------------------

Bytes DigestOf(std::uint32_t id, std::uint32_t length, const Bytes& message) {
  Digest d(id);
  EXPECT_TRUE(length == 0 || d.SetOutputLength(length));
  d.Update(message.data(), static_cast<std::uint32_t>(message.size()));
  Bytes out(d.OutputLength());
  EXPECT_TRUE(d.Final(out.data(), 0));
  return out;
}

// The first `requested` bytes of `lanes` with 4-byte group g XORed with excess
// group order[g] (the excess area starts at `requested`).
Bytes Folded(const Bytes& lanes, std::size_t requested, std::initializer_list<std::size_t> order) {
  Bytes out = Slice(lanes, 0, requested);
  std::size_t g = 0;
  for (std::size_t e : order) {
    for (std::size_t b = 0; b < 4; ++b) out[4 * g + b] ^= lanes[requested + 4 * e + b];
    ++g;
  }
  return out;
}

TEST(Digest, SingleLaneIdsGiveTheirAlgorithms) {
  EXPECT_EQ(DigestOf(2, 0, kAbc), Sha1(kAbc));
  EXPECT_EQ(DigestOf(3, 0, kAbc), Sha256(kAbc));
  EXPECT_EQ(kat::ToHex(DigestOf(4, 0, kAbc)).substr(0, 16), "ddaf35a193617aba");
  EXPECT_EQ(kat::ToHex(DigestOf(7, 0, {})).substr(0, 16), "c5d2460186f7233c");
  EXPECT_EQ(kat::ToHex(DigestOf(3, 48, kAbc)).substr(0, 16), "cb00753f45a35e8b");  // lane 0 becomes SHA-384
  Digest d(3);  // Final at 8 without SetOutputLength: a prefix
  d.Update(kAbc.data(), 3);
  Bytes out(8);
  ASSERT_TRUE(d.Final(out.data(), 8));
  EXPECT_EQ(out, Slice(Sha256(kAbc), 0, 8));
}

TEST(Digest, UpdateCutsEachCallAcrossTheLanes) {
  const Bytes ten = Pattern(10), seven = Pattern(7);
  Digest d(2);
  ASSERT_TRUE(d.SetOutputLength(24));
  EXPECT_EQ(d.LaneCount(), 2u);
  d.Update(ten.data(), 10);   // 5 and 5
  d.Update(seven.data(), 7);  // 3 and 4
  Bytes out(24);
  ASSERT_TRUE(d.Final(out.data(), 0));
  const Bytes lanes = Concat(Sha1(Concat(Slice(ten, 0, 5), Slice(seven, 0, 3))),
                             Sha1(Concat(Slice(ten, 5, 10), Slice(seven, 3, 7))));
  EXPECT_EQ(out, Folded(lanes, 24, {0, 1, 2, 3, 0, 1}));
}

TEST(Digest, FoldingFollowsTheWorkedCases) {
  const Bytes m = Pattern(100);  // two lanes take 50 bytes each
  const Bytes sha1Lanes = Concat(Sha1(Slice(m, 0, 50)), Sha1(Slice(m, 50, 100)));
  const Bytes sha256Lanes = Concat(Sha256(Slice(m, 0, 50)), Sha256(Slice(m, 50, 100)));
  EXPECT_EQ(DigestOf(2, 16, m), Folded(Sha1(m), 16, {0, 0, 0, 0}));
  EXPECT_EQ(DigestOf(2, 32, m), Folded(sha1Lanes, 32, {0, 1, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(DigestOf(3, 16, m), Slice(Sha256(m), 0, 16));  // E = R: no fold
  EXPECT_EQ(DigestOf(3, 24, m), Folded(Sha256(m), 24, {0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(DigestOf(3, 40, m), Folded(sha256Lanes, 40, {0, 1, 2, 3, 4, 5, 0, 1, 2, 3}));
}

// Lanes that cover the request exactly, or with under 4 excess bytes, have no
// excess group to fold with: the output is the lanes' bytes as they are.
TEST(Digest, NoWholeExcessGroupMeansNoFold) {
  const Bytes m = Pattern(64);
  EXPECT_EQ(DigestOf(2, 18, m), Slice(Sha1(m), 0, 18));  // E = 2
  EXPECT_EQ(DigestOf(2, 3, m), Slice(Sha1(m), 0, 3));    // R below 4
  const Bytes halves = Concat(Sha1(Slice(m, 0, 32)), Sha1(Slice(m, 32, 64)));
  EXPECT_EQ(DigestOf(2, 40, m), halves);                  // E = 0
  EXPECT_EQ(DigestOf(2, 39, m), Slice(halves, 0, 39));    // E = 1
  Bytes eight;  // eight SHA-256 lanes, E = 0
  for (std::size_t i = 0; i < 8; ++i) eight = Concat(eight, Sha256(Slice(m, 8 * i, 8 * i + 8)));
  EXPECT_EQ(DigestOf(3, 256, m), eight);
}

TEST(Digest, MoreThanEightLanesIsRefused) {
  Digest d(3);
  EXPECT_FALSE(d.SetOutputLength(257));
  EXPECT_EQ(d.LaneCount(), 1u);
  EXPECT_EQ(d.OutputLength(), 0u);
  d.Update("abc", 3);
  Bytes out(300, 0xAA);
  EXPECT_FALSE(d.Final(out.data(), 0));
  EXPECT_FALSE(d.Final(out.data(), 16));
  EXPECT_EQ(out, Bytes(300, 0xAA));
  ASSERT_TRUE(d.SetOutputLength(32));  // a request that fits makes it usable again
  d.Reset();
  d.Update("abc", 3);
  ASSERT_TRUE(d.Final(out.data(), 0));
  EXPECT_EQ(Slice(out, 0, 32), Sha256(kAbc));
}

TEST(Digest, SecondSetOutputLengthReleasesLanes) {
  for (std::uint32_t second : {20u, 0u}) {
    Digest d(2);
    ASSERT_TRUE(d.SetOutputLength(24));
    ASSERT_TRUE(d.SetOutputLength(second));
    EXPECT_EQ(d.LaneCount(), 1u);
    d.Update(kAbc.data(), 3);
    Bytes out(20);
    ASSERT_TRUE(d.Final(out.data(), 0));
    EXPECT_EQ(out, Sha1(kAbc));
  }
  Digest d(2);
  const std::pair<std::uint32_t, std::uint32_t> steps[] = {{60, 3}, {24, 2}, {80, 4}};
  for (auto [length, lanes] : steps) {
    ASSERT_TRUE(d.SetOutputLength(length));
    EXPECT_EQ(d.LaneCount(), lanes);
  }
}

TEST(Digest, FinalLengthAboveTheOutputIsRefused) {
  Digest one(3);
  one.Update(kAbc.data(), 3);
  Bytes out(64, 0xAA);
  EXPECT_FALSE(one.Final(out.data(), 33));
  EXPECT_EQ(out, Bytes(64, 0xAA));
  ASSERT_TRUE(one.Final(out.data(), 0));  // the absorbed data survived
  EXPECT_EQ(Slice(out, 0, 32), Sha256(kAbc));

  Digest lanes(2);
  ASSERT_TRUE(lanes.SetOutputLength(24));
  lanes.Update(kAbc.data(), 3);
  out.assign(64, 0xAA);
  EXPECT_FALSE(lanes.Final(out.data(), 25));
  EXPECT_FALSE(lanes.Final(out.data(), 40));  // the unfolded lane bytes stay private
  EXPECT_EQ(out, Bytes(64, 0xAA));
  ASSERT_TRUE(lanes.Final(out.data(), 16));
  EXPECT_EQ(Slice(out, 0, 17), Concat(Slice(DigestOf(2, 24, kAbc), 0, 16), {0xAA}));
}

TEST(Digest, FinalLeavesItReadyForTheSameInputAgain) {
  const Bytes m = Pattern(300);
  for (std::uint32_t length : {0u, 24u, 40u}) {
    Digest d(3);
    EXPECT_TRUE(length == 0 || d.SetOutputLength(length));
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
