// Every result code of the decoder, each produced by a real encoded document,
// and the calls the writer saw before the decoder stopped (letters as in
// RecordingWriter). The cases that a recipe setting describes, round trips
// included, are rows of tests/data/codec/decode_cases.txt; truncation at
// every byte, writer refusals at every call and failed allocations are in
// fault_injection_test.cpp.

#include "decode_testing.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers
using R = DecodeResult;

// Every row of decode_cases.txt: round trips and refusals alike.
TEST(DecodeCasesTest, EachRecipeGivesItsCodeAndCalls) {
  for (const auto& [number, row] : support::DataRows("codec/decode_cases.txt")) {
    std::string what;
    for (const std::string& word : row) what += word + " ";
    SCOPED_TRACE(what);
    Recipe layout = BasicLayout();
    for (std::size_t i = 2; i < row.size(); ++i) Apply(layout, row[i]);
    RecordingWriter writer;
    EXPECT_EQ(Decode(Encode(layout), layout, writer), static_cast<R>(std::stoi(row[0])));
    EXPECT_EQ(writer.calls, row[1] == "-" ? "" : row[1]);
    if (row[0] == "0") {
      const std::size_t count = layout.partCountField.value_or(0) > 0 ? *layout.partCountField : layout.parts.size();
      ExpectContents(writer, layout, count);
      EXPECT_EQ(writer.partCount, layout.partCountField == 0 ? 0xFFFFFFFFu : count);
      EXPECT_EQ(writer.documentHeader.formatVersion, layout.version);
      EXPECT_EQ(writer.documentHeader.keyBits, layout.keyBits);
    }
  }
}

TEST(DecodeFailureTest, DamagedStoredBytes) {
  const Bytes q = Text(std::string(20000, 'q'));
  Bytes adler = Deflate(q, 9);
  adler[adler.size() - 2] ^= 0xFF;
  const struct {
    std::size_t part;
    Bytes content, stored;
    R code;
    const char* calls;
  } cases[] = {
      {0, {}, Text("<p>Dear reader,</p>\n<p>hellO.</p>\n"), R::Corrupt, "DPw"},  // caught by the digest
      {1, {}, Text("this is not a zlib stream at all"), R::InflateFailed, "DPwEP"},
      {1, {}, {0x78, 0xBB, 0x01, 0x02, 0x03, 0x04, 0x03, 0x00}, R::InflateFailed, "DPwEP"},  // asks for a dictionary
      {1, q, adler, R::InflateFailed, "DPwEPw"},  // the Adler-32 check
  };
  for (const auto& c : cases) {
    const Recipe layout = BasicLayout([&](Recipe& s) {
      if (!c.content.empty()) s.parts[c.part].content = c.content;
      s.parts[c.part].storedData = c.stored;
    });
    RecordingWriter writer;
    EXPECT_EQ(Decode(Encode(layout), layout, writer), c.code) << c.calls;
    EXPECT_EQ(writer.calls, c.calls);
  }
}

TEST(DecodeFailureTest, WrongCredentialsStopBeforeAnyPart) {
  const Recipe layout = BasicLayout();
  const Bytes document = Encode(layout);
  const std::pair<const char*, const char*> attempts[] = {
      {"alice", "secret-1"}, {"alice", "Secret-1 "}, {"Alice", "Secret-1"}, {"bob", "Secret-1"}, {"", ""}};
  for (const auto& [user, password] : attempts) {
    RecordingWriter writer;
    EXPECT_EQ(Decode(document, layout, writer, kNow, false, user, password), R::WrongCredentials)
        << user << "/" << password;
    EXPECT_EQ(writer.calls, "D");
  }
  // A key of another length than the header states.
  MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  RecordingWriter writer;
  DocumentDecoder decoder(source, writer);
  ASSERT_EQ(decoder.ReadFixedHeader(), R::Ok);
  const std::uint8_t key[16] = {};
  EXPECT_EQ(decoder.DecodeBody(key, 16, false), R::BadKeyLength);
  EXPECT_EQ(decoder.DecodeBody(nullptr, 32, false), R::BadKeyLength);
  EXPECT_EQ(writer.calls, "");
}

// A wrong key decrypts part 0's header block to noise whose length byte may
// claim more bytes than the file holds. Until the check value has proven the
// key, that shortfall is the key's doing, not the file's: the user must hear
// "wrong credentials" (and get another try), never "corrupt".
TEST(DecodeFailureTest, WrongPasswordsOnASmallDocumentAreNeverCalledCorrupt) {
  const std::pair<std::uint16_t, std::uint16_t> variants[] = {{5, 259}, {4, 259}, {4, 258}};  // cipher, version
  for (const auto& [c, v] : variants) {
    const std::uint16_t cipher = c, version = v;  // copies for the lambda
    const Recipe layout = BasicLayout([=](Recipe& s) {
      s.cipherId = cipher;
      s.keyBits = cipher == 5 ? 256 : 192;
      if (version == 258) s.version = version, s.kdfId = 2;
      s.parts = {Part("a.txt", Text("sixteen bytes..."))};
    });
    const Bytes document = Encode(layout);
    if (cipher == 5) {
      ASSERT_EQ(document.size(), 190u);  // header, salt, 96-byte block, data, digest
    }
    int misreported = 0;
    for (int i = 0; i < 40; ++i) {
      const std::string password = "wrong-" + std::to_string(i);
      RecordingWriter writer;
      const R code = Decode(document, layout, writer, kNow, false, nullptr, password.c_str());
      if (code != R::WrongCredentials || writer.calls != "D") {
        ++misreported;
        ADD_FAILURE() << "cipher " << cipher << " version " << version << " password " << password << ": "
                      << ResultCode(code);
      }
    }
    EXPECT_EQ(misreported, 0) << "of 40 wrong passwords, cipher " << cipher << " version " << version;
  }
}

}  // namespace
}  // namespace codec
