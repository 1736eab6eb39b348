#include "platform/core/quickdraw_geometry.h"
#include "platform/core/quickdraw_ports.h"

#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace {

bool SameRect(const Rect &a, const Rect &b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

TEST(PlatformQuickDrawRects, SectUnionInsetAndPoints) {
  struct SectCase {
    Rect a, b;
    bool overlap;
    Rect expected;
  } sects[] = {
      {{0, 0, 10, 10}, {5, 5, 20, 20}, true, {5, 5, 10, 10}},
      {{0, 0, 10, 10}, {10, 0, 20, 10}, false, {0, 0, 0, 0}},  // touching edges share no pixel
      {{0, 0, 10, 10}, {2, 2, 2, 8}, false, {0, 0, 0, 0}},     // an empty rectangle
      {{-5, -5, 5, 5}, {-10, -1, 10, 1}, true, {-5, -1, 5, 1}},
  };
  for (const SectCase &c : sects) {
    Rect out{1, 1, 1, 1};
    EXPECT_EQ(bool(SectRect(&c.a, &c.b, &out)), c.overlap);
    EXPECT_TRUE(SameRect(out, c.expected));
  }
  Rect u;
  Rect a{0, 0, 10, 10}, b{5, -5, 20, 8};
  UnionRect(&a, &b, &u);
  EXPECT_TRUE(SameRect(u, Rect{0, -5, 20, 10}));

  Rect r{0, 0, 10, 10};
  InsetRect(&r, 2, 3);
  EXPECT_TRUE(SameRect(r, Rect{3, 2, 7, 8}));
  InsetRect(&r, 3, 0);
  EXPECT_TRUE(SameRect(r, Rect{0, 0, 0, 0}));
  r = Rect{0, 0, 10, 10};
  OffsetRect(&r, -3, 4);
  EXPECT_TRUE(SameRect(r, Rect{4, -3, 14, 7}));

  EXPECT_TRUE(PtInRect(Point{0, 0}, &a));
  EXPECT_FALSE(PtInRect(Point{10, 5}, &a));  // bottom edge is outside
  EXPECT_FALSE(PtInRect(Point{5, 10}, &a));
  EXPECT_TRUE(EmptyRect(&sects[2].b));
  EXPECT_FALSE(EmptyRect(&a));
  Point p;
  SetPt(&p, 3, 4);
  AddPt(Point{1, 2}, &p);
  EXPECT_TRUE(EqualPt(p, Point{5, 5}));
  SubPt(Point{5, 5}, &p);
  EXPECT_TRUE(EqualPt(p, Point{0, 0}));
}

// A brute-force pixel set on a small grid to check region operations against.
constexpr int kGrid = 24;
using Pixels = std::array<std::array<bool, kGrid>, kGrid>;

void AddRect(Pixels &px, const Rect &r) {
  for (int v = r.top; v < r.bottom; ++v)
    for (int h = r.left; h < r.right; ++h) px[v][h] = true;
}

::testing::AssertionResult RegionMatches(RgnHandle rgn, const Pixels &px) {
  for (int v = -2; v < kGrid + 2; ++v)
    for (int h = -2; h < kGrid + 2; ++h) {
      bool want = v >= 0 && h >= 0 && v < kGrid && h < kGrid && px[v][h];
      if (bool(PtInRgn(Point{SInt16(v), SInt16(h)}, rgn)) != want)
        return ::testing::AssertionFailure() << "pixel (h " << h << ", v " << v << ") should be " << want;
    }
  return ::testing::AssertionSuccess();
}

TEST(PlatformQuickDrawRegions, SetOperationsMatchPixelSets) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(0, kGrid);
  auto randomRect = [&] {
    int a = coord(rng), b = coord(rng), c = coord(rng), d = coord(rng);
    return Rect{SInt16(std::min(a, b)), SInt16(std::min(c, d)), SInt16(std::max(a, b)), SInt16(std::max(c, d))};
  };
  RgnHandle a = NewRgn(), b = NewRgn(), r = NewRgn(), out = NewRgn();
  for (int trial = 0; trial < 200; ++trial) {
    Pixels pa{}, pb{};
    SetEmptyRgn(a);
    SetEmptyRgn(b);
    for (int k = 0; k < 3; ++k) {
      Rect ra = randomRect(), rb = randomRect();
      RectRgn(r, &ra);
      UnionRgn(a, r, a);
      AddRect(pa, ra);
      RectRgn(r, &rb);
      UnionRgn(b, r, b);
      AddRect(pb, rb);
    }
    ASSERT_TRUE(RegionMatches(a, pa));
    struct Op {
      void (*fn)(RgnHandle, RgnHandle, RgnHandle);
      bool (*keep)(bool, bool);
    } ops[] = {
        {SectRgn, [](bool x, bool y) { return x && y; }},
        {UnionRgn, [](bool x, bool y) { return x || y; }},
        {DiffRgn, [](bool x, bool y) { return x && !y; }},
        {XorRgn, [](bool x, bool y) { return x != y; }},
    };
    for (const Op &op : ops) {
      Pixels want{};
      for (int v = 0; v < kGrid; ++v)
        for (int h = 0; h < kGrid; ++h) want[v][h] = op.keep(pa[v][h], pb[v][h]);
      op.fn(a, b, out);
      ASSERT_EQ(QDError(), noErr);
      ASSERT_TRUE(RegionMatches(out, want)) << "trial " << trial;
    }
    // In place: the destination is a source.
    CopyRgn(a, out);
    UnionRgn(out, b, out);
    Pixels both{};
    for (int v = 0; v < kGrid; ++v)
      for (int h = 0; h < kGrid; ++h) both[v][h] = pa[v][h] || pb[v][h];
    ASSERT_TRUE(RegionMatches(out, both));
  }
  for (RgnHandle h : {a, b, r, out}) DisposeRgn(h);
}

TEST(PlatformQuickDrawRegions, CanonicalFormBoundsAndOffsets) {
  RgnHandle whole = NewRgn(), left = NewRgn(), right = NewRgn(), joined = NewRgn();
  SetRectRgn(whole, 0, 0, 10, 6);
  SetRectRgn(left, 0, 0, 4, 6);
  SetRectRgn(right, 4, 0, 10, 6);
  UnionRgn(left, right, joined);
  EXPECT_TRUE(EqualRgn(joined, whole));
  EXPECT_TRUE(IsRegionRectangular(joined));

  // Stacked bands with the same spans join too.
  RgnHandle top = NewRgn(), bottom = NewRgn();
  SetRectRgn(top, 0, 0, 10, 3);
  SetRectRgn(bottom, 0, 3, 10, 6);
  UnionRgn(top, bottom, joined);
  EXPECT_TRUE(EqualRgn(joined, whole));

  // An L shape: not rectangular; bounds cover both arms.
  SetRectRgn(top, 0, 0, 10, 2);
  SetRectRgn(bottom, 0, 2, 3, 8);
  UnionRgn(top, bottom, joined);
  EXPECT_FALSE(IsRegionRectangular(joined));
  Rect bounds;
  GetRegionBounds(joined, &bounds);
  EXPECT_TRUE(SameRect(bounds, Rect{0, 0, 8, 10}));
  OffsetRgn(joined, 5, -2);
  GetRegionBounds(joined, &bounds);
  EXPECT_TRUE(SameRect(bounds, Rect{-2, 5, 6, 15}));
  EXPECT_TRUE(PtInRgn(Point{-2, 14}, joined));
  EXPECT_FALSE(PtInRgn(Point{5, 14}, joined));

  // Subtracting everything leaves the canonical empty region.
  DiffRgn(whole, whole, joined);
  EXPECT_TRUE(EmptyRgn(joined));
  GetRegionBounds(joined, &bounds);
  EXPECT_TRUE(SameRect(bounds, Rect{0, 0, 0, 0}));
  RgnHandle empty = NewRgn();
  EXPECT_TRUE(EqualRgn(joined, empty));
  Rect inverted{5, 5, 0, 0};
  RectRgn(joined, &inverted);
  EXPECT_TRUE(EmptyRgn(joined));

  for (RgnHandle h : {whole, left, right, joined, top, bottom, empty}) DisposeRgn(h);
}

TEST(PlatformQuickDrawRegions, BitMapToRegion) {
  // 10 x 3 bitmap at (h 5, v 2): row 0 bits 0-1 and 9, row 1 none, row 2 all.
  UInt8 bits[3][2] = {{0xC0, 0x40}, {0x00, 0x00}, {0xFF, 0xC0}};
  BitMap map{reinterpret_cast<Ptr>(bits), 2, Rect{2, 5, 5, 15}};
  RgnHandle rgn = NewRgn();
  ASSERT_EQ(BitMapToRegion(rgn, &map), noErr);
  struct Probe {
    SInt16 v, h;
    bool in;
  } probes[] = {{2, 5, true}, {2, 6, true}, {2, 7, false}, {2, 14, true}, {3, 5, false},
                {4, 5, true}, {4, 14, true}, {4, 15, false}, {1, 5, false}, {5, 5, false}};
  for (const Probe &p : probes) EXPECT_EQ(bool(PtInRgn(Point{p.v, p.h}, rgn)), p.in) << p.h << "," << p.v;

  BitMap deep{reinterpret_cast<Ptr>(bits), SInt16(0x8002), Rect{0, 0, 3, 10}};
  EXPECT_EQ(BitMapToRegion(rgn, &deep), pixmapTooDeepErr);
  BitMap shortRows{reinterpret_cast<Ptr>(bits), 1, Rect{0, 0, 3, 10}};
  EXPECT_EQ(BitMapToRegion(rgn, &shortRows), paramErr);
  EXPECT_EQ(BitMapToRegion(nullptr, &map), paramErr);
  DisposeRgn(rgn);
}

TEST(PlatformQuickDrawRandom, ParkMillerSequencePerThread) {
  SetQDGlobalsRandomSeed(1);
  EXPECT_EQ(Random(), 16807);
  EXPECT_EQ(GetQDGlobalsRandomSeed(), 16807);
  EXPECT_EQ(Random(), SInt16(282475249 & 0xFFFF));
  SetQDGlobalsRandomSeed(1);
  EXPECT_EQ(Random(), 16807);
}

// ---- Ports ----

struct Recorder {
  std::vector<Rect> painted;
  int colours = 0;
};

void RecordPaint(GrafPtr port, const Rect *r) { static_cast<Recorder *>(PL_GetPortRefCon(port))->painted.push_back(*r); }
void RecordColour(GrafPtr port, const RGBColor *) { ++static_cast<Recorder *>(PL_GetPortRefCon(port))->colours; }

GrafPtr gWindowPort = nullptr;
CGrafPtr PortOfWindow(WindowRef window) { return window == reinterpret_cast<WindowRef>(1) ? gWindowPort : nullptr; }

TEST(PlatformQuickDrawPorts, CoordinatesClipPenAndForwarding) {
  Recorder recorder;
  PL_PortDrawProcs procs{};
  procs.paintRect = RecordPaint;
  procs.rgbForeColor = RecordColour;
  Rect bounds{0, 0, 100, 200};
  GrafPtr port = PL_NewPort(&bounds, Point{50, 100}, &procs, &recorder);
  ASSERT_NE(port, nullptr);
  SetPort(port);
  GrafPtr current = nullptr;
  GetPort(&current);
  EXPECT_EQ(current, port);

  Point p{5, 7};
  LocalToGlobal(&p);
  EXPECT_TRUE(EqualPt(p, Point{55, 107}));
  GlobalToLocal(&p);
  EXPECT_TRUE(EqualPt(p, Point{5, 7}));
  Rect got;
  EXPECT_TRUE(SameRect(*GetPortBounds(port, &got), bounds));

  RgnHandle clip = NewRgn();
  Rect clipRect{1, 2, 3, 4};
  ClipRect(&clipRect);
  GetClip(clip);
  Rect clipBounds;
  GetRegionBounds(clip, &clipBounds);
  EXPECT_TRUE(SameRect(clipBounds, clipRect));

  PenSize(3, 4);
  MoveTo(9, 8);
  PenState pen;
  GetPenState(&pen);
  EXPECT_EQ(pen.pnSize.h, 3);
  EXPECT_EQ(pen.pnSize.v, 4);
  EXPECT_EQ(pen.pnLoc.h, 9);
  PenNormal();
  GetPenState(&pen);
  EXPECT_EQ(pen.pnSize.h, 1);
  EXPECT_EQ(pen.pnMode, patCopy);
  EXPECT_EQ(pen.pnLoc.h, 9);  // the pen stays where it was

  PaintRect(&clipRect);
  EXPECT_EQ(QDError(), noErr);
  ASSERT_EQ(recorder.painted.size(), 1u);
  RGBForeColor(nullptr);
  EXPECT_EQ(recorder.colours, 1);
  // What the back end cannot do is reported, not pretended.
  FrameRect(&clipRect);
  EXPECT_EQ(QDError(), unimpErr);

  gWindowPort = port;
  PL_SetWindowPortProc(PortOfWindow);
  EXPECT_EQ(GetWindowPort(reinterpret_cast<WindowRef>(1)), port);
  EXPECT_EQ(GetWindowPort(reinterpret_cast<WindowRef>(2)), nullptr);
  EXPECT_EQ(QDError(), paramErr);
  PL_SetWindowPortProc(nullptr);

  PL_DisposePort(port);
  GetPort(&current);
  EXPECT_EQ(current, nullptr);
  PaintRect(&clipRect);
  EXPECT_EQ(QDError(), paramErr);
  DisposeRgn(clip);
}

struct RectWalk {
  std::vector<Rect> rects;
  int inits = 0;
  int terminates = 0;
  size_t stopAfter = 1000;
};

OSStatus CollectRects(UInt16 message, RgnHandle, const Rect *rect, void *refCon) {
  auto *walk = static_cast<RectWalk *>(refCon);
  if (message == kQDRegionToRectsMsgInit) ++walk->inits;
  if (message == kQDRegionToRectsMsgTerminate) ++walk->terminates;
  if (message != kQDRegionToRectsMsgParse) return noErr;
  walk->rects.push_back(*rect);
  return walk->rects.size() >= walk->stopAfter ? userCanceledErr : noErr;
}

TEST(PlatformQuickDrawRegions, RegionToRectsWalksBandsInTheAskedOrder) {
  // An L: a wide bar on top of a narrow one, plus a separate square to the right of the narrow one.
  RgnHandle rgn = NewRgn();
  RgnHandle part = NewRgn();
  SetRectRgn(rgn, 0, 0, 30, 10);
  SetRectRgn(part, 0, 10, 10, 20);
  UnionRgn(rgn, part, rgn);
  SetRectRgn(part, 20, 10, 30, 20);
  UnionRgn(rgn, part, rgn);

  RectWalk walk;
  ASSERT_EQ(QDRegionToRects(rgn, kQDParseRegionFromTopLeft, CollectRects, &walk), noErr);
  EXPECT_EQ(walk.inits, 1);
  EXPECT_EQ(walk.terminates, 1);
  const Rect topLeft[] = {{0, 0, 10, 30}, {10, 0, 20, 10}, {10, 20, 20, 30}};
  ASSERT_EQ(walk.rects.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(SameRect(walk.rects[i], topLeft[i])) << i;

  RectWalk backwards;
  ASSERT_EQ(QDRegionToRects(rgn, kQDParseRegionFromBottomRight, CollectRects, &backwards), noErr);
  ASSERT_EQ(backwards.rects.size(), 3u);
  EXPECT_TRUE(SameRect(backwards.rects[0], topLeft[2]));
  EXPECT_TRUE(SameRect(backwards.rects[2], topLeft[0]));

  RectWalk stopped;
  stopped.stopAfter = 1;
  EXPECT_EQ(QDRegionToRects(rgn, kQDParseRegionFromTopLeft, CollectRects, &stopped), userCanceledErr);
  EXPECT_EQ(stopped.rects.size(), 1u);
  EXPECT_EQ(stopped.terminates, 1);
  EXPECT_EQ(QDRegionToRects(nullptr, kQDParseRegionFromTopLeft, CollectRects, &walk), paramErr);

  DisposeRgn(part);
  DisposeRgn(rgn);
}

}  // namespace
