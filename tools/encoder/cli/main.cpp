// vpencode: writes a document container from command-line options; see
// Usage() below. Exit status: 0 success, 1 failure, 2 usage error.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/encoder/document_encoder.h"

namespace {

constexpr std::uint32_t kFlagNoCredentials = 1u << 31;
constexpr std::uint32_t kFlagNoWaitNotice = 1u << 29;
constexpr std::uint32_t kFlagPasswordOnly = 1u << 28;
constexpr std::uint32_t kFlagContinuousStream = 1u << 27;

const char kUsage[] =
    "usage: vpencode -o OUT --user NAME --password PW [options] --part FILE...\n"
    "\n"
    "Writes a document container (.emc, .emd, .oed) holding the given parts.\n"
    "\n"
    "Parts (in order; the first one is the main document):\n"
    "  --part FILE[:OPT]...      a part read from FILE\n"
    "  --generate LENGTH[:OPT]...  LENGTH bytes of generated pattern, produced\n"
    "                            piece by piece (for very large documents)\n"
    "  part options, after colons:\n"
    "    name=NAME     name stored in the part (default: FILE's base name,\n"
    "                  or part<N>.bin for generated parts)\n"
    "    z             compress with zlib; level=N sets the deflate level (0-9)\n"
    "    expiry=T      expiry as seconds since 1970 UTC, or 'never'\n"
    "    aux1=N aux2=N auxiliary words\n"
    "    F=N           length byte of the part-header block (1-255)\n"
    "    seed=N        pattern seed of a generated part\n"
    "\n"
    "Credentials and key:\n"
    "  --user NAME, --password PW   the credentials the key is derived from\n"
    "  --no-credentials   the reader asks for nothing (empty user and password)\n"
    "  --password-only    the reader asks only for a password (empty user)\n"
    "  --version 258|259  format version (default 259; 258 has no salt)\n"
    "  --cipher aes|3des|ID   cipher (default aes)\n"
    "  --key-bits N       key length in bits (default 256 for aes, 192 for 3des)\n"
    "  --kdf 0-4          key derivation (default 4, PBKDF2-HMAC-SHA-256;\n"
    "                     3 PBKDF2-HMAC-Keccak-256, 2 SHA-1 digest, 0 digest of\n"
    "                     the trailer digest id); 3 and 4 need version 259\n"
    "  --iterations N     PBKDF2 iterations in thousands (default 10)\n"
    "  --salt HEX         the 32 salt bytes as 64 hex digits (default random);\n"
    "                     the first byte, signed, is added to the iterations\n"
    "  --allow-saltless-kdf  write --kdf 3/4 with --version 258 although no\n"
    "                     reader can open it\n"
    "\n"
    "Layout:\n"
    "  --body-digest ID      digest protecting each part: 0 none, 2 SHA-1,\n"
    "                        3 SHA-256 (default), 4 SHA-512, 7 Keccak-256\n"
    "  --trailer-digest ID   digest of the tag trailer (default 3)\n"
    "  --no-wait-notice      no confirmation notice after launching the document\n"
    "  --continuous          compressed parts form one zlib stream\n"
    "  --flags N             further flag bits to set\n"
    "  --part-count N        stored part count (default: the number of parts;\n"
    "                        0 means not stated)\n"
    "  --end-marker          end the parts with an end-marker block\n"
    "  --expiry T            default expiry of every part (seconds since 1970\n"
    "                        UTC, or 'never')\n"
    "  --reserved HEX        the 8 reserved header bytes as 16 hex digits\n"
    "\n"
    "Tag trailer (plain; readable without credentials):\n"
    "  --tag KEY=TEXT        a text tag, e.g. --tag Title=Quarterly report\n"
    "  --binary-tag KEY=FILE a binary tag with FILE's bytes\n"
    "  --icon FILE.ico       the document's icon (binary tag \"ImageWin32\")\n"
    "  --trailer-level N     deflate level of the trailer (default zlib's)\n"
    "\n"
    "Numbers may be decimal or 0x-prefixed hexadecimal.\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "vpencode: %s\n(see vpencode --help)\n", why.c_str());
  return 2;
}

bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v > max) return false;
  value = v;
  return true;
}

bool ParseExpiry(const std::string& text, std::int32_t& expiry) {
  if (text == "never") {
    expiry = 0x7FFFFFFF;
    return true;
  }
  std::uint64_t v = 0;
  if (!ParseNumber(text, 0xFFFFFFFFull, v)) return false;
  expiry = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return true;
}

bool ParseHex(const std::string& text, std::uint8_t* out, std::size_t bytes) {
  if (text.size() != 2 * bytes) return false;
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::string pair = text.substr(2 * i, 2);
    char* end = nullptr;
    const unsigned long v = std::strtoul(pair.c_str(), &end, 16);
    if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0])) ||
        !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
      return false;
    }
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    pieces.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return pieces;
    start = at + 1;
  }
}

// Applies "opt" or "key=value" part options; false with the reason otherwise.
bool ApplyPartOptions(const std::vector<std::string>& options, encoder::PartSpec& part, bool& named,
                      bool& hasExpiry, std::string& why) {
  for (const std::string& option : options) {
    const std::size_t eq = option.find('=');
    const std::string key = option.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : option.substr(eq + 1);
    std::uint64_t n = 0;
    if (key == "z" && eq == std::string::npos) {
      part.compression = codec::VPCodecBase::CompressionZlib;
    } else if (key == "name" && eq != std::string::npos) {
      part.name = value;
      named = true;
    } else if (key == "level" && ParseNumber(value, 9, n)) {
      part.zlibLevel = static_cast<int>(n);
    } else if (key == "expiry" && ParseExpiry(value, part.expiry)) {
      hasExpiry = true;
    } else if (key == "aux1" && ParseNumber(value, 0xFFFFFFFFull, n)) {
      part.auxiliary1 = static_cast<std::uint32_t>(n);
    } else if (key == "aux2" && ParseNumber(value, 0xFFFFFFFFull, n)) {
      part.auxiliary2 = static_cast<std::uint32_t>(n);
    } else if (key == "F" && ParseNumber(value, 255, n) && n > 0) {
      part.lengthByte = static_cast<std::uint8_t>(n);
    } else if (key == "seed" && ParseNumber(value, 0xFFFFFFFFull, n)) {
      part.generatorSeed = static_cast<std::uint32_t>(n);
    } else {
      why = "bad part option '" + option + "'";
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  encoder::DocumentSpec recipe;
  recipe.iterationThousands = 10;
  std::string output;
  bool haveUser = false, havePassword = false, haveKeyBits = false, haveSalt = false;
  bool noCredentials = false, passwordOnly = false;
  std::optional<std::int32_t> defaultExpiry;
  std::vector<bool> partHasExpiry;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    // Options without a value.
    if (arg == "--no-credentials") {
      noCredentials = true;
      continue;
    }
    if (arg == "--password-only") {
      passwordOnly = true;
      continue;
    }
    if (arg == "--no-wait-notice") {
      recipe.flags |= kFlagNoWaitNotice;
      continue;
    }
    if (arg == "--continuous") {
      recipe.flags |= kFlagContinuousStream;
      continue;
    }
    if (arg == "--end-marker") {
      recipe.endMarker = true;
      continue;
    }
    if (arg == "--allow-saltless-kdf") {
      recipe.allowKdfWithoutSalt = true;
      continue;
    }
    // Options with a value.
    static const char* const kValueOptions[] = {
        "-o", "--output", "--user", "--password", "--version", "--cipher", "--key-bits", "--kdf",
        "--iterations", "--salt", "--body-digest", "--trailer-digest", "--flags", "--part-count",
        "--expiry", "--reserved", "--tag", "--binary-tag", "--icon", "--trailer-level", "--part", "--generate"};
    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) == std::end(kValueOptions)) {
      return Usage(arg.rfind('-', 0) == 0 ? "unknown option " + arg : "unexpected '" + arg + "'; parts need --part");
    }
    if (i + 1 >= argc) return Usage(arg + " needs a value");
    const std::string value = argv[++i];
    std::uint64_t n = 0;
    if (arg == "-o" || arg == "--output") {
      output = value;
    } else if (arg == "--user") {
      recipe.userName = value;
      haveUser = true;
    } else if (arg == "--password") {
      recipe.password = value;
      havePassword = true;
    } else if (arg == "--version") {
      if (!ParseNumber(value, 0xFFFF, n)) return Usage("bad --version");
      recipe.version = static_cast<std::uint16_t>(n);
    } else if (arg == "--cipher") {
      if (value == "aes") {
        recipe.cipherId = 5;
      } else if (value == "3des") {
        recipe.cipherId = 4;
      } else if (ParseNumber(value, 0xFFFF, n)) {
        recipe.cipherId = static_cast<std::uint16_t>(n);
      } else {
        return Usage("bad --cipher");
      }
    } else if (arg == "--key-bits") {
      if (!ParseNumber(value, 0xFFFF, n)) return Usage("bad --key-bits");
      recipe.keyBits = static_cast<std::uint16_t>(n);
      haveKeyBits = true;
    } else if (arg == "--kdf") {
      if (!ParseNumber(value, 0xFF, n)) return Usage("bad --kdf");
      recipe.kdfId = static_cast<std::uint8_t>(n);
    } else if (arg == "--iterations") {
      if (!ParseNumber(value, 0xFFFF, n)) return Usage("bad --iterations");
      recipe.iterationThousands = static_cast<std::uint16_t>(n);
    } else if (arg == "--salt") {
      if (!ParseHex(value, recipe.salt.data(), recipe.salt.size())) return Usage("--salt needs 64 hex digits");
      haveSalt = true;
    } else if (arg == "--body-digest") {
      if (!ParseNumber(value, 0xFF, n)) return Usage("bad --body-digest");
      recipe.bodyDigestId = static_cast<std::uint8_t>(n);
    } else if (arg == "--trailer-digest") {
      if (!ParseNumber(value, 0xFFFF, n)) return Usage("bad --trailer-digest");
      recipe.trailerDigestId = static_cast<std::uint16_t>(n);
    } else if (arg == "--flags") {
      if (!ParseNumber(value, 0xFFFFFFFFull, n)) return Usage("bad --flags");
      recipe.flags |= static_cast<std::uint32_t>(n);
    } else if (arg == "--part-count") {
      if (!ParseNumber(value, 0xFFFF, n)) return Usage("bad --part-count");
      recipe.partCountField = static_cast<std::uint16_t>(n);
    } else if (arg == "--expiry") {
      std::int32_t e = 0;
      if (!ParseExpiry(value, e)) return Usage("bad --expiry");
      defaultExpiry = e;
    } else if (arg == "--reserved") {
      if (!ParseHex(value, recipe.reserved.data(), recipe.reserved.size())) return Usage("--reserved needs 16 hex digits");
    } else if (arg == "--tag" || arg == "--binary-tag") {
      const std::size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) return Usage(arg + " needs KEY=" + (arg == "--tag" ? "TEXT" : "FILE"));
      encoder::TagSpec tag;
      tag.key = value.substr(0, eq);
      const std::string rest = value.substr(eq + 1);
      if (arg == "--tag") {
        tag.value.assign(rest.begin(), rest.end());
      } else {
        tag.binary = true;
        if (!ReadFile(rest, tag.value)) {
          std::fprintf(stderr, "vpencode: cannot read %s\n", rest.c_str());
          return 1;
        }
      }
      recipe.tags.push_back(std::move(tag));
    } else if (arg == "--icon") {
      encoder::TagSpec tag{"ImageWin32", {}, true};
      if (!ReadFile(value, tag.value)) {
        std::fprintf(stderr, "vpencode: cannot read %s\n", value.c_str());
        return 1;
      }
      recipe.tags.push_back(std::move(tag));
    } else if (arg == "--trailer-level") {
      if (!ParseNumber(value, 9, n)) return Usage("bad --trailer-level");
      recipe.trailerZlibLevel = static_cast<int>(n);
    } else if (arg == "--part" || arg == "--generate") {
      const std::vector<std::string> fields = Split(value, ':');
      encoder::PartSpec part;
      bool named = false;
      bool hasExpiry = false;
      std::string why;
      const std::vector<std::string> options(fields.begin() + 1, fields.end());
      if (!ApplyPartOptions(options, part, named, hasExpiry, why)) return Usage(why);
      partHasExpiry.push_back(hasExpiry);
      if (arg == "--part") {
        if (!named) part.name = BaseName(fields[0]);
        if (!ReadFile(fields[0], part.content)) {
          std::fprintf(stderr, "vpencode: cannot read %s\n", fields[0].c_str());
          return 1;
        }
      } else {
        if (!ParseNumber(fields[0], UINT64_MAX, n) || n == 0) return Usage("bad --generate length");
        part.generatedLength = n;
        if (!named) part.name = "part" + std::to_string(recipe.parts.size()) + ".bin";
      }
      recipe.parts.push_back(std::move(part));
    } else {
      return Usage("unknown option " + arg);
    }
  }

  if (output.empty()) return Usage("-o OUT is required");
  if (noCredentials && passwordOnly) return Usage("--no-credentials and --password-only exclude each other");
  if (noCredentials) {
    if (haveUser || havePassword) return Usage("--no-credentials takes no --user or --password");
    recipe.flags |= kFlagNoCredentials;
  } else if (passwordOnly) {
    if (haveUser) return Usage("--password-only takes no --user");
    if (!havePassword) return Usage("--password is required");
    recipe.flags |= kFlagPasswordOnly;
  } else if (!haveUser || !havePassword) {
    return Usage("--user and --password are required (or --password-only, --no-credentials)");
  }
  using codec::DocumentHeader;
  const bool pbkdf2 = recipe.kdfId == DocumentHeader::KdfPbkdf2Keccak256 || recipe.kdfId == DocumentHeader::KdfPbkdf2Sha256;
  if (recipe.version < DocumentHeader::Version259 && pbkdf2 && !recipe.allowKdfWithoutSalt) {
    return Usage("--kdf 3 and 4 need --version 259 (or --allow-saltless-kdf for an unreadable document)");
  }
  if (!haveKeyBits) recipe.keyBits = recipe.cipherId == 4 ? 192 : 256;
  if (!haveSalt) {
    std::random_device random;
    for (auto& b : recipe.salt) b = static_cast<std::uint8_t>(random());
  }
  if (defaultExpiry) {
    for (std::size_t p = 0; p < recipe.parts.size(); ++p) {
      if (!partHasExpiry[p]) recipe.parts[p].expiry = *defaultExpiry;
    }
  }

  std::string error;
  if (!encoder::EncodeDocumentToFile(recipe, output, &error)) {
    std::fprintf(stderr, "vpencode: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
