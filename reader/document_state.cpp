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
#include "source/xp/high_resolution_clock.h"

namespace reader {

namespace {

constexpr const char* kDiskNearlyFull =
    "\n\nThe document needs more space than the disk of the temporary folder can spare.";
constexpr std::uint32_t kMaxFailedAttempts = 5;
constexpr std::uint32_t kDelayPerFailureMs = 3000;

using codec::DecodeResult;

const char* TextForResult(MessageCatalogue& catalogue, DecodeResult result) {
  const char* text = catalogue.TextForError(result);
  return text != nullptr ? text : kIoErrorText;
}

// Shows the progress window while a key derivation that has already taken
// longer than `afterMs` goes on, the bar running over 0..100; stops the
// derivation when the user cancels.
class KeyDerivationProgress {
 public:
  KeyDerivationProgress(GuiInterface& gui, MessageCatalogue& texts, std::uint32_t afterMs)
      : gui_(gui), texts_(texts), afterNs_(std::uint64_t{afterMs} * 1000000u), start_(xp::HighResolutionClock::now()) {}

  bool Update(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || xp::HighResolutionClock::nanosecondsSince(start_) < afterNs_) return !gui_.CancelRequested();
    if (!shown_) {
      shown_ = gui_.ShowOpening(texts_.Text(MessageCatalogue::OpeningTitle), texts_.Text(MessageCatalogue::OpeningText));
      gui_.SetProgressRange(kSteps);
      position_ = -1;
    }
    const auto position = static_cast<std::int32_t>(done * kSteps / total);
    if (position != position_) gui_.SetProgressPosition(position_ = position);
    return !gui_.CancelRequested();
  }
  bool Shown() const { return shown_; }

 private:
  static constexpr std::int32_t kSteps = 100;
  GuiInterface& gui_;
  MessageCatalogue& texts_;
  std::uint64_t afterNs_;
  std::uint64_t start_;
  bool shown_ = false;
  std::int32_t position_ = -1;
};

// The end of one decoding attempt, whichever way it goes: the busy cursor
// goes, the part files are wiped and the progress window is hidden, each
// unless the flow did it already. An exception (out of memory in the launch
// or the notice) leaves through here too, so no decrypted part outlives it.
class AttemptEnd {
 public:
  AttemptEnd(GuiInterface& gui, DecoderFileWriter& writer, const KeyDerivationProgress& keyProgress)
      : gui_(gui), writer_(writer), keyProgress_(keyProgress) {}
  AttemptEnd(const AttemptEnd&) = delete;
  AttemptEnd& operator=(const AttemptEnd&) = delete;
  ~AttemptEnd() {
    try {
      Busy(false);
      Wipe();
      HideOpening();
    } catch (...) {
      // Already leaving with an exception, or out of memory while reporting a
      // file that could not be removed; the wipe itself has run.
    }
  }

  void Busy(bool busy) {
    if (busy_ == busy) return;
    busy_ = busy;
    gui_.SetBusy(busy);
  }
  void Wipe() {
    if (wiped_) return;
    wiped_ = true;
    writer_.WipeFiles();
  }
  void HideOpening() {
    if (hidden_ || !(writer_.OpeningShown() || keyProgress_.Shown())) return;
    hidden_ = true;
    gui_.HideOpening();
  }

 private:
  GuiInterface& gui_;
  DecoderFileWriter& writer_;
  const KeyDerivationProgress& keyProgress_;
  bool busy_ = false;
  bool wiped_ = false;
  bool hidden_ = false;
};

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
  documentPath.clear();
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

  documentPath = path;
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
    // Without a private directory nothing may be written anywhere; where the
    // user can mend that, the message says how.
    std::string text = catalogue.Text(MessageCatalogue::CantCreateTempFile);
    if (const char* problem = os->TemporaryDirectoryProblem()) text = text + "\n\n" + problem;
    gui->ShowMessage(text.c_str(), MessageKind::Stop, MessageFlags::Plain);
    return true;
  }
  const std::string directory = made;

  codec::FileWriter inner;
  DecoderFileWriter writer(*gui, inner, directory.c_str(), *this, noPrompt);
  codec::FileReader reader(file.get());
  KeyDerivationProgress keyProgress(*gui, catalogue, keyProgressAfterMs);
  AttemptEnd end(*gui, writer, keyProgress);
  DecodeResult result = DecodeResult::Ok;
  {
    codec::DocumentDecoder decoder(reader, writer);
    decoder.SetKeyProgress(
        [&keyProgress](std::uint64_t done, std::uint64_t total) { return keyProgress.Update(done, total); });
    decoder.SetKeyDerived([gui] { gui->ForgetPassword(); });
    end.Busy(true);
    result = decoder.DecodeDocument(userName, password, /*allowExpired=*/false);
    end.Busy(false);
  }

  if (gui->CancelRequested()) {
    // The user stopped the opening: whatever was written goes, nothing is
    // shown, and the prompt closes as after its own Cancel.
    end.Wipe();
    end.HideOpening();
    return true;
  }
  if (result == DecodeResult::Ok) {
    // A document without any part has nothing to show and nothing to wait for.
    if (writer.PartCount() > 0) {
      // Every part is as foreign as the document it came in.
      for (std::uint32_t i = 0; i < writer.PartCount(); ++i) {
        os->CopyDocumentOrigin(documentPath.c_str(), writer.PartPath(i));
      }
      const LaunchResult launched = os->LaunchFile(*gui, writer.PartPath(0), /*checkType=*/true);
      // A Cancel while the viewer starts skips the notice: the user is done.
      if (launched != LaunchResult::Failed && !header.HasFlag(codec::DocumentHeader::FlagNoWaitNotice) &&
          !gui->CancelRequested()) {
        gui->ShowWaitNotice(catalogue.Text(MessageCatalogue::OkToDeleteTitle),
                            catalogue.Text(MessageCatalogue::OkToDelete));
      }
    }
    end.HideOpening();
    file.reset();
    end.Wipe();
    return true;
  }

  end.Wipe();
  end.HideOpening();
  const char* text = TextForResult(catalogue, result);
  if (result == DecodeResult::WrongCredentials && !noPrompt) {
    os->Wait(failedAttempts * kDelayPerFailureMs);
    gui->ShowMessage(text, MessageKind::Stop, MessageFlags::Plain);
    if (failedAttempts < kMaxFailedAttempts) ++failedAttempts;
    gui->RestorePrompt();
    return false;
  }
  if (writer.StoppedForSpace()) {
    // "Cannot write files to disk" alone would not say why.
    const std::string full = std::string(text) + kDiskNearlyFull;
    gui->ShowMessage(full.c_str(), MessageKind::Stop, MessageFlags::Plain);
    return true;
  }
  gui->ShowMessage(text, MessageKind::Stop, MessageFlags::Plain);
  return true;
}

}  // namespace reader
