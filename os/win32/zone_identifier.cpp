#include "os/win32/zone_identifier.h"

#include <windows.h>

#include <string>
#include <vector>

namespace os {

namespace {

constexpr const char* kZoneStream = ":Zone.Identifier";
// A zone mark is a few short lines; anything longer is not copied whole.
constexpr DWORD kLargestMark = 64 * 1024;

}  // namespace

bool CopyZoneIdentifier(const char* document, const char* part) {
  if (document == nullptr || part == nullptr) return false;
  const HANDLE from = CreateFileA((std::string(document) + kZoneStream).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (from == INVALID_HANDLE_VALUE) return false;
  std::vector<char> mark(kLargestMark);
  DWORD got = 0;
  const bool read = ReadFile(from, mark.data(), kLargestMark, &got, nullptr) != FALSE;
  CloseHandle(from);
  if (!read || got == 0) return false;
  const HANDLE to = CreateFileA((std::string(part) + kZoneStream).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (to == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool complete = WriteFile(to, mark.data(), got, &written, nullptr) && written == got;
  CloseHandle(to);
  return complete;
}

}  // namespace os
