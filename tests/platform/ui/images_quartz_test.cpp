// Quartz stand-in: images read through providers, bitmap contexts drawing into our own buffers, PNG images,
// the HIToolbox drawing calls and the display's size. Pixels are checked as 0xAARRGGBB words, rows counted
// from the buffer's first (the top).
#include "platform/ui/images_quartz.h"

#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/graphics_devices.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/images.h"
#include "platform/ui/window_manager.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using bz_test::TempDir;

// A sequential source of `size` bytes whose byte i is i mod 251, served at most `step` bytes a call.
struct CountingSource {
  size_t size = 0;
  size_t step = 0;
  size_t mark = 0;
  int rewinds = 0;
};
size_t CountingGetBytes(void *info, void *buffer, size_t count) {
  auto *s = static_cast<CountingSource *>(info);
  count = std::min({count, s->step, s->size - s->mark});
  for (size_t i = 0; i < count; ++i) static_cast<UInt8 *>(buffer)[i] = UInt8((s->mark + i) % 251);
  s->mark += count;
  return count;
}
void CountingSkip(void *info, size_t count) { static_cast<CountingSource *>(info)->mark += count; }
void CountingRewind(void *info) {
  auto *s = static_cast<CountingSource *>(info);
  s->mark = 0;
  ++s->rewinds;
}
const CGDataProviderCallbacks kCounting{CountingGetBytes, CountingSkip, CountingRewind, nullptr};

UInt32 Word(const UInt8 *p) { return UInt32(p[0]) << 24 | UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3]; }

// A premultiplied bitmap context over a buffer of our own, cleared to `fill`.
struct Bitmap {
  size_t width, height;
  std::vector<UInt8> pixels;
  CGContextRef context = nullptr;
  Bitmap(size_t w, size_t h, UInt32 fill = 0) : width(w), height(h), pixels(w * h * 4) {
    for (size_t i = 0; i < w * h; ++i) {
      const UInt8 argb[4] = {UInt8(fill >> 24), UInt8(fill >> 16), UInt8(fill >> 8), UInt8(fill)};
      std::memcpy(&pixels[4 * i], argb, 4);
    }
    CGColorSpaceRef rgb = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
    context = CGBitmapContextCreate(pixels.data(), w, h, 8, w * 4, rgb, kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(rgb);
    EXPECT_NE(nullptr, context);
  }
  ~Bitmap() { CGContextRelease(context); }
  // The pixel at column x of row `row` (0: the buffer's first row, the top of the picture).
  UInt32 At(size_t x, size_t row) const { return Word(&pixels[(row * width + x) * 4]); }
};

constexpr UInt32 kClear = 0, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

// A 2 x 2 straight ARGB image: red, blue / white, black (its first row on top).
CGImageRef Quad() {
  const UInt8 argb[16] = {255, 255, 0, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0};
  return PL_CGImageCreateARGB(2, 2, argb, 8);
}

TEST(PlatformQuartzImages, ImagesPullTheirBytesThroughTheProvider) {
  CGColorSpaceRef rgb = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
  CGColorSpaceRef grey = CGColorSpaceCreateWithName(kCGColorSpaceGenericGray);
  ASSERT_NE(nullptr, rgb);
  EXPECT_EQ(3u, CGColorSpaceGetNumberOfComponents(rgb));
  EXPECT_EQ(1u, CGColorSpaceGetNumberOfComponents(grey));
  EXPECT_EQ(nullptr, CGColorSpaceCreateWithName(CFSTR("no such space")));

  // 3 x 2 pixels, rows of 16 bytes (4 bytes of padding), served 5 bytes at a time after a rewind.
  CountingSource source{100, 5, 77, 0};
  CGDataProviderRef provider = CGDataProviderCreate(&source, &kCounting);
  ASSERT_NE(nullptr, provider);
  CGImageRef image = CGImageCreate(3, 2, 8, 32, 16, rgb, kCGImageAlphaFirst, provider, nullptr, false,
                                   kCGRenderingIntentDefault);
  ASSERT_NE(nullptr, image);
  EXPECT_EQ(1, source.rewinds);
  const UInt8 *pixels = PL_CGImageGetARGBPixels(image);
  EXPECT_EQ(0x00010203u, Word(pixels));
  EXPECT_EQ(0x08090A0Bu, Word(pixels + 8));
  EXPECT_EQ(0x10111213u, Word(pixels + 12));  // second row: padding skipped
  EXPECT_EQ(kCGImageAlphaFirst, CGImageGetAlphaInfo(image));
  CGImageRelease(image);

  // Skipped alpha reads as opaque; grey is opaque grey.
  image = CGImageCreate(3, 2, 8, 32, 12, rgb, kCGImageAlphaNoneSkipFirst, provider, nullptr, false, 0);
  ASSERT_NE(nullptr, image);
  EXPECT_EQ(0xFF010203u, Word(PL_CGImageGetARGBPixels(image)));
  CGImageRelease(image);
  image = CGImageCreate(3, 2, 8, 8, 3, grey, kCGImageAlphaNone, provider, nullptr, false, 0);
  ASSERT_NE(nullptr, image);
  EXPECT_EQ(8u, CGImageGetBitsPerPixel(image));
  EXPECT_EQ(0xFF040404u, Word(PL_CGImageGetARGBPixels(image) + 16));  // second row, second pixel: byte 4
  CGImageRelease(image);

  // Layouts that are not taken, and a provider that runs dry.
  struct Case {
    const char *what;
    size_t width, bpc, bpp, rowBytes;
    CGColorSpaceRef space;
    CGBitmapInfo info;
  };
  const Case cases[] = {
      {"16 bits per component", 3, 16, 64, 24, rgb, kCGImageAlphaFirst},
      {"alpha last", 3, 8, 32, 12, rgb, kCGImageAlphaLast},
      {"little-endian words", 3, 8, 32, 12, rgb, kCGImageAlphaFirst | 0x2000},
      {"rows too short", 3, 8, 32, 11, rgb, kCGImageAlphaFirst},
      {"grey with alpha", 3, 8, 16, 6, grey, kCGImageAlphaFirst},
      {"no width", 0, 8, 32, 12, rgb, kCGImageAlphaFirst},
      {"more than the provider has", 20, 8, 32, 80, rgb, kCGImageAlphaFirst},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(nullptr, CGImageCreate(c.width, 2, c.bpc, c.bpp, c.rowBytes, c.space, c.info, provider, nullptr,
                                     false, 0))
        << c.what;
  }
  CGDataProviderRelease(provider);
  CGColorSpaceRelease(grey);
  CGColorSpaceRelease(rgb);
}

TEST(PlatformQuartzImages, MaskingColorsMakePixelsTransparent) {
  // A grey image of the values 57..62 in one row.
  CountingSource source{62, 62, 0, 0};
  CGDataProviderRef provider = CGDataProviderCreate(&source, &kCounting);
  CGColorSpaceRef grey = CGColorSpaceCreateDeviceGray();
  CGImageRef image = CGImageCreate(6, 1, 8, 8, 62, grey, kCGImageAlphaNone, provider, nullptr, false, 0);
  ASSERT_NE(nullptr, image);
  // The image holds bytes 0..5; mask 2..4.
  const CGFloat range[2] = {2, 4};
  CGImageRef masked = CGImageCreateWithMaskingColors(image, range);
  ASSERT_NE(nullptr, masked);
  const UInt8 *p = PL_CGImageGetARGBPixels(masked);
  const UInt8 alphas[6] = {255, 255, 0, 0, 0, 255};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(alphas[x], p[4 * x]) << x;
  // An image that has alpha cannot be masked.
  CGImageRef quad = Quad();
  EXPECT_EQ(nullptr, CGImageCreateWithMaskingColors(quad, range));
  EXPECT_EQ(nullptr, CGImageCreateWithMaskingColors(image, nullptr));
  CGImageRelease(quad);
  CGImageRelease(masked);
  CGImageRelease(image);
  CGColorSpaceRelease(grey);
  CGDataProviderRelease(provider);
}

TEST(PlatformQuartzContexts, FillsClipsAndStatesInAYUpSpace) {
  Bitmap bm(6, 4, kWhite);
  // The bottom left 2 x 1 in user space is the last row of the buffer.
  CGContextSetRGBFillColor(bm.context, 1, 0, 0, 1);
  CGContextFillRect(bm.context, CGRectMake(0, 0, 2, 1));
  EXPECT_EQ(kRed, bm.At(0, 3));
  EXPECT_EQ(kRed, bm.At(1, 3));
  EXPECT_EQ(kWhite, bm.At(2, 3));
  EXPECT_EQ(kWhite, bm.At(0, 2));

  // A clip inside a saved state; the restore widens it again and brings the colour back.
  CGContextSaveGState(bm.context);
  CGContextClipToRect(bm.context, CGRectMake(3, 1, 2, 2));
  CGContextSetGrayFillColor(bm.context, 0, 1);
  CGContextFillRect(bm.context, CGRectMake(0, 0, 6, 4));
  CGContextRestoreGState(bm.context);
  for (size_t row = 0; row < 4; ++row)
    for (size_t x = 0; x < 6; ++x) {
      const bool clipped = x >= 3 && x < 5 && row >= 1 && row < 3;
      if (clipped) {
        EXPECT_EQ(kBlack, bm.At(x, row)) << x << ", " << row;
      }
    }
  EXPECT_EQ(kWhite, bm.At(5, 0));
  CGContextFillRect(bm.context, CGRectMake(5, 3, 1, 1));
  EXPECT_EQ(kRed, bm.At(5, 0));

  // Half-transparent blue over white is stored premultiplied: (255, 127|128, 127|128, 255).
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
  const CGFloat half[4] = {0, 0, 1, 0.5f};
  CGColorRef color = CGColorCreate(rgb, half);
  EXPECT_EQ(4u, CGColorGetNumberOfComponents(color));
  EXPECT_FLOAT_EQ(0.5f, CGColorGetAlpha(color));
  CGContextSetFillColorWithColor(bm.context, color);
  CGContextFillRect(bm.context, CGRectMake(2, 3, 1, 1));
  const UInt32 blended = bm.At(2, 0);
  EXPECT_EQ(0xFFu, blended >> 24);
  EXPECT_NEAR(int((blended >> 16) & 0xFF), 128, 1);
  EXPECT_EQ(0xFFu, blended & 0xFF);
  CGColorRelease(color);
  CGColorSpaceRelease(rgb);

  // Translated and scaled user space.
  CGContextSaveGState(bm.context);
  CGContextTranslateCTM(bm.context, 1, 1);
  CGContextScaleCTM(bm.context, 2, 1);
  CGContextSetRGBFillColor(bm.context, 0, 0, 1, 1);
  CGContextFillRect(bm.context, CGRectMake(1, 0, 1, 1));  // device x 3..5, row 2
  CGContextRestoreGState(bm.context);
  EXPECT_EQ(kBlue, bm.At(3, 2));
  EXPECT_EQ(kBlue, bm.At(4, 2));
  EXPECT_NE(kBlue, bm.At(5, 2));
  CGContextRestoreGState(bm.context);  // nothing saved: nothing happens

  // The image of the context is a copy.
  CGImageRef copy = CGBitmapContextCreateImage(bm.context);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(kCGImageAlphaPremultipliedFirst, CGImageGetAlphaInfo(copy));
  CGContextFillRect(bm.context, CGRectMake(0, 0, 6, 4));
  EXPECT_EQ(kRed, Word(PL_CGImageGetARGBPixels(copy) + 3 * 24));
  CGImageRelease(copy);
}

TEST(PlatformQuartzContexts, DashedStrokesAlternateAndMoveWithThePhase) {
  struct Case {
    CGFloat phase;
    const char *pattern;  // one character per pixel of the line: 'x' stroked, '.' not
  };
  // A 1-pixel line through the middle of row 1 from x = 0 to 12, dashes and gaps of 2.
  const Case cases[] = {{0, "xx..xx..xx.."}, {1, "x..xx..xx..x"}, {2, "..xx..xx..xx"}, {4, "xx..xx..xx.."}};
  for (const Case &c : cases) {
    Bitmap bm(12, 3, kWhite);
    const CGFloat dash[2] = {2, 2};
    CGContextSetLineDash(bm.context, c.phase, dash, 2);
    CGContextBeginPath(bm.context);
    CGContextMoveToPoint(bm.context, 0, 1.5f);
    CGContextAddLineToPoint(bm.context, 12, 1.5f);
    CGContextStrokePath(bm.context);
    for (size_t x = 0; x < 12; ++x) {
      EXPECT_EQ(c.pattern[x] == 'x' ? kBlack : kWhite, bm.At(x, 1)) << "phase " << c.phase << " x " << x;
      EXPECT_EQ(kWhite, bm.At(x, 0));
      EXPECT_EQ(kWhite, bm.At(x, 2));
    }
  }
  // A solid 2-pixel outline of a rectangle in stroke colour; a stroke empties the path.
  Bitmap bm(8, 8, kWhite);
  CGContextSetLineWidth(bm.context, 2);
  CGContextSetRGBStrokeColor(bm.context, 1, 0, 0, 1);
  CGContextStrokeRect(bm.context, CGRectMake(1, 1, 6, 6));
  for (size_t row = 0; row < 8; ++row)
    for (size_t x = 0; x < 8; ++x) {
      const bool ring = std::max(std::abs(2 * int(x) - 7), std::abs(2 * int(row) - 7)) >= 5 &&
                        std::max(std::abs(2 * int(x) - 7), std::abs(2 * int(row) - 7)) <= 7;
      EXPECT_EQ(ring ? kRed : kWhite, bm.At(x, row)) << x << ", " << row;
    }
  CGContextStrokePath(bm.context);  // nothing left to stroke
}

TEST(PlatformQuartzContexts, ImagesAreDrawnUprightAndScaled) {
  CGImageRef quad = Quad();
  // Twice the size into the context's bottom left 4 x 4: red top left, black bottom right.
  Bitmap bm(6, 5, kClear);
  CGContextDrawImage(bm.context, CGRectMake(0, 0, 4, 4), quad);
  const UInt32 want[4][4] = {{kRed, kRed, kBlue, kBlue},
                             {kRed, kRed, kBlue, kBlue},
                             {kWhite, kWhite, kBlack, kBlack},
                             {kWhite, kWhite, kBlack, kBlack}};
  for (size_t row = 0; row < 4; ++row)
    for (size_t x = 0; x < 4; ++x) EXPECT_EQ(want[row][x], bm.At(x, row + 1)) << x << ", " << row;
  EXPECT_EQ(kClear, bm.At(0, 0));
  EXPECT_EQ(kClear, bm.At(4, 1));

  // A view's flipped space: HIViewDrawCGImage keeps the image upright, its first row at the bounds' top.
  Bitmap view(4, 4, kClear);
  CGContextTranslateCTM(view.context, 0, 4);
  CGContextScaleCTM(view.context, 1, -1);
  const HIRect bounds = CGRectMake(2, 0, 2, 2);
  EXPECT_EQ(noErr, HIViewDrawCGImage(view.context, &bounds, quad));
  EXPECT_EQ(kRed, view.At(2, 0));
  EXPECT_EQ(kBlue, view.At(3, 0));
  EXPECT_EQ(kWhite, view.At(2, 1));
  EXPECT_EQ(kClear, view.At(2, 2));
  EXPECT_EQ(paramErr, HIViewDrawCGImage(view.context, nullptr, quad));
  CGImageRelease(quad);

  // Alpha blends: a transparent top pixel leaves what is below, an opaque bottom one covers it.
  const UInt8 column[8] = {0, 0, 255, 0, 255, 0, 0, 255};
  CGImageRef seeThrough = PL_CGImageCreateARGB(1, 2, column, 4);
  Bitmap under(1, 2, kRed);
  CGContextDrawImage(under.context, CGRectMake(0, 0, 1, 2), seeThrough);
  EXPECT_EQ(kRed, under.At(0, 0));
  EXPECT_EQ(kBlue, under.At(0, 1));
  CGImageRelease(seeThrough);
}

TEST(PlatformQuartzContexts, ContextLayoutsAndPorts) {
  CGColorSpaceRef rgb = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
  CGColorSpaceRef grey = CGColorSpaceCreateDeviceGray();
  // Its own cleared pixels when given none.
  CGContextRef own = CGBitmapContextCreate(nullptr, 3, 2, 8, 0, rgb, kCGImageAlphaPremultipliedFirst);
  ASSERT_NE(nullptr, own);
  EXPECT_EQ(12u, CGBitmapContextGetBytesPerRow(own));
  const UInt8 *data = static_cast<const UInt8 *>(CGBitmapContextGetData(own));
  EXPECT_EQ(0, data[0] | data[23]);
  CGContextRelease(own);
  EXPECT_EQ(nullptr, CGBitmapContextCreate(nullptr, 3, 2, 8, 0, grey, kCGImageAlphaNone));
  EXPECT_EQ(nullptr, CGBitmapContextCreate(nullptr, 3, 2, 8, 0, rgb, kCGImageAlphaFirst));
  EXPECT_EQ(nullptr, CGBitmapContextCreate(nullptr, 3, 2, 8, 8, rgb, kCGImageAlphaPremultipliedFirst));
  EXPECT_EQ(nullptr, CGBitmapContextCreate(nullptr, 0, 2, 8, 0, rgb, kCGImageAlphaPremultipliedFirst));

  // A context over an ARGB world's pixels: the world's bottom row is user y 0.
  Rect bounds{0, 0, 3, 4};
  GWorldPtr world = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0));
  CGContextRef port = nullptr;
  ASSERT_EQ(noErr, CreateCGContextForPort(world, &port));
  CGContextSetRGBFillColor(port, 0, 1, 0, 1);
  CGContextFillRect(port, CGRectMake(0, 0, 1, 1));
  PixMapHandle pm = GetGWorldPixMap(world);
  const UInt8 *corner = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pm)) + 2 * GetPixRowBytes(pm);
  EXPECT_EQ(0xFF00FF00u, Word(corner));
  CGContextRelease(port);
  DisposeGWorld(world);
  ASSERT_EQ(noErr, QTNewGWorld(&world, k8IndexedGrayPixelFormat, &bounds, nullptr, nullptr, 0));
  port = reinterpret_cast<CGContextRef>(1);
  EXPECT_EQ(unimpErr, CreateCGContextForPort(world, &port));
  EXPECT_EQ(nullptr, port);
  EXPECT_EQ(paramErr, CreateCGContextForPort(nullptr, &port));
  DisposeGWorld(world);
  CGColorSpaceRelease(grey);
  CGColorSpaceRelease(rgb);
}

TEST(PlatformQuartzImages, PngImagesFromFileProviders) {
  TempDir dir;
  // A 3 x 2 PNG with a transparent pixel, written through the image encoder.
  Rect bounds{0, 0, 2, 3};
  GWorldPtr world = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0));
  PixMapHandle pm = GetGWorldPixMap(world);
  UInt8 *base = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm));
  for (int i = 0; i < 6; ++i) {
    UInt8 *p = base + (i / 3) * GetPixRowBytes(pm) + 4 * (i % 3);
    p[0] = i == 4 ? 0 : 255;
    p[1] = UInt8(40 * i);
    p[2] = 7;
    p[3] = UInt8(200 - i);
  }
  std::vector<UInt8> png;
  ASSERT_EQ(noErr, PL_ImageEncode(pm, nullptr, 'PNGf', 0, &png));
  ASSERT_TRUE(bz_test::WriteWholeFile(dir.File("p.png"), png));
  ASSERT_TRUE(bz_test::WriteWholeFile(dir.File("not.png"), {1, 2, 3, 4, 5, 6, 7, 8, 9}));

  auto imageOf = [&](const std::string &path) -> CGImageRef {
    CFStringRef s = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, s, kCFURLPOSIXPathStyle, false);
    CGDataProviderRef provider = CGDataProviderCreateWithURL(url);
    CGImageRef image = CGImageCreateWithPNGDataProvider(provider, nullptr, false, kCGRenderingIntentDefault);
    CGDataProviderRelease(provider);
    CFRelease(url);
    CFRelease(s);
    return image;
  };
  CGImageRef image = imageOf(dir.File("p.png"));
  ASSERT_NE(nullptr, image);
  ASSERT_EQ(3u, CGImageGetWidth(image));
  for (int i = 0; i < 6; ++i) {
    const UInt8 *p = PL_CGImageGetARGBPixels(image) + 4 * i;
    const UInt8 *q = base + (i / 3) * GetPixRowBytes(pm) + 4 * (i % 3);
    EXPECT_EQ(q[0], p[0]) << i;
    if (q[0] != 0) {
      EXPECT_EQ(0, std::memcmp(p, q, 4)) << i;
    }
  }
  CGImageRelease(image);
  EXPECT_EQ(nullptr, imageOf(dir.File("not.png")));
  EXPECT_EQ(nullptr, imageOf(dir.File("missing.png")));
  EXPECT_EQ(nullptr, CGImageCreateWithPNGDataProvider(nullptr, nullptr, false, 0));
  DisposeGWorld(world);
}

TEST(PlatformQuartzContexts, MetalBackgroundPaintsTheWindowColourWithinTheClip) {
  Bitmap bm(4, 2, kClear);
  const HIThemeBackgroundDrawInfo metal{0, kThemeStateActive, kThemeBackgroundMetal};
  const HIRect everything = CGRectMake(-10, -10, 100, 100);
  CGContextClipToRect(bm.context, CGRectMake(1, 0, 2, 2));
  ASSERT_EQ(noErr, HIThemeDrawBackground(&everything, &metal, bm.context, kHIThemeOrientationNormal));
  EXPECT_EQ(kClear, bm.At(0, 0));
  EXPECT_EQ(kClear, bm.At(3, 1));
  const UInt32 painted = bm.At(1, 0);
  EXPECT_EQ(0xFFu, painted >> 24);
  EXPECT_EQ(painted, bm.At(2, 1));
  const HIThemeBackgroundDrawInfo other{0, kThemeStateActive, 1};
  const HIThemeBackgroundDrawInfo version1{1, kThemeStateActive, kThemeBackgroundMetal};
  EXPECT_EQ(paramErr, HIThemeDrawBackground(&everything, &other, bm.context, 0));
  EXPECT_EQ(paramErr, HIThemeDrawBackground(&everything, &version1, bm.context, 0));
  EXPECT_EQ(paramErr, HIThemeDrawBackground(nullptr, &metal, bm.context, 0));
}

TEST(PlatformQuartzDisplays, MainDisplaySize) {
  // The application's primary screen (the offscreen platform's, in tests).
  Rect available;
  ASSERT_EQ(noErr, PL_GetMainScreenBounds(&available));  // makes the application when there is none
  QScreen *screen = QGuiApplication::primaryScreen();
  ASSERT_NE(nullptr, screen);
  EXPECT_EQ(size_t(screen->geometry().width()), CGDisplayPixelsWide(CGMainDisplayID()));
  EXPECT_EQ(size_t(screen->geometry().height()), CGDisplayPixelsHigh(CGMainDisplayID()));
  EXPECT_GT(CGDisplayPixelsWide(CGMainDisplayID()), 0u);
  EXPECT_EQ(0u, CGDisplayPixelsWide(CGMainDisplayID() + 1));
}

}  // namespace
