// The spine of the reader: from a document's path to the launched viewer and
// back to an empty temporary directory, on the current GuiInterface.

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "codec/document_decoder.h"
#include "codec/file_reader.h"
#include "codec/file_writer.h"
#include "codec/inspect_document.h"
#include "install/os_interface.h"
#include "reader/decoder_file_writer.h"
#include "reader/document_state.h"
#include "reader/gui_interface.h"
#include "source/xp/xp_exception.h"

namespace reader {

namespace {

constexpr const char* kUnexpectedError = "An unexpected error occurred: ";
constexpr const char* kIoError = "I/O Error";
constexpr std::uint32_t kMaxFailedAttempts = 5;
constexpr std::uint32_t kDelayPerFailureMs = 3000;

const char* TextForCode(MessageCatalogue& catalogue, std::int32_t code) {
  const char* text = catalogue.TextForError(code);
  return text != nullptr ? text : kIoError;
}

}  // namespace

// ---- GuiInterface: the run of one OpenDocument call --------------------------

bool GuiInterface::RunOpenDocument(const char* path) {
  BeginRun();
  const bool result = path == nullptr ? RunWithoutDocument() : OpenDocumentPath(path);
  EndRun();
  return result;
}

bool GuiInterface::OpenDocumentPath(const char* path) {
  if (state_.IsOpen()) return false;
  if (path == nullptr) return true;
  return HandleDocument(path);
}

bool GuiInterface::HandleDocument(const char* path) {
  const bool result = ProcessDocument(path);
  state_.Close();
  if (afterDocument_) AfterDocument();
  return result;
}

bool GuiInterface::ProcessDocument(const char* path) {
  try {
    state_.Open(path);
  } catch (const xp::XPException& e) {
    ShowMessageBox("", e.what(), MessageKind::Error, MessageFlags::Plain);
  } catch (const std::bad_alloc&) {
    // Out of memory leaves the opening as a message, not as a crash; the
    // state is closed by HandleDocument.
    ShowMessage(state_.catalogue.Text(MessageCatalogue::OutOfMemory), MessageKind::Stop, MessageFlags::Plain);
  }
  return true;
}

// ---- DocumentState: one document ----------------------------------------------

bool DocumentState::IsOpen() const { return file != nullptr; }

void DocumentState::Close() {
  tagTable.ClearTags();
  if (file != nullptr) {
    std::fclose(file);
    file = nullptr;
  }
  failedAttempts = 0;
}

std::int32_t DocumentState::ReadHeader() {
  return codec::InspectDocument(file, header, /*rewind=*/true, &tagTable);
}

void DocumentState::Open(const char* path) {
  install::OsInterface* os = install::OsInterface::Current();
  GuiInterface* gui = GuiInterface::Current();
  os->Prepare();
  Close();
  if (path == nullptr) return;

  file = os->OpenForReading(path);
  if (file == nullptr) {
    const int error = errno;
    std::string text;
    try {
      text = std::string(kUnexpectedError) + std::strerror(error);
    } catch (const std::bad_alloc&) {
      text.clear();
    }
    gui->ShowMessage(text.empty() ? kUnexpectedError : text.c_str(), MessageKind::Stop, MessageFlags::Plain);
    return;
  }

  const std::int32_t code = ReadHeader();
  if (code != 0) {
    gui->ShowMessage(TextForCode(catalogue, code), MessageKind::Stop, MessageFlags::Plain);
    return;
  }

  if (header.HasFlag(codec::DocumentHeader::FlagNoCredentials)) {
    Decode(nullptr, nullptr);
  } else {
    gui->PromptForCredentials(!header.HasFlag(codec::DocumentHeader::FlagPasswordOnly));
  }
}

bool DocumentState::Decode(const char* userName, const char* password) {
  install::OsInterface* os = install::OsInterface::Current();
  GuiInterface* gui = GuiInterface::Current();
  if (file == nullptr) return true;

  const bool noPrompt = header.HasFlag(codec::DocumentHeader::FlagNoCredentials);
  if (noPrompt) {
    userName = "";
    password = "";
  } else if (header.HasFlag(codec::DocumentHeader::FlagPasswordOnly)) {
    userName = "";
  }
  if (userName == nullptr) userName = "";
  if (password == nullptr) password = "";

  std::fseek(file, 0, SEEK_SET);
  const char* made = os->TemporaryDirectory();
  if (made == nullptr) {
    // Without a private directory nothing may be written anywhere.
    gui->ShowMessage(catalogue.Text(MessageCatalogue::CantCreateTempFile), MessageKind::Stop, MessageFlags::Plain);
    return true;
  }
  const std::string directory = made;

  codec::FileWriter inner;
  DecoderFileWriter writer(*gui, inner, directory.c_str(), *this, noPrompt);
  codec::FileReader reader(file);
  std::int32_t code = 0;
  {
    codec::DocumentDecoder decoder(reader, writer);
    gui->SetBusy(true);
    try {
      code = decoder.DecodeDocument(userName, password, /*allowExpired=*/false);
    } catch (...) {
      // Nothing already written survives an exception either.
      gui->SetBusy(false);
      writer.WipeFiles();
      if (writer.OpeningShown()) gui->HideOpening();
      throw;
    }
    gui->SetBusy(false);
  }

  if (code == 0) {
    // A document without any part has nothing to show and nothing to wait for.
    if (writer.PartCount() > 0) {
      const bool failed = os->LaunchFile(*gui, writer.PartPath(0), /*checkType=*/true);
      if (!failed && !header.HasFlag(codec::DocumentHeader::FlagNoWaitNotice)) {
        gui->ShowWaitNotice(catalogue.Text(MessageCatalogue::OkToDeleteTitle),
                            catalogue.Text(MessageCatalogue::OkToDelete));
      }
    }
    if (writer.OpeningShown()) gui->HideOpening();
    std::fclose(file);
    file = nullptr;
    writer.WipeFiles();
    return true;
  }

  writer.WipeFiles();
  if (writer.OpeningShown()) gui->HideOpening();
  const char* text = TextForCode(catalogue, code);
  if (code == -15 && !noPrompt) {
    os->Wait(failedAttempts * kDelayPerFailureMs);
    gui->ShowMessage(text, MessageKind::Stop, MessageFlags::Plain);
    if (failedAttempts < kMaxFailedAttempts) ++failedAttempts;
    gui->RestorePrompt();
    return false;
  }
  gui->ShowMessage(text, MessageKind::Stop, MessageFlags::Plain);
  return true;
}

}  // namespace reader
