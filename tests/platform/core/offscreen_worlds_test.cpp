// Offscreen graphics worlds: formats and row bytes, worlds over the caller's memory, the 'y420' header,
// the current world and the pixel-map calls on foreign ports.
#include "platform/core/mac_errors.h"
#include "platform/core/offscreen_worlds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

UInt32 BigEndianWord(const UInt8 *p) { return UInt32(p[0]) << 24 | UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3]; }

TEST(OffscreenWorlds, NewWorldsHaveTheirFormatAndAlignedRows) {
  struct Case {
    OSType format;
    SInt16 bits;
    SInt32 minRowBytes;  // for 45 pixels
  };
  const Case cases[] = {
      {k32ARGBPixelFormat, 32, 180}, {k24RGBPixelFormat, 24, 135}, {k16BE555PixelFormat, 16, 90},
      {k8IndexedPixelFormat, 8, 45}, {k8IndexedGrayPixelFormat, 8, 45}, {k2vuyPixelFormat, 16, 92},
      {kYUVSPixelFormat, 16, 92},    {k1MonochromePixelFormat, 1, 6},
  };
  Rect bounds{0, 0, 7, 45};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(PL_PixelFormatMinRowBytes(c.format, 45), c.minRowBytes);
    GWorldPtr world = nullptr;
    ASSERT_EQ(QTNewGWorld(&world, c.format, &bounds, nullptr, nullptr, 0), noErr);
    PixMapHandle pm = GetGWorldPixMap(world);
    ASSERT_NE(pm, nullptr);
    EXPECT_EQ((*pm)->pixelFormat, c.format);
    EXPECT_EQ((*pm)->pixelSize, c.bits);
    EXPECT_GE(GetPixRowBytes(pm), c.minRowBytes);
    EXPECT_EQ(GetPixRowBytes(pm) % 16, 0);
    EXPECT_TRUE(EqualRect(&(*pm)->bounds, &bounds));
    EXPECT_NE(GetPixBaseAddr(pm), nullptr);
    DisposeGWorld(world);
  }
}

TEST(OffscreenWorlds, NewPixelsStartBlackOrWhiteAsQuickDrawDoes) {
  Rect bounds{0, 0, 2, 4};
  GWorldPtr yuv = nullptr, argb = nullptr, indexed = nullptr;
  ASSERT_EQ(QTNewGWorld(&yuv, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0), noErr);
  ASSERT_EQ(NewGWorld(&argb, 32, &bounds, nullptr, nullptr, 0), noErr);
  ASSERT_EQ(NewGWorld(&indexed, 8, &bounds, nullptr, nullptr, 0), noErr);
  const UInt8 *p = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(GetGWorldPixMap(yuv)));
  EXPECT_EQ(p[0], 128);
  EXPECT_EQ(p[1], 16);
  p = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(GetGWorldPixMap(argb)));
  EXPECT_EQ(p[0], 0xFF);  // opaque
  EXPECT_EQ(p[1] | p[2] | p[3], 0);
  p = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(GetGWorldPixMap(indexed)));
  EXPECT_EQ(p[0], 0);  // index 0 is white
  DisposeGWorld(yuv);
  DisposeGWorld(argb);
  DisposeGWorld(indexed);
}

TEST(OffscreenWorlds, DepthZeroIsThirtyTwoBitsAndBadArgumentsAreRefused) {
  Rect bounds{0, 0, 10, 10};
  GWorldPtr world = nullptr;
  ASSERT_EQ(NewGWorld(&world, 0, &bounds, nullptr, nullptr, 0), noErr);
  EXPECT_EQ((*GetGWorldPixMap(world))->pixelFormat, k32ARGBPixelFormat);
  DisposeGWorld(world);

  world = reinterpret_cast<GWorldPtr>(1);
  EXPECT_EQ(NewGWorld(&world, 12, &bounds, nullptr, nullptr, 0), cDepthErr);
  EXPECT_EQ(world, nullptr);
  EXPECT_EQ(QTNewGWorld(&world, 'abcd', &bounds, nullptr, nullptr, 0), cDepthErr);
  Rect empty{5, 5, 5, 9};
  EXPECT_EQ(NewGWorld(&world, 32, &empty, nullptr, nullptr, 0), paramErr);
  EXPECT_EQ(NewGWorld(&world, 32, nullptr, nullptr, nullptr, 0), paramErr);
}

TEST(OffscreenWorlds, WorldOverCallerMemoryUsesItAndChecksRowBytes) {
  std::vector<UInt8> buffer(20 * 64, 0xAB);
  Rect bounds{0, 0, 20, 30};
  GWorldPtr world = nullptr;
  EXPECT_EQ(QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, buffer.data(), 58), paramErr);
  EXPECT_EQ(QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, nullptr, 64), paramErr);
  ASSERT_EQ(QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, buffer.data(), 64), noErr);
  PixMapHandle pm = GetGWorldPixMap(world);
  EXPECT_EQ(GetPixBaseAddr(pm), reinterpret_cast<Ptr>(buffer.data()));
  EXPECT_EQ(GetPixRowBytes(pm), 64);
  EXPECT_EQ(QTGetPixMapHandleRowBytes(pm), 64);
  DisposeGWorld(world);
  // The caller's pixels are left as they were.
  EXPECT_EQ(buffer[0], 0xAB);
}

TEST(OffscreenWorlds, Y420WorldHoldsItsPlanarHeader) {
  Rect bounds{0, 0, 575, 720};
  GWorldPtr world = nullptr;
  ASSERT_EQ(QTNewGWorld(&world, kYUV420PixelFormat, &bounds, nullptr, nullptr, 0), noErr);
  const UInt8 *h = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(GetGWorldPixMap(world)));
  EXPECT_EQ(BigEndianWord(h), 32u);
  EXPECT_EQ(BigEndianWord(h + 4), 736u);
  EXPECT_EQ(BigEndianWord(h + 8), 423968u);
  EXPECT_EQ(BigEndianWord(h + 12), 368u);
  EXPECT_EQ(BigEndianWord(h + 16), 529952u);
  EXPECT_EQ(BigEndianWord(h + 20), 368u);
  EXPECT_EQ(PL_PixelFormatBufferSize(kYUV420PixelFormat, 1080, 720, 575), 635936u);
  DisposeGWorld(world);
}

TEST(OffscreenWorlds, CurrentWorldAndForeignPorts) {
  Rect bounds{0, 0, 4, 4};
  GWorldPtr world = nullptr;
  ASSERT_EQ(NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0), noErr);
  SetGWorld(world, nullptr);
  CGrafPtr current = nullptr;
  GDHandle device = reinterpret_cast<GDHandle>(1);
  GetGWorld(&current, &device);
  EXPECT_EQ(current, world);
  EXPECT_EQ(device, nullptr);
  EXPECT_TRUE(PL_IsGWorld(world));
  // Disposing the current world leaves no current port behind.
  DisposeGWorld(world);
  GetGWorld(&current, nullptr);
  EXPECT_EQ(current, nullptr);

  GrafPtr plain = PL_NewPort(&bounds, Point{0, 0}, nullptr, nullptr);
  EXPECT_FALSE(PL_IsGWorld(plain));
  EXPECT_EQ(GetGWorldPixMap(plain), nullptr);
  DisposeGWorld(plain);  // not a world: ignored
  PL_DisposePort(plain);
  EXPECT_EQ(GetGWorldPixMap(nullptr), nullptr);
}

TEST(OffscreenWorlds, LockStateAndGammaRequests) {
  Rect bounds{0, 0, 4, 4};
  GWorldPtr world = nullptr;
  ASSERT_EQ(QTNewGWorld(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0), noErr);
  PixMapHandle pm = GetGWorldPixMap(world);
  EXPECT_TRUE(LockPixels(pm));
  EXPECT_TRUE(GetPixelsState(pm) & pixelsLocked);
  UnlockPixels(pm);
  EXPECT_FALSE(GetPixelsState(pm) & pixelsLocked);
  EXPECT_EQ(QTGetPixMapHandleRequestedGammaLevel(pm), 0);
  EXPECT_EQ(QTSetPixMapHandleRequestedGammaLevel(pm, -1), noErr);
  EXPECT_EQ(QTGetPixMapHandleRequestedGammaLevel(pm), -1);
  EXPECT_EQ(QTSetPixMapHandleRequestedGammaLevel(nullptr, -1), paramErr);
  DisposeGWorld(world);
}

}  // namespace
