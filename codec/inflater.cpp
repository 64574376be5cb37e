#include "codec/inflater.h"

#include "codec/decode_result.h"
#include "codec/digest_feed.h"

namespace codec {

using Status = detail::InflateEngine::Status;

Inflater::Inflater(bool continuous, const Allocator* allocator)
    : implementation_(continuous ? InflateImplementation::Zlib : SelectedInflateImplementation()),
      continuous_(continuous),
      input_(InputSize),
      output_(OutputSize) {
  engine_ = implementation_ == InflateImplementation::Isal ? detail::NewIsalEngine(allocator)
                                                           : detail::NewZlibEngine(allocator);
}

Inflater::~Inflater() = default;

bool Inflater::BeginCompressedPart() {
  ++started_;
  if (started_ < 2 || continuous_) {
    return Ready();
  }
  if (!Ready() || !engine_->Reset()) {
    return false;
  }
  ended_ = false;
  return true;
}

std::uint8_t* Inflater::Area(DigestFeed* digest) {
  // With a helper hashing, the output goes straight into its next slot.
  std::uint8_t* slot = digest != nullptr ? digest->Acquire() : nullptr;
  return slot != nullptr ? slot : output_.get();
}

bool Inflater::Deliver(const std::uint8_t* area, std::uint32_t produced, VPWriter& writer, DigestFeed* digest) {
  if (area != output_.get()) {
    const bool written = produced == 0 || writer.Write(area, produced);
    digest->Commit(written ? produced : 0);
    totalOut_ += written ? produced : 0;
    return written;
  }
  if (produced == 0) {
    return true;
  }
  if (!writer.Write(area, produced)) {
    return false;
  }
  if (digest != nullptr) {
    digest->Update(area, produced);
  }
  totalOut_ += produced;
  return true;
}

void Inflater::ExpectInput(std::uint64_t bytes) {
  if (Ready() && !ended_) {
    engine_->ExpectInput(bytes);
  }
}

DecodeResult Inflater::EndOfInput(VPWriter& writer, DigestFeed* digest) {
  if (!Ready()) {
    return DecodeResult::InflateFailed;
  }
  if (ended_) {
    return DecodeResult::Ok;
  }
  for (;;) {
    detail::InflateEngine::Progress progress;
    std::uint8_t* area = Area(digest);
    const Status status = engine_->Flush(area, OutputSize, progress);
    if (!Deliver(area, progress.produced, writer, digest)) {
      return DecodeResult::PartOutputRefused;
    }
    switch (status) {
      case Status::Ok:
        break;
      case Status::StreamEnd:
        ended_ = true;
        return DecodeResult::Ok;
      case Status::NoProgress:
        return DecodeResult::Ok;
      case Status::NoMemory:
        return DecodeResult::OutOfMemory;
      case Status::Failed:
        return DecodeResult::InflateFailed;
    }
    if (!progress.full) {
      return DecodeResult::Ok;
    }
  }
}

DecodeResult Inflater::Inflate(const std::uint8_t* data, std::uint32_t length, VPWriter& writer,
                               DigestFeed* digest) {
  if (!Ready()) {
    return DecodeResult::InflateFailed;
  }
  if (ended_ || length == 0) {
    return DecodeResult::Ok;
  }
  for (;;) {
    detail::InflateEngine::Progress progress;
    std::uint8_t* area = Area(digest);
    const Status status = engine_->Run(data, length, area, OutputSize, progress);
    data += progress.consumed;
    length -= progress.consumed;
    if (!Deliver(area, progress.produced, writer, digest)) {
      return DecodeResult::PartOutputRefused;
    }
    switch (status) {
      case Status::Ok:
        break;
      case Status::StreamEnd:
        ended_ = true;  // whatever follows the stream is not part of it
        return DecodeResult::Ok;
      case Status::NoProgress:
        // With all input taken and nothing held back this is the normal end
        // of the input; with input left it is a dead end.
        return length == 0 ? DecodeResult::Ok : DecodeResult::OutOfMemory;
      case Status::NoMemory:
        return DecodeResult::OutOfMemory;
      case Status::Failed:
        return DecodeResult::InflateFailed;
    }
    // A full output area may leave output inside the stream even when all
    // input is taken: go round again until an area comes back with room.
    if (!progress.full && length == 0) {
      return DecodeResult::Ok;
    }
  }
}

}  // namespace codec
