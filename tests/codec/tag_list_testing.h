#pragma once
// Builds stored tag lists byte by byte for the tag-table and catalogue tests.

#include <cstdint>
#include <string_view>
#include <vector>

#include "codec/chunk_reader.h"
#include "codec/document_tag_table.h"
#include "codec/memory_reader.h"

namespace tagtest {

inline void AppendWord(std::vector<std::uint8_t>& out, std::uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(word >> shift));
}

inline void AppendBytes(std::vector<std::uint8_t>& out, std::string_view bytes) {
  for (char c : bytes) out.push_back(static_cast<std::uint8_t>(c));
}

// One entry with `value` exactly as stored (escapes are the caller's).
inline void AppendEntry(std::vector<std::uint8_t>& out, std::string_view key, std::string_view value,
                        bool binary = false) {
  AppendWord(out, static_cast<std::uint32_t>(key.size()) | (binary ? 0x100u : 0u));
  AppendBytes(out, key);
  AppendWord(out, static_cast<std::uint32_t>(value.size()));
  AppendBytes(out, value);
}

inline void AppendEntry(std::vector<std::uint8_t>& out, std::string_view key,
                        const std::vector<std::uint8_t>& value, bool binary) {
  AppendEntry(out, key, std::string_view(reinterpret_cast<const char*>(value.data()), value.size()), binary);
}

inline void AppendEnd(std::vector<std::uint8_t>& out) { AppendWord(out, 0); }

// Parses `list` into `table` through a chunk reader over memory.
inline bool LoadTags(codec::DocumentTagTable& table, const std::vector<std::uint8_t>& list) {
  codec::MemoryReader source(list.data(), static_cast<std::uint32_t>(list.size()));
  codec::ChunkReader reader(source);
  return table.ReadTags(reader);
}

}  // namespace tagtest
