#pragma once
// The inflater of the decode pipeline: compressed parts and the tag trailer
// pass through it.

#include <cstdint>
#include <memory>

#include "codec/decode_result.h"
#include "codec/inflate_engine.h"
#include "codec/vp_writer.h"
#include "security/secure_wipe.h"

namespace codec {

class DigestFeed;

// One inflate stream (zlib format, 32 KiB window) that lives through every
// part of a document. Only an active inflater is fed. Without the continuous
// flag each compressed part is a stream of its own and the stream is reset
// from the second compressed part on; with it, the compressed parts together
// form one stream. The implementation is the one selected when the inflater
// is made (see codec/inflate_engine.h), except that a continuous stream
// always runs through zlib: its parts end in mid-stream, where zlib's own
// answer is the reference.
class Inflater {
 public:
  // Bytes of stored data decrypted and fed at a time.
  static constexpr std::uint32_t InputSize = 256 * 1024;
  // Largest piece of inflated output handed to a writer. At least ISA-L's
  // own output buffer (twice its 32 KiB window and a little), so that all
  // output before a damaged spot comes out of either implementation.
  static constexpr std::uint32_t OutputSize = 256 * 1024;

  using Allocator = InflateAllocator;

  // Sets up the stream. Throws std::bad_alloc when there is no memory for it;
  // any other set-up failure leaves an inflater that is not Ready() and
  // fails every inflate and reset.
  explicit Inflater(bool continuous, const Allocator* allocator = nullptr);
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool Ready() const { return engine_ != nullptr; }
  bool Continuous() const { return continuous_; }
  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  // Compressed parts begun so far.
  std::uint32_t Started() const { return started_; }
  // True once the stream reached its end; later input is ignored.
  bool StreamEnded() const { return ended_; }
  InflateImplementation Implementation() const { return implementation_; }

  // Counts a compressed part as begun and, from the second one on unless the
  // stream is continuous, starts a fresh stream (pending input and output are
  // discarded). False when the reset failed.
  bool BeginCompressedPart();

  // The buffer of InputSize bytes that stored data is read into and
  // decrypted in.
  std::uint8_t* Input() { return input_.get(); }

  // Inflates `length` bytes at `data` with a sync flush and hands every
  // produced piece (at most OutputSize bytes) to `writer` and, when given, to
  // `digest`. It keeps inflating as long as an output area comes back full,
  // so nothing that the stream still holds is left for the next part.
  // Returns Ok, or PartOutputRefused when the writer refused,
  // OutOfMemory when memory ran out or no progress was possible with input
  // pending, and InflateFailed for invalid data. Bytes after the end of the
  // stream are ignored.
  DecodeResult Inflate(const std::uint8_t* data, std::uint32_t length, VPWriter& writer, DigestFeed* digest);

  // About `bytes` more bytes of input of the current part will follow (a
  // hint that saves the ISA-L implementation a copy of long streams).
  void ExpectInput(std::uint64_t bytes);

  // The current part's input ends here: hands out, like Inflate, what zlib
  // would have given for the input so far and did not come out yet (ISA-L
  // keeps up to two bytes back when input ends in mid-stream). Returns the
  // codes of Inflate.
  DecodeResult EndOfInput(VPWriter& writer, DigestFeed* digest);

  // Total inflated bytes handed out since construction.
  std::uint64_t TotalOut() const { return totalOut_; }

 private:
  // The area to inflate into: the digest helper's next slot, or output_.
  std::uint8_t* Area(DigestFeed* digest);
  // Hands `produced` bytes of `area` to the writer and the digest.
  bool Deliver(const std::uint8_t* area, std::uint32_t produced, VPWriter& writer, DigestFeed* digest);

  InflateImplementation implementation_;
  std::unique_ptr<detail::InflateEngine> engine_;
  bool active_ = false;
  bool continuous_;
  bool ended_ = false;
  std::uint32_t started_ = 0;
  std::uint64_t totalOut_ = 0;
  // Decoded plaintext passes through both: wiped when the inflater goes.
  security::WipedBytes input_;
  security::WipedBytes output_;
};

}  // namespace codec
