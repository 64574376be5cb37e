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
using tagtest::AppendWord;
using tagtest::LoadTags;

std::string TextOf(const DocumentTagTable& table, const char* key) {
  const DocumentTag* tag = table.FindTag(key);
  return tag != nullptr && tag->Text() != nullptr ? std::string(tag->Text()) : std::string("<none>");
}

class RecordingListener final : public DocumentTagTable::Listener {
 public:
  void TagsCleared() override { events += "C"; }
  void TagsLoaded(const DocumentTagTable& table) override {
    events += "L";
    loaded = &table;
  }
  std::string events;
  const DocumentTagTable* loaded = nullptr;
};

TEST(DocumentTagTableTest, UnescapesTextAndKeepsStoredLength) {
  std::vector<std::uint8_t> list;
  AppendEntry(list, "A", "a\\\\b");
  AppendEntry(list, "B", "x\\jy");
  AppendEntry(list, "C", "cr\\m lf\\j bs\\\\ tail\\");  // lone backslash at the end stays
  AppendEntry(list, "D", "\\!");                        // '!' - 0x60 wraps modulo 256
  AppendEntry(list, "E", "");
  AppendEnd(list);
  DocumentTagTable table;
  ASSERT_TRUE(LoadTags(table, list));
  ASSERT_EQ(table.Count(), 5u);

  const DocumentTag* a = table.FindTag("A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->valueLength, 4u);
  EXPECT_EQ(std::memcmp(a->value.get(), "a\\b", 4), 0);  // three bytes and the NUL
  EXPECT_TRUE(a->owned);
  EXPECT_FALSE(a->binary);
  EXPECT_EQ(TextOf(table, "B"), "x\ny");
  EXPECT_EQ(TextOf(table, "C"), "cr\r lf\n bs\\ tail\\");
  EXPECT_EQ(TextOf(table, "D"), std::string(1, static_cast<char>(0x21 - 0x60 + 256)));
  EXPECT_EQ(TextOf(table, "E"), "");
}

TEST(DocumentTagTableTest, BinaryValuesAreKeptUnchanged) {
  const std::vector<std::uint8_t> bytes = {'\\', 'j', 0, 0xFF};
  std::vector<std::uint8_t> list;
  AppendEntry(list, "ImageWin32", bytes, true);
  AppendEntry(list, "Empty", std::vector<std::uint8_t>{}, true);
  AppendEnd(list);
  DocumentTagTable table;
  ASSERT_TRUE(LoadTags(table, list));
  const DocumentTag* tag = table.FindTag("ImageWin32");
  ASSERT_NE(tag, nullptr);
  EXPECT_TRUE(tag->binary);
  EXPECT_EQ(tag->Text(), nullptr);
  EXPECT_EQ(tag->valueLength, 4u);
  EXPECT_EQ(std::memcmp(tag->value.get(), bytes.data(), 4), 0);
  EXPECT_EQ(table.FindTag("Empty")->valueLength, 0u);
}

TEST(DocumentTagTableTest, FindTagIsExactAndReturnsTheFirstMatch) {
  std::vector<std::uint8_t> list;
  AppendEntry(list, "Title", "first");
  AppendEntry(list, "title", "lower");
  AppendEntry(list, "Title", "second");
  AppendEnd(list);
  DocumentTagTable table;
  EXPECT_EQ(table.FindTag("Title"), nullptr);  // empty table
  ASSERT_TRUE(LoadTags(table, list));
  EXPECT_EQ(TextOf(table, "Title"), "first");
  EXPECT_EQ(TextOf(table, "title"), "lower");
  EXPECT_EQ(table.FindTag("Titl"), nullptr);
  EXPECT_EQ(table.FindTag("TITLE"), nullptr);
  EXPECT_EQ(table.FindTag(nullptr), nullptr);
}

TEST(DocumentTagTableTest, ListenerHearsClearAndLoad) {
  RecordingListener listener;
  DocumentTagTable table;
  table.SetListener(&listener);
  std::vector<std::uint8_t> list;
  AppendEnd(list);  // an empty list still loads
  EXPECT_TRUE(LoadTags(table, list));
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_EQ(listener.events, "CL");
  EXPECT_EQ(listener.loaded, &table);
  table.ClearTags();
  EXPECT_EQ(listener.events, "CLC");
  table.SetListener(nullptr);
  table.ClearTags();
  EXPECT_EQ(listener.events, "CLC");
}

TEST(DocumentTagTableTest, ReadingAgainReplacesEarlierTags) {
  std::vector<std::uint8_t> first, second;
  AppendEntry(first, "Old", "1");
  AppendEnd(first);
  AppendEntry(second, "New", "2");
  AppendEnd(second);
  DocumentTagTable table;
  ASSERT_TRUE(LoadTags(table, first));
  ASSERT_TRUE(LoadTags(table, second));
  EXPECT_EQ(table.Count(), 1u);
  EXPECT_EQ(table.FindTag("Old"), nullptr);
  EXPECT_EQ(TextOf(table, "New"), "2");
}

TEST(DocumentTagTableTest, EntriesBeyond128AreSkippedAndTheListStillEnds) {
  std::vector<std::uint8_t> list;
  for (int i = 0; i < 130; ++i) {
    const std::string number = std::to_string(i);
    std::string key = "K", value = "v";
    AppendEntry(list, key.append(number), value.append(number));
  }
  AppendEnd(list);
  DocumentTagTable table;
  EXPECT_TRUE(LoadTags(table, list));
  EXPECT_EQ(table.Count(), 128u);
  EXPECT_EQ(TextOf(table, "K127"), "v127");
  EXPECT_EQ(table.FindTag("K128"), nullptr);
  EXPECT_EQ(table.FindTag("K129"), nullptr);
}

TEST(DocumentTagTableTest, OverlongKeysAreSkippedWithTheirValues) {
  std::vector<std::uint8_t> list;
  AppendEntry(list, std::string(31, 'k'), "kept");
  AppendEntry(list, std::string(32, 'k'), "dropped");
  AppendEntry(list, std::string(200, 'z'), std::string(300, 'v'), true);
  AppendEntry(list, "After", "fine");
  AppendEnd(list);
  DocumentTagTable table;
  EXPECT_TRUE(LoadTags(table, list));
  EXPECT_EQ(table.Count(), 2u);
  EXPECT_EQ(TextOf(table, std::string(31, 'k').c_str()), "kept");
  EXPECT_EQ(TextOf(table, "After"), "fine");
}

TEST(DocumentTagTableTest, TruncatedDataKeepsCompleteEntries) {
  std::vector<std::uint8_t> complete;
  AppendEntry(complete, "One", "1");
  AppendEntry(complete, "Two", "22");
  AppendEnd(complete);
  const std::size_t secondEntry = 4 + 3 + 4 + 1;
  // Cut at every point: the end word, inside the second entry, inside the first.
  for (std::size_t cut = 0; cut < complete.size(); ++cut) {
    std::vector<std::uint8_t> list(complete.begin(), complete.begin() + cut);
    DocumentTagTable table;
    EXPECT_FALSE(LoadTags(table, list)) << cut;
    EXPECT_EQ(table.Count(), cut >= secondEntry + 13 ? 2u : cut >= secondEntry ? 1u : 0u) << cut;
  }
}

TEST(DocumentTagTableTest, HugeStatedLengthsCostNoMoreThanTheData) {
  for (std::uint32_t keyWord : {5u, 0xFFFFFEFFu, 0xFFFFFFFFu}) {
    std::vector<std::uint8_t> list;
    AppendEntry(list, "Good", "yes");
    AppendWord(list, keyWord);
    tagtest::AppendBytes(list, "Lying");
    AppendWord(list, 0xFFFFFFF0u);  // value length far beyond the data
    tagtest::AppendBytes(list, "short");
    DocumentTagTable table;
    EXPECT_FALSE(LoadTags(table, list));
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_EQ(TextOf(table, "Good"), "yes");
  }
}

}  // namespace
}  // namespace codec
