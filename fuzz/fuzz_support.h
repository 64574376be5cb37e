#pragma once
// Pieces the fuzz targets and their seed corpus share: the fixed credentials
// and clock, a positioned source over memory, a decode writer that checks the
// decoder's side of the contract, and the layout of the plaintext target's
// input.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/decode_result.h"
#include "codec/document_header.h"
#include "codec/inflater.h"
#include "codec/vp_codec_base.h"
#include "codec/vp_decode_writer.h"
#include "codec/vp_reader.h"
#include "fuzz/fuzz_target.h"
#include "security/cbc_cipher.h"
#include "security/digest_imp.h"
#include "security/simple_kdf.h"
#include "tests/support/memory_source.h"

namespace vpfuzz {

using Bytes = std::vector<std::uint8_t>;

// Every document target decodes with these.
inline constexpr const char* kUser = "fuzz";
inline constexpr const char* kPassword = "fuzz";
// The decoder's clock: 2023-11-14. Seeds expire after it or never.
inline constexpr std::int64_t kNow = 1700000000;

// Offsets of the fixed header that the targets look at.
inline constexpr std::size_t kIterationsAt = 19;  // two bytes, thousands

// A result the format defines (inspection and decoding alike).
inline bool IsKnownResult(codec::DecodeResult result) {
  const std::int32_t code = codec::ResultCode(result);
  return (code <= 0 && code >= -16 && code != -9) || code == -25;
}

using support::SeekableMemory;

// Keeps nothing, checks the order of the decoder's calls: one BeginDocument
// first, parts begun and ended in turn, pieces of 1 to Inflater::OutputSize
// bytes inside a part, names that end within their 65 bytes, no more parts
// than stated. CheckEnd() checks the end against the decoder's result.
class CheckingDecodeWriter final : public codec::VPDecodeWriter {
 public:
  bool Write(const void* data, std::uint32_t length) override {
    VP_FUZZ_CHECK(inPart_ && !ended_ && data != nullptr);
    VP_FUZZ_CHECK(length >= 1 && length <= codec::Inflater::OutputSize);
    bytes_ += length;
    return true;
  }
  bool BeginDocument(const codec::DocumentHeader&, std::uint32_t partCount) override {
    VP_FUZZ_CHECK(!begun_);
    begun_ = true;
    partCount_ = partCount;
    return true;
  }
  bool BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& header) override {
    VP_FUZZ_CHECK(begun_ && !inPart_ && !ended_ && name != nullptr);
    VP_FUZZ_CHECK(::strnlen(name, 65) < 65);
    VP_FUZZ_CHECK(header.GetCompression() <= codec::VPCodecBase::CompressionZlib);
    VP_FUZZ_CHECK(parts_ < partCount_);
    inPart_ = true;
    ++parts_;
    return true;
  }
  bool EndPart() override {
    VP_FUZZ_CHECK(inPart_ && !ended_);
    inPart_ = false;
    return true;
  }
  bool EndDocument() override {
    VP_FUZZ_CHECK(begun_ && !inPart_ && !ended_);
    ended_ = true;
    return true;
  }

  // The writer heard of the end exactly when the decoding succeeded, and the
  // output stayed within what `inputSize` bytes can inflate to (deflate's
  // best ratio is about 1032 to 1).
  void CheckEnd(codec::DecodeResult result, std::size_t inputSize) const {
    VP_FUZZ_CHECK(ended_ == (result == codec::DecodeResult::Ok));
    VP_FUZZ_CHECK(bytes_ <= 1100u * static_cast<std::uint64_t>(inputSize) + codec::Inflater::OutputSize);
  }

 private:
  bool begun_ = false;
  bool inPart_ = false;
  bool ended_ = false;
  std::uint32_t partCount_ = 0;
  std::uint32_t parts_ = 0;
  std::uint64_t bytes_ = 0;
};

// The plaintext target's input: a configuration byte, the part-count byte
// (0: not stated), then the decrypted body, which the target encrypts under
// the key of kUser/kPassword. The configuration byte selects:
//   bit 0     version 259 (else 258)
//   bit 1     triple-DES (else AES)
//   bits 2-3  body digest: none, SHA-1, SHA-256, Keccak-256
//   bit 4     continuous zlib stream
//   bits 5-6  key length: the cipher's largest, then its three lengths
struct PlainConfig {
  std::uint16_t version = codec::DocumentHeader::Version259;
  std::uint16_t cipherId = 5;
  std::uint16_t keyBits = 256;
  std::uint8_t bodyDigestId = 0;
  std::uint32_t flags = 0;
  std::uint16_t partCount = 0;
};

inline PlainConfig ConfigFrom(std::uint8_t config, std::uint8_t partCount) {
  static constexpr std::array<std::uint8_t, 4> kDigests = {0, 2, 3, 7};
  static constexpr std::array<std::uint16_t, 4> kAesBits = {256, 128, 192, 256};
  static constexpr std::array<std::uint16_t, 4> kDesBits = {192, 64, 128, 192};
  PlainConfig c;
  c.version = (config & 1) != 0 ? codec::DocumentHeader::Version259 : codec::DocumentHeader::Version258;
  c.cipherId = (config & 2) != 0 ? 4 : 5;
  c.bodyDigestId = kDigests[(config >> 2) & 3];
  c.flags = (config & 0x10) != 0 ? codec::DocumentHeader::FlagContinuousStream : 0;
  c.keyBits = (c.cipherId == 5 ? kAesBits : kDesBits)[(config >> 5) & 3];
  c.partCount = partCount;
  return c;
}

// The plaintext target's fixed header for `c`: trailer digest SHA-256, key
// derivation 2 (a SHA-1 digest of the credentials, no iterations), reserved
// bytes zero.
inline std::array<std::uint8_t, codec::DocumentHeader::Size> PlainHeader(const PlainConfig& c) {
  codec::DocumentHeader h;
  std::memcpy(h.magic, "emdf", 4);
  h.formatVersion = c.version;
  h.cipherId = c.cipherId;
  h.trailerDigestId = 3;
  h.keyBits = c.keyBits;
  h.partCount = c.partCount;
  h.flags = c.flags;
  h.kdfId = codec::DocumentHeader::KdfSimpleSha1;
  h.iterationThousands = 0;
  h.bodyDigestId = c.bodyDigestId;
  std::array<std::uint8_t, codec::DocumentHeader::Size> out{};
  h.Store(out.data());
  return out;
}

// The salt of the plaintext target's version-259 documents.
inline std::array<std::uint8_t, 32> PlainSalt() {
  std::array<std::uint8_t, 32> salt{};
  for (std::size_t i = 0; i < salt.size(); ++i) salt[i] = static_cast<std::uint8_t>(0x31 + 7 * i);
  return salt;
}

// The document behind a plaintext-target input of at least 2 bytes: the
// header and salt of its configuration, then the body padded with zeros to
// whole cipher blocks and encrypted under the fixed credentials' key.
inline Bytes PlainDocument(const std::uint8_t* data, std::size_t size) {
  const PlainConfig config = ConfigFrom(data[0], data[1]);
  const auto header = PlainHeader(config);
  const auto salt = PlainSalt();
  const bool salted = config.version == codec::DocumentHeader::Version259;

  security::CBCCipher cipher(config.cipherId);
  const std::uint32_t keyLength = config.keyBits / 8u;
  VP_FUZZ_CHECK(cipher.IsValid() && cipher.GetBlockCipher()->SetKeyLength(keyLength));
  security::SimpleKdf kdf(security::kDigestSha1, keyLength);
  kdf.AddInput(kUser, static_cast<std::uint32_t>(std::strlen(kUser)));
  kdf.AddInput(kPassword, static_cast<std::uint32_t>(std::strlen(kPassword)));
  std::uint8_t key[32] = {};
  VP_FUZZ_CHECK(kdf.Derive(key, keyLength));
  VP_FUZZ_CHECK(cipher.GetBlockCipher()->SetKey(key));
  const std::uint32_t b = cipher.GetBlockCipher()->BlockSize();
  VP_FUZZ_CHECK(cipher.SetIv(salted ? salt.data() : nullptr, salted ? b : 0));

  const std::size_t bodyAt = header.size() + (salted ? salt.size() : 0);
  Bytes document(bodyAt + (size - 2 + b - 1) / b * b, 0);
  std::memcpy(document.data(), header.data(), header.size());
  if (salted) std::memcpy(document.data() + header.size(), salt.data(), salt.size());
  if (size > 2) std::memcpy(document.data() + bodyAt, data + 2, size - 2);
  VP_FUZZ_CHECK(cipher.Encrypt(document.data() + bodyAt, document.data() + bodyAt,
                               static_cast<std::uint32_t>(document.size() - bodyAt)));
  return document;
}

}  // namespace vpfuzz
