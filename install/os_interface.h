#pragma once
// The one seam between the open-document flow and the operating system for
// everything that is not decoding: removing files, waiting with a responsive
// interface, opening documents, launching viewers and making the private
// temporary directory. One implementation per platform; the most recently
// constructed one is the process's current OsInterface.

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace reader {
class GuiInterface;
}

namespace install {

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
  // The file opened for binary reading, owned by the caller; null with errno set.
  virtual std::FILE* OpenForReading(const char* path);
  // Hands `path` to its viewer. With `checkType`, an extension that is
  // neither a built-in document type nor accepted by the user is asked about
  // first. Returns true only when starting the viewer failed and the user has
  // been told; false after a successful start and when the user declined.
  virtual bool LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) = 0;
  // A fresh, private directory for one decoding attempt, ending in the path
  // separator; null when none could be made. The text stays valid until the
  // next call.
  virtual const char* TemporaryDirectory() = 0;

  // The current OsInterface, or null.
  static OsInterface* Current();

 protected:
  // The question part of LaunchFile: whether a part at `path` may be launched.
  // Built-in types and accepted extensions go ahead; anything else is asked
  // about, and remembered when the user asks not to be asked again (never for
  // program types, which are asked about every time).
  static bool ConfirmLaunch(reader::GuiInterface& gui, const char* path);
};

// Built-in viewer types that are launched without asking (compared ignoring case).
bool IsBuiltInViewerType(const char* ext);

// The extension of a path's file name: from its last "." to the end, or null
// when the file name has no ".". Points into `path`.
const char* PathExtension(const char* path);

// Process-wide quiet flag: while non-zero no message of ReportSystemError is
// shown (set only by a silent installation).
extern std::int32_t quietFlag;

// Turns a system error code (Windows error numbering) into its fixed reason
// sentence, formats `format` with `subject` and the reason for its two "%s"
// into at most 255 characters, and shows it as a Stop message on the current
// interface unless quiet.
void ReportSystemError(const char* format, const char* subject, std::uint32_t code);
// The reason sentence alone, into `out` (bounded by `size`).
void SystemErrorReason(std::uint32_t code, char* out, std::size_t size);
// The message ReportSystemError would show, into `out` (bounded by `size`).
void FormatSystemError(const char* format, const char* subject, std::uint32_t code, char* out,
                       std::size_t size);

// Windows error numbers that the reason table knows.
enum SystemError : std::uint32_t {
  ErrorFileNotFound = 2,
  ErrorPathNotFound = 3,
  ErrorAccessDenied = 5,
  ErrorNotEnoughMemory = 8,
  ErrorSharingViolation = 32,
  ErrorBadDb = 1009,
  ErrorNoAssociation = 1155,
  ErrorDdeFail = 1156,
  ErrorDllNotFound = 1157,
  ErrorCancelled = 1223,
};

// Whether the access-denied sentence should suggest reinstalling as
// Administrator (Windows 6 and later); per platform.
bool AccessDeniedSuggestsAdministrator();

}  // namespace install
