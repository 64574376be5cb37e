#pragma once
// The reader's decode writer: part files in the attempt's temporary directory,
// the progress window, and the wipe afterwards.

#include <cstdint>
#include <functional>

#include "reader/file_decode_writer.h"

namespace reader {

class GuiInterface;
class DocumentState;
class OsInterface;

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
  // Writes to the current part and tells the interface how far that part has
  // got. Refuses (as BeginPart does) once the user asked to cancel.
  bool Write(const void* data, std::uint32_t length) override;
  // Before the first part: hides the prompt (unless there is none) and shows
  // the progress window with the catalogue's texts.
  bool BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& partHeader) override;
  // A ".pdf" part (any letter case) is closed as soon as it is complete.
  bool EndPart() override;
  bool EndDocument() override;

  // Overwrites (when configured), closes and deletes every part file, with a
  // pause before each further pass over the files left behind for as long as
  // the OsInterface finds them worth retrying, then removes the directory.
  // A file that stays is reported through the OsInterface. True when
  // nothing is left. Runs on the calling thread; does not pump messages.
  bool WipeFiles();
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
  // Whether a part was stopped because the temporary filesystem would have
  // fallen below its reserve of free space.
  bool StoppedForSpace() const { return stoppedForSpace_; }
  // How free space is measured (xp::DiskSpace; tests replace it).
  using SpaceProbe = std::function<bool(const char* path, std::uint64_t& available, std::uint64_t& total)>;
  void SetSpaceProbe(SpaceProbe probe) { spaceProbe_ = std::move(probe); }
  bool OverwriteOnWipe() const { return overwriteOnWipe_; }
  // The pause between wipe passes that left files behind.
  static constexpr std::uint32_t kRetryDelayMs = 5000;
  // How the wipe pauses (it sleeps; tests note the pauses instead).
  using Pause = std::function<void(std::uint32_t milliseconds)>;
  void SetPause(Pause pause) { pause_ = std::move(pause); }

 private:
  // The wipe; `patient` retries as the OsInterface allows and reports what
  // stays, otherwise one pass and no report.
  bool Wipe(bool patient);
  // Removes one part file through `os` (the C library without one).
  static bool Remove(OsInterface* os, const char* path);
  // Whether `length` more bytes may be written without the temporary
  // filesystem's free space falling below its reserve; measured once per
  // MiB written.
  bool SpaceFor(std::uint32_t length);

  GuiInterface* gui_;
  DocumentState* state_;
  std::uint32_t progress_ = 0;
  std::uint64_t partBytes_ = 0;
  bool noPrompt_;
  bool openingShown_ = false;
  bool started_ = false;

  bool overwriteOnWipe_;
  Pause pause_;
  SpaceProbe spaceProbe_;
  std::uint64_t unmeasured_ = 0;  // bytes written since free space was last measured
  bool stoppedForSpace_ = false;
  DecoderFileWriter* previousActive_;
};

}  // namespace reader
