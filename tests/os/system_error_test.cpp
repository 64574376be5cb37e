// The fixed error sentences and the one place that shows them.

#include "os/system_error.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_gui.h"

using testing_support::FakeGui;

TEST(SystemErrorText, ReasonsFormatsAndBounds) {
  char out[256];
  os::FormatSystemError("Could not %s.  Reason: %s", "register", 87, out, sizeof out);
  EXPECT_STREQ(out, "Could not register.  Reason: 87");
  os::FormatSystemError("Could not delete '%s'.  Reason: %s", "x", 1155, out, sizeof out);
  EXPECT_STREQ(out, "Could not delete 'x'.  Reason: There is no application associated\nwith the given filename extension.");
  os::SystemErrorReason(5, out, sizeof out);
  EXPECT_STREQ(out, os::AccessDeniedSuggestsAdministrator()
                        ? "The operating system denied access to the specified file.\n"
                          "Please reinstall the application as Administrator."
                        : "The operating system denied access to the specified file.");
  os::SystemErrorReason(1223, out, sizeof out);
  EXPECT_STREQ(out, "Operation Cancelled");
  const std::string longPath(600, 'p');
  os::FormatSystemError("Could not open the program to read file named '%s'.\nReason: %s", longPath.c_str(), 2,
                             out, sizeof out);
  EXPECT_EQ(std::string(out).size(), 255u);
  char tiny[8];
  os::FormatSystemError("Could not %s.  Reason: %s", "x", 2, tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "Could n");  // cut at the buffer and terminated

  FakeGui gui;
  os::quietFlag = 1;
  os::ReportSystemError("Could not %s.  Reason: %s", "x", 2);
  EXPECT_TRUE(gui.messages.empty());
  os::quietFlag = 0;
  os::ReportSystemError("Could not %s.  Reason: %s", "x", 2);
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0].text, "Could not x.  Reason: The specified file was not found.");
}
