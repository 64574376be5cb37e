#pragma once
// The key/value tags of a document's plain trailer.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/chunk_reader.h"

namespace codec {

struct DocumentTag {
  static constexpr std::uint32_t KeyCapacity = 32;  // at most 31 key bytes and a NUL

  char key[KeyCapacity] = {};
  // Length as stored in the list, before unescaping.
  std::uint32_t valueLength = 0;
  // Binary values: valueLength bytes. Text values: the unescaped text and a NUL.
  std::unique_ptr<std::uint8_t[]> value;
  bool owned = false;
  bool binary = false;

  // The value as NUL-terminated text, or null for a binary value.
  const char* Text() const {
    return binary ? nullptr : reinterpret_cast<const char*>(value.get());
  }
};

// Up to MaxTags tags in list order. The table owns every value; whoever points
// at a value (the message catalogue) listens for the moment the values are
// released.
class DocumentTagTable {
 public:
  static constexpr std::uint32_t MaxTags = 128;
  static constexpr std::uint32_t MaxKeyLength = DocumentTag::KeyCapacity - 1;
  static constexpr std::uint32_t BinaryFlag = 0x100;  // bit 8 of an entry's first word

  // Told when the table's contents change. Called on the thread that changes
  // the table; the listener must outlive its registration.
  class Listener {
   public:
    // Every value has just been released: drop all pointers into the table.
    virtual void TagsCleared() = 0;
    // A tag list has just been read into `table`.
    virtual void TagsLoaded(const DocumentTagTable& table) = 0;

   protected:
    ~Listener() = default;
  };

  DocumentTagTable() = default;
  DocumentTagTable(const DocumentTagTable&) = delete;
  DocumentTagTable& operator=(const DocumentTagTable&) = delete;
  // Releases the values without telling the listener, which may be gone by now.
  ~DocumentTagTable() = default;

  // At most one listener; null removes it.
  void SetListener(Listener* listener) { listener_ = listener; }

  // The first entry, in list order, whose key equals `key` byte for byte, or
  // null when none does.
  const DocumentTag* FindTag(const char* key) const;

  // Empties the table, then appends the entries of the tag list that `reader`
  // delivers and tells the listener that tags were loaded. Entries beyond
  // MaxTags and entries with keys longer than MaxKeyLength are skipped. When
  // the data ends early the complete entries are kept. Returns true when the
  // list ended with its terminating zero word, false when the data ended first.
  // Memory grows only with data actually delivered, never with a stated length.
  bool ReadTags(ChunkReader& reader);

  // Releases every value, empties the table and tells the listener.
  void ClearTags();

  std::uint32_t Count() const { return count_; }
  // Entry `index` (below Count()).
  const DocumentTag& Tag(std::uint32_t index) const { return tags_[index]; }

  // Undoes the escapes of a text value in place: a backslash and the byte after
  // it become one byte (a backslash for a second backslash, else that byte
  // minus 0x60); a lone backslash at the end stays. Returns the new length.
  static std::uint32_t Unescape(std::uint8_t* text, std::uint32_t length);

 private:
  void ReleaseValues();
  bool ReadValue(ChunkReader& reader, std::uint32_t length);

  std::array<DocumentTag, MaxTags> tags_;
  std::uint32_t count_ = 0;
  Listener* listener_ = nullptr;
  std::vector<std::uint8_t> scratch_;
};

}  // namespace codec
