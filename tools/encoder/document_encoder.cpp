// The document encoder. Every byte of the container is laid out here by hand;
// only the cryptography comes from security/ and the deflate from zlib.
//
// Order of work for one document:
//   1. plan: the stored length of every part (compressed parts are deflated
//      once to measure them; small outputs are kept for step 3);
//   2. fixed header and salt, in plain;
//   3. per part, in one CBC chain: header block, stored data padded to the
//      block size, digest block; then the end marker when asked for;
//   4. the plain tag trailer.
// Large parts are never held whole: content is produced, deflated, hashed and
// encrypted in pieces of at most kPiece bytes.

#include "tools/encoder/document_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "security/cbc_cipher.h"
#include "security/digest.h"
#include "security/hmac.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"
#include "security/simple_kdf.h"

namespace encoder {
namespace {

using codec::DocumentHeader;
constexpr std::uint32_t kFlagTagTrailer = DocumentHeader::FlagTagTrailer;
constexpr std::uint32_t kFlagContinuousStream = DocumentHeader::FlagContinuousStream;

constexpr std::size_t kPiece = 64 * 1024;

constexpr std::uint32_t kHeaderSize102 = 72;
constexpr std::uint32_t kHeaderSize103 = 86;
constexpr std::uint32_t kNameField102 = 34;
constexpr std::uint32_t kNameField103 = 64;

bool Fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

void StoreBE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

void StoreBE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

void AppendBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  std::uint8_t b[4];
  StoreBE32(b, v);
  out.insert(out.end(), b, b + 4);
}

// Versions from 259 on carry the salt and the 86-byte part header.
bool HasSalt(const DocumentSpec& recipe) { return recipe.version >= DocumentHeader::Version259; }

std::uint32_t EffectiveFlags(const DocumentSpec& recipe) {
  std::uint32_t flags = recipe.flags;
  if (!recipe.tags.empty() || recipe.rawTagList.has_value()) flags |= kFlagTagTrailer;
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

std::uint64_t ContentLength(const PartSpec& part) {
  return part.generatedLength > 0 ? part.generatedLength : part.content.size();
}

using PieceFn = std::function<bool(const std::uint8_t*, std::size_t)>;

// Hands the part's content to `fn` in pieces of at most kPiece bytes.
bool ForEachContentPiece(const PartSpec& part, const PieceFn& fn) {
  if (part.generatedLength == 0) {
    for (std::size_t done = 0; done < part.content.size(); done += kPiece) {
      const std::size_t n = std::min(kPiece, part.content.size() - done);
      if (!fn(part.content.data() + done, n)) return false;
    }
    return true;
  }
  std::vector<std::uint8_t> piece(kPiece);
  for (std::uint64_t done = 0; done < part.generatedLength; done += kPiece) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, part.generatedLength - done));
    Generate(part.generatorSeed, done, piece.data(), n);
    if (!fn(piece.data(), n)) return false;
  }
  return true;
}

// --- Deflate ----------------------------------------------------------------

// Deflates the compressed parts in order. Without a continuous stream every
// part is a complete zlib stream; with one, each part's portion ends with a
// sync flush (so it inflates to exactly that part's content) and the last
// compressed part finishes the stream. The same sequence of calls always
// gives the same bytes, which the measuring pass relies on.
class PartCompressor {
 public:
  explicit PartCompressor(bool continuous) : continuous_(continuous), out_(kPiece) {}
  ~PartCompressor() {
    if (active_) deflateEnd(&zs_);
  }
  PartCompressor(const PartCompressor&) = delete;
  PartCompressor& operator=(const PartCompressor&) = delete;

  bool Compress(const PartSpec& part, bool lastOfStream, const PieceFn& sink, std::string* error) {
    if (!active_) {
      zs_ = z_stream{};
      if (deflateInit2(&zs_, part.zlibLevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return Fail(error, "deflate cannot start (level " + std::to_string(part.zlibLevel) + ")");
      }
      active_ = true;
      level_ = part.zlibLevel;
    } else if (part.zlibLevel != level_) {
      if (deflateParams(&zs_, part.zlibLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
        return Fail(error, "deflate refuses level " + std::to_string(part.zlibLevel));
      }
      level_ = part.zlibLevel;
    }
    const bool ok = ForEachContentPiece(part, [&](const std::uint8_t* data, std::size_t n) {
      zs_.next_in = const_cast<Bytef*>(data);
      zs_.avail_in = static_cast<uInt>(n);
      while (zs_.avail_in > 0) {
        if (!Run(Z_NO_FLUSH, sink, error)) return false;
      }
      return true;
    });
    if (!ok) return false;
    const int flush = (!continuous_ || lastOfStream) ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      zs_.next_out = out_.data();
      zs_.avail_out = static_cast<uInt>(out_.size());
      const int rc = deflate(&zs_, flush);
      const std::size_t have = out_.size() - zs_.avail_out;
      if (have > 0 && !sink(out_.data(), have)) return Fail(error, "write refused");
      if (rc == Z_STREAM_END) break;
      // A sync flush right after another one has nothing to add.
      if (rc == Z_BUF_ERROR && flush != Z_FINISH) break;
      if (rc != Z_OK) return Fail(error, "deflate failed");
      if (flush != Z_FINISH && zs_.avail_out != 0) break;
    }
    if (flush == Z_FINISH) {
      deflateEnd(&zs_);
      active_ = false;
    }
    return true;
  }

 private:
  bool Run(int flush, const PieceFn& sink, std::string* error) {
    zs_.next_out = out_.data();
    zs_.avail_out = static_cast<uInt>(out_.size());
    const int rc = deflate(&zs_, flush);
    if (rc != Z_OK && rc != Z_BUF_ERROR) return Fail(error, "deflate failed");
    const std::size_t have = out_.size() - zs_.avail_out;
    if (have > 0 && !sink(out_.data(), have)) return Fail(error, "write refused");
    return true;
  }

  bool continuous_;
  bool active_ = false;
  int level_ = 0;
  z_stream zs_{};
  std::vector<std::uint8_t> out_;
};

bool DeflateWhole(const std::vector<std::uint8_t>& in, int level, std::vector<std::uint8_t>& out,
                  std::string* error) {
  uLongf bound = compressBound(static_cast<uLong>(in.size()));
  out.resize(bound);
  if (compress2(out.data(), &bound, in.data(), static_cast<uLong>(in.size()), level) != Z_OK) {
    return Fail(error, "deflate of the tag list failed");
  }
  out.resize(bound);
  return true;
}

// --- Key derivation ----------------------------------------------------------

std::unique_ptr<security::KeyDerivationFunction> MakePbkdf2(std::uint8_t kdfId, std::uint32_t count,
                                                             const std::uint8_t* salt) {
  using security::HMac;
  using security::KeccakF1600Digest;
  using security::PasswordKdfAdapter;
  using security::PbKdf2;
  using security::Sha2Digest;
  if (kdfId == DocumentHeader::KdfPbkdf2Keccak256) {
    using Kdf = PasswordKdfAdapter<PbKdf2<HMac<KeccakF1600Digest>>>;
    return std::make_unique<Kdf>(count, salt, 32, Kdf::ChainedBlocks);
  }
  using Kdf = PasswordKdfAdapter<PbKdf2<HMac<Sha2Digest>>>;
  return std::make_unique<Kdf>(count, salt, 32, Kdf::ChainedBlocks);
}

// Derives `keyLength` bytes the way the reader does. False (with the reason)
// when the reader has no derivation for the recipe; `key` then holds what the
// encoder encrypts with instead. `encodable` is cleared for a recipe the
// encoder refuses outright.
bool DeriveKey(const DocumentSpec& recipe, std::uint32_t keyLength, std::vector<std::uint8_t>& key,
               std::string* why, bool* encodable) {
  key.assign(keyLength, 0);
  if (encodable != nullptr) *encodable = true;
  std::unique_ptr<security::KeyDerivationFunction> kdf;
  bool readable = true;
  switch (recipe.kdfId) {
    case DocumentHeader::KdfSimpleOverTrailerDigest:
    case DocumentHeader::KdfSimpleOverDigest1:
    case DocumentHeader::KdfSimpleSha1: {
      // Ids 1 and 2 name the digest by their own number.
      std::uint32_t digestId = recipe.kdfId;
      if (recipe.kdfId == DocumentHeader::KdfSimpleOverTrailerDigest) {
        if (recipe.trailerDigestId != 1 && recipe.trailerDigestId != security::kDigestSha1) {
          return Fail(why, "key-derivation id 0 needs trailer digest id 1 or 2");
        }
        digestId = recipe.trailerDigestId;
      }
      auto simple = std::make_unique<security::SimpleKdf>(digestId, keyLength);
      if (!simple->IsValid()) return Fail(why, "digest id " + std::to_string(digestId) + " names no digest");
      kdf = std::move(simple);
      break;
    }
    case DocumentHeader::KdfPbkdf2Keccak256:
    case DocumentHeader::KdfPbkdf2Sha256: {
      std::array<std::uint8_t, 32> salt{};
      if (HasSalt(recipe)) {
        salt = recipe.salt;
      } else {
        if (!recipe.allowKdfWithoutSalt && encodable != nullptr) *encodable = false;
        readable = false;
        if (why != nullptr) *why = "key-derivation ids 3 and 4 need the salt of version 259";
      }
      std::int64_t count = std::int64_t{recipe.iterationThousands} * 1000 + static_cast<std::int8_t>(salt[0]);
      if (count < 1) {
        readable = false;
        if (why != nullptr) *why = "iteration count " + std::to_string(count) + " is below 1";
        count = 1;
      }
      kdf = MakePbkdf2(recipe.kdfId, static_cast<std::uint32_t>(count), salt.data());
      break;
    }
    default:
      return Fail(why, "unknown key-derivation id " + std::to_string(recipe.kdfId));
  }
  kdf->AddInput(recipe.userName.data(), static_cast<std::uint32_t>(recipe.userName.size()));
  kdf->AddInput(recipe.password.data(), static_cast<std::uint32_t>(recipe.password.size()));
  if (keyLength > 0 && !kdf->Derive(key.data(), keyLength)) {
    std::fill(key.begin(), key.end(), 0);
    return Fail(why, "the key-derivation function cannot produce " + std::to_string(keyLength) + " bytes");
  }
  return readable;
}

// The cipher the document is encrypted with, keyed and chained as the reader
// will find it (or with the documented fallback).
struct CipherSetup {
  std::unique_ptr<security::CBCCipher> cbc;
  std::uint32_t blockSize = 0;
  std::vector<std::uint8_t> key;
  bool readable = true;
  std::string why;
};

bool SetUpCipher(const DocumentSpec& recipe, CipherSetup& setup, std::string* error) {
  setup.cbc = std::make_unique<security::CBCCipher>(recipe.cipherId);
  if (!setup.cbc->IsValid()) {
    setup.readable = false;
    setup.why = "cipher id " + std::to_string(recipe.cipherId) + " names no cipher";
    setup.cbc = std::make_unique<security::CBCCipher>(security::kCipherAes);
  }
  security::BlockCipher* bc = setup.cbc->GetBlockCipher();
  setup.blockSize = bc->BlockSize();
  const std::uint32_t wanted = recipe.keyBits / 8u;
  if (setup.readable && !bc->SetKeyLength(wanted)) {
    setup.readable = false;
    setup.why = "the cipher refuses a key of " + std::to_string(wanted) + " bytes";
  }
  const std::uint32_t keyLength = bc->KeyLength();
  if (setup.readable) {
    bool encodable = true;
    std::string why;
    if (!DeriveKey(recipe, keyLength, setup.key, &why, &encodable)) {
      if (!encodable) return Fail(error, why + " (set allowKdfWithoutSalt to write it anyway)");
      setup.readable = false;
      setup.why = why;
    }
  } else {
    setup.key.assign(keyLength, 0);
  }
  bc->SetKey(setup.key.data());
  if (HasSalt(recipe)) {
    setup.cbc->SetIv(recipe.salt.data(), static_cast<std::uint32_t>(recipe.salt.size()));
  } else {
    setup.cbc->SetIv(nullptr, 0);
  }
  return true;
}

// --- Encrypted stream ----------------------------------------------------------

// Collects plaintext, encrypts whole blocks in the one CBC chain and passes
// the stored bytes on in pieces of about kPiece bytes.
class ChainWriter {
 public:
  ChainWriter(security::CBCCipher& cbc, std::uint32_t blockSize, const ByteSink& sink)
      : cbc_(cbc), blockSize_(blockSize), sink_(sink) {
    buffer_.reserve(kPiece + blockSize);
  }

  bool Put(const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
      const std::size_t take = std::min(length, kPiece - buffer_.size());
      buffer_.insert(buffer_.end(), data, data + take);
      data += take;
      length -= take;
      if (buffer_.size() == kPiece && !Emit(kPiece)) return false;
    }
    return true;
  }

  // Ends one encrypted piece: pads the last partial block with `filler` and
  // writes out everything collected.
  bool EndPiece(std::uint8_t filler) {
    const std::size_t rest = buffer_.size() % blockSize_;
    if (rest != 0) buffer_.insert(buffer_.end(), blockSize_ - rest, filler);
    return Emit(buffer_.size());
  }

 private:
  bool Emit(std::size_t length) {
    if (length == 0) return true;
    if (!cbc_.Encrypt(buffer_.data(), buffer_.data(), static_cast<std::uint32_t>(length))) return false;
    if (!sink_(buffer_.data(), length)) return false;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
    return true;
  }

  security::CBCCipher& cbc_;
  std::uint32_t blockSize_;
  const ByteSink& sink_;
  std::vector<std::uint8_t> buffer_;
};

// --- Part header block ----------------------------------------------------------

// The decrypted header block of one part: length byte F, filler, and the
// 72- or 86-byte part header at the end of the T bytes.
bool BuildHeaderBlock(const DocumentSpec& recipe, const PartSpec& part, std::uint32_t blockSize,
                      std::uint32_t storedLength, std::vector<std::uint8_t>& block, std::string* error) {
  const bool v103 = HasSalt(recipe);
  const std::uint32_t headerSize = v103 ? kHeaderSize103 : kHeaderSize102;
  const std::uint32_t nameField = v103 ? kNameField103 : kNameField102;

  const std::string& name = part.rawName ? *part.rawName : part.name;
  if (name.size() > nameField) {
    return Fail(error, "part name \"" + name + "\" is longer than " + std::to_string(nameField) + " bytes");
  }
  if (part.compression > codec::VPCodecBase::CompressionZlib && !part.compressionOverride) {
    return Fail(error, "compression method " + std::to_string(part.compression) + " is not 0 or 1");
  }

  // Default: the smallest block that holds the length byte and the header.
  std::uint32_t f = part.lengthByte;
  if (f == 0) f = ((headerSize + 1 + blockSize - 1) / blockSize) * blockSize - 1;
  const std::uint32_t t = f - (f % blockSize) + blockSize;

  std::uint8_t header[kHeaderSize103] = {};
  const std::uint16_t method = part.compressionOverride ? *part.compressionOverride : part.compression;
  const std::uint32_t expiry =
      part.expiry == 0x7FFFFFFF ? 0xFFFFFFFFu : static_cast<std::uint32_t>(part.expiry);
  const std::uint32_t check = part.checkOverride ? *part.checkOverride : ~t;
  const std::uint32_t length = part.storedLengthOverride ? *part.storedLengthOverride : storedLength;
  StoreBE16(header + 0, method);
  if (v103) {
    StoreBE32(header + 2, part.auxiliary1);
    StoreBE32(header + 6, length);
    StoreBE32(header + 10, expiry);
    StoreBE32(header + 14, part.auxiliary2);
    std::memcpy(header + 18, name.data(), name.size());
    StoreBE32(header + 82, check);
  } else {
    std::memcpy(header + 6, name.data(), name.size());
    StoreBE32(header + 40, check);
    StoreBE32(header + 44, part.auxiliary1);
    StoreBE32(header + 48, length);
    StoreBE32(header + 52, expiry);
    StoreBE32(header + 56, part.auxiliary2);
  }

  // A block too short for its header keeps what fits of the header's tail;
  // the length byte always wins byte 0.
  block.assign(t, part.fillerByte);
  for (std::uint32_t i = 0; i < headerSize; ++i) {
    const std::int64_t at = std::int64_t{t} - headerSize + i;
    if (at >= 0) block[static_cast<std::size_t>(at)] = header[i];
  }
  block[0] = static_cast<std::uint8_t>(f);
  return true;
}

// --- Tag trailer ------------------------------------------------------------

bool BuildTagList(const DocumentSpec& recipe, std::vector<std::uint8_t>& list, std::string* error) {
  if (recipe.rawTagList) {
    list = *recipe.rawTagList;
    return true;
  }
  list.clear();
  for (const TagSpec& tag : recipe.tags) {
    if (tag.key.size() > 0xFF) return Fail(error, "tag key \"" + tag.key + "\" is longer than 255 bytes");
    if (tag.key.empty() && !tag.binary) return Fail(error, "an empty text tag key would end the tag list");
    const std::vector<std::uint8_t> value = tag.binary ? tag.value : EscapeTagText(tag.value);
    if (value.size() > 0xFFFFFFFFu) return Fail(error, "tag value too long");
    AppendBE32(list, static_cast<std::uint32_t>(tag.key.size()) | (tag.binary ? 0x100u : 0u));
    list.insert(list.end(), tag.key.begin(), tag.key.end());
    AppendBE32(list, static_cast<std::uint32_t>(value.size()));
    list.insert(list.end(), value.begin(), value.end());
  }
  AppendBE32(list, 0);
  return true;
}

}  // namespace

std::vector<std::uint8_t> EscapeTagText(const std::vector<std::uint8_t>& text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size());
  for (std::uint8_t c : text) {
    if (c == '\\') {
      out.push_back('\\');
      out.push_back('\\');
    } else if (c < 0x20) {
      out.push_back('\\');
      out.push_back(static_cast<std::uint8_t>(c + 0x60));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::vector<std::uint8_t> PartContent(const PartSpec& part) {
  if (part.generatedLength == 0) return part.content;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(part.generatedLength));
  Generate(part.generatorSeed, 0, out.data(), out.size());
  return out;
}

std::array<std::uint8_t, 30> FixedHeaderBytes(const DocumentSpec& recipe) {
  std::array<std::uint8_t, 30> h{};
  std::memcpy(h.data(), "emdf", 4);
  StoreBE16(&h[4], recipe.version);
  StoreBE16(&h[6], recipe.cipherId);
  StoreBE16(&h[8], recipe.trailerDigestId);
  StoreBE16(&h[10], recipe.keyBits);
  const std::uint16_t count =
      recipe.partCountField ? *recipe.partCountField : static_cast<std::uint16_t>(recipe.parts.size());
  StoreBE16(&h[12], count);
  StoreBE32(&h[14], EffectiveFlags(recipe));
  h[18] = recipe.kdfId;
  StoreBE16(&h[19], recipe.iterationThousands);
  h[21] = recipe.bodyDigestId;
  std::memcpy(&h[22], recipe.reserved.data(), recipe.reserved.size());
  return h;
}

bool BuildTrailer(const DocumentSpec& recipe, std::vector<std::uint8_t>& trailer, std::string* error) {
  trailer.clear();
  if ((EffectiveFlags(recipe) & kFlagTagTrailer) == 0) return true;
  std::vector<std::uint8_t> list;
  if (!BuildTagList(recipe, list, error)) return false;
  if (!DeflateWhole(list, recipe.trailerZlibLevel, trailer, error)) return false;

  security::Digest digest(recipe.trailerDigestId);
  if (digest.IsValid()) {
    const auto header = FixedHeaderBytes(recipe);
    digest.Update(header.data(), static_cast<std::uint32_t>(header.size()));
    digest.Update(list.data(), static_cast<std::uint32_t>(list.size()));
    std::uint8_t value[security::kMaxDigestSize];
    const std::uint32_t h = digest.OutputLength();
    digest.Final(value, 0);
    if (recipe.corruptTrailerDigest) value[0] ^= 0x01;
    trailer.insert(trailer.end(), value, value + h);
  }
  const auto n = static_cast<std::uint32_t>(trailer.size());
  AppendBE32(trailer, recipe.trailerLengthOverride ? *recipe.trailerLengthOverride : n);
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
  CipherSetup setup;
  DocumentSpec allowed = recipe;
  allowed.allowKdfWithoutSalt = true;
  if (!SetUpCipher(allowed, setup, error)) return false;
  key = setup.key;
  if (!setup.readable) return Fail(error, setup.why);
  return true;
}

bool EncodeDocument(const DocumentSpec& recipe, const ByteSink& sink, std::string* error) {
  if (!recipe.partCountField && recipe.parts.size() > 0xFFFF) {
    return Fail(error, "more than 65535 parts need partCountField");
  }
  CipherSetup setup;
  if (!SetUpCipher(recipe, setup, error)) return false;
  const std::uint32_t blockSize = setup.blockSize;
  const bool continuous = (EffectiveFlags(recipe) & kFlagContinuousStream) != 0;

  // The trailer is small and independent of the body: build it first so that
  // a bad tag fails before anything is written.
  std::vector<std::uint8_t> trailer;
  if (!BuildTrailer(recipe, trailer, error)) return false;

  // Plan: the stored length of every part.
  auto deflated = [](const PartSpec& p) { return p.compression == codec::VPCodecBase::CompressionZlib && !p.storedData; };
  std::size_t lastDeflated = recipe.parts.size();
  for (std::size_t i = 0; i < recipe.parts.size(); ++i) {
    if (deflated(recipe.parts[i])) lastDeflated = i;
  }
  std::vector<std::uint64_t> storedLength(recipe.parts.size(), 0);
  std::vector<std::vector<std::uint8_t>> cache(recipe.parts.size());
  bool cached = true;
  {
    PartCompressor measuring(continuous);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < recipe.parts.size(); ++i) {
      const PartSpec& part = recipe.parts[i];
      if (part.storedData) {
        storedLength[i] = part.storedData->size();
      } else if (deflated(part)) {
        const bool ok = measuring.Compress(part, i == lastDeflated, [&](const std::uint8_t* d, std::size_t n) {
          storedLength[i] += n;
          total += n;
          if (cached && total > recipe.compressedCacheLimit) {
            cached = false;
            for (auto& c : cache) std::vector<std::uint8_t>().swap(c);
          }
          if (cached) cache[i].insert(cache[i].end(), d, d + n);
          return true;
        }, error);
        if (!ok) return false;
      } else {
        storedLength[i] = ContentLength(part);
      }
      if (storedLength[i] > 0xFFFFFFFFu) return Fail(error, "part \"" + part.name + "\" is stored with more than 4 GiB");
    }
  }

  // Fixed header and salt, in plain.
  const auto header = FixedHeaderBytes(recipe);
  {
    auto stored = header;
    if (recipe.headerByteAfterDigest) {
      if (recipe.headerByteAfterDigest->first >= stored.size()) return Fail(error, "altered header offset beyond 30");
      stored[recipe.headerByteAfterDigest->first] = recipe.headerByteAfterDigest->second;
    }
    if (!sink(stored.data(), stored.size())) return Fail(error, "write refused");
    if (HasSalt(recipe) && !sink(recipe.salt.data(), recipe.salt.size())) return Fail(error, "write refused");
  }

  // The parts, in one CBC chain.
  ChainWriter chain(*setup.cbc, blockSize, sink);
  std::unique_ptr<security::Digest> digest;
  if (recipe.bodyDigestId != 0) {
    digest = std::make_unique<security::Digest>(recipe.bodyDigestId);
    if (!digest->IsValid()) digest.reset();  // zero digest blocks; the reader refuses the id
  }
  std::uint8_t previous[security::kMaxDigestSize] = {};
  PartCompressor writing(continuous);
  std::vector<std::uint8_t> block;
  for (std::size_t i = 0; i < recipe.parts.size(); ++i) {
    const PartSpec& part = recipe.parts[i];
    if (!BuildHeaderBlock(recipe, part, blockSize, static_cast<std::uint32_t>(storedLength[i]), block, error)) {
      return false;
    }
    if (!chain.Put(block.data(), block.size()) || !chain.EndPiece(0)) return Fail(error, "write refused");

    if (part.storedData) {
      if (!chain.Put(part.storedData->data(), part.storedData->size())) return Fail(error, "write refused");
    } else if (deflated(part)) {
      if (cached) {
        if (!chain.Put(cache[i].data(), cache[i].size())) return Fail(error, "write refused");
        std::vector<std::uint8_t>().swap(cache[i]);
      } else {
        std::uint64_t written = 0;
        const bool ok = writing.Compress(part, i == lastDeflated, [&](const std::uint8_t* d, std::size_t n) {
          written += n;
          return chain.Put(d, n);
        }, error);
        if (!ok) return false;
        if (written != storedLength[i]) return Fail(error, "deflate gave different output on the second pass");
      }
    } else {
      if (!ForEachContentPiece(part, [&](const std::uint8_t* d, std::size_t n) { return chain.Put(d, n); })) {
        return Fail(error, "write refused");
      }
    }
    if (!chain.EndPiece(part.fillerByte)) return Fail(error, "write refused");

    if (recipe.bodyDigestId == 0) continue;
    std::vector<std::uint8_t> digestBlock(blockSize, 0);
    if (digest) {
      if (i == 0) {
        digest->Update(header.data(), static_cast<std::uint32_t>(header.size()));
        if (HasSalt(recipe)) digest->Update(recipe.salt.data(), static_cast<std::uint32_t>(recipe.salt.size()));
      } else {
        digest->Update(previous, blockSize);
      }
      ForEachContentPiece(part, [&](const std::uint8_t* d, std::size_t n) {
        digest->Update(d, static_cast<std::uint32_t>(n));
        return true;
      });
      digest->Update(block.data(), static_cast<std::uint32_t>(block.size()));
      digest->Final(previous, blockSize);
      std::memcpy(digestBlock.data(), previous, blockSize);
    }
    if (part.corruptDigest) digestBlock[0] ^= 0x01;
    if (!chain.Put(digestBlock.data(), digestBlock.size()) || !chain.EndPiece(0)) return Fail(error, "write refused");
  }

  if (recipe.endMarker) {
    std::vector<std::uint8_t> marker(blockSize);
    for (std::uint32_t b = 0; b < blockSize; ++b) marker[b] = static_cast<std::uint8_t>(b);
    if (!chain.Put(marker.data(), marker.size()) || !chain.EndPiece(0)) return Fail(error, "write refused");
  }

  if (!trailer.empty() && !sink(trailer.data(), trailer.size())) return Fail(error, "write refused");
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
