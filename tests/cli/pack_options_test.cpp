// What the sender's choices become: expiry times in every form against known
// UTC seconds, part names against the reader's rules, icons from PNG images.

#include <gtest/gtest.h>

#include <fstream>

#include "cli/document_icon.h"
#include "cli/pack_options.h"
#include "codec/icon_directory.h"
#include "pack_testing.h"
#include "reader/reader_testing.h"

namespace cli {
namespace {

constexpr std::int64_t kNow = 1700000000;  // 2023-11-14T22:13:20Z

TEST(PackExpiry, EveryFormGivesItsKnownUtcSecond) {
  const struct {
    const char* text;
    std::int64_t expected;
  } cases[] = {
      {"2027-01-31", 1801353600},                 // the start of the day, UTC
      {"2024-02-29T12:00:00Z", 1709208000},       // a leap day
      {"2027-01-31T12:00:00+01:00", 1801393200},  // 11:00 UTC
      {"2027-01-31T12:00-05:30", 1801416600},     // seconds left out; 17:30 UTC
      {"2027-01-31 12:00:00+0100", 1801393200},
      {"2038-01-19T03:14:06Z", 2147483646},  // the last second before "never"
      {"30d", kNow + 30 * 86400},
      {"12h", kNow + 12 * 3600},
      {"2w", kNow + 14 * 86400},
  };
  for (const auto& c : cases) {
    std::int64_t at = 0;
    std::string error;
    EXPECT_TRUE(ParseExpiry(c.text, kNow, at, error)) << c.text << ": " << error;
    EXPECT_EQ(at, c.expected) << c.text;
  }
  EXPECT_EQ(FormatUtc(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(FormatUtc(-1), "1969-12-31T23:59:59Z");
  EXPECT_EQ(FormatUtc(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(FormatUtc(kNow), "2023-11-14T22:13:20Z");
  EXPECT_EQ(FormatUtc(0x7FFFFFFF), "2038-01-19T03:14:07Z");
  EXPECT_EQ(Grouped(0) + " " + Grouped(999) + " " + Grouped(1000) + " " + Grouped(1073741824), "0 999 1,000 1,073,741,824");
}

TEST(PackExpiry, RefusesWhatIsNoFutureTimeTheFormatHolds) {
  for (const char* text : {"", "tomorrow", "30", "30x", "-1d", "0d", "2027-02-29", "2027-13-01", "2027-1-31",
                           "2027-01-31T24:00Z", "2027-01-31T12:60Z", "2027-01-31T12:00",  // no offset
                           "2027-01-31T12:00+24:00", "2023-11-14",  // that day began before now
                           "2038-01-19T03:14:07Z",                  // stored, it would mean "never"
                           "2040-01-01", "999999999w"}) {
    std::int64_t at = 0;
    std::string error;
    EXPECT_FALSE(ParseExpiry(text, kNow, at, error)) << text;
    EXPECT_EQ(error.rfind("--expires", 0), 0u) << text << ": " << error;
  }
}

TEST(PackPartNames, OnlyNamesEveryReaderKeepsAndTellsApart) {
  PartNames names;
  std::string error;
  for (const std::string& name : std::vector<std::string>{"report.pdf", "Notes 2024.txt", "a-b_c (1).csv", std::string(64, 'n')}) {
    EXPECT_TRUE(names.Add(name, error)) << name << ": " << error;
  }
  for (const std::string& name :
       std::vector<std::string>{"Report.PDF", "NOTES 2024.TXT", std::string(65, 'n'), "caf\xc3\xa9.txt", "tab\there",
                                "a:b.txt", "what?.txt", "x<y", "con.txt", "NUL", "end.", "end ", "", "back\\slash"}) {
    EXPECT_FALSE(names.Add(name, error)) << name;
  }
}

TEST(PackIcon, APngBecomesTheSizesTheReaderAndTheShellPick) {
  readertest::TempFolder folder;
  DocumentIcon icon;
  std::string error;
  ASSERT_TRUE(LoadDocumentIcon(packtest::WritePng(folder.path(), 40, 20), icon, error)) << error;
  codec::IconDirectory directory;
  ASSERT_EQ(directory.ParseIconFile(icon.file.data(), static_cast<std::uint32_t>(icon.file.size())), 0u);
  std::vector<std::uint32_t> sizes;
  for (const codec::IconImage& image : directory.Images()) {
    sizes.push_back(image.width);
    EXPECT_EQ(image.height, image.width);
    EXPECT_EQ(image.bitCount, 32u);
    EXPECT_EQ(image.format, image.width == 256 ? codec::IconImage::FormatPng : codec::IconImage::FormatBitmap);
  }
  EXPECT_EQ(sizes, (std::vector<std::uint32_t>{16, 24, 32, 48, 256}));
  codec::IconImage wanted, chosen;  // what the credentials prompt asks for
  wanted.width = wanted.height = 16;
  wanted.bitCount = 8;
  ASSERT_EQ(directory.SelectBestIcon(wanted, chosen), 0u);
  ASSERT_EQ(chosen.width, 16u);
  // The 40 x 20 image is fitted into the square: rows 4 to 11 of 16. Bitmap
  // rows run bottom-up after the 40-byte header, BGRA.
  const auto pixel = [&](int x, int y) { return &chosen.bytes[40 + ((15 - y) * 16 + x) * 4]; };
  EXPECT_EQ(std::vector<std::uint8_t>(pixel(2, 8), pixel(2, 8) + 4), (std::vector<std::uint8_t>{0, 0, 255, 255}));
  EXPECT_EQ(pixel(13, 8)[3], 0);  // the transparent half
  EXPECT_EQ(pixel(2, 1)[3], 0);   // above the image
  ASSERT_EQ(directory.ParseIconFile(icon.withoutLargest.data(), static_cast<std::uint32_t>(icon.withoutLargest.size())), 0u);
  EXPECT_EQ(directory.Count(), 4u);

  // An icon file is taken as it is; anything else is refused.
  const std::string ico = folder.path() + "/given.ico";
  std::ofstream(ico, std::ios::binary).write(reinterpret_cast<const char*>(icon.file.data()),
                                             static_cast<std::streamsize>(icon.file.size()));
  DocumentIcon given;
  ASSERT_TRUE(LoadDocumentIcon(ico, given, error)) << error;
  EXPECT_EQ(given.file, icon.file);
  EXPECT_TRUE(given.withoutLargest.empty());
  std::ofstream(folder.path() + "/text.ico") << "not an icon";
  for (const std::string& bad : {folder.path() + "/text.ico", folder.path() + "/missing.png", packtest::WritePng(folder.path(), 5000, 1)}) {
    EXPECT_FALSE(LoadDocumentIcon(bad, given, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace cli
