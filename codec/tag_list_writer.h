#pragma once
// The plain tag trailer written: the tag list, its zlib stream, its digest
// and its length, as the inspection reads them back.

#include <cstdint>
#include <string>
#include <vector>

namespace codec {

// One tag to write. A text value is given plain and escaped on the way; a
// binary value is stored as it is.
struct TagListEntry {
  std::string key;
  std::vector<std::uint8_t> value;
  bool binary = false;
};

// A text value as the list stores it: "\" becomes "\\", bytes 0x00-0x1F
// become "\" followed by the byte + 0x60 (a line feed becomes "\j").
std::vector<std::uint8_t> EscapeTagText(const std::vector<std::uint8_t>& text);

// The inflated tag list: every entry (word, key, value length, value), then
// the zero word. False, with `list` unspecified, for an entry the list cannot
// hold: a key of more than 255 bytes, or an empty text key (its word would be
// the list's end).
bool BuildTagList(const std::vector<TagListEntry>& tags, std::vector<std::uint8_t>& list);

// The trailer for `list` in a document whose 30 stored header bytes are
// `storedHeader`: the list's zlib stream at deflate `level` (-1: zlib's
// default), the full digest `digestId` over the header and the list, and N,
// the length of the two. A digest id that names no digest gives a trailer
// without digest bytes, which every reader refuses. False when deflate
// failed.
bool BuildTrailer(const std::uint8_t* storedHeader, const std::vector<std::uint8_t>& list,
                  std::uint32_t digestId, int level, std::vector<std::uint8_t>& trailer);

}  // namespace codec
