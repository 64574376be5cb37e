#include "os/system_error.h"

#include <cstdio>

#include "reader/gui_interface.h"
#include "source/xp/result/generic_result.h"

namespace os {

std::int32_t quietFlag = 0;

void SystemErrorReason(std::uint32_t code, char* out, std::size_t size) {
  const char* reason = nullptr;
  switch (code) {
    case ErrorFileNotFound: reason = "The specified file was not found."; break;
    case ErrorPathNotFound: reason = "The specified path was not found."; break;
    case ErrorAccessDenied:
      reason = AccessDeniedSuggestsAdministrator()
                   ? "The operating system denied access to the specified file.\n"
                     "Please reinstall the application as Administrator."
                   : "The operating system denied access to the specified file.";
      break;
    case ErrorNotEnoughMemory: reason = "There was not enough memory to complete the operation."; break;
    case ErrorSharingViolation: reason = "A sharing violation occurred."; break;
    case ErrorBadDb: reason = "The configuration registry database is corrupt."; break;
    case ErrorNoAssociation: reason = "There is no application associated\nwith the given filename extension."; break;
    case ErrorDdeFail: reason = "The DDE transaction failed."; break;
    case ErrorDllNotFound: reason = "One of the library files necessary to run the application can't be found."; break;
    case ErrorCancelled: reason = "Operation Cancelled"; break;
    default: break;
  }
  if (size == 0) return;
  if (reason != nullptr) {
    std::snprintf(out, size, "%s", reason);
  } else if (xp::GenericResult::SourceKey(code) == xp::GenericResult::kRuntimeKey) {
    // A runtime error (errno) without a sentence: its own number.
    std::snprintf(out, size, "%u", static_cast<unsigned>(xp::GenericResult::Value(code)));
  } else {
    std::snprintf(out, size, "%u", static_cast<unsigned>(code));
  }
}

void FormatSystemError(const char* format, const char* subject, std::uint32_t code, char* out,
                       std::size_t size) {
  char reason[160];
  SystemErrorReason(code, reason, sizeof reason);
  if (size == 0) return;
  // The formats are the system's own, each with exactly two "%s"; the result
  // is cut at the buffer's end rather than overrunning it.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  std::snprintf(out, size, format, subject != nullptr ? subject : "", reason);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

void ReportSystemError(const char* format, const char* subject, std::uint32_t code) {
  char message[256];
  FormatSystemError(format, subject, code, message, sizeof message);
  if (quietFlag != 0) return;
  if (reader::GuiInterface* gui = reader::GuiInterface::Current()) {
    gui->ShowMessage(message, reader::MessageKind::Stop, reader::MessageFlags::Plain);
  }
}

}  // namespace os
