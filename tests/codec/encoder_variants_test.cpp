// The encoder's other variants: the triple-DES construction (not a standard
// cipher, so read back with the system's own CBC front and checked for
// structure), documents the reader must refuse, specs the encoder refuses,
// and streaming of large generated parts.

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "security/cbc_cipher.h"
#include "tools/encoder/document_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::uint32_t BE32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

Bytes Pbkdf2Sha256(const std::string& password, const Bytes& salt, int count) {
  Bytes key(32);
  EXPECT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                              static_cast<int>(salt.size()), count, EVP_sha256(), 32, key.data()),
            1);
  return key;
}

Bytes Sha256(const Bytes& data) {
  Bytes out(32);
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), nullptr, EVP_sha256(), nullptr), 1);
  return out;
}

Bytes Inflate(const std::uint8_t* data, std::size_t length) {
  Bytes out(1 << 20);
  uLongf size = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(out.data(), &size, data, static_cast<uLong>(length)), Z_OK);
  out.resize(size);
  return out;
}

// Decrypts the whole chain after the header (and salt) with the given cipher.
Bytes DecryptBody(const Bytes& doc, std::uint32_t cipherId, const Bytes& key, std::size_t start, std::size_t end) {
  security::CBCCipher cbc(cipherId);
  EXPECT_TRUE(cbc.GetBlockCipher()->SetKeyLength(static_cast<std::uint32_t>(key.size())));
  cbc.GetBlockCipher()->SetKey(key.data());
  if (start == 62) {
    cbc.SetIv(doc.data() + 30, 32);
  } else {
    cbc.SetIv(nullptr, 0);
  }
  Bytes plain(doc.begin() + static_cast<std::ptrdiff_t>(start), doc.begin() + static_cast<std::ptrdiff_t>(end));
  EXPECT_TRUE(cbc.Decrypt(plain.data(), plain.data(), static_cast<std::uint32_t>(plain.size())));
  return plain;
}

encoder::DocumentSpec BaseSpec() {
  encoder::DocumentSpec spec;
  spec.userName = "carol";
  spec.password = "Pa55";
  spec.iterationThousands = 1;
  spec.salt[0] = 0x05;
  return spec;
}

encoder::PartSpec Part(const std::string& name, const std::string& text, std::uint16_t compression = 0) {
  encoder::PartSpec p;
  p.name = name;
  p.content = B(text);
  p.compression = compression;
  return p;
}

TEST(EncoderVariants, TripleDesDocumentsOfEveryKeyLengthHaveTheLayout) {
  for (std::uint16_t bits : {64, 128, 192}) {
    SCOPED_TRACE(bits);
    encoder::DocumentSpec spec = BaseSpec();
    spec.cipherId = 4;
    spec.keyBits = bits;
    spec.endMarker = true;
    spec.partCountField = 0;
    spec.parts = {Part("one.txt", "seventeen bytes!!"), Part("two.txt", std::string(3000, 'q'), 1)};
    Bytes doc, key;
    std::string error;
    ASSERT_TRUE(encoder::EncodeDocument(spec, doc, &error)) << error;
    ASSERT_TRUE(encoder::DeriveDocumentKey(spec, key, &error)) << error;
    ASSERT_EQ(key.size(), bits / 8u);

    const Bytes plain = DecryptBody(doc, 4, key, 62, doc.size());
    // Part 0: T = 88 (smallest multiple of 8 above 86), 17 bytes padded to 24.
    EXPECT_EQ(plain[0], 87);
    EXPECT_EQ(BE32(&plain[84]), ~88u);
    EXPECT_EQ(Bytes(plain.begin() + 88, plain.begin() + 105), B("seventeen bytes!!"));
    const Bytes header(doc.begin(), doc.begin() + 30), salt(doc.begin() + 30, doc.begin() + 62);
    Bytes input = header;
    input.insert(input.end(), salt.begin(), salt.end());
    input.insert(input.end(), plain.begin() + 88, plain.begin() + 105);
    input.insert(input.end(), plain.begin(), plain.begin() + 88);
    const Bytes d0 = Sha256(input);
    EXPECT_EQ(Bytes(plain.begin() + 112, plain.begin() + 120), Bytes(d0.begin(), d0.begin() + 8));
    // Part 1: compressed, then its digest block and the 8-byte end marker.
    const std::size_t p1 = 120;
    const std::uint32_t l = BE32(&plain[p1 + 8]);
    EXPECT_EQ(Inflate(&plain[p1 + 88], l), B(std::string(3000, 'q')));
    const std::size_t marker = p1 + 88 + (l + 7) / 8 * 8 + 8;
    ASSERT_EQ(plain.size(), marker + 8);
    EXPECT_EQ(Bytes(plain.begin() + static_cast<std::ptrdiff_t>(marker), plain.end()), (Bytes{0, 1, 2, 3, 4, 5, 6, 7}));
  }
}

TEST(EncoderVariants, DocumentsTheReaderMustRefuseAreStillWritten) {
  std::string error;
  Bytes doc, key;
  auto encodes = [&](const encoder::DocumentSpec& spec) {
    const bool ok = encoder::EncodeDocument(spec, doc, &error);
    EXPECT_TRUE(ok) << error;
    return ok;
  };

  encoder::DocumentSpec spec = BaseSpec();
  spec.parts = {Part("a.txt", "abc")};
  spec.cipherId = 9;
  ASSERT_TRUE(encodes(spec));
  EXPECT_EQ(doc[7], 9);
  EXPECT_FALSE(encoder::DeriveDocumentKey(spec, key, &error));

  spec = BaseSpec();
  spec.parts = {Part("a.txt", "abc")};
  spec.keyBits = 200;  // 25 bytes: no AES key schedule
  EXPECT_TRUE(encodes(spec));
  EXPECT_FALSE(encoder::DeriveDocumentKey(spec, key, &error));

  for (std::uint8_t kdf : {1, 5, 255}) {
    spec = BaseSpec();
    spec.kdfId = kdf;
    EXPECT_TRUE(encodes(spec));
    EXPECT_FALSE(encoder::DeriveDocumentKey(spec, key, &error));
  }
  spec = BaseSpec();
  spec.kdfId = 0;  // with trailer digest 3: no function
  EXPECT_TRUE(encodes(spec));
  EXPECT_FALSE(encoder::DeriveDocumentKey(spec, key, &error));
  spec.trailerDigestId = 2;  // now the SHA-1 digest function, as kdf id 2
  Bytes viaTwo;
  ASSERT_TRUE(encoder::DeriveDocumentKey(spec, key, &error)) << error;
  spec.kdfId = 2;
  ASSERT_TRUE(encoder::DeriveDocumentKey(spec, viaTwo, &error)) << error;
  EXPECT_EQ(key, viaTwo);

  // Iteration count 0 * 1000 + (-128): written, derived with one iteration.
  spec = BaseSpec();
  spec.iterationThousands = 0;
  spec.salt[0] = 0x80;
  EXPECT_TRUE(encodes(spec));
  EXPECT_FALSE(encoder::DeriveDocumentKey(spec, key, &error));
  Bytes s = B("carol");
  s.insert(s.end(), spec.salt.begin(), spec.salt.end());
  EXPECT_EQ(key, Pbkdf2Sha256("Pa55", s, 1));

  // Version 258 with PBKDF2: refused unless allowed, then zero salt, no salt bytes.
  spec = BaseSpec();
  spec.version = 258;
  spec.parts = {Part("a.txt", "abc")};
  EXPECT_FALSE(encoder::EncodeDocument(spec, doc, &error));
  EXPECT_NE(error.find("allowKdfWithoutSalt"), std::string::npos) << error;
  spec.allowKdfWithoutSalt = true;
  ASSERT_TRUE(encodes(spec));
  EXPECT_EQ(doc.size(), 30u + 80 + 16 + 16);
  EXPECT_FALSE(encoder::DeriveDocumentKey(spec, key, &error));
  s = B("carol");
  s.resize(s.size() + 32, 0);
  EXPECT_EQ(key, Pbkdf2Sha256("Pa55", s, 1000));

  // Unknown body digest: zero digest blocks. Unknown trailer digest: N = stream.
  spec = BaseSpec();
  spec.parts = {Part("a.txt", "abc")};
  spec.bodyDigestId = 5;
  spec.trailerDigestId = 9;
  spec.tags = {{"Title", B("x"), false}};
  ASSERT_TRUE(encodes(spec));
  const std::uint32_t n = BE32(&doc[doc.size() - 4]);
  const Bytes list = Inflate(&doc[doc.size() - 4 - n], n);
  EXPECT_EQ(list.size(), 4u + 5 + 4 + 1 + 4);
  ASSERT_TRUE(encoder::DeriveDocumentKey(spec, key, &error)) << error;
  const Bytes plain = DecryptBody(doc, 5, key, 62, doc.size() - 4 - n);
  ASSERT_EQ(plain.size(), 96u + 16 + 16);
  EXPECT_EQ(Bytes(plain.begin() + 112, plain.end()), Bytes(16, 0));

  // A later version is laid out like 259 (salt, 86-byte headers).
  spec = BaseSpec();
  spec.version = 260;
  spec.parts = {Part("a.txt", "abc")};
  ASSERT_TRUE(encodes(spec));
  EXPECT_EQ(doc[5], 0x04);
  EXPECT_EQ(doc.size(), 62u + 96 + 16 + 16);
}

TEST(EncoderVariants, UnwritableSpecsAreRefusedWithAReason) {
  auto refused = [](const encoder::DocumentSpec& spec) {
    Bytes doc;
    std::string error;
    const bool ok = encoder::EncodeDocument(spec, doc, &error);
    if (!ok) {
      EXPECT_FALSE(error.empty());
    }
    return !ok;
  };
  encoder::DocumentSpec spec = BaseSpec();
  spec.parts = {Part(std::string(65, 'n'), "x")};
  EXPECT_TRUE(refused(spec));
  spec.parts[0].name = std::string(64, 'n');
  spec.parts[0].rawName = std::string(65, 'r');
  EXPECT_TRUE(refused(spec));

  spec = BaseSpec();
  spec.version = 258;
  spec.kdfId = 2;
  spec.parts = {Part(std::string(35, 'n'), "x")};
  EXPECT_TRUE(refused(spec));

  spec = BaseSpec();
  spec.parts = {Part("a", "x", 2)};
  EXPECT_TRUE(refused(spec));
  spec.parts[0].compression = 0;
  spec.parts[0].compressionOverride = 2;  // a stored method 2 is a damage form
  EXPECT_FALSE(refused(spec));

  spec = BaseSpec();
  spec.tags = {{"", B("x"), false}};
  EXPECT_TRUE(refused(spec));
  spec.tags = {{std::string(256, 'k'), B("x"), true}};
  EXPECT_TRUE(refused(spec));

  spec = BaseSpec();
  spec.headerByteAfterDigest = std::make_pair(30u, std::uint8_t{0});
  EXPECT_TRUE(refused(spec));

  spec = BaseSpec();
  spec.parts = {Part("a", "x")};
  std::string error;
  int calls = 0;
  EXPECT_FALSE(encoder::EncodeDocument(spec, [&](const std::uint8_t*, std::size_t) { return ++calls < 3; }, &error));
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(encoder::EncodeDocumentToFile(spec, "/nonexistent-dir/x.emc", &error));
}

TEST(EncoderVariants, GeneratedPartsStreamInBoundedPieces) {
  encoder::PartSpec big;
  big.name = "big.bin";
  big.generatedLength = 3 * 1024 * 1024 + 5;
  big.generatorSeed = 7;
  encoder::PartSpec packed = big;
  packed.name = "packed.bin";
  packed.generatedLength = 1024 * 1024 + 3;
  packed.compression = 1;
  packed.zlibLevel = 1;
  encoder::DocumentSpec spec = BaseSpec();
  spec.parts = {big, packed, packed};
  spec.flags |= 1u << 27;  // the compressed parts share one stream

  std::size_t largest = 0;
  Bytes streamed;
  std::string error;
  ASSERT_TRUE(encoder::EncodeDocument(
      spec,
      [&](const std::uint8_t* d, std::size_t n) {
        largest = std::max(largest, n);
        streamed.insert(streamed.end(), d, d + n);
        return true;
      },
      &error))
      << error;
  EXPECT_LE(largest, 64u * 1024 + 16);

  // Deflating again instead of keeping the measured output gives the same bytes.
  spec.compressedCacheLimit = 0;
  Bytes again;
  ASSERT_TRUE(encoder::EncodeDocument(spec, again, &error)) << error;
  EXPECT_EQ(again, streamed);

  const std::string path = std::string(VP_BINARY_DIR) + "/encoder_variants_test.emc";
  ASSERT_TRUE(encoder::EncodeDocumentToFile(spec, path, &error)) << error;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  Bytes onDisk(streamed.size() + 1);
  EXPECT_EQ(std::fread(onDisk.data(), 1, onDisk.size(), f), streamed.size());
  std::fclose(f);
  std::remove(path.c_str());
  onDisk.resize(streamed.size());
  EXPECT_EQ(onDisk, streamed);

  // The pattern is a function of seed and position only.
  const Bytes whole = encoder::PartContent(big);
  ASSERT_EQ(whole.size(), big.generatedLength);
  EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + 1000, encoder::PartContent(packed).begin()));
  big.generatorSeed = 8;
  const Bytes other = encoder::PartContent(big);
  EXPECT_FALSE(std::equal(whole.begin(), whole.begin() + 64, other.begin()));
}

TEST(EncoderVariants, TextEscapesCoverBackslashAndControlBytes) {
  EXPECT_EQ(encoder::EscapeTagText({0x00, 0x0A, 0x1F, '\\', 'a', 0x20, 0x7F, 0xFF}),
            (Bytes{'\\', 0x60, '\\', 'j', '\\', 0x7F, '\\', '\\', 'a', 0x20, 0x7F, 0xFF}));
  EXPECT_TRUE(encoder::EscapeTagText({}).empty());
}

}  // namespace
