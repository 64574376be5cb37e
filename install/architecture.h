#pragma once
// Whether the machine runs the module on its own processor architecture.
// Where it does not (the 32-bit module on a 64-bit Windows), the shell cannot
// load the module's icon handler and the installation warns first.

#include <cstdint>

namespace install {

// Processor architectures as GetNativeSystemInfo names them.
enum ProcessorArchitecture : std::uint16_t {
  ArchitectureIntel = 0,  // x86
  ArchitectureArm = 5,
  ArchitectureAmd64 = 9,
  ArchitectureArm64 = 12,
  ArchitectureUnknown = 0xFFFF,
};

// The architecture this module was built for.
constexpr std::uint16_t ModuleArchitecture() {
#if defined(__x86_64__) || defined(_M_X64)
  return ArchitectureAmd64;
#elif defined(__i386__) || defined(_M_IX86)
  return ArchitectureIntel;
#elif defined(__aarch64__) || defined(_M_ARM64)
  return ArchitectureArm64;
#elif defined(__arm__) || defined(_M_ARM)
  return ArchitectureArm;
#else
  return ArchitectureUnknown;
#endif
}

// True when the machine's native architecture differs from the module's.
constexpr bool IsForeignArchitecture(std::uint16_t native, std::uint16_t module = ModuleArchitecture()) {
  return native != module;
}

}  // namespace install
