// Faults injected through the codec's seams into one real document, at every
// byte or allocation: a writer that fails at byte N, a source that ends or
// errors at byte N (block and positioned forms), zlib allocations that fail
// in the decoder's and the trailer's inflater, and C++ allocations that fail
// while the tag list is parsed. Each gives its exact result code, and the
// decoder calls nothing on its writer after the failure. (Which text the
// reader shows for each code is the message catalogue's test.)

#include <atomic>
#include <new>

#include "codec/byte_order.h"
#include "codec/inspect_document.h"
#include "decode_testing.h"
#include "reader/message_catalogue.h"

// C++ allocations fail on cue: while armed with n, the allocation after the
// next n ones throws std::bad_alloc (and every later one, until disarmed).
namespace {
std::atomic<long> gAllocationsLeft{-1};  // -1: never fail

// Out of line, so that the compiler does not pair a new-expression with a
// free() it can see.
[[gnu::noinline]] void* TakeBlock(std::size_t size) {
  long left = gAllocationsLeft.load();
  while (left > 0 && !gAllocationsLeft.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void GiveBlock(void* p) noexcept { std::free(p); }
}  // namespace

void* operator new(std::size_t size) { return TakeBlock(size); }
void* operator new[](std::size_t size) { return TakeBlock(size); }
void operator delete(void* p) noexcept { GiveBlock(p); }
void operator delete[](void* p) noexcept { GiveBlock(p); }
void operator delete(void* p, std::size_t) noexcept { GiveBlock(p); }
void operator delete[](void* p, std::size_t) noexcept { GiveBlock(p); }

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers
using R = DecodeResult;

const char* const kWriteText = "Cannot write files to disk";  // the catalogue's own text

// A version-259 AES-256 document of three parts (stored, compressed, stored)
// with a tag trailer; its key is cheap (a SHA-1 digest of the credentials),
// because every byte offset decodes it once.
struct Subject {
  Recipe recipe = BasicLayout([](Recipe& s) {
    s.kdfId = 2;
    s.parts = {Part("letter.html", Text("<p>Dear reader,</p>\n<p>the numbers are in.</p>\n")),
               Part("table.csv", Text(std::string(60, ' ') + "quarter;sales;cost\n" + std::string(2500, 'q')), 1),
               Part("tail.bin", Noise(300, 9))};
    s.tags = {{"Title", Text("Quarterly report"), false},
              {"CantCreateTempFile", Text("Disk full?"), false},
              {"ImageWin32", Noise(6000, 4), true}};  // a list the trailer's inflater needs its window for
  });
  Bytes document = Encode(recipe);
  Bytes content;  // every part's content, in order
  std::size_t bodyEnd = 0;  // the decoder reads nothing from here on (the trailer)

  Subject() {
    for (const auto& part : recipe.parts) content.insert(content.end(), part.content.begin(), part.content.end());
    bodyEnd = document.size() - 4 - LoadBigEndian32(document.data() + document.size() - 4);
  }

  // What a source that stops at byte `n` gives: the header, salt and part
  // 0's first block are plainly missing; the rest of part 0's header block
  // is what a wrong key would leave unread; past the body nothing is needed.
  static R Expected(std::size_t n, std::size_t bodyEnd) {
    constexpr std::size_t kFirstBlockEnd = 30 + 32 + 16, kHeaderBlockEnd = 30 + 32 + 96;
    if (n < kFirstBlockEnd) return R::Truncated;
    if (n < kHeaderBlockEnd) return R::WrongCredentials;
    return n < bodyEnd ? R::Truncated : R::Ok;
  }
};

// A block source over a document that hands out 7-byte blocks and stops at
// byte `stopAt`: with null (its end) or with a block of length 0 (an error,
// after which it would deliver more), and counts the calls made after it.
class StoppingSource final : public VPReader {
 public:
  StoppingSource(const Bytes& data, std::size_t stopAt, bool error) : data_(data), stopAt_(stopAt), error_(error) {}
  const std::uint8_t* NextBlock(std::uint32_t& length) override {
    if (stopped_) ++callsAfterStop;
    if (position_ >= stopAt_ && !stopped_) {
      stopped_ = true;
      if (error_) {
        length = 0;
        return data_.data() + position_;
      }
      return nullptr;
    }
    if (position_ >= data_.size()) return nullptr;
    length = static_cast<std::uint32_t>(std::min<std::size_t>({7, stopAt_ - position_, data_.size() - position_}));
    const std::uint8_t* block = data_.data() + position_;
    position_ += length;
    return block;
  }
  int callsAfterStop = 0;

 private:
  const Bytes& data_;
  std::size_t stopAt_;
  bool error_;
  std::size_t position_ = 0;
  bool stopped_ = false;
};

// A positioned source whose reads end at byte `stopAt` and whose seeks fail
// from seek number `failSeek` on.
class StoppingSeekable final : public VPReader {
 public:
  StoppingSeekable(const Bytes& data, std::size_t stopAt, int failSeek) : inner_(data), stopAt_(stopAt), failSeek_(failSeek) {}
  const std::uint8_t* NextBlock(std::uint32_t&) override { return nullptr; }
  bool Seek(std::int32_t offset, std::int32_t origin) override {
    return seeks_++ != failSeek_ && inner_.Seek(offset, origin);
  }
  std::uint32_t Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount) override {
    const auto position = static_cast<std::size_t>(inner_.Position());
    if (position >= stopAt_) return 0;
    const auto fits = static_cast<std::uint32_t>((stopAt_ - position) / itemSize);
    return inner_.Read(buffer, itemSize, std::min(itemCount, fits));
  }

 private:
  SeekableSource inner_;
  std::size_t stopAt_;
  int failSeek_;
  int seeks_ = 0;
};

R DecodeFrom(VPReader& source, VPDecodeWriter& writer, const Recipe& recipe,
             const Inflater::Allocator* allocator = nullptr) {
  DocumentDecoder decoder(source, writer);
  decoder.SetClock([] { return kNow; });
  if (allocator != nullptr) decoder.SetInflaterAllocator(*allocator);
  return decoder.DecodeDocument(recipe.userName.c_str(), recipe.password.c_str(), false);
}

TEST(FaultInjection, AWriterThatFailsAtEveryByteStopsTheDecodingCleanly) {
  const Subject s;
  for (std::uint64_t n = 0; n <= s.content.size(); ++n) {
    RecordingWriter writer;
    writer.refuseWriteAfter = static_cast<std::int64_t>(n);
    ASSERT_EQ(Decode(s.document, s.recipe, writer), n < s.content.size() ? R::PartOutputRefused : R::Ok) << n;
    ASSERT_EQ(writer.callsAfterRefusal, 0) << "byte " << n;
    // What was taken is exactly the content up to the failure, nothing else.
    const Bytes taken = writer.Content();
    ASSERT_LE(taken.size(), n);
    ASSERT_TRUE(std::equal(taken.begin(), taken.end(), s.content.begin())) << "byte " << n;
  }
  // Each of the writer's other calls: BeginDocument, BeginPart and EndPart of
  // three parts, EndDocument.
  const R byCall[] = {R::BeginDocumentRefused, R::PartOutputRefused, R::PartOutputRefused, R::PartOutputRefused,
                      R::PartOutputRefused,    R::PartOutputRefused, R::PartOutputRefused, R::EndDocumentRefused};
  for (int call = 0; call < 8; ++call) {
    RecordingWriter writer;
    writer.refuseCall = call;
    EXPECT_EQ(Decode(s.document, s.recipe, writer), byCall[call]) << "call " << call;
    EXPECT_EQ(writer.callsAfterRefusal, 0) << "call " << call;
  }
}

TEST(FaultInjection, ASourceThatEndsOrErrsAtEveryByte) {
  const Subject s;
  for (const bool error : {false, true}) {
    // Every byte of the body; the trailer, which the decoder never reads, sparsely.
    for (std::size_t n = 0; n <= s.document.size(); n += n < s.bodyEnd || n == s.document.size() ? 1 : 97) {
      n = std::min(n, s.document.size());
      StoppingSource source(s.document, n, error);
      RecordingWriter writer;
      const R result = DecodeFrom(source, writer, s.recipe);
      ASSERT_EQ(result, Subject::Expected(n, s.bodyEnd)) << "byte " << n << (error ? " (error)" : " (end)");
      ASSERT_EQ(source.callsAfterStop, 0) << "byte " << n;
      ASSERT_EQ(writer.calls.ends_with('Z'), result == R::Ok) << "byte " << n;
      const Bytes taken = writer.Content();
      ASSERT_TRUE(std::equal(taken.begin(), taken.end(), s.content.begin())) << "byte " << n;
    }
  }

  // The inspection reads the header and then the trailer from the end: a
  // source that ends anywhere before the end of the file, or a seek that
  // fails, leaves the tags as they were.
  for (std::size_t n = 0; n <= s.document.size(); ++n) {
    for (const int failSeek : {-1, 0, 1, 2}) {
      StoppingSeekable source(s.document, n, failSeek);
      DocumentHeader header;
      DocumentTagTable tags;
      reader::MessageCatalogue catalogue;
      tags.SetListener(&catalogue);
      const R result = InspectDocument(source, header, true, &tags);
      const R expected = n < DocumentHeader::Size ? R::HeaderTooShort
                         : n < s.document.size() || (failSeek >= 0 && failSeek < 2) ? R::Truncated
                                                                                    : R::Ok;
      ASSERT_EQ(result, expected) << "byte " << n << " seek " << failSeek;
      ASSERT_EQ(tags.Count(), expected == R::Ok ? 3u : 0u);
      ASSERT_STREQ(catalogue.Text(reader::MessageCatalogue::CantCreateTempFile),
                   expected == R::Ok ? "Disk full?" : kWriteText);
    }
  }
}

TEST(FaultInjection, InflaterAllocationsFailOneAfterAnother) {
  for (const std::uint32_t flags : {0u, DocumentHeader::FlagContinuousStream}) {
    Subject s;
    s.recipe.flags = flags;
    // Output beyond one area, so that zlib needs its window besides its state.
    s.recipe.parts.push_back(Part("second.bin", Noise(3 * Inflater::OutputSize, 7), 1));
    s.document = Encode(s.recipe);
    // How many allocations a whole decoding makes.
    FailingAllocator counting{1 << 30};
    {
      MemoryReader source(s.document.data(), static_cast<std::uint32_t>(s.document.size()));
      RecordingWriter writer;
      const Inflater::Allocator seam = counting.Seam();
      ASSERT_EQ(DecodeFrom(source, writer, s.recipe, &seam), R::Ok);
    }
    // The stream's state at least; zlib takes its window only once its
    // output needs one, which depends on the inflater's area sizes.
    ASSERT_GE(counting.calls, 1);
    for (int allowed = 0; allowed <= counting.calls; ++allowed) {
      FailingAllocator failing{allowed};
      const Inflater::Allocator seam = failing.Seam();
      MemoryReader source(s.document.data(), static_cast<std::uint32_t>(s.document.size()));
      RecordingWriter writer;
      if (allowed == 0) {  // no room for the stream itself: the exhaustion the caller handles
        EXPECT_THROW(DecodeFrom(source, writer, s.recipe, &seam), std::bad_alloc);
        continue;
      }
      const R result = DecodeFrom(source, writer, s.recipe, &seam);
      EXPECT_EQ(result, allowed < counting.calls ? R::OutOfMemory : R::Ok) << allowed;
      const auto open = std::count_if(writer.parts.begin(), writer.parts.end(), [](auto& p) { return !p.ended; });
      EXPECT_EQ(open, result == R::Ok ? 0 : 1) << allowed;  // the failed part is never ended
    }
  }
}

TEST(FaultInjection, TrailerAndTagListAllocationsFailOneAfterAnother) {
  const Subject s;
  // zlib's allocations for the trailer: the stream's state (an exception,
  // like every other exhaustion, which the reader turns into its memory
  // message), then its window (a result code). The tags stay as they were.
  FailingAllocator counting{1 << 30};
  const auto inspect = [&](FailingAllocator& allocator, DocumentTagTable& tags) {
    const Inflater::Allocator seam = allocator.Seam();
    SeekableSource source(s.document);
    DocumentHeader header;
    return InspectDocument(source, header, true, &tags, &seam);
  };
  {
    DocumentTagTable tags;
    ASSERT_EQ(inspect(counting, tags), R::Ok);
  }
  ASSERT_GE(counting.calls, 1);
  for (int allowed = 0; allowed <= counting.calls; ++allowed) {
    FailingAllocator failing{allowed};
    DocumentTagTable tags;
    if (allowed == 0) {
      EXPECT_THROW(inspect(failing, tags), std::bad_alloc);
    } else {
      EXPECT_EQ(inspect(failing, tags), allowed < counting.calls ? R::OutOfMemory : R::Ok) << allowed;
    }
    EXPECT_EQ(tags.Count(), allowed < counting.calls ? 0u : 3u);
  }

  // The C++ allocations of the inspection and the tag parser, each in turn:
  // either the inspection completes or std::bad_alloc leaves it, and then
  // the catalogue shows no text of the half-read list; the table stays
  // usable and nothing leaks (the sanitizer build checks).
  reader::MessageCatalogue catalogue;
  DocumentTagTable tags;
  tags.SetListener(&catalogue);
  bool completed = false;
  int failures = 0;
  for (long n = 0; !completed; ++n) {
    SeekableSource source(s.document);
    DocumentHeader header;
    gAllocationsLeft = n;
    try {
      const R result = InspectDocument(source, header, true, &tags);
      gAllocationsLeft = -1;
      completed = true;
      EXPECT_EQ(result, R::Ok) << n;
    } catch (const std::bad_alloc&) {
      gAllocationsLeft = -1;
      ++failures;
      EXPECT_STREQ(catalogue.Text(reader::MessageCatalogue::CantCreateTempFile), kWriteText) << n;
      EXPECT_STREQ(catalogue.Text(reader::MessageCatalogue::Title), "Open Encrypted Document") << n;
    }
    ASSERT_LT(n, 1000);
  }
  EXPECT_GE(failures, 5);  // the trailer's buffer, the parser's scratch, a value per tag
  EXPECT_STREQ(catalogue.Text(reader::MessageCatalogue::CantCreateTempFile), "Disk full?");
  EXPECT_EQ(tags.Count(), 3u);
}

}  // namespace
}  // namespace codec
