#pragma once
// Helpers of the Windows services tests: other processes, scratch folders and
// registry values.

#include <windows.h>

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
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((plain + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") Remove(plain + "\\" + name);
      } while (FindNextFileA(find, &data));
      FindClose(find);
    }
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

}  // namespace win32test
