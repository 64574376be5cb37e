#pragma once
// vaultpost pack: makes a document that the reader opens.

#include <string>
#include <vector>

namespace cli {

// `args` starts with the word "pack". Exit status: 0 success, 1 a failure
// (nothing is left behind), 2 a usage error.
int RunPack(const std::vector<std::string>& args);

}  // namespace cli
