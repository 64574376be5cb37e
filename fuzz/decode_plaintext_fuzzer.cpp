// The decoder past the key check: the input is a configuration, a part count
// and a decrypted body (layout in fuzz_support.h), which this target
// encrypts under the fixed credentials' key before decoding. Mutations thus
// land in part headers, names, lengths, stored and compressed data and
// digest blocks instead of dying at part 0's check value.

#include <vector>

#include "codec/document_decoder.h"
#include "codec/memory_reader.h"
#include "fuzz/fuzz_support.h"

VP_FUZZ_TARGET(decode_plaintext) {
  if (size < 2) return 0;
  std::vector<std::uint8_t> document = vpfuzz::PlainDocument(data, size);
  codec::MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  vpfuzz::CheckingDecodeWriter writer;
  codec::DocumentDecoder decoder(source, writer);
  decoder.SetClock([] { return vpfuzz::kNow; });
  const codec::DecodeResult result = decoder.DecodeDocument(vpfuzz::kUser, vpfuzz::kPassword, false);
  VP_FUZZ_CHECK(vpfuzz::IsKnownResult(result));
  // The key is right by construction, and the header names nothing the
  // decoder refuses: every refusal here comes from the body.
  VP_FUZZ_CHECK(result != codec::DecodeResult::UnknownCipher && result != codec::DecodeResult::BadKeyLength &&
                result != codec::DecodeResult::UnknownDigest && result != codec::DecodeResult::NoKeyDerivation);
  writer.CheckEnd(result, size);
  return 0;
}
