#include "source/xp/result/generic_result.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

namespace xp {
namespace {

TEST(GenericResult, CodeLayoutByKind) {
  // Kind 2: sub-source in bits 21-26, value in the low 21 bits.
  EXPECT_EQ(GenericResult::Kind(0x10200002u), 2u);
  EXPECT_EQ(GenericResult::SubSource(0x10200002u), 1u);
  EXPECT_EQ(GenericResult::Value(0x13FFFFFFu), 0x1FFFFFu);
  EXPECT_EQ(GenericResult::SourceKey(0x10200002u), 0x10200000u);
  // Kind 3: no sub-source, value in the low 27 bits.
  EXPECT_EQ(GenericResult::Kind(0x18000005u), 3u);
  EXPECT_EQ(GenericResult::SubSource(0x1FE00000u), 0u);
  EXPECT_EQ(GenericResult::Value(0x1FFFFFFFu), 0x7FFFFFFu);
  EXPECT_EQ(GenericResult::SourceKey(0x1FFFFFFFu), 0x18000000u);
  // Every other kind: value in the low 15 bits; bits 30 and 31 play no part.
  EXPECT_EQ(GenericResult::Kind(0xE8000000u), 5u);
  EXPECT_EQ(GenericResult::Value(0x0000FFFFu), 0x7FFFu);
  EXPECT_EQ(GenericResult::SourceKey(0x0000FFFFu), 0u);
}

TEST(GenericResult, ContainerHoldsSystemAndRuntimeSources) {
  const auto& sources = GenericResult::Sources();
  EXPECT_EQ(sources.size(), 2u);
  const auto* system = sources.find(0x18000000u);
  const auto* runtime = sources.find(0x10200000u);
  ASSERT_NE(system, nullptr);
  ASSERT_NE(runtime, nullptr);
  EXPECT_STREQ(system->name, "");
  EXPECT_STREQ(runtime->name, "libc");
  EXPECT_EQ(sources.find(0x10400000u), nullptr);
}

TEST(GenericResult, TextsByCode) {
  EXPECT_STREQ(GenericResult::SystemMessageText(0x18000005u), std::strerror(5));
  EXPECT_STREQ(GenericResult::RuntimeErrorText(0x10200002u), std::strerror(2));
  EXPECT_STREQ(GenericResult::Text(0x18000005u), std::strerror(5));
  EXPECT_STREQ(GenericResult::Text(0x10200002u), std::strerror(2));
  // Only the value bits reach the text function.
  EXPECT_STREQ(GenericResult::RuntimeErrorText(0x10000000u | (1u << 21) | 13u), std::strerror(13));
  // No source for kind 2, sub-source 2, nor for kind 0.
  EXPECT_EQ(GenericResult::Text(0x10400002u), nullptr);
  EXPECT_EQ(GenericResult::Text(5u), nullptr);
}

TEST(GenericResult, SystemTextBelongsToItsThreadUntilItsNextRequest) {
  const std::string io = std::strerror(5);
  const char* mine = GenericResult::SystemMessageText(0x18000005u);
  std::string seenByOther;
  std::thread other([&] {
    for (int i = 0; i < 10; ++i) seenByOther = GenericResult::SystemMessageText(0x18000002u);
  });
  other.join();
  EXPECT_EQ(seenByOther, std::strerror(2));
  EXPECT_EQ(std::string(mine), io);  // another thread's requests leave it alone

  const char* next = GenericResult::SystemMessageText(0x18000002u);
  EXPECT_STREQ(next, std::strerror(2));
}

TEST(GenericResult, SystemTextOfUnknownValueIsBounded) {
  const char* text = GenericResult::SystemMessageText(0x18000000u | 0x7FFFFFFu);
  ASSERT_NE(text, nullptr);
  EXPECT_LT(std::strlen(text), 256u);
}

}  // namespace
}  // namespace xp
