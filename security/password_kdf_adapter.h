#pragma once
// Reorders the inputs of a PBKDF2 so that the second one (the password) is
// the MAC key and the first one (the user name) is the message prefix.

#include <cstdint>

#include "security/hmac.h"
#include "security/pbkdf2.h"

namespace security {

template <class K>
class PasswordKdfAdapter : public K {
 public:
  PasswordKdfAdapter(std::uint32_t iterations, const void* salt, std::uint32_t saltLength, std::uint32_t mode)
      : K(iterations, salt, saltLength, mode) {}

  // First input: remembered (borrowed; the caller keeps it alive until the
  // second AddInput returns). Second: passed on, then the first after it.
  // Later ones: passed on. Reset does not restart this count.
  void AddInput(const void* data, std::uint32_t length) override {
    ++inputCount_;
    if (inputCount_ == 1) {
      first_ = data;
      firstLength_ = length;
      return;
    }
    K::AddInput(data, length);
    if (inputCount_ == 2) {
      K::AddInput(first_, firstLength_);
      first_ = nullptr;
      firstLength_ = 0;
    }
  }

 private:
  std::uint32_t inputCount_ = 0;
  const void* first_ = nullptr;
  std::uint32_t firstLength_ = 0;
};

extern template class PasswordKdfAdapter<PbKdf2<HMac<Sha2Digest>>>;
extern template class PasswordKdfAdapter<PbKdf2<HMac<KeccakF1600Digest>>>;

}  // namespace security
