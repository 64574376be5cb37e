#include "security/digest_imp.h"

#include "security/keccak_f1600_digest.h"
#include "security/sha1_digest.h"
#include "security/sha2_digest.h"

namespace security {

DigestImp::DigestImp(std::uint32_t minimum, std::uint32_t maximum, std::uint32_t current)
    : minimumSize_(minimum), maximumSize_(maximum), currentSize_(current) {}

DigestImp::~DigestImp() = default;

bool DigestImp::SelectVariant(std::uint32_t /*size*/) { return true; }

bool DigestImp::SetOutputSize(std::uint32_t size) {
  if (size < minimumSize_ || size > maximumSize_) return false;
  if (!SelectVariant(size)) return false;
  currentSize_ = size;
  return true;
}

namespace {

struct DigestEntry {
  std::uint32_t identifier;
  std::unique_ptr<DigestImp> (*make)(std::uint32_t size);
  std::uint32_t size;
};

std::unique_ptr<DigestImp> MakeSha1(std::uint32_t) { return std::make_unique<SHA1Digest>(); }
std::unique_ptr<DigestImp> MakeSha2(std::uint32_t size) { return std::make_unique<Sha2Digest>(size); }
std::unique_ptr<DigestImp> MakeKeccak(std::uint32_t size) {
  return std::make_unique<KeccakF1600Digest>(size);
}

// Searched in this order; the first equal identifier wins.
constexpr DigestEntry kDigestTable[] = {
    {kDigestSha1, MakeSha1, 20},
    {kDigestKeccak256, MakeKeccak, 32},
    {kDigestSha256, MakeSha2, 32},
    {kDigestSha512, MakeSha2, 64},
};

}  // namespace

std::uint32_t DigestOutputSize(std::uint32_t identifier) {
  for (const DigestEntry& entry : kDigestTable) {
    if (entry.identifier == identifier) return entry.size;
  }
  return 0;
}

std::unique_ptr<DigestImp> CreateDigestImp(std::uint32_t identifier) {
  for (const DigestEntry& entry : kDigestTable) {
    if (entry.identifier == identifier) {
      std::unique_ptr<DigestImp> digest = entry.make(entry.size);
      digest->SetIdentifier(identifier);
      return digest;
    }
  }
  return nullptr;
}

}  // namespace security
