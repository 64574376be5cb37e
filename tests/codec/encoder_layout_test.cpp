// The encoder's bytes, read back without the decoder: OpenSSL derives the
// key and decrypts (after un-reversing every 4-byte group of the stored
// ciphertext), OpenSSL hashes, and zlib inflates. Every field is checked at
// its offset in the container layout. The triple-DES construction is no
// standard cipher, so its documents are read with the CBC front and checked
// for structure only.


#include <array>

#include "codec/byte_order.h"
#include "codec/document_encoder.h"
#include "codec/tag_list_writer.h"
#include "decode_testing.h"
#include "security/cbc_cipher.h"

namespace {

using namespace decodetest;  // the shared codec test helpers

Bytes Cat(std::initializer_list<Bytes> pieces) {
  Bytes out;
  for (const Bytes& p : pieces) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Stored ciphertext -> plaintext: reverse each 4-byte group back to textbook
// CBC, then AES-CBC without padding.
Bytes AesCbcDecryptStored(const Bytes& key, const Bytes& iv, const std::uint8_t* stored, std::size_t length) {
  Bytes cipher(stored, stored + length), plain(length + 16);
  for (std::size_t i = 0; i + 4 <= cipher.size(); i += 4) std::reverse(cipher.begin() + i, cipher.begin() + i + 4);
  const EVP_CIPHER* type = key.size() == 16 ? EVP_aes_128_cbc() : key.size() == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n1 = 0, n2 = 0;
  EXPECT_EQ(EVP_DecryptInit_ex(ctx, type, nullptr, key.data(), iv.data()), 1);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EXPECT_EQ(EVP_DecryptUpdate(ctx, plain.data(), &n1, cipher.data(), static_cast<int>(cipher.size())), 1);
  EXPECT_EQ(EVP_DecryptFinal_ex(ctx, plain.data() + n1, &n2), 1);
  EVP_CIPHER_CTX_free(ctx);
  plain.resize(static_cast<std::size_t>(n1 + n2));
  return plain;
}

// A whole zlib stream's content (empty unless the stream ends).
Bytes WholeStream(const Bytes& data) {
  bool ended = false;
  const Bytes out = Inflate(data, &ended);
  return ended ? out : Bytes{};
}

// One decrypted part, cut from the plaintext by its length byte and length.
struct ReadPart {
  Bytes block;    // T bytes, starting with the length byte F
  Bytes header;   // the last H bytes of the block
  Bytes stored;   // L bytes
  Bytes padding;  // the bytes after L up to the block boundary
  Bytes digest;   // one block, or empty
};

// Cuts `count` parts from the start of `plain`. A length that runs past the
// bytes (what a wrong key gives) fails the calling test once and stops the
// cutting; every part still has a block and a header of full size (zeros
// where nothing was cut), so that callers may index them.
std::vector<ReadPart> CutParts(const Bytes& plain, std::size_t count, std::uint32_t blockSize, std::uint32_t headerSize,
                               std::uint32_t lengthAt, bool digests, std::size_t& at) {
  std::vector<ReadPart> parts(count, ReadPart{Bytes(headerSize), Bytes(headerSize), {}, {}, {}});
  at = 0;
  const auto take = [&](Bytes& into, std::uint64_t n) {
    if (n > plain.size() - at) {
      ADD_FAILURE() << "cannot cut: a length of " << n << " at byte " << at << " runs past the end of " << plain.size()
                    << " decrypted bytes";
      return false;
    }
    into.assign(plain.begin() + static_cast<std::ptrdiff_t>(at), plain.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    return true;
  };
  for (ReadPart& p : parts) {
    const std::uint64_t t = at < plain.size() ? plain[at] - plain[at] % blockSize + blockSize : 1;
    Bytes block;
    if (!take(block, t)) break;
    if (block.size() < headerSize) {
      ADD_FAILURE() << "cannot cut: a block of " << t << " bytes cannot hold a header of " << headerSize;
      break;
    }
    p.block = block;
    p.header.assign(p.block.end() - headerSize, p.block.end());
    const std::uint64_t l = codec::LoadBigEndian32(&p.header[lengthAt]);
    if (!take(p.stored, l) || !take(p.padding, (l + blockSize - 1) / blockSize * blockSize - l) ||
        (digests && !take(p.digest, blockSize))) {
      break;
    }
  }
  return parts;
}

// The trailer at the end of `doc`: checks N's reach and the digest over the
// header and the list, and returns the inflated tag list.
Bytes ReadTrailer(const Bytes& doc, std::size_t& trailerStart) {
  trailerStart = doc.size();
  const std::uint32_t n = doc.size() >= 4 ? codec::LoadBigEndian32(&doc[doc.size() - 4]) : 0;
  if (doc.size() < 4 + 30 || n < 32 || n > doc.size() - 4 - 30) {
    ADD_FAILURE() << "cannot cut: a trailer length of " << n << " runs past the end of " << doc.size() << " bytes";
    return {};
  }
  trailerStart = doc.size() - 4 - n;
  const Bytes list = WholeStream(Bytes(doc.end() - 4 - n, doc.end() - 4 - 32));
  const Bytes header(doc.begin(), doc.begin() + 30);
  EXPECT_EQ(Bytes(doc.end() - 4 - 32, doc.end() - 4), OpenSslDigest(EVP_sha256(), Cat({header, list})));
  return list;
}

Recipe V259Recipe() {
  Recipe recipe;
  recipe.userName = "alice";
  recipe.password = "s3cret";
  for (std::size_t i = 0; i < 32; ++i) recipe.salt[i] = static_cast<std::uint8_t>(0xF0 + 7 * i);  // 0xF0: 1000 - 16
  recipe.reserved = {1, 2, 3, 4, 5, 6, 7, 8};
  recipe.flags = 1u << 29;  // FlagNoWaitNotice
  return recipe;
}

TEST(EncoderLayout, Version259AesPbkdf2ReadsBackFieldByField) {
  Recipe recipe = V259Recipe();
  auto main = Part("report.html", Text("<html><body>Quarterly numbers</body></html>"));
  main.expiry = 1700000000;
  main.auxiliary1 = 0x11223344;
  main.auxiliary2 = 0x55667788;
  auto attachment = Part(std::string(64, 'n'), {}, 1);  // the name fills its field
  for (int i = 0; i < 5000; ++i) attachment.content.push_back(static_cast<std::uint8_t>("abcab\n"[i % 6]));
  attachment.expiry = 0x7FFFFFFF;
  attachment.lengthByte = 100;  // T = 100 - 4 + 16 = 112
  attachment.fillerByte = 0x5A;
  recipe.parts = {main, attachment};
  recipe.tags = {{"Title", Text("Line1\nA\\B\r"), false}, {"ImageWin32", {0, 1, 0x5C, 0x0A}, true}};
  const Bytes doc = Encode(recipe);

  const Bytes header(doc.begin(), doc.begin() + 30), salt(doc.begin() + 30, doc.begin() + 62);
  EXPECT_EQ(header, KnownBytes("layout_fixed_header"));
  EXPECT_EQ(salt, Bytes(recipe.salt.begin(), recipe.salt.end()));
  // Key: PBKDF2-HMAC-SHA-256, P = password, S = user name || salt, 1000 - 16.
  const Bytes key = OpenSslPbkdf2("alice", "s3cret", salt.data(), 984);
  Bytes derived;
  ASSERT_TRUE(encoder::DeriveDocumentKey(recipe, derived));
  EXPECT_EQ(derived, key);
  std::size_t trailerStart = 0, used = 0;
  EXPECT_EQ(ReadTrailer(doc, trailerStart), KnownBytes("layout_tag_list"));

  const Bytes plain = AesCbcDecryptStored(key, Bytes(salt.begin(), salt.begin() + 16), doc.data() + 62, trailerStart - 62);
  const auto parts = CutParts(plain, 2, 16, 86, 6, true, used);
  EXPECT_EQ(used, plain.size());
  EXPECT_EQ(parts[0].block, KnownBytes("layout_part0_block"));
  EXPECT_EQ(parts[0].stored, main.content);
  EXPECT_EQ(parts[0].padding, Bytes(5, 0xA5));
  const Bytes d0 = OpenSslDigest(EVP_sha256(), Cat({header, salt, main.content, parts[0].block}), 16);
  EXPECT_EQ(parts[0].digest, d0);

  // Part 1: F = 100, T = 112, zlib stream, expiry "never", chained digest.
  const ReadPart& p1 = parts[1];
  ASSERT_EQ(p1.block.size(), 112u);
  EXPECT_EQ(Bytes(p1.block.begin(), p1.block.begin() + 2), (Bytes{100, 0x5A}));
  EXPECT_EQ(Bytes(p1.header.begin(), p1.header.begin() + 2), (Bytes{0, 1}));
  EXPECT_EQ(codec::LoadBigEndian32(&p1.header[10]), 0xFFFFFFFFu);
  EXPECT_EQ(Bytes(p1.header.begin() + 18, p1.header.begin() + 82), Text(attachment.name));
  EXPECT_EQ(codec::LoadBigEndian32(&p1.header[82]), ~112u);
  EXPECT_EQ(WholeStream(p1.stored), attachment.content);
  EXPECT_EQ(p1.digest, OpenSslDigest(EVP_sha256(), Cat({d0, attachment.content, p1.block}), 16));
}

// A document as the sender's side writes it: automatic compression (ISA-L
// where the build has it), a part too long to keep deflated, a stored one,
// an empty one, and the format's own example of the iteration rule (field 2,
// first salt byte 0x80: 2,000 - 128 = 1,872 iterations).
TEST(EncoderLayout, PackedDocumentReadsBackWithOpenSslAndZlib) {
  codec::DocumentHeader h = PackHeader(codec::DocumentHeader::FlagTagTrailer | codec::DocumentHeader::FlagPasswordOnly);
  h.partCount = 3;
  h.iterationThousands = 2;
  std::uint8_t salt[32];
  for (std::size_t i = 0; i < 32; ++i) salt[i] = static_cast<std::uint8_t>(0x80 + 5 * i);
  const Bytes contents[] = {Prose(1u << 20), Noise(70000, 4), {}};
  const char* names[] = {"report.txt", "figures.bin", "empty.txt"};
  Collector sink;
  codec::DocumentEncoder encoder(sink);
  encoder.SetCacheLimit(16 * 1024);
  ASSERT_EQ(encoder.Begin(h, salt, "", "s3cret"), codec::EncodeResult::Ok);
  for (int i = 0; i < 3; ++i) {
    codec::MemoryPartSource source(contents[i]);
    codec::PartSettings settings;
    settings.name = names[i];
    settings.compression = codec::PartSettings::Compression::Automatic;
    settings.deflate = codec::DeflateSettings::Fast();
    settings.expiry = i == 0 ? 0x7FFFFFFF : 2000000000;
    ASSERT_EQ(encoder.WritePart(source, settings), codec::EncodeResult::Ok);
  }
  Bytes list, trailer;
  ASSERT_TRUE(codec::BuildTagList({{"Title", Text("Q3"), false}}, list));
  ASSERT_TRUE(codec::BuildTrailer(encoder.StoredHeader(), list, 3, 9, trailer));
  ASSERT_EQ(encoder.Finish(trailer), codec::EncodeResult::Ok);
  const Bytes& doc = sink.bytes;

  const Bytes header(doc.begin(), doc.begin() + 30), storedSalt(doc.begin() + 30, doc.begin() + 62);
  EXPECT_EQ(header, Cat({Text("emdf"), {1, 3, 0, 5, 0, 3, 1, 0, 0, 3, 0x50, 0, 0, 0, 4, 0, 2, 3}, Bytes(8, 0)}));
  EXPECT_EQ(storedSalt, Bytes(salt, salt + 32));
  std::size_t trailerStart = 0, used = 0;
  EXPECT_EQ(ReadTrailer(doc, trailerStart), list);
  const Bytes key = OpenSslPbkdf2("", "s3cret", salt, 1872);
  const Bytes plain = AesCbcDecryptStored(key, Bytes(salt, salt + 16), doc.data() + 62, trailerStart - 62);
  const auto parts = CutParts(plain, 3, 16, 86, 6, true, used);
  EXPECT_EQ(used, plain.size());
  Bytes chain = Cat({header, storedSalt});
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(names[i]);
    const ReadPart& p = parts[static_cast<std::size_t>(i)];
    ASSERT_EQ(p.block.size(), 96u);
    EXPECT_EQ(p.block[0], 95);
    EXPECT_EQ(codec::LoadBigEndian32(&p.header[82]), ~96u);
    EXPECT_EQ(Bytes(p.header.begin() + 18, p.header.begin() + 82), Cat({Text(names[i]), Bytes(64 - std::strlen(names[i]), 0)}));
    EXPECT_EQ(codec::LoadBigEndian32(&p.header[10]), i == 0 ? 0xFFFFFFFFu : 2000000000u);
    const bool deflated = i == 0;
    EXPECT_EQ(codec::LoadBigEndian16(&p.header[0]), deflated ? 1 : 0);
    if (deflated) {
      EXPECT_LT(p.stored.size(), contents[i].size() / 2);
      EXPECT_EQ(p.stored[0], 0x78);
      EXPECT_EQ(WholeStream(p.stored), contents[i]);
    } else {
      EXPECT_EQ(p.stored, contents[i]);
    }
    const Bytes digest = OpenSslDigest(EVP_sha256(), Cat({chain, contents[i], p.block}), 16);
    EXPECT_EQ(p.digest, digest);
    chain = digest;
  }
}

TEST(EncoderLayout, Version258AesSimpleKdfWithEndMarker) {
  Recipe recipe;
  recipe.version = 258;
  recipe.keyBits = 128;
  recipe.kdfId = 2;  // SHA-1 digest of the inputs
  recipe.bodyDigestId = 2;
  recipe.trailerDigestId = 2;
  recipe.partCountField = 0;
  recipe.endMarker = true;
  recipe.userName = "bob";
  recipe.password = "pw";
  auto part = Part(std::string(34, 'x'), Text("0123456789abcdef"));  // one block: no padding
  part.expiry = 0x7FFFFFFF;
  part.auxiliary1 = 0xA1A2A3A4;
  part.auxiliary2 = 0xB1B2B3B4;
  recipe.parts = {part};
  const Bytes doc = Encode(recipe);
  const Bytes header(doc.begin(), doc.begin() + 30);
  EXPECT_EQ(Bytes(header.begin() + 4, header.begin() + 6), (Bytes{0x01, 0x02}));
  EXPECT_EQ(Bytes(header.begin() + 12, header.begin() + 19), (Bytes{0, 0, 0, 0, 0, 0, 2}));  // no count, no flags, kdf 2

  // Key: SHA-1 of user, ~(3 << 16), password, ~(2 << 16), folded to 16 bytes.
  const Bytes sha =
      OpenSslDigest(EVP_sha1(), Cat({Text("bob"), {0xFF, 0xFC, 0xFF, 0xFF}, Text("pw"), {0xFF, 0xFD, 0xFF, 0xFF}}));
  Bytes key(sha.begin(), sha.begin() + 16), derived;
  for (std::size_t i = 0; i < 16; ++i) key[i] ^= sha[16 + i % 4];
  ASSERT_TRUE(encoder::DeriveDocumentKey(recipe, derived));
  EXPECT_EQ(derived, key);

  // No salt, zero IV, no trailer; the end marker block after the part.
  const Bytes plain = AesCbcDecryptStored(key, Bytes(16, 0), doc.data() + 30, doc.size() - 30);
  std::size_t used = 0;
  const ReadPart p = CutParts(plain, 1, 16, 72, 48, true, used)[0];
  EXPECT_EQ(p.block, KnownBytes("layout_v258_block"));
  EXPECT_EQ(p.stored, part.content);
  EXPECT_TRUE(p.padding.empty());
  EXPECT_EQ(p.digest, OpenSslDigest(EVP_sha1(), Cat({header, part.content, p.block}), 16));
  EXPECT_EQ(Bytes(plain.begin() + static_cast<std::ptrdiff_t>(used), plain.end()),
            (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
}

TEST(EncoderLayout, ContinuousStreamSplitsAtEachCompressedPart) {
  Recipe recipe = V259Recipe();
  recipe.flags |= 1u << 27;  // FlagContinuousStream
  recipe.bodyDigestId = 0;
  for (int i = 0; i < 3; ++i) {
    recipe.parts.push_back(Part("p" + std::to_string(i), {}, i == 1 ? 0 : 1));
    for (int k = 0; k < 9000; ++k) recipe.parts[i].content.push_back(static_cast<std::uint8_t>((k * (i + 3)) % 251));
  }
  const Bytes doc = Encode(recipe);
  const Bytes salt(doc.begin() + 30, doc.begin() + 62);
  const Bytes key = OpenSslPbkdf2("alice", "s3cret", salt.data(), 984);
  const Bytes plain = AesCbcDecryptStored(key, Bytes(salt.begin(), salt.begin() + 16), doc.data() + 62, doc.size() - 62);
  std::size_t used = 0;
  const auto read = CutParts(plain, 3, 16, 86, 6, false, used);
  EXPECT_EQ(used, plain.size());
  EXPECT_EQ(read[1].stored, recipe.parts[1].content);  // stored parts stay out of the stream
  // Part 0's bytes are a stream that has not ended; part 2's bytes continue it.
  bool ended = true;
  EXPECT_EQ(Inflate(read[0].stored, &ended), recipe.parts[0].content);
  EXPECT_FALSE(ended);
  EXPECT_EQ(WholeStream(Cat({read[0].stored, read[2].stored})), Cat({recipe.parts[0].content, recipe.parts[2].content}));
}

TEST(EncoderLayout, TripleDesDocumentsOfEveryKeyLengthHaveTheLayout) {
  for (std::uint16_t bits : std::array<std::uint16_t, 3>{64, 128, 192}) {
    SCOPED_TRACE(bits);
    Recipe recipe = V259Recipe();
    recipe.cipherId = 4;
    recipe.keyBits = bits;
    recipe.endMarker = true;
    recipe.parts = {Part("a.txt", Text("abc")), Part("a.txt", Text(std::string(3000, 'q')), 1)};
    const Bytes doc = Encode(recipe);
    Bytes key;
    ASSERT_TRUE(encoder::DeriveDocumentKey(recipe, key));
    ASSERT_EQ(key.size(), bits / 8u);
    security::CBCCipher cbc(4);
    ASSERT_TRUE(cbc.GetBlockCipher()->SetKeyLength(bits / 8u));
    cbc.GetBlockCipher()->SetKey(key.data());
    cbc.SetIv(doc.data() + 30, 32);
    Bytes plain(doc.begin() + 62, doc.end());
    ASSERT_TRUE(cbc.Decrypt(plain.data(), plain.data(), static_cast<std::uint32_t>(plain.size())));
    std::size_t used = 0;
    const auto parts = CutParts(plain, 2, 8, 86, 6, true, used);
    EXPECT_EQ(parts[0].block.size(), 88u);  // the smallest multiple of 8 above 86
    EXPECT_EQ(parts[0].block[0], 87);
    EXPECT_EQ(codec::LoadBigEndian32(&parts[0].header[82]), ~88u);
    EXPECT_EQ(parts[0].stored, Text("abc"));
    const Bytes headerAndSalt(doc.begin(), doc.begin() + 62);
    EXPECT_EQ(parts[0].digest, OpenSslDigest(EVP_sha256(), Cat({headerAndSalt, Text("abc"), parts[0].block}), 8));
    EXPECT_EQ(WholeStream(parts[1].stored), recipe.parts[1].content);
    EXPECT_EQ(Bytes(plain.begin() + static_cast<std::ptrdiff_t>(used), plain.end()), (Bytes{0, 1, 2, 3, 4, 5, 6, 7}));
  }
}

}  // namespace
