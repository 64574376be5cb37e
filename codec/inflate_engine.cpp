#include "codec/inflate_engine.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "security/secure_wipe.h"

namespace codec {
namespace detail {
namespace {

class ZlibEngine final : public InflateEngine {
 public:
  explicit ZlibEngine(const InflateAllocator* allocator) {
    const InflateAllocator hooks = StreamAllocator(allocator);
    stream_.zalloc = hooks.zalloc;
    stream_.zfree = hooks.zfree;
    stream_.opaque = hooks.opaque;
    const int rc = inflateInit(&stream_);
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    ready_ = rc == Z_OK;
  }
  ~ZlibEngine() override {
    if (ready_) inflateEnd(&stream_);
  }
  bool Ready() const { return ready_; }

  bool Reset() override { return inflateReset(&stream_) == Z_OK; }

  Status Run(const std::uint8_t* in, std::uint32_t inLength, std::uint8_t* out, std::uint32_t outLength,
             Progress& progress) override {
    stream_.next_in = const_cast<Bytef*>(in);
    stream_.avail_in = inLength;
    stream_.next_out = out;
    stream_.avail_out = outLength;
    const int rc = inflate(&stream_, Z_SYNC_FLUSH);
    progress.consumed = inLength - stream_.avail_in;
    progress.produced = outLength - stream_.avail_out;
    progress.full = stream_.avail_out == 0;
    stream_.next_in = nullptr;  // the caller's buffers are not kept
    stream_.avail_in = 0;
    stream_.next_out = nullptr;
    stream_.avail_out = 0;
    switch (rc) {
      case Z_OK: return Status::Ok;
      case Z_STREAM_END: return Status::StreamEnd;
      case Z_BUF_ERROR: return Status::NoProgress;
      case Z_MEM_ERROR: return Status::NoMemory;
      default: return Status::Failed;  // data errors, and a stream that needs a dictionary
    }
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

// Each block of the default hooks carries its size in front (16 bytes, so
// that the block keeps malloc's alignment), for the wipe.
constexpr std::size_t kSizeHeader = 16;

voidpf WipingAlloc(voidpf, uInt items, uInt size) {
  const std::size_t bytes = std::size_t{items} * size;
  if (size != 0 && bytes / size != items) return nullptr;
  auto* block = static_cast<std::uint8_t*>(std::malloc(bytes + kSizeHeader));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  return block + kSizeHeader;
}

void WipingFree(voidpf, voidpf address) {
  if (address == nullptr) return;
  std::uint8_t* block = static_cast<std::uint8_t*>(address) - kSizeHeader;
  std::size_t bytes = 0;
  std::memcpy(&bytes, block, sizeof bytes);
  security::SecureWipe(block, bytes + kSizeHeader);
  std::free(block);
}

bool ZlibRequested() {
  const char* value = std::getenv("VAULTPOST_ZLIB_INFLATE");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

// -1: no test choice; otherwise an InflateImplementation.
std::atomic<int> forced{-1};

}  // namespace

InflateAllocator StreamAllocator(const InflateAllocator* allocator) {
  if (allocator != nullptr && allocator->zalloc != nullptr && allocator->zfree != nullptr) return *allocator;
  return InflateAllocator{&WipingAlloc, &WipingFree, nullptr};
}

std::unique_ptr<InflateEngine> NewZlibEngine(const InflateAllocator* allocator) {
  auto engine = std::make_unique<ZlibEngine>(allocator);
  if (!engine->Ready()) return nullptr;
  return engine;
}

std::unique_ptr<InflateEngine> NewSelectedEngine(const InflateAllocator* allocator) {
  if (SelectedInflateImplementation() == InflateImplementation::Isal) return NewIsalEngine(allocator);
  return NewZlibEngine(allocator);
}

#ifndef VP_HAVE_ISAL
std::unique_ptr<InflateEngine> NewIsalEngine(const InflateAllocator* allocator) { return NewZlibEngine(allocator); }
#endif

}  // namespace detail

bool InflateImplementationAvailable(InflateImplementation which) {
#ifdef VP_HAVE_ISAL
  static_cast<void>(which);
  return true;
#else
  return which == InflateImplementation::Zlib;
#endif
}

InflateImplementation SelectedInflateImplementation() {
  const int choice = detail::forced.load(std::memory_order_relaxed);
  if (choice >= 0) return static_cast<InflateImplementation>(choice);
  static const InflateImplementation preferred =
      InflateImplementationAvailable(InflateImplementation::Isal) && !detail::ZlibRequested()
          ? InflateImplementation::Isal
          : InflateImplementation::Zlib;
  return preferred;
}

void ForceInflateImplementation(std::optional<InflateImplementation> which) {
  if (which && !InflateImplementationAvailable(*which)) which = InflateImplementation::Zlib;
  detail::forced.store(which ? static_cast<int>(*which) : -1, std::memory_order_relaxed);
}

const char* InflateImplementationName(InflateImplementation which) {
  return which == InflateImplementation::Isal ? "isa-l" : "zlib";
}

}  // namespace codec
