#include "color/pixel_visitors.h"
#include "color/pixel_visitors_desc.h"

#include "general/error_keys.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

namespace {

struct Call {
  SInt16 row, column;
  bool operator==(const Call &o) const { return row == o.row && column == o.column; }
};
std::vector<Call> gCalls;

void RecordGrey(SInt16 row, SInt16 column, void *, UInt8 *) { gCalls.push_back({row, column}); }
void RecordColour(SInt16 row, SInt16 column, void *, UInt8 *, UInt8 *, UInt8 *) { gCalls.push_back({row, column}); }
void RecordPair(SInt16 row, SInt16 column, void *, YCbCr8_422 *) { gCalls.push_back({row, column}); }

void GreyToZero(SInt16, SInt16, void *, UInt8 *grey) { *grey = 0; }
void ColourToWhite(SInt16, SInt16, void *, UInt8 *r, UInt8 *g, UInt8 *b) { *r = *g = *b = 255; }
void ColourKeep(SInt16, SInt16, void *, UInt8 *, UInt8 *, UInt8 *) {}
// Stores what it saw in the refCon's array, then writes red 1, green 2, blue 3.
void ColourSeenThenSet(SInt16, SInt16, void *refCon, UInt8 *r, UInt8 *g, UInt8 *b) {
  auto *seen = static_cast<std::vector<UInt8> *>(refCon);
  seen->insert(seen->end(), {*r, *g, *b});
  *r = 1;
  *g = 2;
  *b = 3;
}

std::vector<UInt8> RandomBytes(size_t n) {
  std::vector<UInt8> v(n);
  bz_test::FillRandomBytes(v.data(), n, bz_test::Rng());
  return v;
}

// ---- Visitors over raw buffers ----

TEST(ColorPixelVisitors, NoHookLeavesEveryFormatAsItWas) {
  BZ_KERNEL_SEED_TRACE();
  const struct {
    OSType cType;
    SInt16 depth;
  } formats[] = {{'raw ', 8}, {'raw ', 16}, {'raw ', 24}, {'raw ', 32}, {'yuv2', 16}};
  for (const auto &f : formats) {
    const SInt32 width = 6, height = 3, pad = 5, bytes = f.cType == 'yuv2' ? 2 : f.depth / 8;
    std::vector<UInt8> pixels = RandomBytes(size_t((width * bytes + pad) * height));
    std::vector<UInt8> before = pixels;
    EXPECT_EQ(CO_TransformPixels(reinterpret_cast<Ptr>(pixels.data()), f.cType, f.depth, width, height, pad, nullptr,
                                 nullptr, nullptr, nullptr),
              noErr);
    EXPECT_EQ(pixels, before) << f.depth;
    const Rect sub = {1, 1, 3, 5};
    EXPECT_EQ(CO_TransformPixelsInSubRect(reinterpret_cast<Ptr>(pixels.data()), f.cType, f.depth,
                                          width * bytes + pad, &sub, nullptr, nullptr, nullptr, nullptr),
              noErr);
    EXPECT_EQ(pixels, before) << f.depth;
    // The hook of another kind does not count as one for these pixels.
    CO_TransformPixels(reinterpret_cast<Ptr>(pixels.data()), f.cType, f.depth, width, height, pad,
                       f.depth == 8 ? nullptr : RecordGrey, f.depth == 8 ? RecordColour : nullptr,
                       f.cType == 'yuv2' ? nullptr : RecordPair, nullptr);
    EXPECT_EQ(pixels, before) << f.depth;
  }
  // Identity hooks through the 16-bit and grey paths give the pixels back too.
  std::vector<UInt8> rgb16 = RandomBytes(2 * 64);
  std::vector<UInt8> before = rgb16;
  CO_TransformPixels(reinterpret_cast<Ptr>(rgb16.data()), 'raw ', 16, 64, 1, 0, nullptr, ColourKeep, nullptr,
                     nullptr);
  EXPECT_EQ(rgb16, before);
  EXPECT_EQ(CO_TransformPixels(reinterpret_cast<Ptr>(rgb16.data()), '2vuy', 16, 64, 1, 0, nullptr, ColourKeep,
                               nullptr, nullptr),
            paramErr);
  EXPECT_EQ(CO_TransformPixels(reinterpret_cast<Ptr>(rgb16.data()), 'raw ', 12, 64, 1, 0, nullptr, ColourKeep,
                               nullptr, nullptr),
            paramErr);
}

TEST(ColorPixelVisitors, VisitsEachPixelOnceInOrderWithItsNumbers) {
  std::vector<UInt8> pixels(size_t((3 * 4 + 2) * 2), 0);
  gCalls.clear();
  CO_TransformPixels(reinterpret_cast<Ptr>(pixels.data()), 'raw ', 32, 3, 2, 2, nullptr, RecordColour, nullptr,
                     nullptr);
  EXPECT_EQ(gCalls, (std::vector<Call>{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}));

  // 'yuv2': one call per pair, the pair's index as the column.
  std::vector<UInt8> pairs(size_t(8 * 2 * 2), 0);
  gCalls.clear();
  CO_TransformPixels(reinterpret_cast<Ptr>(pairs.data()), 'yuv2', 16, 8, 2, 0, nullptr, nullptr, RecordPair, nullptr);
  EXPECT_EQ(gCalls, (std::vector<Call>{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2}, {1, 3}}));

  // The sub-rectangle visitor passes the frame's own numbers.
  gCalls.clear();
  const Rect sub = {1, 2, 3, 4};
  std::vector<UInt8> grey(size_t(10 * 4), 0);
  CO_TransformPixelsInSubRect(reinterpret_cast<Ptr>(grey.data()), 'raw ', 8, 10, &sub, RecordGrey, nullptr, nullptr,
                              nullptr);
  EXPECT_EQ(gCalls, (std::vector<Call>{{1, 2}, {1, 3}, {2, 2}, {2, 3}}));
  gCalls.clear();
  const Rect pairRect = {0, 2, 1, 7};  // pixels 2..6: pairs 1 and 2
  CO_TransformPixelsInSubRect(reinterpret_cast<Ptr>(pairs.data()), 'yuv2', 16, 16, &pairRect, nullptr, nullptr,
                              RecordPair, nullptr);
  EXPECT_EQ(gCalls, (std::vector<Call>{{0, 1}, {0, 2}}));
}

TEST(ColorPixelVisitors, WhatTheHooksSeeAndWhatComesBack) {
  // Depth 8: the hook sees 255 - byte; a hook that writes black stores 255. Padding stays.
  std::vector<UInt8> grey = {0, 10, 200, 77, 1, 2, 3, 99};
  CO_TransformPixels(reinterpret_cast<Ptr>(grey.data()), 'raw ', 8, 3, 2, 1, GreyToZero, nullptr, nullptr, nullptr);
  EXPECT_EQ(grey, (std::vector<UInt8>{255, 255, 255, 77, 255, 255, 255, 99}));

  // Depth 32: alpha untouched, the hook gets R, G, B.
  std::vector<UInt8> argb = {9, 10, 20, 30, 8, 40, 50, 60};
  std::vector<UInt8> seen;
  CO_TransformPixels(reinterpret_cast<Ptr>(argb.data()), 'raw ', 32, 2, 1, 0, nullptr, ColourSeenThenSet, nullptr,
                     &seen);
  EXPECT_EQ(seen, (std::vector<UInt8>{10, 20, 30, 40, 50, 60}));
  EXPECT_EQ(argb, (std::vector<UInt8>{9, 1, 2, 3, 8, 1, 2, 3}));

  // Depth 16, big-endian 1-5-5-5: components through the unit interval, the top bit kept.
  std::vector<UInt8> rgb16 = {0xFF, 0xFF, 0x00, 0x00};  // alpha + all 31, then all 0
  seen.clear();
  CO_TransformPixels(reinterpret_cast<Ptr>(rgb16.data()), 'raw ', 16, 2, 1, 0, nullptr, ColourSeenThenSet, nullptr,
                     &seen);
  EXPECT_EQ(seen, (std::vector<UInt8>{253, 253, 253, 2, 2, 2}));
  EXPECT_EQ(rgb16, (std::vector<UInt8>{0x80, 0x00, 0x00, 0x00})) << "1, 2, 3 narrow to 0; the top bit stays";
}

TEST(ColorPixelVisitors, SubRectSixteenBitFieldsNeverSpill) {
  // Fields widened by 8; after a hook writes 255, (255 + 3) >> 3 would be 32 and run into the next field.
  std::vector<UInt8> rgb16 = {0x7C, 0x00, 0x03, 0xE0, 0x00, 0x1F, 0x80, 0x00};  // red, green, blue, alpha only
  std::vector<UInt8> seen;
  const Rect all = {0, 0, 1, 4};
  CO_TransformPixelsInSubRect(reinterpret_cast<Ptr>(rgb16.data()), 'raw ', 16, 8, &all, nullptr, ColourSeenThenSet,
                              nullptr, &seen);
  EXPECT_EQ(seen, (std::vector<UInt8>{248, 0, 0, 0, 248, 0, 0, 0, 248, 0, 0, 0}));
  for (int i = 0; i < 4; ++i) {
    UInt16 pixel = UInt16(rgb16[2 * i] << 8 | rgb16[2 * i + 1]);
    EXPECT_EQ(pixel & 0x7FFF, 0 << 10 | 0 << 5 | 0) << "1, 2, 3 narrow to 0";
  }
  EXPECT_EQ(rgb16[6], 0x80) << "the top bit stays";

  rgb16 = {0x00, 0x00, 0x80, 0x00};
  CO_TransformPixelsInSubRect(reinterpret_cast<Ptr>(rgb16.data()), 'raw ', 16, 4, &all, nullptr, ColourToWhite,
                              nullptr, nullptr);
  EXPECT_EQ(rgb16, (std::vector<UInt8>{0x7F, 0xFF, 0xFF, 0xFF})) << "255 narrows to 31, not 32";
}

// ---- Pixel maps ----

struct World {
  GWorldPtr world = nullptr;
  explicit World(OSType format, Rect bounds = {0, 0, 3, 5}) {
    EXPECT_EQ(QTNewGWorld(&world, format, &bounds, nullptr, nullptr, 0), noErr);
  }
  ~World() { DisposeGWorld(world); }
  PixMapHandle pm() const { return GetGWorldPixMap(world); }
  UInt8 *row(int y) const { return reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm())) + y * GetPixRowBytes(pm()); }
};

TEST(ColorPixelVisitors, PixmapsAreVisitedWithTheirStateRestored) {
  World argb(k32ARGBPixelFormat);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) argb.row(y)[4 * x] = UInt8(100 + x);  // alpha
  GWorldFlags before = GetPixelsState(argb.pm());
  EXPECT_EQ(CO_TransformPixmap(argb.pm(), nullptr, ColourToWhite, nullptr, nullptr), noErr);
  EXPECT_EQ(GetPixelsState(argb.pm()), before);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(argb.row(y)[4 * x], 100 + x);
      EXPECT_EQ(argb.row(y)[4 * x + 2], 255);
    }
  }
  LockPixels(argb.pm());
  before = GetPixelsState(argb.pm());
  CO_TransformPixmap(argb.pm(), nullptr, ColourKeep, nullptr, nullptr);
  EXPECT_EQ(GetPixelsState(argb.pm()), before);

  World yuv2(kComponentVideoPixelFormat, {0, 0, 2, 6});
  gCalls.clear();
  EXPECT_EQ(CO_TransformPixmap(yuv2.pm(), nullptr, nullptr, RecordPair, nullptr), noErr);
  EXPECT_EQ(gCalls.size(), 6u);

  World uyvy(k2vuyPixelFormat);
  EXPECT_EQ(CO_TransformPixmap(uyvy.pm(), nullptr, ColourKeep, nullptr, nullptr), paramErr);
  EXPECT_EQ(CO_TransformPixmap(nullptr, nullptr, ColourKeep, nullptr, nullptr), paramErr);
}

TEST(ColorPixelVisitors, PixmapSubRectMustLieWithinTheBounds) {
  World map(k24RGBPixelFormat, {10, 20, 16, 28});  // 6 rows, 8 columns, not at the origin
  const struct {
    Rect r;
    OSStatus err;
  } cases[] = {
      {{10, 20, 16, 28}, noErr},           {{12, 22, 14, 25}, noErr},           {{13, 24, 13, 24}, noErr},
      {{9, 20, 16, 28}, kGL_RectangleErr}, {{10, 19, 16, 28}, kGL_RectangleErr}, {{10, 20, 17, 28}, kGL_RectangleErr},
      {{10, 20, 16, 29}, kGL_RectangleErr}, {{14, 20, 12, 28}, kGL_RectangleErr}, {{0, 0, 3, 3}, kGL_RectangleErr},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(CO_TransformPixmapSubRect(map.pm(), nullptr, ColourKeep, nullptr, &c.r, nullptr), c.err)
        << c.r.top << " " << c.r.left << " " << c.r.bottom << " " << c.r.right;
  }
  gCalls.clear();
  const Rect corner = {15, 26, 16, 28};
  EXPECT_EQ(CO_TransformPixmapSubRect(map.pm(), nullptr, RecordColour, nullptr, &corner, nullptr), noErr);
  EXPECT_EQ(gCalls, (std::vector<Call>{{5, 6}, {5, 7}})) << "numbers counted from the bounds' top left";
}

void CountDownRows(SInt16 row, SInt16 column, void *, UInt8 *r, UInt8 *g, UInt8 *b) {
  gCalls.push_back({row, column});
  *r = UInt8(*r + 1);
  *g = UInt8(*g + 1);
  *b = UInt8(*b + 1);
}

TEST(ColorPixelVisitors, CompactingPacksTheRows) {
  // A 32-bit map comes back as packed 24-bit R, G, B rows, alpha gone.
  World argb(k32ARGBPixelFormat, {0, 0, 3, 5});
  ASSERT_GT(GetPixRowBytes(argb.pm()), 20) << "rows are padded, so packing moves them";
  std::vector<UInt8> expected;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      UInt8 *p = argb.row(y) + 4 * x;
      p[0] = 0xEE;
      p[1] = UInt8(10 * y + x);
      p[2] = UInt8(100 + y);
      p[3] = UInt8(200 + x);
      expected.insert(expected.end(), {UInt8(p[1] + 1), UInt8(p[2] + 1), UInt8(p[3] + 1)});
    }
  }
  gCalls.clear();
  EXPECT_EQ(CO_TransformAndCompactPixmap(argb.pm(), nullptr, CountDownRows, nullptr), noErr);
  EXPECT_EQ(std::vector<UInt8>(argb.row(0), argb.row(0) + expected.size()), expected);
  ASSERT_EQ(gCalls.size(), 15u);
  EXPECT_EQ(gCalls.front(), (Call{3, 0}));
  EXPECT_EQ(gCalls.back(), (Call{1, 4})) << "rows counted down from the height to 1";

  // 16-bit stays 16-bit, packed.
  World rgb16(k16BE555PixelFormat, {0, 0, 2, 3});
  ASSERT_GT(GetPixRowBytes(rgb16.pm()), 6);
  expected.clear();
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      rgb16.row(y)[2 * x] = UInt8(0x80 | (y * 3 + x));
      rgb16.row(y)[2 * x + 1] = UInt8(0x21 * x);
      expected.insert(expected.end(), {rgb16.row(y)[2 * x], rgb16.row(y)[2 * x + 1]});
    }
  }
  EXPECT_EQ(CO_TransformAndCompactPixmap(rgb16.pm(), nullptr, ColourKeep, nullptr), noErr);
  EXPECT_EQ(std::vector<UInt8>(rgb16.row(0), rgb16.row(0) + expected.size()), expected);

  // 8-bit grey is written as the hook left it, not inverted back.
  World grey(k8IndexedGrayPixelFormat, {0, 0, 2, 3});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) grey.row(y)[x] = UInt8(10 * (y * 3 + x));
  EXPECT_EQ(CO_TransformAndCompactPixmap(grey.pm(), nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(std::vector<UInt8>(grey.row(0), grey.row(0) + 6), (std::vector<UInt8>{255, 245, 235, 225, 215, 205}));

  World yuv2(kComponentVideoPixelFormat);
  EXPECT_EQ(CO_TransformAndCompactPixmap(yuv2.pm(), nullptr, ColourKeep, nullptr), paramErr);
}

// ---- Range hooks ----

TEST(ColorPixelVisitors, RangeHooks) {
  UInt8 r = 0, g = 255, b = 128;
  CO_24RGB_FullRangeToVideoRange(0, 0, nullptr, &r, &g, &b);
  EXPECT_EQ(r, 16);
  EXPECT_EQ(g, 235);
  EXPECT_EQ(b, 126);
  CO_24RGB_VideoRangeToFullRange(0, 0, nullptr, &r, &g, &b);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(b, 128);
  UInt8 grey = 255;
  CO_8RGB_FullRangeToVideoRange(0, 0, nullptr, &grey);
  EXPECT_EQ(grey, 235);
  CO_8RGB_VideoRangeToFullRange(0, 0, nullptr, &grey);
  EXPECT_EQ(grey, 255);

  // 'yuv2' chroma stays in two's complement: no colour stays no colour.
  const struct {
    YCbCr8_422 in, out;
  } pairs[] = {{{0, 0, 255, 0}, {16, 0, 235, 0}},
               {{128, 127, 128, -128}, {126, 112, 126, -112}},
               {{64, -64, 32, 64}, {71, -56, 43, 56}}};
  for (const auto &p : pairs) {
    YCbCr8_422 pair = p.in;
    CO_YCbCr8_422_FullRangeToVideoRange(0, 0, nullptr, &pair);
    EXPECT_EQ(pair.y0, p.out.y0);
    EXPECT_EQ(pair.cb, p.out.cb);
    EXPECT_EQ(pair.y1, p.out.y1);
    EXPECT_EQ(pair.cr, p.out.cr);
  }
}

TEST(ColorPixelVisitors, PixmapRangeConversions) {
  World argb(k32ARGBPixelFormat, {0, 0, 1, 2});
  const UInt8 fullRange[8] = {255, 0, 255, 128, 255, 10, 20, 30};
  std::memcpy(argb.row(0), fullRange, 8);
  EXPECT_EQ(CO_PixmapFullRangeToVideoRange(argb.pm()), noErr);
  EXPECT_EQ(std::vector<UInt8>(argb.row(0), argb.row(0) + 8),
            (std::vector<UInt8>{255, 16, 235, 126, 255, CO_8bitUIntFRToVR(10), CO_8bitUIntFRToVR(20),
                                CO_8bitUIntFRToVR(30)}));

  // The compacting conversion goes the other way: video range to full range, packed to 24 bits.
  const UInt8 videoRange[8] = {255, 16, 235, 126, 255, 3, 250, 125};
  std::memcpy(argb.row(0), videoRange, 8);
  EXPECT_EQ(CO_PixmapVideoRangeToFullRangeCompact(argb.pm(), nullptr), noErr);
  EXPECT_EQ(std::vector<UInt8>(argb.row(0), argb.row(0) + 6),
            (std::vector<UInt8>{0, 255, 128, 0, 255, CO_8bitUIntVRToFR(125)}));

  World grey(k8IndexedGrayPixelFormat, {0, 0, 1, 2});
  grey.row(0)[0] = 0;    // white
  grey.row(0)[1] = 255;  // black
  EXPECT_EQ(CO_PixmapFullRangeToVideoRange(grey.pm()), noErr);
  EXPECT_EQ(grey.row(0)[0], 255 - 235);
  EXPECT_EQ(grey.row(0)[1], 255 - 16);
}

// ---- Media samples ----

struct Description {
  ImageDescriptionHandle h;
  Description(OSType cType, SInt16 width, SInt16 height, SInt16 depth, SInt32 dataSize)
      : h(reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)))) {
    (*h)->idSize = sizeof(ImageDescription);
    (*h)->cType = cType;
    (*h)->width = width;
    (*h)->height = height;
    (*h)->depth = depth;
    (*h)->dataSize = dataSize;
  }
  ~Description() { DisposeHandle(reinterpret_cast<Handle>(h)); }
};

TEST(ColorPixelVisitors, MediaSamplesFollowTheirDescription) {
  std::vector<UInt8> rgb = RandomBytes(4 * 3 * 2);
  Description raw24('raw ', 4, 2, 24, SInt32(rgb.size()));
  gCalls.clear();
  EXPECT_EQ(CO_TransformMediaSample(reinterpret_cast<Ptr>(rgb.data()), nullptr, RecordColour, nullptr, raw24.h,
                                    nullptr),
            noErr);
  EXPECT_EQ(gCalls.size(), 8u);

  // Depth 40 (grey with a colour table) is visited as 8-bit grey.
  std::vector<UInt8> grey = {0, 1, 2, 3};
  Description grey40('raw ', 2, 2, 40, 4);
  EXPECT_EQ(CO_TransformMediaSample(reinterpret_cast<Ptr>(grey.data()), GreyToZero, nullptr, nullptr, grey40.h,
                                    nullptr),
            noErr);
  EXPECT_EQ(grey, (std::vector<UInt8>{255, 255, 255, 255}));

  // A 'yuv2' sample (its description says depth 24) through the full-to-video-range hooks.
  std::vector<UInt8> yuv2 = {0, 0, 255, 0, 128, 127, 64, UInt8(-128)};
  Description yuv2Desc('yuv2', 4, 1, 24, 8);
  EXPECT_EQ(CO_MediaSampleFullRangeToVideoRange(reinterpret_cast<Ptr>(yuv2.data()), yuv2Desc.h), noErr);
  EXPECT_EQ(yuv2, (std::vector<UInt8>{16, 0, 235, 0, 126, 112, CO_8bitUIntFRToVR(64), UInt8(-112)}));

  Description tooSmall('raw ', 4, 2, 24, 20);
  EXPECT_EQ(CO_TransformMediaSample(reinterpret_cast<Ptr>(rgb.data()), nullptr, ColourKeep, nullptr, tooSmall.h,
                                    nullptr),
            paramErr);
  Description unknown('jpeg', 4, 2, 24, 24);
  EXPECT_EQ(CO_TransformMediaSample(reinterpret_cast<Ptr>(rgb.data()), nullptr, ColourKeep, nullptr, unknown.h,
                                    nullptr),
            paramErr);
}

TEST(ColorPixelVisitors, MediaSampleSubRect) {
  // Rows of 3 pixels padded to 12 bytes: row bytes come from the data size.
  std::vector<UInt8> rgb(12 * 3, 0);
  Description padded('raw ', 3, 3, 24, 36);
  const Rect inside = {1, 1, 3, 3};
  EXPECT_EQ(CO_TransformMediaSampleSubRect(reinterpret_cast<Ptr>(rgb.data()), nullptr, ColourToWhite, nullptr,
                                           padded.h, &inside, nullptr),
            noErr);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      bool in = y >= 1 && x >= 1 && x < 3;
      EXPECT_EQ(rgb[size_t(12 * y + 3 * x)], in ? 255 : 0) << y << " " << x;
    }
  const Rect outside[] = {{0, 0, 4, 3}, {0, 0, 3, 4}, {-1, 0, 2, 2}, {2, 0, 1, 3}};
  for (const Rect &r : outside) {
    EXPECT_EQ(CO_TransformMediaSampleSubRect(reinterpret_cast<Ptr>(rgb.data()), nullptr, ColourKeep, nullptr,
                                             padded.h, &r, nullptr),
              kGL_RectangleErr);
  }
  Description noRows('raw ', 3, 0, 24, 36);
  EXPECT_EQ(CO_TransformMediaSampleSubRect(reinterpret_cast<Ptr>(rgb.data()), nullptr, ColourKeep, nullptr,
                                           noRows.h, &inside, nullptr),
            paramErr);
  Description shortRows('raw ', 3, 3, 24, 15);  // 5 bytes a row cannot hold the rectangle's pixels
  EXPECT_EQ(CO_TransformMediaSampleSubRect(reinterpret_cast<Ptr>(rgb.data()), nullptr, ColourKeep, nullptr,
                                           shortRows.h, &inside, nullptr),
            paramErr);
}

// ---- Format copies ----

TEST(ColorPixelVisitors, ByteOrderCopies) {
  const std::vector<UInt8> yuv2 = {100, UInt8(-20), 110, 30, 120, UInt8(-40), 130, 50};
  std::vector<UInt8> uyvy(8), back(8);
  CO_CopyYuv2To2vuy(yuv2.data(), uyvy.data(), 1, 4);
  EXPECT_EQ(uyvy, (std::vector<UInt8>{108, 100, 158, 110, 88, 120, 178, 130}));
  CO_Copy2vuyToYuv2(uyvy.data(), back.data(), 1, 4);
  EXPECT_EQ(back, yuv2);
}

TEST(ColorPixelVisitors, FourTwoTwoToFourFourFour) {
  // 'yuv2' (Y0 100, Cb -20, Y1 110, Cr +30), (Y 120, Cb -40, Y 130, Cr +50).
  const std::vector<UInt8> yuv2 = {100, UInt8(-20), 110, 30, 120, UInt8(-40), 130, 50};
  std::vector<UInt8> v308(12);
  CO_CopyYuv2Tov308(yuv2.data(), v308.data(), 1, 4);
  // Pixel 1: Cb = (108 + 88 + 1) >> 1 = 98, its own Cr 158; bytes Cr, Y, Cb.
  EXPECT_EQ(std::vector<UInt8>(v308.begin() + 3, v308.begin() + 6), (std::vector<UInt8>{158, 110, 98}));
  EXPECT_EQ(v308, (std::vector<UInt8>{158, 100, 108,                  // i = 0: its pair's Cr alone
                                      158, 110, 98,                   //
                                      (158 + 178 + 1) >> 1, 120, 88,  // i = 2: Cr between the pairs
                                      178, 130, 88}))                 // last: its own pair's Cb
      << "pixels Cr, Y, Cb";
  std::vector<UInt8> uyvy(8), fromUyvy(12);
  CO_CopyYuv2To2vuy(yuv2.data(), uyvy.data(), 1, 4);
  CO_Copy2vuyTov308(uyvy.data(), fromUyvy.data(), 1, 4);
  EXPECT_EQ(fromUyvy, v308);

  // Back to 4:2:2 without filtering: the own chroma bytes come back exactly.
  std::vector<UInt8> again(8);
  CO_Copyv308ToYuv2(v308.data(), again.data(), 1, 4);
  EXPECT_EQ(again, yuv2);
  CO_Copyv308To2vuy(v308.data(), again.data(), 1, 4);
  EXPECT_EQ(again, uyvy);
}

TEST(ColorPixelVisitors, CopiesStayInsideOddRows) {
  BZ_KERNEL_SEED_TRACE();
  for (SInt32 width : {1, 2, 3, 7, 720, 721}) {
    SCOPED_TRACE(width);
    const SInt32 height = 3;
    bz_test::GuardedBuffer uyvy(size_t(width * 2 * height)), v308(size_t(width * 3 * height)),
        back(size_t(width * 2 * height));
    bz_test::FillRandomBytes(uyvy.data(), uyvy.size(), bz_test::Rng());
    CO_Copy2vuyTov308(uyvy.data(), v308.data(), height, width);
    CO_Copyv308To2vuy(v308.data(), back.data(), height, width);
    EXPECT_TRUE(v308.CheckGuards());
    EXPECT_TRUE(back.CheckGuards());
    EXPECT_EQ(std::memcmp(uyvy.data(), back.data(), uyvy.size()), 0) << "own chroma and luma survive";
    if (width == 1) {
      EXPECT_EQ(v308.data()[0], 128) << "a line of one pixel has no Cr";
    }
    bz_test::GuardedBuffer yuv2(uyvy.size());
    CO_Copy2vuyToYuv2(uyvy.data(), yuv2.data(), height, width);
    CO_CopyYuv2To2vuy(yuv2.data(), back.data(), height, width);
    EXPECT_TRUE(yuv2.CheckGuards());
    EXPECT_EQ(std::memcmp(uyvy.data(), back.data(), uyvy.size()), 0);
  }
}

}  // namespace
