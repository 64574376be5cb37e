#pragma once
// A document is written to a private temporary file beside its final path
// and renamed into place only when it is complete and on the disk: nobody
// else can read it while it is written, a reader never sees half a document,
// and a failure leaves nothing behind.

#include <cstdint>
#include <string>

#include "codec/vp_writer.h"

namespace cli {

class OutputFile final : public codec::VPWriter {
 public:
  // `replace`: an existing file at `path` may be replaced.
  OutputFile(std::string path, bool replace);
  // Removes the temporary file unless it was committed.
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Before anything is written: false, with the reason, when the file exists
  // and may not be replaced, is not a regular file, or its folder does not
  // exist or cannot be written.
  bool Check(std::string& error) const;
  // Creates the temporary file (mode 0600) in the target's folder; the first
  // Write does it when nobody did.
  bool Create(std::string& error);
  // Appends bytes; false with the reason kept for Error() (a full disk, a
  // signal, no file to be had).
  bool Write(const void* data, std::uint32_t length) override;
  // Flushes the file to the disk, gives it the mode new files get (0666 less
  // the umask) and renames it to the path, never over an existing file
  // unless `replace`; then flushes the folder. False with the reason; the
  // temporary file is then removed.
  bool Commit(std::string& error);
  // Removes the temporary file now.
  void Abandon();

  const std::string& Path() const { return path_; }
  const std::string& TemporaryPath() const { return temporary_; }
  // Why the last Write failed.
  std::string Error() const;

 private:
  std::string Folder() const;

  std::string path_;
  bool replace_;
  std::string temporary_;
  int fd_ = -1;
  int writeErrno_ = 0;
  std::string createError_;
  bool committed_ = false;
};

}  // namespace cli
