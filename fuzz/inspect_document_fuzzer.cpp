// InspectDocument over arbitrary bytes with a tag table and the catalogue
// listening to it, then the icon extraction the shell's icon handler makes
// from the same table: the path every container file a user merely looks
// at takes, without credentials.

#include <cstring>

#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "codec/icon_directory.h"
#include "codec/icon_image.h"
#include "codec/inspect_document.h"
#include "fuzz/fuzz_support.h"
#include "reader/message_catalogue.h"

VP_FUZZ_TARGET(inspect_document) {
  using codec::DecodeResult;
  reader::MessageCatalogue catalogue;
  codec::DocumentTagTable tags;
  tags.SetListener(&catalogue);
  codec::DocumentHeader header;
  vpfuzz::SeekableMemory source(data, size);

  const DecodeResult result = codec::InspectDocument(source, header, true, &tags);
  VP_FUZZ_CHECK(vpfuzz::IsKnownResult(result));
  VP_FUZZ_CHECK(result == DecodeResult::HeaderTooShort ? size < codec::DocumentHeader::Size
                                                       : source.Position() == 0);
  // The table is filled only by a trailer that passed its checks.
  VP_FUZZ_CHECK(tags.Count() == 0 || result == DecodeResult::Ok || result == DecodeResult::UnsupportedVersion);
  VP_FUZZ_CHECK(tags.Count() <= codec::DocumentTagTable::MaxTags);

  for (std::uint32_t i = 0; i < tags.Count(); ++i) {
    const codec::DocumentTag& tag = tags.Tag(i);
    VP_FUZZ_CHECK(std::strlen(tag.key) <= codec::DocumentTagTable::MaxKeyLength);
    if (!tag.binary) VP_FUZZ_CHECK(std::strlen(tag.Text()) <= tag.valueLength);
  }
  for (std::uint32_t e = 0; e < reader::MessageCatalogue::EntryCount; ++e) {
    const char* text = catalogue.Text(static_cast<reader::MessageCatalogue::Entry>(e));
    VP_FUZZ_CHECK(text != nullptr);
    (void)std::strlen(text);
  }

  codec::IconImage wanted;
  wanted.width = wanted.height = 32;
  wanted.bitCount = 32;
  codec::IconImage icon;
  if (codec::ExtractDocumentIcon(tags, wanted, icon)) {
    VP_FUZZ_CHECK(icon.bytes.size() == icon.byteCount);
  }
  return 0;
}
