// The general library's Quartz and picture helpers, checked pixel by pixel on contexts and worlds over our
// own memory. Pixels are 0xAARRGGBB words; "row" counts from a bitmap's first (top) row, "y" is Quartz's
// upward coordinate.
#include "general/quartz_pictures.h"

#include "color/rgb_corners.h"
#include "general/error_keys.h"
#include "platform/core/cf_string.h"
#include "platform/core/graphics_devices.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/windows.h"
#include "support/fake_text_port.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

UInt32 Word(const UInt8 *p) { return UInt32(p[0]) << 24 | UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3]; }

constexpr UInt32 kClear = 0, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

// A context from GL_CreateStdCGContext over a buffer of our own, cleared to `fill`.
struct Bitmap {
  size_t width, height;
  std::vector<UInt8> pixels;
  CGContextRef context = nullptr;
  Bitmap(size_t w, size_t h, UInt32 fill) : width(w), height(h), pixels(w * h * 4) {
    for (size_t i = 0; i < w * h; ++i) {
      const UInt8 argb[4] = {UInt8(fill >> 24), UInt8(fill >> 16), UInt8(fill >> 8), UInt8(fill)};
      std::memcpy(&pixels[4 * i], argb, 4);
    }
    void *data = pixels.data();
    context = GL_CreateStdCGContext(CGRectMake(0, 0, CGFloat(w), CGFloat(h)), &data);
    EXPECT_NE(nullptr, context);
  }
  ~Bitmap() { CGContextRelease(context); }
  UInt32 At(size_t x, size_t row) const { return Word(&pixels[(row * width + x) * 4]); }
  // The pixel whose Quartz square is [x, x + 1) x [y, y + 1).
  UInt32 AtY(size_t x, size_t y) const { return At(x, height - 1 - y); }
  // A view's space: y down from the top, as in HIToolbox views.
  void Flip() {
    CGContextTranslateCTM(context, 0, CGFloat(height));
    CGContextScaleCTM(context, 1, -1);
  }
};

// An ARGB image whose pixel (x, y) is 0xFF000000 | x << 8 | y, its first row on top.
CGImageRef CodedImage(size_t width, size_t height) {
  std::vector<UInt8> argb(width * height * 4);
  for (size_t y = 0; y < height; ++y)
    for (size_t x = 0; x < width; ++x) {
      UInt8 *p = &argb[(y * width + x) * 4];
      p[0] = 255;
      p[1] = 0;
      p[2] = UInt8(x);
      p[3] = UInt8(y);
    }
  return PL_CGImageCreateARGB(width, height, argb.data(), width * 4);
}
UInt32 Code(size_t x, size_t y) { return 0xFF000000u | UInt32(x) << 8 | UInt32(y); }

// ---- The sequential provider ----

// A buffer of rows of `width` pixels whose byte i of row r is r * 16 + i.
struct Rows {
  std::vector<UInt8> bytes;
  GL_ProviderInfo info{};
  Rows(SInt32 height, SInt32 width) : bytes(size_t(height * width * 4)) {
    for (SInt32 r = 0; r < height; ++r)
      for (SInt32 i = 0; i < width * 4; ++i) bytes[size_t(r * width * 4 + i)] = UInt8(r * 16 + i);
    info.ptr = bytes.data();
    info.height = height;
    info.width = width;
    info.rowBytes = width * 4;
  }
};

TEST(GeneralQuartzProvider, ImagesShowTheBufferBottomRowFirst) {
  // Rows A (red, blue) then B (white, black): the image's first row is B.
  const UInt8 buffer[16] = {255, 255, 0, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0};
  GL_ProviderInfo info{};
  info.ptr = const_cast<UInt8 *>(buffer);
  info.height = 2;
  info.width = 2;
  info.mark = 5;
  info.data = &info;
  CGImageRef image = reinterpret_cast<CGImageRef>(0x1);  // a stale value: overwritten, not released
  GL_CreateCGImage(&info, &image);
  ASSERT_NE(nullptr, image);
  EXPECT_EQ(8, info.rowBytes);
  EXPECT_EQ(nullptr, info.data);
  EXPECT_EQ(kCGImageAlphaFirst, CGImageGetAlphaInfo(image));
  const UInt8 *p = PL_CGImageGetARGBPixels(image);
  EXPECT_EQ(kWhite, Word(p));
  EXPECT_EQ(kBlack, Word(p + 4));
  EXPECT_EQ(kRed, Word(p + 8));
  EXPECT_EQ(kBlue, Word(p + 12));
  CGImageRelease(image);
  GL_CreateCGImage(nullptr, &image);  // nothing to do
}

TEST(GeneralQuartzProvider, GetBytesServesRowsBottomFirstAcrossBoundaries) {
  Rows rows(3, 2);  // rows of 8 bytes, 24 in all
  struct Step {
    const char *what;
    enum { kGet, kSkip, kRewind } op;
    size_t count;
    std::vector<UInt8> want;  // bytes served (kGet)
    SInt32 markAfter;
  };
  const Step steps[] = {
      {"the bottom row's start", Step::kGet, 5, {32, 33, 34, 35, 36}, 5},
      {"mid-row across three rows", Step::kGet, 13, {37, 38, 39, 16, 17, 18, 19, 20, 21, 22, 23, 0, 1}, 18},
      {"more than is left: the rest", Step::kGet, 10, {2, 3, 4, 5, 6, 7}, 24},
      {"nothing at the end", Step::kGet, 4, {}, 24},
      {"rewind", Step::kRewind, 0, {}, 0},
      {"the bottom row again", Step::kGet, 2, {32, 33}, 2},
      {"skipping stops at the end", Step::kSkip, 100, {}, 24},
      {"rewind again", Step::kRewind, 0, {}, 0},
      {"skip a row and a half", Step::kSkip, 12, {}, 12},
      {"then the rest of the middle row", Step::kGet, 4, {20, 21, 22, 23}, 16},
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(s.what);
    if (s.op == Step::kRewind) {
      GL_Rewind(&rows.info);
    } else if (s.op == Step::kSkip) {
      GL_SkipBytes(&rows.info, s.count);
    } else {
      std::vector<UInt8> out(s.count, 0xEE);
      const size_t got = GL_GetBytes(&rows.info, out.data(), s.count);
      ASSERT_EQ(s.want.size(), got);
      EXPECT_EQ(s.want, std::vector<UInt8>(out.begin(), out.begin() + long(got)));
      for (size_t i = got; i < out.size(); ++i) EXPECT_EQ(0xEE, out[i]) << "written past what was served";
    }
    EXPECT_EQ(s.markAfter, rows.info.mark);
  }
}

TEST(GeneralQuartzProvider, GetCGBytesServesTopFirstAndNeverPastTheEnd) {
  Rows rows(2, 1);
  UInt8 out[16];
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(3u, GL_GetCGBytes(&rows.info, out, 3));
  EXPECT_EQ(0, out[0]);
  EXPECT_EQ(2, out[2]);
  EXPECT_EQ(5u, GL_GetCGBytes(&rows.info, out, 16));  // only what is left
  EXPECT_EQ(3, out[0]);
  EXPECT_EQ(19, out[4]);
  EXPECT_EQ(0xEE, out[5]);
  EXPECT_EQ(0u, GL_GetCGBytes(&rows.info, out, 16));
}

// ---- Contexts, colours and images ----

TEST(GeneralQuartzContexts, StandardContextsAndColouredImages) {
  // Its own buffer when given none; a size is truncated after adding 0.01.
  void *data = nullptr;
  CGContextRef context = GL_CreateStdCGContext(CGRectMake(3, 4, 5.995f, 2), &data);
  ASSERT_NE(nullptr, context);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(6u, CGBitmapContextGetWidth(context));
  EXPECT_EQ(24u, CGBitmapContextGetBytesPerRow(context));
  EXPECT_EQ(data, CGBitmapContextGetData(context));
  CGContextRelease(context);
  std::free(data);
  data = nullptr;
  EXPECT_EQ(nullptr, GL_CreateStdCGContext(CGRectMake(0, 0, -5, 2), &data));
  EXPECT_EQ(nullptr, GL_CreateStdCGContext(CGRectMake(0, 0, 0, 2), &data));
  EXPECT_EQ(nullptr, data);

  // A coloured image covers its whole size, wherever the rectangle lies.
  const RGBColor red{65535, 0, 0};
  CGImageRef image = GL_CreateColoredRectangularImage(CGRectMake(5, 5, 3, 2), &red, 255);
  ASSERT_NE(nullptr, image);
  ASSERT_EQ(3u, CGImageGetWidth(image));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(kRed, Word(PL_CGImageGetARGBPixels(image) + 4 * i)) << i;
  CGImageRelease(image);
  EXPECT_EQ(nullptr, GL_CreateColoredRectangularImage(CGRectMake(0, 0, 0, 0), &red, 255));

  float k[4];
  const RGBColor some{65535, 32767, 0};
  GL_ARGB_ToComponents(&some, 51, k);
  EXPECT_FLOAT_EQ(1.0f, k[0]);
  EXPECT_FLOAT_EQ(32767.0f / 65535.0f, k[1]);
  EXPECT_FLOAT_EQ(0.0f, k[2]);
  EXPECT_FLOAT_EQ(0.2f, k[3]);
  CGColorRef color = GL_ARGB_ToCGColor(&some, 51);
  ASSERT_NE(nullptr, color);
  EXPECT_FLOAT_EQ(0.2f, CGColorGetAlpha(color));
  CGColorRelease(color);
}

TEST(GeneralQuartzContexts, PngImagesFromTheBundle) {
  CGImageRef image = reinterpret_cast<CGImageRef>(0x1);
  ASSERT_EQ(noErr, GL_GetImageFromPNG_InAppBundle(CFSTR("Dock tile mask.png"), &image));
  ASSERT_NE(nullptr, image);
  EXPECT_EQ(128u, CGImageGetWidth(image));
  EXPECT_EQ(128u, CGImageGetHeight(image));
  EXPECT_EQ(kBlack, Word(PL_CGImageGetARGBPixels(image) + (64 * 128 + 64) * 4));  // the middle
  EXPECT_EQ(kWhite, Word(PL_CGImageGetARGBPixels(image)));                        // a corner
  CGImageRelease(image);

  EXPECT_EQ(kGL_BundleResourceNotFoundErr, GL_GetImageFromPNG_InAppBundle(CFSTR("No such image.png"), &image));
  EXPECT_EQ(nullptr, image);
  // A resource that is no PNG: found, but no image.
  EXPECT_EQ(noErr, GL_GetImageFromPNG_InAppBundle(CFSTR("Info.plist"), &image));
  EXPECT_EQ(nullptr, image);
}

TEST(GeneralQuartzContexts, CopyBitsScaleASourcePartOntoTheDestination) {
  CGImageRef image = CodedImage(4, 4);
  // Into a view: source (1, 1)-(3, 3) scaled by 4 onto an 8 x 8 destination at the view's origin.
  Bitmap view(10, 10, kClear);
  view.Flip();
  const Rect source{1, 1, 3, 3}, dest{0, 0, 8, 8};
  GL_HICopyBits(image, view.context, &source, &dest);
  for (size_t row = 0; row < 8; ++row)
    for (size_t x = 0; x < 8; ++x) ASSERT_EQ(Code(1 + x / 4, 1 + row / 4), view.At(x, row)) << x << ", " << row;
  // No clip: the rest of the scaled image lands beyond the destination.
  EXPECT_EQ(Code(3, 3), view.At(9, 9));

  // Into a window of height 8 whose context counts y upward: the part lands on the destination, and
  // nothing is drawn outside it.
  Bitmap window(8, 8, kClear);
  const Rect windowDest{2, 2, 6, 6};
  GL_CGCopyBits(image, window.context, 8, &source, &windowDest);
  for (size_t row = 0; row < 8; ++row)
    for (size_t x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 6 && row >= 2 && row < 6;
      ASSERT_EQ(inside ? Code(x / 2, row / 2) : kClear, window.At(x, row)) << x << ", " << row;
    }
  // The whole image as source goes onto the destination.
  Bitmap whole(8, 8, kClear);
  const Rect all{0, 0, 4, 4}, corner{4, 4, 8, 8};
  GL_CGCopyBits(image, whole.context, 8, &all, &corner);
  EXPECT_EQ(Code(0, 0), whole.At(4, 4));
  EXPECT_EQ(Code(3, 3), whole.At(7, 7));
  EXPECT_EQ(kClear, whole.At(3, 3));
  CGImageRelease(image);
}

// ---- Marching ants ----

// Full-coverage pixels of a dashed line on red: 'B' black, 'W' white, '?' partly covered, 'r' untouched.
std::string Line(const Bitmap &bm, size_t fixed, bool horizontal) {
  std::string s;
  for (size_t i = 0; i < (horizontal ? bm.width : bm.height); ++i) {
    const UInt32 p = horizontal ? bm.AtY(i, fixed) : bm.AtY(fixed, i);
    s += p == kBlack ? 'B' : p == kWhite ? 'W' : p == kRed ? 'r' : '?';
  }
  return s;
}

TEST(GeneralQuartzMarchingAnts, DashedLinesAlternateBlackAndWhite) {
  struct Case {
    const char *what;
    bool horizontal;
    float lineWidth;
    float phase;
    UInt32 period;
    std::vector<std::string> want;  // one string per covered line of pixels
  };
  // A 13-pixel line from (0, 1): the stroke runs from 0.5 to 12.5 along it, so the end pixels are halves.
  const Case cases[] = {
      {"horizontal", true, 1, 0, 4, {"?B?W?B?W?B?W?"}},
      {"a phase of 1 moves them back one pixel", true, 1, 1, 4, {"??W?B?W?B?W??"}},
      {"a whole period changes nothing", true, 1, 4, 4, {"?B?W?B?W?B?W?"}},
      {"vertical", false, 1, 0, 4, {"?B?W?B?W?B?W?"}},
      // Inset by a whole pixel: from x = 1 to 12, dashes of 4.
      {"two pixels wide", true, 2, 0, 8, {"rBBBBWWWWBBBr", "rBBBBWWWWBBBr"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Bitmap bm(14, 14, kRed);
    CGContextSetLineWidth(bm.context, c.lineWidth);
    const CGPoint base = c.horizontal ? CGPointMake(0, 1) : CGPointMake(1, 0);
    if (c.horizontal)
      GL_CG_DrawDashedHorizLine(bm.context, base, 13, c.lineWidth, 1, c.phase, c.period);
    else
      GL_CG_DrawDashedVertLine(bm.context, base, 13, c.lineWidth, 1, c.phase, c.period);
    for (size_t i = 0; i < c.want.size(); ++i) EXPECT_EQ(c.want[i] + "r", Line(bm, 1 + i, c.horizontal)) << i;
    EXPECT_EQ(std::string(14, 'r'), Line(bm, 0, c.horizontal));
    EXPECT_EQ(std::string(14, 'r'), Line(bm, 1 + c.want.size(), c.horizontal));
  }
  // A period of 0 draws nothing.
  Bitmap bm(4, 4, kRed);
  GL_CG_DrawDashedHorizLine(bm.context, CGPointMake(0, 0), 4, 1, 1, 0, 0);
  EXPECT_EQ("rrrr", Line(bm, 0, true));
}

TEST(GeneralQuartzMarchingAnts, DashedRectanglesStartWhiteAndMoveWithThePhase) {
  struct Case {
    float phase;
    const char *bottom;  // the bottom edge's pixels x = 1..8 (the corners are where the path starts and ends)
  };
  // A 10 x 10 rectangle, its 1-pixel line inset by 0.5: the path starts at the bottom left, white first.
  const Case cases[] = {{0, "W?B?W?B?"}, {2, "B?W?B?W?"}, {4, "W?B?W?B?"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.phase);
    Bitmap bm(12, 12, kRed);
    GL_CG_DrawDashedRect(bm.context, CGRectMake(0, 0, 10, 10), 1, 1, c.phase, 4);
    EXPECT_EQ(c.bottom, Line(bm, 0, true).substr(1, 8));
    EXPECT_EQ('r', Line(bm, 0, true)[10]);  // the line stays inside the rectangle
    EXPECT_EQ(kRed, bm.AtY(5, 5));           // and leaves its inside alone
  }
}

// ---- Frames ----

TEST(GeneralQuartzFrames, DarkenedStripsCoverTheCornersTwice) {
  Bitmap bm(10, 10, kWhite);
  const HIRect rect = CGRectMake(0, 0, 10, 10);
  const Rect frame{2, 3, 1, 2};  // top, left, bottom, right widths
  EXPECT_EQ(noErr, GL_DarkenSubFrame(bm.context, &rect, &frame, 0.5f));
  for (size_t y = 0; y < 10; ++y)
    for (size_t x = 0; x < 10; ++x) {
      const int strips = (x < 3) + (x >= 8) + (y < 2) + (y >= 9);
      const UInt32 p = bm.AtY(x, y);
      const int grey = int(p & 0xFF);
      const int want = strips == 0 ? 255 : strips == 1 ? 128 : 64;  // covered once or twice with black at 0.5
      EXPECT_NEAR(want, grey, strips == 0 ? 0 : 1) << x << ", " << y;
      EXPECT_EQ(0xFFu, p >> 24);
    }
  // The state is as before: the fill colour is the context's own again.
  CGContextFillRect(bm.context, CGRectMake(4, 4, 1, 1));
  EXPECT_EQ(kBlack, bm.AtY(4, 4));
}

TEST(GeneralQuartzFrames, MetalFramesPaintFourStripsOfTheWindowBackground) {
  Bitmap bm(10, 10, kClear);
  const HIRect window = CGRectMake(-20, -20, 100, 100), rect = CGRectMake(1, 1, 8, 8);
  const Rect frame{1, 2, 3, 1};
  ASSERT_EQ(noErr, GL_FrameRectInMetal(bm.context, &window, &rect, &frame));
  const UInt32 metal = bm.AtY(1, 1);
  EXPECT_EQ(0xFFu, metal >> 24);
  for (size_t y = 0; y < 10; ++y)
    for (size_t x = 0; x < 10; ++x) {
      const bool inRect = x >= 1 && x < 9 && y >= 1 && y < 9;
      const bool strip = inRect && (x < 3 || x >= 8 || y < 2 || y >= 6);
      EXPECT_EQ(strip ? metal : kClear, bm.AtY(x, y)) << x << ", " << y;
    }
  // A failing first strip ends the call with its status; the state is restored (no clip left behind).
  EXPECT_EQ(paramErr, GL_FrameRectInMetal(bm.context, nullptr, &rect, &frame));
  CGContextFillRect(bm.context, CGRectMake(0, 0, 10, 10));
  EXPECT_EQ(kBlack, bm.AtY(5, 5));
  EXPECT_EQ(paramErr, GL_FrameRectInMetal(bm.context, &window, &rect, nullptr));
}

TEST(GeneralQuartzFrames, PointsInRectangles) {
  const HIRect rect = CGRectMake(10, 20, 5, 5);
  struct Case {
    CGFloat x, y;
    Boolean inside;
  };
  const Case cases[] = {{10, 20, true}, {14.9f, 24.9f, true}, {15, 22, false}, {9.9f, 22, false}, {12, 25, false}};
  for (const Case &c : cases) {
    const HIPoint p = CGPointMake(c.x, c.y);
    EXPECT_EQ(c.inside, GL_HIPointInRect(&p, &rect)) << c.x << ", " << c.y;
  }
}

// ---- Pictures ----

// An ARGB world made current for the test's lifetime, cleared to grey.
struct Canvas {
  GWorldPtr world = nullptr;
  CGrafPtr saved = nullptr;
  GDHandle device = nullptr;
  explicit Canvas(Rect bounds) {
    EXPECT_EQ(noErr, QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0));
    GetGWorld(&saved, &device);
    SetGWorld(world, nullptr);
    const RGBColor grey{0x8080, 0x8080, 0x8080};
    RGBBackColor(&grey);
    EraseRect(&bounds);
  }
  ~Canvas() {
    SetGWorld(saved, device);
    DisposeGWorld(world);
  }
  UInt32 At(int x, int y) const {
    const PixMap &pm = **GetGWorldPixMap(world);
    return Word(reinterpret_cast<const UInt8 *>(pm.baseAddr) + (y - pm.bounds.top) * pm.rowBytes +
                4 * (x - pm.bounds.left));
  }
};
constexpr UInt32 kGrey = 0xFF808080;

TEST(GeneralQuartzPictures, LetterboxGeometry) {
  struct Case {
    SInt32 oldWidth, oldHeight;
    Rect frame, want;
  };
  const Case cases[] = {
      {4, 3, {0, 0, 90, 160}, {0, 20, 90, 140}},       // 4:3 in 160 x 90: 120 wide, centred
      {4, 3, {10, 100, 100, 260}, {10, 120, 100, 240}},  // the same frame elsewhere
      {16, 9, {0, 0, 120, 160}, {15, 0, 105, 160}},    // wide in 4:3: bars above and below
      {4, 3, {0, 0, 30, 40}, {0, 0, 30, 40}},          // the same proportions fill it
      {0, 3, {0, 0, 30, 40}, {0, 0, 30, 40}},          // no size: the frame
      {4, 3, {0, 0, 0, 40}, {0, 0, 0, 40}},
  };
  for (const Case &c : cases) {
    Rect box{};
    GL_GetScaledPictureLetterbox(c.oldWidth, c.oldHeight, &c.frame, &box);
    EXPECT_TRUE(box.top == c.want.top && box.left == c.want.left && box.bottom == c.want.bottom &&
                box.right == c.want.right)
        << c.oldWidth << ":" << c.oldHeight << " in " << c.frame.right << " -> " << box.top << ", " << box.left
        << ", " << box.bottom << ", " << box.right;
  }
}

TEST(GeneralQuartzPictures, ScaledPicturesKeepTheirProportions) {
  const RGBColor blue{0, 0, 65535};
  const Rect oldFrame{0, 0, 3, 4};
  PicHandle old = nullptr;
  ASSERT_EQ(noErr, GL_MakeOneColorPicture(&blue, &oldFrame, &old));

  struct Case {
    const char *what;
    Rect frame;
    Boolean keep, shrink;
    Rect wantFrame;
    Rect picture;  // where the blue is; outside it red (letterbox) or nothing else
  };
  const Case cases[] = {
      {"letterbox beside", {10, 10, 40, 90}, true, false, {0, 0, 30, 80}, {0, 20, 30, 60}},
      {"letterbox above and below", {0, 0, 60, 40}, true, false, {0, 0, 60, 40}, {15, 0, 45, 40}},
      {"shrunk in width", {0, 0, 30, 80}, true, true, {0, 0, 30, 40}, {0, 0, 30, 40}},
      {"shrunk in height", {0, 0, 60, 40}, true, true, {0, 0, 30, 40}, {0, 0, 30, 40}},
      {"stretched", {0, 0, 30, 80}, false, false, {0, 0, 30, 80}, {0, 0, 30, 80}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Rect frame = c.frame;
    PicHandle scaled = nullptr;
    ASSERT_EQ(noErr, GL_ScalePicture(&frame, old, &scaled, c.keep, c.shrink, kCO_RedBasicColor));
    EXPECT_TRUE(frame.left == 0 && frame.top == 0 && frame.right == c.wantFrame.right &&
                frame.bottom == c.wantFrame.bottom)
        << frame.right << " x " << frame.bottom;
    Rect bounds;
    QDGetPictureBounds(scaled, &bounds);
    EXPECT_EQ(c.wantFrame.right, bounds.right);
    Canvas canvas(c.wantFrame);
    DrawPicture(scaled, &c.wantFrame);
    for (int y = 0; y < c.wantFrame.bottom; ++y)
      for (int x = 0; x < c.wantFrame.right; ++x) {
        const bool inside = x >= c.picture.left && x < c.picture.right && y >= c.picture.top && y < c.picture.bottom;
        ASSERT_EQ(inside ? kBlue : kRed, canvas.At(x, y)) << x << ", " << y;
      }
    KillPicture(scaled);
  }
  // A damaged picture is refused.
  Handle damaged = NewHandle(4);
  Rect frame{0, 0, 10, 10};
  PicHandle scaled = reinterpret_cast<PicHandle>(0x1);
  EXPECT_EQ(pictureDataErr, GL_ScalePicture(&frame, reinterpret_cast<PicHandle>(damaged), &scaled, true, false, 30));
  EXPECT_EQ(nullptr, scaled);
  DisposeHandle(damaged);
  KillPicture(old);
}

TEST(GeneralQuartzPictures, ClippedEditedAndOneColourPictures) {
  // A 4 x 4 picture of distinct pixels.
  std::vector<UInt8> argb(64);
  for (int i = 0; i < 16; ++i) {
    argb[4 * i] = 255;
    argb[4 * i + 1] = UInt8(10 * i);
  }
  const Rect frame{0, 0, 4, 4};
  PicHandle source = nullptr;
  ASSERT_EQ(noErr, PL_NewARGBPicture(&frame, 4, 4, argb.data(), 16, &source));
  auto pixel = [](int x, int y) { return 0xFF000000u | UInt32(10 * (y * 4 + x)) << 16; };

  const Rect clip{1, 1, 3, 3};
  PicHandle clipped = nullptr;
  ASSERT_EQ(noErr, GL_ClipPicture(source, &clip, &clipped));
  Rect bounds;
  QDGetPictureBounds(clipped, &bounds);
  EXPECT_TRUE(bounds.left == 1 && bounds.top == 1 && bounds.right == 3 && bounds.bottom == 3);
  {
    Canvas canvas(frame);
    DrawPicture(clipped, &bounds);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
        EXPECT_EQ(inside ? pixel(x, y) : kGrey, canvas.At(x, y)) << x << ", " << y;
      }
    // Drawn twice the size at the origin: still only the clipped part, scaled.
    const Rect big{0, 0, 4, 4};
    DrawPicture(clipped, &big);
    EXPECT_EQ(pixel(1, 1), canvas.At(0, 0));
    EXPECT_EQ(pixel(2, 2), canvas.At(3, 3));
  }

  // Re-recorded at its own frame and resolution; the handle replaced.
  PicHandle edited = clipped;
  ASSERT_EQ(noErr, GL_EditPictureTempl(&edited));
  EXPECT_NE(clipped, edited);
  PictInfo info;
  ASSERT_EQ(noErr, GetPictInfo(edited, &info, 0, 0, 0, 0));
  EXPECT_EQ(72 << 16, info.hRes);
  EXPECT_TRUE(info.sourceRect.left == 1 && info.sourceRect.right == 3);

  // The picture in a new world of its frame, left current.
  GrafPtr saved = nullptr, before = nullptr;
  GetPort(&before);
  GWorldPtr offscreen = nullptr;
  PixMapHandle pixmap = nullptr;
  ASSERT_EQ(noErr, GL_PictureToPixmap(edited, &saved, &offscreen, &pixmap));
  EXPECT_EQ(before, saved);
  GrafPtr now = nullptr;
  GetPort(&now);
  EXPECT_EQ(offscreen, now);
  EXPECT_TRUE((*pixmap)->bounds.left == 1 && (*pixmap)->bounds.right == 3);
  EXPECT_EQ(pixel(2, 1), Word(reinterpret_cast<const UInt8 *>((*pixmap)->baseAddr) + 4));
  SetPort(saved);
  DisposeGWorld(offscreen);
  EXPECT_EQ(noErr, GL_PictureToPixmap(nullptr, &saved, &offscreen, &pixmap));

  const RGBColor red{65535, 0, 0};
  const Rect away{5, 6, 7, 9};
  PicHandle oneColour = nullptr;
  ASSERT_EQ(noErr, GL_MakeOneColorPicture(&red, &away, &oneColour));
  ASSERT_EQ(noErr, GetPictInfo(oneColour, &info, 0, 0, 0, 0));
  EXPECT_EQ(1, info.uniqueColors);
  EXPECT_TRUE(info.sourceRect.top == 5 && info.sourceRect.right == 9);
  KillPicture(oneColour);
  KillPicture(edited);
  KillPicture(source);
}

TEST(GeneralQuartzPictures, RegionsScaledToNewBounds) {
  // An L of a 2 x 3 bounding box at (10, 20): the top row and the left pixel of the second.
  RgnHandle rgn = NewRgn(), part = NewRgn(), scaled = NewRgn();
  SetRectRgn(rgn, 10, 20, 13, 21);
  SetRectRgn(part, 10, 21, 11, 22);
  UnionRgn(rgn, part, rgn);
  const Rect doubled{40, 30, 44, 36};  // top, left, bottom, right: twice the size at (30, 40)
  ASSERT_EQ(noErr, GL_ScaleRgn(rgn, &doubled, scaled));
  Rect moved;
  GetRegionBounds(rgn, &moved);
  EXPECT_TRUE(moved.left == 0 && moved.top == 0);  // the source stays at the origin
  for (int v = 38; v < 46; ++v)
    for (int h = 28; h < 38; ++h) {
      const int x = h - 30, y = v - 40;
      const bool inside = x >= 0 && y >= 0 && ((y < 2 && x < 6) || (y >= 2 && y < 4 && x < 2));
      EXPECT_EQ(inside, PtInRgn(Point{SInt16(v), SInt16(h)}, scaled)) << h << ", " << v;
    }
  EXPECT_EQ(paramErr, GL_ScaleRgn(nullptr, &doubled, scaled));
  for (RgnHandle r : {rgn, part, scaled}) DisposeRgn(r);
}

// ---- Text pictures in windows ----

// A window layer for window 1: its port is a fake text port, and it keeps one picture.
struct FakeWindow {
  static FakeTextPort *port;
  static std::map<WindowRef, PicHandle> pictures;
  FakeWindow() {
    port = NewFakeTextPort();
    pictures = {{Window(1), nullptr}};
    PL_SetWindowPortProc([](WindowRef w) -> CGrafPtr { return w == Window(1) ? port->port : nullptr; });
    static const PL_WindowPictureProcs procs{
        [](WindowRef w, PicHandle pic) -> OSStatus {
          if (pictures.count(w) == 0) return errInvalidWindowRef;
          pictures[w] = pic;
          return noErr;
        },
        [](WindowRef w) -> PicHandle { return pictures.count(w) != 0 ? pictures[w] : nullptr; }};
    PL_SetWindowPictureProcs(&procs);
  }
  ~FakeWindow() {
    PL_SetWindowPortProc(nullptr);
    PL_SetWindowPictureProcs(nullptr);
    for (auto &entry : pictures) KillPicture(entry.second);
    DisposeFakeTextPort(port);
  }
  static WindowRef Window(int n) { return reinterpret_cast<WindowRef>(static_cast<intptr_t>(n)); }
};
FakeTextPort *FakeWindow::port = nullptr;
std::map<WindowRef, PicHandle> FakeWindow::pictures;

struct PaintedTexts {
  std::vector<std::string> texts;
  std::vector<Point> pens;
  int fills = 0;
};

PaintedTexts Replay(PicHandle picture) {
  PaintedTexts painted;
  PL_PictureReplayProcs procs{};
  procs.fill = [](void *refCon, const Rect *, const UInt8 *) { ++static_cast<PaintedTexts *>(refCon)->fills; };
  procs.text = [](void *refCon, const PL_PictureText *text) {
    auto *p = static_cast<PaintedTexts *>(refCon);
    p->texts.emplace_back(text->bytes, size_t(text->byteCount));
    p->pens.push_back(text->pen);
  };
  Rect frame;
  QDGetPictureBounds(picture, &frame);
  EXPECT_EQ(noErr, PL_ReplayPicture(picture, &frame, &procs, &painted));
  return painted;
}

TEST(GeneralQuartzTextPictures, WindowsGetTheTextPictureTheProcedureDrew) {
  FakeWindow window;
  GL_CStringLE fourth{nullptr, "extra"}, third{&fourth, "video"}, second{&third, "restores"},
      first{&second, "Brizel"};
  GrafPtr saved = nullptr;
  GetPort(&saved);
  // The port's clip before: kept.
  SetPort(window.port->port);
  Rect small{0, 0, 10, 10};
  ClipRect(&small);
  SetPort(saved);

  GL_MakeTextPicture(FakeWindow::Window(1), GL_DrawThreeLineImage, 30, 33, &first);
  EXPECT_EQ(noErr, QDError());
  PicHandle picture = GetWindowPic(FakeWindow::Window(1));
  ASSERT_NE(nullptr, picture);
  Rect frame;
  QDGetPictureBounds(picture, &frame);
  EXPECT_TRUE(frame.right == 400 && frame.bottom == 100);
  // Three lines centred at a quarter, 11/20 and 17/20 of the height, at the size 100 / 6 = 16, where the
  // widest ("restores", 8 x 16 = 128) fits; the black frame painted first.
  const PaintedTexts painted = Replay(picture);
  ASSERT_EQ(3u, painted.texts.size());
  EXPECT_EQ("Brizel", painted.texts[0]);
  EXPECT_EQ("video", painted.texts[2]);
  EXPECT_EQ((400 - FakeTextWidth("Brizel", 16, 0)) / 2, painted.pens[0].h);
  EXPECT_EQ((400 - FakeTextWidth("restores", 16, 0)) / 2, painted.pens[1].h);
  EXPECT_EQ((400 - FakeTextWidth("video", 16, 0)) / 2, painted.pens[2].h);
  EXPECT_EQ(25, painted.pens[0].v);
  EXPECT_EQ(55, painted.pens[1].v);
  EXPECT_EQ(85, painted.pens[2].v);
  EXPECT_GE(painted.fills, 1);
  GrafPtr now = nullptr;
  GetPort(&now);
  EXPECT_EQ(saved, now);
  SetPort(window.port->port);
  RgnHandle clip = NewRgn();
  GetClip(clip);
  Rect clipBox;
  GetRegionBounds(clip, &clipBox);
  EXPECT_EQ(10, clipBox.right);
  DisposeRgn(clip);
  SetPort(saved);

  // Again: the new picture replaces the old one.
  GL_MakeTextPicture(FakeWindow::Window(1), GL_DrawThreeLineImage, 30, 33, &third);
  EXPECT_EQ(noErr, QDError());
  EXPECT_NE(nullptr, GetWindowPic(FakeWindow::Window(1)));
  EXPECT_EQ(2u, Replay(GetWindowPic(FakeWindow::Window(1))).texts.size());

  // A window without a port: nothing, paramErr.
  GL_MakeTextPicture(FakeWindow::Window(2), GL_DrawThreeLineImage, 30, 33, &first);
  EXPECT_EQ(paramErr, QDError());
  EXPECT_EQ(nullptr, GetWindowPic(FakeWindow::Window(2)));
  GL_MakeTextPicture(FakeWindow::Window(1), nullptr, 30, 33, &first);
  EXPECT_EQ(paramErr, QDError());
}

TEST(GeneralQuartzTextPictures, AWindowLayerThatKeepsNoPictureGetsNone) {
  FakeWindow window;
  PL_SetWindowPictureProcs(nullptr);
  GL_CStringLE only{nullptr, "x"};
  GL_MakeTextPicture(FakeWindow::Window(1), GL_DrawThreeLineImage, 30, 33, &only);
  EXPECT_EQ(paramErr, QDError());  // the picture was disposed again, not left to nobody
}

// ---- Displays ----

TEST(GeneralQuartzDisplays, ScreenSizeWithoutAnApplication) {
  if (QCoreApplication::instance() != nullptr) GTEST_SKIP() << "an application exists in this process";
  const PL_ScreenInfo screen{Rect{0, 0, 768, 1024}, Rect{24, 0, 768, 1024}, 72 << 16, 72 << 16, 32};
  ASSERT_EQ(noErr, PL_SetScreens(&screen, 1));
  size_t width = 0, height = 0;
  GL_GetMainScreenDimensions(&width, &height);
  EXPECT_EQ(1024u, width);
  EXPECT_EQ(768u, height);
  ASSERT_EQ(noErr, PL_SetScreens(nullptr, 0));
  GL_GetMainScreenDimensions(&width, &height);
  EXPECT_EQ(0u, width);
}

TEST(GeneralQuartzDisplays, ScreenSizeOfTheApplication) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "bz_general_draw_tests";
  static char *argv[] = {name, nullptr};
  QGuiApplication *app = nullptr;
  if (QCoreApplication::instance() == nullptr) app = new QGuiApplication(argc, argv);
  QScreen *screen = QGuiApplication::primaryScreen();
  ASSERT_NE(nullptr, screen);
  size_t width = 0, height = 0;
  GL_GetMainScreenDimensions(&width, &height);
  EXPECT_EQ(size_t(screen->geometry().width()), width);
  EXPECT_EQ(size_t(screen->geometry().height()), height);
  EXPECT_GT(width, 0u);
  delete app;
}

}  // namespace
