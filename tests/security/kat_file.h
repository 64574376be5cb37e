#pragma once
// Byte helpers for the known-answer files under tests/data/<folder> (read by
// support::DataRows): byte fields are text, hex:BYTES or repeat:COUNT:text.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/files.h"

namespace kat {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes FromHex(const std::string& hex) {
  Bytes out(hex.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  return out;
}

inline std::string ToHex(const Bytes& b) {
  std::string s;
  for (std::uint8_t x : b) s += "0123456789abcdef"[x >> 4], s += "0123456789abcdef"[x & 15];
  return s;
}

inline Bytes Sequence(std::size_t n, std::uint8_t first = 0) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(first + i);
  return b;
}

inline Bytes Random(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

inline Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) { return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to)); }

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Each 4-byte group reversed: the stored order of CBC ciphertext.
inline Bytes ReverseGroups(Bytes data) {
  for (std::size_t i = 0; i + 4 <= data.size(); i += 4) std::reverse(data.begin() + static_cast<std::ptrdiff_t>(i), data.begin() + static_cast<std::ptrdiff_t>(i + 4));
  return data;
}

// The digest of `message` from a fresh start, fed in calls of `chunk` bytes
// (0: one call), through any object with Reset, Update, OutputSize and Final.
template <class D>
Bytes Hash(D&& d, const Bytes& message, std::size_t chunk = 0) {
  d.Reset();
  for (std::size_t i = 0; i < message.size(); i += chunk) {
    chunk = chunk ? chunk : message.size();
    d.Update(message.data() + i, static_cast<std::uint32_t>(std::min(chunk, message.size() - i)));
  }
  Bytes out(d.OutputSize());
  EXPECT_TRUE(d.Final(out.data(), 0));
  return out;
}

inline Bytes DecodeField(const std::string& field) {
  if (field.rfind("hex:", 0) == 0) return FromHex(field.substr(4));
  if (field.rfind("repeat:", 0) != 0) return Text(field);
  const std::size_t colon = field.find(':', 7);
  const std::string unit = field.substr(colon + 1);
  Bytes out;
  for (std::size_t i = std::stoul(field.substr(7, colon - 7)); i > 0; --i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

using Line = support::DataRow;

// The known answers of tests/data/<folder>/<name>.
inline std::vector<Line> ReadFile(const std::string& name, const std::string& folder = "security") {
  return support::DataRows(folder + "/" + name);
}

}  // namespace kat
