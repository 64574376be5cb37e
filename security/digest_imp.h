#pragma once
// The algorithm front of the digest family: one object per algorithm, which
// owns the variant for the chosen output size.

#include <cstdint>
#include <memory>

#include "security/locked_memory.h"

namespace security {

// Digest algorithm identifiers as stored in documents.
enum DigestId : std::uint32_t {
  kDigestSha1 = 2,
  kDigestSha256 = 3,
  kDigestSha512 = 4,
  kDigestKeccak256 = 7,
};

// The largest output of any front, in bytes (SHA-512, Keccak-512).
inline constexpr std::uint32_t kMaxDigestSize = 64;

class DigestImp : public LockedObject {
 public:
  virtual ~DigestImp();
  DigestImp(const DigestImp&) = delete;
  DigestImp& operator=(const DigestImp&) = delete;

  // Slot 1: back to the initial state of the current variant.
  virtual void Reset() = 0;
  // Slot 2: absorbs `length` bytes.
  virtual void Update(const void* data, std::uint32_t length) = 0;
  // Slot 3: finishes and writes `length` bytes (0: the current output size).
  // A length above the output size is refused: false, nothing written, the
  // state untouched. After a successful Final the object needs Reset.
  virtual bool Final(std::uint8_t* out, std::uint32_t length) = 0;
  // Slot 4: the compression block size (the rate for Keccak), in bytes.
  virtual std::uint32_t BlockSize() const = 0;
  // Slot 5: switches to the variant of `size` bytes; the base accepts anything.
  virtual bool SelectVariant(std::uint32_t size);

  // False when `size` is outside [minimum, maximum] or SelectVariant refuses
  // it; the object is then unchanged. On success any absorbed data is lost.
  bool SetOutputSize(std::uint32_t size);

  std::uint32_t MinimumOutputSize() const { return minimumSize_; }
  std::uint32_t MaximumOutputSize() const { return maximumSize_; }
  std::uint32_t OutputSize() const { return currentSize_; }
  std::uint32_t Identifier() const { return identifier_; }
  void SetIdentifier(std::uint32_t id) { identifier_ = id; }

 protected:
  DigestImp(std::uint32_t minimum, std::uint32_t maximum, std::uint32_t current);

 private:
  std::uint32_t minimumSize_;
  std::uint32_t maximumSize_;
  std::uint32_t currentSize_;
  std::uint32_t identifier_ = 0;
};

// The output size in bytes of the digest that `identifier` names (as
// CreateDigestImp builds it), or 0 when it names none.
std::uint32_t DigestOutputSize(std::uint32_t identifier);

// Builds the front for a digest id (2, 7, 3, 4 in that search order) with its
// listed output size and records the id in it; null for any other id.
std::unique_ptr<DigestImp> CreateDigestImp(std::uint32_t identifier);

}  // namespace security
