#pragma once
// The encoder's deflate: compressed parts and the tag trailer become zlib
// streams (RFC 1950, 32 KiB window) through it. zlib everywhere; ISA-L's
// igzip where the build found it (Linux), several times faster at a ratio
// close to zlib's level 6.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace codec {

enum class DeflateImplementation { Zlib, Isal };

// Whether this build has the implementation.
bool DeflateImplementationAvailable(DeflateImplementation which);

// An implementation and its level: zlib 0 to 9, ISA-L 0 to 3.
struct DeflateSettings {
  DeflateImplementation implementation = DeflateImplementation::Zlib;
  int level = 6;

  // Fast and still small: ISA-L level 3 where the build has it, zlib level 1
  // otherwise (each about 10 and 4 times as fast as zlib's level 6).
  static DeflateSettings Fast();
};

// One zlib stream. Output leaves through a sink in pieces of at most
// OutputSize bytes. The same calls with the same bytes always give the same
// stream, whatever the sizes of the pieces the input came in, which lets an
// encoder deflate a part once to learn its length and again to store it.
class Deflater {
 public:
  static constexpr std::size_t OutputSize = 256 * 1024;
  // Takes a piece of output; false stops the deflater (it then fails).
  using Sink = std::function<bool(const std::uint8_t* data, std::size_t length)>;

  // A deflater for `settings`, or null when the build lacks the
  // implementation, the level is out of its range or zlib cannot start.
  // Throws std::bad_alloc when there is no memory for its buffers.
  static std::unique_ptr<Deflater> Create(const DeflateSettings& settings);

  virtual ~Deflater() = default;
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Compresses `length` bytes. False when the sink refused or the library
  // failed.
  virtual bool Compress(const std::uint8_t* data, std::size_t length, const Sink& sink) = 0;
  // Ends the input given so far: with `endStream` the stream ends (its
  // checksum is written) and the next Compress starts a fresh one; without,
  // a sync flush makes everything so far decodable and the stream goes on.
  virtual bool End(bool endStream, const Sink& sink) = 0;
  // A deflater in exactly this one's state, to run ahead on a copy; null
  // when the implementation cannot copy its state (ISA-L) or zlib fails.
  virtual std::unique_ptr<Deflater> Copy() const = 0;
  // What the deflater was made with.
  virtual DeflateSettings Settings() const = 0;

 protected:
  Deflater() = default;
};

namespace detail {
// The implementations behind Deflater::Create; null as Create says.
std::unique_ptr<Deflater> NewZlibDeflater(int level);
std::unique_ptr<Deflater> NewIsalDeflater(int level);
}  // namespace detail

}  // namespace codec
