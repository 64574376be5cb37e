#pragma once
// Helpers of the Windows services tests: other processes, scratch folders and
// registry values.

#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace win32test {

// The folder of the running test program, ending in "\" (its helper programs
// are built beside it).
inline std::string ProgramFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.rfind('\\') + 1);
}

// Whether this (32-bit) process runs on 64-bit Windows, through WoW64.
inline bool UnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// Starts `commandLine` (program name first); the process handle, or null.
inline HANDLE Start(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return nullptr;
  }
  CloseHandle(info.hThread);
  return info.hProcess;
}

// Waits for the process and closes its handle; its exit code, or -1.
inline long Finish(HANDLE process, DWORD timeoutMs = 60000) {
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) TerminateProcess(process, 99);
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return static_cast<long>(code);
}

// The names in folder `directory` (ending in "\"), "." and ".." aside.
inline std::set<std::string> Entries(const std::string& directory) {
  std::set<std::string> names;
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((directory + "*").c_str(), &data);
  for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data)) {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) names.insert(data.cFileName);
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return names;
}

// A fresh folder under the temporary folder, ending in "\"; removed with
// everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH + 1];
    GetTempPathA(sizeof temp, temp);
    for (unsigned n = GetTickCount();; ++n) {
      path_ = std::string(temp) + "vp-win32-test-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(n) + "\\";
      if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
  }
  ~ScratchFolder() { Remove(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

  // Removes a file or a folder tree (read-only bits cleared first).
  static void Remove(const std::string& path) {
    std::string plain = path;
    if (!plain.empty() && plain.back() == '\\') plain.pop_back();
    const DWORD attributes = GetFileAttributesA(plain.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesA(plain.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      DeleteFileA(plain.c_str());
      return;
    }
    for (const std::string& name : Entries(plain + "\\")) Remove(plain + "\\" + name);
    RemoveDirectoryA(plain.c_str());
  }

 private:
  std::string path_;
};

// Writes a file with the given content.
inline bool WriteFile(const std::string& path, const std::string& content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A REG_SZ-like value as stored: its type and bytes (NUL included when stored).
struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
  bool present = false;
};

// `view` may name the registry's 32- or 64-bit view (KEY_WOW64_32KEY,
// KEY_WOW64_64KEY); by default the process's own.
inline RawValue ReadRaw(HKEY root, const std::string& keyPath, const char* name, REGSAM view = 0) {
  RawValue value;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.bytes.resize(size);
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()), &size) ==
        ERROR_SUCCESS) {
      value.bytes.resize(size);
      value.present = true;
    }
  }
  RegCloseKey(key);
  return value;
}

inline bool KeyExists(HKEY root, const std::string& keyPath, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Sets a value of `type` with exactly the given bytes, creating the key.
inline bool WriteRaw(HKEY root, const std::string& keyPath, const char* name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG rc = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

// A file opened as a viewer holds its document: for reading, sharing only
// reading, so that it can be neither written nor deleted meanwhile.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path, DWORD share = FILE_SHARE_READ)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
  // What the file holds now, read through this handle.
  std::string Content() const {
    std::string content(4096, '\0');
    DWORD got = 0;
    SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
    if (!ReadFile(handle_, content.data(), static_cast<DWORD>(content.size()), &got, nullptr)) got = 0;
    content.resize(got);
    return content;
  }
  void Release() {
    if (held()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// The paths Windows will delete at the next restart, as scheduled (the
// "\??\" prefix taken off), in order.
inline std::vector<std::string> PendingDeletions() {
  const RawValue value =
      ReadRaw(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations");
  // REG_MULTI_SZ read through the A call: pairs of NUL-terminated texts, the
  // second one empty for a deletion.
  std::vector<std::string> texts;
  for (std::size_t at = 0; at < value.bytes.size();) {
    const std::size_t end = value.bytes.find('\0', at);
    texts.push_back(value.bytes.substr(at, end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  std::vector<std::string> paths;
  for (std::size_t i = 0; i + 1 < texts.size(); i += 2) {
    if (texts[i + 1].empty() && texts[i].rfind("\\??\\", 0) == 0) paths.push_back(texts[i].substr(4));
  }
  return paths;
}

// Whether exactly `path` (a trailing separator aside) is to be deleted at the
// next restart: a scheduled file inside a folder does not stand for the folder.
inline bool Pending(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  for (const std::string& pending : PendingDeletions()) {
    if (lstrcmpiA(pending.c_str(), path.c_str()) == 0) return true;
  }
  return false;
}

// Makes `link` a symbolic link to the folder `target` from outside Wine, with the Unix
// ln, as anyone with a shell on the machine could (Wine 8 makes neither
// junctions nor symbolic links itself). A relative `target` is kept as it
// is. False when that is not possible here (not under Wine).
inline bool MakeUnixLink(const std::string& target, const std::string& link) {
  using UnixName = char*(CDECL*)(const WCHAR*);
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return false;
  const auto convert = [&](std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.find(':') == std::string::npos) {
      for (char& c : path) c = c == '\\' ? '/' : c;
      return path;
    }
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char* name = unixName(wide);
    std::string converted = name != nullptr ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return converted;
  };
  // Wine runs a Unix program but gives no handle to wait on (CreateProcessA
  // may even answer FALSE): the link is waited for instead.
  if (const HANDLE ln = Start("/bin/ln -s \"" + convert(target) + "\" \"" + convert(link) + "\"")) CloseHandle(ln);
  for (int round = 0; round < 500; ++round) {
    const DWORD attributes = GetFileAttributesA(link.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace win32test
