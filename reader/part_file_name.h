#pragma once
// Names of decoded part files. A part's name comes from the document and is
// hostile: it must never leave the temporary directory, name a device, or
// replace another part's file.

#include <cstdint>
#include <string>
#include <string_view>
#include <map>
#include <set>

namespace reader {

enum class NameRules {
  Posix,    // "/" is the only separator; any other byte but NUL is allowed
  Windows,  // also "\", drive colons, <>"|?*, device names, trailing dots/spaces
#ifdef _WIN32
  Native = Windows,
#else
  Native = Posix,
#endif
};

// A single file-name component made from a part's name: separators, colons
// and control characters become "_"; an empty name, "." or ".." becomes
// "part"; under Windows rules device names (CON, NUL, COM1, COM\xB9, ...) get a
// leading "_" and trailing dots and spaces are dropped. Both separators are
// always replaced, so a name never climbs out of its directory on either
// system. The extension is kept so that the viewer chosen for it is right.
std::string SafePartFileName(std::string_view name, NameRules rules = NameRules::Native);

// The file names a document's parts were given so far, and the next
// distinct one. A document may name all of its 65,535 parts alike, so a
// distinct name costs a few ordered look-ups (never a scan of the names, and
// no hashing that chosen names could flood), however many parts came before.
class PartFileNames {
 public:
  explicit PartFileNames(NameRules rules = NameRules::Native) : rules_(rules) {}

  // `name` itself when no recorded name equals it (ignoring case under
  // Windows rules), else `name` with " (2)", " (3)", ... inserted before the
  // extension, taking the lowest number whose name is not recorded.
  std::string Distinct(const std::string& name);
  // Records `name` as taken.
  void Add(const std::string& name);
  void Clear();
  std::size_t Count() const { return taken_.size(); }
  // Look-ups made so far: the work done, for the tests.
  std::uint64_t Probes() const { return probes_; }

 private:
  // The name as it is compared: lower-cased under Windows rules.
  std::string Key(const std::string& name) const;
  bool Taken(const std::string& key);

  NameRules rules_;
  std::set<std::string> taken_;  // keys of the recorded names
  // Per key of a duplicated name: every number below this one gives a
  // recorded name. Names are only ever added, so the next free number is
  // never below it and the search resumes there.
  std::map<std::string, std::uint32_t> nextNumber_;
  std::uint64_t probes_ = 0;
};

}  // namespace reader
