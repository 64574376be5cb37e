#pragma once
// One reader over a private folder: the recording interfaces of the flow tests.

#include "support/fake_gui.h"
#include "reader/reader_testing.h"

namespace readertest {

struct Flow {
  TempFolder folder;
  RecordingOs os{folder.path()};
  testing_support::FakeGui gui;

  // Runs the flow on a new document of `recipe`, the prompt answered rightly.
  bool OpenRightly(const encoder::DocumentSpec& recipe = SimpleSpec()) {
    gui.credentials.push_back({"alice", "secret"});
    return gui.RunOpenDocument(WriteDocument(folder, recipe).c_str());
  }
};

}  // namespace readertest
