#pragma once
// The contract between the open-document flow and whatever shows it to the user.

#include <cstdint>
#include <exception>

#include "reader/document_state.h"
#include "reader/message_catalogue.h"

namespace reader {

// Every user interaction goes through one GuiInterface. The most recently
// constructed one is the process's current interface (Current()). All calls
// happen on the thread that opens documents; texts are narrow NUL-terminated
// strings that the caller keeps alive for the call.
class GuiInterface {
 public:
  // Resets the catalogue, starts with no tags and no file, stores the
  // after-document flag and becomes the current interface.
  explicit GuiInterface(bool afterDocument);
  GuiInterface(const GuiInterface&) = delete;
  GuiInterface& operator=(const GuiInterface&) = delete;

  // Slot 0. Releases the tags and resets the catalogue; stops being the
  // current interface if it still is.
  virtual ~GuiInterface();
  // Slot 1. Returns true.
  virtual bool RunWithoutDocument();
  // Slot 2. Asks for the credentials; returns the prompt's end code.
  virtual int PromptForCredentials(bool askUserName) = 0;
  // Slot 3. Shows the progress window; the base shows nothing and returns false.
  virtual bool ShowOpening(const char* title, const char* body);
  // Slot 4.
  virtual void HideOpening();
  // Slot 5.
  virtual void SetProgressRange(std::int32_t upper);
  // Slot 6.
  virtual void SetProgressPosition(std::int32_t position);
  // Slot 7. Returns once the user confirmed that viewing is finished. The base
  // shows `body` as an information message; `title` is not used.
  virtual void ShowWaitNotice(const char* title, const char* body);
  // Slot 8. Shows the credentials prompt again.
  virtual void RestorePrompt() = 0;
  // Slot 9.
  virtual void HidePrompt();
  // Slot 10.
  virtual void PumpMessages(bool oneOnly);
  // Slot 11. One modal message box; 1 for OK, 2 for Cancel, -1 otherwise.
  virtual std::int32_t ShowMessageBox(const char* title, const char* body, std::int32_t kind,
                                      std::int32_t flags) = 0;
  // Slot 12.
  virtual void SetBusy(bool busy);
  // Slot 13. Whether to open a part of an unrecognised type; `extension` may be
  // null. The base declines and sets `dontAskAgain` to false.
  virtual bool ConfirmUnknownFileType(const char* extension, bool& dontAskAgain);
  // Slot 14. Opens the document through the state; an XPException leaving
  // the opening is shown in a message box with an empty title, an
  // out-of-memory exception as the catalogue's OutOfMemory text. Returns true.
  virtual bool ProcessDocument(const char* path);
  // Slot 15.
  virtual void BeginRun();
  // Slot 16.
  virtual void EndRun();
  // Slot 17.
  virtual void AfterDocument();
  // Slot 18. The bytes written so far into the part being decoded, after each
  // write; lets an interface show a byte count for large parts. Does nothing.
  virtual void ReportBytesWritten(std::uint64_t partBytes);
  // Slot 19. Whether the user asked to stop the opening under way (the
  // progress window's Cancel). The flow then stops the key derivation or the
  // decoding at its next step, wipes what was written and shows nothing
  // more. The base never asks.
  virtual bool CancelRequested();
  // Slot 20. The key has been derived from the password of the attempt under
  // way: the interface wipes its copies of it now rather than keep them
  // while the document is viewed. Does nothing.
  virtual void ForgetPassword();

  // The run of one OpenDocument call: BeginRun, the document (or
  // RunWithoutDocument when `path` is null), EndRun. Returns the document's result.
  bool RunOpenDocument(const char* path);
  // False, touching nothing, while a document is open; true for a null path;
  // otherwise HandleDocument.
  bool OpenDocumentPath(const char* path);
  // ProcessDocument, then Close of the state, then AfterDocument when the
  // after-document flag is set.
  bool HandleDocument(const char* path);

  // Shows `text` under the catalogue's title for `kind` (no title for a kind
  // outside Stop..Warning) and returns ShowMessageBox's result.
  std::int32_t ShowMessage(const char* text, std::int32_t kind, std::int32_t flags);

  // Shows an exception that ended work on a document the way the flow
  // reports it: an XPException's text in a box with an empty title (Error),
  // memory exhaustion as the catalogue's OutOfMemory text, anything else as
  // "An unexpected error occurred: " and its description (Stop). Nothing for
  // a null `error`. Never throws, so window procedures and exported entries
  // can end every exception here.
  void ReportException(const std::exception_ptr& error) noexcept;

  DocumentState& State() { return state_; }
  MessageCatalogue& Catalogue() { return state_.catalogue; }
  bool AfterDocumentFlag() const { return afterDocument_; }

  // The current interface, or null when none exists.
  static GuiInterface* Current();
  // Makes this interface the current one again (after another was made),
  // keeping its catalogue and document state.
  void MakeCurrent();

 private:
  DocumentState state_;
  bool afterDocument_;
};

// Message-box style bits for a kind and flags: the kind's icon (stop 0x10,
// information 0x40, exclamation 0x30) plus 0x1 for OK and Cancel.
std::uint32_t MessageBoxStyle(std::int32_t kind, std::int32_t flags);

}  // namespace reader
