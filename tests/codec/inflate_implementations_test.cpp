// zlib and ISA-L behind the Inflater, side by side over the same input: the
// same answer to every call and the same bytes, for whole, damaged, cut-off
// and padded streams of every deflate kind, fed in random pieces. (The
// decoder around the Inflater, digest feed included, is the same for both.)

#include <random>

#include "codec/inflate_engine.h"
#include "codec/inflater.h"
#include "security/kernels.h"
#include "decode_testing.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers

// What one implementation made of the input: the answer to each call, the
// output, and whether the stream ended.
struct Outcome {
  std::vector<DecodeResult> codes;
  Bytes output;
  bool ended = false;
};

// Feeds `pieces` (one stream, or several with a reset before each when not
// continuous) to a fresh inflater of `which`; stops at the first failure.
Outcome Feed(InflateImplementation which, const std::vector<Bytes>& parts, bool continuous,
         const std::vector<std::size_t>& cuts) {
  ForceInflateImplementation(which);
  Inflater inflater(continuous);
  ForceInflateImplementation(std::nullopt);
  EXPECT_EQ(inflater.Implementation(), continuous ? InflateImplementation::Zlib : which);
  inflater.SetActive(true);
  Collector out;
  Outcome run;
  std::size_t cut = 0;
  for (const Bytes& part : parts) {
    if (!inflater.BeginCompressedPart()) {
      run.codes.push_back(DecodeResult::InflateFailed);
      break;
    }
    for (std::size_t at = 0; at < part.size();) {
      const std::size_t take = std::min(part.size() - at, cuts[cut++ % cuts.size()]);
      run.codes.push_back(inflater.Inflate(part.data() + at, static_cast<std::uint32_t>(take), out, nullptr));
      at += take;
      if (run.codes.back() != DecodeResult::Ok) break;
    }
    if (run.codes.empty() || run.codes.back() == DecodeResult::Ok) run.codes.push_back(inflater.EndOfInput(out, nullptr));
    if (!run.codes.empty() && run.codes.back() != DecodeResult::Ok) break;
  }
  run.output = out.bytes;
  run.ended = inflater.StreamEnded();
  return run;
}

Bytes Content(std::mt19937& rng, std::size_t n) {
  Bytes out;
  while (out.size() < n) {
    const std::size_t run = 1 + rng() % 3000;
    switch (rng() % 4) {
      case 0: { const Bytes noise = Noise(run, static_cast<std::uint32_t>(rng())); out.insert(out.end(), noise.begin(), noise.end()); break; }
      case 1: out.insert(out.end(), run, static_cast<std::uint8_t>(rng())); break;
      case 2: for (std::size_t i = 0; i < run; ++i) out.push_back(static_cast<std::uint8_t>('a' + rng() % 6)); break;
      default: if (out.size() > 10) { const std::size_t from = rng() % out.size(); for (std::size_t i = 0; i < run; ++i) out.push_back(out[from + i % (out.size() - from)]); }
    }
  }
  out.resize(n);
  return out;
}

bool Available() { return InflateImplementationAvailable(InflateImplementation::Isal); }

TEST(InflateImplementationsTest, SameAnswersAndBytesForEveryKindOfStream) {
  if (!Available()) GTEST_SKIP() << "built without ISA-L";
  std::mt19937 rng(4242);
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (int round = 0; round < 400; ++round) {
    const Bytes content = Content(rng, rng() % 4 == 0 ? rng() % 300 : rng() % 300000);
    const int windowBits = rng() % 3 == 0 ? 9 + static_cast<int>(rng() % 7) : 15;
    Bytes stream = Deflate(content, static_cast<int>(rng() % 10), Z_FINISH, windowBits, strategies[rng() % 5],
                           rng() % 25 == 0 ? Bytes{1, 2, 3} : Bytes{});
    std::string damage = "none";
    switch (rng() % 8) {
      case 0: case 1: {  // flipped bits anywhere
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips && !stream.empty(); ++i) stream[rng() % stream.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        damage = "bits";
        break;
      }
      case 2: stream.resize(rng() % (stream.size() + 1)); damage = "cut"; break;
      case 3: { const Bytes junk = Noise(1 + rng() % 100, static_cast<std::uint32_t>(rng())); stream.insert(stream.end(), junk.begin(), junk.end()); damage = "junk after"; break; }
      case 4: if (stream.size() > 4) stream[stream.size() - 1 - rng() % 4] ^= 0x40; damage = "checksum"; break;
      case 5: stream[rng() % 2] = static_cast<std::uint8_t>(rng()); damage = "header"; break;
      default: break;
    }
    // Cut into parts anywhere: one stream through them all when continuous,
    // otherwise a fresh stream per part (so later pieces of a cut stream are
    // not valid on their own), sometimes followed by a whole second stream.
    const bool continuous = rng() % 3 == 0;
    std::vector<Bytes> parts;
    for (std::size_t at = 0; at < stream.size() || parts.empty();) {
      const std::size_t take = std::min(stream.size() - at, rng() % 2 == 0 ? stream.size() : 1 + static_cast<std::size_t>(rng() % 70000));
      parts.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at), stream.begin() + static_cast<std::ptrdiff_t>(at + take));
      at += take;
      if (take == 0) break;
    }
    if (!continuous && rng() % 2 == 0) parts.push_back(Deflate(Content(rng, rng() % 20000), 6));
    std::vector<std::size_t> cuts;
    for (int i = 0; i < 16; ++i) cuts.push_back(rng() % 3 == 0 ? 1 + rng() % 8 : 1 + rng() % Inflater::InputSize);
    SCOPED_TRACE(testing::Message() << "round " << round << ": " << content.size() << " bytes, window " << windowBits
                                    << ", damage " << damage << (continuous ? ", continuous" : ""));
    const Outcome zlib = Feed(InflateImplementation::Zlib, parts, continuous, cuts);
    const Outcome isal = Feed(InflateImplementation::Isal, parts, continuous, cuts);
    ASSERT_EQ(isal.codes, zlib.codes);
    ASSERT_EQ(isal.ended, zlib.ended);
    ASSERT_TRUE(isal.output == zlib.output) << isal.output.size() << " against " << zlib.output.size();
  }
}

// A stream whose header declares a small window goes to zlib from the header
// on. Read through the engines with output room of a few bytes, such streams
// (honest, reaching further back than they declare, damaged, cut off) get
// zlib's answer, its bytes and its count of input taken.
TEST(InflateImplementationsTest, SmallWindowStreamsGetZlibsAnswerWithSmallOutputBuffers) {
  if (!Available()) GTEST_SKIP() << "built without ISA-L";
  std::mt19937 rng(515);
  const Bytes honest = Deflate(Content(rng, 20000), 6, Z_FINISH, 9);
  const Bytes half = Content(rng, 3000);
  Bytes farBack = half;
  farBack.insert(farBack.end(), half.begin(), half.end());  // 3000 bytes back: beyond a 512-byte window
  Bytes lying = Deflate(farBack, 6);
  lying[0] = 0x18;  // deflate with a 512-byte window
  lying[1] = static_cast<std::uint8_t>((lying[1] & 0xC0) | (31 - ((0x18 * 256 + (lying[1] & 0xC0)) % 31)) % 31);
  Bytes damaged = honest;
  damaged[damaged.size() / 2] ^= 0x10;
  const struct {
    const char* name;
    Bytes stream;
  } streams[] = {{"honest", honest},
                 {"far-reaching", lying},
                 {"damaged", damaged},
                 {"cut", Bytes(honest.begin(), honest.begin() + static_cast<std::ptrdiff_t>(honest.size() / 3))}};
  using detail::InflateEngine;
  struct Run {
    InflateEngine::Status last;
    Bytes output;
    std::size_t consumed = 0;
  };
  const auto run = [](std::unique_ptr<InflateEngine> engine, const Bytes& stream, std::uint32_t room) {
    Run r{InflateEngine::Status::NoProgress, {}, 0};
    Bytes out(room);
    engine->Reset();
    for (;;) {
      const auto take = static_cast<std::uint32_t>(std::min<std::size_t>(97, stream.size() - r.consumed));
      InflateEngine::Progress progress;
      r.last = engine->Run(stream.data() + r.consumed, take, out.data(), room, progress);
      r.consumed += progress.consumed;
      r.output.insert(r.output.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(progress.produced));
      if (r.last != InflateEngine::Status::Ok) return r;
    }
  };
  for (const auto& s : streams) {
    for (std::uint32_t room : {1u, 7u, 64u}) {
      SCOPED_TRACE(testing::Message() << s.name << " stream, " << room << " bytes of room");
      const Run zlib = run(detail::NewZlibEngine(nullptr), s.stream, room);
      const Run isal = run(detail::NewIsalEngine(nullptr), s.stream, room);
      EXPECT_EQ(isal.last, zlib.last);
      EXPECT_EQ(isal.consumed, zlib.consumed);
      EXPECT_TRUE(isal.output == zlib.output) << isal.output.size() << " against " << zlib.output.size();
      EXPECT_TRUE(std::string(s.name) != "honest" || zlib.last == InflateEngine::Status::StreamEnd);
    }
  }
}

// The suite's extra runs (tests/CMakeLists.txt) run what they are named after,
// and the plain run uses ISA-L where the build has it.
TEST(InflateImplementationsTest, EachRunUsesTheImplementationsItIsMeantFor) {
  const auto asked = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::string(value) == "1";
  };
  if (asked("VAULTPOST_PORTABLE_CRYPTO")) {
    EXPECT_STREQ(security::CryptoImplementation(), "portable");
  }
  if (asked("VAULTPOST_ZLIB_INFLATE")) {
    EXPECT_EQ(SelectedInflateImplementation(), InflateImplementation::Zlib);
  } else if (Available()) {
    EXPECT_EQ(SelectedInflateImplementation(), InflateImplementation::Isal);
  }
}

}  // namespace
}  // namespace codec
