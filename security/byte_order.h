#pragma once
// Loading and storing fixed-width integers in a given byte order, without
// alignment requirements. Documents store big-endian integers, Keccak lanes
// and icon files little-endian ones, and the CBC ciphertext is stored as
// little-endian words.

#include <cstdint>

namespace security {

inline std::uint16_t LoadBigEndian16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

inline std::uint32_t LoadBigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  return (std::uint64_t{LoadBigEndian32(p)} << 32) | LoadBigEndian32(p + 4);
}

inline std::uint16_t LoadLittleEndian16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadLittleEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

inline std::uint64_t LoadLittleEndian64(const std::uint8_t* p) {
  return std::uint64_t{LoadLittleEndian32(p)} | (std::uint64_t{LoadLittleEndian32(p + 4)} << 32);
}

inline void StoreBigEndian16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

inline void StoreBigEndian32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

inline void StoreBigEndian64(std::uint8_t* p, std::uint64_t v) {
  StoreBigEndian32(p, static_cast<std::uint32_t>(v >> 32));
  StoreBigEndian32(p + 4, static_cast<std::uint32_t>(v));
}

inline void StoreLittleEndian32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void StoreLittleEndian64(std::uint8_t* p, std::uint64_t v) {
  StoreLittleEndian32(p, static_cast<std::uint32_t>(v));
  StoreLittleEndian32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace security
