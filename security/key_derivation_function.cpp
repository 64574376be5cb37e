#include "security/key_derivation_function.h"

#include <memory>

#include "security/hmac.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"
#include "security/secure_wipe.h"

namespace security {

KeySource::~KeySource() = default;

KeyDerivationFunction::~KeyDerivationFunction() = default;

void KeyDerivationFunction::AddInputFrom(KeySource& source) {
  std::uint32_t length = 0;
  source.GetKeyLength(&length);
  const auto buffer = std::make_unique<std::uint8_t[]>(length == 0 ? 1 : length);
  std::int32_t ignored = 0;
  source.CopyKey(&ignored, buffer.get(), length);
  AddInput(buffer.get(), length);
  SecureWipe(buffer.get(), length);
}

void KeyDerivationFunction::SetProgress(Progress) {}

void PasswordKeyDerivationFunction::AddInputFrom(KeySource& /*source*/) {}

template class HMac<Sha2Digest>;
template class HMac<KeccakF1600Digest>;
template class PbKdf2<HMac<Sha2Digest>>;
template class PbKdf2<HMac<KeccakF1600Digest>>;
template class PasswordKdfAdapter<PbKdf2<HMac<Sha2Digest>>>;
template class PasswordKdfAdapter<PbKdf2<HMac<KeccakF1600Digest>>>;

}  // namespace security
