#pragma once
// The multi-lane digest front: hashes with the algorithm a document names and
// produces outputs longer or shorter than the algorithm's own by running up to
// eight lanes of it and folding their outputs together.

#include <cstdint>
#include <memory>

#include "security/digest_imp.h"

namespace security {

class Digest {
 public:
  static constexpr std::uint32_t kMaxLanes = 8;

  // Lane 0 comes from CreateDigestImp(identifier); an unknown identifier gives
  // a Digest without lanes, which IsValid() reports and every call refuses.
  explicit Digest(std::uint32_t identifier);
  virtual ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  // True when lane 0 exists, that is when the identifier names a digest.
  bool IsValid() const { return lanes_[0] != nullptr; }

  // Asks for `length` output bytes. A length the algorithm produces itself
  // uses lane 0 alone; any other length is met with ceil(length / s) lanes of
  // s bytes. False when more than eight lanes would be needed (the length
  // stays requested but Final then refuses) or without lane 0. A later call
  // releases the lanes an earlier one made and no longer needs.
  bool SetOutputLength(std::uint32_t length);

  // Absorbs `length` bytes. With n lanes, this call's bytes are cut into n
  // consecutive slices (the last one takes the remainder of length / n).
  void Update(const void* data, std::uint32_t length);

  // Writes `length` bytes (0: OutputLength()) and resets every lane. A length
  // above OutputLength() is refused: false, nothing written, nothing reset.
  bool Final(std::uint8_t* out, std::uint32_t length);

  // Reset() of every lane.
  void Reset();

  // The bytes Final(out, 0) writes: the requested length, or the lanes' own
  // size when none was requested; 0 when Final cannot produce anything.
  std::uint32_t OutputLength() const;
  std::uint32_t LaneCount() const { return laneCount_; }
  std::uint32_t RequestedLength() const { return requestedLength_; }

 private:
  void ReleaseLanesFrom(std::uint32_t first);

  std::unique_ptr<DigestImp> lanes_[kMaxLanes];
  std::uint32_t requestedLength_ = 0;
  std::uint32_t laneCount_ = 1;
};

}  // namespace security
