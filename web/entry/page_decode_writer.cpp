#include "web/entry/page_decode_writer.h"

#include <string>

#include "reader/part_file_name.h"

namespace web {

bool PageDecodeWriter::Note(bool accepted) {
  refused_ = refused_ || !accepted;
  return accepted;
}

bool PageDecodeWriter::BeginDocument(const codec::DocumentHeader&, std::uint32_t) { return true; }

bool PageDecodeWriter::BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& partHeader) {
  // A saved copy may land on any system: the stricter rules apply.
  const std::string fileName = reader::SafePartFileName(name, reader::NameRules::Windows);
  ++parts_;
  return Note(host_.BeginPart(name, fileName.c_str(), partHeader.GetLength(),
                              partHeader.GetCompression() == codec::VPCodecBase::CompressionZlib));
}

bool PageDecodeWriter::Write(const void* data, std::uint32_t length) {
  return length == 0 || Note(host_.PartData(static_cast<const std::uint8_t*>(data), length));
}

bool PageDecodeWriter::EndPart() { return Note(host_.EndPart()); }

bool PageDecodeWriter::EndDocument() { return true; }

}  // namespace web
