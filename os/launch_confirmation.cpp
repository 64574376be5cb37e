#include "os/launch_confirmation.h"

#include <cctype>
#include <cstring>

#include "os/accepted_extensions.h"
#include "reader/gui_interface.h"

namespace os {

namespace {

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const auto ca = static_cast<unsigned char>(*a);
    const auto cb = static_cast<unsigned char>(*b);
    if (std::tolower(ca) != std::tolower(cb)) return false;
  }
  return *a == *b;
}

}  // namespace

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

bool ConfirmLaunch(reader::GuiInterface& gui, const char* path) {
  const char* ext = PathExtension(path);
  if (ext != nullptr && (IsBuiltInViewerType(ext) || IsAcceptedExtension(ext))) return true;
  bool dontAskAgain = false;
  if (!gui.ConfirmUnknownFileType(ext, dontAskAgain)) return false;
  // Program types are asked about every time, whatever the answer said.
  if (ext != nullptr && dontAskAgain && IsStorableExtension(ext)) AddAcceptedExtension(ext);
  return true;
}

}  // namespace os
