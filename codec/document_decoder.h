#pragma once
// Turns a document container into its parts: derives the key from the user
// name and password, decrypts part headers and data, checks check values,
// expiry and digests, inflates compressed parts and streams every part into a
// VPDecodeWriter.

#include <cstdint>
#include <functional>
#include <memory>

#include "codec/chunk_reader.h"
#include "codec/decode_result.h"
#include "codec/digest_feed.h"
#include "codec/document_header.h"
#include "codec/inflater.h"
#include "codec/vp_codec_base.h"
#include "codec/vp_decode_writer.h"
#include "codec/vp_reader.h"
#include "codec/vp_writer.h"
#include "security/key_derivation_function.h"

namespace security {
class CBCCipher;
class Digest;
}  // namespace security

namespace codec {

// One decoding attempt: build it over a source positioned at the start of the
// document, call DecodeDocument once, destroy it. The source and the writer
// are not owned.
class DocumentDecoder {
 public:
  static constexpr std::uint32_t SaltSize = 32;
  // A part-header block is at most 256 bytes (length byte 255 and one block).
  static constexpr std::uint32_t PartBlockCapacity = 256;
  // Room for a 64-byte name and its NUL.
  static constexpr std::uint32_t NameCapacity = 65;
  // Largest key any cipher here takes, in bytes.
  static constexpr std::uint32_t MaxKeyLength = 32;
  // Parts of at least this many stored bytes are hashed on a helper thread
  // (see DigestFeed); for shorter ones a thread does not pay.
  static constexpr std::uint32_t BackgroundDigestFrom = 1024 * 1024;

  // The current time in seconds since 1970-01-01 00:00 UTC.
  using Clock = std::function<std::int64_t()>;

  DocumentDecoder(VPReader& source, VPDecodeWriter& writer);
  ~DocumentDecoder();
  DocumentDecoder(const DocumentDecoder&) = delete;
  DocumentDecoder& operator=(const DocumentDecoder&) = delete;

  // Reads the header, derives the key (the derived key is wiped before this
  // returns) and decodes every part into the writer. A null user name or
  // password counts as empty; bytes are used exactly as given. Parts whose
  // expiry lies in the past stop the decoding unless `allowExpired`.
  // Throws std::bad_alloc only when there is no memory for the inflater.
  DecodeResult DecodeDocument(const char* userName, const char* password, bool allowExpired);

  // Replaces the clock that expiry dates are compared with (the system
  // clock by default). Read once per decoding.
  void SetClock(Clock clock);
  // zlib allocation hooks for the inflater (tests make allocations fail).
  void SetInflaterAllocator(const Inflater::Allocator& allocator);
  // Told now and then how far a long key derivation has got (see
  // KeyDerivationFunction::SetProgress), so that the reader can show it; a
  // report answered with false stops the derivation, and DecodeDocument
  // returns NoKeyDerivation having written nothing.
  void SetKeyProgress(security::KeyDerivationFunction::Progress progress);
  // Called once the key derivation is over and has let go of the user name
  // and password: from then on the caller may wipe them.
  void SetKeyDerived(std::function<void()> derived);

  // The steps of DecodeDocument, in order.

  // Reads the fixed header (and the salt of version 259), checks magic and
  // version, builds the cipher and sets its key length.
  DecodeResult ReadFixedHeader();
  // Decodes the parts with `key`, which must be the cipher's key length.
  // Needs a successful ReadFixedHeader first.
  DecodeResult DecodeBody(const std::uint8_t* key, std::uint32_t keyLength, bool allowExpired);

  // The key-derivation function for a header's ids, or null when there is
  // none: id 0 SimpleKdf over `digestId` when that is 1 or 2; 1 and 2
  // SimpleKdf over digest 1 and 2; 3 and 4 chained PBKDF2 with HMAC over
  // Keccak-256 and SHA-256, taking the password as MAC key. `iterations` is
  // the header's field times 1000; PBKDF2 adds the first salt byte (signed)
  // and needs `salt` (SaltSize bytes). PBKDF2 without a salt or with fewer
  // than 1 iteration gets no function.
  static std::unique_ptr<security::KeyDerivationFunction> CreateKdf(std::uint32_t kdfId,
                                                                    std::int64_t iterations,
                                                                    std::uint32_t digestId,
                                                                    std::uint32_t keyLength,
                                                                    const std::uint8_t* salt);

  // Copies `length` stored bytes from `reader` into `writer`: reads them in
  // chunks of at most Inflater::InputSize (the stored size is `length` rounded
  // up to the cipher's block size), decrypts them when a cipher is given,
  // drops the block filler beyond `length`, inflates them when the inflater is
  // active, and feeds the output to `digest` when given. Returns the number of
  // bytes written or the (negative) ResultCode of a failure.
  static std::int64_t CopyPartData(VPWriter& writer, std::uint32_t length, ChunkReader& reader,
                                   Inflater& inflater, security::CBCCipher* cipher, DigestFeed* digest);

  // The fixed header in host byte order once ReadFixedHeader has read it.
  const DocumentHeader& Header() const { return header_; }

 private:
  // Reads and decrypts one part-header block into block_ and attaches
  // `partHeader` to it; an end-marker block sets `endMarker` instead.
  DecodeResult ReadPartHeader(std::unique_ptr<VPCodecBase::EncodedHeader>& partHeader, bool& endMarker);
  std::int64_t Now() const;

  std::uint8_t salt_[SaltSize] = {};
  ChunkReader reader_;
  VPDecodeWriter& writer_;
  std::unique_ptr<security::CBCCipher> cipher_;
  std::uint8_t storedHeader_[DocumentHeader::Size] = {};
  DocumentHeader header_;
  bool headerRead_ = false;
  std::uint32_t blockSize_ = 0;
  std::uint8_t block_[PartBlockCapacity] = {};
  std::uint32_t blockLength_ = 0;
  // Whether ReadPartHeader got as far as decrypting the block's first bytes,
  // after which a failure may be the key's doing rather than the file's.
  bool blockDecrypted_ = false;
  Clock clock_;
  security::KeyDerivationFunction::Progress keyProgress_;
  std::function<void()> keyDerived_;
  Inflater::Allocator allocator_;
  bool customAllocator_ = false;
};

}  // namespace codec
