// Text drawing and font lookups, measured and drawn through a port whose text back end measures by rule
// (support/fake_text_port.h).
#include "general/text_drawing.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "support/cf_check.h"
#include "support/fake_text_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

struct GeneralTextDrawing : ::testing::Test {
  FakeTextPort *fake = nullptr;
  GrafPtr saved = nullptr;
  void SetUp() override {
    GetPort(&saved);
    fake = NewFakeTextPort();
    SetPort(fake->port);
  }
  void TearDown() override {
    SetPort(saved);
    DisposeFakeTextPort(fake);
  }
};

TEST_F(GeneralTextDrawing, RandomBasicColorsAreTheSevenBrightOnes) {
  const std::set<SInt32> bright{30, 69, 137, 205, 273, 341, 409};
  std::set<SInt32> seen;
  srandom(7);
  for (int i = 0; i < 400; ++i) {
    SInt32 color = 0;
    GL_GetRandomBasicColor(&color);
    ASSERT_EQ(1u, bright.count(color)) << color;
    seen.insert(color);
  }
  EXPECT_EQ(bright, seen);
}

TEST_F(GeneralTextDrawing, ScaledLineFitsEightTenthsOfTheFrame) {
  struct Case {
    const char *text;
    Rect frame;
    SInt16 size;  // the fake font's ascent and descent together are the size's
  };
  // 8/10 of the height caps the size; a long text shrinks further to 8/10 of the width.
  const Case cases[] = {{"ab", {0, 0, 50, 400}, 32}, {"abcdefghij", {10, 20, 60, 220}, 16}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    fake->drawn.clear();
    const std::string text = c.text;
    Str255 p;
    p[0] = UInt8(text.size());
    std::memcpy(p + 1, text.data(), text.size());
    const RGBColor red{65535, 0, 0};
    GL_DrawTextLineScaled(p, &c.frame, &red, 3);
    ASSERT_EQ(1u, fake->drawn.size());
    EXPECT_EQ(c.size, GetPortTextSize(fake->port));
    EXPECT_EQ(3, GetPortTextFont(fake->port));
    const SInt32 width = FakeTextWidth(text, c.size, 0);
    EXPECT_EQ(c.frame.left + (c.frame.right - c.frame.left - width) / 2, fake->drawn[0].pen.h);
    EXPECT_EQ(c.frame.top + (c.frame.bottom - c.frame.top) / 2, fake->drawn[0].pen.v);
    RGBColor fore;
    PL_GetPortForeColor(fake->port, &fore);
    EXPECT_EQ(65535, fore.red);
  }
}

TEST_F(GeneralTextDrawing, ThreeLineImagesAndFonts) {
  GL_CStringLE third{nullptr, "third line"}, second{&third, "ii"}, first{&second, "one"};
  const Rect frame{0, 0, 120, 100};
  srandom(3);
  GL_DrawThreeLineImage(frame, 30, 33, &first);
  ASSERT_EQ(3u, fake->drawn.size());
  // Size 120 / 6 = 20 down to the largest at which "third line" (8 characters and two half-wide i) is
  // narrower than 100: 11.
  EXPECT_EQ(11, GetPortTextSize(fake->port));
  EXPECT_EQ("ii", fake->drawn[1].text);
  EXPECT_EQ((100 - FakeTextWidth("ii", 11, 0)) / 2, fake->drawn[1].pen.h);
  EXPECT_EQ(30, fake->drawn[0].pen.v);
  EXPECT_EQ(66, fake->drawn[1].pen.v);
  EXPECT_EQ(102, fake->drawn[2].pen.v);

  // Without a current port: nothing, and paramErr.
  SetPort(nullptr);
  fake->drawn.clear();
  GL_DrawThreeLineImage(frame, 30, 33, &first);
  EXPECT_EQ(paramErr, QDError());
  EXPECT_TRUE(fake->drawn.empty());
  SetPort(fake->port);

  TextSize(12);
  TextFace(bold);
  GL_SetAppFont();
  EXPECT_EQ(applFont, GetPortTextFont(fake->port));
  EXPECT_EQ(0, GetPortTextSize(fake->port));
  EXPECT_EQ(0, GetPortTextFace(fake->port));
  EXPECT_EQ(srcCopy, GetPortTextMode(fake->port));
  GL_SetSystemFont();
  EXPECT_EQ(systemFont, GetPortTextFont(fake->port));

  ATSUFontID id = 99;
  ASSERT_EQ(noErr, GL_ThemeFontToATSUFontID(kThemeSmallSystemFont, &id));
  EXPECT_EQ(ATSUFontID(systemFont), id);
  EXPECT_EQ(paramErr, GL_ThemeFontToATSUFontID(4, &id));
  ATSFontRef ref = 99;
  EXPECT_EQ(noErr, GL_FontFamilyToATSFontRef(22, 0, &ref));
  EXPECT_EQ(22u, ref);
  EXPECT_EQ(noErr, GL_FontFamilyToATSFontRef(999, 0, &ref));  // no such family: still noErr
  EXPECT_EQ(21, GL_FontNameToFontID(CFSTR("Helvetica")));
  CFStringRef name = GL_FontIDToFontName(22);
  EXPECT_EQ("Courier", bz_test::CFText(name));
  CFRelease(name);
  name = GL_FontIDToFontName(999);
  EXPECT_EQ("", bz_test::CFText(name));
  CFRelease(name);
}

}  // namespace
