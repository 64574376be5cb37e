// vp_test_viewer PATH: stands in for the program the shell associates with a
// part's type. It records the path it was given and the file's bytes in the
// file named by %VP_VIEWER_LOG% ("<path>\n<bytes>"), written under a temporary
// name and renamed, so that a test never reads half a record. Exit status 0
// when recorded, 1 when the part could not be read, 2 for a usage error.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* log = std::getenv("VP_VIEWER_LOG");
  if (log == nullptr || argc < 2) return 2;
  std::string record = std::string(argv[1]) + "\n";
  std::FILE* part = std::fopen(argv[1], "rb");
  if (part == nullptr) return 1;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, part)) > 0) record.append(buffer, n);
  std::fclose(part);
  const std::string temporary = std::string(log) + ".part";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return 1;
  const bool written = std::fwrite(record.data(), 1, record.size(), out) == record.size();
  if (std::fclose(out) != 0 || !written) return 1;
  return ::MoveFileExA(temporary.c_str(), log, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
