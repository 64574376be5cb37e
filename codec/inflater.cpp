#include "codec/inflater.h"

#include <new>

#include "codec/decode_result.h"
#include "security/digest.h"

namespace codec {

Inflater::Inflater(bool continuous, const Allocator* allocator) : continuous_(continuous) {
  if (allocator != nullptr) {
    stream_.zalloc = allocator->zalloc;
    stream_.zfree = allocator->zfree;
    stream_.opaque = allocator->opaque;
  }
  const int rc = inflateInit(&stream_);
  if (rc == Z_MEM_ERROR) {
    throw std::bad_alloc();
  }
  ready_ = rc == Z_OK;
}

Inflater::~Inflater() {
  if (ready_) {
    inflateEnd(&stream_);
  }
}

bool Inflater::BeginCompressedPart() {
  ++started_;
  if (started_ < 2 || continuous_) {
    return ready_;
  }
  if (!ready_ || inflateReset(&stream_) != Z_OK) {
    return false;
  }
  ended_ = false;
  return true;
}

DecodeResult Inflater::Inflate(const std::uint8_t* data, std::uint32_t length, VPWriter& writer,
                               security::Digest* digest) {
  if (!ready_) {
    return DecodeResult::InflateFailed;
  }
  if (ended_ || length == 0) {
    return DecodeResult::Ok;
  }
  stream_.next_in = const_cast<Bytef*>(data);
  stream_.avail_in = length;
  for (;;) {
    stream_.next_out = output_;
    stream_.avail_out = OutputSize;
    const int rc = inflate(&stream_, Z_SYNC_FLUSH);
    const std::uint32_t produced = OutputSize - stream_.avail_out;
    if (produced > 0) {
      if (!writer.Write(output_, produced)) {
        return DecodeResult::PartOutputRefused;
      }
      if (digest != nullptr) {
        digest->Update(output_, produced);
      }
      totalOut_ += produced;
    }
    switch (rc) {
      case Z_OK:
        break;
      case Z_STREAM_END:
        ended_ = true;
        stream_.avail_in = 0;  // whatever follows the stream is not part of it
        stream_.next_in = nullptr;
        return DecodeResult::Ok;
      case Z_BUF_ERROR:
        // No progress. With all input taken and nothing held back this is
        // the normal end of the input; with input left it is a dead end.
        if (stream_.avail_in == 0) {
          stream_.next_in = nullptr;
          return DecodeResult::Ok;
        }
        return DecodeResult::OutOfMemory;
      case Z_MEM_ERROR:
        return DecodeResult::OutOfMemory;
      default:
        return DecodeResult::InflateFailed;
    }
    // A full output area may leave output inside zlib even when all input is
    // taken: go round again until an area comes back with room to spare.
    if (stream_.avail_out != 0 && stream_.avail_in == 0) {
      stream_.next_in = nullptr;
      return DecodeResult::Ok;
    }
  }
}

}  // namespace codec
