#pragma once
// Shared pieces of the codec tests: a recording decode writer with switchable
// refusals, a positioned source over memory, a zlib allocator that fails on
// cue, known-answer bytes from tests/data/codec, and helpers that encode a
// recipe and decode the result.

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>
#ifdef VP_TEST_OPENSSL
#include <openssl/evp.h>
#endif

#include "codec/decode_result.h"
#include "codec/document_decoder.h"
#include "codec/inflater.h"
#include "codec/memory_reader.h"
#include "codec/vp_decode_writer.h"
#include "security/block_cipher.h"
#include "security/digest_imp.h"
#include "support/files.h"
#include "support/memory_source.h"
#include "tools/encoder/document_encoder.h"

namespace codec {
// Failed expectations show a result as the format's code.
inline void PrintTo(DecodeResult result, std::ostream* out) { *out << ResultCode(result); }
}  // namespace codec

namespace decodetest {

using Bytes = std::vector<std::uint8_t>;
using Recipe = encoder::DocumentSpec;
using PartRecipe = encoder::PartSpec;
using Change = std::function<void(Recipe&)>;

struct DecodedPart {
  std::string name;
  Bytes content;
  std::int32_t expiry = 0;
  std::uint32_t storedLength = 0;
  bool ended = false;
};

// Records every call in `calls`: D BeginDocument, P BeginPart, w one or more
// Writes in a row, E EndPart, Z EndDocument. Refuses the call numbered
// `refuseCall` (0 BeginDocument, then BeginPart and EndPart in turn, then
// EndDocument) and the Write that would take it past `refuseWriteAfter`
// bytes, and counts every call made after a refusal.
class RecordingWriter final : public codec::VPDecodeWriter {
 public:
  int refuseCall = -1;
  std::int64_t refuseWriteAfter = -1;

  bool Write(const void* data, std::uint32_t length) override {
    if (refused) ++callsAfterRefusal;
    if (calls.empty() || calls.back() != 'w') calls += 'w';
    if (refuseWriteAfter >= 0 && written + length > static_cast<std::uint64_t>(refuseWriteAfter)) return Refuse();
    largestWrite = std::max(largestWrite, length);
    written += length;
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (!parts.empty()) parts.back().content.insert(parts.back().content.end(), p, p + length);
    return true;
  }
  bool BeginDocument(const codec::DocumentHeader& header, std::uint32_t count) override {
    documentHeader = header;
    partCount = count;
    return Call('D');
  }
  bool BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& h) override {
    parts.push_back({name, {}, h.GetExpiry(), h.GetLength(), false});
    return Call('P');
  }
  bool EndPart() override {
    if (!parts.empty()) parts.back().ended = true;
    return Call('E');
  }
  bool EndDocument() override { return Call('Z'); }

  // Every part's content, in order.
  Bytes Content() const {
    Bytes all;
    for (const DecodedPart& part : parts) all.insert(all.end(), part.content.begin(), part.content.end());
    return all;
  }

  std::string calls;
  codec::DocumentHeader documentHeader;
  std::uint32_t partCount = 0;
  std::uint64_t written = 0;
  std::uint32_t largestWrite = 0;
  std::vector<DecodedPart> parts;
  bool refused = false;
  int callsAfterRefusal = 0;

 private:
  bool Call(char c) {
    if (refused) ++callsAfterRefusal;
    calls += c;
    return callNumber_++ == refuseCall ? Refuse() : true;
  }
  bool Refuse() {
    refused = true;
    return false;
  }
  int callNumber_ = 0;
};

// Collects what it is handed, refusing once past `refuse` bytes.
class Collector final : public codec::VPWriter {
 public:
  bool Write(const void* data, std::uint32_t length) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + length);
    largest = std::max(largest, length);
    return refuse < 0 || bytes.size() <= static_cast<std::size_t>(refuse);
  }
  Bytes bytes;
  std::uint32_t largest = 0;
  long refuse = -1;
};

using SeekableSource = support::SeekableMemory;

// zlib allocation seam: fails every allocation after the first `allowed`.
struct FailingAllocator {
  int allowed = 0;
  int calls = 0;
  static voidpf Alloc(voidpf opaque, uInt items, uInt size) {
    auto* self = static_cast<FailingAllocator*>(opaque);
    return self->calls++ >= self->allowed ? Z_NULL : std::calloc(items, size);
  }
  static void Free(voidpf, voidpf address) { std::free(address); }
  codec::Inflater::Allocator Seam() { return {&Alloc, &Free, this}; }
};

// Named byte strings in tests/data/codec/known_bytes.txt: a line "name:" at
// the margin opens one; indented lines hold hex bytes, XX*N (N copies of XX)
// and "quoted text"; '#' starts a comment.
inline Bytes KnownBytes(const std::string& name) {
  std::ifstream in(std::string(VP_TEST_DATA_DIR) + "/codec/known_bytes.txt");
  Bytes out;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && !std::isspace(static_cast<unsigned char>(line[0])) && line[0] != '#') {
      if (inside) break;
      inside = line.substr(0, line.find(':')) == name;
      continue;
    }
    for (std::size_t i = 0; inside && i < line.size() && line[i] != '#'; ++i) {
      if (line[i] == '"') {
        const std::size_t end = line.find('"', i + 1);
        out.insert(out.end(), line.data() + i + 1, line.data() + end);
        i = end;
      } else if (std::isxdigit(static_cast<unsigned char>(line[i]))) {
        const auto byte = static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16));
        std::size_t count = 1, digits = 0;
        if (line.compare(i + 2, 1, "*") == 0) count = std::stoul(line.substr(i + 3), &digits);
        out.insert(out.end(), count, byte);
        i += digits > 0 ? 2 + digits : 1;
      }
    }
  }
  EXPECT_FALSE(out.empty()) << "no known bytes named " << name;
  return out;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic bytes that deflate barely shrinks.
inline Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return out;
}

// Words that deflate shrinks to about a third.
inline Bytes Prose(std::size_t n) {
  static const std::string kWords[] = {"format ", "reader ", "part ", "digest ", "cipher ", "key ", "salt "};
  Bytes out;
  for (std::uint32_t x = 7; out.size() < n; x = x * 1103515245u + 12345u) {
    const std::string& w = kWords[(x >> 16) % 7];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(n);
  return out;
}

// One zlib stream of `content`, finished or only flushed (windowBits 8..15;
// a dictionary makes the stream ask for it).
inline Bytes Deflate(const Bytes& content, int level, int flush = Z_FINISH, int windowBits = 15,
                     int strategy = Z_DEFAULT_STRATEGY, const Bytes& dictionary = {}) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, windowBits, 8, strategy), Z_OK);
  if (!dictionary.empty()) deflateSetDictionary(&zs, dictionary.data(), static_cast<uInt>(dictionary.size()));
  Bytes out(deflateBound(&zs, static_cast<uLong>(content.size())) + 64);
  zs.next_in = const_cast<Bytef*>(content.data());
  zs.avail_in = static_cast<uInt>(content.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, flush), flush == Z_FINISH ? Z_STREAM_END : Z_OK);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// Everything zlib can produce from `data`, a whole stream or a prefix of
// one; `ended` tells whether the stream ended.
inline Bytes Inflate(const Bytes& data, bool* ended = nullptr) {
  z_stream zs{};
  EXPECT_EQ(inflateInit(&zs), Z_OK);
  Bytes out(8u << 20);
  zs.next_in = const_cast<Bytef*>(data.data());
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&zs, Z_SYNC_FLUSH);
  EXPECT_TRUE((rc == Z_OK || rc == Z_STREAM_END) && zs.avail_in == 0) << rc;
  if (ended != nullptr) *ended = rc == Z_STREAM_END;
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}

#ifdef VP_TEST_OPENSSL
// The first `length` bytes of OpenSSL's digest (all when 0).
inline Bytes OpenSslDigest(const EVP_MD* md, const Bytes& data, std::size_t length = 0) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), &n, md, nullptr), 1);
  out.resize(length != 0 ? length : n);
  return out;
}

// OpenSSL's PBKDF2-HMAC-SHA-256 with P = password, S = user name || salt.
inline Bytes OpenSslPbkdf2(const std::string& user, const std::string& password, const std::uint8_t* salt, int count,
                           std::size_t length = 32) {
  Bytes s(user.begin(), user.end()), key(length);
  s.insert(s.end(), salt, salt + 32);
  EXPECT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), s.data(), static_cast<int>(s.size()),
                              count, EVP_sha256(), static_cast<int>(length), key.data()), 1);
  return key;
}
#endif

inline PartRecipe Part(const std::string& name, Bytes content, std::uint16_t compression = 0) {
  PartRecipe part;
  part.name = name;
  part.content = std::move(content);
  part.compression = compression;
  return part;
}

// A version-259 AES-256 document with PBKDF2-HMAC-SHA-256 (1,000 iterations)
// and SHA-256 digests, holding one stored and one compressed part; `change`
// adjusts it.
inline Recipe BasicLayout(const Change& change = nullptr) {
  Recipe layout;
  layout.userName = "alice";
  layout.password = "Secret-1";
  for (std::size_t i = 0; i < layout.salt.size(); ++i) layout.salt[i] = static_cast<std::uint8_t>(0x40 + 3 * i);
  layout.salt[0] = 0;  // exactly 1,000 iterations
  layout.parts.push_back(Part("letter.html", Text("<p>Dear reader,</p>\n<p>hello.</p>\n")));
  layout.parts.push_back(Part("data.bin", Noise(10000, 7), 1));
  if (change) change(layout);
  return layout;
}

// Applies one setting of the case files under tests/data/codec: "field=value"
// for the recipe, "N.field=value" for part N (values in C notation).
inline void Apply(Recipe& s, const std::string& setting) {
  const std::size_t eq = setting.find('=');
  const bool ofPart = std::isdigit(static_cast<unsigned char>(setting[0])) != 0;
  const auto part = [&]() -> PartRecipe& { return s.parts.at(static_cast<std::size_t>(setting[0] - '0')); };
  const std::string field = setting.substr(ofPart ? 2 : 0, eq == std::string::npos ? eq : eq - (ofPart ? 2 : 0));
  const auto v = eq == std::string::npos ? 1u : static_cast<std::uint32_t>(std::stoul(setting.substr(eq + 1), nullptr, 0));
  if (field == "version") s.version = static_cast<std::uint16_t>(v);
  else if (field == "cipher") s.cipherId = static_cast<std::uint16_t>(v);
  else if (field == "keyBits") s.keyBits = static_cast<std::uint16_t>(v);
  else if (field == "kdf") s.kdfId = static_cast<std::uint8_t>(v);
  else if (field == "trailerDigest") s.trailerDigestId = static_cast<std::uint16_t>(v);
  else if (field == "bodyDigest") s.bodyDigestId = static_cast<std::uint8_t>(v);
  else if (field == "iterations") s.iterationThousands = static_cast<std::uint16_t>(v);
  else if (field == "salt0") s.salt[0] = static_cast<std::uint8_t>(v);
  else if (field == "partCount") s.partCountField = static_cast<std::uint16_t>(v);
  else if (field == "endMarker") s.endMarker = true;
  else if (field == "headerByte")  // OFFSET:VALUE
    s.headerByteAfterDigest = {v, static_cast<std::uint8_t>(std::stoul(setting.substr(setting.find(':') + 1), nullptr, 0))};
  else if (field == "fillName") part().name = std::string(s.version == 259 ? 64 : 34, 'n');
  else if (field == "extraPart") s.parts.push_back(Part("third.txt", Noise(5000, 3)));
  else if (field == "noParts") s.parts.clear();
  else if (field == "tag") s.tags.push_back({"Title", Text("read by the inspection only"), false});
  else if (field == "lengthByte") part().lengthByte = static_cast<std::uint8_t>(v);
  else if (field == "check") part().checkOverride = v;
  else if (field == "method") part().compressionOverride = static_cast<std::uint16_t>(v);
  else if (field == "corruptDigest") part().corruptDigest = true;
  else ADD_FAILURE() << "unknown setting " << setting;
}

// The header the sender's side writes, with 1,000 iterations.
inline codec::DocumentHeader PackHeader(std::uint32_t flags = 0) {
  codec::DocumentHeader h;
  std::memcpy(h.magic, "emdf", 4);
  h.formatVersion = codec::DocumentHeader::Version259;
  h.cipherId = security::kCipherAes;
  h.keyBits = 256;
  h.trailerDigestId = security::kDigestSha256;
  h.kdfId = codec::DocumentHeader::KdfPbkdf2Sha256;
  h.iterationThousands = 1;
  h.bodyDigestId = security::kDigestSha256;
  h.flags = flags;
  return h;
}

inline Bytes Encode(const Recipe& layout) {
  Bytes out;
  std::string error;
  EXPECT_TRUE(encoder::EncodeDocument(layout, out, &error)) << error;
  return out;
}

constexpr std::int64_t kNow = 1700000000;  // 2023-11-14

// Decodes with the recipe's credentials unless others are given.
inline codec::DecodeResult Decode(const Bytes& document, const Recipe& layout, RecordingWriter& writer,
                           std::int64_t now = kNow, bool allowExpired = false, const char* userName = nullptr,
                           const char* password = nullptr) {
  codec::MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  codec::DocumentDecoder decoder(source, writer);
  decoder.SetClock([now] { return now; });
  return decoder.DecodeDocument(userName ? userName : layout.userName.c_str(),
                                password ? password : layout.password.c_str(), allowExpired);
}

// Every part of the recipe (or the first `partCount`) decoded, ended, equal.
inline void ExpectContents(const RecordingWriter& writer, const Recipe& layout, std::size_t partCount = 0) {
  if (partCount == 0) partCount = layout.parts.size();
  ASSERT_EQ(writer.parts.size(), partCount);
  for (std::size_t i = 0; i < partCount; ++i) {
    EXPECT_EQ(writer.parts[i].name, layout.parts[i].name) << "part " << i;
    EXPECT_TRUE(writer.parts[i].ended) << "part " << i;
    EXPECT_TRUE(writer.parts[i].content == encoder::PartContent(layout.parts[i])) << "part " << i;
  }
}

}  // namespace decodetest
