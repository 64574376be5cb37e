#include "codec/document_encoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codec/document_decoder.h"
#include "codec/vp_codec_base.h"
#include "security/cbc_cipher.h"
#include "security/digest.h"
#include "security/key_derivation_function.h"
#include "security/secret_text.h"
#include "security/secure_registers.h"
#include "security/secure_wipe.h"

namespace codec {
namespace {

using Compression = PartSettings::Compression;

constexpr std::uint64_t kMaxStoredLength = 0xFFFFFFFFu;
constexpr bool kHash = true;
constexpr bool kNoHash = false;

// The settings a part of a continuous stream is deflated with: zlib, whose
// state can be copied to run ahead (ISA-L's cannot).
DeflateSettings ForStream(const DeflateSettings& wanted) {
  if (wanted.implementation == DeflateImplementation::Zlib) return wanted;
  return {DeflateImplementation::Zlib, 6};
}

}  // namespace

const char* EncodeResultText(EncodeResult result) {
  switch (result) {
    case EncodeResult::Ok:
      return "done";
    case EncodeResult::BadHeader:
      return "the header names a version, cipher, key length or digest that no reader accepts";
    case EncodeResult::NoKeyDerivation:
      return "no key can be derived for this header";
    case EncodeResult::BadPart:
      return "the part cannot be stored (name too long, unusable length byte, or 4 GiB or more of data)";
    case EncodeResult::ReadFailed:
      return "the input could not be read";
    case EncodeResult::SourceChanged:
      return "the input changed while it was being read";
    case EncodeResult::DeflateFailed:
      return "compression failed";
    case EncodeResult::WriteFailed:
      return "the output could not be written";
    case EncodeResult::Cancelled:
      return "stopped";
    case EncodeResult::OutOfOrder:
      return "the encoder was used out of order";
  }
  return "unknown result";
}

std::int64_t MemoryPartSource::Read(std::uint8_t* buffer, std::size_t capacity) {
  const std::size_t n = std::min(capacity, length_ - position_);
  if (n > 0) std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return static_cast<std::int64_t>(n);
}

// Plaintext in, stored ciphertext out: whole blocks are encrypted in the one
// CBC chain into a buffer that goes to the sink when full; a partial block
// waits for the next bytes or for EndPiece.
class DocumentEncoder::Chain {
 public:
  static constexpr std::size_t OutputSize = 256 * 1024;  // a multiple of every block size

  Chain(security::CBCCipher& cipher, std::uint32_t blockSize, VPWriter& sink)
      : cipher_(cipher), blockSize_(blockSize), sink_(sink), out_(OutputSize) {}
  ~Chain() { security::SecureWipe(pending_, sizeof pending_); }
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;

  bool Put(const std::uint8_t* data, std::size_t length) {
    if (pendingLength_ > 0) {
      const std::size_t take = std::min<std::size_t>(length, blockSize_ - pendingLength_);
      std::memcpy(pending_ + pendingLength_, data, take);
      pendingLength_ += take;
      data += take;
      length -= take;
      if (pendingLength_ < blockSize_) return true;
      pendingLength_ = 0;
      if (!Encrypt(pending_, blockSize_)) return false;
    }
    const std::size_t whole = length / blockSize_ * blockSize_;
    if (!Encrypt(data, whole)) return false;
    pendingLength_ = length - whole;
    std::memcpy(pending_, data + whole, pendingLength_);
    return true;
  }

  // Ends one encrypted piece: fills its last block with `filler` and hands
  // everything to the sink.
  bool EndPiece(std::uint8_t filler) {
    if (pendingLength_ > 0) {
      std::memset(pending_ + pendingLength_, filler, blockSize_ - pendingLength_);
      pendingLength_ = 0;
      if (!Encrypt(pending_, blockSize_)) return false;
    }
    return Flush();
  }

 private:
  bool Encrypt(const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
      if (used_ == out_.size() && !Flush()) return false;
      const std::size_t n = std::min(length, out_.size() - used_);
      if (!cipher_.Encrypt(data, out_.data() + used_, static_cast<std::uint32_t>(n))) return false;
      used_ += n;
      data += n;
      length -= n;
    }
    return true;
  }
  bool Flush() {
    const bool ok = used_ == 0 || sink_.Write(out_.data(), static_cast<std::uint32_t>(used_));
    used_ = 0;
    return ok;
  }

  security::CBCCipher& cipher_;
  std::uint32_t blockSize_;
  VPWriter& sink_;
  std::vector<std::uint8_t> out_;
  std::size_t used_ = 0;
  std::uint8_t pending_[security::kMaxCipherBlockSize] = {};
  std::size_t pendingLength_ = 0;
};

DocumentEncoder::DocumentEncoder(VPWriter& sink) : sink_(sink) {}

DocumentEncoder::~DocumentEncoder() {
  feed_.reset();  // the helper thread stops before the digest goes
  security::SecureWipe(previous_, sizeof previous_);
  if (!buffer_.empty()) security::SecureWipe(buffer_.data(), buffer_.size());
}

EncodeResult DocumentEncoder::Fail(EncodeResult result) {
  state_ = State::Failed;
  return result;
}

EncodeResult DocumentEncoder::StartCipher(const DocumentHeader& header, const std::uint8_t* salt) {
  if (state_ != State::Fresh) return EncodeResult::OutOfOrder;
  if (!header.IsKnownVersion()) return EncodeResult::BadHeader;
  hasSalt_ = header.formatVersion == DocumentHeader::Version259;
  if (hasSalt_ && salt == nullptr) return EncodeResult::BadHeader;
  cipher_ = std::make_unique<security::CBCCipher>(header.cipherId);
  if (!cipher_->IsValid() || !cipher_->GetBlockCipher()->SetKeyLength(header.KeyBytes())) {
    return EncodeResult::BadHeader;
  }
  if (!security::Digest(header.trailerDigestId).IsValid()) return EncodeResult::BadHeader;
  if (header.bodyDigestId != 0) {
    digest_ = std::make_unique<security::Digest>(header.bodyDigestId);
    if (!digest_->IsValid()) return EncodeResult::BadHeader;
  }
  header_ = header;
  header_.Store(storedHeader_);
  if (hasSalt_) std::memcpy(salt_, salt, SaltSize);
  blockSize_ = cipher_->GetBlockCipher()->BlockSize();
  return EncodeResult::Ok;
}

EncodeResult DocumentEncoder::KeyCipher(const std::uint8_t* key, std::uint32_t keyLength) {
  security::BlockCipher* blockCipher = cipher_->GetBlockCipher();
  if (key == nullptr || keyLength != blockCipher->KeyLength() || !blockCipher->SetKey(key)) {
    return EncodeResult::NoKeyDerivation;
  }
  cipher_->SetIv(hasSalt_ ? salt_ : nullptr, hasSalt_ ? blockSize_ : 0);
  try {
    buffer_.resize(ChunkSize);
    chain_ = std::make_unique<Chain>(*cipher_, blockSize_, sink_);
    feed_ = std::make_unique<DigestFeed>(digest_.get());
  } catch (const std::bad_alloc&) {
    return EncodeResult::WriteFailed;
  }
  if (!sink_.Write(storedHeader_, DocumentHeader::Size) || (hasSalt_ && !sink_.Write(salt_, SaltSize))) {
    return EncodeResult::WriteFailed;
  }
  state_ = State::Writing;
  return EncodeResult::Ok;
}

EncodeResult DocumentEncoder::Begin(const DocumentHeader& header, const std::uint8_t* salt, const char* userName,
                                    const char* password) {
  return Derive(header, salt, userName, password, nullptr);
}

EncodeResult DocumentEncoder::Begin(const DocumentHeader& header, const std::uint8_t* salt, const char* userName,
                                    security::SecretText& password) {
  return Derive(header, salt, userName, password.c_str(), &password);
}

EncodeResult DocumentEncoder::Derive(const DocumentHeader& header, const std::uint8_t* salt, const char* userName,
                                     const char* password, security::SecretText* consumed) {
  const EncodeResult started = StartCipher(header, salt);
  if (started != EncodeResult::Ok) {
    if (consumed != nullptr) consumed->clear();
    return Fail(started);
  }
  const std::uint32_t keyLength = cipher_->GetBlockCipher()->KeyLength();
  std::unique_ptr<security::KeyDerivationFunction> kdf =
      DocumentDecoder::CreateKdf(header.kdfId, std::int64_t{header.iterationThousands} * 1000,
                                 header.trailerDigestId, keyLength, hasSalt_ ? salt_ : nullptr);
  if (kdf == nullptr || keyLength > DocumentDecoder::MaxKeyLength) {
    if (consumed != nullptr) consumed->clear();
    return Fail(EncodeResult::NoKeyDerivation);
  }
  const char* user = userName != nullptr ? userName : "";
  const char* pass = password != nullptr ? password : "";
  kdf->AddInput(user, static_cast<std::uint32_t>(std::strlen(user)));
  kdf->AddInput(pass, static_cast<std::uint32_t>(std::strlen(pass)));
  // The function holds the password as its MAC key now; the caller's copy,
  // and what its bytes left in vector registers, go before anything can save
  // them on the stack.
  if (consumed != nullptr) consumed->clear();
  security::SecureWipeVectorRegisters();
  std::uint8_t key[DocumentDecoder::MaxKeyLength] = {};
  const bool derived = kdf->Derive(key, keyLength);
  kdf.reset();  // its copies of the inputs go now
  const EncodeResult keyed = derived ? KeyCipher(key, keyLength) : EncodeResult::NoKeyDerivation;
  security::SecureWipe(key, sizeof key);
  return keyed == EncodeResult::Ok ? keyed : Fail(keyed);
}

EncodeResult DocumentEncoder::BeginWithKey(const DocumentHeader& header, const std::uint8_t* salt,
                                           const std::uint8_t* key, std::uint32_t keyLength) {
  EncodeResult result = StartCipher(header, salt);
  if (result == EncodeResult::Ok) result = KeyCipher(key, keyLength);
  return result == EncodeResult::Ok ? result : Fail(result);
}

void DocumentEncoder::StartPartDigest() {
  if (digest_ == nullptr) return;
  feed_->Drain();
  digest_->Reset();
  if (partsWritten_ == 0) {
    digest_->Update(storedHeader_, DocumentHeader::Size);
    if (hasSalt_) digest_->Update(salt_, SaltSize);
  } else {
    digest_->Update(previous_, blockSize_);
  }
}

EncodeResult DocumentEncoder::BuildHeaderBlock(const PartSettings& settings, std::uint16_t method,
                                               std::uint64_t length, std::vector<std::uint8_t>& block) const {
  std::unique_ptr<VPCodecBase::EncodedHeader> partHeader = VPCodecBase::CreateEncodedHeader(header_.formatVersion);
  const std::uint32_t h = partHeader->Size();
  const std::uint32_t b = blockSize_;
  // The smallest block that holds the length byte and the header.
  const std::uint32_t f = settings.lengthByte != 0 ? settings.lengthByte : (h + b) / b * b - 1;
  const std::uint32_t t = f - f % b + b;
  if (t < h + 1 || length > kMaxStoredLength || settings.name.find('\0') != std::string::npos) {
    return EncodeResult::BadPart;
  }
  block.assign(t, settings.filler);
  partHeader->Attach(block.data(), t);
  partHeader->Clear();
  if (!partHeader->SetName(settings.name.c_str())) return EncodeResult::BadPart;
  partHeader->SetCompression(method);
  partHeader->SetAuxiliary1(settings.auxiliary1);
  static_cast<VPCodecBase::EncodedHeaderImpl&>(*partHeader).SetAuxiliary2(settings.auxiliary2);
  partHeader->SetLength(static_cast<std::uint32_t>(length));
  partHeader->SetExpiry(settings.expiry);
  partHeader->SetCheck(~t);
  block[0] = static_cast<std::uint8_t>(f);
  return EncodeResult::Ok;
}

EncodeResult DocumentEncoder::ReadThrough(PartSource& source, const bool& hash, std::uint64_t& done,
                                          std::uint64_t total, const Visit& visit) {
  if (!source.Rewind()) return EncodeResult::ReadFailed;
  const std::uint64_t length = source.Length();
  if (hash && digest_ != nullptr && length >= DocumentDecoder::BackgroundDigestFrom) feed_->HashInBackground();
  std::uint64_t got = 0;
  for (;;) {
    // With a digest helper the bytes are read straight into its slot; the
    // visit only reads them, beside the helper.
    std::uint8_t* slot = hash ? feed_->Acquire() : nullptr;
    std::uint8_t* into = slot != nullptr ? slot : buffer_.data();
    const std::int64_t n = source.Read(into, ChunkSize);
    const bool fits = n > 0 && got + static_cast<std::uint64_t>(n) <= length;
    if (slot != nullptr) feed_->Commit(fits ? static_cast<std::uint32_t>(n) : 0);
    if (n < 0) return EncodeResult::ReadFailed;
    if (n == 0) break;
    if (!fits) return EncodeResult::SourceChanged;
    const auto piece = static_cast<std::size_t>(n);
    if (hash && slot == nullptr) feed_->Update(into, static_cast<std::uint32_t>(piece));
    const EncodeResult visited = visit(into, piece);
    if (visited != EncodeResult::Ok) return visited;
    got += piece;
    done += piece;
    if (progress_ && !progress_(done, total)) return EncodeResult::Cancelled;
  }
  return got == length ? EncodeResult::Ok : EncodeResult::SourceChanged;
}

EncodeResult DocumentEncoder::CompressionPays(PartSource& source, const DeflateSettings& deflate, bool& pays) {
  pays = false;
  if (source.Length() == 0) return EncodeResult::Ok;
  if (!source.Rewind()) return EncodeResult::ReadFailed;
  std::size_t have = 0;
  while (have < SampleSize) {
    const std::int64_t n = source.Read(buffer_.data() + have, SampleSize - have);
    if (n < 0) return EncodeResult::ReadFailed;
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  std::unique_ptr<Deflater> sample = Deflater::Create(deflate);
  std::size_t out = 0;
  const Deflater::Sink count = [&out](const std::uint8_t*, std::size_t n) {
    out += n;
    return true;
  };
  if (sample == nullptr || !sample->Compress(buffer_.data(), have, count) || !sample->End(true, count)) {
    return EncodeResult::DeflateFailed;
  }
  pays = out * 32 <= have * 31;
  return EncodeResult::Ok;
}

EncodeResult DocumentEncoder::WriteBlock(std::vector<std::uint8_t>& block, PartAlterations* alterations) {
  if (alterations != nullptr) alterations->AlterHeaderBlock(block);
  if (!chain_->Put(block.data(), block.size()) || !chain_->EndPiece(0)) return EncodeResult::WriteFailed;
  return EncodeResult::Ok;
}

EncodeResult DocumentEncoder::EndPart(const std::vector<std::uint8_t>& headerBlock, std::uint8_t filler,
                                      PartAlterations* alterations) {
  if (!chain_->EndPiece(filler)) return EncodeResult::WriteFailed;
  if (digest_ != nullptr) {
    feed_->Drain();
    digest_->Update(headerBlock.data(), static_cast<std::uint32_t>(headerBlock.size()));
    digest_->Final(previous_, blockSize_);
    std::uint8_t stored[security::kMaxCipherBlockSize];
    std::memcpy(stored, previous_, blockSize_);
    if (alterations != nullptr) alterations->AlterDigestBlock(stored, blockSize_);
    if (!chain_->Put(stored, blockSize_) || !chain_->EndPiece(0)) return EncodeResult::WriteFailed;
  }
  ++partsWritten_;
  return EncodeResult::Ok;
}

EncodeResult DocumentEncoder::WritePart(PartSource& source, const PartSettings& settings,
                                        PartAlterations* alterations, PartReport* report) {
  if (state_ != State::Writing) return Fail(EncodeResult::OutOfOrder);
  const bool continuous = header_.HasFlag(DocumentHeader::FlagContinuousStream);
  const DeflateSettings deflate = continuous ? ForStream(settings.deflate) : settings.deflate;
  const std::uint64_t length = source.Length();
  PartSource* verbatim = alterations != nullptr ? alterations->StoredBytes() : nullptr;
  std::uint16_t method =
      settings.compression == Compression::Stored ? VPCodecBase::CompressionStored : VPCodecBase::CompressionZlib;
  std::vector<std::uint8_t> block;
  std::uint64_t done = 0;
  std::uint64_t total = length;
  EncodeResult result = EncodeResult::Ok;
  const DocumentEncoder::Visit encrypt = [this](const std::uint8_t* data, std::size_t n) {
    return chain_->Put(data, n) ? EncodeResult::Ok : EncodeResult::WriteFailed;
  };
  // A name or length byte the block cannot take fails before anything of
  // the part is read or written.
  if (BuildHeaderBlock(settings, method, 0, block) != EncodeResult::Ok) return Fail(EncodeResult::BadPart);

  if (verbatim != nullptr) {
    // The content feeds the digest only; the given bytes are stored.
    StartPartDigest();
    result = ReadThrough(source, kHash, done, total, [](const std::uint8_t*, std::size_t) { return EncodeResult::Ok; });
    if (result == EncodeResult::Ok) result = BuildHeaderBlock(settings, method, verbatim->Length(), block);
    if (result == EncodeResult::Ok) result = WriteBlock(block, alterations);
    total += verbatim->Length();
    if (result == EncodeResult::Ok) result = ReadThrough(*verbatim, kNoHash, done, total, encrypt);
    if (result == EncodeResult::Ok) result = EndPart(block, settings.filler, alterations);
    if (report != nullptr) *report = {method, length, static_cast<std::uint32_t>(verbatim->Length())};
    return result == EncodeResult::Ok ? result : Fail(result);
  }

  if (settings.compression == Compression::Automatic) {
    bool pays = false;
    result = CompressionPays(source, deflate, pays);
    if (result != EncodeResult::Ok) return Fail(result);
    method = pays ? VPCodecBase::CompressionZlib : VPCodecBase::CompressionStored;
  }

  std::uint64_t storedLength = length;
  if (method == VPCodecBase::CompressionZlib) {
    // First reading: deflate to learn the stored length, which the header
    // block states before the data. A short deflated form is kept, and the
    // digest, fed on the way, is the part's; otherwise both are made again
    // from a second reading, whose bytes are the ones stored.
    const bool endStream = !continuous || settings.lastOfStream;
    std::unique_ptr<Deflater> measuring = continuous && stream_ != nullptr ? stream_->Copy() : Deflater::Create(deflate);
    if (measuring == nullptr) return Fail(EncodeResult::DeflateFailed);
    std::vector<std::uint8_t> kept;
    bool keeping = true;  // also: the digest fed on the way will do
    kept.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(cacheLimit_, length + length / 64 + 64)));
    storedLength = 0;
    const Deflater::Sink measure = [&](const std::uint8_t* data, std::size_t n) {
      storedLength += n;
      if (keeping && kept.size() + n > cacheLimit_) {
        keeping = false;
        std::vector<std::uint8_t>().swap(kept);
      }
      if (keeping) kept.insert(kept.end(), data, data + n);
      return true;
    };
    StartPartDigest();
    result = ReadThrough(source, keeping, done, total, [&](const std::uint8_t* data, std::size_t n) {
      return measuring->Compress(data, n, measure) ? EncodeResult::Ok : EncodeResult::DeflateFailed;
    });
    if (result == EncodeResult::Ok && !measuring->End(endStream, measure)) result = EncodeResult::DeflateFailed;
    if (result != EncodeResult::Ok) return Fail(result);

    if (settings.compression == Compression::Automatic && storedLength >= length) {
      method = VPCodecBase::CompressionStored;  // deflate did not pay after all
      storedLength = length;
      total += length;
    } else {
      result = BuildHeaderBlock(settings, method, storedLength, block);
      if (result == EncodeResult::Ok) result = WriteBlock(block, alterations);
      if (result == EncodeResult::Ok && keeping) {
        if (!chain_->Put(kept.data(), kept.size())) result = EncodeResult::WriteFailed;
        if (continuous) stream_ = std::move(measuring);
      } else if (result == EncodeResult::Ok) {
        std::unique_ptr<Deflater> writing = continuous ? std::move(stream_) : std::move(measuring);
        if (writing == nullptr) writing = Deflater::Create(deflate);
        if (writing == nullptr) return Fail(EncodeResult::DeflateFailed);
        std::uint64_t written = 0;
        bool refused = false;
        const Deflater::Sink store = [&](const std::uint8_t* data, std::size_t n) {
          written += n;
          refused = !chain_->Put(data, n);
          return !refused;
        };
        const auto failure = [&refused] { return refused ? EncodeResult::WriteFailed : EncodeResult::DeflateFailed; };
        total += length;
        StartPartDigest();
        result = ReadThrough(source, kHash, done, total, [&](const std::uint8_t* data, std::size_t n) {
          return writing->Compress(data, n, store) ? EncodeResult::Ok : failure();
        });
        if (result == EncodeResult::Ok && !writing->End(endStream, store)) result = failure();
        if (result == EncodeResult::Ok && written != storedLength) result = EncodeResult::SourceChanged;
        if (continuous) stream_ = std::move(writing);
      }
      if (result == EncodeResult::Ok) result = EndPart(block, settings.filler, alterations);
      if (report != nullptr) *report = {method, length, static_cast<std::uint32_t>(storedLength)};
      return result == EncodeResult::Ok ? result : Fail(result);
    }
  }

  // Stored: one reading, hashed and encrypted on the way.
  StartPartDigest();
  result = BuildHeaderBlock(settings, method, storedLength, block);
  if (result == EncodeResult::Ok) result = WriteBlock(block, alterations);
  if (result == EncodeResult::Ok) result = ReadThrough(source, kHash, done, total, encrypt);
  if (result == EncodeResult::Ok) result = EndPart(block, settings.filler, alterations);
  if (report != nullptr) *report = {method, length, static_cast<std::uint32_t>(storedLength)};
  return result == EncodeResult::Ok ? result : Fail(result);
}

EncodeResult DocumentEncoder::WriteEndMarker() {
  if (state_ != State::Writing) return Fail(EncodeResult::OutOfOrder);
  std::uint8_t marker[security::kMaxCipherBlockSize];
  for (std::uint32_t i = 0; i < blockSize_; ++i) marker[i] = static_cast<std::uint8_t>(i);
  if (!chain_->Put(marker, blockSize_) || !chain_->EndPiece(0)) return Fail(EncodeResult::WriteFailed);
  return EncodeResult::Ok;
}

EncodeResult DocumentEncoder::Finish(const std::vector<std::uint8_t>& trailer) {
  if (state_ != State::Writing) return Fail(EncodeResult::OutOfOrder);
  if (!chain_->EndPiece(0)) return Fail(EncodeResult::WriteFailed);
  for (std::size_t done = 0; done < trailer.size();) {
    const std::size_t n = std::min<std::size_t>(trailer.size() - done, 1u << 30);
    if (!sink_.Write(trailer.data() + done, static_cast<std::uint32_t>(n))) return Fail(EncodeResult::WriteFailed);
    done += n;
  }
  state_ = State::Finished;
  return EncodeResult::Ok;
}

}  // namespace codec
