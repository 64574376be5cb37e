#include "cli/system_random.h"

#include <sys/random.h>

#include <cerrno>

namespace cli {

bool SystemRandomBytes(void* out, std::size_t length) {
  auto* p = static_cast<unsigned char*>(out);
  while (length > 0) {
    const ssize_t n = ::getrandom(p, length, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace cli
