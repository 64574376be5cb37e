#include "codec/tag_list_writer.h"

#include <zlib.h>

#include "codec/byte_order.h"
#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "security/digest.h"

namespace codec {
namespace {

void AppendBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  std::uint8_t bytes[4];
  StoreBigEndian32(bytes, value);
  out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace

std::vector<std::uint8_t> EscapeTagText(const std::vector<std::uint8_t>& text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size());
  for (const std::uint8_t c : text) {
    if (c == '\\') {
      out.push_back('\\');
      out.push_back('\\');
    } else if (c < 0x20) {
      out.push_back('\\');
      out.push_back(static_cast<std::uint8_t>(c + 0x60));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool BuildTagList(const std::vector<TagListEntry>& tags, std::vector<std::uint8_t>& list) {
  list.clear();
  for (const TagListEntry& tag : tags) {
    if (tag.key.size() > 0xFF || (tag.key.empty() && !tag.binary)) return false;
    const std::vector<std::uint8_t> value = tag.binary ? tag.value : EscapeTagText(tag.value);
    if (value.size() > 0xFFFFFFFFu) return false;
    AppendBigEndian32(list, static_cast<std::uint32_t>(tag.key.size()) |
                                (tag.binary ? DocumentTagTable::BinaryFlag : 0u));
    list.insert(list.end(), tag.key.begin(), tag.key.end());
    AppendBigEndian32(list, static_cast<std::uint32_t>(value.size()));
    list.insert(list.end(), value.begin(), value.end());
  }
  AppendBigEndian32(list, 0);
  return true;
}

bool BuildTrailer(const std::uint8_t* storedHeader, const std::vector<std::uint8_t>& list,
                  std::uint32_t digestId, int level, std::vector<std::uint8_t>& trailer) {
  uLongf length = compressBound(static_cast<uLong>(list.size()));
  trailer.resize(length);
  if (compress2(trailer.data(), &length, list.data(), static_cast<uLong>(list.size()), level) != Z_OK) {
    return false;
  }
  trailer.resize(length);
  security::Digest digest(digestId);
  if (digest.IsValid()) {
    std::uint8_t value[security::kMaxDigestSize];
    digest.Update(storedHeader, static_cast<std::uint32_t>(DocumentHeader::Size));
    digest.Update(list.data(), static_cast<std::uint32_t>(list.size()));
    const std::uint32_t size = digest.OutputLength();
    digest.Final(value, 0);
    trailer.insert(trailer.end(), value, value + size);
  }
  AppendBigEndian32(trailer, static_cast<std::uint32_t>(trailer.size()));
  return true;
}

}  // namespace codec
