#include "reader/gui_interface.h"

#include <new>
#include <stdexcept>
#include <string>

#include "source/xp/xp_exception.h"

namespace reader {
namespace {

GuiInterface* g_current = nullptr;

constexpr std::uint32_t kStyleOkCancel = 0x1;
constexpr std::uint32_t kStyleStop = 0x10;
constexpr std::uint32_t kStyleExclamation = 0x30;
constexpr std::uint32_t kStyleInformation = 0x40;

}  // namespace

GuiInterface::GuiInterface(bool afterDocument) : afterDocument_(afterDocument) {
  state_.catalogue.Reset();
  g_current = this;
}

GuiInterface::~GuiInterface() {
  state_.tagTable.ClearTags();
  if (g_current == this) {
    g_current = nullptr;
  }
}

GuiInterface* GuiInterface::Current() { return g_current; }

void GuiInterface::MakeCurrent() { g_current = this; }

bool GuiInterface::RunWithoutDocument() { return true; }

bool GuiInterface::ShowOpening(const char*, const char*) { return false; }

void GuiInterface::HideOpening() {}

void GuiInterface::SetProgressRange(std::int32_t) {}

void GuiInterface::SetProgressPosition(std::int32_t) {}

void GuiInterface::ShowWaitNotice(const char*, const char* body) {
  ShowMessage(body, MessageKind::Information, MessageFlags::Plain);
}

void GuiInterface::HidePrompt() {}

void GuiInterface::PumpMessages(bool) {}

void GuiInterface::SetBusy(bool) {}

bool GuiInterface::ConfirmUnknownFileType(const char*, bool& dontAskAgain) {
  dontAskAgain = false;
  return false;
}

void GuiInterface::BeginRun() {}

void GuiInterface::EndRun() {}

void GuiInterface::AfterDocument() {}

void GuiInterface::ReportBytesWritten(std::uint64_t) {}

bool GuiInterface::CancelRequested() { return false; }

void GuiInterface::ForgetPassword() {}

std::int32_t GuiInterface::ShowMessage(const char* text, std::int32_t kind, std::int32_t flags) {
  const char* title = nullptr;
  switch (kind) {
    case MessageKind::Stop: title = state_.catalogue.Text(MessageCatalogue::StopTitle); break;
    case MessageKind::Information: title = state_.catalogue.Text(MessageCatalogue::InfoTitle); break;
    case MessageKind::Error: title = state_.catalogue.Text(MessageCatalogue::ErrorTitle); break;
    case MessageKind::Warning: title = state_.catalogue.Text(MessageCatalogue::InfoTitle); break;
    default: break;
  }
  return ShowMessageBox(title, text, kind, flags);
}

std::uint32_t MessageBoxStyle(std::int32_t kind, std::int32_t flags) {
  std::uint32_t style = 0;
  switch (kind) {
    case MessageKind::Stop:
    case MessageKind::Error: style = kStyleStop; break;
    case MessageKind::Information: style = kStyleInformation; break;
    case MessageKind::Warning: style = kStyleExclamation; break;
    default: break;
  }
  if ((flags & MessageFlags::OkCancel) != 0) {
    style |= kStyleOkCancel;
  }
  return style;
}

// The run of one OpenDocument call.


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
  } catch (const xp::XPException&) {
    ReportException(std::current_exception());
  } catch (const std::bad_alloc&) {
    // Out of memory leaves the opening as a message, not as a crash; the
    // state is closed by HandleDocument.
    ReportException(std::current_exception());
  }
  return true;
}

void GuiInterface::ReportException(const std::exception_ptr& error) noexcept {
  if (!error) return;
  try {
    try {
      std::rethrow_exception(error);
    } catch (const xp::XPException& e) {
      ShowMessageBox("", e.what(), MessageKind::Error, MessageFlags::Plain);
    } catch (const std::bad_alloc&) {
      ShowMessage(state_.catalogue.Text(MessageCatalogue::OutOfMemory), MessageKind::Stop, MessageFlags::Plain);
    } catch (const std::exception& e) {
      std::string text;
      try {
        text = std::string(kUnexpectedErrorText) + e.what();
      } catch (const std::bad_alloc&) {
        text.clear();
      }
      ShowMessage(text.empty() ? kUnexpectedErrorText : text.c_str(), MessageKind::Stop, MessageFlags::Plain);
    } catch (...) {
      ShowMessage(kUnexpectedErrorText, MessageKind::Stop, MessageFlags::Plain);
    }
  } catch (...) {
    // Showing the message failed as well (no memory for the text, or the
    // interface itself threw); there is nothing left to tell the user with.
  }
}

}  // namespace reader
