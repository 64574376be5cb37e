// The message catalogue: its default texts, the error-code mapping, and the
// document overrides as they follow the tag table of a DocumentState.

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/tag_list_testing.h"
#include "reader/document_state.h"
#include "reader/message_catalogue.h"

namespace reader {
namespace {

using Catalogue = MessageCatalogue;

// The texts are kept in tests/data/reader/catalogue_defaults.txt, in entry order.
TEST(MessageCatalogueTest, DefaultTextsAndKeys) {
  Catalogue catalogue;
  std::ifstream file(std::string(VP_TEST_DATA_DIR) + "/reader/catalogue_defaults.txt");
  ASSERT_TRUE(file.is_open());
  std::uint32_t entry = 0;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const std::string key = line.substr(0, tab);
    std::string text = line.substr(tab + 1);
    for (std::size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
    const auto e = static_cast<Catalogue::Entry>(entry++);
    SCOPED_TRACE(line);
    EXPECT_EQ(catalogue.Text(e), text);
    EXPECT_EQ(Catalogue::KeyOf(e) == nullptr ? "-" : std::string(Catalogue::KeyOf(e)), key);
  }
  EXPECT_EQ(entry, Catalogue::EntryCount);
  EXPECT_EQ(catalogue.Text(static_cast<Catalogue::Entry>(Catalogue::EntryCount)), nullptr);
  EXPECT_FALSE(catalogue.OverridesPending());
}

TEST(MessageCatalogueTest, EveryErrorCodeMapsToItsEntry) {
  Catalogue catalogue;
  const struct {
    std::int32_t code;
    Catalogue::Entry entry;
  } mapped[] = {
      {-1, Catalogue::CantOpenFile},      {-2, Catalogue::CantOpenFile},
      {-3, Catalogue::IncorrectVersion},  {-4, Catalogue::FileCorrupt},
      {-5, Catalogue::NotSupported},      {-6, Catalogue::NotSupported},
      {-7, Catalogue::NotSupported},      {-8, Catalogue::FileCorrupt},
      {-9, Catalogue::NotSupported},      {-10, Catalogue::Expired},
      {-11, Catalogue::CantCreateTempFile}, {-12, Catalogue::CantCreateTempFile},
      {-13, Catalogue::CantCreateTempFile}, {-14, Catalogue::FileCorrupt},
      {-15, Catalogue::CantDecodeFile},   {-16, Catalogue::OutOfMemory},
      {-25, Catalogue::NotSupported},
  };
  for (const auto& m : mapped) {
    EXPECT_EQ(catalogue.TextForError(static_cast<codec::DecodeResult>(m.code)), catalogue.Text(m.entry)) << m.code;
  }
  for (std::int32_t code : {0, 1, 2, 100, -17, -18, -19, -20, -21, -22, -23, -24, -26, -1000,
                            INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(catalogue.TextForError(static_cast<codec::DecodeResult>(code)), nullptr) << code;
  }
}

// A stored tag list of text entries, ended unless `end` is false.
std::vector<std::uint8_t> List(const std::vector<std::pair<std::string, std::string>>& texts, bool end = true) {
  std::vector<std::uint8_t> list;
  for (const auto& [key, value] : texts) tagtest::AppendEntry(list, key, value);
  if (end) tagtest::AppendEnd(list);
  return list;
}

TEST(MessageCatalogueTest, DocumentTextsOverrideUntilTheTagsAreReleased) {
  DocumentState state;
  // Keys match exactly (the table's own rule); a binary value never overrides.
  auto list = List({{"Title", "My \\\\ Title"},
                    {"FileCorrupt", "Broken\\jfile"},
                    {"cantOpenViewer", "No viewer"},
                    {"CantOpenFile", "not a key"},
                    {"Unknown", "ignored"},
                    {"prompt", "lower case"}},
                   false);
  tagtest::AppendEntry(list, "OpeningText", std::string("binary"), true);
  tagtest::AppendEnd(list);
  ASSERT_TRUE(tagtest::LoadTags(state.tagTable, list));
  EXPECT_TRUE(state.catalogue.OverridesPending());

  const char* title = state.catalogue.Text(Catalogue::Title);
  EXPECT_STREQ(title, "My \\ Title");
  EXPECT_EQ(title, state.tagTable.FindTag("Title")->Text());  // points at the value, no copy
  EXPECT_FALSE(state.catalogue.OverridesPending());
  EXPECT_STREQ(state.catalogue.TextForError(codec::DecodeResult::Truncated), "Broken\nfile");
  EXPECT_STREQ(state.catalogue.Text(Catalogue::cantOpenViewer), "No viewer");
  for (const auto entry : {Catalogue::CantOpenFile, Catalogue::ErrorTitle, Catalogue::Prompt, Catalogue::OpeningText}) {
    EXPECT_EQ(state.catalogue.Text(entry), Catalogue::DefaultText(entry)) << entry;
  }

  state.tagTable.ClearTags();
  EXPECT_FALSE(state.catalogue.OverridesPending());
  for (std::uint32_t i = 0; i < Catalogue::EntryCount; ++i) {
    const auto entry = static_cast<Catalogue::Entry>(i);
    EXPECT_EQ(state.catalogue.Text(entry), Catalogue::DefaultText(entry)) << i;
  }
}

TEST(MessageCatalogueTest, ANewDocumentStartsFromTheDefaults) {
  DocumentState state;
  ASSERT_TRUE(tagtest::LoadTags(state.tagTable, List({{"Title", "First"}, {"Expired", "Old"}})));
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Expired), "Old");
  ASSERT_TRUE(tagtest::LoadTags(state.tagTable, List({{"Title", "Second"}})));
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Title), "Second");
  EXPECT_EQ(state.catalogue.Text(Catalogue::Expired), Catalogue::DefaultText(Catalogue::Expired));

  // Truncated data still loads what was complete.
  auto cut = List({{"Title", "Cut short"}, {"Prompt", "lost"}}, false);
  cut.resize(cut.size() - 2);
  EXPECT_FALSE(tagtest::LoadTags(state.tagTable, cut));
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Title), "Cut short");
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Prompt), "");
}

TEST(MessageCatalogueTest, ResetAndExplicitOverrides) {
  codec::DocumentTagTable tags;  // not wired to the catalogue
  ASSERT_TRUE(tagtest::LoadTags(tags, List({{"InfoTitle", "Info"}})));
  Catalogue catalogue;
  catalogue.ApplyOverrides(tags);
  EXPECT_STREQ(catalogue.Text(Catalogue::InfoTitle), "Info");
  catalogue.Reset();
  EXPECT_STREQ(catalogue.Text(Catalogue::InfoTitle), "Orlenta Reader");
}

}  // namespace
}  // namespace reader
