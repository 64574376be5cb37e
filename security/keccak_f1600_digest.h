#pragma once
// Keccak over the 1600-bit permutation: the sponge, its variant layer
// (Keccak-224/256/384/512) and the `KeccakF1600Digest` front.
//
// The padding is the multi-rate pad10*1 of the original Keccak submission:
// the first padding byte is 0x01 (not the 0x06 of the later SHA-3 functions),
// and stored documents depend on it.

#include <cstdint>
#include <cstring>
#include <memory>
#include <typeinfo>

#include "security/byte_order.h"
#include "security/digest_imp.h"
#include "security/locked_memory.h"
#include "security/secure_wipe.h"

namespace security {

namespace detail {

// Applies the 24 rounds of Keccak-f[1600] to 25 lanes (lane x + 5y at index x + 5y).
void KeccakF1600Permute(std::uint64_t* lanes);

template <unsigned B, unsigned C, unsigned N>
struct KeccakSpongeTraits {
  static_assert(B == 1600, "only the 1600-bit permutation is provided");
  static_assert(C < B && (B - C) % 64 == 0 && N % 8 == 0 && N / 8 <= B / 8);
  static constexpr std::uint32_t kRate = (B - C) / 8;      // bytes absorbed per block
  static constexpr std::uint32_t kOutputSize = N / 8;      // bytes
  static constexpr std::uint32_t kStateSize = B / 8;       // 200 bytes
};

// Multi-rate pad10*1 with no domain bits: 0x01 at the first free byte, 0x80
// ORed into the last byte of the block (0x81 when those are the same byte).
template <class Traits>
struct KeccakPad101Policy {
  static constexpr std::uint8_t kFirstByte = 0x01;
  // `block` holds `used` message bytes followed by zeros up to the rate.
  static void Pad(std::uint8_t* block, std::uint32_t used) {
    block[used] = kFirstByte;
    block[Traits::kRate - 1] |= 0x80;
  }
};

}  // namespace detail

// The sponge itself, without virtual calls. Only the 1600-bit permutation exists.
template <unsigned B, unsigned C, unsigned N, class Traits, class Pad>
class KeccakSponge {
 public:
  static constexpr std::uint32_t kRate = Traits::kRate;
  static constexpr std::uint32_t kOutputSize = Traits::kOutputSize;

  KeccakSponge() { Reset(); }
  ~KeccakSponge() {
    SecureWipe(lanes_, sizeof lanes_);
    SecureWipe(buffer_, sizeof buffer_);
  }
  KeccakSponge(const KeccakSponge&) = delete;
  KeccakSponge& operator=(const KeccakSponge&) = delete;

  void Reset() {
    std::memset(lanes_, 0, sizeof lanes_);
    buffered_ = 0;
  }

  void CopyStateFrom(const KeccakSponge& other) {
    std::memcpy(lanes_, other.lanes_, sizeof lanes_);
    std::memcpy(buffer_, other.buffer_, other.buffered_);
    buffered_ = other.buffered_;
  }

  void Update(const void* data, std::uint32_t length) {
    if (length == 0) return;
    const auto* in = static_cast<const std::uint8_t*>(data);
    if (buffered_ != 0) {
      const std::uint32_t take = length < kRate - buffered_ ? length : kRate - buffered_;
      std::memcpy(buffer_ + buffered_, in, take);
      buffered_ += take;
      in += take;
      length -= take;
      if (buffered_ < kRate) return;
      Absorb(buffer_);
      buffered_ = 0;
    }
    for (; length >= kRate; in += kRate, length -= kRate) Absorb(in);
    if (length != 0) {
      std::memcpy(buffer_, in, length);
      buffered_ = length;
    }
  }

  // `length` 0 means the output size; a length above it is refused.
  bool Final(std::uint8_t* out, std::uint32_t length) {
    if (length == 0) length = kOutputSize;
    if (length > kOutputSize) return false;
    std::memset(buffer_ + buffered_, 0, kRate - buffered_);
    Pad::Pad(buffer_, buffered_);
    Absorb(buffer_);
    buffered_ = 0;
    std::uint8_t state[Traits::kStateSize];
    const std::uint32_t lanesOut = (length + 7) / 8;
    for (std::uint32_t i = 0; i < lanesOut; ++i) StoreLittleEndian64(state + 8 * i, lanes_[i]);
    std::memcpy(out, state, length);
    SecureWipe(state, 8 * lanesOut);
    SecureWipe(buffer_, sizeof buffer_);
    return true;
  }

 private:
  void Absorb(const std::uint8_t* block) {
    for (std::uint32_t i = 0; i < kRate / 8; ++i) lanes_[i] ^= LoadLittleEndian64(block + 8 * i);
    detail::KeccakF1600Permute(lanes_);
  }

  std::uint64_t lanes_[25];
  std::uint8_t buffer_[kRate];
  std::uint32_t buffered_;
};

// Abstract Keccak variant; constructed in its reset state.
class KeccakSpongeImp : public LockedObject {
 public:
  virtual ~KeccakSpongeImp() = default;
  virtual void Reset() = 0;
  virtual void Update(const void* data, std::uint32_t length) = 0;
  // `length` 0 means OutputSize(); a length above it is refused.
  virtual bool Final(std::uint8_t* out, std::uint32_t length) = 0;
  virtual std::uint32_t BlockSize() const = 0;
  virtual std::uint32_t OutputSize() const = 0;
  // Takes over the whole state of `other`; false (and no change) when it is
  // a different variant.
  virtual bool CopyStateFrom(const KeccakSpongeImp& other) = 0;
};

template <class Sponge>
class KeccakSpongeBridge final : public KeccakSpongeImp {
 public:
  void Reset() override { sponge_.Reset(); }
  void Update(const void* data, std::uint32_t length) override { sponge_.Update(data, length); }
  bool Final(std::uint8_t* out, std::uint32_t length) override { return sponge_.Final(out, length); }
  std::uint32_t BlockSize() const override { return Sponge::kRate; }
  std::uint32_t OutputSize() const override { return Sponge::kOutputSize; }
  bool CopyStateFrom(const KeccakSpongeImp& other) override {
    if (typeid(other) != typeid(*this)) return false;
    sponge_.CopyStateFrom(static_cast<const KeccakSpongeBridge&>(other).sponge_);
    return true;
  }

 private:
  Sponge sponge_;
};

template <unsigned C, unsigned N>
using KeccakVariant = KeccakSpongeBridge<
    KeccakSponge<1600, C, N, detail::KeccakSpongeTraits<1600, C, N>,
                 detail::KeccakPad101Policy<detail::KeccakSpongeTraits<1600, C, N>>>>;

// The Keccak front: output sizes 28, 32, 48, 64 (default 32).
class KeccakF1600Digest : public DigestImp {
 public:
  // `size` 0 means 32. A size without a variant leaves the default Keccak-256.
  explicit KeccakF1600Digest(std::uint32_t size = 0);
  ~KeccakF1600Digest() override;

  void Reset() override;
  void Update(const void* data, std::uint32_t length) override;
  bool Final(std::uint8_t* out, std::uint32_t length) override;
  // The rate: 144, 136, 104 or 72 bytes.
  std::uint32_t BlockSize() const override;
  // Builds a fresh variant for 28, 32, 48 or 64 (dropping absorbed data);
  // false and no change for any other size.
  bool SelectVariant(std::uint32_t size) override;

  // Takes over the absorbed state of `other`, which must have the same output
  // size; false (and no change) otherwise. Lets HMAC restart from saved pads.
  bool CopyStateFrom(const KeccakF1600Digest& other) { return variant_->CopyStateFrom(*other.variant_); }

 private:
  std::unique_ptr<KeccakSpongeImp> variant_;
};

}  // namespace security
