#include "codec/inspect_document.h"

#include <cstring>
#include <memory>
#include <new>

#include "codec/byte_order.h"
#include "codec/chunk_reader.h"
#include "codec/decode_result.h"
#include "codec/document_decoder.h"
#include "codec/file_reader.h"
#include "codec/inflater.h"
#include "security/digest_imp.h"
#include "codec/memory_reader.h"
#include "codec/memory_writer.h"
#include "security/digest.h"
#include "security/uninitialised_array.h"

namespace codec {
namespace {

// Collects the inflated tag list, refusing to grow past MaxTagListSize.
class BoundedMemoryWriter final : public VPWriter {
 public:
  explicit BoundedMemoryWriter(std::uint32_t initialCapacity) : buffer_(initialCapacity) {}

  bool Write(const void* data, std::uint32_t length) override {
    if (std::uint64_t{buffer_.Used()} + length > MaxTagListSize) {
      overflowed_ = true;
      return false;
    }
    return buffer_.Write(data, length);
  }

  bool Overflowed() const { return overflowed_; }
  const std::uint8_t* Buffer() const { return buffer_.Buffer(); }
  std::uint32_t Used() const { return buffer_.Used(); }

 private:
  MemoryWriter buffer_;
  bool overflowed_ = false;
};

// Reads, inflates and checks the trailer and loads its tags. `digest` has
// already taken the stored header.
DecodeResult ReadTrailer(VPReader& source, security::Digest& digest, std::uint32_t digestLength,
                         DocumentTagTable& tags, const Inflater::Allocator* allocator) {
  std::uint8_t lengthBytes[4];
  if (!source.Seek(-4, 2) || source.Read(lengthBytes, 1, 4) != 4) {
    return DecodeResult::Truncated;
  }
  const std::uint32_t n = LoadBigEndian32(lengthBytes);
  if (n > MaxTrailerSize || n < digestLength) {
    return DecodeResult::Corrupt;
  }

  const auto trailer = security::MakeUninitialisedArray<std::uint8_t[]>(n == 0 ? 1 : n);
  if (!source.Seek(-static_cast<std::int32_t>(4 + n), 2) ||
      source.Read(trailer.get(), 1, n) != n) {
    return DecodeResult::Truncated;
  }

  const std::uint32_t streamLength = n - digestLength;
  MemoryReader streamSource(trailer.get(), streamLength);
  ChunkReader streamReader(streamSource);
  Inflater inflater(false, allocator);
  inflater.SetActive(true);
  BoundedMemoryWriter list(2 * streamLength);
  DigestFeed feed(&digest);
  const std::int64_t copied =
      DocumentDecoder::CopyPartData(list, streamLength, streamReader, inflater, nullptr, &feed);
  if (copied < 0) {
    if (list.Overflowed()) {
      return DecodeResult::Corrupt;
    }
    if (copied == ResultCode(DecodeResult::PartOutputRefused)) {
      return DecodeResult::OutOfMemory;  // the list buffer could not grow
    }
    return static_cast<DecodeResult>(copied);
  }

  std::uint8_t computed[security::kMaxDigestSize] = {};
  if (!digest.Final(computed, digestLength) ||
      std::memcmp(computed, trailer.get() + streamLength, digestLength) != 0) {
    return DecodeResult::Corrupt;
  }
  MemoryReader listSource(list.Buffer(), list.Used());
  ChunkReader listReader(listSource);
  tags.ReadTags(listReader);
  return DecodeResult::Ok;
}

}  // namespace

DecodeResult InspectDocument(VPReader& source, DocumentHeader& header, bool rewind,
                             DocumentTagTable* tags, const Inflater::Allocator* allocator) {
  std::uint8_t stored[DocumentHeader::Size];
  if (source.Read(stored, 1, DocumentHeader::Size) != DocumentHeader::Size) {
    return DecodeResult::HeaderTooShort;
  }
  header.Parse(stored);

  DecodeResult result = DecodeResult::Ok;
  security::Digest digest(header.trailerDigestId);
  const std::uint32_t digestLength = security::DigestOutputSize(header.trailerDigestId);
  if (!header.HasMagic()) {
    result = DecodeResult::BadMagic;
  } else if (!digest.IsValid() || digestLength == 0) {
    result = DecodeResult::UnknownDigest;
  } else {
    digest.Update(stored, DocumentHeader::Size);
    bool finalResult = false;
    if (tags != nullptr && header.HasFlag(DocumentHeader::FlagTagTrailer)) {
      result = ReadTrailer(source, digest, digestLength, *tags, allocator);
      // Reading failures and inflater failures stand; only a clean read or a
      // corrupt trailer give way to the version check below.
      finalResult = result != DecodeResult::Ok && result != DecodeResult::Corrupt;
    }
    if (!finalResult && !header.IsKnownVersion()) {
      result = DecodeResult::UnsupportedVersion;
    }
  }

  if (rewind) {
    source.Seek(0, 0);
  }
  return result;
}

DecodeResult InspectDocument(std::FILE* file, DocumentHeader& header, bool rewind,
                             DocumentTagTable* tags) {
  inspection::FileReader source(file);
  return InspectDocument(source, header, rewind, tags);
}

}  // namespace codec
