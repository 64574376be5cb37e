#include "reader/decoder_file_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "reader/gui_interface.h"
#include "reader/interrupt_cleanup.h"
#include "reader/os_interface.h"
#include "source/xp/file_system.h"

namespace reader {

namespace {

bool EndsWithPdf(const std::string& path) {
  if (path.size() < 4) return false;
  const char* tail = path.c_str() + path.size() - 4;
  return tail[0] == '.' && (tail[1] | 0x20) == 'p' && (tail[2] | 0x20) == 'd' && (tail[3] | 0x20) == 'f';
}

DecoderFileWriter* g_active = nullptr;

}  // namespace

DecoderFileWriter* DecoderFileWriter::Active() { return g_active; }

DecoderFileWriter::DecoderFileWriter(GuiInterface& gui, codec::FileWriter& inner, const char* directory,
                                     DocumentState& state, bool noPrompt)
    : FileDecodeWriter(inner, directory, /*keepOpen=*/true),
      gui_(&gui),
      state_(&state),
      noPrompt_(noPrompt),
      overwriteOnWipe_(std::getenv("VAULTPOST_WIPE_FILES") != nullptr),
      previousActive_(g_active) {
  GuardDirectory(directory, overwriteOnWipe_);
  g_active = this;
}

DecoderFileWriter::~DecoderFileWriter() {
  if (g_active == this) g_active = previousActive_;
  ReleaseDirectory(Directory());
}

bool DecoderFileWriter::BeginDocument(const codec::DocumentHeader& header, std::uint32_t partCount) {
  openingShown_ = false;
  started_ = false;
  progress_ = 0;
  gui_->SetProgressRange(static_cast<std::int32_t>(partCount + 1u));
  gui_->SetProgressPosition(0);
  return FileDecodeWriter::BeginDocument(header, partCount);
}

bool DecoderFileWriter::Write(const void* data, std::uint32_t length) {
  if (gui_->CancelRequested() || !SpaceFor(length)) return false;
  if (!FileDecodeWriter::Write(data, length)) return false;
  partBytes_ += length;
  gui_->ReportBytesWritten(partBytes_);
  return true;
}

bool DecoderFileWriter::SpaceFor(std::uint32_t length) {
  // Free space is measured again after each MiB, so a measurement must leave
  // the reserve and one MiB more.
  constexpr std::uint64_t kMeasureEvery = 1u << 20;
  constexpr std::uint64_t kLargestReserve = 64u << 20;
  unmeasured_ += length;
  if (unmeasured_ < kMeasureEvery && !stoppedForSpace_) return true;
  unmeasured_ = 0;
  std::uint64_t available = 0, total = 0;
  const bool known = spaceProbe_ ? spaceProbe_(Directory(), available, total)
                                 : xp::DiskSpace(Directory(), available, total);
  if (!known) return true;  // a filesystem that cannot tell is written as before
  const std::uint64_t reserve = std::min(kLargestReserve, total / 10);
  stoppedForSpace_ = available < reserve + kMeasureEvery + length;
  return !stoppedForSpace_;
}

bool DecoderFileWriter::BeginPart(const char* name, const codec::VPCodecBase::EncodedHeader& partHeader) {
  if (!started_) {
    if (!noPrompt_) gui_->HidePrompt();
    MessageCatalogue& texts = state_->catalogue;
    openingShown_ = gui_->ShowOpening(texts.Text(MessageCatalogue::OpeningTitle),
                                      texts.Text(MessageCatalogue::OpeningText));
    started_ = true;
  }
  ++progress_;
  partBytes_ = 0;
  gui_->SetProgressPosition(static_cast<std::int32_t>(progress_));
  if (gui_->CancelRequested()) return false;
  return FileDecodeWriter::BeginPart(name, partHeader);
}

bool DecoderFileWriter::EndPart() {
  if (!FileDecodeWriter::EndPart()) return false;
  PartFile& part = Entry(Current() - 1);
  if (KeepOpen() && EndsWithPdf(part.Path())) return part.Close();
  return true;
}

bool DecoderFileWriter::EndDocument() {
  ++progress_;
  gui_->SetProgressPosition(static_cast<std::int32_t>(progress_));
  return true;
}

bool DecoderFileWriter::WipeFiles() { return Wipe(/*patient=*/true); }

void DecoderFileWriter::WipeFilesBeforeExit() { Wipe(/*patient=*/false); }

bool DecoderFileWriter::Wipe(bool patient) {
  if (overwriteOnWipe_) OverwriteFiles();
  CloseFiles();
  OsInterface* os = OsInterface::Current();
  const std::uint32_t count = PartCount();
  enum class Mark : std::uint8_t { Present, Removed, GivenUp };
  std::vector<Mark> marks;
  try {
    marks.assign(count, Mark::Present);
  } catch (const std::bad_alloc&) {
    // Without the marks one pass is all there is.
    for (std::uint32_t i = 0; i < count; ++i) Remove(os, PartPath(i));
  }
  for (std::uint32_t pass = 1; !marks.empty(); ++pass) {
    bool retry = false;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (marks[i] != Mark::Present) continue;
      if (Remove(os, PartPath(i))) {
        marks[i] = Mark::Removed;
        continue;
      }
      const int error = errno;
      if (os == nullptr || os->RetryRemoval(pass, error)) {
        retry = true;
      } else {
        marks[i] = Mark::GivenUp;
      }
    }
    if (!retry || !patient) break;
    if (pause_) {
      pause_(kRetryDelayMs);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(kRetryDelayMs));
    }
  }
  if (Directory() != nullptr && os != nullptr) os->RemoveDirectoryTree(Directory());
  ReleaseDirectory(Directory());

  // What the directory's removal did not take with it is named to the user
  // (not while the process is being ended).
  bool clean = marks.size() == count;
  for (std::uint32_t i = 0; patient && i < marks.size(); ++i) {
    if (marks[i] != Mark::GivenUp || Remove(os, PartPath(i))) continue;
    clean = false;
    const int error = errno;
    if (os != nullptr) os->ReportRemovalFailure(*gui_, PartPath(i), error);
  }
  return clean;
}

bool DecoderFileWriter::Remove(OsInterface* os, const char* path) {
  return os != nullptr ? os->RemoveFile(path) : std::remove(path) == 0;
}

}  // namespace reader
