#include "security/digest.h"

#include <cstring>

#include "security/secure_wipe.h"

namespace security {

Digest::Digest(std::uint32_t identifier) { lanes_[0] = CreateDigestImp(identifier); }

Digest::~Digest() = default;

void Digest::ReleaseLanesFrom(std::uint32_t first) {
  for (std::uint32_t i = first; i < kMaxLanes; ++i) lanes_[i].reset();
}

bool Digest::SetOutputLength(std::uint32_t length) {
  if (!IsValid()) return false;
  if (lanes_[0]->SetOutputSize(length)) {
    requestedLength_ = 0;
    ReleaseLanesFrom(1);
    laneCount_ = 1;
    return true;
  }
  requestedLength_ = length;
  if (length == 0) {
    ReleaseLanesFrom(1);
    laneCount_ = 1;
    return true;
  }
  const std::uint32_t laneSize = lanes_[0]->OutputSize();
  const std::uint32_t needed = static_cast<std::uint32_t>(
      (std::uint64_t{length} + laneSize - 1) / laneSize);
  if (needed > kMaxLanes) return false;

  for (std::uint32_t i = 1; i < needed; ++i) {
    if (!lanes_[i]) lanes_[i] = CreateDigestImp(lanes_[0]->Identifier());
    lanes_[i]->SetOutputSize(laneSize);
  }
  ReleaseLanesFrom(needed);
  laneCount_ = needed;
  return true;
}

void Digest::Update(const void* data, std::uint32_t length) {
  if (!IsValid()) return;
  if (laneCount_ == 1) {
    lanes_[0]->Update(data, length);
    return;
  }
  const auto* in = static_cast<const std::uint8_t*>(data);
  const std::uint32_t slice = length / laneCount_;
  for (std::uint32_t i = 0; i + 1 < laneCount_; ++i, in += slice) lanes_[i]->Update(in, slice);
  lanes_[laneCount_ - 1]->Update(in, slice + length % laneCount_);
}

std::uint32_t Digest::OutputLength() const {
  if (!IsValid()) return 0;
  const std::uint32_t laneSize = lanes_[0]->OutputSize();
  if (requestedLength_ == 0) return laneSize;
  // A refused request leaves too few lanes to cover the requested length.
  if (std::uint64_t{laneCount_} * laneSize < requestedLength_) return 0;
  return requestedLength_;
}

bool Digest::Final(std::uint8_t* out, std::uint32_t length) {
  const std::uint32_t total = OutputLength();
  if (total == 0) return false;
  if (length == 0) length = total;
  if (length > total) return false;

  if (requestedLength_ == 0) {
    if (!lanes_[0]->Final(out, length)) return false;
    Reset();
    return true;
  }

  const std::uint32_t requested = requestedLength_;
  const std::uint32_t laneSize = lanes_[0]->OutputSize();
  std::uint8_t scratch[kMaxLanes * kMaxDigestSize];
  for (std::uint32_t i = 0; i < laneCount_; ++i) lanes_[i]->Final(scratch + i * laneSize, 0);

  // Fold the excess beyond the requested length back onto it in 4-byte
  // groups. Without one whole excess group there is nothing to fold with.
  const std::uint32_t produced = laneCount_ * laneSize;
  const std::uint32_t excess = produced - requested;
  const std::uint32_t excessGroups = excess / 4;
  if (excess < requested && requested >= 4 && excessGroups != 0) {
    const std::uint8_t* excessArea = scratch + requested;
    for (std::uint32_t k = 0; k < requested / 4; ++k) {
      const std::uint8_t* e = excessArea + 4 * (k % excessGroups);
      for (std::uint32_t b = 0; b < 4; ++b) scratch[4 * k + b] ^= e[b];
    }
  }

  std::memcpy(out, scratch, length);
  SecureWipe(scratch, produced);
  Reset();
  return true;
}

void Digest::Reset() {
  for (std::uint32_t i = 0; i < laneCount_; ++i) {
    if (lanes_[i]) lanes_[i]->Reset();
  }
}

}  // namespace security
