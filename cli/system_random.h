#pragma once
// Random bytes for salts and generated passwords.

#include <cstddef>

namespace cli {

// Fills `out` from the operating system's random source (getrandom, which
// waits until the kernel's generator is seeded). False when the source
// cannot give them: there is no weaker fallback.
bool SystemRandomBytes(void* out, std::size_t length);

}  // namespace cli
