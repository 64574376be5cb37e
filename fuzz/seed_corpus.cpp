#include "fuzz/seed_corpus.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codec/document_header.h"
#include "fuzz/fuzz_support.h"
#include "security/cbc_cipher.h"
#include "tests/support/icon_files.h"
#include "tools/encoder/document_encoder.h"

namespace vpfuzz {
namespace {

using encoder::DocumentSpec;
using encoder::PartSpec;
using encoder::TagSpec;
using Header = codec::DocumentHeader;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void AppendBE32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

[[noreturn]] void Refused(const std::string& what, const std::string& why) {
  std::fprintf(stderr, "seed corpus: the encoder refused %s: %s\n", what.c_str(), why.c_str());
  std::abort();
}

PartSpec Part(const std::string& name, const std::string& content, std::uint16_t compression = 0) {
  PartSpec part;
  part.name = name;
  part.content = Text(content);
  part.compression = compression;
  part.zlibLevel = 9;
  return part;
}

using support::IconFile;

// A 2 x 2 bitmap image at 32 bits per pixel with its mask, a 1 x 1 PNG
// (the smallest transparent one), and an image of neither kind.
Bytes SmallIcon() {
  Bytes bitmap = {40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 24, 0, 0, 0};
  bitmap.resize(40, 0);
  for (int i = 0; i < 4; ++i) bitmap.insert(bitmap.end(), {0x20, 0x40, 0x80, static_cast<std::uint8_t>(i * 80)});
  bitmap.insert(bitmap.end(), {0x40, 0, 0, 0, 0x80, 0, 0, 0});
  const Bytes png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
                     0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4,
                     0x89, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x00, 0x01, 0x00, 0x00,
                     0x05, 0x00, 0x01, 0x0D, 0x0A, 0x2D, 0xB4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE,
                     0x42, 0x60, 0x82};
  return IconFile({{2, 2, 32, bitmap}, {1, 1, 32, png}, {0, 0, 32, Text("other")}});
}

// A tag list as the trailer holds it once inflated.
Bytes TagList(const std::vector<TagSpec>& tags, bool terminated = true) {
  Bytes out;
  for (const TagSpec& tag : tags) {
    const Bytes value = tag.binary ? tag.value : encoder::EscapeTagText(tag.value);
    AppendBE32(out, static_cast<std::uint32_t>(tag.key.size()) | (tag.binary ? 0x100u : 0u));
    out.insert(out.end(), tag.key.begin(), tag.key.end());
    AppendBE32(out, static_cast<std::uint32_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
  }
  if (terminated) AppendBE32(out, 0);
  return out;
}

// The documents of the document targets: every cipher, key derivation,
// digest and layout the format has, small, with the fixed credentials and
// at most a handful of PBKDF2 iterations.
std::vector<std::pair<std::string, DocumentSpec>> Documents() {
  DocumentSpec base;
  base.userName = kUser;
  base.password = kPassword;
  base.iterationThousands = 0;
  base.salt[0] = 1;  // one iteration
  for (std::size_t i = 1; i < base.salt.size(); ++i) base.salt[i] = static_cast<std::uint8_t>(0x20 + 5 * i);
  base.parts = {Part("letter.html", "<p>Dear reader,</p>\n<p>hello.</p>\n"),
                Part("notes.txt", "notes notes notes notes notes notes notes, and more notes\n", 1)};

  std::vector<std::pair<std::string, DocumentSpec>> docs;
  const auto add = [&](const std::string& name, auto change) {
    DocumentSpec d = base;
    change(d);
    docs.emplace_back(name, d);
  };
  add("v259-aes256-pbkdf2-sha256", [](DocumentSpec&) {});
  add("v259-aes128-pbkdf2-keccak", [](DocumentSpec& d) { d.kdfId = 3, d.keyBits = 128, d.salt[0] = 2; });
  add("v258-aes128-sha1kdf-endmarker", [](DocumentSpec& d) {
    d.version = Header::Version258, d.kdfId = 2, d.keyBits = 128, d.partCountField = 0, d.endMarker = true;
  });
  add("v259-3des192-sha1digest", [](DocumentSpec& d) { d.cipherId = 4, d.keyBits = 192, d.kdfId = 2, d.bodyDigestId = 2; });
  add("v258-3des64-kdf0-nodigest", [](DocumentSpec& d) {
    d.version = Header::Version258, d.cipherId = 4, d.keyBits = 64, d.kdfId = 0, d.trailerDigestId = 2;
    d.bodyDigestId = 0;
  });
  add("v259-continuous-keccak", [](DocumentSpec& d) {
    d.flags = Header::FlagContinuousStream, d.bodyDigestId = 7;
    d.parts.push_back(Part("more.txt", "the stream goes on across the parts, the stream goes on\n", 1));
  });
  add("v259-sha512-expiry-longname", [](DocumentSpec& d) {
    d.bodyDigestId = 4;
    d.parts[0].expiry = 0x7FFFFFFF;
    d.parts[1].expiry = static_cast<std::int32_t>(kNow + 86400);
    d.parts[1].name = std::string(64, 'n');
  });
  add("v259-tags-icon", [](DocumentSpec& d) {
    d.tags = {{"Title", Text("Quarterly report\nDraft"), false},
              {"Prompt", Text("Enter the password from the \\letter\\"), false},
              {"FileCorrupt", Text("Broken file"), false},
              {"ImageWin32", SmallIcon(), true}};
  });
  add("v259-tags-stored-trailer", [](DocumentSpec& d) {
    d.trailerZlibLevel = 0;
    d.tags = {{"OpeningText", Text("Opening..."), false}, {"HyperlinkUrl", Text("https://example.org/"), false}};
  });
  add("v259-count-below-parts", [](DocumentSpec& d) {
    d.partCountField = 1;
    d.tags = {{"Title", Text("t"), false}};
  });
  add("v260-with-tags", [](DocumentSpec& d) {
    d.version = 260, d.kdfId = 2;
    d.tags = {{"IncorrectVersion", Text("Please update."), false}};
  });
  add("v259-big-block-empty-part", [](DocumentSpec& d) {
    d.parts[0].lengthByte = 255;
    d.parts.push_back(Part("empty.bin", ""));
  });
  add("v259-names", [](DocumentSpec& d) {
    d.parts = {Part("CON", "device"), Part("..\\..\\up.txt", "climb"), Part("same.txt", "one"), Part("same.txt", "two")};
  });
  return docs;
}

Bytes Encode(const std::string& name, const DocumentSpec& recipe) {
  Bytes out;
  std::string error;
  if (!encoder::EncodeDocument(recipe, out, &error)) Refused(name, error);
  return out;
}

std::vector<Seed> DocumentSeeds() {
  std::vector<Seed> seeds;
  for (const auto& [name, recipe] : Documents()) seeds.push_back({name + ".emc", Encode(name, recipe)});
  return seeds;
}

// Decrypted bodies behind the plaintext target's configuration bytes.
std::vector<Seed> PlaintextSeeds() {
  struct Config {
    std::uint8_t config;
    bool endMarker;
    std::vector<PartSpec> parts;
  };
  const std::vector<Config> configs = {
      {0x01, false, {Part("letter.html", "<p>hello</p>"), Part("notes.txt", "notes notes notes notes\n", 1)}},
      {0x09, false, {Part("a.txt", "digest checked"), Part("b.txt", "compressed and digest checked\n", 1)}},
      {0x07, false, {Part("des.txt", "triple-DES with SHA-1 digests")}},
      {0x00, true, {Part("old.txt", "version 258, counted by its end marker"), Part("z.txt", "zzzzzzzzzzzzzzzz", 1)}},
      {0x1D, false, {Part("s1.txt", "one stream ", 1), Part("plain.bin", "not in it"), Part("s2.txt", "over parts", 1)}},
      {0x0F, false, {Part(std::string(64, 'k'), "a full name field and Keccak digests", 1)}},
      {0x21, false, {Part("short-key.txt", "AES-128"), Part("", "")}},
  };
  std::vector<Seed> seeds;
  for (const Config& c : configs) {
    const auto partCount = static_cast<std::uint8_t>(c.endMarker ? 0 : c.parts.size());
    const PlainConfig config = ConfigFrom(c.config, partCount);
    DocumentSpec recipe;
    recipe.userName = kUser;
    recipe.password = kPassword;
    recipe.version = config.version;
    recipe.cipherId = config.cipherId;
    recipe.keyBits = config.keyBits;
    recipe.trailerDigestId = 3;
    recipe.kdfId = Header::KdfSimpleSha1;
    recipe.iterationThousands = 0;
    recipe.bodyDigestId = config.bodyDigestId;
    recipe.flags = config.flags;
    recipe.partCountField = partCount;
    recipe.endMarker = c.endMarker;
    recipe.salt = PlainSalt();
    recipe.parts = c.parts;
    const std::string name = "config-" + std::to_string(c.config);
    if (encoder::FixedHeaderBytes(recipe) != PlainHeader(config)) Refused(name, "its header is not the target's");
    const Bytes document = Encode(name, recipe);

    Bytes key;
    std::string error;
    if (!encoder::DeriveDocumentKey(recipe, key, &error)) Refused(name, error);
    security::CBCCipher cipher(config.cipherId);
    const bool salted = config.version == Header::Version259;
    const std::size_t bodyAt = Header::Size + (salted ? 32 : 0);
    Bytes body(document.begin() + static_cast<std::ptrdiff_t>(bodyAt), document.end());
    if (!cipher.GetBlockCipher()->SetKeyLength(static_cast<std::uint32_t>(key.size())) ||
        !cipher.GetBlockCipher()->SetKey(key.data()) ||
        !cipher.SetIv(salted ? recipe.salt.data() : nullptr, salted ? cipher.GetBlockCipher()->BlockSize() : 0) ||
        !cipher.Decrypt(body.data(), body.data(), static_cast<std::uint32_t>(body.size()))) {
      Refused(name, "its body does not decrypt");
    }
    body.insert(body.begin(), {c.config, partCount});
    seeds.push_back({name + ".bin", body});
  }
  return seeds;
}

std::vector<Seed> TagSeeds() {
  std::vector<TagSpec> all;
  for (const char* key : {"CantDecodeFile", "FileCorrupt", "CantCreateTempFile", "IncorrectVersion", "NotSupported",
                          "Expired", "OkToDeleteTitle", "OkToDelete", "cantOpenViewer", "Title", "ErrorTitle",
                          "StopTitle", "InfoTitle", "Prompt", "UserNameLabel", "PasswordLabel", "OpeningTitle",
                          "OpeningText", "HyperlinkUrl", "HyperlinkText", "OutOfMemory"}) {
    all.push_back({key, Text(std::string("text of ") + key + "\n\\ end"), false});
  }
  std::vector<Seed> seeds = {
      {"catalogue.bin", TagList(all)},
      {"empty.bin", TagList({})},
      {"duplicates-and-binary.bin",
       TagList({{"Title", Text("first"), false}, {"Title", Text("second"), false}, {"Prompt", Text("binary"), true},
                {"ImageWin32", SmallIcon(), true}})},
      {"long-keys.bin", TagList({{std::string(31, 'k'), Text("kept"), false},
                                 {std::string(32, 'k'), Text("skipped"), false},
                                 {"Title", Text("after the long key"), false}})},
      {"unterminated.bin", TagList({{"Title", Text("no end"), false}}, false)},
  };
  Bytes lone = TagList({{"Title", Text("x"), false}});
  lone[lone.size() - 5] = '\\';  // the value ends with a lone backslash
  seeds.push_back({"lone-backslash.bin", lone});
  return seeds;
}

std::vector<Seed> IconSeeds() {
  Bytes png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes bitmap(40, 0);
  bitmap[0] = 40;
  return {{"three-images.ico", SmallIcon()},
          {"one-png.ico", IconFile({{0, 0, 32, png}})},
          {"sizes.ico", IconFile({{16, 16, 8, bitmap}, {32, 32, 32, bitmap}, {32, 32, 8, bitmap}, {48, 48, 8, bitmap}})}};
}

Seed TextSeed(const std::string& name, const std::string& text) { return {name, Text(text)}; }

std::vector<Seed> NameSeeds() {
  using namespace std::string_literals;
  return {TextSeed("drive.txt", "C:/x/./y//z\0*.txt"s),
          TextSeed("relative.txt", "../../a\0?\?/*"s),
          TextSeed("unc.txt", "\\\\server\\share\\..\\x\0\\\\*\\*"s),
          TextSeed("posix.txt", "/tmp//x/./y/\0/tmp/*"s),
          TextSeed("wildcard.txt", "mississippi\0m*iss*ppi"s),
          TextSeed("devices.txt", "CON\ncom\xB9.txt\nLPT3 .doc\nnotes.txt. . \na?b*.txt"s),
          TextSeed("duplicates.txt", "same.txt\nsame.txt\nSAME.TXT\nsame (2).txt\nsame.txt\n.hidden\n.hidden"s)};
}

std::vector<Seed> ExtensionSeeds() {
  using namespace std::string_literals;
  return {TextSeed("list.txt", "*.bin;*.dat\0.DAT"s), TextSeed("empty.txt", "\0.bin"s),
          TextSeed("dot-is-part.txt", "*.ab\0.b"s), TextSeed("program.txt", "*.pdf\0.exe"s),
          TextSeed("long.txt", std::string(4090, 'x') + "\0.longer"s)};
}

std::vector<Seed> TerminalTextSeeds() {
  using namespace std::string_literals;
  return {TextSeed("valid.txt", "Gr\xc3\xbc\xc3\x9f" "e \xe2\x80\x93 \xe6\x97\xa5\xf0\x9d\x84\x9e\nnext line"s),
          TextSeed("controls.txt", "\x1b]0;title\x07\t\r\x7f\xc2\x9b" "31m\x9b" "31m\0"s),
          TextSeed("malformed.txt", "\xe0\x80\x9b\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80\xf5\xff\x9b\x80\xe2\x82"s)};
}

}  // namespace

const std::vector<std::string>& TargetNames() {
  static const std::vector<std::string> names = {"inspect_document", "decode_document", "decode_plaintext",
                                                 "tag_table",        "icon",            "names",
                                                 "extensions",       "terminal_text"};
  return names;
}

std::vector<Seed> SeedCorpus(const std::string& target) {
  if (target == "inspect_document" || target == "decode_document") return DocumentSeeds();
  if (target == "decode_plaintext") return PlaintextSeeds();
  if (target == "tag_table") return TagSeeds();
  if (target == "icon") return IconSeeds();
  if (target == "names") return NameSeeds();
  if (target == "extensions") return ExtensionSeeds();
  if (target == "terminal_text") return TerminalTextSeeds();
  return {};
}

}  // namespace vpfuzz
