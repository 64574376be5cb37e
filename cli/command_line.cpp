#include "cli/command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "reader/posix/terminal_gui.h"
#include "reader/posix/terminal_text.h"
#include "security/secret_text.h"

namespace cli {

bool HaveTerminal() {
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void ReadPasswordLine(std::FILE* in, security::SecretText& password) {
  std::setvbuf(in, nullptr, _IONBF, 0);
  if (::isatty(::fileno(in)) != 0) {
    reader::ReadHiddenLine(::fileno(in), STDERR_FILENO, "Password: ", password);
  } else {
    reader::ReadLine(in, password);
  }
}

void WarnIfReadableByOthers(std::FILE* file, const char* path) {
  struct stat st {};
  if (::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    std::fprintf(stderr, "vaultpost: warning: %s can be read by other users; keep it readable by you alone (chmod 600)\n",
                 reader::TerminalText(path).c_str());
  }
}

bool ParseCommandLine(const char* command, const std::vector<std::string>& args,
                      std::initializer_list<std::string_view> flags, std::initializer_list<std::string_view> valued,
                      CommandLine& out, std::initializer_list<const char*> operands) {
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
    } else if (!option && out.operands.size() < operands.size()) {
      out.operands.push_back(arg);
    } else {
      std::fprintf(stderr, "vaultpost: unexpected argument '%s'\n", arg.c_str());
      return false;
    }
  }
  if (out.operands.size() < operands.size()) {
    std::string names;
    for (const char* name : operands) names += std::string(names.empty() ? "" : " ") + name;
    std::fprintf(stderr, "vaultpost: %s needs %s\n", command, operands.size() == 1 ? ("a " + names).c_str() : names.c_str());
    return false;
  }
  return true;
}

}  // namespace cli
