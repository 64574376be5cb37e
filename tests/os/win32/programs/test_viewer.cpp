// vp_test_viewer "<path>": the viewer the Windows services tests register for
// made-up extensions. Appends one record per start to the file named by
// VP_TEST_VIEWER_LOG: the path it was given, a tab, the file's content, and a
// line end; "<unreadable>" stands for content it could not read.

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* log = std::getenv("VP_TEST_VIEWER_LOG");
  if (log == nullptr || argc < 2) return 2;
  std::string content;
  if (std::FILE* in = std::fopen(argv[1], "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) content.append(buffer, n);
    std::fclose(in);
  } else {
    content = "<unreadable>";
  }
  std::FILE* out = std::fopen(log, "ab");
  if (out == nullptr) return 3;
  std::fprintf(out, "%s\t%s\n", argv[1], content.c_str());
  std::fclose(out);
  return 0;
}
