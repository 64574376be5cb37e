// vaultpost: the reader on the command line and on the desktop.
//
//   vaultpost open [--gui | --tui] [--user NAME] [--password-stdin | --password-file FILE] FILE
//   vaultpost inspect [--json] FILE
//   vaultpost thumbnail IN OUT SIZE
//   vaultpost pack -o OUT [options] FILE...
//   vaultpost verify [--user NAME] [--password-stdin | --password-file FILE] FILE
//   vaultpost --help | --version
//
// Each command lives in its own file (cli/*_command.cpp) and is found through
// the table in main. Exit status: 0 on success, 1 when the reader reported a
// failure, 2 on a usage error.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "codec/inspect_document.h"
#include "os/posix/process_protection.h"
#include "reader/posix/terminal_text.h"
#include "source/xp/unique_file.h"
#include "version/version.h"

namespace {

using cli::kExitFailure;
using cli::kExitOk;
using cli::kExitUsage;

constexpr const char* kVersion = VP_VERSION_TEXT;

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "Usage:\n"
               "  vaultpost open [--gui | --tui] [--user NAME] [--password-stdin | --password-file FILE] FILE\n"
               "  vaultpost inspect [--json] FILE\n"
               "  vaultpost thumbnail IN OUT SIZE\n"
               "  vaultpost pack -o OUT [options] FILE...\n"
               "  vaultpost verify [--user NAME] [--password-stdin | --password-file FILE] FILE\n"
               "  vaultpost --help | --version\n"
               "\n"
               "open       asks for the credentials, decodes the document into a private\n"
               "           temporary folder, shows its main part and wipes every part file\n"
               "           when you are done. It asks in the desktop's windows when there is\n"
               "           a display and no terminal, on the terminal otherwise.\n"
               "           --gui              always ask in windows\n"
               "           --tui              always ask on the terminal\n"
               "           --user NAME        the user name (with --password-stdin or --password-file)\n"
               "           --password-stdin   read the password from the first line of standard input;\n"
               "                              later lines answer the reader's questions (an empty\n"
               "                              line is OK)\n"
               "           --password-file F  read the password from the first line of F\n"
               "           Credentials given this way make exactly one attempt.\n"
               "inspect    shows the document's plain header, flags and tags (no credentials);\n"
               "           --json prints one JSON object.\n"
               "thumbnail  writes the document's icon (or the document type's) as a PNG of SIZE\n"
               "           pixels (1 to 1024) to OUT; no credentials.\n"
               "pack       makes a document of the files (the first is the main document);\n"
               "           see vaultpost pack --help.\n"
               "verify     checks a document with its credentials, writing nothing, and lists\n"
               "           its parts or the precise failure.\n"
               "\n"
               "Environment: VAULTPOST_VIEWER (program that shows a part; gets its path),\n"
               "VAULTPOST_WIPE_FILES (overwrite part files before deleting them).\n"
               "Exit status: 0 success, 1 failure reported, 2 usage error.\n");
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

int RunInspect(const std::vector<std::string>& args) {
  cli::CommandLine line;
  if (!cli::ParseCommandLine("inspect", args, {"--json"}, {}, line)) return kExitUsage;
  return Inspect(line.File(), line.Has("--json"));
}

// The commands, by the word that names them.
struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
};
constexpr Command kCommands[] = {
    {"open", cli::RunOpen},
    {"inspect", RunInspect},
    {"thumbnail", cli::RunThumbnail},
    {"pack", cli::RunPack},
    {"verify", cli::RunVerify},
};

}  // namespace

int main(int argc, char** argv) {
  os::ProtectProcess();
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
  for (const Command& command : kCommands) {
    if (args[0] == command.name) return command.run(args);
  }

  std::fprintf(stderr, "vaultpost: unknown command '%s'\n", args[0].c_str());
  PrintUsage(stderr);
  return kExitUsage;
}
