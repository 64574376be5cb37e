// The inflater on its own, and the draining of its output at part ends: an
// output area that comes back full as the input runs out must be followed by
// another inflate call, and a "no progress" answer then is the normal end.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "codec/decode_result.h"
#include "codec/inflater.h"
#include "codec/memory_writer.h"
#include "decode_testing.h"
#include "security/digest.h"

namespace codec {
namespace {

using decodetest::BasicLayout;
using decodetest::Bytes;
using decodetest::Decode;
using decodetest::Encode;
using decodetest::ExpectContents;
using decodetest::Noise;
using decodetest::Part;
using decodetest::RecordingWriter;

Bytes Deflate(const Bytes& content, int level, int flush = Z_FINISH) {
  z_stream zs{};
  EXPECT_EQ(deflateInit(&zs, level), Z_OK);
  Bytes out(deflateBound(&zs, static_cast<uLong>(content.size())) + 64);
  zs.next_in = const_cast<Bytef*>(content.data());
  zs.avail_in = static_cast<uInt>(content.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&zs, flush);
  EXPECT_EQ(rc, flush == Z_FINISH ? Z_STREAM_END : Z_OK);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// Everything zlib can produce from `prefix`, drained into one large area.
Bytes DrainedOutput(const Bytes& prefix) {
  z_stream zs{};
  EXPECT_EQ(inflateInit(&zs), Z_OK);
  Bytes out(8u << 20);
  zs.next_in = const_cast<Bytef*>(prefix.data());
  zs.avail_in = static_cast<uInt>(prefix.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&zs, Z_SYNC_FLUSH);
  EXPECT_TRUE(rc == Z_OK || rc == Z_STREAM_END);
  EXPECT_EQ(zs.avail_in, 0u);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}

// Counts and sizes the pieces it is handed.
class PieceWriter final : public VPWriter {
 public:
  bool Write(const void* data, std::uint32_t length) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + length);
    ++pieces;
    if (length > largest) largest = length;
    return refuse < 0 || bytes.size() <= static_cast<std::size_t>(refuse);
  }
  Bytes bytes;
  int pieces = 0;
  std::uint32_t largest = 0;
  long refuse = -1;
};

TEST(InflaterTest, OutputThatFillsTheAreaAsInputRunsOutIsNotLost) {
  // Stored deflate blocks: the last input byte completes exactly 4096 or
  // 8192 bytes of output. Highly compressible content: all input is taken
  // long before the output stops.
  const Bytes cases[] = {Noise(4096, 1), Noise(8192, 2), Bytes(4096, 0), Bytes(3 * 4096, 'z'),
                         Bytes(1 << 20, 0)};
  for (const Bytes& content : cases) {
    for (const int level : {0, 9}) {
      const Bytes stream = Deflate(content, level);
      Inflater inflater(false);
      inflater.SetActive(true);
      PieceWriter out;
      security::Digest digest(3);
      ASSERT_EQ(inflater.Inflate(stream.data(), static_cast<std::uint32_t>(stream.size()), out, &digest),
                DecodeResult::Ok);
      EXPECT_TRUE(out.bytes == content) << content.size() << " level " << level;
      EXPECT_LE(out.largest, Inflater::OutputSize);
      EXPECT_TRUE(inflater.StreamEnded());
    }
  }
}

TEST(InflaterTest, SyncFlushedPieceEndsWithoutErrorWhenNothingIsPending) {
  // A sync-flushed prefix whose output is exactly one area: the call after
  // the full area answers "no progress", which is the normal end of input.
  const Bytes content = Noise(4096, 9);
  const Bytes prefix = Deflate(content, 0, Z_SYNC_FLUSH);
  Inflater inflater(true);
  inflater.SetActive(true);
  PieceWriter out;
  EXPECT_EQ(inflater.Inflate(prefix.data(), static_cast<std::uint32_t>(prefix.size()), out, nullptr),
            DecodeResult::Ok);
  EXPECT_TRUE(out.bytes == content);
  EXPECT_FALSE(inflater.StreamEnded());
  EXPECT_EQ(inflater.Inflate(nullptr, 0, out, nullptr), DecodeResult::Ok);
}

TEST(InflaterTest, PiecesFedOneByteAtATime) {
  const Bytes content = Bytes(50000, 'k');
  const Bytes stream = Deflate(content, 6);
  Inflater inflater(false);
  inflater.SetActive(true);
  PieceWriter out;
  for (std::uint8_t byte : stream) {
    ASSERT_EQ(inflater.Inflate(&byte, 1, out, nullptr), DecodeResult::Ok);
  }
  EXPECT_TRUE(out.bytes == content);
  EXPECT_EQ(inflater.TotalOut(), content.size());
}

TEST(InflaterTest, BytesAfterTheEndOfTheStreamAreIgnored) {
  const Bytes content = Noise(1000, 4);
  Bytes stream = Deflate(content, 6);
  stream.insert(stream.end(), {1, 2, 3, 4, 5});
  Inflater inflater(false);
  inflater.SetActive(true);
  PieceWriter out;
  EXPECT_EQ(inflater.Inflate(stream.data(), static_cast<std::uint32_t>(stream.size()), out, nullptr),
            DecodeResult::Ok);
  EXPECT_TRUE(out.bytes == content);
  EXPECT_EQ(inflater.Inflate(stream.data(), 10, out, nullptr), DecodeResult::Ok);
  EXPECT_EQ(out.bytes.size(), content.size());
}

TEST(InflaterTest, ResetsFromTheSecondCompressedPartUnlessContinuous) {
  const Bytes first = Deflate(Noise(300, 1), 6);
  const Bytes second = Deflate(Noise(300, 2), 6);
  Inflater separate(false);
  EXPECT_TRUE(separate.BeginCompressedPart());
  PieceWriter out;
  ASSERT_EQ(separate.Inflate(first.data(), 100, out, nullptr), DecodeResult::Ok);  // half a stream
  EXPECT_TRUE(separate.BeginCompressedPart());
  ASSERT_EQ(separate.Inflate(second.data(), static_cast<std::uint32_t>(second.size()), out, nullptr),
            DecodeResult::Ok);
  EXPECT_EQ(separate.Started(), 2u);
  EXPECT_TRUE(separate.StreamEnded());

  // The half stream's output, then the whole second stream.
  const Bytes secondContent = Noise(300, 2);
  ASSERT_GE(out.bytes.size(), secondContent.size());
  EXPECT_TRUE(std::equal(secondContent.begin(), secondContent.end(),
                         out.bytes.end() - static_cast<std::ptrdiff_t>(secondContent.size())));

  // A continuous inflater keeps its stream: once it has ended, a second
  // stream is input after the end and yields nothing.
  Inflater continuous(true);
  PieceWriter joined;
  EXPECT_TRUE(continuous.BeginCompressedPart());
  ASSERT_EQ(continuous.Inflate(first.data(), static_cast<std::uint32_t>(first.size()), joined, nullptr),
            DecodeResult::Ok);
  EXPECT_TRUE(continuous.BeginCompressedPart());
  EXPECT_TRUE(continuous.StreamEnded());
  EXPECT_EQ(continuous.Inflate(second.data(), static_cast<std::uint32_t>(second.size()), joined, nullptr),
            DecodeResult::Ok);
  EXPECT_TRUE(joined.bytes == Noise(300, 1));
}

TEST(InflaterTest, FailuresMapToTheirCodes) {
  const Bytes content = Noise(20000, 3);
  const Bytes stream = Deflate(content, 6);
  {
    Inflater inflater(false);
    PieceWriter out;
    const Bytes garbage = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_EQ(inflater.Inflate(garbage.data(), 7, out, nullptr), DecodeResult::InflateFailed);
  }
  {
    // A stream that asks for a preset dictionary cannot be read.
    Inflater inflater(false);
    PieceWriter out;
    const Bytes withDictionary = {0x78, 0xBB, 0x01, 0x02, 0x03, 0x04, 0x03, 0x00};
    EXPECT_EQ(inflater.Inflate(withDictionary.data(), 8, out, nullptr), DecodeResult::InflateFailed);
  }
  {
    Inflater inflater(false);
    PieceWriter out;
    out.refuse = 5000;
    EXPECT_EQ(inflater.Inflate(stream.data(), static_cast<std::uint32_t>(stream.size()), out, nullptr),
              DecodeResult::PartOutputRefused);
    EXPECT_LE(out.bytes.size(), 5000u + Inflater::OutputSize);
  }
}

TEST(InflaterTest, InputRunningOutBehindAFullAreaStillYieldsEverything) {
  // A megabyte of zeros deflates to about a kilobyte, so the input of any
  // prefix runs out while zlib still holds kilobytes of output behind a full
  // area. All of it belongs to this piece of input.
  const Bytes stream = Deflate(Bytes(1 << 20, 0), 9);
  for (const std::size_t cut : {stream.size() / 4, stream.size() / 2, stream.size() - 5}) {
    const Bytes prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
    const Bytes expected = DrainedOutput(prefix);
    ASSERT_GT(expected.size(), Inflater::OutputSize) << cut;
    Inflater inflater(true);
    inflater.SetActive(true);
    PieceWriter out;
    ASSERT_EQ(inflater.Inflate(prefix.data(), static_cast<std::uint32_t>(prefix.size()), out, nullptr),
              DecodeResult::Ok);
    EXPECT_EQ(out.bytes.size(), expected.size()) << cut;
    // The rest of the stream yields exactly the rest of the content.
    PieceWriter rest;
    ASSERT_EQ(inflater.Inflate(stream.data() + cut, static_cast<std::uint32_t>(stream.size() - cut), rest,
                               nullptr),
              DecodeResult::Ok);
    EXPECT_EQ(out.bytes.size() + rest.bytes.size(), std::size_t{1} << 20) << cut;
  }
}

struct CountingAllocator {
  int allowed = 0;
  int calls = 0;
  static voidpf Alloc(voidpf opaque, uInt items, uInt size) {
    auto* self = static_cast<CountingAllocator*>(opaque);
    if (self->calls++ >= self->allowed) return Z_NULL;
    return std::calloc(items, size);
  }
  static void Free(voidpf, voidpf address) { std::free(address); }
};

TEST(InflaterTest, MemoryExhaustion) {
  CountingAllocator none;
  const Inflater::Allocator noMemory{&CountingAllocator::Alloc, &CountingAllocator::Free, &none};
  EXPECT_THROW(Inflater inflater(false, &noMemory), std::bad_alloc);

  CountingAllocator stateOnly;
  stateOnly.allowed = 1;
  const Inflater::Allocator noWindow{&CountingAllocator::Alloc, &CountingAllocator::Free, &stateOnly};
  Inflater inflater(false, &noWindow);
  const Bytes stream = Deflate(Noise(5000, 8), 6);
  PieceWriter out;
  EXPECT_EQ(inflater.Inflate(stream.data(), static_cast<std::uint32_t>(stream.size()), out, nullptr),
            DecodeResult::OutOfMemory);
}

TEST(InflaterDrainTest, PartsWhoseOutputFillsWholeAreasDecodeExactly) {
  // Per-part streams and one continuous stream, with parts of whole 4 KiB
  // areas and a megabyte of zeros held back inside zlib from a tiny input.
  for (const bool continuous : {false, true}) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.flags = continuous ? DocumentHeader::FlagContinuousStream : 0;
    layout.parts.clear();
    layout.parts.push_back(Part("exact.bin", Noise(4096, 21), 1));
    layout.parts.back().zlibLevel = 0;
    layout.parts.push_back(Part("two-areas.bin", Noise(8192, 22), 1));
    layout.parts.back().zlibLevel = 0;
    layout.parts.push_back(Part("zeros.bin", Bytes(1 << 20, 0), 1));
    layout.parts.push_back(Part("tail.txt", decodetest::Text("the last part"), 1));
    const Bytes document = Encode(layout);
    RecordingWriter writer;
    ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok) << continuous;
    ExpectContents(writer, layout, 4);
    EXPECT_LE(writer.largestWrite, Inflater::OutputSize);
  }
}

TEST(InflaterDrainTest, StreamCutInsideARunBelongsToThePartThatHoldsTheCut) {
  // One zlib stream cut at an arbitrary byte inside a long run of zeros. In
  // a continuous document the first part is everything its bytes yield and
  // the second the rest; without the continuous flag the first part is a
  // cut-off stream whose output must still be complete up to the cut.
  const Bytes content = [] {
    Bytes c(3u << 20, 0);
    const Bytes noise = Noise(5000, 31);
    std::copy(noise.begin(), noise.end(), c.begin() + 1000000);
    return c;
  }();
  const Bytes stream = Deflate(content, 9);
  for (const std::size_t cut : {std::size_t{200}, stream.size() / 3, stream.size() - 600}) {
    const Bytes head(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
    const Bytes tail(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end());
    const Bytes headContent = DrainedOutput(head);
    const Bytes tailContent(content.begin() + static_cast<std::ptrdiff_t>(headContent.size()), content.end());
    for (const bool continuous : {true, false}) {
      encoder::DocumentSpec layout = BasicLayout();
      layout.flags = continuous ? DocumentHeader::FlagContinuousStream : 0;
      layout.parts.clear();
      layout.parts.push_back(Part("head.bin", headContent, 1));
      layout.parts.back().storedData = head;
      if (continuous) {
        layout.parts.push_back(Part("tail.bin", tailContent, 1));
        layout.parts.back().storedData = tail;
      } else {
        layout.parts.push_back(Part("fresh.bin", Noise(3000, 32), 1));
      }
      const Bytes document = Encode(layout);
      RecordingWriter writer;
      ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok) << "cut " << cut << " continuous " << continuous;
      ExpectContents(writer, layout, 2);
    }
  }
}

}  // namespace
}  // namespace codec
