// The body digest on a helper thread: the same digest as hashing at once,
// however the bytes arrive, and long parts of real documents checked by it.

#include <random>

#include "codec/digest_feed.h"
#include "decode_testing.h"
#include "security/digest.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers

Bytes Final(security::Digest& digest) {
  Bytes out(digest.OutputLength());
  EXPECT_TRUE(digest.Final(out.data(), 0));
  return out;
}

// Copied pieces, pieces decoded straight into slots (some handed back
// empty), and direct use of the digest between Drains, in random order. A
// build without threads hashes every piece at once, to the same digest.
TEST(DigestFeedTest, HelperGivesTheSameDigestHoweverTheBytesArrive) {
  std::mt19937 rng(5);
  for (std::uint32_t id : {2u, 3u, 4u, 7u}) {
    security::Digest reference(id), hashed(id);
    DigestFeed feed(&hashed);
    ASSERT_EQ(feed.HashInBackground(), DigestFeed::HelperThreads);
    EXPECT_EQ(feed.InBackground(), DigestFeed::HelperThreads);
    for (int round = 0; round < 300; ++round) {
      const Bytes piece = Noise(rng() % 3 == 0 ? rng() % DigestFeed::SlotSize : rng() % 5000, static_cast<std::uint32_t>(rng()));
      reference.Update(piece.data(), static_cast<std::uint32_t>(piece.size()));
      switch (rng() % 4) {
        case 0: {
          std::uint8_t* slot = feed.Acquire();
          if (slot == nullptr) {
            ASSERT_FALSE(feed.InBackground());
            feed.Update(piece.data(), static_cast<std::uint32_t>(piece.size()));
            break;
          }
          std::memcpy(slot, piece.data(), piece.size());
          feed.Commit(static_cast<std::uint32_t>(piece.size()));
          break;
        }
        case 1:
          feed.Drain();
          hashed.Update(piece.data(), static_cast<std::uint32_t>(piece.size()));
          break;
        default:
          feed.Update(piece.data(), static_cast<std::uint32_t>(piece.size()));
      }
      if (round % 50 == 49) {
        feed.Drain();
        EXPECT_EQ(Final(hashed), Final(reference)) << id << " round " << round;
      }
    }
  }
  // Without a digest there is nothing to do, and no helper.
  DigestFeed none(nullptr);
  EXPECT_FALSE(none.HashInBackground());
  EXPECT_EQ(none.Acquire(), nullptr);
  none.Update("abc", 3);
  none.Drain();
}

// Parts long enough for the helper, stored and compressed, in both kinds of
// stream; a wrong digest on a long part is still caught.
TEST(DigestFeedTest, LongPartsOfRealDocuments) {
  for (const bool continuous : {false, true}) {
    const Recipe layout = BasicLayout([=](Recipe& s) {
      s.flags = continuous ? DocumentHeader::FlagContinuousStream : 0;
      s.parts.push_back(Part("long.bin", Noise(3 << 20, 41), 0));
      s.parts.push_back(Part("long.txt", Text(std::string(5 << 20, 'x')), 1));
      s.parts.push_back(Part("noise.z", Noise(2 << 20, 42), 1));
    });
    RecordingWriter writer;
    ASSERT_EQ(Decode(Encode(layout), layout, writer), DecodeResult::Ok);
    ExpectContents(writer, layout);
  }
  for (const std::size_t damaged : {2u, 4u}) {
    const Recipe layout = BasicLayout([=](Recipe& s) {
      s.parts.push_back(Part("long.bin", Noise(3 << 20, 43), 0));
      s.parts.push_back(Part("after.txt", Text("after"), 0));
      s.parts.push_back(Part("noise.z", Noise(2 << 20, 44), 1));
      s.parts[damaged].corruptDigest = true;
    });
    RecordingWriter writer;
    EXPECT_EQ(Decode(Encode(layout), layout, writer), DecodeResult::Corrupt) << damaged;
  }
}

}  // namespace
}  // namespace codec
