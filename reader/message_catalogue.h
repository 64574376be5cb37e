#pragma once
// Every text that the open-document flow shows, with the document's overrides.

#include <cstdint>

#include "codec/decode_result.h"
#include "codec/document_tag_table.h"

namespace reader {

// How a message is shown: the title entry and the icon of the message box.
struct MessageKind {
  enum Value : std::int32_t { Stop = 0, Information = 1, Error = 2, Warning = 3 };
};

// Flags of a message: the value 2 adds a Cancel button to OK. Callers pass
// Plain for a message and Question for a question.
struct MessageFlags {
  enum Value : std::int32_t { Plain = 1, OkCancel = 2, Question = 3 };
};

// The two fixed texts of the flow that a document cannot replace.
inline constexpr const char* kUnexpectedErrorText = "An unexpected error occurred: ";
inline constexpr const char* kIoErrorText = "I/O Error";

// The fixed texts of the question before a part of an unrecognised type is
// opened (the Windows module keeps them in its dialog template).
inline constexpr const char* kUnknownTypeTitle = "Opening Unknown File Type";
inline constexpr const char* kUnknownTypeLabel = "Opening file with extension:";
inline constexpr const char* kUnknownTypeWarning =
    "WARNING: An attached file is a file type that the Orlenta Reader does not recognise. Opening this file may "
    "put your system at risk.\n\nDo you want to continue?";
inline constexpr const char* kUnknownTypeAlwaysAsk = "Always ask before opening this type of file";

// 24 texts with built-in defaults. A document replaces keyed entries through
// text tags of the same name; the catalogue then points at the tag values
// without copying them, so it listens to the tag table and falls back to the
// defaults at the moment the values are released. Not thread-safe: it belongs
// to the one thread that opens documents.
class MessageCatalogue final : public codec::DocumentTagTable::Listener {
 public:
  enum Entry : std::uint32_t {
    CantOpenFile = 0,  // no key
    CantCreateTempFile,
    Installed,         // no key
    AlreadyInstalled,  // no key
    CantDecodeFile,
    FileCorrupt,
    cantOpenViewer,
    IncorrectVersion,
    NotSupported,
    Expired,
    OkToDeleteTitle,
    OkToDelete,
    Title,
    ErrorTitle,
    StopTitle,
    InfoTitle,
    UserNameLabel,
    PasswordLabel,
    Prompt,
    OpeningTitle,
    OpeningText,
    HyperlinkUrl,
    HyperlinkText,
    OutOfMemory,
  };
  static constexpr std::uint32_t EntryCount = 24;

  MessageCatalogue();
  MessageCatalogue(const MessageCatalogue&) = delete;
  MessageCatalogue& operator=(const MessageCatalogue&) = delete;

  // Applies pending overrides, then returns the entry's text (null for a value
  // outside the table).
  const char* Text(Entry entry);

  // The text for a decoder result after pending overrides, or null when the
  // result has no entry (Ok, and any value that is not a failure of the table).
  const char* TextForError(codec::DecodeResult result);

  // Every entry back to its default; nothing pending.
  void Reset();

  // Points each keyed entry with a text tag of exactly its name at that tag's
  // value; other entries keep their text. Binary tags never override. Clears
  // the pending flag. `tags` must keep the values until it is cleared.
  void ApplyOverrides(const codec::DocumentTagTable& tags);

  bool OverridesPending() const { return overridesPending_; }

  // The tag key of an entry, or null for the entries a document cannot change.
  static const char* KeyOf(Entry entry);
  static const char* DefaultText(Entry entry);
  // The entry that reports a decoder result; false when there is none.
  static bool EntryForError(codec::DecodeResult result, Entry& entry);

  // DocumentTagTable::Listener.
  void TagsCleared() override;
  void TagsLoaded(const codec::DocumentTagTable& table) override;

 private:
  void ApplyPending();

  const char* texts_[EntryCount];
  bool overridesPending_ = false;
  const codec::DocumentTagTable* pendingTags_ = nullptr;
};

}  // namespace reader
