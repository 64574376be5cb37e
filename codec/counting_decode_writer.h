#pragma once
// A decode writer that keeps nothing: it counts the bytes and parts it is
// given. For measuring the decoder alone and for checking documents whose
// content nobody needs.

#include <cstdint>

#include "codec/vp_decode_writer.h"

namespace codec {

class CountingDecodeWriter final : public VPDecodeWriter {
 public:
  bool Write(const void*, std::uint32_t length) override {
    bytes += length;
    return true;
  }
  bool BeginDocument(const DocumentHeader&, std::uint32_t) override { return true; }
  bool BeginPart(const char*, const VPCodecBase::EncodedHeader&) override {
    ++parts;
    return true;
  }
  bool EndPart() override { return true; }
  bool EndDocument() override { return true; }

  std::uint64_t bytes = 0;
  std::uint32_t parts = 0;
};

}  // namespace codec
