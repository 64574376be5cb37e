// vaultpost: the reader on the command line.
//
//   vaultpost open [--user NAME] [--password-stdin | --password-file FILE] FILE
//   vaultpost inspect [--json] FILE
//   vaultpost --help | --version
//
// Exit status: 0 on success, 1 when the reader reported a failure, 2 on a
// usage error.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "codec/inspect_document.h"
#include "os/posix/posix_os_interface.h"
#include "reader/interrupt_cleanup.h"
#include "reader/posix/terminal_gui.h"
#include "reader/posix/terminal_text.h"
#include "security/secret_text.h"
#include "source/xp/unique_file.h"
#include "version/version.h"

namespace {

constexpr const char* kVersion = VP_VERSION_TEXT;
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "Usage:\n"
               "  vaultpost open [--user NAME] [--password-stdin | --password-file FILE] FILE\n"
               "  vaultpost inspect [--json] FILE\n"
               "  vaultpost --help | --version\n"
               "\n"
               "open     asks for the credentials on the terminal, decodes the document into a\n"
               "         private temporary folder, shows its main part and wipes every part\n"
               "         file when you are done.\n"
               "         --user NAME        the user name (with --password-stdin or --password-file)\n"
               "         --password-stdin   read the password from the first line of standard input;\n"
               "                            later lines answer the reader's questions (an empty\n"
               "                            line is OK)\n"
               "         --password-file F  read the password from the first line of F\n"
               "         Credentials given this way make exactly one attempt.\n"
               "inspect  shows the document's plain header, flags and tags (no credentials);\n"
               "         --json prints one JSON object.\n"
               "\n"
               "Environment: VAULTPOST_VIEWER (program that shows a part; gets its path),\n"
               "VAULTPOST_WIPE_FILES (overwrite part files before deleting them).\n"
               "Exit status: 0 success, 1 failure reported, 2 usage error.\n");
}

// Whether the process has a controlling terminal to ask on.
bool HaveTerminal() {
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// ---- inspect ------------------------------------------------------------------

std::string Hex(const unsigned char* data, std::size_t n) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  out.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    out += hex[data[i] >> 4];
    out += hex[data[i] & 15];
  }
  return out;
}

std::string FlagNames(std::uint32_t flags) {
  using H = codec::DocumentHeader;
  std::string names;
  auto add = [&](std::uint32_t bit, const char* name) {
    if ((flags & bit) == 0) return;
    if (!names.empty()) names += ",";
    names += name;
  };
  add(H::FlagNoCredentials, "NoCredentials");
  add(H::FlagTagTrailer, "TagTrailer");
  add(H::FlagNoWaitNotice, "NoWaitNotice");
  add(H::FlagPasswordOnly, "PasswordOnly");
  add(H::FlagContinuousStream, "ContinuousStream");
  return names;
}

int Inspect(const char* path, bool json) {
  codec::DocumentHeader header;
  codec::DocumentTagTable tags;
  std::int32_t result = 0;
  {
    const xp::UniqueFile f(std::fopen(path, "rb"));
    if (!f) {
      std::fprintf(stderr, "vaultpost: cannot open %s: %s\n", path, std::strerror(errno));
      return kExitFailure;
    }
    result = codec::ResultCode(codec::InspectDocument(f.get(), header, /*rewind=*/false, &tags));
  }

  if (json) {
    std::string out = "{";
    out += "\"result\":" + std::to_string(result);
    out += ",\"magic\":";
    out += reader::JsonText(std::string_view(reinterpret_cast<const char*>(header.magic), sizeof header.magic));
    out += ",\"version\":" + std::to_string(header.formatVersion);
    out += ",\"cipher\":" + std::to_string(header.cipherId);
    out += ",\"trailerDigest\":" + std::to_string(header.trailerDigestId);
    out += ",\"keyBits\":" + std::to_string(header.keyBits);
    out += ",\"partCount\":" + std::to_string(header.partCount);
    out += ",\"flags\":" + std::to_string(header.flags);
    out += ",\"flagNames\":\"" + FlagNames(header.flags) + "\"";
    out += ",\"kdf\":" + std::to_string(header.kdfId);
    out += ",\"iterations\":" + std::to_string(header.iterationThousands);
    out += ",\"bodyDigest\":" + std::to_string(header.bodyDigestId);
    out += ",\"reserved\":\"" + Hex(header.reserved, sizeof header.reserved) + "\"";
    out += ",\"tags\":[";
    for (std::uint32_t i = 0; i < tags.Count(); ++i) {
      const codec::DocumentTag& t = tags.Tag(i);
      if (i > 0) out += ",";
      out += "{\"key\":" + reader::JsonText(t.key);
      out += ",\"binary\":";
      out += t.binary ? "true" : "false";
      out += ",\"length\":" + std::to_string(t.valueLength);
      out += ",\"value\":";
      if (t.binary) {
        out += '"';
        out += Hex(t.value.get(), t.valueLength);
        out += '"';
      } else {
        out += reader::JsonText(t.Text());
      }
      out += "}";
    }
    out += "]}";
    std::printf("%s\n", out.c_str());
  } else {
    std::printf("result:          %d\n", result);
    const std::string magic(reinterpret_cast<const char*>(header.magic), sizeof header.magic);
    std::printf("magic:           %s\n", reader::TerminalLine(magic).c_str());
    std::printf("format version:  %u\n", header.formatVersion);
    std::printf("cipher id:       %u\n", header.cipherId);
    std::printf("trailer digest:  %u\n", header.trailerDigestId);
    std::printf("key bits:        %u\n", header.keyBits);
    std::printf("part count:      %u\n", header.partCount);
    std::printf("flags:           0x%08x %s\n", header.flags, FlagNames(header.flags).c_str());
    std::printf("key derivation:  %u\n", header.kdfId);
    std::printf("iterations:      %u thousand\n", header.iterationThousands);
    std::printf("body digest:     %u\n", header.bodyDigestId);
    std::printf("tags:            %u\n", tags.Count());
    for (std::uint32_t i = 0; i < tags.Count(); ++i) {
      const codec::DocumentTag& t = tags.Tag(i);
      if (t.binary) {
        std::printf("  %s (binary, %u bytes)\n", reader::TerminalLine(t.key).c_str(), t.valueLength);
      } else {
        std::printf("  %s = %s\n", reader::TerminalLine(t.key).c_str(), reader::TerminalLine(t.Text()).c_str());
      }
    }
  }
  return result == 0 ? kExitOk : kExitFailure;
}

// ---- open ---------------------------------------------------------------------

int Open(const char* path, reader::TerminalGui::Options options) {
  os::PosixOsInterface services;
  reader::InstallInterruptCleanup(&reader::RestoreTerminalEcho);
  reader::TerminalGui gui(std::move(options));
  gui.RunOpenDocument(path);
  if (gui.NoCredentialsSource()) {
    std::fprintf(stderr, "vaultpost: no terminal to ask for the credentials; use --password-stdin\n");
    return kExitUsage;
  }
  return gui.FailureReported() || gui.Cancelled() ? kExitFailure : kExitOk;
}

// The arguments of one command: flags, options with a value, and exactly one
// FILE operand ("--" ends the options).
struct CommandLine {
  std::set<std::string, std::less<>> flags;
  std::map<std::string, std::string, std::less<>> values;
  const char* file = nullptr;

  bool Has(std::string_view flag) const { return flags.count(flag) != 0; }
  const char* Value(std::string_view option) const {
    const auto it = values.find(option);
    return it != values.end() ? it->second.c_str() : nullptr;
  }
};

// Parses the arguments after the command word; says what is wrong on
// standard error and returns false for an unknown option, an option without
// its value, a second FILE or none.
bool ParseCommandLine(const char* command, const std::vector<std::string>& args,
                      std::initializer_list<std::string_view> flags,
                      std::initializer_list<std::string_view> valued, CommandLine& out) {
  auto listed = [](std::initializer_list<std::string_view> names, const std::string& arg) {
    return std::find(names.begin(), names.end(), arg) != names.end();
  };
  bool operandsOnly = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool option = !operandsOnly && !arg.empty() && arg[0] == '-';
    if (option && arg == "--") {
      operandsOnly = true;
    } else if (option && listed(flags, arg)) {
      out.flags.insert(arg);
    } else if (option && listed(valued, arg) && i + 1 < args.size()) {
      out.values[arg] = args[++i];
    } else if (!option && out.file == nullptr) {
      out.file = arg.c_str();
    } else {
      std::fprintf(stderr, "vaultpost: unexpected argument '%s'\n", arg.c_str());
      return false;
    }
  }
  if (out.file == nullptr) {
    std::fprintf(stderr, "vaultpost: %s needs a FILE\n", command);
    return false;
  }
  return true;
}

// Reads the password line from `in` without leaving a copy in a stdio buffer.
void ReadPasswordLine(std::FILE* in, security::SecretText& password) {
  std::setvbuf(in, nullptr, _IONBF, 0);
  reader::ReadLine(in, password);
}

int RunOpen(const std::vector<std::string>& args) {
  CommandLine line;
  if (!ParseCommandLine("open", args, {"--password-stdin"}, {"--user", "--password-file"}, line)) {
    return kExitUsage;
  }
  const char* passwordFile = line.Value("--password-file");
  const bool passwordStdin = line.Has("--password-stdin");
  if (passwordStdin && passwordFile != nullptr) {
    std::fprintf(stderr, "vaultpost: give --password-stdin or --password-file, not both\n");
    return kExitUsage;
  }
  reader::TerminalGui::Options options;
  if (passwordStdin || passwordFile != nullptr) {
    options.scripted = true;
    options.credentialsGiven = true;
    options.answers = stdin;
    if (const char* user = line.Value("--user")) options.userName = user;
    if (passwordFile != nullptr) {
      xp::UniqueFile pf(std::fopen(passwordFile, "r"));
      if (!pf) {
        std::fprintf(stderr, "vaultpost: cannot read %s: %s\n", passwordFile, std::strerror(errno));
        return kExitUsage;
      }
      ReadPasswordLine(pf.get(), options.password);
    } else {
      ReadPasswordLine(stdin, options.password);
    }
  } else if (line.Value("--user") != nullptr) {
    std::fprintf(stderr, "vaultpost: --user needs --password-stdin or --password-file\n");
    return kExitUsage;
  } else if (!HaveTerminal()) {
    // Without a terminal a document that needs no credentials still opens,
    // with its questions answered from standard input.
    options.scripted = true;
    options.answers = stdin;
  }
  return Open(line.file, std::move(options));
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (args[0] == "--version") {
    std::printf("vaultpost %s\n", kVersion);
    return kExitOk;
  }
  if (args[0] == "inspect") {
    CommandLine line;
    if (!ParseCommandLine("inspect", args, {"--json"}, {}, line)) return kExitUsage;
    return Inspect(line.file, line.Has("--json"));
  }
  if (args[0] == "open") return RunOpen(args);

  std::fprintf(stderr, "vaultpost: unknown command '%s'\n", args[0].c_str());
  PrintUsage(stderr);
  return kExitUsage;
}
