#include "codec/deflater.h"

#include <zlib.h>

#include <vector>

namespace codec {
namespace {

// zlib with the format's parameters: deflate, 15-bit window, memory level 8.
class ZlibDeflater final : public Deflater {
 public:
  explicit ZlibDeflater(int level) : level_(level) {}
  ~ZlibDeflater() override {
    if (ready_) deflateEnd(&stream_);
  }

  bool Start() {
    ready_ = deflateInit2(&stream_, level_, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    out_.resize(OutputSize);
    return ready_;
  }

  bool Compress(const std::uint8_t* data, std::size_t length, const Sink& sink) override {
    while (length > 0) {
      // avail_in is 32 bits wide: feed at most 1 GiB at a time.
      const std::size_t piece = length < (1u << 30) ? length : (1u << 30);
      stream_.next_in = const_cast<Bytef*>(data);
      stream_.avail_in = static_cast<uInt>(piece);
      while (stream_.avail_in > 0) {
        if (!Run(Z_NO_FLUSH, sink)) return false;
      }
      data += piece;
      length -= piece;
    }
    return true;
  }

  bool End(bool endStream, const Sink& sink) override {
    const int flush = endStream ? Z_FINISH : Z_SYNC_FLUSH;
    stream_.next_in = nullptr;
    stream_.avail_in = 0;
    for (;;) {
      stream_.next_out = out_.data();
      stream_.avail_out = static_cast<uInt>(out_.size());
      const int rc = deflate(&stream_, flush);
      const std::size_t have = out_.size() - stream_.avail_out;
      if (have > 0 && !sink(out_.data(), have)) return false;
      if (rc == Z_STREAM_END) return deflateReset(&stream_) == Z_OK;
      // A sync flush right after another one has nothing to add.
      if (rc == Z_BUF_ERROR && !endStream) return true;
      if (rc != Z_OK) return false;
      if (!endStream && stream_.avail_out != 0) return true;
    }
  }

  std::unique_ptr<Deflater> Copy() const override {
    auto copy = std::make_unique<ZlibDeflater>(level_);
    copy->out_.resize(OutputSize);
    copy->ready_ = deflateCopy(&copy->stream_, const_cast<z_stream*>(&stream_)) == Z_OK;
    return copy->ready_ ? std::move(copy) : nullptr;
  }

  DeflateSettings Settings() const override { return {DeflateImplementation::Zlib, level_}; }

 private:
  bool Run(int flush, const Sink& sink) {
    stream_.next_out = out_.data();
    stream_.avail_out = static_cast<uInt>(out_.size());
    const int rc = deflate(&stream_, flush);
    if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
    const std::size_t have = out_.size() - stream_.avail_out;
    return have == 0 || sink(out_.data(), have);
  }

  int level_;
  bool ready_ = false;
  z_stream stream_{};
  std::vector<std::uint8_t> out_;
};

}  // namespace

DeflateSettings DeflateSettings::Fast() {
  if (DeflateImplementationAvailable(DeflateImplementation::Isal)) return {DeflateImplementation::Isal, 3};
  return {DeflateImplementation::Zlib, 1};
}

bool DeflateImplementationAvailable(DeflateImplementation which) {
#ifdef VP_HAVE_ISAL
  constexpr bool kIsal = true;
#else
  constexpr bool kIsal = false;
#endif
  return which == DeflateImplementation::Zlib || kIsal;
}

std::unique_ptr<Deflater> Deflater::Create(const DeflateSettings& settings) {
  if (settings.implementation == DeflateImplementation::Isal) return detail::NewIsalDeflater(settings.level);
  return detail::NewZlibDeflater(settings.level);
}

namespace detail {

std::unique_ptr<Deflater> NewZlibDeflater(int level) {
  if (level < 0 || level > 9) return nullptr;
  auto deflater = std::make_unique<ZlibDeflater>(level);
  if (!deflater->Start()) return nullptr;
  return deflater;
}

#ifndef VP_HAVE_ISAL
std::unique_ptr<Deflater> NewIsalDeflater(int) { return nullptr; }
#endif

}  // namespace detail
}  // namespace codec
