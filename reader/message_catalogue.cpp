#include "reader/message_catalogue.h"

#include "version/version.h"

namespace reader {
namespace {

struct Definition {
  const char* key;
  const char* text;
};

constexpr Definition kDefinitions[MessageCatalogue::EntryCount] = {
    {nullptr,
     "Cannot open file.  It either does not exist, or is not a valid Orlenta Encrypted Document"},
    {"CantCreateTempFile", "Cannot write files to disk"},
    {nullptr, "Orlenta Reader Installed"},
    {nullptr, "Orlenta Reader has already been installed"},
    {"CantDecodeFile",
     "Unable to decode this document.  You may have entered your user authentication details "
     "incorrectly.\n\nPlease remember that all authentication details are case sensitive."},
    {"FileCorrupt", "Unable to decode this document.  The file appears to be corrupt."},
    {"cantOpenViewer", ""},
    {"IncorrectVersion",
     "The chosen file requires a newer version of the Orlenta Reader in order to be opened.\n\n"
     "Please download the latest version from " VP_DOWNLOAD_PAGE},
    {"NotSupported",
     "Cannot open this document because this version of the Orlenta Reader\ndoes not support the "
     "encryption format used on the selected document.\n\nPlease download the latest version "
     "from " VP_DOWNLOAD_PAGE},
    {"Expired", "Cannot open this document because the content of this document has expired."},
    {"OkToDeleteTitle", "Orlenta Reader"},
    {"OkToDelete",
     "Click Ok when you have finished viewing the document, so that temporary files may be "
     "deleted"},
    {"Title", "Open Encrypted Document"},
    {"ErrorTitle", "Orlenta Reader"},
    {"StopTitle", "Orlenta Reader"},
    {"InfoTitle", "Orlenta Reader"},
    {"UserNameLabel", "Username"},
    {"PasswordLabel", "Password"},
    {"Prompt", ""},
    {"OpeningTitle", "Orlenta Reader"},
    {"OpeningText", "Opening your document.\n\nPlease wait..."},
    {"HyperlinkUrl", ""},
    {"HyperlinkText", ""},
    {"OutOfMemory", "Not enough memory available"},
};

}  // namespace

MessageCatalogue::MessageCatalogue() { Reset(); }

const char* MessageCatalogue::Text(Entry entry) {
  if (entry >= EntryCount) {
    return nullptr;
  }
  ApplyPending();
  return texts_[entry];
}

const char* MessageCatalogue::TextForError(codec::DecodeResult result) {
  Entry entry;
  return EntryForError(result, entry) ? Text(entry) : nullptr;
}

void MessageCatalogue::Reset() {
  for (std::uint32_t i = 0; i < EntryCount; ++i) {
    texts_[i] = kDefinitions[i].text;
  }
  overridesPending_ = false;
  pendingTags_ = nullptr;
}

void MessageCatalogue::ApplyOverrides(const codec::DocumentTagTable& tags) {
  for (std::uint32_t i = 0; i < EntryCount; ++i) {
    if (kDefinitions[i].key == nullptr) {
      continue;
    }
    const codec::DocumentTag* tag = tags.FindTag(kDefinitions[i].key);
    if (tag != nullptr && !tag->binary && tag->Text() != nullptr) {
      texts_[i] = tag->Text();
    }
  }
  overridesPending_ = false;
  pendingTags_ = nullptr;
}

const char* MessageCatalogue::KeyOf(Entry entry) {
  return entry < EntryCount ? kDefinitions[entry].key : nullptr;
}

const char* MessageCatalogue::DefaultText(Entry entry) {
  return entry < EntryCount ? kDefinitions[entry].text : nullptr;
}

bool MessageCatalogue::EntryForError(codec::DecodeResult result, Entry& entry) {
  using R = codec::DecodeResult;
  switch (result) {
    case R::BadMagic:
    case R::HeaderTooShort: entry = CantOpenFile; return true;
    case R::UnsupportedVersion: entry = IncorrectVersion; return true;
    case R::Corrupt:
    case R::InflateFailed:
    case R::Truncated: entry = FileCorrupt; return true;
    case R::UnknownCipher:
    case R::BadKeyLength:
    case R::UnknownDigest:
    case R::Unused9:
    case R::NoKeyDerivation: entry = NotSupported; return true;
    case R::Expired: entry = Expired; return true;
    case R::BeginDocumentRefused:
    case R::EndDocumentRefused:
    case R::PartOutputRefused: entry = CantCreateTempFile; return true;
    case R::WrongCredentials: entry = CantDecodeFile; return true;
    case R::OutOfMemory: entry = OutOfMemory; return true;
    case R::Ok: return false;
  }
  return false;  // a value outside the table
}

void MessageCatalogue::TagsCleared() { Reset(); }

void MessageCatalogue::TagsLoaded(const codec::DocumentTagTable& table) {
  pendingTags_ = &table;
  overridesPending_ = true;
}

void MessageCatalogue::ApplyPending() {
  if (overridesPending_ && pendingTags_ != nullptr) {
    ApplyOverrides(*pendingTags_);
  }
}

}  // namespace reader
