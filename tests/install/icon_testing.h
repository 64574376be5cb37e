#pragma once
// Documents for the icon handler's tests, carrying icon files of
// one-colour squares (support/icon_files.h).

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/encoder/document_encoder.h"

namespace icontest {

// Writes a one-part document carrying `tags` (none: no trailer at all) to
// `path` and returns the path.
inline std::string WriteDocument(const std::string& path, const std::vector<encoder::TagSpec>& tags) {
  encoder::DocumentSpec recipe;
  recipe.userName = "u";
  recipe.password = "p";
  encoder::PartSpec part;
  part.name = "a.txt";
  part.content = {'x'};
  recipe.parts = {part};
  recipe.tags = tags;
  EXPECT_TRUE(encoder::EncodeDocumentToFile(recipe, path));
  return path;
}

}  // namespace icontest
