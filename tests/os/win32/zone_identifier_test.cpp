// A part gets its document's mark of origin, the "Zone.Identifier" stream.
// (Wine keeps the stream as a file of its own beside the part; the flow and
// module tests see it wiped with the part's folder.)

#include <gtest/gtest.h>

#include <string>

#include "os/win32/zone_identifier.h"
#include "support/files.h"
#include "support/win32_system.h"

namespace {

const std::string kZone = ":Zone.Identifier";
const std::string kMark = "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://mail.example/\r\n";

TEST(ZoneIdentifier, APartGetsTheDocumentsMarkAndNothingWithoutOne) {
  win32test::ScratchFolder scratch;
  const std::string marked = scratch.path() + "marked.emc", plain = scratch.path() + "plain.emc";
  const std::string first = scratch.path() + "first.doc", second = scratch.path() + "second.doc";
  for (const std::string& file : {marked, plain, first, second}) ASSERT_TRUE(win32test::WriteFile(file, "bytes"));
  ASSERT_TRUE(win32test::WriteFile(marked + kZone, kMark));

  EXPECT_TRUE(os::CopyZoneIdentifier(marked.c_str(), first.c_str()));
  EXPECT_EQ(support::FileText(first + kZone), kMark);
  EXPECT_EQ(support::FileText(first), "bytes");  // the part itself is untouched

  EXPECT_FALSE(os::CopyZoneIdentifier(plain.c_str(), second.c_str()));
  EXPECT_FALSE(win32test::Exists(second + kZone));
  EXPECT_FALSE(os::CopyZoneIdentifier(marked.c_str(), nullptr));
}

}  // namespace
