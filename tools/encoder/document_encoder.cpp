// Recipes over the codec's DocumentEncoder. The codec writes what the format
// allows; this layer adds what it must never write:
//   - a recipe the reader must refuse (unknown version, cipher, key length,
//     digest or key derivation) is encoded as the nearest readable document,
//     with a zero key where none can be derived, and its header is stored
//     with the recipe's own fields (the reader stops at them, before any
//     digest);
//   - part damage (check value, method, stored length, stored bytes, digest
//     block, a header block too short for its header) through the encoder's
//     PartAlterations;
//   - trailer damage on the plain trailer bytes.

#include "tools/encoder/document_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "codec/document_decoder.h"
#include "codec/document_encoder.h"
#include "security/cbc_cipher.h"
#include "security/digest.h"

namespace encoder {
namespace {

using codec::DocumentHeader;
using codec::EncodeResult;

bool Fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

// Versions from 259 on carry the salt and the 86-byte part header.
bool HasSalt(const DocumentSpec& recipe) { return recipe.version >= DocumentHeader::Version259; }

std::uint32_t EffectiveFlags(const DocumentSpec& recipe) {
  std::uint32_t flags = recipe.flags;
  if (!recipe.tags.empty() || recipe.rawTagList.has_value()) flags |= DocumentHeader::FlagTagTrailer;
  return flags;
}

// --- Generated content -----------------------------------------------------

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Bytes [offset, offset + length) of the pattern for `seed`: each 8-byte
// group is one SplitMix64 output, so any piece can be produced on its own.
void Generate(std::uint32_t seed, std::uint64_t offset, std::uint8_t* out, std::size_t length) {
  std::size_t i = 0;
  while (i < length) {
    const std::uint64_t position = offset + i;
    const std::uint64_t word = SplitMix64((std::uint64_t{seed} << 40) ^ (position >> 3));
    for (unsigned b = static_cast<unsigned>(position & 7); b < 8 && i < length; ++b) {
      out[i++] = static_cast<std::uint8_t>(word >> (8 * b));
    }
  }
}

// The pattern as a part's source, produced as it is read.
class GeneratedSource final : public codec::PartSource {
 public:
  GeneratedSource(std::uint32_t seed, std::uint64_t length) : seed_(seed), length_(length) {}
  std::uint64_t Length() const override { return length_; }
  bool Rewind() override {
    position_ = 0;
    return true;
  }
  std::int64_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, length_ - position_));
    Generate(seed_, position_, buffer, n);
    position_ += n;
    return static_cast<std::int64_t>(n);
  }

 private:
  std::uint32_t seed_;
  std::uint64_t length_;
  std::uint64_t position_ = 0;
};

std::unique_ptr<codec::PartSource> ContentSource(const PartSpec& part) {
  if (part.generatedLength > 0) return std::make_unique<GeneratedSource>(part.generatorSeed, part.generatedLength);
  return std::make_unique<codec::MemoryPartSource>(part.content);
}

// --- Key and the encoder's header -------------------------------------------

// What the codec encodes with: the recipe's header, or the nearest readable
// one, and the key the reader derives (or a zero key where it derives none).
struct KeyPlan {
  DocumentHeader header;
  std::vector<std::uint8_t> key;
  bool readable = true;
  std::string why;
  bool zeroDigestBlocks = false;  // a body digest id that names no digest
};

void Unreadable(KeyPlan& plan, const std::string& why) {
  if (plan.readable) plan.why = why;
  plan.readable = false;
}

// Derives the key the way the reader does, through the decoder's own choice
// of function. Version 258 has no salt: PBKDF2 is then derived over 32 zero
// bytes (allowed only with allowKdfWithoutSalt); a count below 1 with 1.
bool DeriveKey(const DocumentSpec& recipe, std::uint32_t keyLength, KeyPlan& plan, std::string* error) {
  plan.key.assign(keyLength, 0);
  const bool pbkdf2 = recipe.kdfId == DocumentHeader::KdfPbkdf2Keccak256 || recipe.kdfId == DocumentHeader::KdfPbkdf2Sha256;
  std::array<std::uint8_t, 32> salt{};
  if (HasSalt(recipe)) {
    salt = recipe.salt;
  } else if (pbkdf2) {
    if (!recipe.allowKdfWithoutSalt) {
      return Fail(error, "key-derivation ids 3 and 4 need the salt of version 259 (set allowKdfWithoutSalt to write it anyway)");
    }
    Unreadable(plan, "key-derivation ids 3 and 4 need the salt of version 259");
  }
  std::int64_t iterations = std::int64_t{recipe.iterationThousands} * 1000;
  const std::int64_t count = iterations + static_cast<std::int8_t>(salt[0]);
  if (pbkdf2 && count < 1) {
    Unreadable(plan, "iteration count " + std::to_string(count) + " is below 1");
    iterations = 1 - static_cast<std::int8_t>(salt[0]);
  }
  auto kdf = codec::DocumentDecoder::CreateKdf(recipe.kdfId, iterations, recipe.trailerDigestId, keyLength, salt.data());
  if (kdf == nullptr) {
    Unreadable(plan, "no key derivation for key-derivation id " + std::to_string(recipe.kdfId) + " and digest id " +
                         std::to_string(recipe.trailerDigestId));
    return true;
  }
  kdf->AddInput(recipe.userName.data(), static_cast<std::uint32_t>(recipe.userName.size()));
  kdf->AddInput(recipe.password.data(), static_cast<std::uint32_t>(recipe.password.size()));
  if (keyLength > 0 && !kdf->Derive(plan.key.data(), keyLength)) {
    std::fill(plan.key.begin(), plan.key.end(), 0);
    Unreadable(plan, "the key-derivation function cannot produce " + std::to_string(keyLength) + " bytes");
  }
  return true;
}

bool PlanKey(const DocumentSpec& recipe, KeyPlan& plan, std::string* error) {
  const auto stored = FixedHeaderBytes(recipe);
  plan.header.Parse(stored.data());
  if (!plan.header.IsKnownVersion()) {
    Unreadable(plan, "format version " + std::to_string(recipe.version));
    plan.header.formatVersion = HasSalt(recipe) ? DocumentHeader::Version259 : DocumentHeader::Version258;
  }
  security::CBCCipher cipher(recipe.cipherId);
  if (!cipher.IsValid()) {
    Unreadable(plan, "cipher id " + std::to_string(recipe.cipherId) + " names no cipher");
    plan.header.cipherId = security::kCipherAes;
    plan.header.keyBits = 256;
    plan.key.assign(32, 0);
  } else if (!cipher.GetBlockCipher()->SetKeyLength(recipe.keyBits / 8u)) {
    Unreadable(plan, "the cipher refuses a key of " + std::to_string(recipe.keyBits / 8u) + " bytes");
    plan.header.keyBits = static_cast<std::uint16_t>(cipher.GetBlockCipher()->KeyLength() * 8);
    plan.key.assign(cipher.GetBlockCipher()->KeyLength(), 0);
  } else if (!DeriveKey(recipe, cipher.GetBlockCipher()->KeyLength(), plan, error)) {
    return false;
  }
  if (!security::Digest(recipe.trailerDigestId).IsValid()) {
    Unreadable(plan, "trailer digest id " + std::to_string(recipe.trailerDigestId) + " names no digest");
    plan.header.trailerDigestId = security::kDigestSha256;
  }
  if (recipe.bodyDigestId != 0 && !security::Digest(recipe.bodyDigestId).IsValid()) {
    Unreadable(plan, "body digest id " + std::to_string(recipe.bodyDigestId) + " names no digest");
    plan.header.bodyDigestId = security::kDigestSha256;
    plan.zeroDigestBlocks = true;
  }
  return true;
}

// Passes the codec's output on, with the recipe's own 30 header bytes in
// place of those the codec wrote (they differ for recipes the reader must
// refuse, and by headerByteAfterDigest).
class RecipeSink final : public codec::VPWriter {
 public:
  RecipeSink(const ByteSink& sink, const std::array<std::uint8_t, 30>& header) : sink_(sink), header_(header) {}
  bool Write(const void* data, std::uint32_t length) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (offset_ < header_.size()) {
      std::vector<std::uint8_t> copy(p, p + length);
      for (std::size_t i = 0; i < length && offset_ + i < header_.size(); ++i) {
        copy[i] = header_[static_cast<std::size_t>(offset_ + i)];
      }
      offset_ += length;
      return sink_(copy.data(), copy.size());
    }
    offset_ += length;
    return sink_(p, length);
  }

 private:
  const ByteSink& sink_;
  std::array<std::uint8_t, 30> header_;
  std::uint64_t offset_ = 0;
};

// --- Part damage ----------------------------------------------------------------

class PartDamage final : public codec::PartAlterations {
 public:
  PartDamage(const PartSpec& part, std::uint16_t version, std::uint32_t blockSize, bool zeroDigest)
      : part_(part), version_(version), blockSize_(blockSize), zeroDigest_(zeroDigest) {
    if (part.storedData) stored_ = std::make_unique<codec::MemoryPartSource>(*part.storedData);
  }

  codec::PartSource* StoredBytes() override { return stored_.get(); }

  void AlterHeaderBlock(std::vector<std::uint8_t>& block) override {
    auto header = codec::VPCodecBase::CreateEncodedHeader(version_);
    header->Attach(block.data(), static_cast<std::uint32_t>(block.size()));
    if (part_.checkOverride) header->SetCheck(*part_.checkOverride);
    if (part_.compressionOverride) header->SetCompression(*part_.compressionOverride);
    if (part_.storedLengthOverride) header->SetLength(*part_.storedLengthOverride);
    // A length byte whose block is too short for the header keeps the
    // header's tail, the length byte winning byte 0.
    if (ShortBlock()) {
      const std::uint32_t t = part_.lengthByte - part_.lengthByte % blockSize_ + blockSize_;
      block.erase(block.begin(), block.end() - static_cast<std::ptrdiff_t>(t));
      block[0] = part_.lengthByte;
    }
  }

  void AlterDigestBlock(std::uint8_t* block, std::uint32_t length) override {
    if (zeroDigest_) std::memset(block, 0, length);
    if (part_.corruptDigest) block[0] ^= 0x01;
  }

  // Whether the part's length byte names a block the codec would refuse.
  bool ShortBlock() const {
    if (part_.lengthByte == 0) return false;
    const std::uint32_t t = part_.lengthByte - part_.lengthByte % blockSize_ + blockSize_;
    return t <= codec::VPCodecBase::CreateEncodedHeader(version_)->Size();
  }

 private:
  const PartSpec& part_;
  std::uint16_t version_;
  std::uint32_t blockSize_;
  bool zeroDigest_;
  std::unique_ptr<codec::MemoryPartSource> stored_;
};

// --- Tag trailer ------------------------------------------------------------

void AppendBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

}  // namespace

std::vector<std::uint8_t> PartContent(const PartSpec& part) {
  if (part.generatedLength == 0) return part.content;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(part.generatedLength));
  Generate(part.generatorSeed, 0, out.data(), out.size());
  return out;
}

std::array<std::uint8_t, 30> FixedHeaderBytes(const DocumentSpec& recipe) {
  DocumentHeader header;
  std::memcpy(header.magic, "emdf", 4);
  header.formatVersion = recipe.version;
  header.cipherId = recipe.cipherId;
  header.trailerDigestId = recipe.trailerDigestId;
  header.keyBits = recipe.keyBits;
  header.partCount =
      recipe.partCountField ? *recipe.partCountField : static_cast<std::uint16_t>(recipe.parts.size());
  header.flags = EffectiveFlags(recipe);
  header.kdfId = recipe.kdfId;
  header.iterationThousands = recipe.iterationThousands;
  header.bodyDigestId = recipe.bodyDigestId;
  std::memcpy(header.reserved, recipe.reserved.data(), recipe.reserved.size());
  std::array<std::uint8_t, 30> bytes{};
  header.Store(bytes.data());
  return bytes;
}

bool BuildTrailer(const DocumentSpec& recipe, std::vector<std::uint8_t>& trailer, std::string* error) {
  trailer.clear();
  if ((EffectiveFlags(recipe) & DocumentHeader::FlagTagTrailer) == 0) return true;
  std::vector<std::uint8_t> list;
  if (recipe.rawTagList) {
    list = *recipe.rawTagList;
  } else if (!codec::BuildTagList(recipe.tags, list)) {
    return Fail(error, "a tag key is empty or longer than 255 bytes");
  }
  const auto header = FixedHeaderBytes(recipe);
  if (!codec::BuildTrailer(header.data(), list, recipe.trailerDigestId, recipe.trailerZlibLevel, trailer)) {
    return Fail(error, "deflate of the tag list failed");
  }
  const security::Digest digest(recipe.trailerDigestId);
  if (recipe.corruptTrailerDigest && digest.IsValid()) trailer[trailer.size() - 4 - digest.OutputLength()] ^= 0x01;
  if (recipe.trailerLengthOverride) {
    trailer.resize(trailer.size() - 4);
    AppendBE32(trailer, *recipe.trailerLengthOverride);
  }
  return true;
}

bool PadTrailerTo(DocumentSpec& recipe, std::uint32_t trailerLength, const std::string& key, std::string* error) {
  auto it = std::find_if(recipe.tags.begin(), recipe.tags.end(), [&](const TagSpec& t) { return t.key == key; });
  if (it == recipe.tags.end()) {
    recipe.tags.push_back(TagSpec{key, {}, true});
    it = recipe.tags.end() - 1;
  }
  it->binary = true;
  const std::optional<std::uint32_t> override = recipe.trailerLengthOverride;
  recipe.trailerLengthOverride.reset();

  // N of the trailer with a value of `length` bytes.
  auto measure = [&](std::size_t length, std::uint32_t& n) {
    it->value.resize(length);
    Generate(0x7A11u, 0, it->value.data(), length);
    std::vector<std::uint8_t> trailer;
    if (!BuildTrailer(recipe, trailer, error)) return false;
    n = static_cast<std::uint32_t>(trailer.size() - 4);
    return true;
  };
  // Deflate's cost per byte of random data is about one byte, so stepping by
  // the difference converges; stored-block overheads can make a length
  // unreachable, which the final scan reports.
  std::size_t length = 0;
  std::uint32_t n = 0;
  bool found = false;
  std::set<std::size_t> tried;
  for (int round = 0; round < 32 && !found; ++round) {
    if (!measure(length, n)) return false;
    if (n == trailerLength) {
      found = true;
      break;
    }
    tried.insert(length);
    const std::int64_t next = static_cast<std::int64_t>(length) + (std::int64_t{trailerLength} - n);
    if (next < 0 || tried.count(static_cast<std::size_t>(next)) != 0) break;
    length = static_cast<std::size_t>(next);
  }
  const std::size_t centre = length;
  for (std::size_t d = 0; d < 64 && !found; ++d) {
    for (std::size_t candidate : {centre + d, centre >= d ? centre - d : centre}) {
      if (!measure(candidate, n)) return false;
      if (n == trailerLength) {
        found = true;
        break;
      }
    }
  }
  recipe.trailerLengthOverride = override;
  if (!found) return Fail(error, "no value length gives a trailer of " + std::to_string(trailerLength) + " bytes");
  return true;
}

bool DeriveDocumentKey(const DocumentSpec& recipe, std::vector<std::uint8_t>& key, std::string* error) {
  KeyPlan plan;
  DocumentSpec allowed = recipe;
  allowed.allowKdfWithoutSalt = true;
  if (!PlanKey(allowed, plan, error)) return false;
  key = plan.key;
  if (!plan.readable) return Fail(error, plan.why);
  return true;
}

bool EncodeDocument(const DocumentSpec& recipe, const ByteSink& sink, std::string* error) {
  if (!recipe.partCountField && recipe.parts.size() > 0xFFFF) {
    return Fail(error, "more than 65535 parts need partCountField");
  }
  KeyPlan plan;
  if (!PlanKey(recipe, plan, error)) return false;
  const std::uint32_t nameField = HasSalt(recipe) ? 64 : 34;
  std::size_t lastDeflated = recipe.parts.size();
  for (std::size_t i = 0; i < recipe.parts.size(); ++i) {
    const PartSpec& part = recipe.parts[i];
    if (part.name.size() > nameField) {
      return Fail(error, "part name \"" + part.name + "\" is longer than " + std::to_string(nameField) + " bytes");
    }
    if (part.compression > codec::VPCodecBase::CompressionZlib && !part.compressionOverride) {
      return Fail(error, "compression method " + std::to_string(part.compression) + " is not 0 or 1");
    }
    if (part.compression == codec::VPCodecBase::CompressionZlib && !part.storedData) lastDeflated = i;
  }
  // The trailer is small and independent of the body: build it first so that
  // a bad tag fails before anything is written.
  std::vector<std::uint8_t> trailer;
  if (!BuildTrailer(recipe, trailer, error)) return false;

  auto stored = FixedHeaderBytes(recipe);
  if (recipe.headerByteAfterDigest) {
    if (recipe.headerByteAfterDigest->first >= stored.size()) return Fail(error, "altered header offset beyond 30");
    stored[recipe.headerByteAfterDigest->first] = recipe.headerByteAfterDigest->second;
  }
  RecipeSink out(sink, stored);
  codec::DocumentEncoder encoder(out);
  encoder.SetCacheLimit(static_cast<std::size_t>(recipe.compressedCacheLimit));
  const std::uint8_t* salt = plan.header.formatVersion == DocumentHeader::Version259 ? recipe.salt.data() : nullptr;
  EncodeResult result = encoder.BeginWithKey(plan.header, salt, plan.key.data(), static_cast<std::uint32_t>(plan.key.size()));
  for (std::size_t i = 0; i < recipe.parts.size() && result == EncodeResult::Ok; ++i) {
    const PartSpec& part = recipe.parts[i];
    PartDamage damage(part, plan.header.formatVersion, encoder.BlockSize(), plan.zeroDigestBlocks);
    codec::PartSettings settings;
    settings.name = part.name;
    settings.compression = part.compression == codec::VPCodecBase::CompressionZlib
                               ? codec::PartSettings::Compression::Zlib
                               : codec::PartSettings::Compression::Stored;
    settings.deflate = {codec::DeflateImplementation::Zlib, part.zlibLevel};
    settings.lastOfStream = i == lastDeflated;
    settings.expiry = part.expiry;
    settings.auxiliary1 = part.auxiliary1;
    settings.auxiliary2 = part.auxiliary2;
    settings.lengthByte = damage.ShortBlock() ? 0 : part.lengthByte;
    settings.filler = part.fillerByte;
    const std::unique_ptr<codec::PartSource> content = ContentSource(part);
    result = encoder.WritePart(*content, settings, &damage);
    if (result != EncodeResult::Ok) {
      return Fail(error, "part \"" + part.name + "\": " + codec::EncodeResultText(result));
    }
  }
  if (result == EncodeResult::Ok && recipe.endMarker) result = encoder.WriteEndMarker();
  if (result == EncodeResult::Ok) result = encoder.Finish(trailer);
  if (result != EncodeResult::Ok) return Fail(error, codec::EncodeResultText(result));
  return true;
}

bool EncodeDocument(const DocumentSpec& recipe, std::vector<std::uint8_t>& out, std::string* error) {
  out.clear();
  return EncodeDocument(
      recipe,
      [&out](const std::uint8_t* data, std::size_t length) {
        out.insert(out.end(), data, data + length);
        return true;
      },
      error);
}

bool EncodeDocumentToFile(const DocumentSpec& recipe, const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return Fail(error, "cannot create " + path);
  bool ok = EncodeDocument(
      recipe,
      [file](const std::uint8_t* data, std::size_t length) { return std::fwrite(data, 1, length, file) == length; },
      error);
  if (std::fclose(file) != 0 && ok) ok = Fail(error, "cannot write " + path);
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace encoder
