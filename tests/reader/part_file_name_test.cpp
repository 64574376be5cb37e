#include "reader/part_file_name.h"

#include <gtest/gtest.h>

using reader::NameRules;
using reader::PartFileNames;
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

TEST(PartFileName, DuplicatesGetTheLowestFreeNumberBeforeTheExtension) {
  for (NameRules rules : {NameRules::Posix, NameRules::Windows}) {
    PartFileNames names(rules);
    const auto take = [&](const std::string& name) {
      std::string distinct = names.Distinct(name);
      names.Add(distinct);
      return distinct;
    };
    EXPECT_EQ(take("report.txt"), "report.txt");
    EXPECT_EQ(take("report.txt"), "report (2).txt");
    EXPECT_EQ(take("report (4).txt"), "report (4).txt");  // a document may use the numbered forms itself
    EXPECT_EQ(take("report.txt"), "report (3).txt");
    EXPECT_EQ(take("report.txt"), "report (5).txt");
    EXPECT_EQ(take("report (2).txt"), "report (2) (2).txt");
    EXPECT_EQ(take(".hidden"), ".hidden");
    EXPECT_EQ(take(".hidden"), ".hidden (2)");  // a leading dot is no extension
    EXPECT_EQ(take("README"), "README");
    EXPECT_EQ(take("README"), "README (2)");
    EXPECT_EQ(take("Report.TXT"), rules == NameRules::Windows ? "Report (6).TXT" : "Report.TXT");
    EXPECT_EQ(take("a.tar.gz"), "a.tar.gz");
    EXPECT_EQ(take("a.tar.gz"), "a.tar (2).gz");
    // A name offered but never taken (its file could not be created) is
    // offered again.
    EXPECT_EQ(names.Distinct("report.txt"), rules == NameRules::Windows ? "report (7).txt" : "report (6).txt");
    EXPECT_EQ(names.Distinct("report.txt"), rules == NameRules::Windows ? "report (7).txt" : "report (6).txt");
    names.Clear();
    EXPECT_EQ(names.Count(), 0u);
    EXPECT_EQ(take("report.txt"), "report.txt");
  }
}

// 65,535 parts named alike (the most a document can state) cost a handful of
// look-ups each, counted, not timed.
TEST(PartFileName, ManyPartsOfOneNameCostTheSamePerPart) {
  for (NameRules rules : {NameRules::Posix, NameRules::Windows}) {
    for (const std::size_t parts : {std::size_t{1000}, std::size_t{65535}}) {
      PartFileNames names(rules);
      const bool windows = rules == NameRules::Windows;
      std::string last;
      for (std::size_t i = 0; i < parts; ++i) {
        last = names.Distinct(windows && i % 2 == 1 ? "SAME.TXT" : "same.txt");  // alike when case is ignored
        names.Add(last);
      }
      ASSERT_LE(names.Probes(), 4 * parts) << parts << " parts";
      EXPECT_EQ(names.Count(), parts);
      EXPECT_EQ(last, (windows && parts % 2 == 0 ? "SAME (" : "same (") + std::to_string(parts) +
                          (windows && parts % 2 == 0 ? ").TXT" : ").txt"));
    }
  }
}
