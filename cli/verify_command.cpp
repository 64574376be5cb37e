// vaultpost verify [--user NAME] [--password-stdin | --password-file FILE] FILE:
// asks for the credentials as `open` does, decodes every part into nothing,
// checks every check value, digest and expiry, and says what it found.

#include "cli/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cli/pack_options.h"
#include "codec/document_decoder.h"
#include "codec/file_reader.h"
#include "codec/vp_decode_writer.h"
#include "reader/interrupt_cleanup.h"
#include "reader/posix/terminal_gui.h"
#include "reader/posix/terminal_text.h"
#include "security/secret_text.h"
#include "security/secure_registers.h"

namespace cli {
namespace {

constexpr std::int32_t kNeverExpires = 0x7FFFFFFF;

const char kUsage[] =
    "Usage: vaultpost verify [--user NAME] [--password-stdin | --password-file FILE] FILE\n"
    "\n"
    "Checks a document with its credentials, as the reader would open it, without\n"
    "writing any of its parts: every part is decrypted, inflated and checked\n"
    "against its digest, and every expiry date against the clock. Prints the parts\n"
    "with their sizes, or the precise failure. Without --password-stdin or\n"
    "--password-file the credentials are asked on the terminal.\n"
    "Exit status: 0 the document is sound, 1 a failure, 2 usage error.\n";

// What the decoder found, part by part; the content itself is dropped.
class PartLister final : public codec::VPDecodeWriter {
 public:
  struct Part {
    std::string name;
    std::uint64_t bytes = 0;
    std::uint16_t method = 0;
    std::uint32_t stored = 0;
    std::int32_t expiry = 0;
  };

  bool Write(const void*, std::uint32_t length) override {
    if (!parts.empty()) parts.back().bytes += length;
    return true;
  }
  bool BeginDocument(const codec::DocumentHeader&, std::uint32_t) override { return true; }
  bool BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& header) override {
    parts.push_back({name, 0, header.GetCompression(), header.GetLength(), header.GetExpiry()});
    inPart = true;
    return true;
  }
  bool EndPart() override {
    inPart = false;
    return true;
  }
  bool EndDocument() override { return true; }

  std::vector<Part> parts;
  bool inPart = false;  // a part is begun and not yet ended
};

// What a decoder result means, in a few words.
const char* Cause(codec::DecodeResult result) {
  using R = codec::DecodeResult;
  switch (result) {
    case R::BadMagic:
      return "not a document (no \"emdf\" at its start)";
    case R::HeaderTooShort:
      return "too short to hold a document header";
    case R::UnsupportedVersion:
      return "a format version this reader does not know";
    case R::Corrupt:
      return "damaged: a check value, part name, digest or the trailer does not match";
    case R::UnknownCipher:
      return "an unknown cipher";
    case R::BadKeyLength:
      return "a key length the cipher refuses";
    case R::UnknownDigest:
      return "an unknown digest";
    case R::InflateFailed:
      return "a compressed part is damaged";
    case R::Truncated:
      return "the file ends early";
    case R::WrongCredentials:
      return "wrong user name or password";
    case R::OutOfMemory:
      return "not enough memory to inflate a part";
    case R::NoKeyDerivation:
      return "no key can be derived with the header's key derivation";
    default:
      return "the document cannot be read";
  }
}

}  // namespace

int RunVerify(const std::vector<std::string>& args) {
  if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  CommandLine command;
  if (!ParseCommandLine("verify", args, {"--password-stdin"}, {"--user", "--password-file"}, command)) {
    return kExitUsage;
  }
  const char* passwordFile = command.Value("--password-file");
  const bool passwordStdin = command.Has("--password-stdin");
  if (passwordStdin && passwordFile != nullptr) {
    std::fprintf(stderr, "vaultpost verify: give --password-stdin or --password-file, not both\n");
    return kExitUsage;
  }
  const std::string path = command.File();
  const std::string shownPath = reader::TerminalText(path);

  reader::InstallInterruptCleanup(&reader::RestoreTerminalEcho);
  reader::TerminalGui gui({});
  reader::DocumentState& state = gui.State();
  state.file.reset(std::fopen(path.c_str(), "rb"));
  if (state.file == nullptr) {
    std::fprintf(stderr, "vaultpost verify: cannot open %s: %s\n", shownPath.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  const auto report = [&](codec::DecodeResult result, const std::string& where) {
    std::printf("%s: FAILED: %s (code %d%s)\n", shownPath.c_str(), Cause(result), codec::ResultCode(result),
                where.c_str());
    return kExitFailure;
  };
  const codec::DecodeResult inspected = state.ReadHeader();
  if (inspected != codec::DecodeResult::Ok) return report(inspected, "");

  const bool askUser = !state.header.HasFlag(codec::DocumentHeader::FlagPasswordOnly);
  std::string userName;
  security::SecretText password;
  if (!state.header.HasFlag(codec::DocumentHeader::FlagNoCredentials)) {
    if (passwordStdin || passwordFile != nullptr) {
      std::FILE* in = passwordStdin ? stdin : std::fopen(passwordFile, "re");
      if (in == nullptr) {
        std::fprintf(stderr, "vaultpost verify: cannot read %s: %s\n", reader::TerminalText(passwordFile).c_str(),
                     std::strerror(errno));
        return kExitFailure;
      }
      if (in != stdin) WarnIfReadableByOthers(in, passwordFile);
      ReadPasswordLine(in, password);
      if (in != stdin) std::fclose(in);
      if (const char* user = command.Value("--user"); askUser && user != nullptr) userName = user;
    } else {
      if (!HaveTerminal()) {
        std::fprintf(stderr, "vaultpost verify: no terminal to ask for the credentials; use --password-stdin\n");
        return kExitUsage;
      }
      if (!gui.AskCredentials(askUser, userName, password)) {
        std::fprintf(stderr, "vaultpost verify: no credentials given\n");
        return kExitFailure;
      }
    }
  }

  PartLister lister;
  codec::FileReader reader(state.file.get());
  codec::DecodeResult result;
  {
    codec::DocumentDecoder decoder(reader, lister);
    // Expired parts are decoded too, so that their digests are checked; the
    // expiry is judged below.
    result = decoder.DecodeDocument(userName.c_str(), password.c_str(), /*allowExpired=*/true);
  }
  password.clear();
  security::SecureWipeVectorRegisters();
  if (result != codec::DecodeResult::Ok) {
    // Where it stopped: inside a part, or past the last complete one (in the
    // next part's header, or after the last part).
    std::string where;
    const std::size_t begun = lister.parts.size();
    if (lister.inPart) {
      where = ", in part " + std::to_string(begun) + " \"" + reader::TerminalText(lister.parts.back().name) + "\"";
    } else if (begun > 0 && state.header.partCount == 0) {  // a count the header does not state
      where = ", after part " + std::to_string(begun);
    } else if (begun > 0 && begun < state.header.partCount) {
      where = ", in the header of part " + std::to_string(begun + 1);
    } else if (begun > 0) {
      where = ", after the last part";
    }
    return report(result, where);
  }

  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  int status = kExitOk;
  std::string lines;
  for (std::size_t i = 0; i < lister.parts.size(); ++i) {
    const PartLister::Part& part = lister.parts[i];
    std::string line = "  part " + std::to_string(i + 1) + "  " + reader::TerminalText(part.name) + "  " +
                       Grouped(part.bytes) + " bytes";
    if (part.method == 1) line += " (deflated to " + Grouped(part.stored) + ")";
    if (part.expiry != 0 && part.expiry != kNeverExpires) {
      const bool expired = part.expiry < now;
      line += (expired ? "  EXPIRED " : "  expires ") + FormatUtc(part.expiry);
      if (expired) status = kExitFailure;
    }
    lines += line + "\n";
  }
  const bool digests = state.header.bodyDigestId != 0;
  if (status != kExitOk) {
    std::printf("%s: FAILED: expired; the reader refuses to open it\n", shownPath.c_str());
  } else {
    std::printf("%s: sound: %zu part%s decoded%s\n", shownPath.c_str(), lister.parts.size(),
                lister.parts.size() == 1 ? "" : "s",
                digests ? ", every digest matches" : "; its parts carry no digests to check");
  }
  std::fputs(lines.c_str(), stdout);
  return status;
}

}  // namespace cli
