#include "reader/document_state.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "codec/document_decoder.h"
#include "codec/file_reader.h"
#include "codec/file_writer.h"
#include "codec/inspect_document.h"
#include "reader/decoder_file_writer.h"
#include "reader/gui_interface.h"
#include "reader/os_interface.h"

namespace reader {

namespace {

constexpr std::uint32_t kMaxFailedAttempts = 5;
constexpr std::uint32_t kDelayPerFailureMs = 3000;

using codec::DecodeResult;

const char* TextForResult(MessageCatalogue& catalogue, DecodeResult result) {
  const char* text = catalogue.TextForError(result);
  return text != nullptr ? text : kIoErrorText;
}

}  // namespace

DocumentState::DocumentState() { tagTable.SetListener(&catalogue); }

DocumentState::~DocumentState() {
  tagTable.ClearTags();
  tagTable.SetListener(nullptr);
}

bool DocumentState::IsOpen() const { return file != nullptr; }

void DocumentState::Close() {
  tagTable.ClearTags();
  file.reset();
  failedAttempts = 0;
}

DecodeResult DocumentState::ReadHeader() {
  return codec::InspectDocument(file.get(), header, /*rewind=*/true, &tagTable);
}

void DocumentState::Open(const char* path) {
  OsInterface* os = OsInterface::Current();
  GuiInterface* gui = GuiInterface::Current();
  os->Prepare();
  Close();
  if (path == nullptr) return;

  file = os->OpenForReading(path);
  if (file == nullptr) {
    const int error = errno;
    std::string text;
    try {
      text = std::string(kUnexpectedErrorText) + std::strerror(error);
    } catch (const std::bad_alloc&) {
      text.clear();
    }
    gui->ShowMessage(text.empty() ? kUnexpectedErrorText : text.c_str(), MessageKind::Stop, MessageFlags::Plain);
    return;
  }

  const DecodeResult result = ReadHeader();
  if (result != DecodeResult::Ok) {
    gui->ShowMessage(TextForResult(catalogue, result), MessageKind::Stop, MessageFlags::Plain);
    return;
  }

  if (header.HasFlag(codec::DocumentHeader::FlagNoCredentials)) {
    Decode(nullptr, nullptr);
  } else {
    gui->PromptForCredentials(!header.HasFlag(codec::DocumentHeader::FlagPasswordOnly));
  }
}

bool DocumentState::Decode(const char* userName, const char* password) {
  OsInterface* os = OsInterface::Current();
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

  std::fseek(file.get(), 0, SEEK_SET);
  const char* made = os->TemporaryDirectory();
  if (made == nullptr) {
    // Without a private directory nothing may be written anywhere.
    gui->ShowMessage(catalogue.Text(MessageCatalogue::CantCreateTempFile), MessageKind::Stop, MessageFlags::Plain);
    return true;
  }
  const std::string directory = made;

  codec::FileWriter inner;
  DecoderFileWriter writer(*gui, inner, directory.c_str(), *this, noPrompt);
  codec::FileReader reader(file.get());
  DecodeResult result = DecodeResult::Ok;
  bool busy = false;
  try {
    {
      codec::DocumentDecoder decoder(reader, writer);
      gui->SetBusy(true);
      busy = true;
      result = decoder.DecodeDocument(userName, password, /*allowExpired=*/false);
      busy = false;
      gui->SetBusy(false);
    }

    if (result == DecodeResult::Ok) {
      // A document without any part has nothing to show and nothing to wait for.
      if (writer.PartCount() > 0) {
        const LaunchResult launched = os->LaunchFile(*gui, writer.PartPath(0), /*checkType=*/true);
        if (launched != LaunchResult::Failed && !header.HasFlag(codec::DocumentHeader::FlagNoWaitNotice)) {
          gui->ShowWaitNotice(catalogue.Text(MessageCatalogue::OkToDeleteTitle),
                              catalogue.Text(MessageCatalogue::OkToDelete));
        }
      }
      if (writer.OpeningShown()) gui->HideOpening();
      file.reset();
      writer.WipeFiles();
      return true;
    }
  } catch (...) {
    // Whatever throws (the decoder, the launch, the notice), nothing that was
    // already written survives the exception.
    if (busy) gui->SetBusy(false);
    writer.WipeFiles();
    if (writer.OpeningShown()) gui->HideOpening();
    throw;
  }

  writer.WipeFiles();
  if (writer.OpeningShown()) gui->HideOpening();
  const char* text = TextForResult(catalogue, result);
  if (result == DecodeResult::WrongCredentials && !noPrompt) {
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
