#include "source/xp/directory_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <string>

namespace xp {
namespace {

class PosixDirectorySearch : public DirectorySearch {
 public:
  explicit PosixDirectorySearch(DIR* dir) : dir_(dir) {}
  ~PosixDirectorySearch() override { ::closedir(dir_); }

  bool next() override {
    entry_ = ::readdir(dir_);
    if (entry_ == nullptr) return false;
    type_ = entry_->d_type;
    if (type_ == DT_UNKNOWN) {
      // The file system does not say: ask without following links.
      struct stat info{};
      if (::fstatat(::dirfd(dir_), entry_->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        type_ = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
      }
    }
    return true;
  }
  const char* name() const override { return entry_->d_name; }
  bool isDirectory() const override { return type_ == DT_DIR; }
  bool isLink() const override { return type_ == DT_LNK; }

 private:
  DIR* dir_;
  dirent* entry_ = nullptr;
  unsigned char type_ = DT_UNKNOWN;
};

}  // namespace

std::unique_ptr<DirectorySearch> DirectorySearch::Open(const char* directory) {
  DIR* dir = ::opendir(directory);
  if (dir == nullptr) return nullptr;
  auto search = std::make_unique<PosixDirectorySearch>(dir);
  if (!search->next()) return nullptr;
  return search;
}

}  // namespace xp
