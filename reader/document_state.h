#pragma once
// The state of the one document that a GuiInterface works on.

#include <cstdint>
#include <string>

#include "codec/decode_result.h"
#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "reader/message_catalogue.h"
#include "source/xp/unique_file.h"

namespace reader {

// The tag table and the catalogue are wired together at construction: releasing
// the tags resets the catalogue, reading them makes the catalogue's overrides
// pending. A document is open exactly when `file` is set; the state owns that
// stream and closes it when it is destroyed.
class DocumentState {
 public:
  DocumentState();
  DocumentState(const DocumentState&) = delete;
  DocumentState& operator=(const DocumentState&) = delete;
  ~DocumentState();

  // Closes any earlier document, opens `path` through the current
  // OsInterface, reads its header and tags, and then decodes at once (no
  // credentials needed) or asks the current GuiInterface for credentials.
  // Failures are shown on the current GuiInterface.
  void Open(const char* path);
  // Inspects the open file: header and tags, file rewound.
  codec::DecodeResult ReadHeader();
  // One decoding attempt into a fresh temporary directory, then the viewer,
  // the wait notice and the wipe. True when the prompt is to close (success,
  // or a failure another attempt cannot cure); false after wrong credentials,
  // once the growing delay has passed and the message was shown. As soon as
  // the key is derived the current GuiInterface is told to forget the
  // password (ForgetPassword); `password` is not read after that.
  bool Decode(const char* userName, const char* password);
  bool IsOpen() const;
  // Releases the tags (the catalogue returns to its defaults), closes the
  // file, and forgets the failed attempts.
  void Close();

  codec::DocumentTagTable tagTable;
  MessageCatalogue catalogue;
  xp::UniqueFile file;
  // The path `file` was opened from, as Open was given it.
  std::string documentPath;
  std::uint32_t failedAttempts = 0;
  codec::DocumentHeader header;
  // A key derivation that takes longer than this shows the progress window
  // (1000 ms; tests shorten it).
  std::uint32_t keyProgressAfterMs = 1000;
};

}  // namespace reader
