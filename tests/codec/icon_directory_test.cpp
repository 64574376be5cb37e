// Icon files: parsing, hostile directories and the choice of the best image.

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "codec/icon_directory.h"
#include "codec/tag_list_testing.h"
#include "support/icon_files.h"

namespace codec {
namespace {

using Bytes = std::vector<std::uint8_t>;

using ImageEntry = support::IconEntry;
using support::IconFile;

Bytes Bitmap(std::uint8_t fill) { return {40, 0, 0, 0, fill, fill}; }

IconImage Wanted(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount) {
  IconImage wanted;
  wanted.width = width;
  wanted.height = height;
  wanted.bitCount = bitCount;
  return wanted;
}

TEST(IconDirectoryTest, ParsesEveryImageWithItsFormat) {
  const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2};
  const auto file = IconFile({{0, 0, 32, png}, {16, 24, 8, Bitmap(1)}, {48, 48, 4, {0x89, 'P', 'N', 'G'}}});
  IconDirectory directory;
  ASSERT_EQ(directory.ParseIconFile(file.data(), static_cast<std::uint32_t>(file.size())), 0u);
  ASSERT_EQ(directory.Count(), 3u);
  const auto& images = directory.Images();
  EXPECT_EQ(std::vector<std::uint32_t>({images[0].width, images[0].height, images[0].bitCount}),
            std::vector<std::uint32_t>({256, 256, 32}));  // a stored 0 means 256
  EXPECT_EQ(images[0].format, IconImage::FormatPng);
  EXPECT_EQ(images[0].bytes, png);
  EXPECT_EQ(images[0].byteCount, png.size());
  EXPECT_EQ(images[1].height, 24u);
  EXPECT_EQ(images[1].format, IconImage::FormatBitmap);
  EXPECT_EQ(images[2].format, IconImage::FormatOther);  // too short for the PNG signature
}

TEST(IconDirectoryTest, RejectsBadHeadersEntriesAndCounts) {
  IconDirectory directory;
  const auto file = IconFile({{16, 16, 8, Bitmap(0)}, {32, 32, 8, Bitmap(1)}});
  const auto size = static_cast<std::uint32_t>(file.size());
  EXPECT_EQ(directory.ParseIconFile(file.data(), 5), IconDirectory::TooShort);
  EXPECT_EQ(directory.ParseIconFile(nullptr, 0), IconDirectory::TooShort);
  EXPECT_EQ(directory.ParseIconFile(file.data(), 6 + 16 + 8), IconDirectory::TooShort);
  struct Damage {
    std::size_t at;
    std::vector<std::uint8_t> bytes;
    std::uint32_t result, imagesKept;
  };
  const Damage damages[] = {
      {1, {1}, IconDirectory::BadReserved, 0},
      {2, {2}, IconDirectory::BadType, 0},
      {4, {0xFF, 0xFF}, IconDirectory::TooShort, 0},  // claims 65535 images
      {6 + 16 + 3, {1}, IconDirectory::BadEntryReserved, 1},  // second entry's reserved byte
      // Byte count 0xFFFFFFFF at offset 2: the sum wraps around 32 bits.
      {6 + 16 + 8, {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0}, IconDirectory::TooShort, 1},
  };
  for (const Damage& d : damages) {
    auto bad = file;
    std::copy(d.bytes.begin(), d.bytes.end(), bad.begin() + static_cast<std::ptrdiff_t>(d.at));
    EXPECT_EQ(directory.ParseIconFile(bad.data(), size), d.result) << d.at;
    EXPECT_TRUE(d.imagesKept == 0 || directory.Count() == d.imagesKept) << d.at;  // cut to the images taken
  }
  const auto none = IconFile({});
  ASSERT_EQ(directory.ParseIconFile(none.data(), 6), 0u);
  IconImage out;
  out.width = 99;
  EXPECT_EQ(directory.SelectBestIcon(Wanted(32, 32, 8), out), IconDirectory::Empty);
  EXPECT_EQ(out.width, 99u);
}

TEST(IconDirectoryTest, SelectionPrefersSizeThenDepthThenOrder) {
  struct Case {
    const char* what;
    std::vector<ImageEntry> images;  // as (width, height, depth); the fill byte is the index
    IconImage wanted;
    int chosen;
  };
  const Case cases[] = {
      {"exact size and depth ends the walk", {{16, 16, 8}, {32, 32, 32}, {32, 32, 8}, {48, 48, 8}}, Wanted(32, 32, 8), 2},
      {"equal distances keep the first", {{48, 48, 8}, {16, 16, 8}}, Wanted(32, 32, 8), 0},
      {"same size: smaller depth difference", {{16, 16, 32}, {16, 16, 4}}, Wanted(16, 16, 8), 1},
      {"closer size beats better depth", {{48, 48, 8}, {40, 40, 1}}, Wanted(32, 32, 8), 1},
      {"256 from a stored 0 is a real size", {{32, 32, 8}, {0, 0, 8}}, Wanted(256, 256, 8), 1},
      {"far-off wanted values do not overflow", {{16, 16, 8}, {32, 32, 8}}, Wanted(~0u, ~0u, ~0u), 0},
  };
  for (const Case& c : cases) {
    std::vector<ImageEntry> images = c.images;
    for (std::size_t i = 0; i < images.size(); ++i) images[i].image = Bitmap(static_cast<std::uint8_t>(i));
    const auto file = IconFile(images);
    IconDirectory directory;
    ASSERT_EQ(directory.ParseIconFile(file.data(), static_cast<std::uint32_t>(file.size())), 0u) << c.what;
    IconImage out;
    ASSERT_EQ(directory.SelectBestIcon(c.wanted, out), 0u) << c.what;
    EXPECT_EQ(out.bytes, Bitmap(static_cast<std::uint8_t>(c.chosen))) << c.what;
  }
}

TEST(ExtractDocumentIconTest, OnlyAWholeBinaryIconTagGivesAnImage) {
  const auto icon = IconFile({{16, 16, 8, Bitmap(0)}, {32, 32, 8, Bitmap(1)}});
  const auto load = [](DocumentTagTable& table, const Bytes& value, bool binary) {
    Bytes list;
    tagtest::AppendEntry(list, "ImageWin32", value, binary);
    tagtest::AppendEnd(list);
    ASSERT_TRUE(tagtest::LoadTags(table, list));
  };
  DocumentTagTable good, text, truncated, empty;
  load(good, icon, true);
  load(text, icon, false);  // the same bytes stored as text are never an icon
  // The second image reaches past the end of the value: the whole extraction fails.
  load(truncated, Bytes(icon.begin(), icon.end() - 1), true);
  IconImage out;
  ASSERT_TRUE(ExtractDocumentIcon(good, Wanted(32, 32, 8), out));
  EXPECT_EQ(out.width, 32u);
  EXPECT_EQ(out.bytes, Bitmap(1));
  EXPECT_EQ(out.format, IconImage::FormatBitmap);
  out.width = 7;
  EXPECT_FALSE(ExtractDocumentIcon(empty, Wanted(32, 32, 8), out));
  EXPECT_FALSE(ExtractDocumentIcon(text, Wanted(32, 32, 8), out));
  EXPECT_FALSE(ExtractDocumentIcon(truncated, Wanted(16, 16, 8), out));
  EXPECT_EQ(out.width, 7u);
}

}  // namespace
}  // namespace codec
