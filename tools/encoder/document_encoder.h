#pragma once
// Recipes for documents, for the tests and the benchmarks: every variant the
// format allows, written by the codec's DocumentEncoder, and deliberately
// damaged ones (see the "override" fields), which this layer makes by
// altering what the encoder stores, so that every refusal of the decoder can
// be produced from real bytes. A developer tool, never part of the reader.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codec/document_header.h"
#include "codec/tag_list_writer.h"
#include "codec/vp_codec_base.h"
#include "security/block_cipher.h"
#include "security/digest_imp.h"

namespace encoder {

struct PartSpec {
  std::string name;                  // the part's file name; at most 34 bytes (v258) or 64 (v259)
  std::vector<std::uint8_t> content;  // the part's content (the inflated form for method 1)
  // Generated content instead of `content` when > 0: `generatedLength` bytes
  // of a cheap deterministic pattern from `generatorSeed`, produced piece by
  // piece so that documents of hundreds of MiB never sit in memory whole.
  std::uint64_t generatedLength = 0;
  std::uint32_t generatorSeed = 0;
  std::uint16_t compression = codec::VPCodecBase::CompressionStored;  // or CompressionZlib
  int zlibLevel = 6;                 // deflate level for method 1
  std::int32_t expiry = 0;           // 0: never expires; 0x7FFFFFFF is stored as 0xFFFFFFFF
  std::uint32_t auxiliary1 = 0;
  std::uint32_t auxiliary2 = 0;
  // Length byte F of the part-header block; 0 picks the smallest block that
  // holds the header. Any F from T - B to T - 1 names the same block length T.
  std::uint8_t lengthByte = 0;
  std::uint8_t fillerByte = 0xA5;    // filler between the length byte and the header

  // Damage and raw forms, for tests:
  std::optional<std::uint32_t> checkOverride;        // stored check value instead of ~T
  std::optional<std::uint16_t> compressionOverride;  // stored method instead of `compression`
  std::optional<std::vector<std::uint8_t>> storedData;  // stored bytes verbatim (content still feeds the digest)
  std::optional<std::uint32_t> storedLengthOverride;    // stored length L instead of the real one
  bool corruptDigest = false;                           // flip a bit of the part's digest block
};

// Text tags carry the plain text, escaped on the way.
using TagSpec = codec::TagListEntry;

struct DocumentSpec {
  std::uint16_t version = codec::DocumentHeader::Version259;  // or Version258 (others for tests)
  std::uint16_t cipherId = security::kCipherAes;              // or kCipherTripleDes
  std::uint16_t keyBits = 256;
  std::uint16_t trailerDigestId = security::kDigestSha256;
  std::uint8_t kdfId = codec::DocumentHeader::KdfPbkdf2Sha256;  // any of the five key-derivation ids
  std::uint16_t iterationThousands = 1;
  std::uint8_t bodyDigestId = security::kDigestSha256;  // 0: parts carry no digest
  std::uint32_t flags = 0;               // FlagTagTrailer is set by the encoder when tags are given
  std::optional<std::uint16_t> partCountField;  // default: the number of parts
  std::array<std::uint8_t, 32> salt{};   // version 259 only; its first byte adjusts the iterations
  std::array<std::uint8_t, 8> reserved{};
  bool endMarker = false;                // write an end-marker block after the last part
  std::vector<PartSpec> parts;
  std::vector<TagSpec> tags;             // written as the tag trailer when non-empty
  std::string userName;
  std::string password;

  // Trailer damage and raw forms, for tests:
  std::optional<std::vector<std::uint8_t>> rawTagList;  // inflated tag list verbatim
  std::optional<std::uint32_t> trailerLengthOverride;   // stored N instead of the real one
  bool corruptTrailerDigest = false;
  // Alters the stored header after all digests were computed (offset, value).
  std::optional<std::pair<std::uint32_t, std::uint8_t>> headerByteAfterDigest;

  // Deflate level of the tag trailer's zlib stream (-1: zlib's default; 0
  // stores the list, which makes the trailer length predictable).
  int trailerZlibLevel = -1;
  // Version 258 has no salt, so key-derivation ids 3 and 4 cannot be read
  // back from it. Such a recipe is refused as a likely mistake unless this is
  // set; the document is then written with a key derived over 32 zero salt
  // bytes (iterations I * 1000), so that the reader's refusal can be tested.
  bool allowKdfWithoutSalt = false;
  // Compressed parts are deflated once to learn their stored lengths (the
  // header block precedes the data). Outputs up to this many bytes in all are
  // kept for writing; beyond it every compressed part is deflated again.
  std::uint64_t compressedCacheLimit = 64ull * 1024 * 1024;
};

// Writes the whole document through `sink` in pieces, front to back.
// Returns false with a reason in `error` for a recipe that cannot be written
// (name too long, compression method above 1 without an override, key of a
// tag too long, version 258 with PBKDF2 unless allowed, a refused write, ...).
//
// Key derivation: the user name and password are used exactly as given (the
// reader's prompt passes empty ones for FlagNoCredentials and an empty user
// name for FlagPasswordOnly; set them accordingly). Recipes the reader must
// refuse are still written so that the refusal can be tested:
//   - unknown cipher id: encrypted with AES under a zero 32-byte key;
//   - key length the cipher refuses: the cipher's default length, zero key;
//   - no key-derivation function for the ids: a zero key;
//   - iteration count I * 1000 + (int8_t)salt[0] below 1: derived with 1;
//   - unknown non-zero body digest id: zero digest blocks;
//   - unknown trailer digest id: a trailer without digest bytes (N = stream);
//   - versions other than 258/259: laid out as 259 when above, as 258 below.
using ByteSink = std::function<bool(const std::uint8_t* data, std::size_t length)>;
bool EncodeDocument(const DocumentSpec& recipe, const ByteSink& sink, std::string* error = nullptr);

// Conveniences over EncodeDocument.
bool EncodeDocument(const DocumentSpec& recipe, std::vector<std::uint8_t>& out, std::string* error = nullptr);
bool EncodeDocumentToFile(const DocumentSpec& recipe, const std::string& path, std::string* error = nullptr);

// The key the reader derives for `recipe` (its kdf id, digests, salt, iteration
// rule), for tests that check the derivation independently. False, with the
// reason in `error` and the encoder's fallback key in `key`, when the reader
// cannot derive a key for the recipe (see the fallbacks above).
bool DeriveDocumentKey(const DocumentSpec& recipe, std::vector<std::uint8_t>& key, std::string* error = nullptr);

// The 30 bytes of the fixed header as EncodeDocument stores them (before any
// headerByteAfterDigest), with FlagTagTrailer set when tags are given.
std::array<std::uint8_t, 30> FixedHeaderBytes(const DocumentSpec& recipe);

// The tag trailer EncodeDocument appends (zlib stream, digest, N), or an empty
// vector when the document has none. False for an unwritable tag.
bool BuildTrailer(const DocumentSpec& recipe, std::vector<std::uint8_t>& trailer, std::string* error = nullptr);

// Sets the binary tag `key` (appended when missing) to incompressible bytes
// sized so that the trailer's N is exactly `trailerLength`. False when no
// value length gives that N (for instance below the trailer's fixed cost).
bool PadTrailerTo(DocumentSpec& recipe, std::uint32_t trailerLength, const std::string& key = "Padding",
                  std::string* error = nullptr);

using codec::EscapeTagText;

// The content bytes of a part (generated or given), for comparisons.
std::vector<std::uint8_t> PartContent(const PartSpec& part);

}  // namespace encoder
