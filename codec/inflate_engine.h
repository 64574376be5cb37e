#pragma once
// The implementations behind Inflater: zlib everywhere, and ISA-L's igzip
// where the build found it (Linux; never on Windows). Both read the same
// zlib streams and give the same bytes and the same answers for every input,
// damaged and cut-off streams included; ISA-L is about twice as fast. zlib is
// the reference: where igzip's answer could differ (see
// codec/isal/isal_inflate_engine.cpp), the stream is handed over to zlib.

#include <cstdint>
#include <memory>
#include <optional>

#include <zlib.h>

namespace codec {

enum class InflateImplementation { Zlib, Isal };

// Whether this build has the implementation.
bool InflateImplementationAvailable(InflateImplementation which);

// The one place that decides which implementation new inflaters use: ISA-L
// when the build has it, zlib otherwise or when VAULTPOST_ZLIB_INFLATE=1 is
// in the environment (read once), unless a test forced one.
InflateImplementation SelectedInflateImplementation();

// Test hook: inflaters made from now on use `which` (when available);
// std::nullopt gives the choice back.
void ForceInflateImplementation(std::optional<InflateImplementation> which);

const char* InflateImplementationName(InflateImplementation which);

// zlib's allocation hooks, which every implementation takes its memory
// through, so that tests can make allocations fail. Null functions select the
// default hooks, which wipe every block as they free it: a stream's state
// and window hold decoded text.
struct InflateAllocator {
  alloc_func zalloc = nullptr;
  free_func zfree = nullptr;
  void* opaque = nullptr;
};

namespace detail {

// One stream of the zlib format, inflated with sync-flush semantics: each
// Run goes as far as the input and the output room allow.
class InflateEngine {
 public:
  enum class Status {
    Ok,          // progress; more input or more room may bring more
    StreamEnd,   // the stream and its checksum ended; later input is not read
    NoProgress,  // nothing could be done (no input, or none that helps)
    NoMemory,    // an allocation failed
    Failed,      // the data is not a valid zlib stream
  };

  // What one call did.
  struct Progress {
    std::uint32_t consumed = 0;  // input bytes taken
    std::uint32_t produced = 0;  // output bytes written
    bool full = false;           // more output may come without more input
  };

  virtual ~InflateEngine() = default;
  // Starts a fresh stream; false when that failed.
  virtual bool Reset() = 0;
  // Inflates from `in` into `out`.
  virtual Status Run(const std::uint8_t* in, std::uint32_t inLength, std::uint8_t* out, std::uint32_t outLength,
                     Progress& progress) = 0;
  // About `bytes` more input of this stream will follow (a hint).
  virtual void ExpectInput(std::uint64_t bytes) { static_cast<void>(bytes); }
  // The input ends here for now (a part's data is over): hands out what zlib
  // would have given for the input so far and did not come out yet. zlib
  // itself never holds anything back.
  virtual Status Flush(std::uint8_t* out, std::uint32_t outLength, Progress& progress) {
    static_cast<void>(out);
    static_cast<void>(outLength);
    progress = Progress{};
    return Status::NoProgress;
  }
};

// The hooks a stream takes its memory through: `allocator`'s when it names
// its own, the wiping defaults otherwise.
InflateAllocator StreamAllocator(const InflateAllocator* allocator);

// Throw std::bad_alloc when the stream's state cannot be had; null when the
// stream could not be set up for another reason.
std::unique_ptr<InflateEngine> NewZlibEngine(const InflateAllocator* allocator);
std::unique_ptr<InflateEngine> NewIsalEngine(const InflateAllocator* allocator);

// The engine of the selected implementation.
std::unique_ptr<InflateEngine> NewSelectedEngine(const InflateAllocator* allocator);

}  // namespace detail
}  // namespace codec
