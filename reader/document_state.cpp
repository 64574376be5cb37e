#include "reader/document_state.h"

namespace reader {

DocumentState::DocumentState() { tagTable.SetListener(&catalogue); }

DocumentState::~DocumentState() {
  tagTable.ClearTags();
  tagTable.SetListener(nullptr);
  if (file != nullptr) {
    std::fclose(file);
    file = nullptr;
  }
}

}  // namespace reader
