// Every fuzz target, compiled into the unit tests: the seed corpus and the
// inputs kept from fuzzing (fuzz/regressions/<target>/) run through each
// target under the unit tests' sanitizers, so a fault the fuzzer once found
// stays found without the fuzzer. The seeds must also still be what the
// fuzzer needs: documents that decode with the fixed credentials.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "codec/document_decoder.h"
#include "codec/memory_reader.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/seed_corpus.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using vpfuzz::Bytes;

codec::DecodeResult DecodeWithFixedCredentials(const Bytes& document) {
  codec::MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  vpfuzz::CheckingDecodeWriter writer;
  codec::DocumentDecoder decoder(source, writer);
  decoder.SetClock([] { return vpfuzz::kNow; });
  const codec::DecodeResult result = decoder.DecodeDocument(vpfuzz::kUser, vpfuzz::kPassword, false);
  writer.CheckEnd(result, document.size());
  return result;
}

TEST(FuzzReplay, SeedsAndKeptInputsRunThroughEveryTarget) {
  const auto& targets = vpfuzz::Targets();
  ASSERT_EQ(targets.size(), vpfuzz::TargetNames().size());
  std::size_t kept = 0;
  for (const std::string& name : vpfuzz::TargetNames()) {
    SCOPED_TRACE(name);
    ASSERT_EQ(targets.count(name), 1u);
    const vpfuzz::Target target = targets.at(name);
    const auto seeds = vpfuzz::SeedCorpus(name);
    EXPECT_GE(seeds.size(), 3u);
    // A target returns 0 whatever it finds; a broken property aborts it.
    for (const vpfuzz::Seed& seed : seeds) target(seed.bytes.data(), seed.bytes.size());
    const fs::path dir = fs::path(VP_FUZZ_REGRESSIONS_DIR) / name;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      const Bytes input = support::FileBytes(entry.path().string());
      target(input.data(), input.size());
      ++kept;
    }
  }
  std::printf("replayed %zu kept inputs\n", kept);
}

TEST(FuzzReplay, DocumentSeedsDecodeWithTheFixedCredentials) {
  for (const vpfuzz::Seed& seed : vpfuzz::SeedCorpus("decode_document")) {
    const bool laterVersion = seed.name.starts_with("v260");
    EXPECT_EQ(DecodeWithFixedCredentials(seed.bytes),
              laterVersion ? codec::DecodeResult::UnsupportedVersion : codec::DecodeResult::Ok)
        << seed.name;
  }
  for (const vpfuzz::Seed& seed : vpfuzz::SeedCorpus("decode_plaintext")) {
    EXPECT_EQ(DecodeWithFixedCredentials(vpfuzz::PlainDocument(seed.bytes.data(), seed.bytes.size())),
              codec::DecodeResult::Ok)
        << seed.name;
  }
}

}  // namespace
