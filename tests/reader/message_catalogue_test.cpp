// The message catalogue: its default texts, the error-code mapping, and the
// document overrides as they follow the tag table of a DocumentState.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/tag_list_testing.h"
#include "reader/document_state.h"
#include "reader/message_catalogue.h"

namespace reader {
namespace {

using Catalogue = MessageCatalogue;

TEST(MessageCatalogueTest, DefaultTextsAndKeys) {
  Catalogue catalogue;
  const std::string product = "Orlenta Reader";
  const std::string download = "https://www.orlenta.example/reader/download";
  const struct {
    Catalogue::Entry entry;
    const char* key;
    std::string text;
  } expected[] = {
      {Catalogue::CantOpenFile, nullptr,
       "Cannot open file.  It either does not exist, or is not a valid Orlenta Encrypted Document"},
      {Catalogue::CantCreateTempFile, "CantCreateTempFile", "Cannot write files to disk"},
      {Catalogue::Installed, nullptr, "Orlenta Reader Installed"},
      {Catalogue::AlreadyInstalled, nullptr, "Orlenta Reader has already been installed"},
      {Catalogue::CantDecodeFile, "CantDecodeFile",
       "Unable to decode this document.  You may have entered your user authentication details "
       "incorrectly.\n\nPlease remember that all authentication details are case sensitive."},
      {Catalogue::FileCorrupt, "FileCorrupt",
       "Unable to decode this document.  The file appears to be corrupt."},
      {Catalogue::cantOpenViewer, "cantOpenViewer", ""},
      {Catalogue::IncorrectVersion, "IncorrectVersion",
       "The chosen file requires a newer version of the Orlenta Reader in order to be opened.\n\n"
       "Please download the latest version from " + download},
      {Catalogue::NotSupported, "NotSupported",
       "Cannot open this document because this version of the Orlenta Reader\ndoes not support "
       "the encryption format used on the selected document.\n\nPlease download the latest "
       "version from " + download},
      {Catalogue::Expired, "Expired",
       "Cannot open this document because the content of this document has expired."},
      {Catalogue::OkToDeleteTitle, "OkToDeleteTitle", product},
      {Catalogue::OkToDelete, "OkToDelete",
       "Click Ok when you have finished viewing the document, so that temporary files may be "
       "deleted"},
      {Catalogue::Title, "Title", "Open Encrypted Document"},
      {Catalogue::ErrorTitle, "ErrorTitle", product},
      {Catalogue::StopTitle, "StopTitle", product},
      {Catalogue::InfoTitle, "InfoTitle", product},
      {Catalogue::UserNameLabel, "UserNameLabel", "Username"},
      {Catalogue::PasswordLabel, "PasswordLabel", "Password"},
      {Catalogue::Prompt, "Prompt", ""},
      {Catalogue::OpeningTitle, "OpeningTitle", product},
      {Catalogue::OpeningText, "OpeningText", "Opening your document.\n\nPlease wait..."},
      {Catalogue::HyperlinkUrl, "HyperlinkUrl", ""},
      {Catalogue::HyperlinkText, "HyperlinkText", ""},
      {Catalogue::OutOfMemory, "OutOfMemory", "Not enough memory available"},
  };
  ASSERT_EQ(std::size(expected), Catalogue::EntryCount);
  for (std::uint32_t i = 0; i < Catalogue::EntryCount; ++i) {
    EXPECT_EQ(expected[i].entry, i);
    EXPECT_EQ(catalogue.Text(expected[i].entry), expected[i].text) << i;
    if (expected[i].key == nullptr) {
      EXPECT_EQ(Catalogue::KeyOf(expected[i].entry), nullptr) << i;
    } else {
      EXPECT_STREQ(Catalogue::KeyOf(expected[i].entry), expected[i].key) << i;
    }
  }
  EXPECT_EQ(catalogue.Text(static_cast<Catalogue::Entry>(24)), nullptr);
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

std::vector<std::uint8_t> List(const std::vector<std::pair<std::string, std::string>>& texts) {
  std::vector<std::uint8_t> list;
  for (const auto& [key, value] : texts) tagtest::AppendEntry(list, key, value);
  return list;
}

TEST(MessageCatalogueTest, DocumentTextsOverrideUntilTheTagsAreReleased) {
  DocumentState state;
  auto list = List({{"Title", "My \\\\ Title"},
                    {"FileCorrupt", "Broken\\jfile"},
                    {"cantOpenViewer", "No viewer"},
                    {"CantOpenFile", "not a key"},
                    {"Unknown", "ignored"}});
  tagtest::AppendEnd(list);
  ASSERT_TRUE(tagtest::LoadTags(state.tagTable, list));
  EXPECT_TRUE(state.catalogue.OverridesPending());

  const char* title = state.catalogue.Text(Catalogue::Title);
  EXPECT_STREQ(title, "My \\ Title");
  EXPECT_EQ(title, state.tagTable.FindTag("Title")->Text());  // points at the value, no copy
  EXPECT_FALSE(state.catalogue.OverridesPending());
  EXPECT_STREQ(state.catalogue.TextForError(codec::DecodeResult::Truncated), "Broken\nfile");
  EXPECT_STREQ(state.catalogue.Text(Catalogue::cantOpenViewer), "No viewer");
  EXPECT_EQ(state.catalogue.Text(Catalogue::CantOpenFile),
            std::string(Catalogue::DefaultText(Catalogue::CantOpenFile)));
  EXPECT_STREQ(state.catalogue.Text(Catalogue::ErrorTitle), "Orlenta Reader");

  state.tagTable.ClearTags();
  EXPECT_FALSE(state.catalogue.OverridesPending());
  for (std::uint32_t i = 0; i < Catalogue::EntryCount; ++i) {
    const auto entry = static_cast<Catalogue::Entry>(i);
    EXPECT_EQ(state.catalogue.Text(entry), Catalogue::DefaultText(entry)) << i;
  }
}

TEST(MessageCatalogueTest, OnlyExactTextTagsOverride) {
  DocumentState state;
  auto list = List({{"title", "lower case"}, {"Prompt ", "trailing space"}});
  tagtest::AppendEntry(list, "OpeningText", std::string("binary"), true);
  tagtest::AppendEnd(list);
  ASSERT_TRUE(tagtest::LoadTags(state.tagTable, list));
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Title), "Open Encrypted Document");
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Prompt), "");
  EXPECT_STREQ(state.catalogue.Text(Catalogue::OpeningText),
               "Opening your document.\n\nPlease wait...");
}

TEST(MessageCatalogueTest, ANewDocumentStartsFromTheDefaults) {
  DocumentState state;
  auto first = List({{"Title", "First"}, {"Expired", "Old"}});
  tagtest::AppendEnd(first);
  auto second = List({{"Title", "Second"}});
  tagtest::AppendEnd(second);
  ASSERT_TRUE(tagtest::LoadTags(state.tagTable, first));
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Expired), "Old");
  ASSERT_TRUE(tagtest::LoadTags(state.tagTable, second));
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Title), "Second");
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Expired),
               "Cannot open this document because the content of this document has expired.");

  // Truncated data still loads what was complete.
  auto cut = List({{"Title", "Cut short"}, {"Prompt", "lost"}});
  cut.resize(cut.size() - 2);
  EXPECT_FALSE(tagtest::LoadTags(state.tagTable, cut));
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Title), "Cut short");
  EXPECT_STREQ(state.catalogue.Text(Catalogue::Prompt), "");
}

TEST(MessageCatalogueTest, ResetAndExplicitOverrides) {
  codec::DocumentTagTable tags;  // not wired to the catalogue
  auto list = List({{"InfoTitle", "Info"}});
  tagtest::AppendEnd(list);
  ASSERT_TRUE(tagtest::LoadTags(tags, list));
  Catalogue catalogue;
  catalogue.ApplyOverrides(tags);
  EXPECT_STREQ(catalogue.Text(Catalogue::InfoTitle), "Info");
  catalogue.Reset();
  EXPECT_STREQ(catalogue.Text(Catalogue::InfoTitle), "Orlenta Reader");
}

}  // namespace
}  // namespace reader
