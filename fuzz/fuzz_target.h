#pragma once
// One fuzz target per file, written once for two builds:
//   VP_FUZZ_TARGET(name) { ... }
// is libFuzzer's entry point in a fuzzer build, and in the unit-test build
// (VP_FUZZ_REPLAY) a function registered under `name`, through which the
// replay test runs the kept regression inputs and the seed corpus.
// VP_FUZZ_CHECK states a property the fuzzer must never see broken; a broken
// one aborts, which both builds report as a failure with the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace vpfuzz {

using Target = int (*)(const std::uint8_t* data, std::size_t size);

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
  std::abort();
}

#ifdef VP_FUZZ_REPLAY
// Every target compiled into the replay test, by name.
inline std::map<std::string, Target>& Targets() {
  static std::map<std::string, Target> targets;
  return targets;
}
inline bool Register(const char* name, Target target) {
  Targets()[name] = target;
  return true;
}
#endif

}  // namespace vpfuzz

#define VP_FUZZ_CHECK(condition) \
  do { \
    if (!(condition)) ::vpfuzz::Fail(#condition, __FILE__, __LINE__); \
  } while (false)

#ifdef VP_FUZZ_REPLAY
#define VP_FUZZ_TARGET(name) \
  static int name##FuzzOne(const std::uint8_t* data, std::size_t size); \
  [[maybe_unused]] static const bool name##Registered = ::vpfuzz::Register(#name, &name##FuzzOne); \
  static int name##FuzzOne(const std::uint8_t* data, std::size_t size)
#else
#define VP_FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#endif
