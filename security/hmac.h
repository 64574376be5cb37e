#pragma once
// HMAC (RFC 2104) over a digest front. The MAC is the front itself: it keeps
// the front's slots and adds SetKey, so PBKDF2 drives it like any digest.

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

#include "security/digest_imp.h"
#include "security/keccak_f1600_digest.h"
#include "security/locked_memory.h"
#include "security/secure_wipe.h"
#include "security/sha2_digest.h"

namespace security {

template <class D>
class MsgAuthenticationCode : public D {
 public:
  // Slot 6: installs `key` and restarts the message.
  virtual void SetKey(const void* key, std::uint32_t length) = 0;

 protected:
  MsgAuthenticationCode() : D(0) {}
};

template <class D>
class HMac : public MsgAuthenticationCode<D> {
 public:
  // A ready MAC with an empty key, over D's default size (32 bytes).
  HMac();
  ~HMac() override;

  // Restarts the message with the current key.
  void Reset() override;
  // Writes `length` bytes of the MAC (0: the output size); a length above the
  // output size is refused with nothing written. Afterwards Reset is needed.
  bool Final(std::uint8_t* out, std::uint32_t length) override;
  // The pads are sized for the block size at construction, so only the
  // current output size is accepted; any other is refused.
  bool SelectVariant(std::uint32_t size) override;
  // Keys longer than the block size are hashed first; the pads are rebuilt.
  void SetKey(const void* key, std::uint32_t length) override;

  // For HMAC-SHA-256: the chaining words of the inner and the outer hash
  // right after their pads (one block each), from which a message of one
  // block finishes with one compression each. False for any other digest.
  // The words are key material: the caller wipes them.
  bool PadStates256(std::uint32_t* inner, std::uint32_t* outer) const;

 private:
  // Absorbs the pads into the saved starting states of the two hashes.
  void SavePadStates();

  std::uint32_t blockSize_;
  LockedBytes pads_;  // inner pad, then outer pad
  std::uint8_t* outerPad_;
  // The hash state right after each pad: restarting copies it instead of
  // compressing the pad again on every message.
  D innerStart_;
  D outerStart_;
};

template <class D>
HMac<D>::HMac()
    : blockSize_(D::BlockSize()), pads_(2 * std::size_t{blockSize_}), outerPad_(pads_.get() + blockSize_) {
  std::memset(pads_.get(), 0x36, blockSize_);
  std::memset(outerPad_, 0x5C, blockSize_);
  SavePadStates();
  D::CopyStateFrom(innerStart_);
}

template <class D>
void HMac<D>::SavePadStates() {
  innerStart_.Reset();
  innerStart_.Update(pads_.get(), blockSize_);
  outerStart_.Reset();
  outerStart_.Update(outerPad_, blockSize_);
}

template <class D>
HMac<D>::~HMac() = default;  // the pads are wiped with their memory

template <class D>
void HMac<D>::Reset() {
  // The same as D's Reset followed by Update(inner pad).
  D::CopyStateFrom(innerStart_);
}

template <class D>
bool HMac<D>::Final(std::uint8_t* out, std::uint32_t length) {
  const std::uint32_t size = this->OutputSize();
  if (length > size) return false;
  std::uint8_t inner[kMaxDigestSize];
  D::Final(inner, 0);
  D::CopyStateFrom(outerStart_);  // D's Reset followed by Update(outer pad)
  D::Update(inner, size);
  D::Final(out, length);
  SecureWipe(inner, sizeof inner);
  return true;
}

template <class D>
bool HMac<D>::SelectVariant(std::uint32_t size) {
  return size == this->OutputSize();
}

template <class D>
bool HMac<D>::PadStates256(std::uint32_t* inner, std::uint32_t* outer) const {
  if constexpr (std::is_same_v<D, Sha2Digest>) {
    std::uint32_t innerBlocks = 0, outerBlocks = 0;
    return innerStart_.WholeBlockState256(inner, innerBlocks) && outerStart_.WholeBlockState256(outer, outerBlocks) &&
           innerBlocks == 1 && outerBlocks == 1;
  } else {
    static_cast<void>(inner);
    static_cast<void>(outer);
    return false;
  }
}

template <class D>
void HMac<D>::SetKey(const void* key, std::uint32_t length) {
  std::memset(pads_.get(), 0x36, blockSize_);
  std::memset(outerPad_, 0x5C, blockSize_);
  std::uint8_t hashed[kMaxDigestSize];
  const auto* bytes = static_cast<const std::uint8_t*>(key);
  if (length > blockSize_) {
    D::Reset();
    D::Update(key, length);
    D::Final(hashed, 0);
    bytes = hashed;
    length = this->OutputSize();
  }
  for (std::uint32_t i = 0; i < length; ++i) {
    pads_[i] ^= bytes[i];
    outerPad_[i] ^= bytes[i];
  }
  SecureWipe(hashed, sizeof hashed);
  SavePadStates();
  Reset();
}

extern template class HMac<Sha2Digest>;
extern template class HMac<KeccakF1600Digest>;

}  // namespace security
