#pragma once
// The reader's decode writer: part files in the attempt's temporary directory,
// the progress window, and the wipe afterwards.

#include <cstdint>

#include "reader/file_decode_writer.h"

namespace reader {

class GuiInterface;
class DocumentState;

class DecoderFileWriter : public FileDecodeWriter {
 public:
  // Reads "VAULTPOST_WIPE_FILES" from the environment once, here: when it is
  // present (any value, also empty) the wipe overwrites the part files first.
  DecoderFileWriter(GuiInterface& gui, codec::FileWriter& inner, const char* directory, DocumentState& state,
                    bool noPrompt);
  ~DecoderFileWriter() override;

  // Progress runs over 0 .. partCount + 1: a step as each part begins and the
  // last one when the document ends.
  bool BeginDocument(const codec::DocumentHeader& header, std::uint32_t partCount) override;
  // Writes to the current part and tells the interface how far that part has got.
  bool Write(const void* data, std::uint32_t length) override;
  // Before the first part: hides the prompt (unless there is none) and shows
  // the progress window with the catalogue's texts.
  bool BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& partHeader) override;
  // A ".pdf" part (any letter case) is closed as soon as it is complete.
  bool EndPart() override;
  bool EndDocument() override;

  // Overwrites (when configured), closes and deletes every part file, retrying
  // each pass that left a file behind until all are gone, then removes the
  // directory. Runs on the calling thread; does not pump messages. Never
  // throws; may run again (what is gone already counts as removed).
  void WipeFiles();
  // The same with a single pass, for a process about to be ended (the session
  // is ending): a file that resists is left to the OsInterface, which on
  // Windows schedules its deletion for the next system start.
  void WipeFilesBeforeExit();

  // The writer of the decoding attempt under way in this process, or null.
  // Lets a window that learns that the session ends wipe the part files
  // before the process goes. One attempt runs at a time (on the thread that
  // opens documents).
  static DecoderFileWriter* Active();

  bool OpeningShown() const { return openingShown_; }
  bool OverwriteOnWipe() const { return overwriteOnWipe_; }
  // Pause between wipe passes that left files behind (5000 ms; tests shorten it).
  void SetRetryDelay(std::uint32_t milliseconds) { retryDelayMs_ = milliseconds; }

 private:
  GuiInterface* gui_;
  DocumentState* state_;
  std::uint32_t progress_ = 0;
  std::uint64_t partBytes_ = 0;
  bool noPrompt_;
  bool openingShown_ = false;
  bool started_ = false;
  void Wipe(bool untilGone);

  bool overwriteOnWipe_;
  std::uint32_t retryDelayMs_ = 5000;
  DecoderFileWriter* previousActive_;
};

}  // namespace reader
