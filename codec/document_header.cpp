#include "codec/document_header.h"

#include <cstring>

#include "codec/byte_order.h"

namespace codec {

void DocumentHeader::Parse(const std::uint8_t* stored) {
  std::memcpy(magic, stored, 4);
  formatVersion = LoadBigEndian16(stored + 4);
  cipherId = LoadBigEndian16(stored + 6);
  trailerDigestId = LoadBigEndian16(stored + 8);
  keyBits = LoadBigEndian16(stored + 10);
  partCount = LoadBigEndian16(stored + 12);
  flags = LoadBigEndian32(stored + 14);
  kdfId = stored[18];
  iterationThousands = LoadBigEndian16(stored + 19);
  bodyDigestId = stored[21];
  std::memcpy(reserved, stored + 22, 8);
}

void DocumentHeader::Store(std::uint8_t* out) const {
  std::memcpy(out, magic, 4);
  StoreBigEndian16(out + 4, formatVersion);
  StoreBigEndian16(out + 6, cipherId);
  StoreBigEndian16(out + 8, trailerDigestId);
  StoreBigEndian16(out + 10, keyBits);
  StoreBigEndian16(out + 12, partCount);
  StoreBigEndian32(out + 14, flags);
  out[18] = kdfId;
  StoreBigEndian16(out + 19, iterationThousands);
  out[21] = bodyDigestId;
  std::memcpy(out + 22, reserved, 8);
}

bool DocumentHeader::HasMagic() const { return std::memcmp(magic, "emdf", 4) == 0; }

}  // namespace codec
