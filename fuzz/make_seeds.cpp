// vpfuzzseeds DIR: writes the seed corpus of every fuzz target into
// DIR/<target>/, replacing what was there.

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fuzz/seed_corpus.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vpfuzzseeds DIR\n");
    return 2;
  }
  namespace fs = std::filesystem;
  for (const std::string& target : vpfuzz::TargetNames()) {
    const fs::path dir = fs::path(argv[1]) / target;
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    fs::create_directories(dir);
    for (const vpfuzz::Seed& seed : vpfuzz::SeedCorpus(target)) {
      std::ofstream out(dir / seed.name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(seed.bytes.data()), static_cast<std::streamsize>(seed.bytes.size()));
      if (!out) {
        std::fprintf(stderr, "vpfuzzseeds: cannot write %s\n", (dir / seed.name).c_str());
        return 1;
      }
    }
  }
  return 0;
}
