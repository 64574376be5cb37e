// Byte sources and sinks: block sizes, exact-count reads across blocks, growth
// and the failure paths of every reader and writer.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "codec/chunk_reader.h"
#include "codec/file_reader.h"
#include "codec/file_writer.h"
#include "codec/memory_reader.h"
#include "codec/memory_writer.h"

namespace codec {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Counting(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return bytes;
}

// Hands out fixed blocks in turn and counts how often it was asked.
class ScriptedSource final : public VPReader {
 public:
  explicit ScriptedSource(std::vector<Bytes> blocks) : blocks_(std::move(blocks)) {}
  const std::uint8_t* NextBlock(std::uint32_t& length) override {
    ++calls;
    if (calls > static_cast<int>(blocks_.size())) return nullptr;
    const Bytes& block = blocks_[static_cast<std::size_t>(calls - 1)];
    length = static_cast<std::uint32_t>(block.size());
    return block.data();
  }
  int calls = 0;

 private:
  std::vector<Bytes> blocks_;
};

TEST(MemoryReaderTest, HandsOutBlocksOf8192ThenNullAndResetRestarts) {
  const Bytes data = Counting(20000);
  MemoryReader reader(data.data(), 20000);
  std::uint32_t length = 0;
  for (const std::uint32_t at : {0u, 8192u, 16384u}) {
    EXPECT_EQ(reader.NextBlock(length), data.data() + at);
    EXPECT_EQ(length, at < 16384 ? 8192u : 3616u);
  }
  length = 77;
  EXPECT_EQ(reader.NextBlock(length), nullptr);
  EXPECT_EQ(length, 77u);  // untouched at the end
  std::uint8_t byte;
  EXPECT_FALSE(reader.Seek(0, 0));  // no positioned interface
  EXPECT_EQ(reader.Read(&byte, 1, 1), 0u);

  MemoryReader owner(static_cast<std::uint8_t*>(std::calloc(10, 1)), 10, true);
  owner.Reset(data.data(), 3);  // frees the owned bytes; the sanitizer build checks for a leak
  EXPECT_EQ(owner.NextBlock(length), data.data());
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(MemoryReader().NextBlock(length), nullptr);
}

TEST(ChunkReaderTest, ReadsSpanningBlocksKeepOrder) {
  const Bytes data = Counting(20000);
  MemoryReader source(data.data(), 20000);
  ChunkReader reader(source);
  Bytes out(20000);
  EXPECT_EQ(reader.Read(out.data(), 100), 100u);
  EXPECT_EQ(reader.Read(out.data() + 100, 9000), 9000u);  // crosses the first block boundary
  EXPECT_EQ(reader.Skip(1), 1u);
  out[9100] = data[9100];
  EXPECT_EQ(reader.Read(out.data() + 9101, 10899), 10899u);
  EXPECT_EQ(out, data);
  EXPECT_EQ(reader.Read(out.data(), 1), 0u);
}

TEST(ChunkReaderTest, ShortSourceEndsOnceAndIsNotAskedAgainUntilReset) {
  // The source ends with a null block, or with a zero-length one.
  for (const bool zeroLength : {false, true}) {
    ScriptedSource source(zeroLength ? std::vector<Bytes>{{1, 2, 3, 4, 5, 6}, {}, {7, 8}}
                                     : std::vector<Bytes>{{1, 2, 3, 4, 5, 6}});
    ChunkReader reader(source);
    std::uint8_t out[10] = {};
    EXPECT_EQ(reader.Read(out, 0), 0u);
    EXPECT_EQ(source.calls, 0);
    EXPECT_EQ(reader.Read(out, 10), 6u);
    EXPECT_EQ(out[5], 6);
    EXPECT_FALSE(reader.More());
    EXPECT_EQ(reader.Read(out, 1), 0u);
    EXPECT_EQ(reader.Skip(4), 0u);
    EXPECT_EQ(source.calls, 2);
    reader.Reset();
    EXPECT_TRUE(reader.More());
    EXPECT_EQ(reader.Read(out, 2), zeroLength ? 2u : 0u);
    EXPECT_EQ(out[1], zeroLength ? 8 : 2);
  }
}

TEST(MemoryWriterTest, GrowsToTwiceTheNeedUnlessTheBufferIsNotItsOwn) {
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
  EXPECT_TRUE(writer.Start() && writer.Finish());
  MemoryWriter fromNothing(0);
  EXPECT_TRUE(fromNothing.Write(a, 3));
  EXPECT_EQ(fromNothing.Capacity(), 6u);

  std::uint8_t buffer[4] = {};
  MemoryWriter unowned(buffer, 4);
  EXPECT_TRUE(unowned.Write(a, 3));
  EXPECT_FALSE(unowned.Write(a, 2));
  EXPECT_EQ(unowned.Used(), 3u);
  EXPECT_EQ(unowned.Buffer(), buffer);
}

// Writes are not flushed one by one: Flush hands them on, and a full disk
// shows at a Write or at the Flush.
TEST(FileWriterTest, WritesOnlyWithAWorkingStreamAndFlushReportsFailures) {
  FileWriter writer;
  EXPECT_FALSE(writer.Write("abc", 3) || writer.Flush());
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  writer.SetStream(file);
  EXPECT_TRUE(writer.Write("abc", 3));
  EXPECT_TRUE(writer.Write("", 0));
  EXPECT_TRUE(writer.Flush());
  std::rewind(file);
  char back[4] = {};
  EXPECT_EQ(std::fread(back, 1, 4, file), 3u);
  EXPECT_STREQ(back, "abc");
  std::fclose(file);
  if (std::FILE* full = std::fopen("/dev/full", "wb")) {
    FileWriter small(full);
    EXPECT_FALSE(small.Write("abc", 3) && small.Flush());
    std::fclose(full);
  }
  if (std::FILE* full = std::fopen("/dev/full", "wb")) {
    const Bytes big(1 << 20, 7);  // more than any stream buffer
    EXPECT_FALSE(FileWriter(full).Write(big.data(), static_cast<std::uint32_t>(big.size())));
    std::fclose(full);
  }
}

TEST(FileReaderTest, BlocksOfBlockSizeAndTheInspectionsPositionedReads) {
  const std::uint32_t size = FileReader::BlockSize + 10000;
  const Bytes data = Counting(size);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
  std::rewind(file);
  std::uint32_t length = 0;
  {
    FileReader reader(file);
    const std::uint8_t* block = reader.NextBlock(length);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Bytes(block, block + length), Bytes(data.begin(), data.begin() + FileReader::BlockSize));
    ChunkReader chunks(reader);
    Bytes rest(12000);
    EXPECT_EQ(chunks.Read(rest.data(), 12000), 10000u);
    EXPECT_EQ(rest[9999], data[size - 1]);
    EXPECT_EQ(FileReader(nullptr).NextBlock(length), nullptr);
  }
  // The inspection's reader over the same, still open stream: no blocks,
  // Seek from every origin, whole items only.
  inspection::FileReader reader(file);
  EXPECT_EQ(reader.NextBlock(length), nullptr);
  std::uint8_t out[8] = {};
  ASSERT_TRUE(reader.Seek(-7, 2));
  EXPECT_EQ(reader.Read(out, 4, 2), 1u);
  EXPECT_EQ(Bytes(out, out + 4), Bytes(data.end() - 7, data.end() - 3));
  ASSERT_TRUE(reader.Seek(1, 0) && reader.Seek(2, 1));
  EXPECT_EQ(reader.Read(out, 1, 1), 1u);
  EXPECT_EQ(out[0], data[3]);
  EXPECT_FALSE(reader.Seek(-100, 0));
  EXPECT_FALSE(reader.Seek(0, 7));
  std::fclose(file);
}

}  // namespace
}  // namespace codec
