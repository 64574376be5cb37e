#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "support/files.h"

namespace codec {

// A generated icon file of the module ("document.ico", "program.ico").
inline std::vector<std::uint8_t> ReadIconFile(const std::string& name) {
  return support::FileBytes(std::string(VP_BINARY_DIR) + "/resources/icons/" + name);
}

}  // namespace codec
