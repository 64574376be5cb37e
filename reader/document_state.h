#pragma once
// The state of the one document that a GuiInterface works on.

#include <cstdint>
#include <cstdio>

#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "reader/message_catalogue.h"

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

  codec::DocumentTagTable tagTable;
  MessageCatalogue catalogue;
  std::FILE* file = nullptr;
  std::uint32_t failedAttempts = 0;
  codec::DocumentHeader header;
};

}  // namespace reader
