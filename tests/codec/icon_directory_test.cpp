// Icon files: parsing, hostile directories and the choice of the best image.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/icon_directory.h"
#include "codec/tag_list_testing.h"

namespace codec {
namespace {

struct ImageEntry {
  std::uint8_t width, height;
  std::uint16_t bitCount;
  std::vector<std::uint8_t> data;
};

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}

std::vector<std::uint8_t> Bitmap(std::uint8_t fill) { return {40, 0, 0, 0, fill, fill}; }

// A well-formed icon file: header, directory, then the images in order.
std::vector<std::uint8_t> IconFile(const std::vector<ImageEntry>& images) {
  std::vector<std::uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (const ImageEntry& image : images) {
    out.push_back(image.width);
    out.push_back(image.height);
    out.push_back(0);  // colour count
    out.push_back(0);  // reserved
    Put16(out, 1);     // planes
    Put16(out, image.bitCount);
    Put32(out, static_cast<std::uint32_t>(image.data.size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(image.data.size());
  }
  for (const ImageEntry& image : images) out.insert(out.end(), image.data.begin(), image.data.end());
  return out;
}

IconImage Wanted(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount) {
  IconImage wanted;
  wanted.width = width;
  wanted.height = height;
  wanted.bitCount = bitCount;
  return wanted;
}

// Index of the chosen image, recognised by its fill byte.
int Choose(const std::vector<ImageEntry>& images, const IconImage& wanted) {
  const auto file = IconFile(images);
  IconDirectory directory;
  EXPECT_EQ(directory.ParseIconFile(file.data(), static_cast<std::uint32_t>(file.size())), 0u);
  IconImage out;
  EXPECT_EQ(directory.SelectBestIcon(wanted, out), 0u);
  return out.bytes.size() == 6 ? out.bytes[5] : -1;
}

TEST(IconDirectoryTest, ParsesEveryImageWithItsFormat) {
  const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 1, 2};
  const std::vector<std::uint8_t> shortPng = {0x89, 'P', 'N', 'G'};
  const auto file = IconFile({{0, 0, 32, png}, {16, 24, 8, Bitmap(1)}, {48, 48, 4, shortPng}});
  IconDirectory directory;
  ASSERT_EQ(directory.ParseIconFile(file.data(), static_cast<std::uint32_t>(file.size())), 0u);
  ASSERT_EQ(directory.Count(), 3u);
  const auto& images = directory.Images();
  EXPECT_EQ(images[0].width, 256u);  // a stored 0 means 256
  EXPECT_EQ(images[0].height, 256u);
  EXPECT_EQ(images[0].bitCount, 32u);
  EXPECT_EQ(images[0].format, IconImage::FormatPng);
  EXPECT_EQ(images[0].bytes, png);
  EXPECT_EQ(images[0].byteCount, png.size());
  EXPECT_EQ(images[1].width, 16u);
  EXPECT_EQ(images[1].height, 24u);
  EXPECT_EQ(images[1].format, IconImage::FormatBitmap);
  EXPECT_EQ(images[2].format, IconImage::FormatOther);
}

TEST(IconDirectoryTest, RejectsBadHeadersAndEntries) {
  IconDirectory directory;
  auto file = IconFile({{16, 16, 8, Bitmap(0)}, {32, 32, 8, Bitmap(1)}});
  const auto size = static_cast<std::uint32_t>(file.size());
  EXPECT_EQ(directory.ParseIconFile(file.data(), 5), IconDirectory::TooShort);
  EXPECT_EQ(directory.ParseIconFile(nullptr, 0), IconDirectory::TooShort);
  EXPECT_EQ(directory.ParseIconFile(file.data(), 6 + 16 + 8), IconDirectory::TooShort);

  auto bad = file;
  bad[1] = 1;
  EXPECT_EQ(directory.ParseIconFile(bad.data(), size), IconDirectory::BadReserved);
  bad = file;
  bad[2] = 2;
  EXPECT_EQ(directory.ParseIconFile(bad.data(), size), IconDirectory::BadType);
  bad = file;
  bad[6 + 16 + 3] = 1;  // second entry's reserved byte
  EXPECT_EQ(directory.ParseIconFile(bad.data(), size), IconDirectory::BadEntryReserved);
  EXPECT_EQ(directory.Count(), 1u);  // cut to the images already taken

  // Offset plus byte count wrapping around 32 bits must not pass the bound.
  bad = file;
  std::memset(&bad[6 + 16 + 8], 0xFF, 4);  // byte count 0xFFFFFFFF
  bad[6 + 16 + 12] = 2;                     // offset 2 (2 + 0xFFFFFFFF wraps to 1)
  std::memset(&bad[6 + 16 + 13], 0, 3);
  EXPECT_EQ(directory.ParseIconFile(bad.data(), size), IconDirectory::TooShort);
  EXPECT_EQ(directory.Count(), 1u);
}

TEST(IconDirectoryTest, ImageCountIsBoundedByTheData) {
  auto file = IconFile({{16, 16, 8, Bitmap(0)}});
  file[4] = 0xFF;  // claims 65535 images
  file[5] = 0xFF;
  IconDirectory directory;
  EXPECT_EQ(directory.ParseIconFile(file.data(), static_cast<std::uint32_t>(file.size())),
            IconDirectory::TooShort);

  const auto none = IconFile({});
  ASSERT_EQ(directory.ParseIconFile(none.data(), 6), 0u);
  IconImage out;
  out.width = 99;
  EXPECT_EQ(directory.SelectBestIcon(Wanted(32, 32, 8), out), IconDirectory::Empty);
  EXPECT_EQ(out.width, 99u);
}

TEST(IconDirectoryTest, SelectionPrefersSizeThenDepthThenOrder) {
  // Exact size and depth ends the walk at the third image.
  EXPECT_EQ(Choose({{16, 16, 8, Bitmap(0)}, {32, 32, 32, Bitmap(1)}, {32, 32, 8, Bitmap(2)},
                    {48, 48, 8, Bitmap(3)}},
                   Wanted(32, 32, 8)),
            2);
  // Equal distances and equal depth: the first is kept.
  EXPECT_EQ(Choose({{48, 48, 8, Bitmap(0)}, {16, 16, 8, Bitmap(1)}}, Wanted(32, 32, 8)), 0);
  // Same size: the smaller depth difference wins.
  EXPECT_EQ(Choose({{16, 16, 32, Bitmap(0)}, {16, 16, 4, Bitmap(1)}}, Wanted(16, 16, 8)), 1);
  // A closer size beats a better depth.
  EXPECT_EQ(Choose({{48, 48, 8, Bitmap(0)}, {40, 40, 1, Bitmap(1)}}, Wanted(32, 32, 8)), 1);
  // 256 from a stored 0 is a real size.
  EXPECT_EQ(Choose({{32, 32, 8, Bitmap(0)}, {0, 0, 8, Bitmap(1)}}, Wanted(256, 256, 8)), 1);
  // Far-off wanted values do not overflow; the first image stays the choice.
  EXPECT_EQ(Choose({{16, 16, 8, Bitmap(0)}, {32, 32, 8, Bitmap(1)}},
                   Wanted(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)),
            0);
}

std::vector<std::uint8_t> TagsWithIcon(const std::vector<std::uint8_t>& icon, bool binary) {
  std::vector<std::uint8_t> list;
  tagtest::AppendEntry(list, "ImageWin32", icon, binary);
  tagtest::AppendEnd(list);
  return list;
}

TEST(ExtractDocumentIconTest, PicksFromTheBinaryTag) {
  const auto icon = IconFile({{16, 16, 8, Bitmap(0)}, {32, 32, 8, Bitmap(1)}});
  DocumentTagTable table;
  ASSERT_TRUE(tagtest::LoadTags(table, TagsWithIcon(icon, true)));
  IconImage out;
  ASSERT_TRUE(ExtractDocumentIcon(table, Wanted(32, 32, 8), out));
  EXPECT_EQ(out.width, 32u);
  EXPECT_EQ(out.bytes, Bitmap(1));
  EXPECT_EQ(out.format, IconImage::FormatBitmap);
}

TEST(ExtractDocumentIconTest, FailsWithoutAUsableBinaryIcon) {
  const auto icon = IconFile({{16, 16, 8, Bitmap(0)}, {32, 32, 8, Bitmap(1)}});
  IconImage out;
  out.width = 7;

  DocumentTagTable empty;
  EXPECT_FALSE(ExtractDocumentIcon(empty, Wanted(32, 32, 8), out));

  // The same bytes stored as text are never an icon.
  DocumentTagTable text;
  ASSERT_TRUE(tagtest::LoadTags(text, TagsWithIcon(icon, false)));
  ASSERT_NE(text.FindTag("ImageWin32"), nullptr);
  EXPECT_FALSE(ExtractDocumentIcon(text, Wanted(32, 32, 8), out));

  // The second image reaches past the end of the value: the whole extraction fails.
  const std::vector<std::uint8_t> cut(icon.begin(), icon.end() - 1);
  DocumentTagTable truncated;
  ASSERT_TRUE(tagtest::LoadTags(truncated, TagsWithIcon(cut, true)));
  EXPECT_FALSE(ExtractDocumentIcon(truncated, Wanted(16, 16, 8), out));
  EXPECT_EQ(out.width, 7u);
}

}  // namespace
}  // namespace codec
