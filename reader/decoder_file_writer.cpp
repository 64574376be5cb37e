#include "reader/decoder_file_writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "reader/gui_interface.h"
#include "reader/interrupt_cleanup.h"
#include "reader/os_interface.h"

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
  if (!FileDecodeWriter::Write(data, length)) return false;
  partBytes_ += length;
  gui_->ReportBytesWritten(partBytes_);
  return true;
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

void DecoderFileWriter::WipeFiles() { Wipe(/*untilGone=*/true); }

void DecoderFileWriter::WipeFilesBeforeExit() { Wipe(/*untilGone=*/false); }

void DecoderFileWriter::Wipe(bool untilGone) {
  if (overwriteOnWipe_) OverwriteFiles();
  CloseFiles();
  OsInterface* os = OsInterface::Current();
  const std::uint32_t count = PartCount();
  // Without memory for the marks exactly one pass is made.
  std::vector<char> deleted;
  try {
    deleted.assign(count, 0);
  } catch (const std::bad_alloc&) {
    untilGone = false;
  }
  for (;;) {
    bool left = false;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!deleted.empty() && deleted[i] != 0) continue;
      if (os != nullptr ? os->RemoveFile(PartPath(i)) : std::remove(PartPath(i)) == 0) {
        if (!deleted.empty()) deleted[i] = 1;
      } else {
        left = true;
      }
    }
    if (!left || !untilGone) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(retryDelayMs_));
  }
  if (Directory() != nullptr) {
    if (os != nullptr) {
      os->RemoveDirectoryTree(Directory());
    }
  }
  ReleaseDirectory(Directory());
}

}  // namespace reader
