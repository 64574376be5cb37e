#pragma once
// Helpers of the resource tests.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace codec {

// The whole file, or nothing when it cannot be read.
inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::vector<std::uint8_t> data;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    std::uint8_t buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) != 0) data.insert(data.end(), buffer, buffer + got);
    std::fclose(file);
  }
  return data;
}

// A generated icon file of the module ("document.ico", "program.ico").
inline std::vector<std::uint8_t> ReadIconFile(const std::string& name) {
  return ReadFile(std::string(VP_BINARY_DIR) + "/resources/icons/" + name);
}

}  // namespace codec
