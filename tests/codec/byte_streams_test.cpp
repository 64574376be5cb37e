// Byte sources and sinks: block sizes, exact-count reads across blocks, growth
// and the failure paths of every reader and writer.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "codec/chunk_reader.h"
#include "codec/file_reader.h"
#include "codec/file_writer.h"
#include "codec/memory_reader.h"
#include "codec/memory_writer.h"

namespace codec {
namespace {

std::vector<std::uint8_t> Counting(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return bytes;
}

// Hands out fixed blocks in turn and counts how often it was asked.
class ScriptedSource final : public VPReader {
 public:
  explicit ScriptedSource(std::vector<std::vector<std::uint8_t>> blocks) : blocks_(std::move(blocks)) {}
  const std::uint8_t* NextBlock(std::uint32_t& length) override {
    ++calls;
    if (next_ >= blocks_.size()) return nullptr;
    const auto& block = blocks_[next_++];
    length = static_cast<std::uint32_t>(block.size());
    return block.data();
  }
  int calls = 0;

 private:
  std::vector<std::vector<std::uint8_t>> blocks_;
  std::size_t next_ = 0;
};

TEST(MemoryReaderTest, HandsOutBlocksOf8192ThenNull) {
  const auto data = Counting(20000);
  MemoryReader reader(data.data(), 20000);
  std::uint32_t length = 0;
  EXPECT_EQ(reader.NextBlock(length), data.data());
  EXPECT_EQ(length, 8192u);
  EXPECT_EQ(reader.NextBlock(length), data.data() + 8192);
  EXPECT_EQ(length, 8192u);
  EXPECT_EQ(reader.NextBlock(length), data.data() + 16384);
  EXPECT_EQ(length, 3616u);
  length = 77;
  EXPECT_EQ(reader.NextBlock(length), nullptr);
  EXPECT_EQ(length, 77u);  // untouched at the end
  // It has no positioned interface.
  std::uint8_t byte;
  EXPECT_FALSE(reader.Seek(0, 0));
  EXPECT_EQ(reader.Read(&byte, 1, 1), 0u);
}

TEST(MemoryReaderTest, ResetFreesOwnedDataAndRestarts) {
  auto* owned = static_cast<std::uint8_t*>(std::malloc(10));
  std::memset(owned, 1, 10);
  MemoryReader reader(owned, 10, true);
  const std::uint8_t other[3] = {7, 8, 9};
  reader.Reset(other, 3);  // frees `owned`; the sanitizer build checks for a leak
  std::uint32_t length = 0;
  EXPECT_EQ(reader.NextBlock(length), other);
  EXPECT_EQ(length, 3u);
  MemoryReader empty;
  EXPECT_EQ(empty.NextBlock(length), nullptr);
}

TEST(ChunkReaderTest, ShortSourceEndsOnceAndIsNotAskedAgain) {
  ScriptedSource source({{1, 2, 3, 4, 5, 6}});
  ChunkReader reader(source);
  std::uint8_t out[10] = {};
  EXPECT_EQ(reader.Read(out, 10), 6u);
  EXPECT_EQ(out[5], 6);
  EXPECT_FALSE(reader.More());
  const int calls = source.calls;
  EXPECT_EQ(reader.Read(out, 1), 0u);
  EXPECT_EQ(reader.Skip(4), 0u);
  EXPECT_EQ(source.calls, calls);
}

TEST(ChunkReaderTest, ReadsSpanningBlocksKeepOrder) {
  const auto data = Counting(20000);
  MemoryReader source(data.data(), 20000);
  ChunkReader reader(source);
  std::vector<std::uint8_t> out(20000);
  EXPECT_EQ(reader.Read(out.data(), 100), 100u);
  EXPECT_EQ(reader.Read(out.data() + 100, 9000), 9000u);  // crosses the first block boundary
  EXPECT_EQ(reader.Skip(1), 1u);
  out[9100] = data[9100];
  EXPECT_EQ(reader.Read(out.data() + 9101, 10899), 10899u);
  EXPECT_EQ(out, data);
  EXPECT_EQ(reader.Read(out.data(), 1), 0u);
}

TEST(ChunkReaderTest, ZeroLengthBlockEndsAndResetStartsAgain) {
  ScriptedSource source({{1, 2}, {}, {3, 4}});
  ChunkReader reader(source);
  std::uint8_t out[4] = {};
  EXPECT_EQ(reader.Read(out, 0), 0u);
  EXPECT_EQ(source.calls, 0);
  EXPECT_EQ(reader.Read(out, 4), 2u);
  EXPECT_EQ(source.calls, 2);
  EXPECT_EQ(reader.Read(nullptr, 1), 0u);
  reader.Reset();
  EXPECT_TRUE(reader.More());
  EXPECT_EQ(reader.Read(out, 2), 2u);
  EXPECT_EQ(out[1], 4);
}

TEST(MemoryWriterTest, GrowsToTwiceTheNeedAndKeepsBytes) {
  MemoryWriter writer(4);
  const std::uint8_t a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
  EXPECT_TRUE(writer.Write(a, 3));
  EXPECT_EQ(writer.Capacity(), 4u);
  EXPECT_TRUE(writer.Write(b, 3));
  EXPECT_EQ(writer.Capacity(), 12u);
  ASSERT_EQ(writer.Used(), 6u);
  EXPECT_EQ(std::memcmp(writer.Buffer(), "\1\2\3\4\5\6", 6), 0);
  EXPECT_TRUE(writer.Write(nullptr, 0));
  EXPECT_FALSE(writer.Write(nullptr, 1));
  EXPECT_TRUE(writer.Start());
  EXPECT_TRUE(writer.Finish());

  MemoryWriter fromNothing(0);
  EXPECT_TRUE(fromNothing.Write(a, 3));
  EXPECT_EQ(fromNothing.Capacity(), 6u);
}

TEST(MemoryWriterTest, UnownedBufferNeverGrows) {
  std::uint8_t buffer[4] = {};
  MemoryWriter writer(buffer, 4);
  const std::uint8_t a[3] = {1, 2, 3};
  EXPECT_TRUE(writer.Write(a, 3));
  EXPECT_FALSE(writer.Write(a, 2));
  EXPECT_EQ(writer.Used(), 3u);
  EXPECT_EQ(writer.Buffer(), buffer);
}

TEST(FileWriterTest, WritesAndFlushesOnlyWithAStream) {
  FileWriter writer;
  EXPECT_FALSE(writer.Write("abc", 3));
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  writer.SetStream(file);
  EXPECT_TRUE(writer.Write("abc", 3));
  EXPECT_TRUE(writer.Write("", 0));
  std::rewind(file);
  char back[4] = {};
  EXPECT_EQ(std::fread(back, 1, 4, file), 3u);
  EXPECT_STREQ(back, "abc");
  std::fclose(file);
}

TEST(FileWriterTest, FailingStreamIsReported) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  FileWriter writer(full);
  EXPECT_FALSE(writer.Write("abc", 3));
  std::fclose(full);
}

TEST(FileReaderTest, BlocksOf4096ThenNullAndTheStreamStaysOpen) {
  const auto data = Counting(10000);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
  std::rewind(file);
  {
    FileReader reader(file);
    ChunkReader chunks(reader);
    std::vector<std::uint8_t> out(10001);
    std::uint32_t length = 0;
    ASSERT_NE(reader.NextBlock(length), nullptr);
    EXPECT_EQ(length, 4096u);
    std::rewind(file);
    EXPECT_EQ(chunks.Read(out.data(), 10001), 10000u);
    out.pop_back();
    EXPECT_EQ(out, data);
    EXPECT_EQ(reader.NextBlock(length), nullptr);
  }
  EXPECT_EQ(std::fseek(file, 0, SEEK_SET), 0);  // not closed by the reader
  std::fclose(file);

  std::uint32_t length = 0;
  FileReader none(nullptr);
  EXPECT_EQ(none.NextBlock(length), nullptr);
}

TEST(InspectionFileReaderTest, SeeksAndReadsButHasNoBlocks) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite("0123456789", 1, 10, file), 10u);
  inspection::FileReader reader(file);
  std::uint32_t length = 0;
  EXPECT_EQ(reader.NextBlock(length), nullptr);
  char out[5] = {};
  ASSERT_TRUE(reader.Seek(-4, 2));
  EXPECT_EQ(reader.Read(out, 2, 2), 2u);
  EXPECT_STREQ(out, "6789");
  ASSERT_TRUE(reader.Seek(1, 0));
  EXPECT_EQ(reader.Read(out, 1, 1), 1u);
  EXPECT_EQ(out[0], '1');
  EXPECT_FALSE(reader.Seek(-100, 0));
  EXPECT_FALSE(reader.Seek(0, 7));
  char rest[20] = {};
  EXPECT_EQ(reader.Read(rest, 4, 5), 2u);  // whole items only: 8 bytes left
  std::fclose(file);
}

}  // namespace
}  // namespace codec
