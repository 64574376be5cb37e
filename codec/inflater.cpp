#include "codec/inflater.h"

#include "codec/decode_result.h"
#include "security/digest.h"

namespace codec {

using Status = detail::InflateEngine::Status;

Inflater::Inflater(bool continuous, const Allocator* allocator)
    : implementation_(continuous ? InflateImplementation::Zlib : SelectedInflateImplementation()),
      continuous_(continuous),
      input_(new std::uint8_t[InputSize]),
      output_(new std::uint8_t[OutputSize]) {
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

bool Inflater::Deliver(std::uint32_t produced, VPWriter& writer, security::Digest* digest) {
  if (produced == 0) {
    return true;
  }
  if (!writer.Write(output_.get(), produced)) {
    return false;
  }
  if (digest != nullptr) {
    digest->Update(output_.get(), produced);
  }
  totalOut_ += produced;
  return true;
}

void Inflater::ExpectInput(std::uint64_t bytes) {
  if (Ready() && !ended_) {
    engine_->ExpectInput(bytes);
  }
}

std::int32_t Inflater::EndOfInput(VPWriter& writer, security::Digest* digest) {
  if (!Ready()) {
    return DecodeResult::InflateFailed;
  }
  if (ended_) {
    return DecodeResult::Ok;
  }
  for (;;) {
    detail::InflateEngine::Progress progress;
    const Status status = engine_->Flush(output_.get(), OutputSize, progress);
    if (!Deliver(progress.produced, writer, digest)) {
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

std::int32_t Inflater::Inflate(const std::uint8_t* data, std::uint32_t length, VPWriter& writer,
                               security::Digest* digest) {
  if (!Ready()) {
    return DecodeResult::InflateFailed;
  }
  if (ended_ || length == 0) {
    return DecodeResult::Ok;
  }
  for (;;) {
    detail::InflateEngine::Progress progress;
    const Status status = engine_->Run(data, length, output_.get(), OutputSize, progress);
    data += progress.consumed;
    length -= progress.consumed;
    if (!Deliver(progress.produced, writer, digest)) {
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
