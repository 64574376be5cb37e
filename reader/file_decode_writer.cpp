#include "reader/file_decode_writer.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "reader/part_file_name.h"

namespace reader {

namespace {

constexpr std::size_t kTableStep = 64;
constexpr std::size_t kOverwriteChunk = 2048;

// Creates `path` for binary writing; fails when it exists already, so that a
// part never writes through a file or link that someone else put there.
std::FILE* CreateNewFile(const std::string& path) {
#ifdef _WIN32
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
  if (f == nullptr) _close(fd);
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "wb");
  if (f == nullptr) ::close(fd);
#endif
  return f;
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
  names_.clear();
  entries_.reserve(kTableStep);
  current_ = 0;
  return true;
}

bool FileDecodeWriter::BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader&) {
  if (directory_ == nullptr) return false;
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.capacity() + kTableStep);
  const std::string fileName = DistinctPartFileName(SafePartFileName(name != nullptr ? name : ""), names_);
  std::string path = std::string(directory_) + fileName;
  std::FILE* stream = CreateNewFile(path);
  if (stream == nullptr) return false;
  names_.push_back(fileName);
  // A part begun after a part that never ended keeps the table in step with
  // `current`: the unfinished one keeps its entry for the wipe.
  entries_.push_back(std::make_unique<PartFile>(std::move(path), stream));
  current_ = static_cast<std::uint32_t>(entries_.size() - 1);
  inner_->SetStream(stream);
  return true;
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
  std::uint8_t pattern[kOverwriteChunk];
  std::fill(std::begin(pattern), std::end(pattern), 0xBE);
  for (auto& entry : entries_) {
    std::FILE* f = entry->Stream();
    if (f == nullptr) {
      f = std::fopen(entry->Path().c_str(), "r+b");
      if (f == nullptr) continue;
      entry->SetStream(f);
    }
    if (std::fseek(f, 0, SEEK_END) != 0) continue;
    const long size = std::ftell(f);
    if (size <= 0 || std::fseek(f, 0, SEEK_SET) != 0) continue;
    auto remaining = static_cast<unsigned long>(size);
    while (remaining > 0) {
      const std::size_t n = remaining < kOverwriteChunk ? remaining : kOverwriteChunk;
      if (std::fwrite(pattern, 1, n, f) != n) break;
      remaining -= n;
    }
  }
  CloseFiles();
}

const char* FileDecodeWriter::PartPath(std::uint32_t index) const {
  return index < entries_.size() ? entries_[index]->Path().c_str() : nullptr;
}

}  // namespace reader
