#pragma once
// The zlib inflater of the decode pipeline: compressed parts and the tag
// trailer pass through it.

#include <cstdint>

#include <zlib.h>

#include "codec/decode_result.h"
#include "codec/vp_writer.h"

namespace security {
class Digest;
}

namespace codec {

// One inflate stream (zlib format, default window) that lives through every
// part of a document. Only an active inflater is fed. Without the continuous
// flag each compressed part is a stream of its own and the stream is reset
// from the second compressed part on; with it, the compressed parts together
// form one stream.
class Inflater {
 public:
  // Bytes of stored data decrypted and fed at a time.
  static constexpr std::uint32_t InputSize = 2048;
  // Largest piece of inflated output handed to a writer.
  static constexpr std::uint32_t OutputSize = 4096;

  // zlib's allocation hooks, so that tests can make allocations fail. Null
  // functions select the library's own.
  struct Allocator {
    alloc_func zalloc = nullptr;
    free_func zfree = nullptr;
    void* opaque = nullptr;
  };

  // Initialises the stream. Throws std::bad_alloc when zlib has no memory for
  // it; any other initialisation failure leaves an inflater that is not
  // Ready() and fails every inflate and reset.
  explicit Inflater(bool continuous, const Allocator* allocator = nullptr);
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool Ready() const { return ready_; }
  bool Continuous() const { return continuous_; }
  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  // Compressed parts begun so far.
  std::uint32_t Started() const { return started_; }
  // True once the stream reached its end; later input is ignored.
  bool StreamEnded() const { return ended_; }

  // Counts a compressed part as begun and, from the second one on unless the
  // stream is continuous, starts a fresh stream (pending input and output are
  // discarded). False when the reset failed.
  bool BeginCompressedPart();

  // The buffer that stored data is read into and decrypted in.
  std::uint8_t* Input() { return input_; }

  // Inflates `length` bytes at `data` with a sync flush and hands every
  // produced piece (at most OutputSize bytes) to `writer` and, when given, to
  // `digest`. It keeps inflating as long as an output area comes back full,
  // so nothing that zlib still holds is left for the next part. Returns 0, or
  // DecodeResult::PartOutputRefused when the writer refused, OutOfMemory when
  // zlib ran out of memory or could make no progress with input pending, and
  // InflateFailed for any other zlib error. Bytes after the end of the stream
  // are ignored.
  DecodeResult Inflate(const std::uint8_t* data, std::uint32_t length, VPWriter& writer,
                       security::Digest* digest);

  // Total inflated bytes handed out since construction.
  std::uint64_t TotalOut() const { return totalOut_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
  bool active_ = false;
  bool continuous_;
  bool ended_ = false;
  std::uint32_t started_ = 0;
  std::uint64_t totalOut_ = 0;
  std::uint8_t input_[InputSize] = {};
  std::uint8_t output_[OutputSize] = {};
};

}  // namespace codec
