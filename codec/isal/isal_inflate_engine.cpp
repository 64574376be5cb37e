// The zlib-format inflater over ISA-L's igzip (built only when CMake found
// libisal). zlib is the reference, and this engine gives zlib's answers, not
// just zlib's bytes:
//
// - The two header bytes are checked here as zlib checks them (header check
//   value, method 8, window up to 32 KiB) before igzip sees the deflate data;
//   igzip then verifies the Adler-32 trailer itself. A stream that asks for a
//   smaller window, or names a preset dictionary, goes to zlib from the start:
//   only zlib knows which far distances it accepts there, and zlib refuses a
//   dictionary only once it has read the dictionary's id.
// - igzip decodes up to three literals from one table entry and, when the
//   input ends inside such an entry, keeps all of them back until more input
//   comes; zlib hands out every symbol whose bits are in. igzip also checks
//   some damaged block headers less strictly than zlib. So the engine keeps a
//   copy of the stream's input (streams up to kRetainLimit bytes) and, when a
//   part's input ends in mid-stream or igzip reports damage, replays that
//   input through zlib, hands out what zlib gives beyond what already came
//   out, and lets zlib carry the rest of the stream. Streams above the limit
//   stay with igzip; for them a part that ends in mid-stream may lack its
//   last one or two bytes.
// - igzip also notices some damage a few symbols later than zlib. While a
//   replay is possible, the last kHoldBack bytes of igzip's output stay here
//   until the next call confirms them, so the replay decides about them.
// - igzip first decodes into its own buffer and, on a data error, passes on
//   only what fits in the caller's room; Inflater's output area is larger
//   than that buffer, so everything before the error comes out.
// - Memory comes through the allocation hooks in two steps like zlib's: the
//   stream record when the stream is set up, igzip's state (tables and
//   history) when the first data arrives. The copy of the input is ordinary
//   heap memory, wiped like the rest when it is released.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <isa-l/igzip_lib.h>

#include "codec/inflate_engine.h"
#include "security/secure_wipe.h"

namespace codec {
namespace detail {
namespace {

// Largest stream (compressed bytes) whose input is kept for a replay.
constexpr std::uint64_t kRetainLimit = 8u << 20;
// Output of igzip kept back until the next call, while a replay is possible.
constexpr std::uint32_t kHoldBack = 8u << 10;

class IsalEngine final : public InflateEngine {
 public:
  explicit IsalEngine(const InflateAllocator* allocator) : allocator_(StreamAllocator(allocator)) {
    record_ = static_cast<Record*>(Allocate(sizeof(Record)));
    if (record_ == nullptr) throw std::bad_alloc();
    std::memset(record_, 0, sizeof(Record));
  }

  ~IsalEngine() override {
    Release(record_->decoder);
    Release(record_);
    security::SecureWipe(pending_, sizeof pending_);
  }

  bool Reset() override {
    if (record_->decoder != nullptr) isal_inflate_reset(record_->decoder);
    record_->headerBytes = 0;
    record_->headerChecked = false;
    zlib_.reset();
    retained_.clear();
    retaining_ = true;
    given_ = 0;
    pendingLength_ = 0;
    replaying_ = false;
    finished_ = false;
    return true;
  }

  void ExpectInput(std::uint64_t bytes) override {
    if (!retaining_) return;
    if (retained_.size() + bytes > kRetainLimit) {
      StopRetaining();
    } else {
      retained_.reserve(retained_.size() + static_cast<std::size_t>(bytes));
    }
  }

  Status Run(const std::uint8_t* in, std::uint32_t inLength, std::uint8_t* out, std::uint32_t outLength,
             Progress& progress) override {
    progress = Progress{};
    Record& r = *record_;
    while (r.headerBytes < 2 && progress.consumed < inLength) {
      Retain(in + progress.consumed, 1);
      r.header[r.headerBytes++] = in[progress.consumed++];
    }
    if (r.headerBytes < 2) return Settled(Status::NoProgress, progress);
    if (!r.headerChecked) {
      const Status header = CheckHeader(out, outLength);
      if (header != Status::Ok) return header;
      r.headerChecked = true;
    }
    if (replaying_) {
      const Status status = Replay(out, outLength, progress);
      if (replaying_ || progress.full || (status != Status::Ok && status != Status::NoProgress)) {
        return Settled(status, progress);
      }
    }
    if (zlib_) {
      Progress step;
      const Status status = zlib_->Run(in + progress.consumed, inLength - progress.consumed, out + progress.produced,
                                       outLength - progress.produced, step);
      progress.consumed += step.consumed;
      progress.produced += step.produced;
      progress.full = step.full;
      given_ += step.produced;
      return Settled(status, progress);
    }
    if (r.decoder == nullptr) {
      r.decoder = static_cast<inflate_state*>(Allocate(sizeof(inflate_state)));
      if (r.decoder == nullptr) return Status::NoMemory;
      isal_inflate_init(r.decoder);
      // The header was read above; igzip checks the Adler-32 trailer.
      r.decoder->crc_flag = ISAL_ZLIB_NO_HDR_VER;
    }
    // What was kept back last time goes first.
    const std::uint32_t kept = pendingLength_;
    std::memcpy(out, pending_, kept);
    pendingLength_ = 0;
    inflate_state& d = *r.decoder;
    d.next_in = const_cast<std::uint8_t*>(in + progress.consumed);
    d.avail_in = inLength - progress.consumed;
    d.next_out = out + kept;
    d.avail_out = outLength - kept;
    const int rc = isal_inflate(&d);
    const std::uint32_t taken = inLength - progress.consumed - d.avail_in;
    const std::uint32_t total = outLength - d.avail_out;
    progress.full = d.avail_out == 0;
    d.next_in = nullptr;
    d.avail_in = 0;
    d.next_out = nullptr;
    d.avail_out = 0;
    Retain(in + progress.consumed, taken);
    progress.consumed += taken;
    if (rc < 0 || rc == ISAL_NEED_DICT) {
      if (!retaining_) {
        progress.produced = total;
        given_ += total;
        return Status::Failed;
      }
      // Damage: zlib answers for everything not handed out yet.
      const Status start = StartReplay();
      if (start != Status::Ok) return start;
      const std::uint32_t consumed = progress.consumed;
      const Status status = Replay(out, outLength, progress);
      progress.consumed = consumed;
      return Settled(status, progress);
    }
    if (d.block_state == ISAL_BLOCK_FINISH) {
      finished_ = true;
      progress.produced = total;
      given_ += total;
      return Status::StreamEnd;
    }
    const std::uint32_t keep = retaining_ ? std::min(kHoldBack, total) : 0;
    std::memcpy(pending_, out + total - keep, keep);
    pendingLength_ = keep;
    progress.produced = total - keep;
    given_ += progress.produced;
    return Settled(Status::NoProgress, progress);
  }

  Status Flush(std::uint8_t* out, std::uint32_t outLength, Progress& progress) override {
    progress = Progress{};
    if (!record_->headerChecked || finished_) return Status::NoProgress;
    if (!replaying_) {
      // zlib never holds anything back, and igzip has nothing until it
      // started.
      if (zlib_ || record_->decoder == nullptr) return Status::NoProgress;
      if (!retaining_) {
        // Too long to replay: what igzip gave is all there is.
        std::memcpy(out, pending_, pendingLength_);
        progress.produced = pendingLength_;
        given_ += pendingLength_;
        pendingLength_ = 0;
        return Settled(Status::NoProgress, progress);
      }
      const Status start = StartReplay();
      if (start != Status::Ok) return start;
    }
    return Settled(Replay(out, outLength, progress), progress);
  }

 private:
  struct Record {
    std::uint8_t header[2];
    std::uint32_t headerBytes;
    bool headerChecked;
    inflate_state* decoder;
  };

  // NoProgress only when nothing happened at all; otherwise `status`.
  static Status Settled(Status status, const Progress& progress) {
    if (status == Status::NoProgress && (progress.consumed != 0 || progress.produced != 0)) return Status::Ok;
    return status;
  }

  // zlib's checks of the two header bytes, in zlib's order (all of them end
  // in the same result, a stream that is not valid).
  Status CheckHeader(std::uint8_t* out, std::uint32_t outLength) {
    const std::uint32_t cmf = record_->header[0], flags = record_->header[1];
    if ((cmf * 256 + flags) % 31 != 0) return Status::Failed;
    if ((cmf & 0x0F) != Z_DEFLATED) return Status::Failed;
    const std::uint32_t windowBits = (cmf >> 4) + 8;
    if (windowBits > MAX_WBITS) return Status::Failed;
    const bool dictionary = (flags & 0x20) != 0;
    if (windowBits == MAX_WBITS && !dictionary) return Status::Ok;
    const Status start = StartZlib();
    if (start != Status::Ok) return start;
    StopRetaining();
    Progress step;
    const Status status = zlib_->Run(record_->header, 2, out, outLength, step);
    return status == Status::NoProgress ? Status::Ok : status;
  }

  Status StartZlib() {
    try {
      zlib_ = NewZlibEngine(&allocator_);
    } catch (const std::bad_alloc&) {
      return Status::NoMemory;
    }
    return zlib_ ? Status::Ok : Status::Failed;
  }

  // A fresh zlib stream is to read the kept input again; what already came
  // out is skipped, and what igzip kept back is dropped.
  Status StartReplay() {
    const Status start = StartZlib();
    if (start != Status::Ok) return start;
    replaying_ = true;
    replayAt_ = 0;
    skip_ = given_;
    pendingLength_ = 0;
    return Status::Ok;
  }

  // Feeds the kept input to zlib, dropping the first skip_ bytes it gives
  // (the output area serves as scratch for them). When all of it is read,
  // zlib carries the stream on its own.
  Status Replay(std::uint8_t* out, std::uint32_t outLength, Progress& progress) {
    progress.full = false;
    for (;;) {
      Progress step;
      const Status status = zlib_->Run(retained_.data() + replayAt_, static_cast<std::uint32_t>(retained_.size() - replayAt_),
                                       out + progress.produced, outLength - progress.produced, step);
      replayAt_ += step.consumed;
      const auto dropped = static_cast<std::uint32_t>(std::min<std::uint64_t>(skip_, step.produced));
      if (dropped != 0) {
        std::memmove(out + progress.produced, out + progress.produced + dropped, step.produced - dropped);
        skip_ -= dropped;
      }
      progress.produced += step.produced - dropped;
      given_ += step.produced - dropped;
      if (status != Status::Ok && status != Status::NoProgress) {
        finished_ = status == Status::StreamEnd;
        EndReplay();
        return status;
      }
      if (step.full) {
        if (progress.produced == outLength) {
          progress.full = true;
          return Status::Ok;
        }
        continue;  // the area held only skipped bytes
      }
      EndReplay();  // all kept input read, all output out
      return Status::NoProgress;
    }
  }

  void EndReplay() {
    replaying_ = false;
    StopRetaining();
  }

  void Retain(const std::uint8_t* data, std::uint32_t length) {
    if (!retaining_ || length == 0) return;
    if (retained_.size() + length > kRetainLimit) {
      StopRetaining();
      return;
    }
    retained_.insert(retained_.end(), data, data + length);
  }

  void StopRetaining() {
    retaining_ = false;
    Retained().swap(retained_);
  }

  void* Allocate(std::size_t size) { return allocator_.zalloc(allocator_.opaque, 1, static_cast<uInt>(size)); }

  void Release(void* p) {
    if (p != nullptr) allocator_.zfree(allocator_.opaque, p);
  }

  using Retained = std::vector<std::uint8_t, security::WipingAllocator<std::uint8_t>>;

  InflateAllocator allocator_;
  Record* record_ = nullptr;
  // Carries the stream when zlib answers for it (see the top of the file).
  std::unique_ptr<InflateEngine> zlib_;
  Retained retained_;  // the stream's input so far
  bool retaining_ = true;
  std::uint64_t given_ = 0;  // bytes of this stream handed out
  std::uint8_t pending_[kHoldBack];
  std::uint32_t pendingLength_ = 0;
  bool replaying_ = false;
  std::size_t replayAt_ = 0;
  std::uint64_t skip_ = 0;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<InflateEngine> NewIsalEngine(const InflateAllocator* allocator) {
  return std::make_unique<IsalEngine>(allocator);
}

}  // namespace detail
}  // namespace codec
