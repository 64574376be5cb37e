#include "security/simple_kdf.h"

namespace security {

SimpleKdf::SimpleKdf(std::uint32_t digestIdentifier, std::uint32_t keyLength) : digest_(digestIdentifier) {
  // A refused length shows up through IsValid().
  digest_.SetOutputLength(keyLength);
}

void SimpleKdf::Reset() { digest_.Reset(); }

void SimpleKdf::AddInput(const void* data, std::uint32_t length) {
  digest_.Update(data, length);
  const std::uint32_t trailer = ~(length << 16);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(trailer >> 24), static_cast<std::uint8_t>(trailer >> 16),
                                 static_cast<std::uint8_t>(trailer >> 8), static_cast<std::uint8_t>(trailer)};
  digest_.Update(bytes, sizeof bytes);
}

bool SimpleKdf::Derive(std::uint8_t* out, std::uint32_t length) {
  if (!IsValid() || length > digest_.OutputLength()) return false;
  return digest_.Final(out, length);
}

}  // namespace security
