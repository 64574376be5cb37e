#include "source/xp/xp_exception.h"

#include <gtest/gtest.h>

namespace xp {
namespace {

// An exception whose text block can never be allocated.
class StarvedException : public XPException {
 public:
  explicit StarvedException(const char* message)
      : XPException(message, 7, [](std::size_t) noexcept -> void* { return nullptr; }) {}
};

TEST(XPException, EmptyOrAbsentMessageUsesStaticTextThatIsNeverCounted) {
  for (const char* message : {"", static_cast<const char*>(nullptr)}) {
    XPException original(message, 5);
    EXPECT_STREQ(original.what(), "No message");
    EXPECT_EQ(original.code(), 5u);
    EXPECT_EQ(original.shareCount(), 0u);
    {
      XPException copy(original);
      XPException assigned("other");
      assigned = copy;
      EXPECT_STREQ(assigned.what(), "No message");
      EXPECT_EQ(original.shareCount(), 0u);
    }
    EXPECT_STREQ(original.what(), "No message");
  }
}

TEST(XPException, CopiesShareOneBlockThatTheLastOneFrees) {
  auto* original = new XPException("disk on fire", 32);
  auto* first = new XPException(*original);
  auto* second = new XPException(*first);
  auto* third = new XPException(*original);
  EXPECT_EQ(original->shareCount(), 4u);
  EXPECT_EQ(original->what(), third->what());  // the same text, not a copy of it
  delete original;
  EXPECT_EQ(first->shareCount(), 3u);
  delete third;
  delete first;
  EXPECT_EQ(second->shareCount(), 1u);
  EXPECT_STREQ(second->what(), "disk on fire");
  EXPECT_EQ(second->code(), 32u);
  delete second;  // frees the block; a second free or a leak shows under the sanitizers
}

TEST(XPException, AssignmentMovesBetweenBlocksAndSelfAssignmentKeepsTheCount) {
  XPException a("first");
  XPException b("second", 3);
  a = b;
  EXPECT_STREQ(a.what(), "second");
  EXPECT_EQ(a.code(), 3u);
  EXPECT_EQ(b.shareCount(), 2u);
  XPException& alias = a;
  a = alias;
  EXPECT_EQ(b.shareCount(), 2u);
}

TEST(XPException, LackOfMemoryGivesTheSecondStaticText) {
  StarvedException starved("never stored");
  EXPECT_STREQ(starved.what(), "No message due to lack of memory");
  EXPECT_EQ(starved.code(), 7u);
  EXPECT_EQ(starved.shareCount(), 0u);
  StarvedException copy(starved);
  EXPECT_EQ(copy.shareCount(), 0u);
}

}  // namespace
}  // namespace xp
