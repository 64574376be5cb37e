#pragma once
// Fixed sentences for system error codes, and the one place that shows them.

#include <cstddef>
#include <cstdint>

namespace os {

// Process-wide quiet flag: while non-zero no message of ReportSystemError is
// shown (set only by a silent installation).
extern std::int32_t quietFlag;

// Windows error numbers that the reason table knows. On Linux, errno values
// are mapped to these first (SystemErrorFromErrno).
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

// Turns a system error code into its fixed reason sentence, formats `format`
// with `subject` and the reason for its two "%s" into at most 255 characters
// (cut, never overrun), and shows it as a Stop message on the current
// interface unless quiet.
void ReportSystemError(const char* format, const char* subject, std::uint32_t code);
// The reason sentence alone, into `out` (bounded by `size`); an unknown code
// is written as its unsigned decimal number.
void SystemErrorReason(std::uint32_t code, char* out, std::size_t size);
// The message ReportSystemError would show, into `out` (bounded by `size`).
void FormatSystemError(const char* format, const char* subject, std::uint32_t code, char* out,
                       std::size_t size);

// Whether the access-denied sentence should suggest reinstalling as
// Administrator (Windows 6 and later); per platform.
bool AccessDeniedSuggestsAdministrator();

}  // namespace os
