#include "source/xp/xp_exception.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <string>
#include <thread>

#include "source/xp/result/generic_result.h"

namespace xp {
namespace {

// The platform's own text for a system error value, asked for directly.
std::string PlatformText(std::uint32_t value) {
#ifdef _WIN32
  char text[512] = {};
  ::FormatMessageA(FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, value,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  return text;
#else
  return std::strerror(static_cast<int>(value));
#endif
}

// An exception whose text block can never be allocated.
struct StarvedException : XPException {
  explicit StarvedException(const char* message)
      : XPException(message, 7, [](std::size_t) noexcept -> void* { return nullptr; }) {}
};

// The two static texts are shared by copies but never counted or freed.
TEST(XPException, StaticTextsForEmptyMessageAndLackOfMemory) {
  for (const char* message : {"", static_cast<const char*>(nullptr)}) {
    XPException original(message, 5);
    {
      XPException copy(original);
      XPException assigned("other");
      assigned = copy;
      EXPECT_STREQ(assigned.what(), "No message");
      EXPECT_EQ(original.shareCount(), 0u);
    }
    EXPECT_STREQ(original.what(), "No message");  // still readable: nothing freed it
  }
  StarvedException starved("never stored");
  StarvedException copy(starved);
  EXPECT_STREQ(copy.what(), "No message due to lack of memory");
  EXPECT_EQ(copy.code(), 7u);
  EXPECT_EQ(starved.shareCount(), 0u);
}

// A leak or a second free of the shared block shows under the sanitizers.
TEST(XPException, CopiesShareOneBlockFreedOnceByTheLast) {
  auto* original = new XPException("disk on fire", 32);
  auto* first = new XPException(*original);
  auto* second = new XPException(*first);
  XPException third("other", 3);
  third = *original;  // gives up its own block
  XPException& alias = third;
  third = alias;
  EXPECT_EQ(original->shareCount(), 4u);
  EXPECT_EQ(original->what(), third.what());  // the same text, not a copy of it
  delete original;
  delete first;
  EXPECT_EQ(second->shareCount(), 2u);
  EXPECT_STREQ(second->what(), "disk on fire");
  EXPECT_EQ(third.code(), 32u);
  delete second;
  EXPECT_EQ(third.shareCount(), 1u);
}


TEST(GenericResult, TextsByCode) {
  EXPECT_EQ(GenericResult::Text(0x18000005u), PlatformText(5));  // system text of error 5
  EXPECT_STREQ(GenericResult::Text(0x10200002u), std::strerror(2));  // runtime text of errno 2
  // Only the value bits reach the text function.
  EXPECT_STREQ(GenericResult::RuntimeErrorText(0x10000000u | (1u << 21) | 13u), std::strerror(13));
  // No source for kind 2 with sub-source 2, nor for kind 0.
  EXPECT_EQ(GenericResult::Text(0x10400002u), nullptr);
  EXPECT_EQ(GenericResult::Text(5u), nullptr);
  const char* unknown = GenericResult::SystemMessageText(0x1FFFFFFFu);
#ifdef _WIN32
  EXPECT_EQ(unknown, nullptr);  // FormatMessageA has no text for it
#else
  ASSERT_NE(unknown, nullptr);  // strerror makes one up
  EXPECT_LT(std::strlen(unknown), 256u);
#endif
}

TEST(GenericResult, SystemTextBelongsToItsThreadUntilItsNextRequest) {
  const char* mine = GenericResult::SystemMessageText(0x18000005u);
  std::string seenByOther;
  std::thread([&] {
    for (int i = 0; i < 10; ++i) seenByOther = GenericResult::SystemMessageText(0x18000002u);
  }).join();
  EXPECT_EQ(seenByOther, PlatformText(2));
  EXPECT_EQ(mine, PlatformText(5));  // another thread's requests leave it alone
  EXPECT_EQ(GenericResult::SystemMessageText(0x18000002u), PlatformText(2));
}

}  // namespace
}  // namespace xp
