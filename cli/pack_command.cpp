// vaultpost pack -o OUT [options] FILE...: the sender's side. Everything the
// command can refuse (options, inputs, names, texts, icon, output) is refused
// before a password is asked and before anything is written; the document is
// then written to a private temporary file and renamed into place when it is
// complete and on the disk.

#include "cli/command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>

#include "cli/document_icon.h"
#include "cli/file_part_source.h"
#include "cli/interrupt_flag.h"
#include "cli/output_file.h"
#include "cli/pack_options.h"
#include "cli/system_random.h"
#include "codec/document_encoder.h"
#include "codec/inspect_document.h"
#include "codec/tag_list_writer.h"
#include "reader/link_address.h"
#include "reader/posix/terminal_gui.h"
#include "reader/posix/terminal_text.h"
#include "security/block_cipher.h"
#include "security/digest_imp.h"
#include "security/secret_text.h"
#include "security/secure_registers.h"

namespace cli {
namespace {


// PBKDF2-HMAC-SHA-256 iterations, in thousands: today's common
// recommendation for that function, and the floor below which pack warns.
constexpr std::uint32_t kDefaultIterations = 600;
constexpr std::uint32_t kRecommendedIterations = 100;
constexpr std::uint32_t kMaxIterations = 0xFFFF;
// Inputs of at least this many bytes in all show a progress bar on a terminal.
constexpr std::uint64_t kProgressFrom = 16u << 20;
constexpr std::uint64_t kMaxStored = 0xFFFFFFFFu;

const char kUsage[] =
    "Usage: vaultpost pack -o OUT [options] FILE...\n"
    "\n"
    "Makes a document of the files for the reader: the first file is the main\n"
    "document, the others are attachments, each stored under its own name.\n"
    "\n"
    "  -o, --output OUT       the document to write (.emc); an existing file is\n"
    "                         replaced only with --force\n"
    "Credentials (asked twice on the terminal unless given otherwise):\n"
    "  --user NAME            the reader asks for this user name and the password;\n"
    "                         without it, for the password only\n"
    "  --password-stdin       the password is the first line of standard input\n"
    "  --password-file FILE   the password is the first line of FILE\n"
    "  --generate-password    make a strong random password and print it once\n"
    "  --no-password          the reader asks for nothing: anyone can read the document\n"
    "  --iterations N         PBKDF2 iterations in thousands (default 600, at most 65535)\n"
    "Content:\n"
    "  --expires WHEN         a date (2027-01-31, the start of that day UTC), a date\n"
    "                         and time with an offset (2027-01-31T12:00+01:00) or a\n"
    "                         duration (30d, 12h, 2w)\n"
    "  --store                store every file as it is (default: deflate the files\n"
    "                         that shrink, fast)\n"
    "  --level N              deflate with zlib at level N (1 fastest, 9 smallest); a\n"
    "                         file that does not shrink is still stored\n"
    "Texts and look (shown before the password is asked):\n"
    "  --title TEXT           the title of the reader's password prompt\n"
    "  --prompt TEXT          the text above its fields\n"
    "  --link URL             a link shown in the prompt (http:, https: or mailto:)\n"
    "  --link-text TEXT       the link's text\n"
    "  --text KEY=VALUE       any text of the reader the document may replace\n"
    "                         (--text help lists the keys)\n"
    "  --icon FILE            the document's icon: an .ico file or a PNG image\n"
    "  --force                replace an existing OUT\n"
    "\n"
    "The password is never taken from the command line or the environment.\n"
    "Exit status: 0 success, 1 failure (nothing is left behind), 2 usage error.\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "vaultpost pack: %s\n(see vaultpost pack --help)\n", reader::TerminalText(why).c_str());
  return kExitUsage;
}

int Failure(const std::string& why) {
  std::fprintf(stderr, "vaultpost pack: %s\n", reader::TerminalText(why).c_str());
  return kExitFailure;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ParseCount(const std::string& text, std::uint32_t low, std::uint32_t high, std::uint32_t& value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long v = std::stoul(text);
  if (v < low || v > high) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

enum class CredentialSource { Terminal, Stdin, File, Generated, None };

struct PackRequest {
  std::string output;
  bool force = false;
  std::optional<std::string> user;
  CredentialSource credentials = CredentialSource::Terminal;
  int credentialOptions = 0;
  std::string passwordFile;
  std::uint32_t iterations = kDefaultIterations;
  std::optional<std::string> expires;
  bool store = false;
  std::optional<std::uint32_t> level;
  std::map<std::string, std::string> texts;  // catalogue key -> text
  std::optional<std::string> icon;
  std::vector<std::string> files;
};

// Parses the arguments after "pack"; returns an exit status when the command
// ends here (help, usage error), nothing otherwise.
std::optional<int> ParsePack(const std::vector<std::string>& args, PackRequest& request) {
  static const char* const kValued[] = {"-o",      "--output",  "--user",      "--password-file", "--iterations",
                                        "--expires", "--level", "--title",     "--prompt",        "--link",
                                        "--link-text", "--text", "--icon"};
  const std::vector<std::string> keys = ReplaceableTextKeys();
  std::string known;
  for (const std::string& k : keys) known += (known.empty() ? "" : ", ") + k;
  const auto setText = [&](const std::string& key, const std::string& value) -> std::optional<int> {
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
      return Usage("--text " + key + ": not a text the document may replace; the keys are " + known);
    }
    if (!request.texts.emplace(key, value).second) return Usage("the text " + key + " is given twice");
    return std::nullopt;
  };
  bool filesOnly = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    if (filesOnly || arg.empty() || arg[0] != '-' || arg == "-") {
      request.files.push_back(arg);
      continue;
    }
    const std::size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    // A password given on the command line is visible to every user of the
    // machine: refused without repeating it.
    if (name == "--password" || name == "--pass" || name == "-p") {
      return Usage("a password is never taken from the command line (every user of the machine could read it): "
                   "give it on the terminal, with --password-stdin or with --password-file");
    }
    const bool valued = std::find(std::begin(kValued), std::end(kValued), name) != std::end(kValued);
    std::string value;
    if (valued) {
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return Usage(name + " needs a value");
      }
    } else if (eq != std::string::npos) {
      return Usage("unknown option " + name);
    }
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    } else if (name == "--") {
      filesOnly = true;
    } else if (name == "-o" || name == "--output") {
      request.output = value;
    } else if (name == "--force") {
      request.force = true;
    } else if (name == "--user") {
      if (value.empty()) return Usage("--user needs a name (leave it out for a password-only document)");
      request.user = value;
    } else if (name == "--password-stdin" || name == "--password-file" || name == "--generate-password" ||
               name == "--no-password") {
      ++request.credentialOptions;
      request.credentials = name == "--password-stdin"      ? CredentialSource::Stdin
                            : name == "--password-file"     ? CredentialSource::File
                            : name == "--generate-password" ? CredentialSource::Generated
                                                            : CredentialSource::None;
      request.passwordFile = value;
    } else if (name == "--iterations") {
      if (!ParseCount(value, 1, kMaxIterations, request.iterations)) {
        return Usage("--iterations takes a number of thousands from 1 to 65535");
      }
    } else if (name == "--expires") {
      request.expires = value;
    } else if (name == "--store") {
      request.store = true;
    } else if (name == "--level") {
      std::uint32_t level = 0;
      if (!ParseCount(value, 1, 9, level)) return Usage("--level takes 1 (fastest) to 9 (smallest)");
      request.level = level;
    } else if (name == "--title" || name == "--prompt" || name == "--link" || name == "--link-text") {
      const char* key = name == "--title" ? "Title" : name == "--prompt" ? "Prompt" : name == "--link" ? "HyperlinkUrl" : "HyperlinkText";
      if (auto status = setText(key, value)) return status;
    } else if (name == "--text") {
      if (value == "help") {
        std::printf("Texts a document may replace (--text KEY=VALUE):\n");
        for (const std::string& k : keys) std::printf("  %s\n", k.c_str());
        return kExitOk;
      }
      const std::size_t split = value.find('=');
      if (split == std::string::npos) return Usage("--text takes KEY=VALUE");
      if (auto status = setText(value.substr(0, split), value.substr(split + 1))) return status;
    } else if (name == "--icon") {
      request.icon = value;
    } else {
      return Usage("unknown option " + name);
    }
  }
  if (request.output.empty()) return Usage("-o OUT is required");
  if (request.files.empty()) return Usage("no files to pack");
  if (request.files.size() > 0xFFFF) return Usage("a document holds at most 65,535 files");
  if (request.credentialOptions > 1) {
    return Usage("give one of --password-stdin, --password-file, --generate-password and --no-password");
  }
  if (request.credentials == CredentialSource::None && request.user) return Usage("--no-password takes no --user");
  if (request.store && request.level) return Usage("--store and --level exclude each other");
  if (request.texts.count("HyperlinkText") != 0 && request.texts.count("HyperlinkUrl") == 0) {
    return Usage("--link-text needs --link");
  }
  const auto link = request.texts.find("HyperlinkUrl");
  if (link != request.texts.end() && !reader::IsOpenableLinkAddress(link->second.c_str())) {
    return Usage("--link " + link->second +
                 ": the reader opens only http:, https: and mailto: addresses without spaces or quotes");
  }
  return std::nullopt;
}

// The password, from where the request says; an exit status when there is
// none to be had.
std::optional<int> ObtainPassword(const PackRequest& request, security::SecretText& password) {
  switch (request.credentials) {
    case CredentialSource::None:
      return std::nullopt;
    case CredentialSource::Generated: {
      // 20 characters of 56 (no look-alikes such as 0/O, 1/l/I): 116 bits.
      static const char kAlphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
      constexpr unsigned kSymbols = sizeof kAlphabet - 1;
      while (password.size() < 23) {
        if ((password.size() + 1) % 6 == 0) {
          password.push_back('-');
          continue;
        }
        unsigned char byte = 0;
        if (!SystemRandomBytes(&byte, 1)) return Failure("the operating system gave no random bytes; nothing was written");
        if (byte < 256 / kSymbols * kSymbols) password.push_back(kAlphabet[byte % kSymbols]);
      }
      return std::nullopt;
    }
    case CredentialSource::Stdin:
      ReadPasswordLine(stdin, password);
      break;
    case CredentialSource::File: {
      std::FILE* file = std::fopen(request.passwordFile.c_str(), "re");
      if (file == nullptr) return Failure("cannot read " + request.passwordFile + ": " + std::strerror(errno));
      WarnIfReadableByOthers(file, request.passwordFile.c_str());
      ReadPasswordLine(file, password);
      std::fclose(file);
      break;
    }
    case CredentialSource::Terminal: {
      if (!HaveTerminal()) {
        return Usage("no terminal to ask for the password; give --password-stdin, --password-file or "
                     "--generate-password");
      }
      reader::TerminalGui terminal({});
      security::SecretText again;
      if (!terminal.AskSecret("Password for the document", password) ||
          !terminal.AskSecret("The same password again", again)) {
        return Failure("no password given; nothing was written");
      }
      if (password.view() != again.view()) return Failure("the two passwords differ; nothing was written");
      break;
    }
  }
  if (password.empty()) return Failure("an empty password is refused; nothing was written");
  return std::nullopt;
}

// A progress bar on standard error while a large input is packed.
class ProgressBar {
 public:
  ProgressBar(std::uint64_t total, bool shown) : total_(total), shown_(shown) {}
  ~ProgressBar() { End(); }
  // Ends the bar's line, so that what follows starts a line of its own.
  void End() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
  }
  void Show(std::uint64_t done) {
    if (!shown_ || total_ == 0) return;
    const auto percent = static_cast<int>(done * 100 / total_);
    if (percent == percent_) return;
    percent_ = percent;
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%  %.1f of %.1f MiB", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(30 - filled), '.').c_str(), percent, static_cast<double>(done) / 1048576.0,
                 static_cast<double>(total_) / 1048576.0);
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  std::uint64_t total_;
  bool shown_;
  int percent_ = -1;
  bool drawn_ = false;
};

// The header pack writes: version 259, AES-256, PBKDF2-HMAC-SHA-256, SHA-256
// digests, and the flags of the credentials asked for.
codec::DocumentHeader SenderHeader(const PackRequest& request, std::size_t parts) {
  codec::DocumentHeader header;
  std::memcpy(header.magic, "emdf", 4);
  header.formatVersion = codec::DocumentHeader::Version259;
  header.cipherId = security::kCipherAes;
  header.keyBits = 256;
  header.trailerDigestId = security::kDigestSha256;
  header.partCount = static_cast<std::uint16_t>(parts);
  header.kdfId = codec::DocumentHeader::KdfPbkdf2Sha256;
  header.iterationThousands = static_cast<std::uint16_t>(request.iterations);
  header.bodyDigestId = security::kDigestSha256;
  if (request.credentials == CredentialSource::None) {
    header.flags |= codec::DocumentHeader::FlagNoCredentials;
  } else if (!request.user) {
    header.flags |= codec::DocumentHeader::FlagPasswordOnly;
  }
  return header;
}

// The plain trailer of the request's texts and icon (empty for none), which
// sets FlagTagTrailer in `header`; an exit status when it cannot be had or
// does not fit. A PNG icon's 256-pixel image goes first when space is short.
std::optional<int> MakeTrailer(const PackRequest& request, codec::DocumentHeader& header,
                               std::vector<std::uint8_t>& trailer) {
  std::vector<codec::TagListEntry> tags;
  for (const auto& [key, text] : request.texts) tags.push_back({key, {text.begin(), text.end()}, false});
  DocumentIcon icon;
  std::string error;
  if (request.icon && !LoadDocumentIcon(*request.icon, icon, error)) return Failure(error);
  if (request.icon) tags.push_back({"ImageWin32", icon.file, true});
  if (tags.empty()) return std::nullopt;
  header.flags |= codec::DocumentHeader::FlagTagTrailer;
  std::uint8_t stored[codec::DocumentHeader::Size];
  header.Store(stored);
  const auto build = [&] {
    std::vector<std::uint8_t> list;
    return codec::BuildTagList(tags, list) &&
           codec::BuildTrailer(stored, list, header.trailerDigestId, Z_BEST_COMPRESSION, trailer);
  };
  if (!build()) return Failure("the texts cannot be stored");
  const auto fits = [&trailer] { return trailer.size() <= codec::MaxTrailerSize + 4; };
  if (!fits() && !icon.withoutLargest.empty()) {
    tags.back().value = icon.withoutLargest;
    if (build() && fits()) {
      std::fprintf(stderr, "vaultpost pack: note: the icon's 256-pixel image is left out to fit the document\n");
    }
  }
  if (!fits()) {
    return Failure("the texts and the icon take " + Grouped(trailer.size() - 4) + " bytes compressed; a document holds " +
                   Grouped(codec::MaxTrailerSize) + " (a smaller icon helps most)");
  }
  return std::nullopt;
}

// What went wrong while writing, for the user; nothing is left behind.
int WritingFailed(codec::EncodeResult result, const std::string& output, const OutputFile& file,
                  const std::string& input, const FilePartSource& source) {
  const std::string nothing = "; nothing was written";
  switch (result) {
    case codec::EncodeResult::Cancelled:
      return Failure("interrupted" + nothing);
    case codec::EncodeResult::WriteFailed:
      return Failure("cannot write " + output + ": " + file.Error() + nothing);
    case codec::EncodeResult::ReadFailed:
      return Failure("cannot read " + input + ": " + std::strerror(source.Errno()) + nothing);
    case codec::EncodeResult::SourceChanged:
      return Failure(input + " changed while it was being packed" + nothing);
    case codec::EncodeResult::BadPart:
      return Failure(input + " does not shrink below 4 GiB; a part stores at most 4 GiB - 1 bytes" + nothing);
    default:
      return Failure(codec::EncodeResultText(result) + nothing);
  }
}

void PrintSummary(const PackRequest& request, const std::vector<codec::PartReport>& reports, std::uint8_t saltByte,
                  const std::optional<std::int64_t>& expiry) {
  struct stat made {};
  ::stat(request.output.c_str(), &made);
  std::printf("Made %s (%s bytes)\n", reader::TerminalText(request.output).c_str(),
              Grouped(static_cast<std::uint64_t>(made.st_size)).c_str());
  std::uint64_t before = 0, after = 0;
  for (std::size_t i = 0; i < reports.size(); ++i) {
    std::printf("  part %zu  %s  %s -> %s bytes, %s\n", i + 1, reader::TerminalText(BaseName(request.files[i])).c_str(),
                Grouped(reports[i].contentLength).c_str(), Grouped(reports[i].storedLength).c_str(),
                reports[i].method == 0 ? "stored" : "deflated");
    before += reports[i].contentLength;
    after += reports[i].storedLength;
  }
  if (reports.size() > 1) {
    std::printf("  %zu parts  %s -> %s bytes\n", reports.size(), Grouped(before).c_str(), Grouped(after).c_str());
  }
  std::printf("  AES-256 (CBC); key from PBKDF2-HMAC-SHA-256, %s iterations\n",
              Grouped(std::uint64_t{request.iterations} * 1000 + saltByte).c_str());
  if (request.credentials == CredentialSource::None) {
    std::printf("  asks for nothing: anyone who has the document can read it\n");
  } else if (request.user) {
    std::printf("  asks for the user name %s and the password\n", reader::TerminalText(*request.user).c_str());
  } else {
    std::printf("  asks for the password only\n");
  }
  std::printf("  %s\n", expiry ? ("expires " + FormatUtc(*expiry)).c_str() : "never expires");
}

}  // namespace

int RunPack(const std::vector<std::string>& args) {
  PackRequest request;
  if (const std::optional<int> status = ParsePack(args, request)) return *status;
  std::string error;
  std::optional<std::int64_t> expiry;
  if (request.expires) {
    std::int64_t at = 0;
    if (!ParseExpiry(*request.expires, static_cast<std::int64_t>(std::time(nullptr)), at, error)) return Usage(error);
    expiry = at;
  }

  // The inputs: readable regular files with names the reader keeps.
  PartNames names;
  std::vector<std::unique_ptr<FilePartSource>> sources;
  std::uint64_t totalInput = 0;
  for (const std::string& file : request.files) {
    auto source = std::make_unique<FilePartSource>();
    if (!source->Open(file, error) || !names.Add(BaseName(file), error)) return Failure(error);
    if (request.store && source->Length() > kMaxStored) {
      return Failure(file + " holds 4 GiB or more; a part stores at most 4 GiB - 1 bytes (drop --store to deflate it)");
    }
    totalInput += source->Length();
    sources.push_back(std::move(source));
  }
  OutputFile output(request.output, request.force);
  if (!output.Check(error)) return Failure(error);
  struct stat target {};
  if (::stat(request.output.c_str(), &target) == 0) {
    for (const auto& source : sources) {
      if (source->Device() == target.st_dev && source->Inode() == target.st_ino) {
        return Failure(request.output + " is one of the files to pack");
      }
    }
  }
  codec::DocumentHeader header = SenderHeader(request, sources.size());
  std::vector<std::uint8_t> trailer;
  if (const std::optional<int> status = MakeTrailer(request, header, trailer)) return *status;

  if (request.credentials == CredentialSource::None) {
    std::fprintf(stderr, "vaultpost pack: warning: --no-password: anyone who has the document can read it\n");
  }
  if (request.iterations < kRecommendedIterations) {
    std::fprintf(stderr,
                 "vaultpost pack: warning: %u thousand iterations is below the %u thousand recommended; each guess "
                 "at the password costs an attacker that much less\n",
                 request.iterations, kRecommendedIterations);
  }
  InstallInterruptFlag();
  security::SecretText password;
  const std::optional<int> refused = ObtainPassword(request, password);
  security::SecureWipeVectorRegisters();  // the password's bytes passed through them
  if (refused) return *refused;
  const bool generated = request.credentials == CredentialSource::Generated;
  security::SecretText shown(generated ? password.view() : std::string_view());

  // A fresh salt from the system. Its first byte, read as a signed number, is
  // added to the iteration count: kept below 0x80 it never lowers the count.
  std::uint8_t salt[codec::DocumentEncoder::SaltSize];
  if (!SystemRandomBytes(salt, sizeof salt)) return Failure("the operating system gave no random bytes; nothing was written");
  salt[0] &= 0x7F;

  // The file is created by the encoder's first write, once the key is derived.
  codec::DocumentEncoder encoder(output);
  codec::EncodeResult result = encoder.Begin(header, salt, request.user ? request.user->c_str() : "", password);
  ProgressBar bar(totalInput, totalInput >= kProgressFrom && ::isatty(STDERR_FILENO) != 0);
  std::vector<codec::PartReport> reports(sources.size());
  std::uint64_t finished = 0;
  std::size_t part = 0;
  for (; part < sources.size() && result == codec::EncodeResult::Ok; ++part) {
    codec::PartSettings settings;
    settings.name = BaseName(request.files[part]);
    settings.compression =
        request.store ? codec::PartSettings::Compression::Stored : codec::PartSettings::Compression::Automatic;
    settings.deflate = request.level ? codec::DeflateSettings{codec::DeflateImplementation::Zlib, static_cast<int>(*request.level)}
                                     : codec::DeflateSettings::Fast();
    settings.expiry = expiry ? static_cast<std::int32_t>(*expiry) : 0;
    const std::uint64_t length = sources[part]->Length();
    encoder.SetProgress([&, length](std::uint64_t done, std::uint64_t total) {
      bar.Show(finished + (total > 0 ? length * done / total : 0));
      return !Interrupted();
    });
    result = encoder.WritePart(*sources[part], settings, nullptr, &reports[part]);
    finished += length;
  }
  if (result == codec::EncodeResult::Ok && !Interrupted()) result = encoder.Finish(trailer);
  if (Interrupted()) result = codec::EncodeResult::Cancelled;
  if (result == codec::EncodeResult::Ok) bar.Show(totalInput);
  bar.End();
  if (result != codec::EncodeResult::Ok) {
    const std::size_t failed = part > 0 ? part - 1 : 0;
    return WritingFailed(result, request.output, output, request.files[failed], *sources[failed]);
  }
  if (!output.Commit(error)) return Failure(error + "; nothing was written");
  PrintSummary(request, reports, salt[0], expiry);
  if (generated) std::printf("Password (shown only now): %s\n", shown.c_str());
  return kExitOk;
}

}  // namespace cli
