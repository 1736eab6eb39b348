// Cross-luma removal's kernel: the block test (integer and float alike), the stretch search, the zone walk
// with its undoing of edges and its clipping to the line, and whole frames.
#include "methods/cross_luma.h"

#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr OSStatus kTooManyIntervals = 5022;

BZ_Cl_Sett DefaultSett() {
  BZ_Cl_Sett sett{};
  BZ_MakeDefaultClSett(&sett);
  return sett;
}

// A '2vuy' frame of width x height pixels with a guard row before and after it, so that a stray read or write
// past the frame stays inside the allocation and shows in the guards.
struct Frame {
  SInt32 width, height;
  std::vector<UInt8> bytes;  // guard row, frame, guard row
  Frame(SInt32 w, SInt32 h) : width(w), height(h), bytes(size_t(w) * 2 * size_t(h + 2), 0xA5) {
    for (SInt32 y = 0; y < h; ++y)
      for (SInt32 x = 0; x < w; ++x) {
        Luma(x, y) = 100;
        Chroma(x, y) = 128;
      }
  }
  UInt8 *Data() { return bytes.data() + size_t(width) * 2; }
  const UInt8 *Data() const { return bytes.data() + size_t(width) * 2; }
  UInt8 &Luma(SInt32 x, SInt32 y) { return Data()[(size_t(y) * size_t(width) + size_t(x)) * 2 + 1]; }
  UInt8 &Chroma(SInt32 x, SInt32 y) { return Data()[(size_t(y) * size_t(width) + size_t(x)) * 2]; }
  UInt8 LumaAt(SInt32 x, SInt32 y) const { return Data()[(size_t(y) * size_t(width) + size_t(x)) * 2 + 1]; }
  // Cb of pixel pair x (even) and Cr, the same on every line.
  void SetColour(SInt32 from, SInt32 to, UInt8 cb, UInt8 cr) {
    for (SInt32 y = 0; y < height; ++y)
      for (SInt32 x = from & ~1; x < to && x < width; x += 2) {
        Chroma(x, y) = cb;
        Chroma(x + 1, y) = cr;
      }
  }
  bool GuardsIntact() const {
    const size_t row = size_t(width) * 2;
    for (size_t i = 0; i < row; ++i)
      if (bytes[i] != 0xA5 || bytes[bytes.size() - 1 - i] != 0xA5) return false;
    return true;
  }
};

// A same-field checkerboard: lines two apart alternate, as do neighbouring pixels.
void Checkerboard(Frame &f, UInt8 low, UInt8 high) {
  for (SInt32 y = 0; y < f.height; ++y)
    for (SInt32 x = 0; x < f.width; ++x) f.Luma(x, y) = ((x + y / 2) % 2) == 0 ? low : high;
}

// Parameters with the areas of one worker for a frame.
struct Params {
  BZ_Cl_Sett sett;
  BZ_ClParams p{};
  Params(const Frame &f, const BZ_Cl_Sett &s) : sett(s) {
    p.width = p.inWidth = f.width;
    p.height = p.inHeight = f.height;
    p.sett = &sett;
    EXPECT_EQ(noErr, BZ_ClNewAreas(&p, 1));
  }
  ~Params() { BZ_ClDisposeAreas(&p); }
};

// ---- The block test ----

struct BlockCase {
  const char *name;
  UInt8 corners;  // corners and centre
  UInt8 edges;    // the four edge pixels
  bool changes;
  UInt8 centre;   // when it changes
  SInt32 sign;
};

// A 3x3 block in its own little frame (rows two lines apart): the test reads the input and writes the centre
// of the output.
TEST(ClBlockTest, CheckerboardsIntegerAndFloatAgree) {
  const BlockCase cases[] = {
      // D = 480, S = 0: the centre becomes the block's mean 980 / 9.
      {"amplitude 20, low centre", 100, 120, true, 108, +1},
      {"amplitude 20, high centre", 120, 100, true, 111, -1},
      // D = 240 lies below min54 = 270.
      {"amplitude 10", 100, 110, false, 0, 0},
      // D = 1440 lies above max54 = 1350: a real structure, not a pattern.
      {"amplitude 60", 100, 160, false, 0, 0},
      {"flat", 100, 100, false, 0, 0},
  };
  const BZ_Cl_Sett sett = DefaultSett();
  const SInt32 lineSize = 3 * 2;
  for (const BlockCase &c : cases) {
    SCOPED_TRACE(c.name);
    UInt8 in[5 * lineSize];
    std::memset(in, 128, sizeof in);
    for (int r = 0; r < 3; ++r)
      for (int col = 0; col < 3; ++col) in[2 * r * lineSize + 2 * col + 1] = ((r + col) % 2 == 0) ? c.corners : c.edges;
    UInt8 outInt[sizeof in], outNew[sizeof in], outFloat[sizeof in];
    std::memcpy(outInt, in, sizeof in);
    std::memcpy(outNew, in, sizeof in);
    std::memcpy(outFloat, in, sizeof in);
    const size_t centre = 2 * lineSize + 3;
    EXPECT_EQ(c.changes, bool(BZ_Cl_Filter3x3BlockOpt(sett.minStddev * 54, sett.maxStddev * 54,
                                                      SInt32(sett.percentage * 24576), in + 1, outInt + centre, lineSize)));
    EXPECT_EQ(c.sign, BZ_Cl_Filter3x3BlockNew(sett.minStddev * 54, sett.maxStddev * 54, SInt32(sett.percentage * 24576),
                                              in + 1, outNew + centre, lineSize));
    EXPECT_EQ(c.changes, bool(BZ_Cl_Filter3x3Block(float(sett.minStddev), float(sett.maxStddev), float(sett.percentage),
                                                   in + 1, outFloat + centre, lineSize)));
    const UInt8 expected = c.changes ? c.centre : c.corners;
    EXPECT_EQ(expected, outInt[centre]);
    EXPECT_EQ(expected, outNew[centre]);
    EXPECT_EQ(expected, outFloat[centre]);
    // Only the centre's luma may change.
    outInt[centre] = outNew[centre] = outFloat[centre] = in[centre];
    EXPECT_EQ(0, std::memcmp(in, outInt, sizeof in));
    EXPECT_EQ(0, std::memcmp(in, outNew, sizeof in));
    EXPECT_EQ(0, std::memcmp(in, outFloat, sizeof in));
  }
}

// ---- The stretch search ----

TEST(ClIntervals, TwoColourBandsGiveOneStretchAndTheOpenOneIsNotRecorded) {
  Frame f(64, 1);
  f.SetColour(0, 32, 90, 160);
  f.SetColour(32, 64, 160, 90);
  Params prm(f, DefaultSett());
  BZ_Cl_ConstChromaInterval list[6] = {};
  SInt32 count = -1;
  ASSERT_EQ(noErr, BZ_Cl_MakeConstChromaIntervalListOpt(f.Data(), &prm.p, list, &count));
  ASSERT_EQ(1, count);
  EXPECT_EQ(0, list[0].start);
  EXPECT_EQ(32, list[0].end) << "the stretch ends where the window first takes in the new colour";

  BZ_Cl_ConstChromaInterval floatList[6] = {};
  ASSERT_EQ(noErr, BZ_Cl_MakeConstChromaIntervalList(f.width, f.Data(), &prm.p, floatList, &count));
  ASSERT_EQ(1, count);
  EXPECT_EQ(0, floatList[0].start);
  EXPECT_EQ(32, floatList[0].end);
  EXPECT_FLOAT_EQ(90.0f, floatList[0].avCb);
  EXPECT_FLOAT_EQ(160.0f, floatList[0].avCr);
  EXPECT_FLOAT_EQ(90.0f, floatList[0].avCbStart);
  EXPECT_FLOAT_EQ(0.0f, floatList[0].cbStdDev + floatList[0].crStdDev);
}

TEST(ClIntervals, FlatLineHasNoStretchBoundary) {
  Frame f(64, 1);
  Params prm(f, DefaultSett());
  BZ_Cl_ConstChromaInterval list[6] = {};
  SInt32 count = -1;
  ASSERT_EQ(noErr, BZ_Cl_MakeConstChromaIntervalListOpt(f.Data(), &prm.p, list, &count));
  EXPECT_EQ(0, count);
}

// Narrow colour bands: a line with width / 10 stretches or more fails; the same bands on a line wide
// enough to leave room succeed.
TEST(ClIntervals, TooManyStretchesOnALine) {
  BZ_Cl_Sett sett = DefaultSett();
  sett.constChromaTestLen = 4;
  sett.minConstChromaLen = 6;
  for (SInt32 bandWidth : {8, 40}) {
    SCOPED_TRACE(bandWidth);
    Frame f(160, 1);
    for (SInt32 x = 0; x < f.width; x += bandWidth)
      f.SetColour(x, x + bandWidth, (x / bandWidth) % 2 ? 60 : 180, (x / bandWidth) % 2 ? 180 : 60);
    Params prm(f, sett);
    std::vector<BZ_Cl_ConstChromaInterval> list(size_t(BZ_ClMaxIntervals(f.width)));
    SInt32 count = -1;
    const OSStatus err = BZ_Cl_MakeConstChromaIntervalListOpt(f.Data(), &prm.p, list.data(), &count);
    if (bandWidth == 8) {
      EXPECT_EQ(kTooManyIntervals, err);
      EXPECT_EQ(BZ_ClMaxIntervals(f.width), count);
    } else {
      EXPECT_EQ(noErr, err);
      EXPECT_EQ(3, count);
    }
  }
}

// ---- The zone walk ----

// Hand-made stretch lists: stretches [0, 2] and [12, 14] on every line, so the zone of extent 0 covers the
// centres 4 to 10. The luma rows (lines 0, 2, 4) hold a pattern whose three centres 4, 5 and 6 are all raised.
TEST(ClZoneWalk, ThreeCentresMovedTheSameWayKeepTheirInput) {
  Frame in(20, 5);  // room for two stretches a line
  const UInt8 rows[3][5] = {{100, 100, 100, 120, 100}, {120, 100, 100, 100, 100}, {100, 120, 120, 100, 120}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 5; ++c) in.Luma(3 + c, 2 * r) = rows[r][c];
  BZ_Cl_Sett sett = DefaultSett();
  sett.extent = 0;
  Params prm(in, sett);
  std::vector<BZ_Cl_ConstChromaInterval> intervals(size_t(5 * BZ_ClMaxIntervals(20)));
  std::vector<SInt32> counts(5, 2);
  for (SInt32 y = 0; y < 5; ++y) {
    intervals[size_t(y * BZ_ClMaxIntervals(20))].start = 0;
    intervals[size_t(y * BZ_ClMaxIntervals(20))].end = 2;
    intervals[size_t(y * BZ_ClMaxIntervals(20) + 1)].start = 12;
    intervals[size_t(y * BZ_ClMaxIntervals(20) + 1)].end = 14;
  }
  Frame kept = in, undone = in;
  BZ_Cl_Filter3x3BlocksOpt(&prm.p, 0, in.Data(), kept.Data(), intervals.data(), counts.data());
  BZ_Cl_Filter3x3BlocksOptNew(&prm.p, 0, in.Data(), undone.Data(), intervals.data(), counts.data());
  for (SInt32 x = 4; x <= 6; ++x) {
    SCOPED_TRACE(x);
    EXPECT_GT(kept.LumaAt(x, 2), in.LumaAt(x, 2)) << "without the undoing the centre rises";
    EXPECT_EQ(in.LumaAt(x, 2), undone.LumaAt(x, 2)) << "three neighbours rose: an edge";
  }
}

// With a wide extent the zones reach past both ends of the line: no block may read or write outside it, so
// the first and last pixel of every line and the guard rows never change.
TEST(ClZoneWalk, ZonesAtTheLineEndsStayInsideTheLine) {
  Frame in(32, 12);
  Checkerboard(in, 100, 120);
  BZ_Cl_Sett sett = DefaultSett();
  sett.extent = 60;
  Params prm(in, sett);
  const SInt32 m = BZ_ClMaxIntervals(in.width);
  std::vector<BZ_Cl_ConstChromaInterval> intervals(size_t(in.height * m));
  std::vector<SInt32> counts(size_t(in.height), 2);
  for (SInt32 y = 0; y < in.height; ++y) {
    intervals[size_t(y * m)] = {nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, 10};
    intervals[size_t(y * m + 1)] = {nullptr, nullptr, 0, 0, 0, 0, 0, 0, 20, 30};
  }
  Frame out = in;
  BZ_Cl_Filter3x3BlocksOptNew(&prm.p, 0, in.Data(), out.Data(), intervals.data(), counts.data());
  EXPECT_TRUE(out.GuardsIntact());
  SInt32 changed = 0;
  for (SInt32 y = 0; y < in.height; ++y) {
    EXPECT_EQ(in.LumaAt(0, y), out.LumaAt(0, y)) << "line " << y;
    EXPECT_EQ(in.LumaAt(in.width - 1, y), out.LumaAt(in.width - 1, y)) << "line " << y;
    for (SInt32 x = 0; x < in.width; ++x) changed += in.LumaAt(x, y) != out.LumaAt(x, y);
  }
  EXPECT_GT(changed, 0) << "the zone spans the whole line inside";
}

// ---- Whole frames ----

TEST(ClFrame, FlatGreyFrameIsUnchanged) {
  Frame in(96, 24), out(96, 24);
  Params prm(in, DefaultSett());
  ASSERT_EQ(noErr, BZ_CrossLuma(&prm.p, 0, in.Data(), out.Data()));
  EXPECT_TRUE(in.bytes == out.bytes);
}

// A colour band between two edges with a checkerboard of amplitude 20 all over: luma changes only near the
// first edge of each line (the zone between the two recorded stretches), never near the second edge (its
// stretch stays open to the line's end) nor far from the edges; chroma never changes.
TEST(ClFrame, CheckerboardChangesOnlyInTheColourEdgeZone) {
  Frame in(96, 24);
  Checkerboard(in, 100, 120);
  in.SetColour(0, 32, 90, 160);
  in.SetColour(32, 64, 160, 90);
  in.SetColour(64, 96, 90, 160);
  const BZ_Cl_Sett sett = DefaultSett();
  Params prm(in, sett);
  Frame out(96, 24);
  ASSERT_EQ(noErr, BZ_CrossLuma(&prm.p, 0, in.Data(), out.Data()));
  EXPECT_TRUE(out.GuardsIntact());
  SInt32 changed = 0;
  for (SInt32 y = 0; y < in.height; ++y)
    for (SInt32 x = 0; x < in.width; ++x) {
      EXPECT_EQ(in.Data()[(size_t(y) * 96 + size_t(x)) * 2], out.Data()[(size_t(y) * 96 + size_t(x)) * 2]);
      if (in.LumaAt(x, y) == out.LumaAt(x, y)) continue;
      ++changed;
      // The stretches end at most a test window past the edge; the zone reaches extent further.
      EXPECT_LE(std::abs(x - 32), sett.extent + sett.constChromaTestLen) << "x " << x << " line " << y;
    }
  EXPECT_GT(changed, 0);
}

TEST(ClFrame, TooManyStretchesLeavesTheUnfilteredCopy) {
  BZ_Cl_Sett sett = DefaultSett();
  sett.constChromaTestLen = 4;
  sett.minConstChromaLen = 6;
  Frame in(160, 12);
  Checkerboard(in, 100, 120);
  for (SInt32 x = 0; x < in.width; x += 8) in.SetColour(x, x + 8, (x / 8) % 2 ? 60 : 180, (x / 8) % 2 ? 180 : 60);
  Params prm(in, sett);
  Frame out(160, 12);
  EXPECT_EQ(kTooManyIntervals, BZ_CrossLuma(&prm.p, 0, in.Data(), out.Data()));
  EXPECT_TRUE(in.bytes == out.bytes);
}

// The areas are made for the workers there are: a worker number beyond them is refused, not indexed.
TEST(ClFrame, WorkerAreasFollowTheWorkerCount) {
  Frame in(96, 24), out(96, 24);
  BZ_Cl_Sett sett = DefaultSett();
  BZ_ClParams p{};
  p.width = p.inWidth = 96;
  p.height = p.inHeight = 24;
  p.sett = &sett;
  ASSERT_EQ(noErr, BZ_ClNewAreas(&p, 3));
  EXPECT_EQ(3, p.numSubTasks);
  for (SInt32 w = 0; w < 3; ++w) EXPECT_EQ(noErr, BZ_CrossLuma(&p, w, in.Data(), out.Data()));
  EXPECT_EQ(paramErr, BZ_CrossLuma(&p, 3, in.Data(), out.Data()));
  EXPECT_EQ(paramErr, BZ_CrossLuma(&p, 8, in.Data(), out.Data()));
  BZ_ClDisposeAreas(&p);
  EXPECT_EQ(paramErr, BZ_CrossLuma(&p, 0, in.Data(), out.Data()));
  EXPECT_EQ(paramErr, BZ_ClNewAreas(&p, 0));
}

// ---- The live path against a plain reading of its rules ----

// The stretches of one line as the rules read: running sums over the last h pairs, the deviation of the
// window recomputed at every pair.
OSStatus ReferenceStretches(const UInt8 *line, SInt32 width, const BZ_Cl_Sett &sett, std::vector<SInt32> *starts,
                            std::vector<SInt32> *ends) {
  const SInt32 testLen = sett.constChromaTestLen, h = testLen / 2;
  SInt32 sumCb = 0, sumCr = 0, start = 0;
  for (SInt32 x = 0; x < width; x += 2) {
    sumCb += line[2 * x];
    sumCr += line[2 * x + 2];
    if (x >= testLen) {
      sumCb -= line[2 * (x - testLen)];
      sumCr -= line[2 * (x - testLen) + 2];
    }
    if (x < start + testLen) continue;
    SInt32 dev = 0;
    for (SInt32 q = x - testLen + 2; q <= x; q += 2)
      dev += std::abs(line[2 * q] * h - sumCb) + std::abs(line[2 * q + 2] * h - sumCr);
    if (dev <= sett.maxChromaStddev * h * h) continue;
    if (x < start + sett.minConstChromaLen) {
      start += 2;
      continue;
    }
    starts->push_back(start);
    ends->push_back(x);
    start = x;
    if (SInt32(starts->size()) >= BZ_ClMaxIntervals(width)) return kTooManyIntervals;
  }
  return noErr;
}

// The whole filter as the rules read: every line's stretches, then line by line the zone walk with the
// integer block test and, after it, the undoing pass over the whole line.
OSStatus ReferenceCrossLuma(const Frame &in, const BZ_Cl_Sett &sett, Frame *out) {
  const SInt32 width = in.width, height = in.height, e = sett.extent;
  out->bytes = in.bytes;
  std::vector<std::vector<SInt32>> starts(static_cast<size_t>(height)), ends(static_cast<size_t>(height));
  for (SInt32 y = 0; y < height; ++y)
    if (OSStatus err = ReferenceStretches(in.Data() + size_t(y) * size_t(width) * 2, width, sett, &starts[size_t(y)],
                                          &ends[size_t(y)]);
        err != noErr)
      return err;
  const SInt32 min54 = sett.minStddev * 54, max54 = sett.maxStddev * 54;
  const SInt32 pct = SInt32(std::lround(sett.percentage * 24576.0));
  const SInt32 lineSize = width * 2;
  for (SInt32 y = 0; y + 4 < height; ++y) {
    std::vector<SInt32> signs(size_t(width), 0);
    const auto &s0 = starts[size_t(y)], &e0 = ends[size_t(y)];
    // The gap (j, j + 1) of a list that covers x; the walk only moves forward along each list.
    auto inGap = [&](SInt32 line, size_t *j, SInt32 x) {
      const auto &s = starts[size_t(line)], &en = ends[size_t(line)];
      while (*j + 1 < s.size() && s[*j + 1] + e < x + 3) ++*j;
      return *j + 1 < s.size() && en[*j] - e < x;
    };
    size_t j = 0, k = 0;
    SInt32 lastPos = 0;
    for (size_t i = 0; i + 1 < s0.size(); ++i)
      for (SInt32 x = std::max(e0[i] - e, 0); x < std::min(s0[i + 1] + e, width) - 2; ++x) {
        if (!inGap(y + 2, &j, x) || !inGap(y + 4, &k, x) || x + 1 <= lastPos) continue;
        lastPos = x + 1;
        signs[size_t(x + 1)] += BZ_Cl_Filter3x3BlockNew(min54, max54, pct, in.Data() + size_t(y) * size_t(lineSize) + 2 * size_t(x) + 1,
                                                        &out->Luma(x + 1, y + 2), lineSize);
      }
    for (SInt32 x = 1; x + 1 < width; ++x) {
      const SInt32 l = signs[size_t(x - 1)], c = signs[size_t(x)], r = signs[size_t(x + 1)];
      if ((l > 0 && c > 0 && r > 0) || (l < 0 && c < 0 && r < 0))
        for (SInt32 q = x - 1; q <= x + 1; ++q) out->Luma(q, y + 2) = in.LumaAt(q, y + 2);
    }
  }
  return noErr;
}

// Colour bands of random widths, their chroma a little noisy, luma with a same-field checkerboard of random
// amplitude near the edges and a gentle ramp: stretches, zones, patterns and real edges of every kind.
Frame RandomBandFrame(SInt32 width, SInt32 height, UInt32 seed) {
  std::mt19937 rng(seed);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Frame f(width, height);
  for (SInt32 from = 0; from < width;) {
    const SInt32 to = std::min(width, from + uniform(4, 60));
    const int cb = uniform(40, 220), cr = uniform(40, 220), luma = uniform(30, 200), amplitude = uniform(0, 30);
    for (SInt32 y = 0; y < height; ++y)
      for (SInt32 x = from; x < to; ++x) {
        const bool nearEdge = x - from < 8 || to - x <= 8;
        const int pattern = nearEdge && ((x + y / 2) % 2) ? amplitude : 0;
        f.Luma(x, y) = UInt8(std::clamp(luma + y / 4 + pattern + uniform(-2, 2), 0, 255));
        f.Chroma(x, y) = UInt8(std::clamp((x % 2 == 0 ? cb : cr) + uniform(-3, 3), 0, 255));
      }
    from = to;
  }
  return f;
}

// The live path keeps sums and deviations from block to block, decides the undoing as it goes and fixes the
// window's length per setting: on frames of every kind and over the settings' ranges it must give exactly
// what the plain reading gives, the refusal with 5022 included.
TEST(ClFrame, LivePathEqualsThePlainReadingOfTheRules) {
  struct SettCase {
    SInt32 testLen, minLen, maxChroma, extent, minStd, maxStd;
    double percentage;
  };
  const SettCase setts[] = {
      {6, 8, 10, 8, 5, 25, 0.5},     // the defaults
      {4, 6, 10, 0, 5, 25, 0.5},     {8, 10, 4, 3, 2, 40, 0.8},    {10, 12, 20, 20, 0, 100, 1.0},
      {12, 14, 6, 8, 5, 25, 0.3},    {20, 22, 40, 60, 10, 12, 0.5}, {6, 20, 0, 30, 0, 5, 0.0},
  };
  const SInt32 sizes[][2] = {{96, 24}, {737, 20}, {1936, 9}};
  SInt32 compared = 0, refused = 0;
  for (const SettCase &c : setts)
    for (const auto &size : sizes)
      for (UInt32 seed = 1; seed <= 3; ++seed) {
        BZ_Cl_Sett sett = DefaultSett();
        sett.constChromaTestLen = c.testLen;
        sett.minConstChromaLen = c.minLen;
        sett.maxChromaStddev = c.maxChroma;
        sett.extent = c.extent;
        sett.minStddev = c.minStd;
        sett.maxStddev = c.maxStd;
        sett.percentage = c.percentage;
        SCOPED_TRACE(testing::Message() << "test length " << c.testLen << ", extent " << c.extent << ", "
                                        << size[0] << " x " << size[1] << ", seed " << seed);
        const Frame in = RandomBandFrame(size[0], size[1], seed * 7919 + UInt32(c.testLen));
        Frame expected(size[0], size[1]), out(size[0], size[1]);
        const OSStatus want = ReferenceCrossLuma(in, sett, &expected);
        Params prm(in, sett);
        ASSERT_EQ(want, BZ_CrossLuma(&prm.p, 0, in.Data(), out.Data()));
        ASSERT_TRUE(expected.bytes == out.bytes);
        ++compared;
        refused += want != noErr;
        // A second frame through the same areas: nothing of the first may linger.
        const Frame flat(size[0], size[1]);
        Frame flatOut(size[0], size[1]);
        ASSERT_EQ(noErr, BZ_CrossLuma(&prm.p, 0, flat.Data(), flatOut.Data()));
        ASSERT_TRUE(flat.bytes == flatOut.bytes);
      }
  EXPECT_LT(refused, compared / 2) << "most frames are filtered, not refused";
}

}  // namespace
