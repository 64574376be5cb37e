// The zlib-format deflater over ISA-L's igzip (built only when CMake found
// libisal). igzip writes the zlib wrapper itself (IGZIP_ZLIB: the header for
// a 32 KiB window, the Adler-32 at the end), so its streams are read by any
// zlib inflater. Its output depends on how the input is cut into calls, so
// input is gathered into blocks of InputBlock bytes first: the same bytes
// then always give the same stream, as Deflater promises. Its state holds
// pointers into itself, so it cannot be copied: continuous streams, which
// need a copy to run ahead, use zlib.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <isa-l/igzip_lib.h>

#include "codec/deflater.h"

namespace codec {
namespace {

std::size_t LevelBufferSize(int level) {
  switch (level) {
    case 1:
      return ISAL_DEF_LVL1_DEFAULT;
    case 2:
      return ISAL_DEF_LVL2_DEFAULT;
    case 3:
      return ISAL_DEF_LVL3_DEFAULT;
    default:
      return 0;
  }
}

class IsalDeflater final : public Deflater {
 public:
  static constexpr std::size_t InputBlock = 256 * 1024;

  explicit IsalDeflater(int level) : level_(level) {}

  void Start() {
    levelBuffer_.resize(LevelBufferSize(level_));
    out_.resize(OutputSize);
    in_.resize(InputBlock);
    isal_deflate_init(&stream_);
    Configure();
  }

  bool Compress(const std::uint8_t* data, std::size_t length, const Sink& sink) override {
    while (length > 0) {
      const std::size_t take = std::min(length, in_.size() - pending_);
      std::memcpy(in_.data() + pending_, data, take);
      pending_ += take;
      data += take;
      length -= take;
      if (pending_ == in_.size() && !Feed(sink)) return false;
    }
    return true;
  }

  bool End(bool endStream, const Sink& sink) override {
    if (!endStream) return false;  // no continuous streams here (see above)
    if (!Feed(sink)) return false;
    stream_.next_in = nullptr;
    stream_.avail_in = 0;
    stream_.end_of_stream = 1;
    while (stream_.internal_state.state != ZSTATE_END) {
      if (!Run(sink)) return false;
    }
    isal_deflate_reset(&stream_);
    Configure();
    return true;
  }

  std::unique_ptr<Deflater> Copy() const override { return nullptr; }

  DeflateSettings Settings() const override { return {DeflateImplementation::Isal, level_}; }

 private:
  // Deflates the gathered input.
  bool Feed(const Sink& sink) {
    stream_.next_in = in_.data();
    stream_.avail_in = static_cast<std::uint32_t>(pending_);
    pending_ = 0;
    while (stream_.avail_in > 0) {
      if (!Run(sink)) return false;
    }
    return true;
  }

  void Configure() {
    stream_.level = static_cast<std::uint32_t>(level_);
    stream_.level_buf = levelBuffer_.empty() ? nullptr : levelBuffer_.data();
    stream_.level_buf_size = static_cast<std::uint32_t>(levelBuffer_.size());
    stream_.gzip_flag = IGZIP_ZLIB;
    stream_.flush = NO_FLUSH;
    stream_.end_of_stream = 0;
  }

  bool Run(const Sink& sink) {
    stream_.next_out = out_.data();
    stream_.avail_out = static_cast<std::uint32_t>(out_.size());
    const std::uint32_t before = stream_.avail_in;
    const std::uint32_t stateBefore = stream_.internal_state.state;
    if (isal_deflate(&stream_) != COMP_OK) return false;
    const std::size_t have = out_.size() - stream_.avail_out;
    // A call that neither took input nor gave output nor moved on would
    // repeat forever.
    if (have == 0 && stream_.avail_in == before && stream_.internal_state.state == stateBefore) return false;
    return have == 0 || sink(out_.data(), have);
  }

  int level_;
  isal_zstream stream_{};
  std::vector<std::uint8_t> levelBuffer_;
  std::vector<std::uint8_t> out_;
  std::vector<std::uint8_t> in_;
  std::size_t pending_ = 0;
};

}  // namespace

namespace detail {

std::unique_ptr<Deflater> NewIsalDeflater(int level) {
  if (level < 0 || level > ISAL_DEF_MAX_LEVEL) return nullptr;
  auto deflater = std::make_unique<IsalDeflater>(level);
  deflater->Start();
  return deflater;
}

}  // namespace detail
}  // namespace codec
