// The inflater on its own, with each implementation (zlib, and ISA-L where
// the build has it), and the draining of its output at part ends: an output
// area that comes back full as the input runs out must be followed by another
// inflate call, and a "no progress" answer then is the normal end.

#include "codec/inflate_engine.h"
#include "codec/inflater.h"
#include "decode_testing.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers

// Inflates `input` as one part's data: Inflate, then the end of the input.
DecodeResult Feed(Inflater& inflater, const Bytes& input, Collector& out) {
  const DecodeResult rc = inflater.Inflate(input.data(), static_cast<std::uint32_t>(input.size()), out, nullptr);
  return rc != DecodeResult::Ok ? rc : inflater.EndOfInput(out, nullptr);
}

// Runs `test` once with each implementation this build has.
template <class Test>
void WithEachImplementation(Test test) {
  for (const InflateImplementation which : {InflateImplementation::Zlib, InflateImplementation::Isal}) {
    if (!InflateImplementationAvailable(which)) continue;
    SCOPED_TRACE(InflateImplementationName(which));
    ForceInflateImplementation(which);
    test();
    ForceInflateImplementation(std::nullopt);
  }
}

// Areas filled exactly as the input runs out, at part ends and mid-stream,
// are the drain tests' documents below; here the unit-level rule alone.
TEST(InflaterTest, AFullAreaAsASyncFlushedPrefixEndsIsTheNormalEnd) {
  WithEachImplementation([] {
    constexpr std::size_t area = Inflater::OutputSize;
    // A sync-flushed prefix whose output is exactly one area: the call after
    // the full area answers "no progress", which is the normal end of input.
    const Bytes content = Noise(area, 9);
    Inflater inflater(false);
    inflater.SetActive(true);
    Collector out;
    EXPECT_EQ(Feed(inflater, Deflate(content, 0, Z_SYNC_FLUSH), out), DecodeResult::Ok);
    EXPECT_TRUE(out.bytes == content);
    EXPECT_FALSE(inflater.StreamEnded());
    EXPECT_EQ(inflater.Inflate(nullptr, 0, out, nullptr), DecodeResult::Ok);
  });
}

TEST(InflaterTest, InputRunningOutBehindAFullAreaStillYieldsEverything) {
  WithEachImplementation([] {
    // Megabytes of zeros deflate to a few kilobytes, so the input of any
    // prefix runs out while the stream still holds output behind a full area.
    // All of it belongs to this piece of input.
    const Bytes stream = Deflate(Bytes(4 << 20, 0), 9);
    for (const std::size_t cut : {stream.size() / 4, stream.size() / 2, stream.size() - 5}) {
      const Bytes prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
      const Bytes expected = Inflate(prefix);
      ASSERT_GT(expected.size(), Inflater::OutputSize) << cut;
      Inflater inflater(false);
      inflater.SetActive(true);
      Collector out, rest;
      ASSERT_EQ(Feed(inflater, prefix, out), DecodeResult::Ok);
      EXPECT_EQ(out.bytes.size(), expected.size()) << cut;
      const Bytes tail(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end());
      ASSERT_EQ(Feed(inflater, tail, rest), DecodeResult::Ok);
      EXPECT_EQ(out.bytes.size() + rest.bytes.size(), std::size_t{4} << 20) << cut;
    }
  });
}

TEST(InflaterTest, OneByteAtATimeAndBytesAfterTheEnd) {
  WithEachImplementation([] {
    const Bytes content(50000, 'k');
    Bytes stream = Deflate(content, 6);
    stream.insert(stream.end(), {1, 2, 3, 4, 5});  // ignored after the end of the stream
    Inflater inflater(false);
    inflater.SetActive(true);
    Collector out;
    for (std::uint8_t byte : stream) ASSERT_EQ(inflater.Inflate(&byte, 1, out, nullptr), DecodeResult::Ok);
    EXPECT_TRUE(out.bytes == content);
    EXPECT_EQ(inflater.TotalOut(), content.size());
    EXPECT_EQ(Feed(inflater, stream, out), DecodeResult::Ok);
    EXPECT_EQ(out.bytes.size(), content.size());
  });
}

TEST(InflaterDrainTest, ContinuousAndPerPartStreamsSplitAcrossParts) {
  WithEachImplementation([] {
    // Parts of whole output areas, megabytes of zeros held back inside the
    // stream from a tiny input, and a stored part that never touches it.
    constexpr std::size_t area = Inflater::OutputSize;
    for (const bool continuous : {false, true}) {
      const Recipe layout = BasicLayout([=](Recipe& s) {
        s.flags = continuous ? DocumentHeader::FlagContinuousStream : 0;
        s.parts = {Part("a.txt", Text(std::string(30000, 'a') + "tail of a"), 1),
                   Part("plain.bin", Noise(3000, 1), 0), Part("exact.bin", Noise(area, 21), 1),
                   Part("two-areas.bin", Noise(2 * area, 22), 1), Part("zeros.bin", Bytes(4 << 20, 0), 1),
                   Part("tail.txt", Text("the last part"), 1)};
        s.parts[2].zlibLevel = s.parts[3].zlibLevel = 0;
      });
      RecordingWriter writer;
      ASSERT_EQ(Decode(Encode(layout), layout, writer), DecodeResult::Ok) << continuous;
      ExpectContents(writer, layout);
      EXPECT_LE(writer.largestWrite, Inflater::OutputSize);
    }
  });
}

TEST(InflaterDrainTest, StreamCutInsideARunBelongsToThePartThatHoldsTheCut) {
  WithEachImplementation([] {
    // Continuous: part 1 yields all its bytes give and part 2 the rest. Not
    // continuous: the cut-off stream is complete up to the cut, the next fresh.
    Bytes content(3u << 20, 0);
    const Bytes noise = Noise(5000, 31);
    std::copy(noise.begin(), noise.end(), content.begin() + 1000000);
    const Bytes stream = Deflate(content, 9);
    for (const std::size_t cut : {std::size_t{200}, stream.size() / 3, stream.size() - 600}) {
      const Bytes head(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
      const Bytes headContent = Inflate(head);
      for (const bool continuous : {true, false}) {
        const Recipe layout = BasicLayout([&](Recipe& s) {
          s.flags = continuous ? DocumentHeader::FlagContinuousStream : 0;
          s.parts = {Part("head.bin", headContent, 1)};
          s.parts[0].storedData = head;
          if (continuous) {
            const auto split = content.begin() + static_cast<std::ptrdiff_t>(headContent.size());
            s.parts.push_back(Part("tail.bin", Bytes(split, content.end()), 1));
            s.parts[1].storedData = Bytes(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end());
          } else {
            s.parts.push_back(Part("fresh.bin", Noise(3000, 32), 1));
          }
        });
        RecordingWriter writer;
        ASSERT_EQ(Decode(Encode(layout), layout, writer), DecodeResult::Ok) << "cut " << cut << " continuous " << continuous;
        ExpectContents(writer, layout);
      }
    }
  });
}

}  // namespace
}  // namespace codec
