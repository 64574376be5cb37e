// DocumentTagTable::ReadTags over an arbitrary inflated tag list, with the
// message catalogue taking its overrides from the table. The trailer's
// digest proves nothing about its author, so the list is as hostile as any
// other byte of a document.

#include <cstring>
#include <vector>

#include "codec/chunk_reader.h"
#include "codec/document_tag_table.h"
#include "codec/memory_reader.h"
#include "fuzz/fuzz_support.h"
#include "reader/message_catalogue.h"

VP_FUZZ_TARGET(tag_table) {
  using reader::MessageCatalogue;
  MessageCatalogue catalogue;
  codec::DocumentTagTable tags;
  tags.SetListener(&catalogue);
  codec::MemoryReader source(data, static_cast<std::uint32_t>(size));
  codec::ChunkReader reader(source);
  tags.ReadTags(reader);
  VP_FUZZ_CHECK(catalogue.OverridesPending());
  VP_FUZZ_CHECK(tags.Count() <= codec::DocumentTagTable::MaxTags);

  for (std::uint32_t i = 0; i < tags.Count(); ++i) {
    const codec::DocumentTag& tag = tags.Tag(i);
    VP_FUZZ_CHECK(tag.owned && tag.value != nullptr);
    VP_FUZZ_CHECK(std::strlen(tag.key) <= codec::DocumentTagTable::MaxKeyLength);
    if (!tag.binary) VP_FUZZ_CHECK(std::strlen(tag.Text()) <= tag.valueLength);
  }
  // Each keyed entry shows the first text tag of its name, or its default.
  for (std::uint32_t e = 0; e < MessageCatalogue::EntryCount; ++e) {
    const auto entry = static_cast<MessageCatalogue::Entry>(e);
    const char* key = MessageCatalogue::KeyOf(entry);
    const codec::DocumentTag* tag = key != nullptr ? tags.FindTag(key) : nullptr;
    const char* expected = tag != nullptr && !tag->binary ? tag->Text() : MessageCatalogue::DefaultText(entry);
    VP_FUZZ_CHECK(catalogue.Text(entry) == expected);
  }
  for (std::int32_t code = -30; code <= 1; ++code) {
    const char* text = catalogue.TextForError(static_cast<codec::DecodeResult>(code));
    if (text != nullptr) (void)std::strlen(text);
  }
  // Releasing the tags takes every override back at once.
  tags.ClearTags();
  for (std::uint32_t e = 0; e < MessageCatalogue::EntryCount; ++e) {
    const auto entry = static_cast<MessageCatalogue::Entry>(e);
    VP_FUZZ_CHECK(catalogue.Text(entry) == MessageCatalogue::DefaultText(entry));
  }

  // Unescaping never lengthens a value.
  std::vector<std::uint8_t> text(data, data + size);
  VP_FUZZ_CHECK(codec::DocumentTagTable::Unescape(text.data(), static_cast<std::uint32_t>(text.size())) <= size);
  return 0;
}
