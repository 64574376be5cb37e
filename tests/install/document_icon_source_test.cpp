// The icon handler's view of a document, without COM: kept tags, location
// flags, the image for each size, every way a document gives no icon.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "install/document_icon_source.h"
#include "install/icon_testing.h"
#include "support/icon_files.h"
#include "tools/encoder/document_encoder.h"

namespace install {
namespace {

namespace fs = std::filesystem;

class DocumentIconSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(folder_); }
  void TearDown() override { fs::remove_all(folder_); }

  // A document with the given tags (none: no trailer at all).
  std::string Document(const std::vector<encoder::TagSpec>& tags) {
    return icontest::WriteDocument((folder_ / ("doc" + std::to_string(++count_) + ".emc")).string(), tags);
  }

  fs::path folder_ = fs::temp_directory_path() /
                    ("vp-icon-source-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  int count_ = 0;
};

constexpr std::uint32_t kPlain = DocumentIconSource::kPerInstance | DocumentIconSource::kDontCache;

TEST_F(DocumentIconSourceTest, ADocumentIconGivesTheNearestImageForEachSize) {
  const auto icon = support::SquaresIconFile({{16, 0xFF0000}, {32, 0x0000FF}});
  DocumentIconSource source;
  source.Load(Document({{"Title", {'T'}, false}, {"ImageWin32", icon, true}}).c_str());
  EXPECT_EQ(source.IconLocationFlags(), 0x1Au);  // per instance, don't cache, not a file name
  EXPECT_EQ(source.Tags().Count(), 2u);          // the table is kept whole

  // Extract's sizes 0x00100020: small 16, large 32.
  EXPECT_EQ(DocumentIconSource::SmallSize(0x00100020), 16u);
  EXPECT_EQ(DocumentIconSource::LargeSize(0x00100020), 32u);
  codec::IconImage small;
  codec::IconImage large;
  ASSERT_TRUE(source.ChooseImage(16, small));
  ASSERT_TRUE(source.ChooseImage(32, large));
  EXPECT_EQ(small.width, 16u);
  EXPECT_EQ(large.width, 32u);
  EXPECT_EQ(small.bytes, support::SquareImage(16, 0xFF0000));
  EXPECT_EQ(large.bytes, support::SquareImage(32, 0x0000FF));

  // Only a 48-pixel image: both sizes get it.
  source.Load(Document({{"ImageWin32", support::SquaresIconFile({{48, 0x00FF00}}), true}}).c_str());
  ASSERT_TRUE(source.ChooseImage(16, small));
  ASSERT_TRUE(source.ChooseImage(32, large));
  EXPECT_EQ(small.width, 48u);
  EXPECT_EQ(large.width, 48u);
}

TEST_F(DocumentIconSourceTest, DocumentsWithoutAUsableIconFallBack) {
  DocumentIconSource source;
  codec::IconImage image;
  // Tags but no icon: the table is let go, the module's icon is named.
  source.Load(Document({{"Title", {'T'}, false}}).c_str());
  EXPECT_EQ(source.Tags().Count(), 0u);
  EXPECT_EQ(source.IconLocationFlags(), kPlain);
  EXPECT_FALSE(source.ChooseImage(32, image));

  // No trailer at all.
  source.Load(Document({}).c_str());
  EXPECT_EQ(source.IconLocationFlags(), kPlain);

  // An icon tag the shell is told about, but that gives no image: stored as
  // text, or not an icon file.
  source.Load(Document({{"ImageWin32", support::SquaresIconFile({{16, 0xFF0000}}), false}}).c_str());
  EXPECT_EQ(source.IconLocationFlags(), kPlain | DocumentIconSource::kNotFileName);
  EXPECT_FALSE(source.ChooseImage(16, image));
  auto bad = support::SquaresIconFile({{16, 0xFF0000}});
  bad[2] = 2;  // type 2 is a cursor file
  source.Load(Document({{"ImageWin32", bad, true}}).c_str());
  EXPECT_EQ(source.IconLocationFlags(), kPlain | DocumentIconSource::kNotFileName);
  EXPECT_FALSE(source.ChooseImage(16, image));

  // A file that is missing, empty, not a document, or a document cut short
  // before its trailer: an empty table, never an error.
  const std::string good = Document({{"ImageWin32", support::SquaresIconFile({{16, 0xFF0000}}), true}});
  const std::string cut = (folder_ / "cut.emc").string();
  fs::copy_file(good, cut);
  fs::resize_file(cut, fs::file_size(cut) - 5);
  const std::string garbage = (folder_ / "garbage.emc").string();
  std::ofstream(garbage) << std::string(4000, 'g');
  const std::string empty = (folder_ / "empty.emc").string();
  std::ofstream(empty).close();
  for (const std::string& path : {(folder_ / "absent.emc").string(), empty, garbage, cut}) {
    source.Load(good.c_str());
    ASSERT_EQ(source.IconLocationFlags(), 0x1Au);
    source.Load(path.c_str());
    EXPECT_EQ(source.Tags().Count(), 0u) << path;
    EXPECT_EQ(source.IconLocationFlags(), kPlain) << path;
    EXPECT_FALSE(source.ChooseImage(16, image)) << path;
  }
  source.Load(nullptr);
  EXPECT_EQ(source.IconLocationFlags(), kPlain);
}

}  // namespace
}  // namespace install
