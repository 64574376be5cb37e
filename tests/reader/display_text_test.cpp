// Document texts on their way into a window: always valid UTF-8, nothing
// that controls, reorders or overflows.

#include <gtest/gtest.h>

#include <string>

#include "reader/display_text.h"

using reader::DisplayText;
using reader::DisplayTextLimits;

namespace {

constexpr DisplayTextLimits kLine{10, false};
constexpr DisplayTextLimits kBody{10, true};
const std::string kFffd = "\xEF\xBF\xBD";

}  // namespace

TEST(DisplayText, Utf8ThroughoutIsKeptAnythingElseIsReadAsWindows1252) {
  EXPECT_EQ(DisplayText("caf\xC3\xA9 \xE2\x82\xAC", kLine), "caf\xC3\xA9 \xE2\x82\xAC");  // café €
  EXPECT_EQ(DisplayText("\xF0\x9F\x94\x92", kLine), "\xF0\x9F\x94\x92");                  // U+1F512
  EXPECT_EQ(DisplayText("caf\xE9 \x80", kLine), "caf\xC3\xA9 \xE2\x82\xAC");             // the same, cp1252
  // Malformed anywhere makes the whole text cp1252: overlong "/" and ESC,
  // a surrogate, a value above U+10FFFF, a lone continuation, a cut sequence.
  EXPECT_EQ(DisplayText("\xC0\xAF", kLine), "\xC3\x80\xC2\xAF");
  const std::string euro = "\xE2\x82\xAC";
  EXPECT_EQ(DisplayText("\xE0\x80\x9B", kLine), "\xC3\xA0" + euro + "\xE2\x80\xBA");
  EXPECT_EQ(DisplayText("\xED\xA0\x80", kLine), "\xC3\xAD\xC2\xA0" + euro);
  EXPECT_EQ(DisplayText("\xF4\x90\x80\x80", kLine), "\xC3\xB4" + kFffd + euro + euro);
  EXPECT_EQ(DisplayText("\xC3\xA9\xA9", kLine), "\xC3\x83\xC2\xA9\xC2\xA9");
  EXPECT_EQ(DisplayText("a\xE2\x82", kLine), "a\xC3\xA2\xE2\x80\x9A");
  // The five bytes Windows-1252 leaves undefined.
  EXPECT_EQ(DisplayText("\x81\x8D\x8F\x90\x9D", kLine), kFffd + kFffd + kFffd + kFffd + kFffd);
  EXPECT_EQ(DisplayText(nullptr, kLine), "");
}

TEST(DisplayText, ControlsAndDirectionOverridesBecomeReplacementCharacters) {
  EXPECT_EQ(DisplayText("a\x1B[2Jb", kLine), "a" + kFffd + "[2Jb");
  EXPECT_EQ(DisplayText("\x7F\x07", kLine), kFffd + kFffd);
  EXPECT_EQ(DisplayText("\xC2\x9B" "1m", kLine), kFffd + "1m");  // C1 CSI as UTF-8
  // "txt.exe" shown backwards by RIGHT-TO-LEFT OVERRIDE; isolates and marks too.
  EXPECT_EQ(DisplayText("a\xE2\x80\xAE" "exe.txt", DisplayTextLimits{20, false}), "a" + kFffd + "exe.txt");
  EXPECT_EQ(DisplayText("\xE2\x81\xA6\xE2\x80\x8F\xEF\xBB\xBF", kLine), kFffd + kFffd + kFffd);
}

TEST(DisplayText, LineEndsStayInBodiesAndBecomeSpacesInTitles) {
  EXPECT_EQ(DisplayText("a\r\nb\rc\nd\te", kBody), "a\nb\nc\nd e");
  EXPECT_EQ(DisplayText("a\r\nb\rc\nd\te", kLine), "a b c d e");
  EXPECT_EQ(DisplayText("a\xE2\x80\xA8" "b", kBody), "a\nb");
}

TEST(DisplayText, LongTextsAreCutOnACharacterWithAnEllipsis) {
  EXPECT_EQ(DisplayText("0123456789", kLine), "0123456789");
  EXPECT_EQ(DisplayText("0123456789A", kLine), "0123456789\xE2\x80\xA6");
  std::string euros;
  for (int i = 0; i < 100000; ++i) euros += "\xE2\x82\xAC";
  std::string tenEuros;
  for (int i = 0; i < 10; ++i) tenEuros += "\xE2\x82\xAC";
  EXPECT_EQ(DisplayText(euros.c_str(), kLine), tenEuros + "\xE2\x80\xA6");
  // A malformed byte far beyond the cut still decides the reading.
  euros += "\xFF";
  EXPECT_EQ(DisplayText(euros.c_str(), kLine).substr(0, 3), "\xC3\xA2\xE2");
}
