#include "codec/document_decoder.h"

#include <cstring>
#include <ctime>
#include <limits>
#include <utility>

#include "codec/decode_result.h"
#include "security/cbc_cipher.h"
#include "security/digest.h"
#include "security/digest_imp.h"
#include "security/hmac.h"
#include "security/keccak_f1600_digest.h"
#include "security/locked_memory.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"
#include "security/secure_wipe.h"
#include "security/sha2_digest.h"
#include "security/simple_kdf.h"

namespace codec {
namespace {

using EncodedHeader = VPCodecBase::EncodedHeader;

static_assert(Inflater::InputSize <= DigestFeed::SlotSize && Inflater::OutputSize <= DigestFeed::SlotSize,
              "stored chunks and inflated pieces are decoded straight into the digest helper's slots");

// The expiry value that a stored 0xFFFFFFFF ("never") reads back as.
constexpr std::int32_t kNeverExpires = 0x7FFFFFFF;

std::unique_ptr<security::KeyDerivationFunction> MakeSimpleKdf(std::uint32_t digestId,
                                                               std::uint32_t keyLength) {
  auto kdf = std::make_unique<security::SimpleKdf>(digestId, keyLength);
  if (!kdf->IsValid()) {
    return nullptr;
  }
  return kdf;
}

template <class D>
std::unique_ptr<security::KeyDerivationFunction> MakePbKdf2(std::uint32_t iterations,
                                                            const std::uint8_t* salt) {
  using Kdf = security::PasswordKdfAdapter<security::PbKdf2<security::HMac<D>>>;
  return std::make_unique<Kdf>(iterations, salt, DocumentDecoder::SaltSize,
                               security::PbKdf2<security::HMac<D>>::ChainedBlocks);
}

// Expiry dates are stored as signed 32-bit seconds; the clock is compared in
// 64 bits so that the comparison still holds after January 2038.
bool HasExpired(std::int32_t expiry, std::int64_t now) {
  if (expiry == 0 || expiry == kNeverExpires) {
    return false;
  }
  return std::int64_t{expiry} < now;
}

}  // namespace

DocumentDecoder::DocumentDecoder(VPReader& source, VPDecodeWriter& writer)
    : reader_(source), writer_(writer) {}

DocumentDecoder::~DocumentDecoder() {
  security::SecureWipe(salt_, sizeof salt_);
  security::SecureWipe(block_, sizeof block_);  // the last part header, names and all
}

void DocumentDecoder::SetClock(Clock clock) { clock_ = std::move(clock); }

void DocumentDecoder::SetKeyProgress(security::KeyDerivationFunction::Progress progress) {
  keyProgress_ = std::move(progress);
}

void DocumentDecoder::SetKeyDerived(std::function<void()> derived) { keyDerived_ = std::move(derived); }

void DocumentDecoder::SetInflaterAllocator(const Inflater::Allocator& allocator) {
  allocator_ = allocator;
  customAllocator_ = true;
}

std::int64_t DocumentDecoder::Now() const {
  if (clock_) {
    return clock_();
  }
  return static_cast<std::int64_t>(std::time(nullptr));
}

DecodeResult DocumentDecoder::DecodeDocument(const char* userName, const char* password,
                                             bool allowExpired) {
  const DecodeResult headerResult = ReadFixedHeader();
  if (headerResult != DecodeResult::Ok) {
    return headerResult;
  }
  const std::uint32_t keyLength = cipher_->GetBlockCipher()->KeyLength();
  if (keyLength == 0 || keyLength > MaxKeyLength) {
    return DecodeResult::BadKeyLength;
  }
  const bool hasSalt = header_.formatVersion == DocumentHeader::Version259;
  std::unique_ptr<security::KeyDerivationFunction> kdf =
      CreateKdf(header_.kdfId, std::int64_t{header_.iterationThousands} * 1000,
                header_.trailerDigestId, keyLength, hasSalt ? salt_ : nullptr);
  if (kdf == nullptr) {
    return DecodeResult::NoKeyDerivation;
  }

  kdf->SetProgress(keyProgress_);
  const char* user = userName != nullptr ? userName : "";
  const char* pass = password != nullptr ? password : "";
  kdf->AddInput(user, static_cast<std::uint32_t>(std::strlen(user)));
  kdf->AddInput(pass, static_cast<std::uint32_t>(std::strlen(pass)));

  const security::LockedBytes key(MaxKeyLength);
  const bool derived = kdf->Derive(key.get(), keyLength);
  kdf.reset();  // its copies of the inputs go before the long decoding
  if (keyDerived_) keyDerived_();
  return derived ? DecodeBody(key.get(), keyLength, allowExpired) : DecodeResult::NoKeyDerivation;
}

DecodeResult DocumentDecoder::ReadFixedHeader() {
  headerRead_ = false;
  if (reader_.Read(storedHeader_, DocumentHeader::Size) != DocumentHeader::Size) {
    return DecodeResult::Truncated;
  }
  header_.Parse(storedHeader_);
  if (!header_.HasMagic()) {
    return DecodeResult::BadMagic;
  }
  if (!header_.IsKnownVersion()) {
    return DecodeResult::UnsupportedVersion;
  }
  cipher_ = std::make_unique<security::CBCCipher>(header_.cipherId);
  if (!cipher_->IsValid()) {
    cipher_.reset();
    return DecodeResult::UnknownCipher;
  }
  if (!cipher_->GetBlockCipher()->SetKeyLength(header_.KeyBytes())) {
    return DecodeResult::BadKeyLength;
  }
  if (header_.formatVersion == DocumentHeader::Version259 &&
      reader_.Read(salt_, SaltSize) != SaltSize) {
    return DecodeResult::Truncated;
  }
  blockSize_ = cipher_->GetBlockCipher()->BlockSize();
  headerRead_ = true;
  return DecodeResult::Ok;
}

std::unique_ptr<security::KeyDerivationFunction> DocumentDecoder::CreateKdf(
    std::uint32_t kdfId, std::int64_t iterations, std::uint32_t digestId, std::uint32_t keyLength,
    const std::uint8_t* salt) {
  switch (kdfId) {
    case DocumentHeader::KdfSimpleOverTrailerDigest:
      if (digestId != 1 && digestId != security::kDigestSha1) {
        return nullptr;
      }
      return MakeSimpleKdf(digestId, keyLength);
    case DocumentHeader::KdfSimpleOverDigest1:
      return MakeSimpleKdf(1, keyLength);  // no digest has id 1: always none
    case DocumentHeader::KdfSimpleSha1:
      return MakeSimpleKdf(security::kDigestSha1, keyLength);
    case DocumentHeader::KdfPbkdf2Keccak256:
    case DocumentHeader::KdfPbkdf2Sha256: {
      if (salt == nullptr) {
        return nullptr;  // version 258 carries no salt
      }
      const std::int64_t count = iterations + static_cast<std::int8_t>(salt[0]);
      if (count < 1 || count > std::numeric_limits<std::uint32_t>::max()) {
        return nullptr;
      }
      const auto n = static_cast<std::uint32_t>(count);
      if (kdfId == DocumentHeader::KdfPbkdf2Keccak256) {
        return MakePbKdf2<security::KeccakF1600Digest>(n, salt);
      }
      return MakePbKdf2<security::Sha2Digest>(n, salt);
    }
    default:
      return nullptr;
  }
}

DecodeResult DocumentDecoder::DecodeBody(const std::uint8_t* key, std::uint32_t keyLength,
                                         bool allowExpired) {
  if (!headerRead_) {
    return DecodeResult::Truncated;
  }
  security::BlockCipher* blockCipher = cipher_->GetBlockCipher();
  if (key == nullptr || keyLength != blockCipher->KeyLength()) {
    return DecodeResult::BadKeyLength;
  }

  std::unique_ptr<security::Digest> digest;
  if (header_.bodyDigestId != 0) {
    digest = std::make_unique<security::Digest>(header_.bodyDigestId);
    if (!digest->IsValid()) {
      return DecodeResult::UnknownDigest;
    }
    digest->Update(storedHeader_, DocumentHeader::Size);
  }

  const std::int64_t now = Now();

  if (!blockCipher->SetKey(key)) {
    return DecodeResult::BadKeyLength;
  }
  const std::uint32_t b = blockSize_;
  if (header_.formatVersion == DocumentHeader::Version259) {
    if (digest != nullptr) {
      digest->Update(salt_, SaltSize);
    }
    cipher_->SetIv(salt_, b);
  } else {
    cipher_->SetIv(nullptr, 0);
  }

  const std::uint32_t partCount = header_.partCount != 0 ? header_.partCount : 0xFFFFFFFFu;
  if (!writer_.BeginDocument(header_, partCount)) {
    return DecodeResult::BeginDocumentRefused;
  }

  Inflater inflater(header_.HasFlag(DocumentHeader::FlagContinuousStream),
                    customAllocator_ ? &allocator_ : nullptr);
  // Long parts are hashed on a helper thread, beside the decrypting,
  // inflating and writing; the digest is used directly only after a Drain.
  DigestFeed feed(digest.get());

  std::uint8_t previous[security::kMaxCipherBlockSize] = {};
  for (std::uint32_t i = 0; i < partCount; ++i) {
    if (i > 0 && digest != nullptr) {
      digest->Reset();
      digest->Update(previous, b);
    }

    std::unique_ptr<EncodedHeader> partHeader;
    bool endMarker = false;
    const DecodeResult headerResult = ReadPartHeader(partHeader, endMarker);
    if (headerResult == DecodeResult::Ok && endMarker) {
      if (header_.partCount == 0) {
        break;  // the end of a document that does not state its part count
      }
      return DecodeResult::Corrupt;  // fewer parts than stated
    }
    if (headerResult != DecodeResult::Ok) {
      // Until part 0's check value has proven the key, everything read after
      // its first block depends on the key: a wrong key makes the length byte
      // noise, which may claim more bytes than the file holds. Reporting that
      // as a damaged file would cost the user the retry a typo deserves.
      if (i == 0 && blockDecrypted_) {
        return DecodeResult::WrongCredentials;
      }
      return headerResult;
    }

    char name[NameCapacity] = {};
    if (!partHeader->GetName(name, sizeof name)) {
      return DecodeResult::Corrupt;
    }
    if (!allowExpired && HasExpired(partHeader->GetExpiry(), now)) {
      return DecodeResult::Expired;
    }
    const std::uint16_t method = partHeader->GetCompression();
    if (method > VPCodecBase::CompressionZlib) {
      return DecodeResult::InflateFailed;
    }
    const std::uint32_t length = partHeader->GetLength();

    if (!writer_.BeginPart(name, *partHeader)) {
      return DecodeResult::PartOutputRefused;
    }
    inflater.SetActive(method == VPCodecBase::CompressionZlib);
    if (inflater.Active() && !inflater.BeginCompressedPart()) {
      return DecodeResult::InflateFailed;
    }
    if (length >= BackgroundDigestFrom) {
      feed.HashInBackground();
    }
    const std::int64_t copied = CopyPartData(writer_, length, reader_, inflater, cipher_.get(), &feed);
    if (copied < 0) {
      return static_cast<DecodeResult>(copied);
    }

    if (digest != nullptr) {
      feed.Drain();
      digest->Update(block_, blockLength_);
      std::uint8_t stored[security::kMaxCipherBlockSize] = {};
      if (reader_.Read(stored, b) != b) {
        return DecodeResult::Truncated;
      }
      cipher_->Decrypt(stored, stored, b);
      if (!digest->Final(previous, b) || std::memcmp(previous, stored, b) != 0) {
        return DecodeResult::Corrupt;
      }
    }

    if (!writer_.EndPart()) {
      return DecodeResult::PartOutputRefused;
    }
  }

  if (!writer_.EndDocument()) {
    return DecodeResult::EndDocumentRefused;
  }
  return DecodeResult::Ok;
}

DecodeResult DocumentDecoder::ReadPartHeader(std::unique_ptr<EncodedHeader>& partHeader, bool& endMarker) {
  endMarker = false;
  const std::uint32_t b = blockSize_;
  partHeader = VPCodecBase::CreateEncodedHeader(header_.formatVersion);
  if (partHeader == nullptr) {
    return DecodeResult::UnsupportedVersion;
  }
  blockDecrypted_ = false;
  if (reader_.Read(block_, b) != b) {
    return DecodeResult::Truncated;
  }
  cipher_->Decrypt(block_, block_, b);
  blockDecrypted_ = true;

  const std::uint32_t f = block_[0];
  if (f == 0) {
    for (std::uint32_t i = 1; i < b; ++i) {
      if (block_[i] != i) {
        return DecodeResult::Corrupt;
      }
    }
    blockLength_ = b;
    endMarker = true;
    return DecodeResult::Ok;
  }

  const std::uint32_t t = f - f % b + b;  // at most 256
  if (reader_.Read(block_ + b, t - b) != t - b) {
    return DecodeResult::Truncated;
  }
  cipher_->Decrypt(block_ + b, block_ + b, t - b);
  blockLength_ = t;
  if (t < partHeader->Size() || partHeader->Attach(block_, t) == nullptr) {
    return DecodeResult::Corrupt;
  }
  if (partHeader->GetCheck() != ~t) {
    return DecodeResult::Corrupt;
  }
  return DecodeResult::Ok;
}

std::int64_t DocumentDecoder::CopyPartData(VPWriter& writer, std::uint32_t length,
                                           ChunkReader& reader, Inflater& inflater,
                                           security::CBCCipher* cipher, DigestFeed* digest) {
  if (length == 0) {
    return 0;
  }
  const std::uint32_t b = cipher != nullptr ? cipher->GetBlockCipher()->BlockSize() : 1;
  const std::uint64_t stored = (std::uint64_t{length} + b - 1) / b * b;
  std::uint8_t* input = inflater.Input();
  std::uint64_t taken = 0;
  std::int64_t written = 0;
  if (inflater.Active()) {
    inflater.ExpectInput(length);
  }
  // The part's input ends (early or not): what the stream still owes for it
  // comes out before the part ends.
  const auto endOfInput = [&](DecodeResult result) -> std::int64_t {
    if (!inflater.Active()) {
      return ResultCode(result);
    }
    const std::uint64_t before = inflater.TotalOut();
    const DecodeResult rc = inflater.EndOfInput(writer, digest);
    written += static_cast<std::int64_t>(inflater.TotalOut() - before);
    return ResultCode(rc != DecodeResult::Ok ? rc : result);
  };
  while (taken < stored) {
    const auto chunk = static_cast<std::uint32_t>(
        stored - taken < Inflater::InputSize ? stored - taken : Inflater::InputSize);
    // Stored data with a digest helper goes straight into the helper's slot.
    std::uint8_t* slot = !inflater.Active() && digest != nullptr ? digest->Acquire() : nullptr;
    input = slot != nullptr ? slot : inflater.Input();
    // Decrypt straight out of the source's blocks into the input buffer: the
    // stored bytes are read once and are still in cache for the digest, the
    // inflater and the writer. A cipher block split between two source
    // blocks is copied together first.
    for (std::uint32_t filled = 0; filled < chunk;) {
      std::uint32_t available = 0;
      const std::uint8_t* view = reader.Peek(chunk - filled, available);
      const std::uint32_t whole = available / b * b;
      if (whole == 0) {
        if (reader.Read(input + filled, b) != b) {
          return endOfInput(DecodeResult::Truncated);
        }
        if (cipher != nullptr && !cipher->Decrypt(input + filled, input + filled, b)) {
          return ResultCode(DecodeResult::Corrupt);
        }
        filled += b;
        continue;
      }
      if (cipher != nullptr) {
        if (!cipher->Decrypt(view, input + filled, whole)) {
          return ResultCode(DecodeResult::Corrupt);
        }
      } else {
        std::memcpy(input + filled, view, whole);
      }
      reader.Skip(whole);
      filled += whole;
    }
    // Chunks are whole blocks, so every one holds at least one byte below
    // `length`; the rest of the last one is block filler.
    const auto kept = static_cast<std::uint32_t>(length - taken < chunk ? length - taken : chunk);
    if (inflater.Active()) {
      const std::uint64_t before = inflater.TotalOut();
      const DecodeResult rc = inflater.Inflate(input, kept, writer, digest);
      if (rc != DecodeResult::Ok) {
        return ResultCode(rc);
      }
      written += static_cast<std::int64_t>(inflater.TotalOut() - before);
    } else {
      const bool accepted = writer.Write(input, kept);
      if (slot != nullptr) {
        digest->Commit(accepted ? kept : 0);
      } else if (accepted && digest != nullptr) {
        digest->Update(input, kept);
      }
      if (!accepted) {
        return ResultCode(DecodeResult::PartOutputRefused);
      }
      written += kept;
    }
    taken += chunk;
  }
  const std::int64_t rc = endOfInput(DecodeResult::Ok);
  return rc != 0 ? rc : written;
}

}  // namespace codec
