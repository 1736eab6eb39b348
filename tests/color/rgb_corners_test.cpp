#include "color/rgb_corners.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

namespace {

CO_RGB_Corners Bt601Corners() {
  CO_RGB_Corners k;
  CO_GetRGB_CornersInYC_2(k.angle, k.nx, k.ny, k.c, k.y, k.cb, k.cr);
  return k;
}

float Degrees(float radians) { return radians * 180.0f / std::numbers::pi_v<float>; }

TEST(ColorRgbCorners, CornersFormAHexagonAroundGrey) {
  const CO_RGB_Corners k = Bt601Corners();
  EXPECT_NEAR(Degrees(k.angle[0]), -128.35f, 0.01f);  // green
  EXPECT_NEAR(Degrees(k.angle[5]), 170.76f, 0.01f);   // yellow
  for (int i = 0; i < 5; ++i) EXPECT_LT(k.angle[i], k.angle[i + 1]) << i;
  // Red's chroma is exactly on the Cr axis's end, blue's on the Cb axis's end.
  EXPECT_EQ(k.cr[4], 0.5f);
  EXPECT_EQ(k.cb[2], 0.5f);
  for (int i = 0; i < 6; ++i) {
    const int next = (i + 1) % 6;
    // Both ends of a side lie on its line, the normal is a unit vector pointing away from grey.
    EXPECT_NEAR(k.cb[i] * k.nx[i] + k.cr[i] * k.ny[i], k.c[i], 1e-6f) << i;
    EXPECT_NEAR(k.cb[next] * k.nx[i] + k.cr[next] * k.ny[i], k.c[i], 1e-6f) << i;
    EXPECT_NEAR(k.nx[i] * k.nx[i] + k.ny[i] * k.ny[i], 1.0f, 1e-6f) << i;
    EXPECT_GT(k.c[i], 0.0f) << i;
  }
  // BT.709 moves the corners; the sides come out the same way.
  float angle[6], nx[6], ny[6], c[6];
  CO_GetRGB_CornersInYC_1(angle, nx, ny, c, kCO_Rec709Matrix);
  EXPECT_NE(angle[0], k.angle[0]);
  CO_GetRGB_CornersInYC_1(angle, nx, ny, c, kCO_Rec601Matrix);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(c[i], k.c[i]);
}

TEST(ColorRgbCorners, BracketingCornersAndSides) {
  const CO_RGB_Corners k = Bt601Corners();
  struct Case {
    float phi;  // degrees
    const char *first;
    const char *second;
    SInt32 side;
  };
  const Case cases[] = {
      {-100.0f, "green", "cyan", 0}, {-50.0f, "cyan", "blue", 1}, {0.0f, "blue", "magenta", 2},
      {90.0f, "magenta", "red", 3},  {150.0f, "red", "yellow", 4}, {175.0f, "green", "yellow", 5},
      {-170.0f, "green", "yellow", 5},
  };
  for (const Case &c : cases) {
    float phi1 = 0, phi2 = 0;
    char name1[8] = {}, name2[8] = {};
    CO_GetNearestCornerColors(c.phi, kCO_Rec601Matrix, &phi1, name1, &phi2, name2);
    EXPECT_EQ(std::string(name1), c.first) << c.phi;
    EXPECT_EQ(std::string(name2), c.second) << c.phi;
    SInt32 side = -1;
    CO_GetNearestCorners(k.angle, c.phi * std::numbers::pi_v<float> / 180.0f, &side);
    EXPECT_EQ(side, c.side) << c.phi;
  }
  // A hue exactly at a corner belongs to the side that starts there.
  for (SInt32 i = 0; i < 6; ++i) {
    SInt32 side = -1;
    CO_GetNearestCorners(k.angle, k.angle[i], &side);
    EXPECT_EQ(side, i);
  }
}

TEST(ColorRgbCorners, SaturationIsOneOnTheEdgeOfEverySide) {
  const CO_RGB_Corners k = Bt601Corners();
  EXPECT_EQ(CO_CalcSaturation(0.0f, 0.0f, k.angle, k.nx, k.ny, k.c), 0.0f);
  for (int i = 0; i < 6; ++i) {
    const int next = (i + 1) % 6;
    // The middle of each side, and halfway there.
    const float cb = (k.cb[i] + k.cb[next]) / 2, cr = (k.cr[i] + k.cr[next]) / 2;
    EXPECT_NEAR(CO_CalcSaturation(cb, cr, k.angle, k.nx, k.ny, k.c), 1.0f, 1e-5f) << i;
    EXPECT_NEAR(CO_CalcSaturation(cb / 2, cr / 2, k.angle, k.nx, k.ny, k.c), 0.5f, 1e-5f) << i;
    EXPECT_NEAR(CO_CalcSaturation(k.cb[i], k.cr[i], k.angle, k.nx, k.ny, k.c), 1.0f, 1e-5f) << i;
  }
}

TEST(ColorRgbCorners, SaturatedColorAtAHue) {
  const CO_RGB_Corners k = Bt601Corners();
  for (int i = 0; i < 6; ++i) {
    // At the corner's own hue and luma the colour is the corner itself.
    const UInt8 y = UInt8(std::lround(16.0f + 235.0f * k.y[i]));
    SInt16 cb = -999, cr = -999;
    CO_SaturatedColorToYC(k.angle[i], y, &k, &cb, &cr);
    EXPECT_NEAR(cb, 224.0f * k.cb[i], 2.0f) << i;
    EXPECT_NEAR(cr, 224.0f * k.cr[i], 2.0f) << i;
  }
  // Black and white keep no chroma.
  SInt16 cb = -999, cr = -999;
  CO_SaturatedColorToYC(k.angle[4], 16, &k, &cb, &cr);
  EXPECT_EQ(cb, 0);
  EXPECT_EQ(cr, 0);
  CO_SaturatedColorToYC(k.angle[4], 251, &k, &cb, &cr);
  EXPECT_EQ(cb, 0);
  EXPECT_EQ(cr, 0);

  // A hue lying exactly on corner i, so that corner's offset from the ray is exactly 0: the point is the
  // corner itself, never NaN.
  CO_RGB_Corners onAxis = k;
  onAxis.cb[2] = 0.5f;
  onAxis.cr[2] = 0.0f;
  onAxis.angle[2] = 0.0f;
  onAxis.y[2] = 0.5f;
  CO_SaturatedColorToYC(0.0f, UInt8(16 + 235 / 2), &onAxis, &cb, &cr);
  EXPECT_EQ(cb, 111);  // 224 x 0.5 x (117.5 / 117.5 of the way), truncated
  EXPECT_EQ(cr, 0);
}

TEST(ColorRgbCorners, BasicColors) {
  struct Case {
    UInt32 color;
    UInt8 y, cb, cr;
    RGBColor rgb;
  };
  const Case cases[] = {
      {kCO_RedBasicColor, 111, 109, 184, {65535, 0, 0}},
      {kCO_BlueBasicColor, 100, 184, 118, {0, 0, 65535}},
      {kCO_GreenBasicColor, 144, 90, 81, {0, 65535, 0}},
      {kCO_WhiteBasicColor, 235, 128, 128, {65535, 65535, 65535}},
      {kCO_BlackBasicColor, 16, 128, 128, {0, 0, 0}},
  };
  for (const Case &c : cases) {
    UInt8 ycc[3] = {1, 2, 3};
    CO_RGBBasicColorToYCbCrU8(c.color, ycc);
    EXPECT_EQ(ycc[0], c.y) << c.color;
    EXPECT_EQ(ycc[1], c.cb) << c.color;
    EXPECT_EQ(ycc[2], c.cr) << c.color;
    RGBColor rgb{1, 2, 3};
    CO_RGBBasicColorToRGBColor(c.color, &rgb);
    EXPECT_EQ(rgb.red, c.rgb.red) << c.color;
    EXPECT_EQ(rgb.green, c.rgb.green) << c.color;
    EXPECT_EQ(rgb.blue, c.rgb.blue) << c.color;
  }
  RGBColor rgb{1, 2, 3};
  CO_RGBBasicColorToRGBColor(kCO_MidGrayBasicColor, &rgb);
  EXPECT_EQ(rgb.red, 32767);
  EXPECT_EQ(rgb.green, 32767);
  EXPECT_EQ(rgb.blue, 32767);
  // Constants that name no basic colour write nothing.
  rgb = RGBColor{1, 2, 3};
  CO_RGBBasicColorToRGBColor(35, &rgb);
  EXPECT_EQ(rgb.red, 1);
  EXPECT_EQ(rgb.blue, 3);
  UInt8 ycc[3] = {1, 2, 3};
  CO_RGBBasicColorToYCbCrU8(kCO_MidGrayBasicColor, ycc);
  EXPECT_EQ(ycc[0], 1);
  EXPECT_EQ(ycc[2], 3);
}

}  // namespace
