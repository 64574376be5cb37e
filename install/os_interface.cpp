#include "install/os_interface.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "install/accepted_extensions.h"
#include "reader/gui_interface.h"
#include "reader/message_catalogue.h"
#include "source/xp/file_system.h"
#include "source/xp/high_resolution_clock.h"
#include "source/xp/path.h"

namespace install {

std::int32_t quietFlag = 0;

namespace {

OsInterface* g_current = nullptr;

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const auto ca = static_cast<unsigned char>(*a);
    const auto cb = static_cast<unsigned char>(*b);
    if (std::tolower(ca) != std::tolower(cb)) return false;
  }
  return *a == *b;
}

}  // namespace

OsInterface::OsInterface() { g_current = this; }

OsInterface::~OsInterface() {
  if (g_current == this) g_current = nullptr;
}

OsInterface* OsInterface::Current() { return g_current; }

void OsInterface::Prepare() {}

bool OsInterface::RemoveFile(const char* path) {
  // Busy files are retried for a while; a file already gone counts as removed,
  // otherwise the wipe would retry it forever.
  return path != nullptr && xp::RemoveFileWithRetry(path) == 0;
}

bool OsInterface::RemoveDirectoryTree(const char* path) {
  if (path == nullptr) return true;
  const xp::Path normal(path);
  if (!xp::IsDirectory(normal.text())) return true;
  return xp::RemoveDirectoryTree(normal);
}

void OsInterface::Wait(std::uint32_t milliseconds) {
  const std::uint64_t start = xp::HighResolutionClock::now();
  for (;;) {
    const auto elapsed = static_cast<std::int64_t>(xp::HighResolutionClock::nanosecondsSince(start));
    if (elapsed / 1000000 >= static_cast<std::int64_t>(milliseconds)) return;
    if (reader::GuiInterface* gui = reader::GuiInterface::Current()) gui->PumpMessages(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::FILE* OsInterface::OpenForReading(const char* path) { return std::fopen(path, "rb"); }

const char* PathExtension(const char* path) {
  if (path == nullptr) return nullptr;
  // Only the file name counts: a dot in a directory name is no extension.
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  return std::strrchr(name, '.');
}

bool IsBuiltInViewerType(const char* ext) {
  static constexpr const char* kBuiltIn[] = {".txt", ".html", ".htm", ".pdf", ".rtf", ".jpg", ".jpeg",
                                             ".gif", ".png",  ".swf", ".doc", ".csv", ".xml", ".xls"};
  if (ext == nullptr) return false;
  for (const char* b : kBuiltIn) {
    if (EqualsIgnoringCase(ext, b)) return true;
  }
  return false;
}

bool OsInterface::ConfirmLaunch(reader::GuiInterface& gui, const char* path) {
  const char* ext = PathExtension(path);
  if (ext != nullptr && (IsBuiltInViewerType(ext) || IsAcceptedExtension(ext))) return true;
  bool dontAskAgain = false;
  if (!gui.ConfirmUnknownFileType(ext, dontAskAgain)) return false;
  // Program types are asked about every time, whatever the answer said.
  if (ext != nullptr && dontAskAgain && IsStorableExtension(ext)) AddAcceptedExtension(ext);
  return true;
}

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

}  // namespace install
