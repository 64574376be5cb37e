#pragma once
// Writes each part of a decoded document as a file into one directory.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/vp_decode_writer.h"
#include "codec/file_writer.h"
#include "reader/part_file.h"
#include "reader/part_file_name.h"
#include "source/xp/file_system.h"

namespace reader {

// The bytes of a part go to `inner`, a FileWriter whose stream is switched to
// each part's file in turn. Part files stay open after EndPart when keepOpen
// is set, so that nobody else can slip into them while the viewer works. Every
// part that was begun has an entry, also one that was never ended.
class FileDecodeWriter : public codec::VPDecodeWriter {
 public:
  // `directory` ends with the path separator and must outlive the writer.
  FileDecodeWriter(codec::FileWriter& inner, const char* directory, bool keepOpen);
  // Closes every part file that is still open; deletes nothing.
  ~FileDecodeWriter() override;

  bool Start() override;
  bool Write(const void* data, std::uint32_t length) override;
  bool Finish() override;
  // Forgets the parts of an earlier use and starts an empty table.
  bool BeginDocument(const codec::DocumentHeader& header, std::uint32_t partCount) override;
  // Creates the part's file. The document's name is made safe first: it never
  // leaves the directory and never replaces another part's file (a second
  // "a.txt" becomes "a (2).txt"); the file is created exclusively.
  bool BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& partHeader) override;
  // Ends the current part; closes its stream unless keepOpen.
  bool EndPart() override;
  bool EndDocument() override;

  // Closes every part file.
  void CloseFiles();
  // Overwrites every part file's bytes with 0xBE (one pass), then closes them all.
  void OverwriteFiles();

  // The number of parts begun, and the full path of part `index` (part 0 is
  // the document's main part).
  std::uint32_t PartCount() const { return static_cast<std::uint32_t>(entries_.size()); }
  const char* PartPath(std::uint32_t index) const;
  const char* Directory() const { return directory_; }

  // What raises the limit of open streams when a part file cannot be created
  // for want of descriptors (xp::RaiseOpenStreamLimit; tests replace it):
  // the new limit, or a negative number when it cannot grow.
  void SetStreamLimitRaiser(long (*raise)()) { raiseLimit_ = raise; }

 protected:
  PartFile& Entry(std::uint32_t index) { return *entries_[index]; }
  std::uint32_t Current() const { return current_; }
  bool KeepOpen() const { return keepOpen_; }

 private:
  // After a part file could not be created for want of descriptors: raises
  // the limit (counting the raises of this part in `raises`, a few at most),
  // or else closes the stream of a finished part. False when neither is
  // possible.
  bool MakeRoomForAStream(int& raises);

  codec::FileWriter* inner_;
  std::vector<std::unique_ptr<PartFile>> entries_;
  PartFileNames names_;  // file names in use, to keep them distinct
  const char* directory_;
  std::uint32_t current_ = 0;
  bool keepOpen_;
  long (*raiseLimit_)() = xp::RaiseOpenStreamLimit;
};

}  // namespace reader
