#pragma once
// Reading the files tests meet: a whole file, and the known-answer and case
// files under tests/data (one case a line, whitespace-separated fields, quoted
// when they hold blanks or are empty, '#' to the end of the line a comment,
// blank lines skipped). FileText and FileBytes serve helper programs too.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>
#ifdef VP_TEST_DATA_DIR
#include <gtest/gtest.h>
#endif

namespace support {

// The bytes of a file, empty when it cannot be read. (Through the C library:
// it also serves tests that run out of descriptors.)
inline std::string FileText(const std::string& path) {
  std::string content;
  if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) content.append(buffer, n);
    std::fclose(in);
  }
  return content;
}
inline std::vector<std::uint8_t> FileBytes(const std::string& path) {
  const std::string text = FileText(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

#ifdef VP_TEST_DATA_DIR
struct DataRow {
  int number = 0;                   // the line's number in the file
  std::vector<std::string> fields;  // quotes removed
};

// The rows of tests/data/<name>; fails the calling test when there are none.
inline std::vector<DataRow> DataRows(const std::string& name) {
  std::ifstream in(std::string(VP_TEST_DATA_DIR) + "/" + name);
  std::vector<DataRow> rows;
  std::string text, field;
  for (int number = 1; std::getline(in, text); ++number) {
    std::istringstream words(text);
    DataRow row{number, {}};
    while (words >> std::quoted(field) && field[0] != '#') row.fields.push_back(field);
    if (!row.fields.empty()) rows.push_back(std::move(row));
  }
  EXPECT_FALSE(rows.empty()) << name;
  return rows;
}
#endif

}  // namespace support
