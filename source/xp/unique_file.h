#pragma once
// Ownership of a C stream: the stream is closed when its owner goes.

#include <cstdio>
#include <memory>

namespace xp {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// An open stream, or empty. Closing reports nothing; callers that must know
// whether the last bytes reached the file close it themselves with
// CloseFile.
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Closes the stream now, if there is one; false when closing failed.
inline bool CloseFile(UniqueFile& file) {
  if (!file) return true;
  return std::fclose(file.release()) == 0;
}

}  // namespace xp
