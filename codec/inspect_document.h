#pragma once
// Reads a document's plain fixed header and, on request, its tag trailer,
// without any credentials.

#include <cstdint>
#include <cstdio>

#include "codec/decode_result.h"
#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "codec/inflater.h"
#include "codec/vp_reader.h"

namespace codec {

// Largest inflated tag list accepted from a trailer. A trailer of 51,200
// bytes could otherwise inflate to tens of megabytes.
inline constexpr std::uint32_t MaxTagListSize = 8u * 1024u * 1024u;
// Largest stored trailer (zlib stream and digest).
inline constexpr std::uint32_t MaxTrailerSize = 51200;

// Reads the 30-byte header through `source`'s Read and Seek (never NextBlock)
// into `header`, checks the magic and the trailer digest id and, when `tags`
// is given and the header has FlagTagTrailer, reads, inflates and checks the
// trailer at the end of the source and parses its tags into `tags`. The table
// is touched only when the trailer passed its checks. A document of an
// unknown version still has its tags loaded and returns
// DecodeResult::UnsupportedVersion, so that its own texts reach the reader.
// With `rewind` the source is sought back to its start before returning.
// Returns Ok or the failure; `header` is left untouched only when fewer than
// 30 bytes could be read. The trailer's inflater allocates through
// `allocator` when given (tests make it fail). Memory exhaustion throws
// std::bad_alloc: for the inflater's state, the trailer and the tag values;
// the trailer's inflate window failing is OutOfMemory.
DecodeResult InspectDocument(VPReader& source, DocumentHeader& header, bool rewind,
                             DocumentTagTable* tags, const Inflater::Allocator* allocator = nullptr);

// The same over an open stdio stream (binary mode), which is not closed.
DecodeResult InspectDocument(std::FILE* file, DocumentHeader& header, bool rewind,
                             DocumentTagTable* tags);

}  // namespace codec
