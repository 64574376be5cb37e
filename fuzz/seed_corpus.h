#pragma once
// The seed corpus of every fuzz target, made from the encoder's real
// documents and from small hand-made inputs at build time (nothing of it is
// kept in the source tree). The fuzz build writes it out with vpfuzzseeds;
// the replay test runs it through every target.

#include <cstdint>
#include <string>
#include <vector>

namespace vpfuzz {

struct Seed {
  std::string name;  // a file name
  std::vector<std::uint8_t> bytes;
};

// The targets, by the names their files and folders carry.
const std::vector<std::string>& TargetNames();

// The seeds of `target` (empty for an unknown name). Aborts when the encoder
// refuses a recipe: the corpus is part of the build.
std::vector<Seed> SeedCorpus(const std::string& target);

}  // namespace vpfuzz
