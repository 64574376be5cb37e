#pragma once
// The per-document folders of the Windows reader, "<temp>\vptemp\<name>\":
// making one that is visibly owned while its reader lives, and wiping those
// whose reader is gone (killed from the Task Manager, crashed, a power cut,
// a log-off that never reached the notice).
//
// The owner's mark is a file "<name>.lock" beside the folder, never inside
// it: the folder holds the document's parts alone, as a user browsing it
// from the viewer sees it. The reader creates the mark before the folder and
// holds it open without delete sharing and with delete-on-close. Windows
// closes a process's handles however the process ends, which removes the
// mark; after a power cut the mark stays but nobody holds it. So a mark that
// is missing or can be deleted means that the folder's reader is gone, and
// one that cannot be deleted (a sharing violation) that it lives. A named
// kernel object would go with its process the same way, but it is seen only
// within its session, while every session of a user shares the temporary
// folder.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace os {

inline constexpr const char* kTemporaryRootName = "vptemp";
inline constexpr const char* kOwnerMarkSuffix = ".lock";

// The open mark of one folder; closing it (Release, or destruction) deletes
// the mark file.
class OwnerMark {
 public:
  OwnerMark() = default;
  explicit OwnerMark(void* handle) : handle_(handle) {}
  ~OwnerMark() { Release(); }
  OwnerMark(OwnerMark&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  OwnerMark& operator=(OwnerMark&& other) noexcept;
  OwnerMark(const OwnerMark&) = delete;
  OwnerMark& operator=(const OwnerMark&) = delete;

  bool Held() const { return handle_ != nullptr; }
  void Release();

 private:
  void* handle_ = nullptr;
};

// Whether `name` is one the reader gives its folders: the tick count in
// lowercase hexadecimal, optionally followed by "-" and an attempt number.
bool IsDocumentFolderName(std::string_view name);

// What stands at "<base>vptemp" after an attempt to have it as a directory.
enum class RootState {
  Ready,     // a plain directory (made when it was missing)
  Link,      // a junction or symbolic link: never written through
  Foreign,   // owned by another user: never written to or swept
  Unusable,  // a file, or it could not be made
};
// A root made here, and one of this user's that was there already, gets an
// access list of its own that allows the user and SYSTEM alone and inherits
// nothing from the temporary folder.
RootState PrepareTemporaryRoot(const std::string& root);

// Makes the temporary root under `base` (ending in "\") and in it a fresh
// per-document folder named after `tickCount`, created exclusively (an
// existing folder is never reused), its mark first, with the root's private
// access list. `out` (of `size` bytes)
// receives the folder's path ending in "\", `mark` its owner's mark. False
// when the root is not a plain directory (`root` tells why), no fresh name
// could be made, or the path would not fit MAX_PATH or `out`.
bool MakeDocumentDirectory(const char* base, std::uint32_t tickCount, char* out, std::size_t size, OwnerMark& mark,
                           RootState* root = nullptr);

// What a sweep of the temporary root did.
struct SweepResult {
  std::size_t foldersRemoved = 0;
  // Files of abandoned folders that could not be deleted now (a viewer holds
  // them): each is scheduled for deletion at the next restart, as is its
  // folder, and the next sweep tries again.
  std::vector<std::string> kept;
};

// Wipes every folder under "<base>vptemp\" whose owner is gone: its files are
// overwritten with 0xBE when `overwrite`, then deleted, then the folder.
// Only direct children with the reader's naming pattern are considered, and
// lone marks. Links (junctions, symbolic links) are never followed: one is
// removed as a link where the system can do that without reaching its
// target, and left otherwise. A live reader's folder is never touched. A
// file that cannot be deleted is scheduled as RemoveFile schedules it and
// the sweep goes on; it never waits.
SweepResult RemoveAbandonedFolders(const std::string& base, bool overwrite);

}  // namespace os
