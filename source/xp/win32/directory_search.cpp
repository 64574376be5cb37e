#include "source/xp/directory_search.h"

#include <windows.h>

#include <string>

namespace xp {
namespace {

class Win32DirectorySearch : public DirectorySearch {
 public:
  Win32DirectorySearch(HANDLE find, const WIN32_FIND_DATAA& data) : find_(find), data_(data) {}
  ~Win32DirectorySearch() override {
    if (find_ != INVALID_HANDLE_VALUE) ::FindClose(find_);
  }

  bool next() override {
    if (find_ == INVALID_HANDLE_VALUE) return false;
    if (::FindNextFileA(find_, &data_)) return true;
    ::FindClose(find_);
    find_ = INVALID_HANDLE_VALUE;
    return false;
  }
  const char* name() const override { return data_.cFileName; }
  bool isDirectory() const override { return (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool isLink() const override { return (data_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

 private:
  HANDLE find_;
  WIN32_FIND_DATAA data_;
};

}  // namespace

std::unique_ptr<DirectorySearch> DirectorySearch::Open(const char* directory) {
  const std::string search = std::string(directory) + "\\*";
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA(search.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32DirectorySearch>(find, data);
}

}  // namespace xp
