#pragma once
// The decode writer of the page: every part goes to the page as it is
// decoded, piece by piece, and nothing of it stays here. No file is made.

#include <cstdint>

#include "codec/vp_decode_writer.h"
#include "web/entry/page_host.h"

namespace web {

class PageDecodeWriter final : public codec::VPDecodeWriter {
 public:
  explicit PageDecodeWriter(PageHost& host) : host_(host) {}

  bool Write(const void* data, std::uint32_t length) override;
  bool BeginDocument(const codec::DocumentHeader& header, std::uint32_t partCount) override;
  bool BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& partHeader) override;
  bool EndPart() override;
  bool EndDocument() override;

  std::uint32_t PartCount() const { return parts_; }
  // Whether the page refused a part (it had no memory left for it).
  bool Refused() const { return refused_; }

 private:
  bool Note(bool accepted);

  PageHost& host_;
  std::uint32_t parts_ = 0;
  bool refused_ = false;
};

}  // namespace web
