// Tag lists: unescaping, lookup, the listener, and hostile or damaged lists.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/document_tag_table.h"
#include "codec/tag_list_testing.h"

namespace codec {
namespace {

using tagtest::AppendEnd;
using tagtest::AppendEntry;
using tagtest::LoadTags;

std::string TextOf(const DocumentTagTable& table, const std::string& key) {
  const DocumentTag* tag = table.FindTag(key.c_str());
  return tag != nullptr && tag->Text() != nullptr ? std::string(tag->Text()) : std::string("<none>");
}

TEST(DocumentTagTableTest, UnescapesTextKeepsBinaryAndStoredLength) {
  const std::vector<std::uint8_t> bytes = {'\\', 'j', 0, 0xFF};
  std::vector<std::uint8_t> list;
  AppendEntry(list, "A", "a\\\\b");
  AppendEntry(list, "B", "x\\jy");
  AppendEntry(list, "C", "cr\\m lf\\j bs\\\\ tail\\");  // lone backslash at the end stays
  AppendEntry(list, "D", "\\!");                        // '!' - 0x60 wraps modulo 256
  AppendEntry(list, "E", "");
  AppendEntry(list, "ImageWin32", bytes, true);
  AppendEnd(list);
  DocumentTagTable table;
  ASSERT_TRUE(LoadTags(table, list));
  ASSERT_EQ(table.Count(), 6u);
  const DocumentTag* a = table.FindTag("A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->valueLength, 4u);
  EXPECT_EQ(std::memcmp(a->value.get(), "a\\b", 4), 0);  // three bytes and the NUL
  EXPECT_TRUE(a->owned && !a->binary);
  EXPECT_EQ(TextOf(table, "B"), "x\ny");
  EXPECT_EQ(TextOf(table, "C"), "cr\r lf\n bs\\ tail\\");
  EXPECT_EQ(TextOf(table, "D"), std::string(1, static_cast<char>(0x21 - 0x60 + 256)));
  EXPECT_EQ(TextOf(table, "E"), "");
  const DocumentTag* icon = table.FindTag("ImageWin32");
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(icon->binary);
  EXPECT_EQ(icon->Text(), nullptr);
  ASSERT_EQ(icon->valueLength, 4u);
  EXPECT_EQ(std::memcmp(icon->value.get(), bytes.data(), 4), 0);
}

class RecordingListener final : public DocumentTagTable::Listener {
 public:
  void TagsCleared() override { events += "C"; }
  void TagsLoaded(const DocumentTagTable& table) override { events += &table == loaded ? "L" : "?"; }
  std::string events;
  const DocumentTagTable* loaded = nullptr;
};

TEST(DocumentTagTableTest, FindTagIsExactFirstMatchAndReadingAgainReplaces) {
  std::vector<std::uint8_t> list, empty;
  AppendEntry(list, "Title", "first");
  AppendEntry(list, "title", "lower");
  AppendEntry(list, "Title", "second");
  AppendEnd(list);
  AppendEnd(empty);
  DocumentTagTable table;
  RecordingListener listener;
  listener.loaded = &table;
  table.SetListener(&listener);
  EXPECT_EQ(table.FindTag("Title"), nullptr);  // empty table
  ASSERT_TRUE(LoadTags(table, list));
  EXPECT_EQ(TextOf(table, "Title"), "first");
  EXPECT_EQ(TextOf(table, "title"), "lower");
  for (const char* miss : {"Titl", "TITLE"}) EXPECT_EQ(table.FindTag(miss), nullptr) << miss;
  EXPECT_EQ(table.FindTag(nullptr), nullptr);
  ASSERT_TRUE(LoadTags(table, empty));  // an empty list loads and replaces
  EXPECT_EQ(table.Count(), 0u);
  table.ClearTags();
  EXPECT_EQ(listener.events, "CLCLC");
  table.SetListener(nullptr);
  table.ClearTags();
  EXPECT_EQ(listener.events, "CLCLC");
}

TEST(DocumentTagTableTest, EntriesBeyond128AndOverlongKeysAreSkipped) {
  std::vector<std::uint8_t> list;
  AppendEntry(list, std::string(31, 'k'), "kept");
  AppendEntry(list, std::string(32, 'k'), "dropped");
  AppendEntry(list, std::string(200, 'z'), std::string(300, 'v'), true);
  for (int i = 1; i < 130; ++i) AppendEntry(list, "K" + std::to_string(i), "v" + std::to_string(i));
  AppendEnd(list);
  DocumentTagTable table;
  EXPECT_TRUE(LoadTags(table, list));  // the list still ends
  EXPECT_EQ(table.Count(), 128u);
  EXPECT_EQ(TextOf(table, std::string(31, 'k')), "kept");
  EXPECT_EQ(table.FindTag(std::string(32, 'k').c_str()), nullptr);
  EXPECT_EQ(TextOf(table, "K127"), "v127");
  EXPECT_EQ(table.FindTag("K128"), nullptr);
}

TEST(DocumentTagTableTest, TruncatedOrLyingListsKeepTheCompleteEntries) {
  std::vector<std::uint8_t> complete;
  AppendEntry(complete, "One", "1");
  AppendEntry(complete, "Two", "22");
  AppendEnd(complete);
  const std::size_t secondEntry = 4 + 3 + 4 + 1;
  // Cut at every point: the end word, inside the second entry, inside the first.
  for (std::size_t cut = 0; cut < complete.size(); ++cut) {
    DocumentTagTable table;
    EXPECT_FALSE(LoadTags(table, std::vector<std::uint8_t>(complete.begin(), complete.begin() + static_cast<std::ptrdiff_t>(cut)))) << cut;
    EXPECT_EQ(table.Count(), cut >= secondEntry + 13 ? 2u : cut >= secondEntry ? 1u : 0u) << cut;
  }
  // Stated lengths far beyond the data cost no more than the data.
  for (std::uint32_t keyWord : {5u, 0xFFFFFEFFu, 0xFFFFFFFFu}) {
    std::vector<std::uint8_t> list;
    AppendEntry(list, "Good", "yes");
    tagtest::AppendWord(list, keyWord);
    tagtest::AppendBytes(list, "Lying");
    tagtest::AppendWord(list, 0xFFFFFFF0u);
    tagtest::AppendBytes(list, "short");
    DocumentTagTable table;
    EXPECT_FALSE(LoadTags(table, list));
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_EQ(TextOf(table, "Good"), "yes");
  }
}

}  // namespace
}  // namespace codec
