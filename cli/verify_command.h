#pragma once
// vaultpost verify: checks a document with its credentials, writing nothing.

#include <string>
#include <vector>

namespace cli {

// `args` starts with the word "verify". Exit status: 0 the document is sound,
// 1 a failure (printed precisely), 2 a usage error.
int RunVerify(const std::vector<std::string>& args);

}  // namespace cli
