#pragma once
// SHA-2: the variant layer (SHA-224/256/384/512) and the `Sha2Digest` front,
// which owns one variant chosen by output size.
//
// Compatibility note: the SHA-384/512 variants put the bit count only in the
// last 8 bytes of the final block and add an extra block only when fewer than
// 8 bytes remain after the 0x80 byte. Stored documents depend on this, so
// messages whose length modulo 128 lies in 112..119 hash differently from the
// standard. The byte count is kept modulo 2^32.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <typeinfo>

#include "security/byte_order.h"
#include "security/digest_imp.h"
#include "security/locked_memory.h"
#include "security/secure_wipe.h"

namespace security {

// Abstract SHA-2 variant; constructed in its reset state.
class Sha2DigestImp : public LockedObject {
 public:
  virtual ~Sha2DigestImp() = default;
  virtual void Reset() = 0;
  virtual void Update(const void* data, std::uint32_t length) = 0;
  // `length` 0 means OutputSize(); a length above it is refused.
  virtual bool Final(std::uint8_t* out, std::uint32_t length) = 0;
  virtual std::uint32_t BlockSize() const = 0;
  virtual std::uint32_t OutputSize() const = 0;
  // Takes over the whole state of `other`; false (and no change) when it is
  // a different variant.
  virtual bool CopyStateFrom(const Sha2DigestImp& other) = 0;
  // For a SHA-256 state that holds whole blocks only: copies its eight
  // chaining words and writes the number of blocks compressed. False for
  // any other variant or with bytes buffered.
  virtual bool WholeBlockState256(std::uint32_t* chain, std::uint32_t& blocks) const = 0;
};

namespace detail {

// Compress `count` consecutive blocks into the chaining words.
void Sha256Compress(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count);
void Sha512Compress(std::uint64_t* chain, const std::uint8_t* blocks, std::uint32_t count);

template <unsigned N>
struct Sha2Traits;

struct Sha2Traits32 {
  using Word = std::uint32_t;
  static constexpr std::uint32_t kBlockSize = 64;
  static void Compress(Word* chain, const std::uint8_t* blocks, std::uint32_t count) {
    Sha256Compress(chain, blocks, count);
  }
  static void StoreWord(std::uint8_t* p, Word w) { StoreBigEndian32(p, w); }
};

struct Sha2Traits64 {
  using Word = std::uint64_t;
  static constexpr std::uint32_t kBlockSize = 128;
  static void Compress(Word* chain, const std::uint8_t* blocks, std::uint32_t count) {
    Sha512Compress(chain, blocks, count);
  }
  static void StoreWord(std::uint8_t* p, Word w) { StoreBigEndian64(p, w); }
};

template <>
struct Sha2Traits<224> : Sha2Traits32 {
  static constexpr std::uint32_t kOutputSize = 28;
  static constexpr Word kInitial[8] = {0xc1059ed8u, 0x367cd507u, 0x3070dd17u, 0xf70e5939u,
                                       0xffc00b31u, 0x68581511u, 0x64f98fa7u, 0xbefa4fa4u};
};

template <>
struct Sha2Traits<256> : Sha2Traits32 {
  static constexpr std::uint32_t kOutputSize = 32;
  static constexpr Word kInitial[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                       0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};
};

template <>
struct Sha2Traits<384> : Sha2Traits64 {
  static constexpr std::uint32_t kOutputSize = 48;
  static constexpr Word kInitial[8] = {
      0xcbbb9d5dc1059ed8ull, 0x629a292a367cd507ull, 0x9159015a3070dd17ull, 0x152fecd8f70e5939ull,
      0x67332667ffc00b31ull, 0x8eb44a8768581511ull, 0xdb0c2e0d64f98fa7ull, 0x47b5481dbefa4fa4ull};
};

template <>
struct Sha2Traits<512> : Sha2Traits64 {
  static constexpr std::uint32_t kOutputSize = 64;
  static constexpr Word kInitial[8] = {
      0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull, 0x3c6ef372fe94f82bull, 0xa54ff53a5f1d36f1ull,
      0x510e527fade682d1ull, 0x9b05688c2b3e6c1full, 0x1f83d9abfb41bd6bull, 0x5be0cd19137e2179ull};
};

}  // namespace detail

template <unsigned N, class Traits>
class Sha2Bridge final : public Sha2DigestImp {
 public:
  using Word = typename Traits::Word;
  static constexpr std::uint32_t kBlockSize = Traits::kBlockSize;
  static constexpr std::uint32_t kOutputSize = Traits::kOutputSize;

  Sha2Bridge() { Reset(); }
  ~Sha2Bridge() override {
    SecureWipe(chain_, sizeof chain_);
    SecureWipe(buffer_, sizeof buffer_);
  }

  void Reset() override {
    std::memcpy(chain_, Traits::kInitial, sizeof chain_);
    buffered_ = 0;
    blocks_ = 0;
  }

  void Update(const void* data, std::uint32_t length) override {
    if (length == 0) return;
    const auto* in = static_cast<const std::uint8_t*>(data);
    if (buffered_ != 0) {
      const std::uint32_t take = length < kBlockSize - buffered_ ? length : kBlockSize - buffered_;
      std::memcpy(buffer_ + buffered_, in, take);
      buffered_ += take;
      in += take;
      length -= take;
      if (buffered_ < kBlockSize) return;
      Traits::Compress(chain_, buffer_, 1);
      ++blocks_;
      buffered_ = 0;
    }
    const std::uint32_t whole = length / kBlockSize;
    if (whole != 0) {
      Traits::Compress(chain_, in, whole);
      blocks_ += whole;
      in += whole * kBlockSize;
      length -= whole * kBlockSize;
    }
    if (length != 0) {
      std::memcpy(buffer_, in, length);
      buffered_ = length;
    }
  }

  bool Final(std::uint8_t* out, std::uint32_t length) override {
    if (length == 0) length = kOutputSize;
    if (length > kOutputSize) return false;

    // The byte count wraps at 2^32 by design; the bit count is that times 8.
    const std::uint32_t bytes = blocks_ * kBlockSize + buffered_;
    const std::uint64_t bits = std::uint64_t{bytes} * 8;

    std::uint32_t used = buffered_;
    buffer_[used++] = 0x80;
    if (kBlockSize - used < 8) {
      std::memset(buffer_ + used, 0, kBlockSize - used);
      Traits::Compress(chain_, buffer_, 1);
      used = 0;
    }
    std::memset(buffer_ + used, 0, kBlockSize - 8 - used);
    StoreBigEndian64(buffer_ + kBlockSize - 8, bits);
    Traits::Compress(chain_, buffer_, 1);
    buffered_ = 0;

    std::uint8_t digest[8 * sizeof(Word)];
    for (std::size_t i = 0; i < 8; ++i) Traits::StoreWord(digest + i * sizeof(Word), chain_[i]);
    std::memcpy(out, digest, length);
    SecureWipe(digest, sizeof digest);
    SecureWipe(buffer_, sizeof buffer_);
    return true;
  }

  std::uint32_t BlockSize() const override { return kBlockSize; }
  std::uint32_t OutputSize() const override { return kOutputSize; }

  bool WholeBlockState256(std::uint32_t* chain, std::uint32_t& blocks) const override {
    if constexpr (N == 256) {
      if (buffered_ != 0) return false;
      std::memcpy(chain, chain_, sizeof chain_);
      blocks = blocks_;
      return true;
    } else {
      static_cast<void>(chain);
      static_cast<void>(blocks);
      return false;
    }
  }

  bool CopyStateFrom(const Sha2DigestImp& other) override {
    if (typeid(other) != typeid(*this)) return false;
    const auto& from = static_cast<const Sha2Bridge&>(other);
    std::memcpy(chain_, from.chain_, sizeof chain_);
    std::memcpy(buffer_, from.buffer_, from.buffered_);
    buffered_ = from.buffered_;
    blocks_ = from.blocks_;
    return true;
  }

 private:
  Word chain_[8];
  std::uint8_t buffer_[kBlockSize];
  std::uint32_t buffered_;
  std::uint32_t blocks_;
};

using Sha224Variant = Sha2Bridge<224, detail::Sha2Traits<224>>;
using Sha256Variant = Sha2Bridge<256, detail::Sha2Traits<256>>;
using Sha384Variant = Sha2Bridge<384, detail::Sha2Traits<384>>;
using Sha512Variant = Sha2Bridge<512, detail::Sha2Traits<512>>;

// The SHA-2 front: output sizes 28, 32, 48, 64 (default 32).
class Sha2Digest : public DigestImp {
 public:
  // `size` 0 means 32. A size without a variant leaves the default SHA-256.
  explicit Sha2Digest(std::uint32_t size = 0);
  ~Sha2Digest() override;

  void Reset() override;
  void Update(const void* data, std::uint32_t length) override;
  bool Final(std::uint8_t* out, std::uint32_t length) override;
  std::uint32_t BlockSize() const override;
  // Builds a fresh variant for 28, 32, 48 or 64 (dropping absorbed data);
  // false and no change for any other size.
  bool SelectVariant(std::uint32_t size) override;

  // Takes over the absorbed state of `other`, which must have the same output
  // size; false (and no change) otherwise. Lets HMAC restart from saved pads.
  bool CopyStateFrom(const Sha2Digest& other) { return variant_->CopyStateFrom(*other.variant_); }
  // See Sha2DigestImp::WholeBlockState256.
  bool WholeBlockState256(std::uint32_t* chain, std::uint32_t& blocks) const {
    return variant_->WholeBlockState256(chain, blocks);
  }

 private:
  std::unique_ptr<Sha2DigestImp> variant_;
};

}  // namespace security
