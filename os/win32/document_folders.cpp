#include "os/win32/document_folders.h"

#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "reader/part_overwrite.h"

namespace os {

namespace {

// Fresh names tried after the tick count's own before giving up.
constexpr unsigned kNameAttempts = 1000;
// Folders inside a document's folder (the reader makes none) are emptied
// this deep.
constexpr int kNestingLevels = 4;

struct Entry {
  std::string name;
  DWORD attributes;
};

// The entries of `directory` but "." and "..", all read before anything
// there changes.
std::vector<Entry> Entries(const std::string& directory) {
  std::vector<Entry> entries;
  WIN32_FIND_DATAA data;
  const HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") entries.push_back({name, data.dwFileAttributes});
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return entries;
}

// Asked about without a trailing separator: with one, Windows and Wine
// describe a link's target instead of the link.
bool IsPlainDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The identity (volume and file index) of what `path` opens as, the link
// itself or, following it, its target; false when it cannot be opened.
bool Identity(const std::string& path, bool followLink, BY_HANDLE_FILE_INFORMATION& info) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, &info) != FALSE;
  CloseHandle(handle);
  return known;
}

// Removes a junction or symbolic link as itself, never what it points at.
// Windows removes a directory link with RemoveDirectoryA and a file link
// with DeleteFileA, the target untouched. A system that resolves links even
// when asked to open the link itself (Wine shows a Unix symbolic link as a
// reparse point, but every call on it reaches the target) cannot remove the
// link alone: there it is left.
void RemoveLink(const std::string& path, DWORD attributes) {
  BY_HANDLE_FILE_INFORMATION link{};
  BY_HANDLE_FILE_INFORMATION target{};
  if (!Identity(path, /*followLink=*/false, link)) return;
  if (Identity(path, /*followLink=*/true, target) && link.dwVolumeSerialNumber == target.dwVolumeSerialNumber &&
      link.nFileIndexHigh == target.nFileIndexHigh && link.nFileIndexLow == target.nFileIndexLow) {
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    RemoveDirectoryA(path.c_str());
  } else {
    DeleteFileA(path.c_str());
  }
}

// Overwrites a plain file with the one overwrite pattern; anything else (a
// link, a directory) is left as it is.
void Overwrite(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    CloseHandle(file);
    return;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(file);
    return;
  }
  reader::OverwriteFileContents(descriptor);
  _close(descriptor);
}

// Deletes a file now or, as RemoveFile does, schedules it for the next
// restart; false when it stays for now.
bool DeleteOrSchedule(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
  MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return false;
}

// Wipes the folder `path` and everything in it; true when it is gone. What
// stays is scheduled for the next restart, the folder after its files.
bool WipeFolder(const std::string& path, bool overwrite, int levels, SweepResult& result) {
  for (const Entry& entry : Entries(path)) {
    const std::string full = path + "\\" + entry.name;
    if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      RemoveLink(full, entry.attributes);
    } else if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (levels > 0) WipeFolder(full, overwrite, levels - 1, result);
    } else {
      if (overwrite) Overwrite(full);
      if (!DeleteOrSchedule(full)) result.kept.push_back(full);
    }
  }
  if (RemoveDirectoryA(path.c_str())) return true;
  MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return false;
}

// A mark that is missing, or that can be deleted because nobody holds it,
// means the folder's reader is gone.
bool OwnerGone(const std::string& mark) {
  return DeleteFileA(mark.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

// The SID of the user this process runs as (which) or of the owner it gives
// new objects by default (an administrator's may be the Administrators
// group), as text; empty when the token cannot be read.
std::string TokenSid(TOKEN_INFORMATION_CLASS which) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  alignas(TOKEN_USER) unsigned char buffer[256];
  DWORD size = 0;
  const bool known = GetTokenInformation(token, which, buffer, sizeof buffer, &size) != FALSE;
  CloseHandle(token);
  if (!known) return {};
  // TOKEN_USER and TOKEN_OWNER both begin with the SID's address.
  PSID sid = which == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid
                                : reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner;
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return {};
  std::string result = text;
  LocalFree(text);
  return result;
}

// The owner of `path` as SID text; empty when it cannot be read.
std::string OwnerSid(const std::string& path) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  std::string result;
  char* text = nullptr;
  if (owner != nullptr && ConvertSidToStringSidA(owner, &text)) {
    result = text;
    LocalFree(text);
  }
  LocalFree(descriptor);
  return result;
}

// A security descriptor that makes a folder the user's and the system's
// alone: owned by the user, an access list that inherits nothing from above
// (protected) and allows full control to these two, for the folder and all
// it will hold.
class PrivateSecurity {
 public:
  PrivateSecurity() {
    const std::string user = TokenSid(TokenUser);
    if (user.empty()) return;
    const std::string text = "O:" + user + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;" + user + ")";
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1, &descriptor_, nullptr)) {
      descriptor_ = nullptr;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  ~PrivateSecurity() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
  }
  PrivateSecurity(const PrivateSecurity&) = delete;
  PrivateSecurity& operator=(const PrivateSecurity&) = delete;

  // Null (the inherited defaults) when the descriptor could not be built.
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

  // Gives the existing folder `path` this access list, replacing what it had
  // or inherited. (Set on the open folder: Wine's SetNamedSecurityInfoA
  // reports success on a directory and leaves its list as it was.)
  bool Apply(const std::string& path) {
    if (descriptor_ == nullptr) return false;
    const HANDLE folder = CreateFileA(path.c_str(), WRITE_DAC | READ_CONTROL,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    const bool applied = SetKernelObjectSecurity(folder, DACL_SECURITY_INFORMATION, descriptor_) != FALSE;
    CloseHandle(folder);
    return applied;
  }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// Whether the folder `path` is this user's: owned by the user, or by the
// owner this user's token gives new objects (an administrator's folders may
// belong to the Administrators group). Unknown counts as not.
bool OwnedByUser(const std::string& path) {
  const std::string owner = OwnerSid(path);
  return !owner.empty() && (owner == TokenSid(TokenUser) || owner == TokenSid(TokenOwner));
}

std::string WithoutSeparator(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

}  // namespace

OwnerMark& OwnerMark::operator=(OwnerMark&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void OwnerMark::Release() {
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

bool IsDocumentFolderName(std::string_view name) {
  const std::size_t dash = name.find('-');
  const std::string_view tick = name.substr(0, dash);
  if (tick.empty() || tick.size() > 8 || tick.find_first_not_of("0123456789abcdef") != std::string_view::npos) {
    return false;
  }
  if (dash == std::string_view::npos) return true;
  const std::string_view attempt = name.substr(dash + 1);
  return !attempt.empty() && attempt.size() <= 4 && attempt.find_first_not_of("0123456789") == std::string_view::npos;
}

RootState PrepareTemporaryRoot(const std::string& path) {
  const std::string root = WithoutSeparator(path);
  PrivateSecurity security;
  DWORD attributes = GetFileAttributesA(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    CreateDirectoryA(root.c_str(), security.Attributes());
    attributes = GetFileAttributesA(root.c_str());
  }
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return RootState::Unusable;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return RootState::Link;
  // Someone else's folder could be read, or filled with what we would open,
  // by its owner: nothing of ours goes there.
  if (!OwnedByUser(root)) return RootState::Foreign;
  // A root that an earlier version made inherited the temporary folder's
  // access list: it becomes private too.
  security.Apply(root);
  return RootState::Ready;
}

bool MakeDocumentDirectory(const char* base, std::uint32_t tickCount, char* out, std::size_t size, OwnerMark& mark,
                           RootState* rootState) {
  char root[MAX_PATH + 1];
  const int rootLength = std::snprintf(root, sizeof root, "%s%s", base, kTemporaryRootName);
  if (rootLength <= 0 || static_cast<std::size_t>(rootLength) >= sizeof root) return false;
  const RootState state = PrepareTemporaryRoot(root);
  if (rootState != nullptr) *rootState = state;
  if (state != RootState::Ready) return false;
  PrivateSecurity security;
  for (unsigned attempt = 1; attempt <= kNameAttempts; ++attempt) {
    char name[32];
    if (attempt == 1) {
      std::snprintf(name, sizeof name, "%lx", static_cast<unsigned long>(tickCount));
    } else {
      std::snprintf(name, sizeof name, "%lx-%u", static_cast<unsigned long>(tickCount), attempt);
    }
    char directory[MAX_PATH + 1];
    char markPath[MAX_PATH + 1];
    const int n = std::snprintf(directory, sizeof directory, "%s\\%s\\", root, name);
    const int m = std::snprintf(markPath, sizeof markPath, "%s\\%s%s", root, name, kOwnerMarkSuffix);
    // The paths with their terminators must fit MAX_PATH and the caller's buffer.
    if (n <= 0 || m <= 0 || static_cast<std::size_t>(n) >= sizeof directory ||
        static_cast<std::size_t>(m) >= sizeof markPath || static_cast<std::size_t>(n) >= size) {
      return false;
    }
    // The mark first, so that the folder is never without it while its reader runs.
    const HANDLE handle =
        CreateFileA(markPath, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      // Only a name that is taken is worth another try.
      if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return false;
    }
    OwnerMark candidate(handle);
    if (CreateDirectoryA(directory, security.Attributes())) {
      std::memcpy(out, directory, static_cast<std::size_t>(n) + 1);
      mark = std::move(candidate);
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

SweepResult RemoveAbandonedFolders(const std::string& base, bool overwrite) {
  SweepResult result;
  const std::string root = base + kTemporaryRootName;
  // Through a link at the root, or in someone else's, nothing is touched.
  if (!IsPlainDirectory(root) || !OwnedByUser(root)) return result;
  const std::string_view suffix = kOwnerMarkSuffix;
  for (const Entry& entry : Entries(root)) {
    const std::string path = root + "\\" + entry.name;
    if (IsDocumentFolderName(entry.name)) {
      if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RemoveLink(path, entry.attributes);
      } else if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && OwnerGone(path + kOwnerMarkSuffix) &&
                 WipeFolder(path, overwrite, kNestingLevels, result)) {
        ++result.foldersRemoved;
      }
      continue;
    }
    // A mark without its folder: left by a power cut (deleted), or made by a
    // reader about to make the folder (held, so it stays).
    const std::string_view name = entry.name;
    if (name.size() > suffix.size() && name.ends_with(suffix) &&
        IsDocumentFolderName(name.substr(0, name.size() - suffix.size())) &&
        GetFileAttributesA(path.substr(0, path.size() - suffix.size()).c_str()) == INVALID_FILE_ATTRIBUTES) {
      DeleteFileA(path.c_str());
    }
  }
  return result;
}

}  // namespace os
