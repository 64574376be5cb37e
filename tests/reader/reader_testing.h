#pragma once
// Documents and a private OsInterface for the reader's tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "os/launch_confirmation.h"
#include "os/posix/posix_os_interface.h"
#include "support/files.h"
#include "tools/encoder/document_encoder.h"

namespace readertest {

namespace fs = std::filesystem;

// A Linux OsInterface over a private temporary base that records launches
// and waits instead of running viewers and sleeping.
class RecordingOs : public os::PosixOsInterface {
 public:
  explicit RecordingOs(const std::string& base) : PosixOsInterface(base) {}
  std::vector<std::uint32_t> waits;
  std::vector<std::string> launched;
  std::vector<std::string> launchedContent;
  bool failLaunch = false;
  std::function<void()> onLaunch;  // runs as the viewer would start
  std::vector<std::string> origins;  // "<document> > <part>": each part given the document's mark
  void Wait(std::uint32_t milliseconds) override { waits.push_back(milliseconds); }
  void CopyDocumentOrigin(const char* document, const char* part) override {
    origins.push_back(std::string(document) + " > " + part);
  }
  reader::LaunchResult LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) override {
    if (checkType && !os::ConfirmLaunch(gui, path)) return reader::LaunchResult::Declined;
    if (onLaunch) onLaunch();
    launched.push_back(path);
    launchedContent.push_back(support::FileText(path));
    return failLaunch ? reader::LaunchResult::Failed : reader::LaunchResult::Started;
  }
};

// A temporary folder removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    char tmpl[] = "/tmp/vp-reader-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempFolder() { fs::remove_all(path_); }
  const std::string& path() const { return path_; }
  // Number of entries below the per-user temporary root (0 when it is empty or absent).
  std::size_t LeftInTemporaryRoot() const {
    const std::string root = os::TemporaryRoot(path_);
    if (!fs::exists(root)) return 0;
    std::size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      (void)e;
      ++n;
    }
    return n;
  }

 private:
  std::string path_;
};

inline encoder::PartSpec TextPart(const std::string& name, const std::string& text, bool compressed = false) {
  encoder::PartSpec p;
  p.name = name;
  p.content.assign(text.begin(), text.end());
  p.compression = compressed ? 1 : 0;
  return p;
}

// A small AES/PBKDF2 document for user "alice" and password "secret".
inline encoder::DocumentSpec SimpleSpec() {
  encoder::DocumentSpec recipe;
  recipe.userName = "alice";
  recipe.password = "secret";
  recipe.iterationThousands = 1;
  recipe.salt[0] = 0;
  recipe.parts.push_back(TextPart("main.txt", "the main part\n", true));
  recipe.parts.push_back(TextPart("attachment.csv", "a,b\n1,2\n"));
  return recipe;
}

inline std::string WriteDocument(const TempFolder& folder, const encoder::DocumentSpec& recipe,
                                 const std::string& name = "doc.emc") {
  const std::string path = folder.path() + "/" + name;
  std::string error;
  if (!encoder::EncodeDocumentToFile(recipe, path, &error)) ADD_FAILURE() << error;
  return path;
}

}  // namespace readertest
