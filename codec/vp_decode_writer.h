#pragma once
// The sink for a decoded document, part by part.

#include <cstdint>

#include "codec/document_header.h"
#include "codec/vp_codec_base.h"
#include "codec/vp_writer.h"

namespace codec {

// The decoder calls BeginDocument once, then for each part BeginPart, any
// number of Write calls and EndPart, and after the last part EndDocument. A
// false result stops the decoding and nothing further is called, so an
// implementation must cope with a part that was begun and never ended.
class VPDecodeWriter : public VPWriter {
 public:
  // Slots 0 to 3 come from VPWriter: destructor, Start, Write, Finish.

  // Slot 4. `header` is the fixed header in host byte order; `partCount` is
  // the stated count, or 0xFFFFFFFF when the document does not state it.
  virtual bool BeginDocument(const DocumentHeader& header, std::uint32_t partCount) = 0;
  // Slot 5. `name` is the part's NUL-terminated file name; `partHeader` stays
  // valid until EndPart.
  virtual bool BeginPart(const char* name, const VPCodecBase::EncodedHeader& partHeader) = 0;
  // Slot 6.
  virtual bool EndPart() = 0;
  // Slot 7.
  virtual bool EndDocument() = 0;
};

}  // namespace codec
