// What a hostile document can make the decoder do: claims of 65,535 parts,
// of parts the reader should count itself, of 4 GiB lengths and of 65,535
// thousand PBKDF2 iterations end within bounded memory and with work that
// follows the document's own bytes (or, for the iterations, the format's cap).
// The trailer's caps are in inspect_document_test.cpp; peak memory over a
// part that inflates to gigabytes is measured by vpstreamcheck --bomb.

#include "codec/document_header.h"
#include "decode_testing.h"
#include "security/key_derivation_function.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers
using R = DecodeResult;

// What one decoding asked of the writer and how much came out.
struct Outcome {
  R result;
  std::size_t parts;
  std::uint64_t written;
  std::uint32_t largestWrite;
};

Outcome DecodeRecipe(const Recipe& recipe, const Bytes* document = nullptr) {
  const Bytes bytes = document != nullptr ? *document : Encode(recipe);
  RecordingWriter writer;
  const R result = Decode(bytes, recipe, writer);
  return {result, writer.parts.size(), writer.written, writer.largestWrite};
}

TEST(BoundedWork, PartCountsBeyondThePartsPresentEndWithTheData) {
  // 65,535 claimed (the field's largest value), two present: the third part
  // header is missing.
  const Outcome claimed = DecodeRecipe(BasicLayout([](Recipe& s) { s.partCountField = 0xFFFF; }));
  EXPECT_EQ(claimed.result, R::Truncated);
  EXPECT_EQ(claimed.parts, 2u);
  // Not stated (0: read until an end marker), with no marker: the trailer's
  // bytes, decrypted, are no part header. (Without a trailer: decode_cases.txt.)
  const Outcome unstated = DecodeRecipe(BasicLayout([](Recipe& s) {
    s.partCountField = 0;
    s.tags = {{"Title", Text("after the parts"), false}};
  }));
  EXPECT_TRUE(unstated.result == R::Corrupt || unstated.result == R::Truncated) << ResultCode(unstated.result);
  EXPECT_EQ(unstated.parts, 2u);
  // Every part costs the document at least a header block: a file of n bytes
  // cannot make the writer begin more than n / 96 parts.
  Recipe many = BasicLayout([](Recipe& s) {
    s.bodyDigestId = 0;
    s.parts.assign(500, Part("", {}));
  });
  const Bytes document = Encode(many);
  const Outcome empty = DecodeRecipe(many, &document);
  EXPECT_EQ(empty.result, R::Ok);
  EXPECT_EQ(empty.parts, 500u);
  EXPECT_LE(empty.parts, document.size() / 96);
}

TEST(BoundedWork, FourGibibyteLengthsReadOnlyWhatIsThere) {
  for (const std::uint16_t method : {std::uint16_t{0}, std::uint16_t{1}}) {
    for (const std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0xFFFFFFF0u}) {
      const Recipe recipe = BasicLayout([&](Recipe& s) {
        s.parts[0].compression = method;
        s.parts[0].storedLengthOverride = length;
      });
      const Bytes document = Encode(recipe);
      const Outcome out = DecodeRecipe(recipe, &document);
      SCOPED_TRACE(std::to_string(method) + " " + std::to_string(length));
      // Stored: the source ends first. Compressed: the zlib stream ends
      // and the next part's header is taken for compressed data, or the
      // source ends; either way only bytes present were read and decrypted.
      EXPECT_TRUE(out.result == R::Truncated || (method == 1 && out.result == R::InflateFailed))
          << ResultCode(out.result);
      EXPECT_EQ(out.parts, 1u);
      EXPECT_LE(out.written, method == 0 ? document.size() : 1032 * document.size());
      EXPECT_LE(out.largestWrite, Inflater::OutputSize);
    }
  }
}

// The iteration count a derivation runs, as its first progress report (after
// 4096 of them) states it; the derivation is stopped there.
std::uint64_t IterationsRun(security::KeyDerivationFunction* kdf) {
  std::uint64_t count = 0;
  if (kdf == nullptr) return count;
  kdf->SetProgress([&](std::uint64_t, std::uint64_t total) {
    count = total;
    return false;
  });
  kdf->AddInput("u", 1);
  kdf->AddInput("p", 1);
  std::uint8_t key[32];
  EXPECT_FALSE(kdf->Derive(key, sizeof key));
  return count;
}

TEST(BoundedWork, IterationCountsAreTheDocumentsChoiceUpToTheFormatsCap) {
  // Thousands in 16 bits plus a salt byte of -128..127: at most 65,535,127
  // iterations, which fit the function's 32 bits and are built (running them
  // is the document's choice); counts below 1 are refused.
  std::uint8_t salt[DocumentDecoder::SaltSize] = {};
  for (const std::uint8_t kdf : {DocumentHeader::KdfPbkdf2Keccak256, DocumentHeader::KdfPbkdf2Sha256}) {
    salt[0] = 0x7F;
    EXPECT_EQ(IterationsRun(DocumentDecoder::CreateKdf(kdf, std::int64_t{0xFFFF} * 1000, 3, 32, salt).get()),
              65535127u);
    salt[0] = 0x80;  // -128
    EXPECT_EQ(IterationsRun(DocumentDecoder::CreateKdf(kdf, 5000 * 1000, 3, 32, salt).get()), 4999872u);
    EXPECT_EQ(DocumentDecoder::CreateKdf(kdf, 0, 3, 32, salt), nullptr);
    salt[0] = 0;
    EXPECT_EQ(DocumentDecoder::CreateKdf(kdf, 0, 3, 32, salt), nullptr);
    EXPECT_EQ(DocumentDecoder::CreateKdf(kdf, 1000, 3, 32, nullptr), nullptr);  // version 258: no salt
  }
}

}  // namespace
}  // namespace codec
