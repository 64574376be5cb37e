// The encoder's bytes, read back without the decoder: OpenSSL derives the
// key and decrypts (after un-reversing every 4-byte group of the stored
// ciphertext), OpenSSL hashes, and zlib inflates. Every field is checked at
// its offset in the container layout. The triple-DES construction is no
// standard cipher, so its documents are read with the CBC front and checked
// for structure only.

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <functional>
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
std::uint16_t BE16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

Bytes Cat(std::initializer_list<Bytes> pieces) {
  Bytes out;
  for (const Bytes& p : pieces) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Hash(const EVP_MD* md, const Bytes& data) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), &length, md, nullptr), 1);
  out.resize(length);
  return out;
}

Bytes Pbkdf2Sha256(const std::string& password, const Bytes& salt, int count, std::size_t length) {
  Bytes key(length);
  EXPECT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                              static_cast<int>(salt.size()), count, EVP_sha256(), static_cast<int>(length),
                              key.data()),
            1);
  return key;
}

// Stored ciphertext -> plaintext: reverse each 4-byte group back to textbook
// CBC, then AES-CBC without padding.
Bytes AesCbcDecryptStored(const Bytes& key, const Bytes& iv, const std::uint8_t* stored, std::size_t length) {
  Bytes cipher(stored, stored + length);
  for (std::size_t i = 0; i + 4 <= cipher.size(); i += 4) std::reverse(cipher.begin() + i, cipher.begin() + i + 4);
  const EVP_CIPHER* type = key.size() == 16 ? EVP_aes_128_cbc() : key.size() == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes plain(length + 16);
  int n1 = 0, n2 = 0;
  EXPECT_EQ(EVP_DecryptInit_ex(ctx, type, nullptr, key.data(), iv.data()), 1);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EXPECT_EQ(EVP_DecryptUpdate(ctx, plain.data(), &n1, cipher.data(), static_cast<int>(cipher.size())), 1);
  EXPECT_EQ(EVP_DecryptFinal_ex(ctx, plain.data() + n1, &n2), 1);
  EVP_CIPHER_CTX_free(ctx);
  plain.resize(static_cast<std::size_t>(n1 + n2));
  return plain;
}

// Inflates `data` with sync flushes; `ended` tells whether the stream ended.
Bytes InflateSome(z_stream& zs, const Bytes& data, bool* ended = nullptr) {
  Bytes out;
  zs.next_in = const_cast<Bytef*>(data.data());
  zs.avail_in = static_cast<uInt>(data.size());
  std::uint8_t buffer[4096];
  int rc = Z_OK;
  do {
    zs.next_out = buffer;
    zs.avail_out = sizeof buffer;
    rc = inflate(&zs, Z_SYNC_FLUSH);
    EXPECT_TRUE(rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR) << rc;
    out.insert(out.end(), buffer, buffer + (sizeof buffer - zs.avail_out));
  } while (rc == Z_OK && (zs.avail_in > 0 || zs.avail_out == 0));
  if (ended != nullptr) *ended = rc == Z_STREAM_END;
  return out;
}

Bytes Inflate(const Bytes& data, bool* ended = nullptr) {
  z_stream zs{};
  EXPECT_EQ(inflateInit(&zs), Z_OK);
  Bytes out = InflateSome(zs, data, ended);
  inflateEnd(&zs);
  return out;
}

// One decrypted part, cut from the plaintext by its length byte and length.
struct ReadPart {
  std::uint8_t f = 0;
  Bytes block;    // T bytes
  Bytes header;   // the last H bytes of the block
  Bytes stored;   // L bytes
  Bytes padding;  // the bytes after L up to the block boundary
  Bytes digest;   // one block, or empty
};

std::vector<ReadPart> CutParts(const Bytes& plain, std::size_t count, std::uint32_t blockSize, std::uint32_t headerSize,
                               std::uint32_t lengthAt, bool digests, std::size_t* used) {
  std::vector<ReadPart> parts;
  std::size_t at = 0;
  for (std::size_t i = 0; i < count; ++i) {
    ReadPart p;
    p.f = plain.at(at);
    const std::uint32_t t = p.f - p.f % blockSize + blockSize;
    p.block.assign(plain.begin() + at, plain.begin() + at + t);
    p.header.assign(p.block.end() - headerSize, p.block.end());
    at += t;
    const std::uint32_t l = BE32(&p.header[lengthAt]);
    const std::size_t s = (l + blockSize - 1) / blockSize * blockSize;
    p.stored.assign(plain.begin() + at, plain.begin() + at + l);
    p.padding.assign(plain.begin() + at + l, plain.begin() + at + s);
    at += s;
    if (digests) {
      p.digest.assign(plain.begin() + at, plain.begin() + at + blockSize);
      at += blockSize;
    }
    parts.push_back(p);
  }
  *used = at;
  return parts;
}

// The trailer at the end of `doc`: checks N and the digest (when `md`), and
// returns the inflated tag list.
Bytes ReadTrailer(const Bytes& doc, const EVP_MD* md, std::size_t* trailerStart) {
  const std::uint32_t n = BE32(&doc[doc.size() - 4]);
  const std::size_t h = md != nullptr ? static_cast<std::size_t>(EVP_MD_get_size(md)) : 0;
  *trailerStart = doc.size() - 4 - n;
  const Bytes stream(doc.end() - 4 - n, doc.end() - 4 - h);
  bool ended = false;
  const Bytes list = Inflate(stream, &ended);
  EXPECT_TRUE(ended);
  if (md != nullptr) {
    const Bytes header(doc.begin(), doc.begin() + 30);
    EXPECT_EQ(Bytes(doc.end() - 4 - h, doc.end() - 4), Hash(md, Cat({header, list})));
  }
  return list;
}

encoder::DocumentSpec V259Spec() {
  encoder::DocumentSpec recipe;
  recipe.userName = "alice";
  recipe.password = "s3cret";
  recipe.iterationThousands = 1;
  for (std::size_t i = 0; i < 32; ++i) recipe.salt[i] = static_cast<std::uint8_t>(0xF0 + 7 * i);  // 0xF0: 1000 - 16
  recipe.reserved = {1, 2, 3, 4, 5, 6, 7, 8};
  recipe.flags = 1u << 29;  // FlagNoWaitNotice
  return recipe;
}

TEST(EncoderLayout, Version259AesPbkdf2ReadsBackFieldByField) {
  encoder::DocumentSpec recipe = V259Spec();
  encoder::PartSpec main;
  main.name = "report.html";
  main.content = B("<html><body>Quarterly numbers</body></html>");  // 43 bytes
  main.expiry = 1700000000;
  main.auxiliary1 = 0x11223344;
  main.auxiliary2 = 0x55667788;
  encoder::PartSpec attachment;
  attachment.name = std::string(64, 'n');  // fills the field, no terminator
  for (int i = 0; i < 5000; ++i) attachment.content.push_back(static_cast<std::uint8_t>("abcab\n"[i % 6]));
  attachment.compression = 1;
  attachment.expiry = 0x7FFFFFFF;
  attachment.lengthByte = 100;  // T = 100 - 4 + 16 = 112
  attachment.fillerByte = 0x5A;
  recipe.parts = {main, attachment};
  recipe.tags = {{"Title", B("Line1\nA\\B\r"), false}, {"ImageWin32", {0, 1, 0x5C, 0x0A}, true}};

  Bytes doc;
  std::string error;
  ASSERT_TRUE(encoder::EncodeDocument(recipe, doc, &error)) << error;

  // Fixed header and salt.
  const Bytes header(doc.begin(), doc.begin() + 30);
  EXPECT_EQ(header, (Bytes{'e', 'm', 'd', 'f', 0x01, 0x03, 0x00, 0x05, 0x00, 0x03, 0x01, 0x00, 0x00, 0x02, 0x60,
                           0x00, 0x00, 0x00, 0x04, 0x00, 0x01, 0x03, 1, 2, 3, 4, 5, 6, 7, 8}));
  const Bytes salt(doc.begin() + 30, doc.begin() + 62);
  EXPECT_TRUE(std::equal(salt.begin(), salt.end(), recipe.salt.begin()));

  // Key: PBKDF2-HMAC-SHA-256, P = password, S = user name || salt, 1000 - 16.
  const Bytes key = Pbkdf2Sha256("s3cret", Cat({B("alice"), salt}), 984, 32);
  Bytes derived;
  ASSERT_TRUE(encoder::DeriveDocumentKey(recipe, derived, &error)) << error;
  EXPECT_EQ(derived, key);

  std::size_t trailerStart = 0;
  const Bytes list = ReadTrailer(doc, EVP_sha256(), &trailerStart);
  const Bytes plain = AesCbcDecryptStored(key, Bytes(salt.begin(), salt.begin() + 16), doc.data() + 62,
                                          trailerStart - 62);
  std::size_t used = 0;
  const auto parts = CutParts(plain, 2, 16, 86, 6, true, &used);
  EXPECT_EQ(used, plain.size());

  // Part 0: default block, F = 95, T = 96; the header's fields at the 86-byte offsets.
  const ReadPart& p0 = parts[0];
  EXPECT_EQ(p0.f, 95);
  ASSERT_EQ(p0.block.size(), 96u);
  EXPECT_EQ(Bytes(p0.block.begin() + 1, p0.block.begin() + 10), Bytes(9, 0xA5));
  EXPECT_EQ(BE16(&p0.header[0]), 0);
  EXPECT_EQ(BE32(&p0.header[2]), 0x11223344u);
  EXPECT_EQ(BE32(&p0.header[6]), 43u);
  EXPECT_EQ(BE32(&p0.header[10]), 1700000000u);
  EXPECT_EQ(BE32(&p0.header[14]), 0x55667788u);
  EXPECT_EQ(std::string(p0.header.begin() + 18, p0.header.begin() + 29), "report.html");
  EXPECT_EQ(Bytes(p0.header.begin() + 29, p0.header.begin() + 82), Bytes(53, 0));
  EXPECT_EQ(BE32(&p0.header[82]), ~96u);
  EXPECT_EQ(p0.stored, main.content);
  EXPECT_EQ(p0.padding, Bytes(5, 0xA5));
  const Bytes d0 = Hash(EVP_sha256(), Cat({header, salt, main.content, p0.block}));
  EXPECT_EQ(p0.digest, Bytes(d0.begin(), d0.begin() + 16));

  // Part 1: F = 100, T = 112, zlib stream, expiry "never", chained digest.
  const ReadPart& p1 = parts[1];
  EXPECT_EQ(p1.f, 100);
  ASSERT_EQ(p1.block.size(), 112u);
  EXPECT_EQ(p1.block[1], 0x5A);
  EXPECT_EQ(BE16(&p1.header[0]), 1);
  EXPECT_EQ(BE32(&p1.header[10]), 0xFFFFFFFFu);
  EXPECT_EQ(std::string(p1.header.begin() + 18, p1.header.begin() + 82), attachment.name);
  EXPECT_EQ(BE32(&p1.header[82]), ~112u);
  bool ended = false;
  EXPECT_EQ(Inflate(p1.stored, &ended), attachment.content);
  EXPECT_TRUE(ended);
  const Bytes d1 = Hash(EVP_sha256(), Cat({Bytes(d0.begin(), d0.begin() + 16), attachment.content, p1.block}));
  EXPECT_EQ(p1.digest, Bytes(d1.begin(), d1.begin() + 16));

  // Tag list: text escaped, binary verbatim, zero word at the end.
  const Bytes expected = Cat({{0, 0, 0, 5}, B("Title"), {0, 0, 0, 13}, B("Line1\\jA\\\\B\\m"), {0, 0, 1, 10},
                              B("ImageWin32"), {0, 0, 0, 4}, {0, 1, 0x5C, 0x0A}, {0, 0, 0, 0}});
  EXPECT_EQ(list, expected);
}

TEST(EncoderLayout, Version258AesSimpleKdfWithEndMarker) {
  encoder::DocumentSpec recipe;
  recipe.version = 258;
  recipe.keyBits = 128;
  recipe.kdfId = 2;  // SHA-1 digest of the inputs
  recipe.bodyDigestId = 2;
  recipe.trailerDigestId = 2;
  recipe.partCountField = 0;
  recipe.endMarker = true;
  recipe.userName = "bob";
  recipe.password = "pw";
  encoder::PartSpec part;
  part.name = std::string(34, 'x');  // fills the 34-byte field
  part.content = B("0123456789abcdef");  // exactly one block: no padding
  part.expiry = 0x7FFFFFFF;
  part.auxiliary1 = 0xA1A2A3A4;
  part.auxiliary2 = 0xB1B2B3B4;
  recipe.parts = {part};

  Bytes doc;
  std::string error;
  ASSERT_TRUE(encoder::EncodeDocument(recipe, doc, &error)) << error;
  const Bytes header(doc.begin(), doc.begin() + 30);
  EXPECT_EQ(BE16(&header[4]), 258);
  EXPECT_EQ(BE16(&header[12]), 0);
  EXPECT_EQ(BE32(&header[14]), 0u);
  EXPECT_EQ(header[18], 2);

  // Key: SHA-1 of user, ~(3 << 16), password, ~(2 << 16), folded to 16 bytes.
  const Bytes sha = Hash(EVP_sha1(), Cat({B("bob"), {0xFF, 0xFC, 0xFF, 0xFF}, B("pw"), {0xFF, 0xFD, 0xFF, 0xFF}}));
  Bytes key(sha.begin(), sha.begin() + 16);
  for (std::size_t i = 0; i < 16; ++i) key[i] ^= sha[16 + i % 4];
  Bytes derived;
  ASSERT_TRUE(encoder::DeriveDocumentKey(recipe, derived, &error)) << error;
  EXPECT_EQ(derived, key);

  // No salt, zero IV, no trailer.
  const Bytes plain = AesCbcDecryptStored(key, Bytes(16, 0), doc.data() + 30, doc.size() - 30);
  std::size_t used = 0;
  const auto parts = CutParts(plain, 1, 16, 72, 48, true, &used);
  const ReadPart& p = parts[0];
  EXPECT_EQ(p.f, 79);  // T = 80 holds the length byte and the 72-byte header
  EXPECT_EQ(BE16(&p.header[0]), 0);
  EXPECT_EQ(BE32(&p.header[2]), 0u);
  EXPECT_EQ(std::string(p.header.begin() + 6, p.header.begin() + 40), part.name);
  EXPECT_EQ(BE32(&p.header[40]), ~80u);
  EXPECT_EQ(BE32(&p.header[44]), 0xA1A2A3A4u);
  EXPECT_EQ(BE32(&p.header[48]), 16u);
  EXPECT_EQ(BE32(&p.header[52]), 0xFFFFFFFFu);
  EXPECT_EQ(BE32(&p.header[56]), 0xB1B2B3B4u);
  EXPECT_EQ(p.stored, part.content);
  EXPECT_TRUE(p.padding.empty());
  const Bytes d = Hash(EVP_sha1(), Cat({header, part.content, p.block}));
  EXPECT_EQ(p.digest, Bytes(d.begin(), d.begin() + 16));

  const Bytes marker = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  EXPECT_EQ(Bytes(plain.begin() + used, plain.end()), marker);
}

TEST(EncoderLayout, ContinuousStreamSplitsAtEachCompressedPart) {
  encoder::DocumentSpec recipe = V259Spec();
  recipe.flags |= 1u << 27;  // FlagContinuousStream
  recipe.bodyDigestId = 0;
  std::vector<encoder::PartSpec> parts(3);
  for (std::size_t i = 0; i < 3; ++i) {
    parts[i].name = "p" + std::to_string(i);
    for (int k = 0; k < 9000; ++k) parts[i].content.push_back(static_cast<std::uint8_t>((k * (i + 3)) % 251));
  }
  parts[0].compression = 1;
  parts[2].compression = 1;
  recipe.parts = parts;

  Bytes doc;
  std::string error;
  ASSERT_TRUE(encoder::EncodeDocument(recipe, doc, &error)) << error;
  const Bytes salt(doc.begin() + 30, doc.begin() + 62);
  const Bytes key = Pbkdf2Sha256("s3cret", Cat({B("alice"), salt}), 984, 32);
  const Bytes plain = AesCbcDecryptStored(key, Bytes(salt.begin(), salt.begin() + 16), doc.data() + 62, doc.size() - 62);
  std::size_t used = 0;
  const auto read = CutParts(plain, 3, 16, 86, 6, false, &used);
  EXPECT_EQ(used, plain.size());
  EXPECT_EQ(read[1].stored, parts[1].content);  // stored parts stay out of the stream

  z_stream zs{};
  ASSERT_EQ(inflateInit(&zs), Z_OK);
  bool ended = true;
  EXPECT_EQ(InflateSome(zs, read[0].stored, &ended), parts[0].content);
  EXPECT_FALSE(ended);
  EXPECT_EQ(InflateSome(zs, read[2].stored, &ended), parts[2].content);
  EXPECT_TRUE(ended);
  inflateEnd(&zs);
}

TEST(EncoderLayout, TrailerSizedToExactlyTheLimitAndOneMore) {
  for (std::uint32_t n : {51200u, 51201u}) {
    encoder::DocumentSpec recipe = V259Spec();
    recipe.tags = {{"Title", B("Sized"), false}};
    std::string error;
    ASSERT_TRUE(encoder::PadTrailerTo(recipe, n, "Padding", &error)) << error;
    Bytes doc;
    ASSERT_TRUE(encoder::EncodeDocument(recipe, doc, &error)) << error;
    EXPECT_EQ(BE32(&doc[doc.size() - 4]), n);
    std::size_t trailerStart = 0;
    const Bytes list = ReadTrailer(doc, EVP_sha256(), &trailerStart);
    EXPECT_EQ(trailerStart, 62u);  // no parts: the trailer follows the salt
    EXPECT_EQ(list.size(), 4 + 5 + 4 + 5 + 4 + 7 + 4 + recipe.tags[1].value.size() + 4);
  }
  encoder::DocumentSpec tooSmall = V259Spec();
  EXPECT_FALSE(encoder::PadTrailerTo(tooSmall, 10));
}

TEST(EncoderLayout, DamageLandsWhereAsked) {
  encoder::DocumentSpec recipe = V259Spec();
  encoder::PartSpec part;
  part.name = "a.txt";
  part.content = B("text");
  part.checkOverride = 0x01020304;
  part.compressionOverride = 7;
  part.storedLengthOverride = 1000;
  part.corruptDigest = true;
  recipe.parts = {part};
  recipe.tags = {{"Title", B("t"), false}};
  recipe.headerByteAfterDigest = std::make_pair(25u, std::uint8_t{0xEE});
  recipe.trailerLengthOverride = 60000;

  Bytes doc;
  std::string error;
  ASSERT_TRUE(encoder::EncodeDocument(recipe, doc, &error)) << error;
  EXPECT_EQ(doc[25], 0xEE);
  EXPECT_EQ(BE32(&doc[doc.size() - 4]), 60000u);

  const Bytes salt(doc.begin() + 30, doc.begin() + 62);
  const Bytes key = Pbkdf2Sha256("s3cret", Cat({B("alice"), salt}), 984, 32);
  // One header block (96), the 4 real bytes padded (16), one digest block.
  const Bytes plain = AesCbcDecryptStored(key, Bytes(salt.begin(), salt.begin() + 16), doc.data() + 62, 128);
  const Bytes block(plain.begin(), plain.begin() + 96);
  EXPECT_EQ(BE16(&block[10]), 7);
  EXPECT_EQ(BE32(&block[16]), 1000u);
  EXPECT_EQ(BE32(&block[92]), 0x01020304u);
  EXPECT_EQ(Bytes(plain.begin() + 96, plain.begin() + 100), B("text"));

  // The digests cover the header as it was before the alteration.
  Bytes original(doc.begin(), doc.begin() + 30);
  original[25] = 4;  // reserved byte 3
  Bytes d = Hash(EVP_sha256(), Cat({original, salt, B("text"), block}));
  d[0] ^= 0x01;
  EXPECT_EQ(Bytes(plain.begin() + 112, plain.end()), Bytes(d.begin(), d.begin() + 16));
}

encoder::DocumentSpec Small(std::function<void(encoder::DocumentSpec&)> change = nullptr) {
  encoder::DocumentSpec recipe = V259Spec();
  encoder::PartSpec part;
  part.name = "a.txt";
  part.content = B("abc");
  recipe.parts = {part};
  if (change) change(recipe);
  return recipe;
}

TEST(EncoderLayout, TripleDesDocumentsOfEveryKeyLengthHaveTheLayout) {
  for (std::uint16_t bits : {64, 128, 192}) {
    SCOPED_TRACE(bits);
    encoder::DocumentSpec recipe = Small([&](encoder::DocumentSpec& s) {
      s.cipherId = 4;
      s.keyBits = bits;
      s.endMarker = true;
      s.parts.push_back(s.parts[0]);
      s.parts[1].content = B(std::string(3000, 'q'));
      s.parts[1].compression = 1;
    });
    Bytes doc, key;
    std::string error;
    ASSERT_TRUE(encoder::EncodeDocument(recipe, doc, &error)) << error;
    ASSERT_TRUE(encoder::DeriveDocumentKey(recipe, key, &error)) << error;
    ASSERT_EQ(key.size(), bits / 8u);
    security::CBCCipher cbc(4);
    ASSERT_TRUE(cbc.GetBlockCipher()->SetKeyLength(bits / 8u));
    cbc.GetBlockCipher()->SetKey(key.data());
    cbc.SetIv(doc.data() + 30, 32);
    Bytes plain(doc.begin() + 62, doc.end());
    ASSERT_TRUE(cbc.Decrypt(plain.data(), plain.data(), static_cast<std::uint32_t>(plain.size())));

    std::size_t used = 0;
    const auto parts = CutParts(plain, 2, 8, 86, 6, true, &used);
    EXPECT_EQ(parts[0].f, 87);  // T = 88, the smallest multiple of 8 above 86
    EXPECT_EQ(BE32(&parts[0].header[82]), ~88u);
    EXPECT_EQ(parts[0].stored, B("abc"));
    const Bytes d0 = Hash(EVP_sha256(), Cat({Bytes(doc.begin(), doc.begin() + 62), B("abc"), parts[0].block}));
    EXPECT_EQ(parts[0].digest, Bytes(d0.begin(), d0.begin() + 8));
    EXPECT_EQ(Inflate(parts[1].stored), recipe.parts[1].content);
    EXPECT_EQ(Bytes(plain.begin() + static_cast<std::ptrdiff_t>(used), plain.end()), (Bytes{0, 1, 2, 3, 4, 5, 6, 7}));
  }
}

// Every document here has a header the reader refuses (-5, -6, -25); the
// bytes still exist, encrypted with the documented fallback key.
TEST(EncoderLayout, DocumentsTheReaderMustRefuseAreStillWritten) {
  const std::vector<std::function<void(encoder::DocumentSpec&)>> refused = {
      [](auto& s) { s.cipherId = 9; },
      [](auto& s) { s.keyBits = 200; },  // 25 bytes: no AES key schedule
      [](auto& s) { s.kdfId = 1; },
      [](auto& s) { s.kdfId = 7; },
      [](auto& s) { s.kdfId = 0; },  // with trailer digest 3
      [](auto& s) { s.iterationThousands = 0; s.salt[0] = 0x80; },
      [](auto& s) { s.version = 258; s.allowKdfWithoutSalt = true; },
  };
  Bytes doc, key;
  std::string error;
  for (std::size_t i = 0; i < refused.size(); ++i) {
    SCOPED_TRACE(i);
    const encoder::DocumentSpec recipe = Small(refused[i]);
    EXPECT_TRUE(encoder::EncodeDocument(recipe, doc, &error)) << error;
    EXPECT_FALSE(encoder::DeriveDocumentKey(recipe, key, &error));
  }
  EXPECT_EQ(doc.size(), 30u + 80 + 16 + 16);  // version 258: no salt, 72-byte header
  EXPECT_EQ(key, Pbkdf2Sha256("s3cret", Cat({B("alice"), Bytes(32, 0)}), 1000, 32));
  EXPECT_FALSE(encoder::EncodeDocument(Small([](auto& s) { s.version = 258; }), doc, &error));
  EXPECT_NE(error.find("allowKdfWithoutSalt"), std::string::npos) << error;
  const encoder::DocumentSpec low = Small(refused[5]);  // derived with one iteration
  EXPECT_FALSE(encoder::DeriveDocumentKey(low, key, &error));
  EXPECT_EQ(key, Pbkdf2Sha256("s3cret", Cat({B("alice"), Bytes(low.salt.begin(), low.salt.end())}), 1, 32));

  // Key-derivation id 0 over trailer digest 2 is the SHA-1 function of id 2.
  Bytes viaTwo;
  ASSERT_TRUE(encoder::DeriveDocumentKey(Small([](auto& s) { s.kdfId = 0; s.trailerDigestId = 2; }), key, &error));
  ASSERT_TRUE(encoder::DeriveDocumentKey(Small([](auto& s) { s.kdfId = 2; }), viaTwo, &error));
  EXPECT_EQ(key, viaTwo);

  // Unknown body digest: zero digest blocks. Unknown trailer digest: N = stream.
  const encoder::DocumentSpec ids = Small([](auto& s) {
    s.bodyDigestId = 5;
    s.trailerDigestId = 9;
    s.tags = {{"Title", B("x"), false}};
  });
  ASSERT_TRUE(encoder::EncodeDocument(ids, doc, &error)) << error;
  std::size_t trailerStart = 0;
  EXPECT_EQ(ReadTrailer(doc, nullptr, &trailerStart).size(), 4u + 5 + 4 + 1 + 4);
  ASSERT_TRUE(encoder::DeriveDocumentKey(ids, key, &error)) << error;
  const Bytes plain = AesCbcDecryptStored(key, Bytes(doc.begin() + 30, doc.begin() + 46), doc.data() + 62, trailerStart - 62);
  ASSERT_EQ(plain.size(), 96u + 16 + 16);
  EXPECT_EQ(Bytes(plain.begin() + 112, plain.end()), Bytes(16, 0));

  // A later version is laid out like 259.
  ASSERT_TRUE(encoder::EncodeDocument(Small([](auto& s) { s.version = 260; }), doc, &error));
  EXPECT_EQ(doc.size(), 62u + 96 + 16 + 16);
}

TEST(EncoderLayout, UnwritableSpecsAreRefusedWithAReason) {
  const std::vector<std::function<void(encoder::DocumentSpec&)>> unwritable = {
      [](auto& s) { s.parts[0].name = std::string(65, 'n'); },
      [](auto& s) { s.parts[0].rawName = std::string(65, 'r'); },
      [](auto& s) { s.version = 258; s.kdfId = 2; s.parts[0].name = std::string(35, 'n'); },
      [](auto& s) { s.parts[0].compression = 2; },
      [](auto& s) { s.tags = {{"", B("x"), false}}; },
      [](auto& s) { s.tags = {{std::string(256, 'k'), B("x"), true}}; },
      [](auto& s) { s.headerByteAfterDigest = std::make_pair(30u, std::uint8_t{0}); },
  };
  Bytes doc;
  for (std::size_t i = 0; i < unwritable.size(); ++i) {
    std::string error;
    EXPECT_FALSE(encoder::EncodeDocument(Small(unwritable[i]), doc, &error)) << i;
    EXPECT_FALSE(error.empty()) << i;
  }
  std::string error;
  int calls = 0;
  EXPECT_FALSE(encoder::EncodeDocument(Small(), [&](const std::uint8_t*, std::size_t) { return ++calls < 3; }, &error));
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(encoder::EncodeDocumentToFile(Small(), "/nonexistent-dir/x.emc", &error));
}

TEST(EncoderLayout, GeneratedPartsStreamInBoundedPieces) {
  encoder::PartSpec big;
  big.name = "big.bin";
  big.generatedLength = 3 * 1024 * 1024 + 5;
  big.generatorSeed = 7;
  encoder::PartSpec packed = big;
  packed.generatedLength = 1024 * 1024 + 3;
  packed.compression = 1;
  packed.zlibLevel = 1;
  encoder::DocumentSpec recipe = Small([&](auto& s) {
    s.parts = {big, packed, packed};
    s.flags |= 1u << 27;
  });

  std::size_t largest = 0;
  Bytes streamed;
  std::string error;
  ASSERT_TRUE(encoder::EncodeDocument(recipe, [&](const std::uint8_t* d, std::size_t n) {
    largest = std::max(largest, n);
    streamed.insert(streamed.end(), d, d + n);
    return true;
  }, &error)) << error;
  EXPECT_LE(largest, 64u * 1024 + 16);

  // Deflating twice instead of keeping the measured output: the same bytes,
  // also when written to a file.
  recipe.compressedCacheLimit = 0;
  const std::string path = std::string(VP_BINARY_DIR) + "/encoder_layout_test.emc";
  ASSERT_TRUE(encoder::EncodeDocumentToFile(recipe, path, &error)) << error;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  Bytes onDisk(streamed.size() + 1);
  onDisk.resize(std::fread(onDisk.data(), 1, onDisk.size(), f));
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_EQ(onDisk, streamed);

  // The pattern depends on seed and position only.
  const Bytes whole = encoder::PartContent(big);
  ASSERT_EQ(whole.size(), big.generatedLength);
  EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + 1000, encoder::PartContent(packed).begin()));
  big.generatorSeed = 8;
  const Bytes other = encoder::PartContent(big);
  EXPECT_FALSE(std::equal(whole.begin(), whole.begin() + 64, other.begin()));
}

}  // namespace
