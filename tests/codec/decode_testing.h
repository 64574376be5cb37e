#pragma once
// Shared pieces of the decoder and inspection tests: a recording decode
// writer with switchable refusals, a positioned source over memory, and
// helpers that encode a layout and decode the result.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "codec/decode_result.h"
#include "codec/document_decoder.h"
#include "codec/memory_reader.h"
#include "codec/vp_decode_writer.h"
#include "tools/encoder/document_encoder.h"

namespace decodetest {

using Bytes = std::vector<std::uint8_t>;

struct DecodedPart {
  std::string name;
  Bytes content;
  std::int32_t expiry = 0;
  std::uint16_t compression = 0;
  std::uint32_t storedLength = 0;
  bool ended = false;
};

// Records every call the decoder makes and refuses whichever one a test asks.
class RecordingWriter final : public codec::VPDecodeWriter {
 public:
  bool refuseBeginDocument = false;
  bool refuseEndDocument = false;
  bool refuseBeginPart = false;
  bool refuseEndPart = false;
  // Write refuses once this many bytes were taken (no limit when negative).
  std::int64_t refuseWriteAfter = -1;

  bool Write(const void* data, std::uint32_t length) override {
    ++writes;
    if (afterEnd) ++callsAfterEnd;
    if (refuseWriteAfter >= 0 && written + length > static_cast<std::uint64_t>(refuseWriteAfter)) {
      return false;
    }
    if (length > largestWrite) largestWrite = length;
    written += length;
    if (!parts.empty() && !parts.back().ended) {
      const auto* p = static_cast<const std::uint8_t*>(data);
      parts.back().content.insert(parts.back().content.end(), p, p + length);
    } else {
      ++writesOutsideParts;
    }
    return true;
  }
  bool BeginDocument(const codec::DocumentHeader& header, std::uint32_t count) override {
    ++beginDocuments;
    documentHeader = header;
    partCount = count;
    return !refuseBeginDocument;
  }
  bool BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& h) override {
    ++beginParts;
    if (afterEnd) ++callsAfterEnd;
    DecodedPart part;
    part.name = name;
    part.expiry = h.GetExpiry();
    part.compression = h.GetCompression();
    part.storedLength = h.GetLength();
    parts.push_back(std::move(part));
    return !refuseBeginPart;
  }
  bool EndPart() override {
    ++endParts;
    if (!parts.empty()) parts.back().ended = true;
    return !refuseEndPart;
  }
  bool EndDocument() override {
    ++endDocuments;
    afterEnd = true;
    return !refuseEndDocument;
  }

  codec::DocumentHeader documentHeader;
  std::uint32_t partCount = 0;
  int beginDocuments = 0, beginParts = 0, endParts = 0, endDocuments = 0;
  int writes = 0, writesOutsideParts = 0, callsAfterEnd = 0;
  std::uint64_t written = 0;
  std::uint32_t largestWrite = 0;
  std::vector<DecodedPart> parts;

 private:
  bool afterEnd = false;
};

// A source over memory with the positioned interface only (Seek and Read),
// as the inspection uses it.
class SeekableSource final : public codec::VPReader {
 public:
  explicit SeekableSource(const Bytes& data) : data_(data) {}
  const std::uint8_t* NextBlock(std::uint32_t&) override { return nullptr; }
  bool Seek(std::int32_t offset, std::int32_t origin) override {
    std::int64_t base = origin == 0 ? 0 : origin == 1 ? position_ : static_cast<std::int64_t>(data_.size());
    if (origin < 0 || origin > 2) return false;
    const std::int64_t target = base + offset;
    if (target < 0) return false;
    position_ = target;
    return true;
  }
  std::uint32_t Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount) override {
    const std::int64_t size = static_cast<std::int64_t>(data_.size());
    const std::int64_t left = position_ < size ? size - position_ : 0;
    const std::int64_t items = std::min<std::int64_t>(itemCount, left / itemSize);
    std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(items * itemSize));
    position_ += items * itemSize;
    return static_cast<std::uint32_t>(items);
  }
  std::int64_t Position() const { return position_; }

 private:
  const Bytes& data_;
  std::int64_t position_ = 0;
};

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic bytes that deflate barely shrinks.
inline Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return out;
}

inline encoder::PartSpec Part(const std::string& name, Bytes content, std::uint16_t compression = 0) {
  encoder::PartSpec part;
  part.name = name;
  part.content = std::move(content);
  part.compression = compression;
  return part;
}

// A version-259 AES-256 document with PBKDF2-HMAC-SHA-256 (1,000 iterations)
// and SHA-256 digests, holding one stored and one compressed part.
inline encoder::DocumentSpec BasicLayout() {
  encoder::DocumentSpec layout;
  layout.userName = "alice";
  layout.password = "Secret-1";
  for (std::size_t i = 0; i < layout.salt.size(); ++i) layout.salt[i] = static_cast<std::uint8_t>(0x40 + 3 * i);
  layout.salt[0] = 0;  // exactly 1,000 iterations
  layout.parts.push_back(Part("letter.html", Text("<p>Dear reader,</p>\n<p>hello.</p>\n")));
  layout.parts.push_back(Part("data.bin", Noise(10000, 7), 1));
  return layout;
}

inline Bytes Encode(const encoder::DocumentSpec& layout) {
  Bytes out;
  std::string error;
  EXPECT_TRUE(encoder::EncodeDocument(layout, out, &error)) << error;
  return out;
}

struct DecodeOptions {
  const char* userName = nullptr;  // null: the layout's
  const char* password = nullptr;  // null: the layout's
  bool allowExpired = false;
  std::int64_t now = 1700000000;   // 2023-11-14
};

inline std::int32_t Decode(const Bytes& document, const encoder::DocumentSpec& layout,
                           RecordingWriter& writer, const DecodeOptions& options = {}) {
  codec::MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  codec::DocumentDecoder decoder(source, writer);
  const std::int64_t now = options.now;
  decoder.SetClock([now] { return now; });
  return decoder.DecodeDocument(options.userName ? options.userName : layout.userName.c_str(),
                                options.password ? options.password : layout.password.c_str(),
                                options.allowExpired);
}

// Every part decoded, ended and equal to the layout's content.
inline void ExpectContents(const RecordingWriter& writer, const encoder::DocumentSpec& layout,
                           std::size_t partCount) {
  ASSERT_EQ(writer.parts.size(), partCount);
  for (std::size_t i = 0; i < partCount; ++i) {
    EXPECT_EQ(writer.parts[i].name, layout.parts[i].name) << "part " << i;
    EXPECT_TRUE(writer.parts[i].ended) << "part " << i;
    EXPECT_TRUE(writer.parts[i].content == encoder::PartContent(layout.parts[i])) << "part " << i;
  }
}

}  // namespace decodetest
