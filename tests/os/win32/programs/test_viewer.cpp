// vp_test_viewer "<path>": the viewer the Windows services tests register for
// made-up extensions. Appends one record per start to the file named by
// VP_TEST_VIEWER_LOG: the path it was given, a tab, the file's content, and a
// line end; "<unreadable>" stands for content it could not read. The file's
// mark of origin (its "Zone.Identifier" stream), when it has one, goes to
// "<log>.zone".

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The whole content of `path`; false when it cannot be opened.
bool Read(const std::string& path, std::string& content) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) content.append(buffer, n);
  std::fclose(in);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* log = std::getenv("VP_TEST_VIEWER_LOG");
  if (log == nullptr || argc < 2) return 2;
  std::string content;
  if (!Read(argv[1], content)) content = "<unreadable>";
  std::FILE* out = std::fopen(log, "ab");
  if (out == nullptr) return 3;
  std::fprintf(out, "%s\t%s\n", argv[1], content.c_str());
  std::fclose(out);
  std::string zone;
  if (!Read(std::string(argv[1]) + ":Zone.Identifier", zone)) return 0;
  if (std::FILE* mark = std::fopen((std::string(log) + ".zone").c_str(), "wb")) {
    std::fwrite(zone.data(), 1, zone.size(), mark);
    std::fclose(mark);
  }
  return 0;
}
