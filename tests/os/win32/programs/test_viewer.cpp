// vp_test_viewer "<path>": the viewer the Windows services tests register for
// made-up extensions. Appends one record per start to the file named by
// VP_TEST_VIEWER_LOG: the path it was given, a tab, the file's content, and a
// line end (nothing for content it could not read). The file's
// mark of origin (its "Zone.Identifier" stream), when it has one, goes to
// "<log>.zone".

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/files.h"

int main(int argc, char** argv) {
  const char* log = std::getenv("VP_TEST_VIEWER_LOG");
  if (log == nullptr || argc < 2) return 2;
  const std::string content = support::FileText(argv[1]);
  std::FILE* out = std::fopen(log, "ab");
  if (out == nullptr) return 3;
  std::fprintf(out, "%s\t%s\n", argv[1], content.c_str());
  std::fclose(out);
  const std::string zone = support::FileText(std::string(argv[1]) + ":Zone.Identifier");
  if (zone.empty()) return 0;
  if (std::FILE* mark = std::fopen((std::string(log) + ".zone").c_str(), "wb")) {
    std::fwrite(zone.data(), 1, zone.size(), mark);
    std::fclose(mark);
  }
  return 0;
}
