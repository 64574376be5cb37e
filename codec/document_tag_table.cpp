#include "codec/document_tag_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codec/byte_order.h"

namespace codec {
namespace {

// Values are collected in pieces of this size, so that a stated length larger
// than the data costs no more memory than the data itself.
constexpr std::uint32_t kPiece = 64 * 1024;

bool ReadWord(ChunkReader& reader, std::uint32_t& word) {
  std::uint8_t bytes[4];
  if (reader.Read(bytes, 4) != 4) {
    return false;
  }
  word = LoadBigEndian32(bytes);
  return true;
}

}  // namespace

const DocumentTag* DocumentTagTable::FindTag(const char* key) const {
  if (key == nullptr) {
    return nullptr;
  }
  for (std::uint32_t i = 0; i < count_; ++i) {
    if (std::strcmp(tags_[i].key, key) == 0) {
      return &tags_[i];
    }
  }
  return nullptr;
}

bool DocumentTagTable::ReadTags(ChunkReader& reader) {
  ClearTags();
  bool complete = false;
  for (;;) {
    std::uint32_t word = 0;
    if (!ReadWord(reader, word)) {
      break;
    }
    if (word == 0) {
      complete = true;
      break;
    }
    const bool binary = (word & BinaryFlag) != 0;
    const std::uint32_t keyLength = word & ~BinaryFlag;
    const bool keep = keyLength <= MaxKeyLength && count_ < MaxTags;

    char key[DocumentTag::KeyCapacity] = {};
    const std::uint32_t keyRead = keep ? reader.Read(key, keyLength) : reader.Skip(keyLength);
    std::uint32_t valueLength = 0;
    if (keyRead != keyLength || !ReadWord(reader, valueLength)) {
      break;
    }
    if (!keep) {
      if (reader.Skip(valueLength) != valueLength) {
        break;
      }
      continue;
    }
    if (!ReadValue(reader, valueLength)) {
      break;
    }

    DocumentTag& tag = tags_[count_];
    const std::size_t bufferSize = binary ? std::max<std::size_t>(valueLength, 1)
                                          : std::size_t{valueLength} + 1;
    tag.value = std::make_unique<std::uint8_t[]>(bufferSize);
    if (valueLength > 0) {
      std::memcpy(tag.value.get(), scratch_.data(), valueLength);
    }
    if (!binary) {
      tag.value[Unescape(tag.value.get(), valueLength)] = 0;
    }
    std::memcpy(tag.key, key, sizeof key);
    tag.valueLength = valueLength;
    tag.owned = true;
    tag.binary = binary;
    ++count_;
  }
  scratch_.clear();
  scratch_.shrink_to_fit();
  if (listener_ != nullptr) {
    listener_->TagsLoaded(*this);
  }
  return complete;
}

bool DocumentTagTable::ReadValue(ChunkReader& reader, std::uint32_t length) {
  scratch_.clear();
  std::uint32_t taken = 0;
  while (taken < length) {
    const std::uint32_t piece = std::min(kPiece, length - taken);
    scratch_.resize(std::size_t{taken} + piece);
    const std::uint32_t got = reader.Read(scratch_.data() + taken, piece);
    taken += got;
    if (got != piece) {
      return false;
    }
  }
  return true;
}

void DocumentTagTable::ClearTags() {
  ReleaseValues();
  if (listener_ != nullptr) {
    listener_->TagsCleared();
  }
}

void DocumentTagTable::ReleaseValues() {
  for (std::uint32_t i = 0; i < count_; ++i) {
    tags_[i] = DocumentTag{};
  }
  count_ = 0;
}

std::uint32_t DocumentTagTable::Unescape(std::uint8_t* text, std::uint32_t length) {
  std::uint32_t out = 0;
  for (std::uint32_t in = 0; in < length; ++in) {
    std::uint8_t byte = text[in];
    if (byte == '\\' && in + 1 < length) {
      const std::uint8_t next = text[++in];
      byte = next == '\\' ? next : static_cast<std::uint8_t>(next - 0x60);
    }
    text[out++] = byte;
  }
  return out;
}

}  // namespace codec
