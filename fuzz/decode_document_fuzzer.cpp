// DocumentDecoder::DecodeDocument with the fixed credentials over arbitrary
// bytes from memory. The seeds are real documents made with those
// credentials, so mutations start from bodies that decrypt; mutations of
// the header reach the refusals before the key.

#include <vector>

#include "codec/document_decoder.h"
#include "codec/memory_reader.h"
#include "fuzz/fuzz_support.h"

VP_FUZZ_TARGET(decode_document) {
  // The iteration count is the document's choice and costs a second per
  // thousand-odd thousands; keep the fuzzer to at most 127 iterations.
  std::vector<std::uint8_t> document(data, data + size);
  if (document.size() > vpfuzz::kIterationsAt + 1) {
    document[vpfuzz::kIterationsAt] = document[vpfuzz::kIterationsAt + 1] = 0;
  }
  codec::MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  vpfuzz::CheckingDecodeWriter writer;
  codec::DocumentDecoder decoder(source, writer);
  decoder.SetClock([] { return vpfuzz::kNow; });
  const codec::DecodeResult result = decoder.DecodeDocument(vpfuzz::kUser, vpfuzz::kPassword, false);
  VP_FUZZ_CHECK(vpfuzz::IsKnownResult(result));
  VP_FUZZ_CHECK(result != codec::DecodeResult::HeaderTooShort);  // an inspection code only
  writer.CheckEnd(result, size);

  // A wrong password is reported as such whatever its key makes of the
  // bytes, unless the document is refused before any key is used or ends
  // before part 0's first block.
  using codec::DecodeResult;
  codec::MemoryReader again(document.data(), static_cast<std::uint32_t>(document.size()));
  vpfuzz::CheckingDecodeWriter other;
  codec::DocumentDecoder wrong(again, other);
  wrong.SetClock([] { return vpfuzz::kNow; });
  const DecodeResult refused = wrong.DecodeDocument(vpfuzz::kUser, "not-the-password", false);
  other.CheckEnd(refused, size);
  VP_FUZZ_CHECK(refused == DecodeResult::WrongCredentials || refused == DecodeResult::BadMagic ||
                refused == DecodeResult::UnsupportedVersion || refused == DecodeResult::UnknownCipher ||
                refused == DecodeResult::BadKeyLength || refused == DecodeResult::UnknownDigest ||
                refused == DecodeResult::NoKeyDerivation ||
                (refused == DecodeResult::Truncated && size < codec::DocumentHeader::Size + 32 + 16));
  return 0;
}
