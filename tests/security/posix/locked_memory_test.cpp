// Secrets live on pages that are locked and left out of core dumps; where
// locking is not allowed the memory serves all the same. (Linux: the
// kernel's flags of each mapping tell; the browser build has neither.)

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "security/block_cipher.h"
#include "security/locked_memory.h"
#include "security/secret_text.h"

#ifdef __linux__

namespace security {
namespace {

// The kernel's flags of the mapping that holds `address` ("lo" locked, "dd"
// not dumped), from /proc/self/smaps.
std::string MappingFlags(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    std::uintptr_t from = 0, to = 0;
    char dash = 0;
    if (std::istringstream(line) >> std::hex >> from >> dash >> to && dash == '-') inside = from <= at && at < to;
    if (inside && line.rfind("VmFlags:", 0) == 0) return line + " ";
  }
  return {};
}

// AddressSanitizer's mlock does nothing: there the pages are only left out of dumps.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kLockingWorks = false;
#else
constexpr bool kLockingWorks = true;
#endif

TEST(LockedMemory, PasswordsAndKeySchedulesAreLockedAndLeftOutOfDumps) {
  SecretText password("typed");
  const std::unique_ptr<BlockCipher> aes = CreateBlockCipher(kCipherAes);
  LockedBytes key(4096 + 1);  // more than a page
  for (const void* secret : {static_cast<const void*>(password.c_str()), static_cast<const void*>(aes.get()),
                             static_cast<const void*>(&key[4096])}) {
    const std::string flags = MappingFlags(secret);
    EXPECT_NE(flags.find(" dd "), std::string::npos) << flags;
    if (kLockingWorks && ::geteuid() == 0) {
      EXPECT_NE(flags.find(" lo "), std::string::npos) << flags;
    }
  }
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(key.get()) % 16, 0u);
  EXPECT_EQ(key[4096], 0);
}

TEST(LockedMemory, WithoutTheRightToLockTheMemoryServesAllTheSame) {
  const pid_t child = ::fork();
  if (child == 0) {
    // An ordinary user whose limit allows no locked memory at all.
    const rlimit none{0, 0};
    if (::geteuid() == 0 && ::setresuid(65534, 65534, 65534) != 0) ::_exit(2);
    if (::setrlimit(RLIMIT_MEMLOCK, &none) != 0) ::_exit(3);
    SecretText password("typed");
    password.append(std::string(10000, 'x'));
    const std::string flags = MappingFlags(password.c_str());
    ::_exit(password.size() == 10005 && flags.find(" lo ") == std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace security

#endif  // __linux__
