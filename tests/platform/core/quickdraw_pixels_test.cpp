// Drawing into offscreen worlds and CopyBits between pixel maps.
#include "platform/core/quickdraw_pixels.h"

#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// An offscreen world made current for the test's lifetime, the previous port restored afterwards.
struct World {
  GWorldPtr world = nullptr;
  CGrafPtr saved = nullptr;
  GDHandle device = nullptr;
  explicit World(Rect bounds, OSType format = k32ARGBPixelFormat) {
    EXPECT_EQ(noErr, QTNewGWorld(&world, format, &bounds, nullptr, nullptr, 0));
    GetGWorld(&saved, &device);
    SetGWorld(world, nullptr);
  }
  ~World() {
    SetGWorld(saved, device);
    DisposeGWorld(world);
  }
  const BitMap *Bits() const { return GetPortBitMapForCopyBits(world); }
  PixMap &Map() const { return **GetGWorldPixMap(world); }
  // 0xAARRGGBB of an ARGB world's pixel (local coordinates).
  UInt32 At(int x, int y) const {
    const PixMap &pm = Map();
    const UInt8 *p = reinterpret_cast<const UInt8 *>(pm.baseAddr) + (y - pm.bounds.top) * pm.rowBytes +
                     4 * (x - pm.bounds.left);
    return UInt32(p[0]) << 24 | UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3];
  }
  void Set(int x, int y, UInt32 argb) {
    const PixMap &pm = Map();
    UInt8 *p = reinterpret_cast<UInt8 *>(pm.baseAddr) + (y - pm.bounds.top) * pm.rowBytes + 4 * (x - pm.bounds.left);
    p[0] = UInt8(argb >> 24), p[1] = UInt8(argb >> 16), p[2] = UInt8(argb >> 8), p[3] = UInt8(argb);
  }
};

// Source pixel (x, y) of the 4 x 4 pattern: opaque, red = x, green = y.
UInt32 Pattern(int x, int y) { return 0xFF000000u | UInt32(x + 1) << 16 | UInt32(y + 1) << 8; }
constexpr UInt32 kUntouched = 0x11223344;

TEST(PlatformCopyBits, CopiesScalesAndClips) {
  struct Case {
    const char *what;
    Rect src, dst;
    UInt32 (*expect)(int x, int y);  // of destination pixel (x, y) of a 6 x 6 world
  };
  const Case cases[] = {
      {"one to one, moved", {0, 0, 4, 4}, {1, 1, 5, 5},
       [](int x, int y) { return x >= 1 && x < 5 && y >= 1 && y < 5 ? Pattern(x - 1, y - 1) : kUntouched; }},
      {"twice the size", {0, 0, 2, 2}, {0, 0, 4, 4},
       [](int x, int y) { return x < 4 && y < 4 ? Pattern(x / 2, y / 2) : kUntouched; }},
      {"half the size", {0, 0, 4, 4}, {0, 0, 2, 2},
       [](int x, int y) { return x < 2 && y < 2 ? Pattern(2 * x, 2 * y) : kUntouched; }},
      {"past the destination's edge", {0, 0, 4, 4}, {4, 4, 8, 8},
       [](int x, int y) { return x >= 4 && y >= 4 ? Pattern(x - 4, y - 4) : kUntouched; }},
      {"source partly outside its map", {0, -2, 2, 2}, {0, 0, 2, 4},
       [](int x, int y) { return x >= 2 && x < 4 && y < 2 ? Pattern(x - 2, y) : kUntouched; }},
  };
  Rect srcBounds{0, 0, 4, 4};
  GWorldPtr source = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&source, k32ARGBPixelFormat, &srcBounds, nullptr, nullptr, 0));
  PixMap &sp = **GetGWorldPixMap(source);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      UInt32 v = Pattern(x, y);
      UInt8 *p = reinterpret_cast<UInt8 *>(sp.baseAddr) + y * sp.rowBytes + 4 * x;
      p[0] = UInt8(v >> 24), p[1] = UInt8(v >> 16), p[2] = UInt8(v >> 8), p[3] = UInt8(v);
    }
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    World dst(Rect{0, 0, 6, 6});
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) dst.Set(x, y, kUntouched);
    CopyBits(GetPortBitMapForCopyBits(source), dst.Bits(), &c.src, &c.dst, srcCopy, nullptr);
    EXPECT_EQ(noErr, QDError());
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) ASSERT_EQ(c.expect(x, y), dst.At(x, y)) << "at " << x << ", " << y;
  }
  DisposeGWorld(source);
}

TEST(PlatformCopyBits, HonoursMaskClipAndOverlap) {
  World w(Rect{0, 0, 4, 4});
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) w.Set(x, y, Pattern(x, y));
  // Shifting a map right by one within itself reads every source pixel before it is overwritten.
  Rect src{0, 0, 4, 3}, dst{0, 1, 4, 4};
  CopyBits(w.Bits(), w.Bits(), &src, &dst, srcCopy, nullptr);
  EXPECT_EQ(Pattern(0, 0), w.At(0, 0));
  EXPECT_EQ(Pattern(0, 0), w.At(1, 0));
  EXPECT_EQ(Pattern(2, 0), w.At(3, 0));

  // The current port's clip and the mask both limit the copy into the current port.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) w.Set(x, y, kUntouched);
  Rect srcBounds{0, 0, 4, 4};
  GWorldPtr source = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&source, k32ARGBPixelFormat, &srcBounds, nullptr, nullptr, 0));
  PixMap &sp = **GetGWorldPixMap(source);
  std::memset(sp.baseAddr, 0x5A, size_t(sp.rowBytes) * 4);
  Rect clip{0, 0, 4, 2};  // left half
  ClipRect(&clip);
  RgnHandle mask = NewRgn();
  SetRectRgn(mask, 0, 1, 4, 4);  // all but the top row
  Rect all{0, 0, 4, 4};
  CopyBits(GetPortBitMapForCopyBits(source), w.Bits(), &all, &all, SInt16(srcCopy + 64) /* dithered */, mask);
  EXPECT_EQ(noErr, QDError());
  EXPECT_EQ(kUntouched, w.At(0, 0));  // masked
  EXPECT_EQ(0x5A5A5A5Au, w.At(1, 1));  // copied
  EXPECT_EQ(kUntouched, w.At(2, 1));  // clipped
  DisposeRgn(mask);
  DisposeGWorld(source);
}

TEST(PlatformCopyBits, RefusesWhatItCannotDo) {
  World w(Rect{0, 0, 4, 4});
  World yuv(Rect{0, 0, 4, 4}, k2vuyPixelFormat);
  w.Set(0, 0, kUntouched);
  Rect r{0, 0, 4, 4}, empty{2, 2, 2, 4};
  BitMap foreign{nullptr, SInt16(0x8000 | 16), r};  // a pixel map this layer did not make
  struct Case {
    const char *what;
    const BitMap *src, *dst;
    const Rect *srcRect, *dstRect;
    SInt16 mode;
    OSErr err;
  };
  const Case cases[] = {
      {"no source", nullptr, w.Bits(), &r, &r, srcCopy, paramErr},
      {"no destination", w.Bits(), nullptr, &r, &r, srcCopy, paramErr},
      {"no rectangle", w.Bits(), w.Bits(), nullptr, &r, srcCopy, paramErr},
      {"empty source rectangle", w.Bits(), w.Bits(), &empty, &r, srcCopy, paramErr},
      {"empty destination rectangle", w.Bits(), w.Bits(), &r, &empty, srcCopy, paramErr},
      {"foreign pixel map", &foreign, w.Bits(), &r, &r, srcCopy, paramErr},
      {"another transfer mode", w.Bits(), w.Bits(), &r, &r, srcXor, unimpErr},
      {"a Y'CbCr world", yuv.Bits(), w.Bits(), &r, &r, srcCopy, unimpErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    PL_SetQDError(noErr);
    CopyBits(c.src, c.dst, c.srcRect, c.dstRect, c.mode, nullptr);
    EXPECT_EQ(c.err, QDError());
    EXPECT_EQ(kUntouched, w.At(0, 0));
  }
}

TEST(PlatformCopyBits, OneBitBitmapsAndWorlds) {
  // A caller's 1-bit bitmap: 8 x 2, first row 10100000, second row all set.
  UInt8 bits[2] = {0xA0, 0xFF};
  BitMap plain{reinterpret_cast<Ptr>(bits), 1, Rect{0, 0, 2, 8}};
  World w(Rect{0, 0, 2, 8});
  Rect r{0, 0, 2, 8};
  CopyBits(&plain, w.Bits(), &r, &r, srcCopy, nullptr);
  ASSERT_EQ(noErr, QDError());
  EXPECT_EQ(0xFF000000u, w.At(0, 0));  // set bits are black
  EXPECT_EQ(0xFFFFFFFFu, w.At(1, 0));
  EXPECT_EQ(0xFF000000u, w.At(2, 0));
  EXPECT_EQ(0xFF000000u, w.At(7, 1));

  // Scaled into a 1-bit world of twice the width.
  World mono(Rect{0, 0, 2, 16}, k1MonochromePixelFormat);
  Rect wide{0, 0, 2, 16};
  CopyBits(w.Bits(), mono.Bits(), &r, &wide, srcCopy, nullptr);
  ASSERT_EQ(noErr, QDError());
  const PixMap &pm = mono.Map();
  EXPECT_EQ(0xCC, UInt8(pm.baseAddr[0]));  // 1100 1100
  EXPECT_EQ(0x00, UInt8(pm.baseAddr[1]));
  EXPECT_EQ(0xFF, UInt8(pm.baseAddr[pm.rowBytes]));
}

TEST(PlatformCopyBits, RegionsScaleThroughOneBitWorlds) {
  // An L-shaped region painted black on white, copied at twice the size and read back as a region.
  RgnHandle shape = NewRgn(), part = NewRgn(), back = NewRgn(), want = NewRgn();
  SetRectRgn(shape, 0, 0, 1, 3);
  SetRectRgn(part, 0, 2, 3, 3);
  UnionRgn(shape, part, shape);
  Rect small{0, 0, 3, 3}, big{0, 0, 6, 6};
  World bigWorld(big, k1MonochromePixelFormat);
  {
    World smallWorld(small, k1MonochromePixelFormat);
    EraseRect(&small);
    PaintRgn(shape);
    ASSERT_EQ(noErr, QDError());
    CopyBits(smallWorld.Bits(), bigWorld.Bits(), &small, &big, srcCopy, nullptr);
    ASSERT_EQ(noErr, QDError());
  }
  ASSERT_EQ(noErr, BitMapToRegion(back, bigWorld.Bits()));
  SetRectRgn(want, 0, 0, 2, 6);
  SetRectRgn(part, 0, 4, 6, 6);
  UnionRgn(want, part, want);
  EXPECT_TRUE(EqualRgn(back, want));
  for (RgnHandle r : {shape, part, back, want}) DisposeRgn(r);
}

TEST(PlatformWorldDrawing, PaintsEraseAndFramesInThePortColours) {
  World w(Rect{0, 0, 8, 8});
  const RGBColor red{0xFFFF, 0, 0}, blue{0, 0, 0xFFFF};
  RGBForeColor(&red);
  RGBBackColor(&blue);
  EXPECT_EQ(noErr, QDError());
  Rect all{0, 0, 8, 8}, inner{1, 1, 7, 7};
  EraseRect(&all);
  EXPECT_EQ(noErr, QDError());
  EXPECT_EQ(0xFF0000FFu, w.At(0, 0));
  PenSize(2, 1);
  FrameRect(&inner);
  EXPECT_EQ(0xFFFF0000u, w.At(1, 1));
  EXPECT_EQ(0xFFFF0000u, w.At(2, 2));  // two pixels wide on the left
  EXPECT_EQ(0xFF0000FFu, w.At(3, 2));  // the hole
  EXPECT_EQ(0xFFFF0000u, w.At(3, 6));  // one pixel high at the bottom
  EXPECT_EQ(0xFF0000FFu, w.At(7, 7));  // outside
  Rect small{0, 0, 2, 3};
  EraseRect(&small);
  FrameRect(&small);  // too small for a hole: all painted
  EXPECT_EQ(0xFFFF0000u, w.At(1, 1));
  PenNormal();

  // Painting respects the clip region; ForeColor takes the basic colours.
  Rect clip{0, 0, 3, 8};
  ClipRect(&clip);
  ForeColor(30);  // white
  PaintRect(&all);
  EXPECT_EQ(0xFFFFFFFFu, w.At(0, 2));
  EXPECT_EQ(0xFF0000FFu, w.At(0, 3));
  ClipRect(&all);
  RgnHandle rgn = NewRgn();
  SetRectRgn(rgn, 4, 4, 6, 6);
  ForeColor(33);  // black
  PaintRgn(rgn);
  EXPECT_EQ(0xFF000000u, w.At(5, 5));
  EraseRgn(rgn);
  EXPECT_EQ(0xFF0000FFu, w.At(5, 5));
  FrameRgn(rgn);
  EXPECT_EQ(0xFF000000u, w.At(4, 4));  // a 2 x 2 region is all outline
  DisposeRgn(rgn);

  // Grey worlds take the luma; formats without single pixels say so.
  {
    World grey(Rect{0, 0, 2, 2}, k8IndexedGrayPixelFormat);
    RGBForeColor(&red);
    Rect g{0, 0, 2, 2};
    PaintRect(&g);
    EXPECT_EQ(noErr, QDError());
    EXPECT_EQ(255 - 76, UInt8(grey.Map().baseAddr[0]));
  }
  {
    World yuv(Rect{0, 0, 2, 2}, k2vuyPixelFormat);
    Rect g{0, 0, 2, 2};
    PaintRect(&g);
    EXPECT_EQ(unimpErr, QDError());
  }
}

}  // namespace
