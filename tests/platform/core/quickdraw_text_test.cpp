#include "platform/core/quickdraw_text.h"

#include "platform/core/mac_errors.h"
#include "platform/core/quickdraw_geometry.h"
#include "support/fake_text_port.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

void ToPascal(const std::string &s, Str255 p) {
  p[0] = UInt8(s.size());
  std::memcpy(p + 1, s.data(), s.size());
}

std::string FromPascal(const Str255 p) { return std::string(reinterpret_cast<const char *>(p + 1), p[0]); }

class PlatformQuickDrawText : public ::testing::Test {
 protected:
  void SetUp() override {
    GetPort(&saved_);
    fake_ = NewFakeTextPort();
    SetPort(fake_->port);
  }
  void TearDown() override {
    DisposeFakeTextPort(fake_);
    SetPort(saved_);
  }
  GrafPtr saved_ = nullptr;
  FakeTextPort *fake_ = nullptr;
};

TEST_F(PlatformQuickDrawText, TextStateBelongsToEachPort) {
  EXPECT_EQ(GetPortTextFont(fake_->port), 0);
  EXPECT_EQ(GetPortTextSize(fake_->port), 0);
  EXPECT_EQ(GetPortTextFace(fake_->port), normal);
  EXPECT_EQ(GetPortTextMode(fake_->port), srcOr);

  TextFont(22);
  TextSize(14);
  TextFace(bold | italic | 0x100);  // only the low byte holds style bits
  TextMode(srcCopy);
  EXPECT_EQ(GetPortTextFont(fake_->port), 22);
  EXPECT_EQ(GetPortTextSize(fake_->port), 14);
  EXPECT_EQ(GetPortTextFace(fake_->port), bold | italic);
  EXPECT_EQ(GetPortTextMode(fake_->port), srcCopy);

  FakeTextPort *other = NewFakeTextPort();
  SetPort(other->port);
  TextSize(30);
  EXPECT_EQ(GetPortTextSize(fake_->port), 14);
  EXPECT_EQ(GetPortTextSize(other->port), 30);
  DisposeFakeTextPort(other);
  SetPort(fake_->port);
}

TEST_F(PlatformQuickDrawText, MeasuresThroughTheBackEndInThePortsFont) {
  Str255 s;
  ToPascal("Word", s);
  TextSize(12);
  TextFace(bold);
  TextFont(4);
  EXPECT_EQ(StringWidth(s), 4 * 13);
  EXPECT_EQ(QDError(), noErr);
  ASSERT_EQ(fake_->measured.size(), 1u);
  EXPECT_EQ(fake_->measured[0].text, "Word");
  EXPECT_EQ(fake_->measured[0].font, 4);
  EXPECT_EQ(fake_->measured[0].size, 12);
  EXPECT_EQ(fake_->measured[0].face, bold);

  TextFace(normal);
  const char text[] = "xxabcxx";
  EXPECT_EQ(TextWidth(text, 2, 3), 36);
  EXPECT_EQ(fake_->measured.back().text, "abc");
  EXPECT_EQ(TextWidth(text, 0, 0), 0);
  EXPECT_EQ(CharWidth('i'), 6);

  FontInfo info{};
  GetFontInfo(&info);
  EXPECT_EQ(info.ascent, 12);
  EXPECT_EQ(info.descent, 3);
  EXPECT_EQ(info.leading, 4);  // the fake reports the font number here
}

TEST_F(PlatformQuickDrawText, FailuresAreReportedNotGuessed) {
  Str255 s;
  ToPascal("abc", s);
  // A port without a text back end.
  Rect bounds{0, 0, 10, 10};
  GrafPtr bare = PL_NewPort(&bounds, Point{0, 0}, nullptr, nullptr);
  SetPort(bare);
  EXPECT_EQ(StringWidth(s), 0);
  EXPECT_EQ(QDError(), unimpErr);
  FontInfo info{5, 5, 5, 5};
  GetFontInfo(&info);
  EXPECT_EQ(QDError(), unimpErr);
  EXPECT_EQ(info.ascent, 0);
  EXPECT_EQ(TruncString(1, s, truncEnd), truncErr);
  EXPECT_EQ(FromPascal(s), "abc");
  MoveTo(5, 6);
  DrawString(s);
  EXPECT_EQ(QDError(), unimpErr);
  PenState pen;
  GetPenState(&pen);
  EXPECT_EQ(pen.pnLoc.h, 5);
  // No current port at all.
  PL_DisposePort(bare);
  EXPECT_EQ(StringWidth(s), 0);
  EXPECT_EQ(QDError(), paramErr);
  TextSize(9);
  EXPECT_EQ(QDError(), paramErr);
  SetPort(fake_->port);
  EXPECT_EQ(StringWidth(nullptr), 0);
  EXPECT_EQ(QDError(), paramErr);
  EXPECT_EQ(TruncString(-1, s, truncEnd), truncErr);
}

TEST_F(PlatformQuickDrawText, TruncStringFitsWholeCharacters) {
  // Characters are 10 pixels wide, "…" too.
  struct Case {
    const char *text;
    SInt16 width;
    TruncCode where;
    SInt16 result;
    const char *expected;
  } const cases[] = {
      {"abcdefgh", 80, truncEnd, notTruncated, "abcdefgh"},
      {"abcdefgh", 79, truncEnd, truncated, "abcdef\xE2\x80\xA6"},
      {"abcdefgh", 50, truncEnd, truncated, "abcd\xE2\x80\xA6"},
      {"abcdefgh", 50, truncMiddle, truncated, "ab\xE2\x80\xA6gh"},
      {"abcdefgh", 40, truncMiddle, truncated, "ab\xE2\x80\xA6h"},
      {"abcdefgh", 10, truncEnd, truncated, "\xE2\x80\xA6"},
      {"abcdefgh", 9, truncMiddle, truncated, ""},
      {"", 0, truncEnd, notTruncated, ""},
      // Two-byte characters are never split.
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 30, truncEnd, truncated, "\xC3\xA9\xC3\xA9\xE2\x80\xA6"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.width));
    Str255 s;
    ToPascal(c.text, s);
    EXPECT_EQ(TruncString(c.width, s, c.where), c.result);
    EXPECT_EQ(FromPascal(s), c.expected);
  }
}

TEST_F(PlatformQuickDrawText, TruncStringKeepsWithin255Bytes) {
  // 255 one-byte characters, 2540 pixels of room: 253 characters and the ellipsis would fit the width but
  // take 256 bytes, so 252 are kept.
  Str255 s;
  ToPascal(std::string(255, 'a'), s);
  EXPECT_EQ(TruncString(2540, s, truncEnd), truncated);
  EXPECT_EQ(s[0], 255);
  EXPECT_EQ(FromPascal(s), std::string(252, 'a') + "\xE2\x80\xA6");
}

TEST_F(PlatformQuickDrawText, DrawingMovesThePen) {
  Str255 s;
  ToPascal("abc", s);
  MoveTo(7, 20);
  DrawString(s);
  EXPECT_EQ(QDError(), noErr);
  const char text[] = "--xy";
  DrawText(text, 2, 2);
  DrawChar('i');
  ASSERT_EQ(fake_->drawn.size(), 3u);
  EXPECT_EQ(fake_->drawn[0].text, "abc");
  EXPECT_EQ(fake_->drawn[0].pen.h, 7);
  EXPECT_EQ(fake_->drawn[0].pen.v, 20);
  EXPECT_EQ(fake_->drawn[1].text, "xy");
  EXPECT_EQ(fake_->drawn[1].pen.h, 37);
  EXPECT_EQ(fake_->drawn[2].pen.h, 57);
  PenState pen;
  GetPenState(&pen);
  EXPECT_EQ(pen.pnLoc.h, 62);
  EXPECT_EQ(pen.pnLoc.v, 20);
}

}  // namespace
