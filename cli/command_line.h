#pragma once
// What every vaultpost command shares: its exit codes and the parsing of its
// arguments.

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace security {
class SecretText;
}

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The arguments of one command: flags, options with a value, and the operands
// ("--" ends the options).
struct CommandLine {
  std::set<std::string, std::less<>> flags;
  std::map<std::string, std::string, std::less<>> values;
  std::vector<std::string> operands;

  bool Has(std::string_view flag) const { return flags.count(flag) != 0; }
  const char* Value(std::string_view option) const {
    const auto it = values.find(option);
    return it != values.end() ? it->second.c_str() : nullptr;
  }
  // The one FILE operand of commands that take exactly one.
  const char* File() const { return operands.empty() ? nullptr : operands.front().c_str(); }
};

// Parses the arguments after the command word (args[0]) into `out`; says what
// is wrong on standard error and returns false for an unknown option, an
// option without its value, or a number of operands other than `operands`
// (whose names the message uses, "FILE" for one).
bool ParseCommandLine(const char* command, const std::vector<std::string>& args,
                      std::initializer_list<std::string_view> flags, std::initializer_list<std::string_view> valued,
                      CommandLine& out, std::initializer_list<const char*> operands = {"FILE"});

// Whether the process has a controlling terminal to ask on.
bool HaveTerminal();

// Reads the password line from `in` without leaving a copy in a stdio buffer
// and, from a terminal, without showing it.
void ReadPasswordLine(std::FILE* in, security::SecretText& password);

// Warns when others than the owner can read the password file.
void WarnIfReadableByOthers(std::FILE* file, const char* path);

// The commands besides inspect; each takes the whole argument list (args[0]
// is its name) and returns the exit status.
int RunOpen(const std::vector<std::string>& args);
int RunThumbnail(const std::vector<std::string>& args);
// The sender's side: makes a document (pack) and checks one with its
// credentials, writing nothing (verify).
int RunPack(const std::vector<std::string>& args);
int RunVerify(const std::vector<std::string>& args);

}  // namespace cli
