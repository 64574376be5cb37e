// Known answers and edge cases of the digest fronts and the multi-lane Digest.

#include <memory>

#include "security/digest.h"
#include "security/kat_file.h"
#include "security/keccak_f1600_digest.h"
#include "security/sha1_digest.h"
#include "security/sha2_digest.h"

namespace security {
namespace {

using kat::Bytes;
using kat::Concat;
using kat::Hash;
using kat::Slice;

Bytes Sha1(const Bytes& m) { return Hash(SHA1Digest(), m); }
Bytes Sha256(const Bytes& m) { return Hash(Sha2Digest(32), m); }

const Bytes kAbc = kat::Text("abc");
const Bytes kPattern = kat::Sequence(300, 3);

TEST(DigestKnownAnswers, EveryFrontMatchesTheFileWholeAndInPieces) {
  const auto lines = kat::ReadFile("digest_kat.txt");
  ASSERT_GE(lines.size(), 48u);
  for (const auto& line : lines) {
    SCOPED_TRACE("digest_kat.txt line " + std::to_string(line.number));
    const auto& f = line.fields;
    ASSERT_TRUE(f.size() == 3 || (f.size() == 4 && f[3].rfind("standard=", 0) == 0));
    const std::uint32_t bytes = f[0] == "sha1" ? 20 : static_cast<std::uint32_t>(std::stoul(f[0].substr(f[0].find_first_of("0123456789"))) / 8);
    std::unique_ptr<DigestImp> front;
    if (f[0] == "sha1") front = std::make_unique<SHA1Digest>();
    else if (f[0].rfind("sha", 0) == 0) front = std::make_unique<Sha2Digest>(bytes);
    else front = std::make_unique<KeccakF1600Digest>(bytes);
    ASSERT_EQ(front->OutputSize(), bytes);
    const Bytes message = kat::DecodeField(f[1]);
    // Odd call sizes exercise the buffer top-up and the whole-block paths.
    for (std::size_t chunk : {0u, 1u, 997u}) {
      const std::string hex = kat::ToHex(Hash(*front, message, chunk));
      EXPECT_EQ(hex, f[2]);
      EXPECT_TRUE(f.size() == 3 || hex != f[3].substr(9));  // not the standard's value
    }
    // Final above the output size writes nothing and leaves the state usable.
    front->Reset();
    front->Update(message.data(), static_cast<std::uint32_t>(message.size()));
    Bytes out(256, 0xAA);
    EXPECT_FALSE(front->Final(out.data(), bytes + 1) || front->Final(out.data(), 200));
    ASSERT_TRUE(front->Final(out.data(), 5));
    EXPECT_EQ(kat::ToHex(out), f[2].substr(0, 10) + std::string(2 * 251, 'a'));
  }
}

TEST(DigestFronts, OutputSizesSelectVariantsOrAreRefused) {
  SHA1Digest sha1;
  EXPECT_TRUE(sha1.SetOutputSize(20));
  for (std::uint32_t size : {0u, 19u, 21u, 32u}) EXPECT_FALSE(sha1.SetOutputSize(size)) << size;
  EXPECT_EQ(sha1.OutputSize(), 20u);

  Sha2Digest d(48);  // SHA-384: see the known answers
  const Bytes sha384 = Hash(d, kAbc);
  for (std::uint32_t size : {40u, 70u, 27u}) EXPECT_FALSE(d.SetOutputSize(size)) << size;  // 40: no variant
  EXPECT_EQ(d.OutputSize(), 48u);
  EXPECT_EQ(Hash(d, kAbc), sha384);
  d.Update("junk", 4);  // selecting a variant starts afresh
  ASSERT_TRUE(d.SetOutputSize(32));
  d.Update("abc", 3);
  Bytes out(32);
  ASSERT_TRUE(d.Final(out.data(), 0));
  EXPECT_EQ(out, Sha256(kAbc));
  Sha2Digest odd(40);  // a size without a variant at construction: the default
  EXPECT_EQ(Hash(odd, kAbc), Sha256(kAbc));
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
  for (std::size_t i = 0; i < 4 * order.size(); ++i) out[i] ^= lanes[requested + 4 * order.begin()[i / 4] + i % 4];
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
  const Bytes ten = Slice(kPattern, 0, 10), seven = Slice(kPattern, 0, 7);
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

// Lanes that cover the request exactly, or with under 4 excess bytes (E), have
// no excess group to fold with: the output is the lanes' bytes as they are.
TEST(Digest, FoldingFollowsTheWorkedCases) {
  const Bytes m = Slice(kPattern, 0, 100);  // two lanes take 50 bytes each
  const Bytes sha1Lanes = Concat(Sha1(Slice(m, 0, 50)), Sha1(Slice(m, 50, 100)));
  const Bytes sha256Lanes = Concat(Sha256(Slice(m, 0, 50)), Sha256(Slice(m, 50, 100)));
  EXPECT_EQ(DigestOf(2, 16, m), Folded(Sha1(m), 16, {0, 0, 0, 0}));
  EXPECT_EQ(DigestOf(2, 32, m), Folded(sha1Lanes, 32, {0, 1, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(DigestOf(3, 16, m), Slice(Sha256(m), 0, 16));  // E = R: no fold
  EXPECT_EQ(DigestOf(3, 24, m), Folded(Sha256(m), 24, {0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(DigestOf(3, 40, m), Folded(sha256Lanes, 40, {0, 1, 2, 3, 4, 5, 0, 1, 2, 3}));
  EXPECT_EQ(DigestOf(2, 18, m), Slice(Sha1(m), 0, 18));  // E = 2
  EXPECT_EQ(DigestOf(2, 3, m), Slice(Sha1(m), 0, 3));    // R below 4
  EXPECT_EQ(DigestOf(2, 40, m), sha1Lanes);               // E = 0
  EXPECT_EQ(DigestOf(2, 39, m), Slice(sha1Lanes, 0, 39));  // E = 1
  Bytes eight;  // eight SHA-256 lanes, E = 0
  for (std::size_t i = 0; i < 8; ++i) eight = Concat(eight, Sha256(Slice(m, 12 * i, 12 * i + (i < 7 ? 12 : 16))));
  EXPECT_EQ(DigestOf(3, 256, m), eight);
}

// Refused requests write nothing; the absorbed data survives them.
TEST(Digest, RefusedLengthsLeaveItUsable) {
  Digest d(3);
  EXPECT_FALSE(d.SetOutputLength(257));  // more than eight lanes
  EXPECT_EQ(d.LaneCount(), 1u);
  EXPECT_EQ(d.OutputLength(), 0u);
  d.Update("abc", 3);
  Bytes out(300, 0xAA);
  EXPECT_FALSE(d.Final(out.data(), 0) || d.Final(out.data(), 16));
  EXPECT_EQ(out, Bytes(300, 0xAA));
  ASSERT_TRUE(d.SetOutputLength(32));  // a request that fits makes it usable again
  d.Reset();
  d.Update("abc", 3);
  EXPECT_FALSE(d.Final(out.data(), 33));
  EXPECT_EQ(out, Bytes(300, 0xAA));
  ASSERT_TRUE(d.Final(out.data(), 0));
  EXPECT_EQ(Slice(out, 0, 32), Sha256(kAbc));

  Digest lanes(2);
  ASSERT_TRUE(lanes.SetOutputLength(24));
  lanes.Update(kAbc.data(), 3);
  out.assign(300, 0xAA);
  EXPECT_FALSE(lanes.Final(out.data(), 25) || lanes.Final(out.data(), 40));  // lane bytes stay private
  EXPECT_EQ(out, Bytes(300, 0xAA));
  ASSERT_TRUE(lanes.Final(out.data(), 16));
  EXPECT_EQ(Slice(out, 0, 16), Slice(DigestOf(2, 24, kAbc), 0, 16));
}

TEST(Digest, SecondSetOutputLengthReleasesLanes) {
  for (std::uint32_t second : {20u, 0u}) {
    Digest d(2);
    ASSERT_TRUE(d.SetOutputLength(24) && d.SetOutputLength(second));
    EXPECT_EQ(d.LaneCount(), 1u);
    d.Update(kAbc.data(), 3);
    Bytes out(20);
    ASSERT_TRUE(d.Final(out.data(), 0));
    EXPECT_EQ(out, Sha1(kAbc));
  }
}

TEST(Digest, FinalLeavesItReadyForTheSameInputAgain) {
  for (std::uint32_t length : {0u, 24u, 40u}) {
    Digest d(3);
    EXPECT_TRUE(length == 0 || d.SetOutputLength(length));
    Bytes first(d.OutputLength()), second(d.OutputLength());
    d.Update(kPattern.data(), 300);
    ASSERT_TRUE(d.Final(first.data(), 0));
    d.Update(kPattern.data(), 300);
    ASSERT_TRUE(d.Final(second.data(), 0));
    EXPECT_EQ(first, second) << length;
  }
}

TEST(Digest, UnknownIdentifierIsInvalidAndRefusesEverything) {
  for (std::uint32_t id : {0u, 1u, 5u, 6u, 8u}) {
    Digest d(id);
    std::uint8_t out[64] = {};
    d.Update("abc", 3);
    EXPECT_FALSE(d.IsValid() || d.SetOutputLength(24) || d.Final(out, 0) || d.Final(out, 20)) << id;
  }
}

}  // namespace
}  // namespace security
