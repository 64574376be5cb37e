// vpdigest ID FILE: prints the lower-case hexadecimal digest of FILE computed
// with digest id ID (2 SHA-1, 3 SHA-256, 4 SHA-512, 7 Keccak-256) through the
// same Digest front the reader uses.
// Exit status: 0 success, 1 unknown id or unreadable file, 2 usage error.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "security/digest.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: vpdigest ID FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  char* end = nullptr;
  errno = 0;
  const unsigned long id = std::strtoul(argv[1], &end, 10);
  if (end == argv[1] || *end != '\0' || errno != 0 || id > 0xFFFFFFFFul || argv[1][0] == '-') return Usage();

  security::Digest digest(static_cast<std::uint32_t>(id));
  if (!digest.IsValid()) {
    std::fprintf(stderr, "vpdigest: unknown digest id %lu\n", id);
    return 1;
  }
  std::FILE* file = std::fopen(argv[2], "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "vpdigest: cannot open %s: %s\n", argv[2], std::strerror(errno));
    return 1;
  }
  std::vector<unsigned char> buffer(1 << 16);
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) != 0) {
    digest.Update(buffer.data(), static_cast<std::uint32_t>(got));
  }
  const bool readFailed = std::ferror(file) != 0;
  std::fclose(file);
  if (readFailed) {
    std::fprintf(stderr, "vpdigest: cannot read %s\n", argv[2]);
    return 1;
  }
  std::uint8_t out[64];
  const std::uint32_t length = digest.OutputLength();
  if (!digest.Final(out, 0)) return 1;
  for (std::uint32_t i = 0; i < length; ++i) std::printf("%02x", out[i]);
  std::printf("\n");
  return 0;
}
