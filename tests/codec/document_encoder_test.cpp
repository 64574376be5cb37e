// The encoder on its own terms: the paths the sender's side takes (automatic
// compression, ISA-L, parts too long to keep deflated, continuous streams)
// read back by the decoder, the deflaters' streams read back by zlib, and
// every refusal and failure of a source, a sink or the caller. The byte
// layout itself is proven against OpenSSL in encoder_layout_test.cpp.

#include "codec/deflater.h"
#include "codec/document_encoder.h"
#include "decode_testing.h"
#include "security/block_cipher.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers
using R = EncodeResult;
using Compression = PartSettings::Compression;

// Content that changes between readings, fails, or claims another length.
class ShiftySource final : public PartSource {
 public:
  explicit ShiftySource(Bytes content) : readings_{std::move(content)}, claimed_(readings_[0].size()) {}
  ShiftySource& Then(Bytes next) {
    readings_.push_back(std::move(next));
    return *this;
  }
  ShiftySource& Claim(std::uint64_t length) {
    claimed_ = length;
    return *this;
  }
  ShiftySource& FailAfter(std::size_t bytes) {
    failAfter_ = bytes;
    return *this;
  }
  std::uint64_t Length() const override { return claimed_; }
  bool Rewind() override {
    ++reading_;
    position_ = 0;
    return true;
  }
  std::int64_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    const Bytes& now = readings_[std::min<std::size_t>(reading_ - 1, readings_.size() - 1)];
    if (position_ >= failAfter_) return -1;
    const std::size_t n = std::min({capacity, now.size() - position_, failAfter_ - position_});
    std::memcpy(buffer, now.data() + position_, n);
    position_ += n;
    return static_cast<std::int64_t>(n);
  }
  std::size_t Readings() const { return reading_; }

 private:
  std::vector<Bytes> readings_;
  std::uint64_t claimed_;
  std::size_t failAfter_ = SIZE_MAX;
  std::size_t reading_ = 0;
  std::size_t position_ = 0;
};

const std::uint8_t kSalt[32] = {0x11, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

PartSettings Settings(const std::string& name, Compression compression,
                      DeflateSettings deflate = DeflateSettings::Fast()) {
  PartSettings s;
  s.name = name;
  s.compression = compression;
  s.deflate = deflate;
  return s;
}

struct Written {
  Bytes document;
  std::vector<PartReport> reports;
  R result = R::Ok;
};

// Encodes `parts` for alice/"pw" and returns what the sink got.
Written EncodeParts(std::vector<std::pair<PartSource*, PartSettings>> parts, const DocumentHeader& header = PackHeader(),
                    std::size_t cacheLimit = DocumentEncoder::DefaultCacheLimit) {
  Written out;
  Collector sink;
  DocumentEncoder encoder(sink);
  encoder.SetCacheLimit(cacheLimit);
  DocumentHeader stated = header;
  stated.partCount = static_cast<std::uint16_t>(parts.size());
  out.result = encoder.Begin(stated, kSalt, "alice", "pw");
  for (auto& [source, settings] : parts) {
    out.reports.emplace_back();
    if (out.result == R::Ok) out.result = encoder.WritePart(*source, settings, nullptr, &out.reports.back());
  }
  if (out.result == R::Ok) out.result = encoder.Finish({});
  out.document = sink.bytes;
  return out;
}

// The parts of a document encoded by EncodeParts, decoded.
std::vector<Bytes> DecodeAll(const Bytes& document) {
  RecordingWriter writer;
  Recipe credentials;
  credentials.userName = "alice";
  credentials.password = "pw";
  EXPECT_EQ(Decode(document, credentials, writer), DecodeResult::Ok);
  std::vector<Bytes> contents;
  for (const DecodedPart& part : writer.parts) contents.push_back(part.content);
  return contents;
}

TEST(DocumentEncoder, EveryCompressionPathRoundTripsThroughTheDecoder) {
  for (const DeflateSettings deflate : {DeflateSettings{DeflateImplementation::Zlib, 6}, DeflateSettings::Fast()}) {
    SCOPED_TRACE(deflate.implementation == DeflateImplementation::Isal ? "ISA-L" : "zlib");
    const Bytes empty, small = Prose(5000), noise = Noise(300000, 5), large = Prose(3u << 20);
    // The first reading (the sample) shrinks; the others do not: the part is
    // stored after all, from its third reading.
    ShiftySource changing(Bytes(200000, 0));
    changing.Then(Noise(200000, 9));
    MemoryPartSource a(empty), b(small), c(noise), d(large), f(small);
    const Written w = EncodeParts({{&a, Settings("empty.txt", Compression::Automatic, deflate)},
                                   {&b, Settings("small.txt", Compression::Automatic, deflate)},
                                   {&c, Settings("noise.bin", Compression::Automatic, deflate)},
                                   {&d, Settings("kept.txt", Compression::Zlib, deflate)},
                                   {&changing, Settings("pays-not.bin", Compression::Automatic, deflate)},
                                   {&f, Settings("stored.txt", Compression::Stored, deflate)}},
                                  PackHeader(), 64 * 1024);
    ASSERT_EQ(w.result, R::Ok);
    const std::uint16_t methods[] = {0, 1, 0, 1, 0, 0};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(w.reports[i].method, methods[i]) << "part " << i;
    EXPECT_LT(w.reports[3].storedLength, large.size() / 2);  // deflated twice, beyond the 64 KiB kept
    EXPECT_EQ(changing.Readings(), 3u);
    EXPECT_TRUE(DecodeAll(w.document) == (std::vector<Bytes>{empty, small, noise, large, Noise(200000, 9), small}));
  }
}

// Parts of a continuous document share one zlib stream (ISA-L settings fall
// back to zlib, whose state can run ahead on a copy); kept and re-deflated
// parts continue it alike. (With the small cache each part is measured on a
// copy of the stream and written by the stream itself: a copy that does not
// run ahead exactly as the stream would fails here.)
TEST(DocumentEncoder, ContinuousStreamsKeptOrDeflatedTwiceDecode) {
  for (const std::size_t cacheLimit : {std::size_t{64} << 20, std::size_t{4096}}) {
    const Bytes one = Prose(100000), two = Noise(3000, 1), three = Prose(70000);
    MemoryPartSource a(one), b(two), c(three);
    PartSettings last = Settings("c.txt", Compression::Zlib);
    last.lastOfStream = true;
    const Written w = EncodeParts({{&a, Settings("a.txt", Compression::Zlib)},
                                   {&b, Settings("b.bin", Compression::Stored)},
                                   {&c, last}},
                                  PackHeader(DocumentHeader::FlagContinuousStream), cacheLimit);
    ASSERT_EQ(w.result, R::Ok) << cacheLimit;
    EXPECT_TRUE(DecodeAll(w.document) == (std::vector<Bytes>{one, two, three})) << cacheLimit;
  }
}

TEST(DocumentEncoder, SourceAndSinkFailuresAreReportedAndEndTheDocument) {
  const Bytes content = Prose(600000);
  struct Case {
    const char* what;
    std::function<void(ShiftySource&)> shape;
    Compression compression;
    R expected;
  };
  const Case cases[] = {
      {"shorter than it claims", [](ShiftySource& s) { s.Claim(700000); }, Compression::Stored, R::SourceChanged},
      {"longer than it claims", [](ShiftySource& s) { s.Claim(500000); }, Compression::Stored, R::SourceChanged},
      {"read error", [](ShiftySource& s) { s.FailAfter(300000); }, Compression::Stored, R::ReadFailed},
      {"read error while deflating", [](ShiftySource& s) { s.FailAfter(300000); }, Compression::Zlib, R::ReadFailed},
      {"second reading deflates to another length", [](ShiftySource& s) { s.Then(Noise(600000, 2)); },
       Compression::Zlib, R::SourceChanged},
  };
  for (const Case& c : cases) {
    ShiftySource source(content);
    c.shape(source);
    const Written w = EncodeParts({{&source, Settings("x.txt", c.compression)}}, PackHeader(), 1024);
    EXPECT_EQ(w.result, c.expected) << c.what;
  }

  // A sink that refuses: at the header, in a part's data, at the trailer.
  MemoryPartSource plain(content);
  for (const long refuseAfter : {10L, 200000L, 600200L}) {
    Collector sink;
    sink.refuse = refuseAfter;
    DocumentEncoder encoder(sink);
    R result = encoder.Begin(PackHeader(DocumentHeader::FlagTagTrailer), kSalt, "alice", "pw");
    if (result == R::Ok) result = encoder.WritePart(plain, Settings("x.txt", Compression::Stored));
    if (result == R::Ok) result = encoder.Finish(Bytes(1000, 7));
    EXPECT_EQ(result, R::WriteFailed) << refuseAfter;
    EXPECT_EQ(encoder.WritePart(plain, Settings("y.txt", Compression::Stored)), R::OutOfOrder);
  }

  // The progress callback stops the work at once.
  Collector sink;
  DocumentEncoder encoder(sink);
  int calls = 0;
  encoder.SetProgress([&calls](std::uint64_t done, std::uint64_t total) {
    EXPECT_LE(done, total);
    return ++calls < 2;
  });
  ASSERT_EQ(encoder.Begin(PackHeader(), kSalt, "alice", "pw"), R::Ok);
  EXPECT_EQ(encoder.WritePart(plain, Settings("x.txt", Compression::Zlib)), R::Cancelled);
  EXPECT_EQ(calls, 2);
}

TEST(DocumentEncoder, RefusesWhatNoReaderTakesBeforeWritingIt) {
  const auto header = [](const std::function<void(DocumentHeader&)>& change) {
    DocumentHeader h = PackHeader();
    change(h);
    return h;
  };
  const struct {
    const char* what;
    DocumentHeader header;
    const std::uint8_t* salt;
    R expected;
  } headers[] = {
      {"version 260", header([](auto& h) { h.formatVersion = 260; }), kSalt, R::BadHeader},
      {"cipher 9", header([](auto& h) { h.cipherId = 9; }), kSalt, R::BadHeader},
      {"AES with 100 bits", header([](auto& h) { h.keyBits = 100; }), kSalt, R::BadHeader},
      {"trailer digest 5", header([](auto& h) { h.trailerDigestId = 5; }), kSalt, R::BadHeader},
      {"body digest 9", header([](auto& h) { h.bodyDigestId = 9; }), kSalt, R::BadHeader},
      {"no salt for 259", PackHeader(), nullptr, R::BadHeader},
      {"key derivation 1", header([](auto& h) { h.kdfId = 1; }), kSalt, R::NoKeyDerivation},
      {"key derivation 5", header([](auto& h) { h.kdfId = 5; }), kSalt, R::NoKeyDerivation},
      {"PBKDF2 in 258", header([](auto& h) { h.formatVersion = 258; }), nullptr, R::NoKeyDerivation},
  };
  for (const auto& c : headers) {
    Collector sink;
    DocumentEncoder encoder(sink);
    EXPECT_EQ(encoder.Begin(c.header, c.salt, "alice", "pw"), c.expected) << c.what;
    EXPECT_TRUE(sink.bytes.empty()) << c.what;
    EXPECT_EQ(encoder.Finish({}), R::OutOfOrder) << c.what;
  }
  Collector sink;
  const std::uint8_t key[16] = {};
  EXPECT_EQ(DocumentEncoder(sink).BeginWithKey(PackHeader(), kSalt, key, 16), R::NoKeyDerivation);

  // Parts the header block cannot describe.
  const Bytes content = Text("abc");
  ShiftySource huge(content);
  huge.Claim(std::uint64_t{1} << 32);
  MemoryPartSource small(content);
  PartSettings tooShort = Settings("a.txt", Compression::Stored);
  tooShort.lengthByte = 80;  // T = 96: room for the 86-byte header and its length byte
  EXPECT_EQ(EncodeParts({{&small, tooShort}}).result, R::Ok);
  tooShort.lengthByte = 79;  // T = 80
  const struct {
    const char* what;
    PartSource* source;
    PartSettings settings;
  } parts[] = {
      {"65-byte name", &small, Settings(std::string(65, 'n'), Compression::Stored)},
      {"NUL in the name", &small, Settings(std::string("a\0b", 3), Compression::Stored)},
      {"block shorter than the header", &small, tooShort},
      {"4 GiB stored", &huge, Settings("huge.bin", Compression::Stored)},
  };
  for (const auto& c : parts) {
    const Written w = EncodeParts({{c.source, c.settings}});
    EXPECT_EQ(w.result, R::BadPart) << c.what;
    EXPECT_EQ(w.document.size(), 62u) << c.what;  // header and salt only
  }
  EXPECT_EQ(huge.Readings(), 0u);
}

// The deflaters' streams are zlib streams any inflater reads, and the same
// bytes give the same stream whatever pieces they came in: the encoder relies
// on it when it deflates a part twice.
TEST(Deflater, StreamsAreZlibAndIndependentOfHowTheInputIsCut) {
  const Bytes content = Prose(400000);
  std::vector<DeflateSettings> all = {{DeflateImplementation::Zlib, 1}, {DeflateImplementation::Zlib, 9}};
  for (int level = 0; level <= 3; ++level) all.push_back({DeflateImplementation::Isal, level});
  for (const DeflateSettings& settings : all) {
    SCOPED_TRACE(std::to_string(static_cast<int>(settings.implementation)) + "/" + std::to_string(settings.level));
    if (!DeflateImplementationAvailable(settings.implementation)) {
      EXPECT_EQ(Deflater::Create(settings), nullptr);
      continue;
    }
    Bytes streams[2];
    for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{4097}}) {
      const auto deflater = Deflater::Create(settings);
      ASSERT_NE(deflater, nullptr);
      Bytes& out = streams[piece == 4097];
      const Deflater::Sink sink = [&out](const std::uint8_t* d, std::size_t n) {
        out.insert(out.end(), d, d + n);
        return true;
      };
      for (std::size_t at = 0; at < content.size(); at += piece) {
        ASSERT_TRUE(deflater->Compress(content.data() + at, std::min(piece, content.size() - at), sink));
      }
      ASSERT_TRUE(deflater->End(true, sink));
    }
    EXPECT_TRUE(streams[0] == streams[1]);
    ASSERT_GE(streams[0].size(), 2u);
    EXPECT_EQ(streams[0][0], 0x78);  // deflate with a 32 KiB window
    bool ended = false;
    EXPECT_TRUE(Inflate(streams[0], &ended) == content);
    EXPECT_TRUE(ended);
  }
  EXPECT_EQ(Deflater::Create({DeflateImplementation::Zlib, 10}), nullptr);
  EXPECT_EQ(Deflater::Create({DeflateImplementation::Isal, 4}), nullptr);
}

}  // namespace
}  // namespace codec
