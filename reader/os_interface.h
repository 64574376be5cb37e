#pragma once
// The one seam between the open-document flow and the operating system for
// everything that is not decoding: removing files, waiting with a responsive
// interface, opening documents, launching viewers and making the private
// temporary directory. The implementations live in os/ (one per platform);
// the most recently constructed one is the process's current OsInterface.

#include <cstdint>

#include "source/xp/unique_file.h"

namespace reader {

class GuiInterface;

// What became of a request to show a file with its viewer.
enum class LaunchResult {
  Started,   // the viewer was started (and the interface kept alive meanwhile)
  Declined,  // the user chose not to open a file of an unknown type
  Failed,    // the viewer could not be started; the user has been told
};

class OsInterface {
 public:
  // Becomes the current OsInterface.
  OsInterface();
  OsInterface(const OsInterface&) = delete;
  OsInterface& operator=(const OsInterface&) = delete;
  // Stops being the current OsInterface if it still is.
  virtual ~OsInterface();

  // Called once at the start of opening a document; does nothing.
  virtual void Prepare();
  // True when the file is gone (also when it was gone already). A file that
  // is busy (EACCES) is tried up to 10 times, 250 ms apart.
  virtual bool RemoveFile(const char* path);
  // True when the directory and everything below it are gone, or when the
  // path is not a directory at all.
  virtual bool RemoveDirectoryTree(const char* path);
  // Returns after `milliseconds`, pumping the current interface's messages
  // every 20 ms meanwhile.
  virtual void Wait(std::uint32_t milliseconds);
  // The file opened for binary reading; empty with errno set on failure.
  virtual xp::UniqueFile OpenForReading(const char* path);
  // Hands `path` to its viewer. With `checkType`, an extension that is
  // neither a built-in document type nor accepted by the user is asked about
  // first.
  virtual LaunchResult LaunchFile(GuiInterface& gui, const char* path, bool checkType) = 0;
  // A fresh, private directory for one decoding attempt, ending in the path
  // separator; null when none could be made. The text stays valid until the
  // next call.
  virtual const char* TemporaryDirectory() = 0;
  // Whether a part file that RemoveFile could not remove (`error` is the
  // errno it left) is worth another pass after a pause; `pass` counts from
  // 1. The base keeps trying: a viewer that holds a file lets go in the end.
  virtual bool RetryRemoval(std::uint32_t pass, int error);
  // Tells the user that `path` stays on disk after the wipe gave up on it.
  // The base says nothing (it never gives up).
  virtual void ReportRemovalFailure(GuiInterface& gui, const char* path, int error);
  // Why the last TemporaryDirectory gave none, in a sentence the user can act
  // on, or null (the base knows of no reason).
  virtual const char* TemporaryDirectoryProblem();
  // Gives the decoded part `part` the mark of origin that the document
  // `document` carries, before the part is shown, so that viewers treat it
  // as coming from where the document came from (on Windows the
  // "Zone.Identifier" stream: Protected View, the block of macros from the
  // internet). Nothing when the document has no mark; the base does nothing.
  virtual void CopyDocumentOrigin(const char* document, const char* part);

  // The current OsInterface, or null.
  static OsInterface* Current();
};

}  // namespace reader
