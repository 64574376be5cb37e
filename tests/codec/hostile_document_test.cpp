// Damaged documents: random byte changes and truncations of real documents
// must end in a result code, never in a crash or an out-of-bounds access (the
// sanitizer build runs this too).

#include <random>
#include <set>

#include "codec/document_tag_table.h"
#include "codec/inspect_document.h"
#include "decode_testing.h"

using namespace decodetest;

TEST(HostileDocument, RandomDamageEndsInAResultCode) {
  Recipe aes = BasicLayout([](Recipe& r) { r.tags.push_back({"Title", Text("Damaged\nyet readable"), false}); });
  Recipe des = BasicLayout([](Recipe& r) {
    r.version = 258;
    r.cipherId = 4;
    r.keyBits = 128;
    r.kdfId = 2;
    r.flags = codec::DocumentHeader::FlagContinuousStream;
    r.parts[0].compression = 1;
  });
  const std::set<std::int32_t> known = {0, -1, -2, -3, -4, -5, -6, -7, -8, -10, -11, -12, -13, -14, -15, -16, -25};
  std::mt19937 random(20261206);
  for (const Recipe* recipe : {&aes, &des}) {
    const Bytes original = Encode(*recipe);
    for (int round = 0; round < 250; ++round) {
      Bytes damaged = original;
      if (round % 5 == 0) {
        damaged.resize(random() % damaged.size());
      } else {
        for (int n = 1 + random() % 4; n > 0; --n) {
          // Mostly the plain header, the first part header and the trailer.
          std::size_t at = random() % 3 == 0 ? random() % 96 : random() % damaged.size();
          if (at == 19 || at == 20) at = 21;  // the iteration field would only make it slow
          damaged[at] ^= static_cast<std::uint8_t>(1 + random() % 255);
        }
      }
      codec::DocumentHeader header;
      codec::DocumentTagTable tags;
      SeekableSource source(damaged);
      EXPECT_TRUE(known.count(codec::ResultCode(codec::InspectDocument(source, header, true, &tags)))) << round;
      RecordingWriter writer;
      EXPECT_TRUE(known.count(codec::ResultCode(Decode(damaged, *recipe, writer)))) << round;
    }
  }
}
