#include "reader/part_file_name.h"

#include <gtest/gtest.h>

using reader::DistinctPartFileName;
using reader::NameRules;
using reader::SafePartFileName;

TEST(PartFileName, NamesNeverLeaveTheirDirectory) {
  for (NameRules rules : {NameRules::Posix, NameRules::Windows}) {
    EXPECT_EQ(SafePartFileName("..\\..\\x", rules), ".._.._x");
    EXPECT_EQ(SafePartFileName("/etc/x", rules), "_etc_x");
    EXPECT_EQ(SafePartFileName("a/b", rules), "a_b");
    EXPECT_EQ(SafePartFileName("C:x", rules), "C_x");
    EXPECT_EQ(SafePartFileName("", rules), "part");
    EXPECT_EQ(SafePartFileName(".", rules), "part");
    EXPECT_EQ(SafePartFileName("..", rules), "part");
    EXPECT_EQ(SafePartFileName("../..", rules), rules == NameRules::Posix ? ".._.." : ".._");
    EXPECT_EQ(SafePartFileName(std::string("a\nb\x7f\x01.txt"), rules), "a_b__.txt");
    EXPECT_EQ(SafePartFileName("report.pdf", rules), "report.pdf");
  }
}

TEST(PartFileName, WindowsRulesAvoidDevicesAndTrailingDots) {
  EXPECT_EQ(SafePartFileName("CON", NameRules::Windows), "_CON");
  EXPECT_EQ(SafePartFileName("con.txt", NameRules::Windows), "_con.txt");
  EXPECT_EQ(SafePartFileName("Lpt1.pdf", NameRules::Windows), "_Lpt1.pdf");
  EXPECT_EQ(SafePartFileName("COM10.txt", NameRules::Windows), "COM10.txt");
  EXPECT_EQ(SafePartFileName("notes.txt. . ", NameRules::Windows), "notes.txt");
  EXPECT_EQ(SafePartFileName("...", NameRules::Windows), "part");
  EXPECT_EQ(SafePartFileName("a?b*.txt", NameRules::Windows), "a_b_.txt");
  EXPECT_EQ(SafePartFileName("a?b*.txt", NameRules::Posix), "a?b*.txt");
  EXPECT_EQ(SafePartFileName("CON", NameRules::Posix), "CON");
}

TEST(PartFileName, SuperscriptDigitsNameDevicesToo) {
  // Windows also reserves COM and LPT followed by the superscript digits one,
  // two and three (0xB9, 0xB2, 0xB3 in the ANSI code page).
  for (const char* device : {"COM\xB9", "com\xB2.txt", "Com\xB3", "LPT\xB9", "lpt\xB2.pdf", "LPT\xB3 .doc"}) {
    EXPECT_EQ(SafePartFileName(device, NameRules::Windows), std::string("_") + device) << device;
    EXPECT_EQ(SafePartFileName(device, NameRules::Posix), device) << device;
  }
  // Other bytes above 127 after COM or LPT are ordinary names.
  for (const char* name : {"COM\xB4", "LPT\xBC.txt", "COM\xB9\xB9", "COM\xC2\xB9"}) {
    EXPECT_EQ(SafePartFileName(name, NameRules::Windows), name) << name;
  }
}

TEST(PartFileName, DuplicatesGetNumberedBeforeTheExtension) {
  std::vector<std::string> taken = {"report.txt"};
  EXPECT_EQ(DistinctPartFileName("report.txt", taken), "report (2).txt");
  taken.push_back("report (2).txt");
  EXPECT_EQ(DistinctPartFileName("report.txt", taken), "report (3).txt");
  EXPECT_EQ(DistinctPartFileName("other.txt", taken), "other.txt");
  EXPECT_EQ(DistinctPartFileName(".hidden", {".hidden"}), ".hidden (2)");
  EXPECT_EQ(DistinctPartFileName("README", {"README"}), "README (2)");
  EXPECT_EQ(DistinctPartFileName("Report.TXT", taken, NameRules::Windows), "Report (3).TXT");
  EXPECT_EQ(DistinctPartFileName("Report.TXT", taken, NameRules::Posix), "Report.TXT");
}
