#pragma once
// Writes document containers: the decode pipeline run the other way. The
// fixed header and salt in plain, then every part (header block, stored data,
// digest block) in one CBC chain under the key derived from the user name and
// password, then the plain tag trailer. Large parts are never held whole:
// they are read, hashed, deflated and encrypted a chunk at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codec/deflater.h"
#include "codec/digest_feed.h"
#include "codec/document_header.h"
#include "codec/vp_writer.h"

namespace security {
class CBCCipher;
class Digest;
class SecretText;
}  // namespace security

namespace codec {

enum class EncodeResult : std::int32_t {
  Ok = 0,
  // The header names a version, cipher, key length or digest no reader takes.
  BadHeader,
  // No key-derivation function for the header's ids (PBKDF2 needs the salt of
  // version 259 and at least one iteration), or a key of the wrong length.
  NoKeyDerivation,
  // A name the part header cannot hold, a length byte whose block cannot hold
  // the header, or stored data of 4 GiB or more.
  BadPart,
  // The part's source reported an error.
  ReadFailed,
  // The source gave another number of bytes than it announced, or its second
  // reading deflated to another length than its first.
  SourceChanged,
  // Deflate could not start or failed.
  DeflateFailed,
  // The sink refused a write.
  WriteFailed,
  // The progress callback asked to stop.
  Cancelled,
  // A step out of order: Begin first, once; nothing after Finish.
  OutOfOrder,
};

// A short English sentence for a result ("the input changed while it was
// being read", ...).
const char* EncodeResultText(EncodeResult result);

// Where a part's content comes from. It is read front to back, and a
// compressed part too large to keep its deflated form in memory is read twice
// (once to learn its stored length, which precedes the data).
class PartSource {
 public:
  virtual ~PartSource() = default;
  // The number of content bytes.
  virtual std::uint64_t Length() const = 0;
  // Back to the first byte; false when that is not possible.
  virtual bool Rewind() = 0;
  // Up to `capacity` next bytes into `buffer`: their number, 0 at the end,
  // negative on an error.
  virtual std::int64_t Read(std::uint8_t* buffer, std::size_t capacity) = 0;
};

// Content in memory (not copied).
class MemoryPartSource final : public PartSource {
 public:
  MemoryPartSource(const std::uint8_t* data, std::size_t length) : data_(data), length_(length) {}
  explicit MemoryPartSource(const std::vector<std::uint8_t>& bytes) : MemoryPartSource(bytes.data(), bytes.size()) {}
  std::uint64_t Length() const override { return length_; }
  bool Rewind() override {
    position_ = 0;
    return true;
  }
  std::int64_t Read(std::uint8_t* buffer, std::size_t capacity) override;

 private:
  const std::uint8_t* data_;
  std::size_t length_;
  std::size_t position_ = 0;
};

// How one part is stored.
struct PartSettings {
  enum class Compression {
    Stored,
    Zlib,
    // Deflated when a first block of the content shrinks by at least 1/32
    // and the whole part then comes out smaller than its content; stored
    // otherwise.
    Automatic,
  };

  std::string name;  // at most 34 bytes (version 258) or 64 (version 259)
  Compression compression = Compression::Stored;
  DeflateSettings deflate;  // for Zlib and Automatic; continuous streams always use zlib
  // In a document with FlagContinuousStream: this is the last compressed
  // part, whose data ends the stream (the others end with a sync flush).
  bool lastOfStream = false;
  std::int32_t expiry = 0;  // seconds since 1970 UTC; 0 and 0x7FFFFFFF never expire
  std::uint32_t auxiliary1 = 0;
  std::uint32_t auxiliary2 = 0;
  // Length byte F of the part-header block; 0 picks the smallest block that
  // holds the header. Any F from T - B to T - 1 names the same length T.
  std::uint8_t lengthByte = 0;
  // The bytes between the length byte and the header, and after the stored
  // data up to the end of its last block.
  std::uint8_t filler = 0;
};

// What a part came to.
struct PartReport {
  std::uint16_t method = 0;         // 0 stored, 1 zlib
  std::uint64_t contentLength = 0;  // bytes of content
  std::uint32_t storedLength = 0;   // L: stored bytes (the zlib stream's length for method 1)
};

// Developer tools make documents that the reader must refuse by altering what
// WritePart stores; a sound encoder passes none.
class PartAlterations {
 public:
  virtual ~PartAlterations() = default;
  // Bytes to store verbatim instead of the (deflated) content, which then
  // only feeds the digest; null for none.
  virtual PartSource* StoredBytes() { return nullptr; }
  // The decrypted part-header block (T bytes, the header at its end) before
  // it is encrypted and hashed; may change its bytes and its length (which
  // stays a whole number of cipher blocks).
  virtual void AlterHeaderBlock(std::vector<std::uint8_t>& block) { static_cast<void>(block); }
  // The decrypted digest block before it is encrypted.
  virtual void AlterDigestBlock(std::uint8_t* block, std::uint32_t length) {
    static_cast<void>(block);
    static_cast<void>(length);
  }
};

// One document: Begin, WritePart for each part (WriteEndMarker after the
// last when the document ends with one), then Finish. The sink is not owned.
// After a failure the document is unusable and nothing further is written.
// The key, the digest chain and the cipher's state are wiped on destruction.
class DocumentEncoder {
 public:
  // Compressed parts whose deflated form stays within this many bytes are
  // deflated once and kept; longer ones are deflated again to be stored.
  static constexpr std::size_t DefaultCacheLimit = 2 * 1024 * 1024;
  // Content is read, hashed and encrypted in chunks of this size.
  static constexpr std::size_t ChunkSize = DigestFeed::SlotSize;
  // Automatic compression looks at this many first bytes of a part.
  static constexpr std::size_t SampleSize = 256 * 1024;
  static constexpr std::uint32_t SaltSize = 32;

  explicit DocumentEncoder(VPWriter& sink);
  ~DocumentEncoder();
  DocumentEncoder(const DocumentEncoder&) = delete;
  DocumentEncoder& operator=(const DocumentEncoder&) = delete;

  // Writes `header` (host order; stored big-endian) and, for version 259, the
  // SaltSize bytes of `salt`; derives the key from `userName` and `password`
  // (used exactly as given; null counts as empty) with the header's
  // key-derivation id, iterations, trailer digest id and salt, as the reader
  // will; and starts the CBC chain (initial value: the salt's first block,
  // or zeros for version 258) and the digest chain.
  EncodeResult Begin(const DocumentHeader& header, const std::uint8_t* salt, const char* userName,
                     const char* password);
  // The same, wiping `password` as soon as the key derivation has taken it
  // (before the key is derived and anything is written).
  EncodeResult Begin(const DocumentHeader& header, const std::uint8_t* salt, const char* userName,
                     security::SecretText& password);
  // The same with the key given (`keyLength` must be the cipher's).
  EncodeResult BeginWithKey(const DocumentHeader& header, const std::uint8_t* salt, const std::uint8_t* key,
                            std::uint32_t keyLength);

  // Writes one part with the content of `source`. `alterations` may be null.
  EncodeResult WritePart(PartSource& source, const PartSettings& settings, PartAlterations* alterations = nullptr,
                         PartReport* report = nullptr);

  // Writes the end-marker block (length byte 0, then 1, 2, ... B - 1).
  EncodeResult WriteEndMarker();

  // Writes the plain trailer (see BuildTrailer; empty for none) and ends the
  // document.
  EncodeResult Finish(const std::vector<std::uint8_t>& trailer);

  // Told after every chunk of the current part how far its work has got
  // (done of total, both growing when a second reading becomes necessary);
  // answering false stops the encoding with Cancelled.
  using Progress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
  void SetProgress(Progress progress) { progress_ = std::move(progress); }
  void SetCacheLimit(std::size_t bytes) { cacheLimit_ = bytes; }

  // The 30 header bytes as Begin stored them.
  const std::uint8_t* StoredHeader() const { return storedHeader_; }
  std::uint32_t BlockSize() const { return blockSize_; }
  std::uint32_t PartsWritten() const { return partsWritten_; }

 private:
  class Chain;
  enum class State { Fresh, Writing, Failed, Finished };

  EncodeResult Fail(EncodeResult result);
  EncodeResult Derive(const DocumentHeader& header, const std::uint8_t* salt, const char* userName,
                      const char* password, security::SecretText* consumed);
  EncodeResult StartCipher(const DocumentHeader& header, const std::uint8_t* salt);
  EncodeResult KeyCipher(const std::uint8_t* key, std::uint32_t keyLength);
  // Restarts the digest for the part about to be written.
  void StartPartDigest();
  // The decrypted header block for `settings` with stored length `length`.
  EncodeResult BuildHeaderBlock(const PartSettings& settings, std::uint16_t method, std::uint64_t length,
                                std::vector<std::uint8_t>& block) const;
  // Reads `source` through, `visit` seeing every chunk, and checks its
  // length; chunks are hashed while `hash` holds (the visit may clear it).
  using Visit = std::function<EncodeResult(const std::uint8_t* data, std::size_t length)>;
  EncodeResult ReadThrough(PartSource& source, const bool& hash, std::uint64_t& done, std::uint64_t total,
                           const Visit& visit);
  // Deflates the first SampleSize bytes: does compressing pay?
  EncodeResult CompressionPays(PartSource& source, const DeflateSettings& deflate, bool& pays);
  EncodeResult WriteBlock(std::vector<std::uint8_t>& block, PartAlterations* alterations);
  EncodeResult EndPart(const std::vector<std::uint8_t>& headerBlock, std::uint8_t filler,
                       PartAlterations* alterations);

  VPWriter& sink_;
  State state_ = State::Fresh;
  DocumentHeader header_;
  std::uint8_t storedHeader_[DocumentHeader::Size] = {};
  std::uint8_t salt_[SaltSize] = {};
  bool hasSalt_ = false;
  std::unique_ptr<security::CBCCipher> cipher_;
  std::uint32_t blockSize_ = 0;
  std::unique_ptr<Chain> chain_;
  std::unique_ptr<security::Digest> digest_;
  std::unique_ptr<DigestFeed> feed_;
  std::uint8_t previous_[64] = {};
  std::uint32_t partsWritten_ = 0;
  // The one stream of a continuous document.
  std::unique_ptr<Deflater> stream_;
  std::size_t cacheLimit_ = DefaultCacheLimit;
  std::vector<std::uint8_t> buffer_;
  Progress progress_;
};

}  // namespace codec
