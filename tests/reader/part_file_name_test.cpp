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
