#pragma once
// Overwriting of key material that the optimiser may not drop.

#include <cstddef>

namespace security {

// Overwrites `length` bytes at `data` with zeros. The stores are performed even
// when the memory is released right afterwards. `data` may be null when
// `length` is 0.
void SecureWipe(void* data, std::size_t length) noexcept;

}  // namespace security
