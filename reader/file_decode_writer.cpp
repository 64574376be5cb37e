#include "reader/file_decode_writer.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "reader/part_file_name.h"
#include "reader/part_overwrite.h"
#include "source/xp/file_system.h"

namespace reader {

namespace {

constexpr std::size_t kTableStep = 64;

// Creates `path` for binary writing; fails when it exists already, so that a
// part never writes through a file or link that someone else put there. The
// programs the reader starts do not inherit it, and the stream is
// unbuffered: no copy of the part's bytes is left in a stdio buffer (the
// decoder writes whole pieces of up to 256 KiB anyway). Null with errno set
// on failure.
std::FILE* CreateNewFile(const std::string& path) {
#ifdef _WIN32
  const int fd =
      _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
  if (f == nullptr) {
    const int error = errno;
    _close(fd);
    errno = error;
  }
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "wb");
  if (f == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
#endif
  if (f != nullptr) std::setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

int FileDescriptor(std::FILE* f) {
#ifdef _WIN32
  return _fileno(f);
#else
  return ::fileno(f);
#endif
}

}  // namespace

FileDecodeWriter::FileDecodeWriter(codec::FileWriter& inner, const char* directory, bool keepOpen)
    : inner_(&inner), directory_(directory), keepOpen_(keepOpen) {}

FileDecodeWriter::~FileDecodeWriter() {
  CloseFiles();
  inner_->SetStream(nullptr);
}

bool FileDecodeWriter::Start() { return inner_->Start(); }

bool FileDecodeWriter::Write(const void* data, std::uint32_t length) { return inner_->Write(data, length); }

bool FileDecodeWriter::Finish() { return inner_->Finish(); }

bool FileDecodeWriter::BeginDocument(const codec::DocumentHeader&, std::uint32_t) {
  inner_->SetStream(nullptr);
  entries_.clear();
  names_.Clear();
  entries_.reserve(kTableStep);
  current_ = 0;
  return true;
}

bool FileDecodeWriter::BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader&) {
  if (directory_ == nullptr) return false;
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.capacity() + kTableStep);
  const std::string fileName = names_.Distinct(SafePartFileName(name != nullptr ? name : ""));
  std::string path = std::string(directory_) + fileName;
  std::FILE* stream = CreateNewFile(path);
  for (int raises = 0; stream == nullptr && errno == EMFILE && MakeRoomForAStream(raises);) {
    stream = CreateNewFile(path);
  }
  if (stream == nullptr) return false;
  names_.Add(fileName);
  // A part begun after a part that never ended keeps the table in step with
  // `current`: the unfinished one keeps its entry for the wipe.
  entries_.push_back(std::make_unique<PartFile>(std::move(path), stream));
  current_ = static_cast<std::uint32_t>(entries_.size() - 1);
  inner_->SetStream(stream);
  return true;
}

bool FileDecodeWriter::MakeRoomForAStream(int& raises) {
  // A document of thousands of parts outgrows the usual limit of open files.
  // A raise that does not help is tried a few times only: the limit call's
  // word is not trusted for ever.
  constexpr int kRaises = 4;
  if (raises < kRaises && raiseLimit_() > 0) {
    ++raises;
    return true;
  }
  // At the system's limit: a finished part gives up its stream (its file
  // stays in the private directory until the wipe), the main part last.
  for (std::size_t i = entries_.size(); i-- > 1;) {
    if (i < current_ && entries_[i]->Stream() != nullptr) {
      entries_[i]->Close();  // its bytes were flushed as they were written
      return true;
    }
  }
  return false;
}

bool FileDecodeWriter::EndPart() {
  if (current_ >= entries_.size()) return false;
  PartFile& part = *entries_[current_];
  ++current_;
  // Writes are not flushed one by one: the part is complete once this returns.
  const bool flushed = inner_->Flush();
  inner_->SetStream(nullptr);
  if (!flushed) return false;
  if (!keepOpen_) return part.Close();
  return true;
}

bool FileDecodeWriter::EndDocument() { return true; }

void FileDecodeWriter::CloseFiles() {
  for (auto& entry : entries_) entry->Close();
  inner_->SetStream(nullptr);
}

void FileDecodeWriter::OverwriteFiles() {
  for (auto& entry : entries_) {
    // An open part is written through its own descriptor (after its buffer
    // went out); a closed one is opened again, never through a link.
    if (std::FILE* f = entry->Stream()) {
      if (std::fflush(f) == 0) OverwriteFileContents(FileDescriptor(f));
      continue;
    }
    const int fd = OpenPartForOverwrite(entry->Path().c_str());
    if (fd < 0) continue;
    OverwriteFileContents(fd);
    ClosePartDescriptor(fd);
  }
  CloseFiles();
}

const char* FileDecodeWriter::PartPath(std::uint32_t index) const {
  return index < entries_.size() ? entries_[index]->Path().c_str() : nullptr;
}

}  // namespace reader
