// Linux settings: one text file "settings" of "Name=Value" lines in
// $XDG_CONFIG_HOME/orlenta/vaultpost (default ~/.config). Updates take an
// exclusive lock on "settings.lock" beside it, write a temporary file and
// rename it over the old one, so that readers see either the old or the new
// file and two concurrent updaters lose nothing.

#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/settings_store.h"

namespace os {

namespace {

constexpr std::size_t kMaxSettingsFile = 1 << 20;

bool MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* pw = ::getpwuid(::geteuid());
    if (pw == nullptr || pw->pw_dir == nullptr) return {};
    home = pw->pw_dir;
  }
  return std::string(home) + "/.config";
}

struct Line {
  std::string name;
  std::string value;
};

bool ReadLines(const std::string& file, std::vector<Line>& lines) {
  lines.clear();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  std::string text;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxSettingsFile) { ok = false; break; }
  }
  ::close(fd);
  if (!ok) return false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && eq > 0) lines.push_back({line.substr(0, eq), line.substr(eq + 1)});
    start = end + 1;
  }
  return true;
}

Line* FindLine(std::vector<Line>& lines, const char* name) {
  for (Line& l : lines) {
    if (::strcasecmp(l.name.c_str(), name) == 0) return &l;
  }
  return nullptr;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

class PosixSettingsStore final : public SettingsStore {
 public:
  explicit PosixSettingsStore(std::string directory) : directory_(std::move(directory)) {}

  bool ReadValue(const char* name, std::string& out, std::size_t limit) override {
    std::vector<Line> lines;
    if (!ReadLines(File(), lines)) return false;
    const Line* l = FindLine(lines, name);
    if (l == nullptr || l->value.size() + 1 > limit) return false;
    out = l->value;
    return true;
  }

  bool UpdateValue(const char* name, std::size_t readLimit, const Updater& update) override {
    if (!MakeDirectories()) return false;
    const std::string lockPath = directory_ + "/settings.lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) return false;
    bool written = false;
    while (::flock(lock, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(lock);
        return false;
      }
    }
    std::vector<Line> lines;
    if (ReadLines(File(), lines)) {
      Line* l = FindLine(lines, name);
      const bool present = l != nullptr && l->value.size() + 1 <= readLimit;
      std::string text = present ? l->value : std::string();
      if (update(text, present) && text.find('\n') == std::string::npos) {
        if (l != nullptr) {
          l->value = text;
        } else {
          lines.push_back({name, text});
        }
        written = Replace(lines);
      }
    }
    ::flock(lock, LOCK_UN);
    ::close(lock);
    return written;
  }

 private:
  std::string File() const { return directory_ + "/settings"; }

  bool MakeDirectories() const {
    // directory_ is <config home>/orlenta/vaultpost; create the two levels.
    const std::size_t product = directory_.rfind('/');
    if (product == std::string::npos || product == 0) return false;
    const std::size_t maker = directory_.rfind('/', product - 1);
    if (maker == std::string::npos) return false;
    const std::string configHome = directory_.substr(0, maker);
    if (!configHome.empty() && !MakeDirectory(configHome)) return false;
    return MakeDirectory(directory_.substr(0, product)) && MakeDirectory(directory_);
  }

  bool Replace(const std::vector<Line>& lines) const {
    std::string text;
    for (const Line& l : lines) text += l.name + "=" + l.value + "\n";
    std::string temp = directory_ + "/settings.XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ::close(fd);
    if (ok && ::rename(temp.c_str(), File().c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
  }

  std::string directory_;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenUserSettings() {
  const std::string home = ConfigHome();
  if (home.empty()) return nullptr;
  return std::make_unique<PosixSettingsStore>(home + "/orlenta/vaultpost");
}

}  // namespace os
