#include "web/entry/web_entry.h"

#include <algorithm>
#include <new>

#include "codec/document_decoder.h"
#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "codec/icon_directory.h"
#include "codec/inspect_document.h"
#include "reader/link_address.h"
#include "reader/message_catalogue.h"
#include "web/entry/page_decode_writer.h"
#include "web/entry/source_reader.h"

namespace web {
namespace {

using codec::DecodeResult;
using reader::MessageCatalogue;

// The size the page's prompt shows a document's icon at (a dialog's large
// icon), in full colour: the nearest image is chosen.
constexpr std::uint32_t kIconSize = 32;
constexpr std::uint32_t kIconDepth = 32;
// The result codes the inspection and the decoder can give.
constexpr std::int32_t kLowestCode = codec::ResultCode(DecodeResult::NoKeyDerivation);

void StoreLittleEndian(std::uint8_t* out, std::uint32_t value, std::uint32_t bytes) {
  for (std::uint32_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void ReportTexts(PageHost& host, MessageCatalogue& catalogue) {
  for (std::uint32_t i = 0; i < MessageCatalogue::EntryCount; ++i) {
    const auto entry = static_cast<MessageCatalogue::Entry>(i);
    host.Text(i, MessageCatalogue::KeyOf(entry), catalogue.Text(entry));
  }
  for (std::int32_t code = -1; code >= kLowestCode; --code) {
    const char* text = catalogue.TextForError(static_cast<DecodeResult>(code));
    host.ErrorText(code, text != nullptr ? text : reader::kIoErrorText);
  }
  host.Link(reader::IsOpenableLinkAddress(catalogue.Text(MessageCatalogue::HyperlinkUrl)));
}

void ReportIcon(PageHost& host, const codec::DocumentTagTable& tags) {
  codec::IconImage wanted;
  wanted.width = kIconSize;
  wanted.height = kIconSize;
  wanted.bitCount = kIconDepth;
  codec::IconImage icon;
  if (!codec::ExtractDocumentIcon(tags, wanted, icon)) return;
  if (icon.format == codec::IconImage::FormatPng) {
    host.Icon(icon.bytes.data(), static_cast<std::uint32_t>(icon.bytes.size()), "image/png");
    return;
  }
  const std::vector<std::uint8_t> file = SingleImageIconFile(icon);
  host.Icon(file.data(), static_cast<std::uint32_t>(file.size()), "image/x-icon");
}

// The header's flags, read ahead of the decoder; 0 when there is no header.
std::uint32_t PeekFlags(SourceReader& source) {
  std::uint8_t stored[codec::DocumentHeader::Size] = {};
  codec::DocumentHeader header;
  if (source.Read(stored, sizeof stored, 1) == 1) header.Parse(stored);
  source.Seek(0, 0);
  return header.flags;
}

}  // namespace

std::vector<std::uint8_t> SingleImageIconFile(const codec::IconImage& image) {
  constexpr std::uint32_t kHeader = 6;
  constexpr std::uint32_t kEntry = 16;
  std::vector<std::uint8_t> file(kHeader + kEntry + image.bytes.size(), 0);
  StoreLittleEndian(&file[2], 1, 2);  // type: icon
  StoreLittleEndian(&file[4], 1, 2);  // one image
  std::uint8_t* entry = &file[kHeader];
  entry[0] = static_cast<std::uint8_t>(image.width >= 256 ? 0 : image.width);
  entry[1] = static_cast<std::uint8_t>(image.height >= 256 ? 0 : image.height);
  StoreLittleEndian(entry + 4, 1, 2);  // planes
  StoreLittleEndian(entry + 6, image.bitCount, 2);
  StoreLittleEndian(entry + 8, static_cast<std::uint32_t>(image.bytes.size()), 4);
  StoreLittleEndian(entry + 12, kHeader + kEntry, 4);
  std::copy(image.bytes.begin(), image.bytes.end(), file.begin() + kHeader + kEntry);
  return file;
}

DecodeResult InspectForPage(PageHost& host) {
  try {
    SourceReader source(host);
    codec::DocumentTagTable tags;
    MessageCatalogue catalogue;
    tags.SetListener(&catalogue);
    codec::DocumentHeader header;
    const DecodeResult result = codec::InspectDocument(source, header, /*rewind=*/false, &tags);
    host.Flags(result == DecodeResult::Ok || result == DecodeResult::UnsupportedVersion ? header.flags : 0);
    ReportTexts(host, catalogue);
    ReportIcon(host, tags);
    tags.ClearTags();
    tags.SetListener(nullptr);
    return result;
  } catch (const std::bad_alloc&) {
    return DecodeResult::OutOfMemory;
  }
}

DecodeResult DecodeForPage(PageHost& host, const char* userName, const char* password) {
  try {
    SourceReader source(host);
    const std::uint32_t flags = PeekFlags(source);
    if ((flags & codec::DocumentHeader::FlagNoCredentials) != 0) {
      userName = "";
      password = "";
    } else if ((flags & codec::DocumentHeader::FlagPasswordOnly) != 0) {
      userName = "";
    }
    PageDecodeWriter writer(host);
    codec::DocumentDecoder decoder(source, writer);
    // The page ends the worker to cancel, so the derivation itself always goes on.
    decoder.SetKeyProgress([&host](std::uint64_t done, std::uint64_t total) {
      host.KeyProgress(done, total);
      return true;
    });
    const DecodeResult result = decoder.DecodeDocument(userName, password, /*allowExpired=*/false);
    return result == DecodeResult::PartOutputRefused && writer.Refused() ? DecodeResult::OutOfMemory : result;
  } catch (const std::bad_alloc&) {
    return DecodeResult::OutOfMemory;
  }
}

}  // namespace web
