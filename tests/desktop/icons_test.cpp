// A document's thumbnail: its own icon's best image scaled, else the type's icon.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "desktop/icons.h"
#include "install/icon_testing.h"
#include "support/icon_files.h"

using desktop::Bitmap;
using desktop::ThumbnailSource;

namespace {

struct Folder {
  std::string path = std::filesystem::temp_directory_path() / ("vp-thumb-" + std::to_string(::getpid()));
  Folder() { std::filesystem::create_directories(path); }
  ~Folder() { std::filesystem::remove_all(path); }
};

encoder::TagSpec IconTag(const std::vector<std::uint8_t>& file, bool binary = true) {
  return {"ImageWin32", file, binary};
}

std::uint32_t Centre(const Bitmap& b) {
  const std::uint8_t* p = &b.rgba[(std::size_t{b.height / 2} * b.width + b.width / 2) * 4];
  return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

}  // namespace

// Each size takes the smallest image that reaches it; beyond the largest, the largest.
TEST(Thumbnail, TheDocumentsBestFittingImageScaledToEachSize) {
  Folder folder;
  const std::string doc = icontest::WriteDocument(
      folder.path + "/icon.emc",
      {IconTag(support::IconFile({{48, 48, 32, support::SquareImage(48, 0x00FF00)},
                                      {16, 16, 32, support::SquareImage(16, 0x0000FF)},
                                      {256, 256, 32, support::SquareImage(256, 0xFF0000)},
                                      {48, 48, 24, support::SquareImage(48, 0x00FFFF)}}))});
  struct Case {
    std::uint32_t size, rgb;
  };
  for (const Case& c : {Case{16, 0x0000FF}, Case{12, 0x0000FF}, Case{40, 0x00FF00}, Case{48, 0x00FF00},
                        Case{128, 0xFF0000}, Case{256, 0xFF0000}, Case{512, 0xFF0000}, Case{1024, 0xFF0000}}) {
    ThumbnailSource source = ThumbnailSource::TypeIcon;
    const Bitmap b = desktop::DocumentThumbnail(doc.c_str(), c.size, &source);
    EXPECT_EQ(source, ThumbnailSource::DocumentIcon);
    EXPECT_EQ(b.width, c.size);
    EXPECT_EQ(b.height, c.size);
    EXPECT_EQ(Centre(b), c.rgb) << c.size;
  }
}

TEST(Thumbnail, NoIconADamagedOneOrNoDocumentGetTheTypeIcon) {
  Folder folder;
  auto beyondTheEnd = support::SquaresIconFile({{16, 0xFF}, {32, 0xFF}});
  beyondTheEnd.erase(beyondTheEnd.end() - 10, beyondTheEnd.end());
  auto notAnIcon = support::SquaresIconFile({{16, 0xFF}});
  notAnIcon[2] = 2;  // a cursor file
  auto unknownImage = support::SquaresIconFile({{16, 0xFF}});
  unknownImage[6 + 16] = 'X';  // neither PNG nor bitmap
  const std::vector<std::vector<encoder::TagSpec>> tagSets = {
      {}, {IconTag(beyondTheEnd)}, {IconTag(notAnIcon)}, {IconTag(unknownImage)},
      {IconTag(support::SquaresIconFile({{16, 0xFF}}), /*binary=*/false)}};
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < tagSets.size(); ++i) {
    paths.push_back(icontest::WriteDocument(folder.path + "/" + std::to_string(i) + ".emc", tagSets[i]));
  }
  std::ofstream(folder.path + "/plain.emc") << "not a document at all";
  paths.push_back(folder.path + "/plain.emc");
  paths.push_back(folder.path + "/missing.emc");

  for (std::uint32_t size : {16u, 128u, 256u, 1024u}) {
    const Bitmap type = desktop::TypeIcon(size);
    ASSERT_EQ(type.width, size);
    ASSERT_EQ(type.height, size);
    for (const std::string& path : paths) {
      ThumbnailSource source = ThumbnailSource::DocumentIcon;
      const Bitmap b = desktop::DocumentThumbnail(path.c_str(), size, &source);
      EXPECT_EQ(source, ThumbnailSource::TypeIcon) << path;
      EXPECT_EQ(b.rgba, type.rgba) << path;
    }
  }
}
