// The automatic speck detector: the outlier flags against the range of the neighbouring frames, which
// pixels grow into one speck, the retries at larger distances (with the too-many-outliers event only while
// not executing), the edge judgement around 90 %, and whole windows: a dust spot found and marked, frames
// without usable neighbours left alone, the settings untouched.
#include "outliers/speck_detector.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "engine/tasks/pipeline_types.h"
#include "outliers/motion_vectors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

namespace {

// The events the detector posts, counted by kind.
std::vector<UInt32> gPosted;

class OutliersDetector : public ::testing::Test {
 protected:
  void SetUp() override { Make(32, 24, 1); }
  void TearDown() override { BZ_SetEngineHost(nullptr); }

  // A window of 4k + 1 frames of inWidth x inHeight, every luma 100, chroma 128.
  void Make(SInt32 inWidth, SInt32 inHeight, SInt32 k) {
    BZ_MakeDefaultOuSett(&sett_);
    sett_.numConstPix = k;
    params_ = BZ_OuParams{};
    params_.sett = &sett_;
    params_.numInBuffers = 4 * k + 1;
    params_.inWidth = inWidth;
    params_.inHeight = inHeight;
    SInt64 size = 0;
    ASSERT_EQ(BZ_GetBufferSize(inHeight, inWidth, false, &params_.height, &params_.width, &size), noErr);
    frames_.assign(size_t(4 * k + 1), std::vector<UInt8>(size_t(size), 0));
    for (auto &f : frames_)
      for (size_t b = 0; b < f.size(); b += 2) f[b] = 128, f[b + 1] = 100;
    for (SInt32 i = 0; i < kBZ_OuNumWindowSlots; ++i) window_[i] = i < 4 * k + 1 ? frames_[size_t(i)].data() : nullptr;
    const size_t plane = size_t(params_.width) * size_t(params_.height);
    data_.assign(plane, 0);
    pixelList_.assign(plane, 0);
    for (SInt32 &v : av_) v = 0;
    gPosted.clear();
    BZ_EngineHost host{};
    host.postCustomEvent = [](void *, UInt32 kind, const BZ_EventParam *, ItemCount) {
      gPosted.push_back(kind);
      return OSStatus(noErr);
    };
    BZ_SetEngineHost(&host);
  }
  SInt32 K() const { return sett_.numConstPix; }
  std::vector<UInt8> &Centre() { return frames_[size_t(2 * K())]; }
  SInt32 Index(SInt32 x, SInt32 y) const { return (y + 8) * params_.width + x + 8; }
  UInt8 &Luma(std::vector<UInt8> &f, SInt32 x, SInt32 y) { return f[2 * size_t(Index(x, y)) + 1]; }
  UInt16 &Flag(SInt32 x, SInt32 y) { return data_[size_t(Index(x, y))]; }
  void SetAll(std::vector<UInt8> &f, UInt8 y) {
    for (SInt32 r = 0; r < params_.inHeight; ++r)
      for (SInt32 c = 0; c < params_.inWidth; ++c) Luma(f, c, r) = y;
  }
  // A fine texture that every frame shares: the picture a dust spot sits on.
  void Texture() {
    for (auto &f : frames_)
      for (SInt32 r = 0; r < params_.inHeight; ++r)
        for (SInt32 c = 0; c < params_.inWidth; ++c) Luma(f, c, r) = UInt8(100 + (r * 7 + c * 3) % 9);
  }
  void Disc(std::vector<UInt8> &f, SInt32 cx, SInt32 cy, double radius, int delta) {
    for (SInt32 r = 0; r < params_.inHeight; ++r)
      for (SInt32 c = 0; c < params_.inWidth; ++c)
        if (std::hypot(c - cx, r - cy) <= radius) Luma(f, c, r) = UInt8(Luma(f, c, r) + delta);
  }
  OSStatus Outliers(SInt32 *numFirst) {
    SInt32 min = 0, max = 0;
    BZ_OuGetInBufferIndexBounds(sett_.maxAvPixelDiff, window_, params_.numInBuffers, av_, &min, &max);
    return BZ_OuFindOutliers(&params_, window_, min, max, data_.data(), nullptr, numFirst);
  }
  OSStatus Detect(BZ_OuSpeckLE **specks) {
    return BZ_OuCalcSpeckList(&params_, window_, av_, nullptr, data_.data(), pixelList_.data(), specks);
  }
  // The detector's trace while it runs, and the distances its outlier passes used.
  std::vector<long> DetectTraced(BZ_OuSpeckLE **specks, std::vector<long> *speckCounts) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Detect(specks), noErr);
    const std::string out = testing::internal::GetCapturedStdout();
    std::vector<long> distances;
    const std::regex pass("minDiff = (\\d+),"), count("Speck count = (\\d+)");
    for (std::sregex_iterator i(out.begin(), out.end(), pass), e; i != e; ++i) distances.push_back(std::stol((*i)[1]));
    for (std::sregex_iterator i(out.begin(), out.end(), count), e; i != e; ++i)
      speckCounts->push_back(std::stol((*i)[1]));
    return distances;
  }

  BZ_OuSett sett_{};
  BZ_OuParams params_{};
  std::vector<std::vector<UInt8>> frames_;
  UInt8 *window_[kBZ_OuNumWindowSlots] = {};
  SInt32 av_[kBZ_OuNumWindowSlots] = {};
  std::vector<UInt16> data_;
  std::vector<SInt32> pixelList_;
};

TEST_F(OutliersDetector, FlagsAgainstTheNeighboursRange) {
  // Neighbours 100 (slot k) and 120 (slot 3k), so the range is [100, 120]; d = 30, t = 20. In the narrow
  // window [100, 110] the quiet test applies too (t = 20 > 10).
  struct Case {
    int low, high, centre;
    UInt16 flag;
    const char *what;
  } cases[] = {
      {100, 120, 150, 2074, "exactly d above the largest: first degree, brighter"},
      {100, 120, 70, 26, "exactly d below the smallest: first degree"},
      {100, 120, 120, 0, "at the range's top edge"},
      {100, 120, 100, 0, "at the range's bottom edge"},
      {100, 120, 149, 2080 + 10, "29 above: weight (290 + 15) / 30 = 10"},
      {100, 120, 121, 2080 + 0, "1 above: weight (10 + 15) / 30 = 0"},
      {100, 120, 125, 2080 + 2, "5 above: weight (50 + 15) / 30 = 2"},
      {100, 120, 99, 32 + 0, "1 below"},
      {100, 120, 86, 32 + 5, "14 below: weight (140 + 15) / 30 = 5"},
      {100, 110, 105, 0x1000, "inside a narrow range: quiet"},
      {100, 110, 119, 2080 + 3 + 0x1000, "9 above a narrow range, within smallest + t: quiet"},
      {100, 110, 121, 2080 + 4, "11 above, past smallest + t = 120: not quiet"},
      {100, 110, 90, 32 + 3 + 0x1000, "10 below, at largest - t = 90: quiet"},
      {100, 110, 89, 32 + 4, "11 below, past largest - t"},
      {100, 125, 112, 0, "range 25 is not below t: never quiet"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SetAll(frames_[size_t(K())], UInt8(c.low));
    SetAll(frames_[size_t(3 * K())], UInt8(c.high));
    SetAll(Centre(), UInt8((c.low + c.high) / 2));
    Luma(Centre(), 5, 4) = UInt8(c.centre);
    SInt32 numFirst = -1;
    ASSERT_EQ(Outliers(&numFirst), noErr);
    EXPECT_EQ(Flag(5, 4), c.flag);
    EXPECT_EQ(numFirst, (c.flag & 0x10) ? 1 : 0);
  }
  // The padding around the picture is not visited.
  EXPECT_EQ(data_[0], 0);
}

TEST(OutliersDetectorRows, TheSseRowGivesTheScalarFlagsBitForBit) {
  // Random rows (narrow ranges, so that every kind of flag occurs) over distances from 0 to past 255, with
  // 0 to 4 neighbours and row lengths that leave tails of every size.
  std::mt19937 random(11);
  for (SInt32 d : {0, 1, 2, 7, 16, 17, 30, 35, 64, 100, 255, 260}) {
    for (SInt32 numNeighbours = 0; numNeighbours <= 4; ++numNeighbours) {
      for (SInt32 cols : {1, 15, 16, 17, 53}) {
        SCOPED_TRACE("d " + std::to_string(d) + ", neighbours " + std::to_string(numNeighbours) + ", cols " +
                     std::to_string(cols));
        const int base = int(random() % 256), spread = 1 + int(random() % 120);
        std::vector<std::vector<UInt8>> rows(size_t(numNeighbours + 1), std::vector<UInt8>(size_t(2 * cols)));
        for (auto &row : rows)
          for (size_t b = 0; b < row.size(); ++b)
            row[b] = UInt8(std::clamp(base + int(random() % unsigned(2 * spread + 1)) - spread, 0, 255));
        const UInt8 *neighbours[4] = {};
        for (SInt32 i = 0; i < numNeighbours; ++i) neighbours[i] = rows[size_t(i + 1)].data();
        std::vector<UInt16> scalar(static_cast<size_t>(cols)), sse(static_cast<size_t>(cols));
        const UInt8 *centre = rows[0].data();
        const SInt32 n1 = BZ_OuFlagOutlierRow(neighbours, numNeighbours, centre, cols, d, 0x4000, scalar.data());
        const SInt32 n2 = BZ_OuFlagOutlierRowAcc(neighbours, numNeighbours, centre, cols, d, 0x4000, sse.data());
        EXPECT_EQ(scalar, sse);
        EXPECT_EQ(n1, n2);
        EXPECT_EQ(BZ_OuFlagOutlierRowUni(false, neighbours, numNeighbours, centre, cols, d, 0x4000, sse.data()), n1);
      }
    }
  }
  // A distance of 0: a centre at the top of a flat range counts as brighter, one below it as darker.
  const UInt8 neighbour[4] = {128, 100, 128, 120}, centre[4] = {128, 120, 128, 100};
  const UInt8 *rows[1] = {neighbour};
  for (const bool sse : {false, true}) {
    UInt16 flags[2] = {};
    EXPECT_EQ(BZ_OuFlagOutlierRowUni(sse, rows, 1, centre, 2, 0, 0, flags), 2);
    EXPECT_EQ(flags[0], 2074 | 0x1000);
    EXPECT_EQ(flags[1], 26 | 0x1000);
  }
}

TEST_F(OutliersDetector, TheQuietDistanceGrowsWithLargeOutlierDistances) {
  // d = 60 gives t = 30: a range of 25 is quiet now, and a pixel 29 above it is quiet too.
  sett_.minDiff = 60;
  SetAll(frames_[size_t(K())], 100);
  SetAll(frames_[size_t(3 * K())], 125);
  Luma(Centre(), 1, 1) = 112;
  Luma(Centre(), 2, 1) = 129;  // 4 above 125: weight (40 + 30) / 60 = 1; within smallest + t = 130
  SInt32 numFirst = 0;
  ASSERT_EQ(Outliers(&numFirst), noErr);
  EXPECT_EQ(Flag(1, 1), 0x1000);
  EXPECT_EQ(Flag(2, 1), 2080 + 1 + 0x1000);
}

TEST_F(OutliersDetector, SlotsMissingAroundTheCentreCutTheWindow) {
  // k = 2: slots 2 to 6 are compared. An empty slot 6 (the movie's end) or a scene change between slots 1 and
  // 2 (outside the compared slots) decide whether the window is cut.
  Make(16, 8, 2);
  struct Case {
    const char *what;
    SInt32 emptySlot;  // -1: none
    SInt32 sceneChangeAfter;
    bool cut;
  } cases[] = {
      {"full window", -1, -1, false},
      {"slot 4k empty (outside the compared slots)", 8, -1, false},
      {"slot 3k empty", 6, -1, true},
      {"a scene change before slot k", -1, 1, false},
      {"a scene change between slots k and k + 1", -1, 2, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    for (SInt32 i = 0; i < 9; ++i) window_[i] = frames_[size_t(i)].data();
    for (SInt32 &v : av_) v = 0;
    if (c.emptySlot >= 0) window_[c.emptySlot] = nullptr;
    if (c.sceneChangeAfter >= 0) av_[c.sceneChangeAfter] = 200;
    SInt32 numFirst = 0;
    ASSERT_EQ(Outliers(&numFirst), noErr);
    EXPECT_EQ(Flag(3, 3) & kBZ_OuWindowCut, c.cut ? kBZ_OuWindowCut : 0);
  }
}

TEST_F(OutliersDetector, MoreThanATenthOfTheBufferIsTooMany) {
  // The share counts against the whole padded buffer, as the detector's retry test does.
  const SInt32 buffer = params_.width * params_.height;
  const SInt32 picture = params_.inWidth * params_.inHeight;
  const SInt32 limit = buffer / 10;  // not more than 0.1 x buffer
  ASSERT_LT(limit + 1, picture);
  for (SInt32 n : {limit, limit + 1}) {
    SetAll(Centre(), 100);
    for (SInt32 i = 0; i < n; ++i) Luma(Centre(), i % params_.inWidth, i / params_.inWidth) = 200;
    SInt32 numFirst = 0;
    EXPECT_EQ(Outliers(&numFirst), double(n) > 0.1 * buffer ? 5024 : noErr) << n;
    EXPECT_EQ(numFirst, n);
  }
}

TEST_F(OutliersDetector, SecondDegreeCountsOnlyNextToFirstDegree) {
  // A row: first degree, two second degree, a gap, a lone second degree.
  SetAll(Centre(), 100);
  Luma(Centre(), 4, 4) = 140;
  Luma(Centre(), 5, 4) = 120;
  Luma(Centre(), 6, 4) = 120;
  Luma(Centre(), 10, 4) = 120;
  SInt32 numFirst = 0;
  ASSERT_EQ(Outliers(&numFirst), noErr);
  EXPECT_EQ(numFirst, 1);
  EXPECT_EQ(BZ_OuCountSecDegreeOutliers(&params_, data_.data()), 1);
}

// Flag planes drawn with characters: B bright first degree, b bright second degree, D dark first degree,
// d dark second degree, C a bright first-degree pixel of a cut window, '.' nothing.
TEST_F(OutliersDetector, SpecksGrowOverTheirOwnBrightness) {
  struct Case {
    const char *what;
    std::vector<std::string> art;
    std::vector<SInt32> sizes;  // per speck in scan order
    std::vector<bool> sandwiched;
  } cases[] = {
      {"second degree next to first joins", {"Bb"}, {2}, {false}},
      {"second degree only through second degree does not", {"Bbb"}, {2}, {false}},
      {"diagonal neighbours join", {"B.", ".B"}, {2}, {false}},
      {"other brightness starts another speck", {"BD"}, {1, 1}, {false, false}},
      {"second degree of the other brightness is left out", {"Bd", "Dd"}, {1, 3}, {false, false}},
      {"a pixel of a cut window marks the speck", {"BBC"}, {3}, {true}},
      {"separate specks in scan order", {"D..B", "....", "B..."}, {1, 1, 1}, {false, false, false}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::fill(data_.begin(), data_.end(), 0);
    for (size_t r = 0; r < c.art.size(); ++r)
      for (size_t x = 0; x < c.art[r].size(); ++x) {
        UInt16 f = 0;
        switch (c.art[r][x]) {
          case 'B': f = 2074; break;
          case 'b': f = 2085; break;
          case 'D': f = 26; break;
          case 'd': f = 37; break;
          case 'C': f = 2074 | kBZ_OuWindowCut; break;
        }
        Flag(SInt32(x) + 2, SInt32(r) + 2) = f;
      }
    BZ_OuSpeckLE *specks = nullptr;
    ASSERT_EQ(BZ_OuFindSpecks(&params_, data_.data(), pixelList_.data(), &specks), noErr);
    size_t i = 0;
    for (const BZ_OuSpeckLE *s = specks; s != nullptr; s = s->next, ++i) {
      ASSERT_LT(i, c.sizes.size());
      EXPECT_EQ(s->speck.number, kBZ_OuFirstAutoSpeckNum + SInt32(i));
      EXPECT_EQ(s->speck.rgn.numPixels, c.sizes[i]);
      EXPECT_EQ(s->speck.partiallySandwiched != 0, c.sandwiched[i]);
      EXPECT_EQ(s->speck.rgn.pixelsSize, 9 * s->speck.rgn.numPixels);
    }
    EXPECT_EQ(i, c.sizes.size());
    BZ_OuDisposeSpeckList(&specks);
  }
}

// One bright pixel of luma 200 in a picture of 250 (out of band, not quiet) whose neighbouring frames show
// at most 100 there, so the band is Y <= min(100, 200 - 30): its second and third rings hold 16 + 24 = 40
// pixels, and 36 of them (90 %) decide.
TEST_F(OutliersDetector, TheEdgeDecidesAtNinetyPercent) {
  struct Case {
    const char *what;
    int inBand, quiet, halfway;  // ring pixels at 100, quiet ones at 250, ones at 150 (half the way)
    bool removed;
  } cases[] = {
      {"36 of 40 in band", 36, 0, 0, true},
      {"35 of 40 in band", 35, 0, 0, false},
      {"34 in band and 2 quiet", 34, 2, 0, true},
      {"34 in band and 1 quiet", 34, 1, 0, false},
      {"34 in band and 4 halfway on the second ring", 34, 0, 4, true},
      {"34 in band and 3 halfway", 34, 0, 3, false},
  };
  const SInt32 cx = 10, cy = 10;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SetAll(Centre(), 250);
    std::fill(data_.begin(), data_.end(), 0);
    Luma(Centre(), cx, cy) = 200;
    Flag(cx, cy) = 2074;
    // Second ring first (distance 2), then the third, each row by row.
    std::vector<std::pair<SInt32, SInt32>> outer;
    for (int dist : {2, 3})
      for (SInt32 y = cy - dist; y <= cy + dist; ++y)
        for (SInt32 x = cx - dist; x <= cx + dist; ++x)
          if (std::max(std::abs(x - cx), std::abs(y - cy)) == dist) outer.push_back({x, y});
    ASSERT_EQ(outer.size(), 40u);
    size_t i = 0;
    for (int n = 0; n < c.halfway; ++n, ++i) Luma(Centre(), outer[i].first, outer[i].second) = 150;
    for (int n = 0; n < c.inBand; ++n, ++i) Luma(Centre(), outer[i].first, outer[i].second) = 100;
    for (int n = 0; n < c.quiet; ++n, ++i) Flag(outer[i].first, outer[i].second) = kBZ_OuQuiet;
    BZ_OuSpeckLE *specks = nullptr;
    ASSERT_EQ(BZ_OuConstructSpeck(&params_, data_.data(), Index(cx, cy), pixelList_.data(), &specks), noErr);
    ASSERT_NE(specks, nullptr);
    specks->speck.max = 100;
    specks->speck.min = 90;
    BZ_OuCalcSpecksProperties(&params_, Centre().data(), data_.data(), specks);
    ASSERT_FLOAT_EQ(specks->speck.rgn.avColor.Y, 200.0f);
    ASSERT_EQ(BZ_OuAnalyzeEdge(&params_, Centre().data(), data_.data(), &specks, pixelList_.data()), noErr);
    ASSERT_NE(specks, nullptr);
    const BZ_OuSpeck &s = specks->speck;
    EXPECT_EQ(s.rgn.edgeSize1, 8);
    EXPECT_EQ(s.rgn.edgeSize2, 16);
    EXPECT_EQ(s.rgn.edgeSize3, 24);
    EXPECT_EQ(s.remove != 0, c.removed);
    EXPECT_EQ(s.initiallyRemoved != 0, c.removed);
    EXPECT_EQ(s.edgeRejected != 0, !c.removed);
    EXPECT_FLOAT_EQ(s.numEdgeInBand, float(c.inBand) + 0.5f * float(c.halfway));
    EXPECT_EQ(s.numEdgeConstNotInBand, c.quiet);
    // Each ring pixel counted once: no work bit is left, and no carry reached the brightness bit.
    for (const auto &[x, y] : outer) EXPECT_EQ(Flag(x, y) & UInt16(kBZ_OuRingTemp | 0x400 | 0x800), 0);
    BZ_OuDisposeSpeckList(&specks);
  }
}

TEST_F(OutliersDetector, ADustSpotIsFoundAndMarked) {
  Make(48, 32, 2);
  Texture();
  Disc(Centre(), 20, 14, 2.5, -60);  // 21 pixels, 60 darker
  Disc(Centre(), 36, 20, 1.0, 70);   // 5 pixels, 70 brighter
  const BZ_OuSett before = sett_;
  BZ_OuSpeckLE *specks = nullptr;
  ASSERT_EQ(Detect(&specks), noErr);
  ASSERT_EQ(LL_PtrListCount(specks), 2);
  const BZ_OuSpeck &dark = specks->speck, &bright = specks->next->speck;
  EXPECT_EQ(dark.number, kBZ_OuFirstAutoSpeckNum);
  EXPECT_EQ(bright.number, kBZ_OuFirstAutoSpeckNum + 1);
  EXPECT_EQ(dark.rgn.numPixels, 21);
  EXPECT_EQ(bright.rgn.numPixels, 5);
  for (const BZ_OuSpeck *s : {&dark, &bright}) {
    EXPECT_TRUE(s->remove);
    EXPECT_TRUE(s->initiallyRemoved);
    EXPECT_FALSE(s->createdByUser);
    EXPECT_FALSE(s->partiallySandwiched);
    EXPECT_GE(s->min, 100);
    EXPECT_LE(s->max, 108);
    EXPECT_GT(s->rgn.edgeSize1, 0);
  }
  EXPECT_NEAR(dark.rgn.cmX, 20.5f + 8, 0.01);
  EXPECT_NEAR(dark.rgn.avColor.Y, 104 - 60, 5);
  EXPECT_EQ(sett_.minDiff, before.minDiff) << "the settings are the project's, shared by the workers";
  EXPECT_TRUE(gPosted.empty());
  EXPECT_FALSE(BZ_OuAnyTempInSpeck(&params_, data_.data()));
  BZ_OuDisposeSpeckList(&specks);
}

TEST_F(OutliersDetector, HolesOfSpecksAreFound) {
  Make(32, 24, 1);
  Texture();
  for (SInt32 y = 6; y < 11; ++y)
    for (SInt32 x = 6; x < 11; ++x)
      if (x == 6 || x == 10 || y == 6 || y == 10) Luma(Centre(), x, y) = 20;
  BZ_OuSpeckLE *specks = nullptr;
  ASSERT_EQ(Detect(&specks), noErr);
  ASSERT_EQ(LL_PtrListCount(specks), 1);
  EXPECT_EQ(specks->speck.rgn.numPixels, 16);
  EXPECT_EQ(specks->speck.rgn.numHoles, 1);
  ASSERT_NE(specks->speck.rgn.holes, nullptr);
  EXPECT_EQ(specks->speck.rgn.holes->rgn.numPixels, 9);
  BZ_OuDisposeSpeckList(&specks);
}

TEST_F(OutliersDetector, TooManyOutliersAreRetriedFartherAndReportedOnce) {
  // 40 % of the picture 37 levels brighter (over 10 % of the buffer): outliers at 30 and 35, none at 40.
  Make(48, 32, 1);
  for (SInt32 r = 0; r < params_.inHeight; ++r)
    for (SInt32 c = 0; c < params_.inWidth; ++c)
      if ((r + c) % 5 < 2) Luma(Centre(), c, r) = 137;
  for (const bool executing : {false, true}) {
    SCOPED_TRACE(executing ? "executing" : "previewing");
    params_.executing = executing;
    gPosted.clear();
    BZ_OuSpeckLE *specks = nullptr;
    std::vector<long> counts;
    EXPECT_EQ(DetectTraced(&specks, &counts), (std::vector<long>{30, 35, 40}));
    EXPECT_EQ(counts, std::vector<long>{0});
    EXPECT_EQ(gPosted, executing ? std::vector<UInt32>{} : std::vector<UInt32>{kBZ_TooManyOutliersEvent});
    EXPECT_EQ(sett_.minDiff, 30);
    EXPECT_EQ(specks, nullptr);
  }
}

TEST_F(OutliersDetector, MoreThanFiveHundredSpecksAreFoundAgainFarther) {
  // Single bright pixels on every third row and column, 37 levels above their neighbours: 768 specks at 30
  // and at 35 (fewer than 10 % of the buffer), none at 40.
  Make(96, 72, 1);
  for (SInt32 r = 1; r < params_.inHeight; r += 3)
    for (SInt32 c = 1; c < params_.inWidth; c += 3) Luma(Centre(), c, r) = 137;
  BZ_OuSpeckLE *specks = nullptr;
  std::vector<long> counts;
  EXPECT_EQ(DetectTraced(&specks, &counts), (std::vector<long>{30, 35, 40}));
  EXPECT_EQ(counts, (std::vector<long>{768, 768, 0}));
  EXPECT_TRUE(gPosted.empty());
  EXPECT_EQ(sett_.minDiff, 30);
  BZ_OuDisposeSpeckList(&specks);
}

TEST_F(OutliersDetector, FramesWithoutUsableNeighboursGetNoSpecks) {
  Make(16, 8, 1);
  SetAll(Centre(), 200);  // every pixel far from its neighbours
  struct Case {
    const char *what;
    std::vector<SInt32> empty;
    std::vector<SInt32> cutsAfter;
  } cases[] = {
      {"a one-frame movie", {0, 1, 3, 4}, {}},
      {"a frame between two cuts", {}, {1, 2}},
      {"the movie's first frame before a cut", {0, 1}, {2}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    for (SInt32 i = 0; i < 5; ++i) window_[i] = frames_[size_t(i)].data();
    for (SInt32 &v : av_) v = 0;
    for (SInt32 s : c.empty) window_[s] = nullptr;
    for (SInt32 s : c.cutsAfter) av_[s] = 255;
    BZ_OuSpeckLE *specks = nullptr;
    std::vector<long> counts;
    EXPECT_TRUE(DetectTraced(&specks, &counts).empty()) << "no outlier pass runs";
    EXPECT_EQ(specks, nullptr);
    EXPECT_TRUE(gPosted.empty());
  }
  // One usable neighbour is enough.
  for (SInt32 i = 0; i < 5; ++i) window_[i] = frames_[size_t(i)].data();
  for (SInt32 &v : av_) v = 0;
  window_[1] = window_[0] = nullptr;
  SetAll(Centre(), 100);
  Luma(Centre(), 3, 3) = 200;
  BZ_OuSpeckLE *specks = nullptr;
  ASSERT_EQ(Detect(&specks), noErr);
  EXPECT_EQ(LL_PtrListCount(specks), 1);
  EXPECT_TRUE(specks != nullptr && specks->speck.partiallySandwiched);
  BZ_OuDisposeSpeckList(&specks);
}

TEST_F(OutliersDetector, PixelIndexesOutsideTheBufferAreRefused) {
  BZ_OuSpeck speck{};
  SInt32 pixels[4] = {0, 5, params_.width * params_.height - 1, 7};
  speck.rgn.pixels = pixels;
  speck.rgn.pixelsSize = 4;
  speck.rgn.numPixels = 3;
  EXPECT_TRUE(BZ_OuValidatePixels(&params_, &speck));
  speck.rgn.edgeSize1 = 1;
  pixels[3] = params_.width * params_.height;
  EXPECT_FALSE(BZ_OuValidatePixels(&params_, &speck));
  pixels[3] = -1;
  EXPECT_FALSE(BZ_OuValidatePixels(&params_, &speck));
  speck.rgn.edgeSize1 = 2;  // more entries named than the array holds
  pixels[3] = 7;
  EXPECT_FALSE(BZ_OuValidatePixels(&params_, &speck));
}

TEST_F(OutliersDetector, FlagRoutinesStayInTheirRectangles) {
  std::fill(data_.begin(), data_.end(), UInt16(0x0200 | 0x0010));
  const Rect r{2, 3, 4, 6};
  BZ_OuClearRingFlag(params_.width, params_.height, &r, data_.data());
  SInt32 cleared = 0;
  for (SInt32 y = 0; y < params_.height; ++y)
    for (SInt32 x = 0; x < params_.width; ++x) {
      const bool inside = y >= 0 && y < 7 && x >= 0 && x < 9;  // grown by 3, clamped at the buffer's top-left
      EXPECT_EQ(data_[size_t(y * params_.width + x)], inside ? 0x10 : 0x210) << x << "," << y;
      cleared += inside;
    }
  EXPECT_EQ(cleared, 63);
  std::fill(data_.begin(), data_.end(), 0);
  EXPECT_FALSE(BZ_OuAnyTempInSpeck(&params_, data_.data()));
  data_.back() = 0x200;
  EXPECT_TRUE(BZ_OuAnyTempInSpeck(&params_, data_.data()));
}

TEST_F(OutliersDetector, ThirdDegreePixelsJoinFromTheGrownSpeck) {
  // D d d: growth takes one second-degree pixel; the third-degree step takes the next one, once.
  Flag(3, 3) = 26;
  Flag(4, 3) = 37;
  Flag(5, 3) = 37;
  Flag(7, 3) = 37;  // too far
  BZ_OuSpeckLE *specks = nullptr;
  ASSERT_EQ(BZ_OuFindSpecks(&params_, data_.data(), pixelList_.data(), &specks), noErr);
  ASSERT_EQ(specks->speck.rgn.numPixels, 2);
  BZ_OuAddThirdDegreePixelsToSpecks(&params_, data_.data(), specks);
  EXPECT_EQ(specks->speck.rgn.numPixels, 3);
  EXPECT_EQ(specks->speck.rgn.numThirdDegreePixels, 1);
  EXPECT_EQ(Flag(5, 3) & kRG_ThirdDegree, kRG_ThirdDegree);
  EXPECT_EQ(Flag(7, 3) & kRG_ThirdDegree, 0);
  EXPECT_EQ(specks->speck.rgn.bounds.right, Index(5, 3) % params_.width + 1);
  std::fill(data_.begin(), data_.end(), 0);
  BZ_OuSetInSpeckEdgeFlag(&specks->speck, data_.data());
  EXPECT_EQ(Flag(5, 3), kRG_ThirdDegree);
  EXPECT_EQ(Flag(4, 3), 0);
  BZ_OuDisposeSpeckList(&specks);
}

// ---- Moving pictures: the neighbours read along the motion vectors ----

// Vectors of every pair of the window, all found and all the same: the content moves by dx pixels to the
// right from each frame to the next (forward dx, backward -dx).
struct UniformVectors {
  std::vector<std::vector<BZ_OuMotionVec>> arrays;
  void *mv[kBZ_OuNumWindowSlots] = {};
  UniformVectors(const BZ_OuParams &p, float dx) {
    const size_t count = BZ_MvArraySize(p.inWidth, p.inHeight) / sizeof(BZ_OuMotionVec);
    for (SInt32 b = 0; b + 1 < p.numInBuffers; ++b) {
      arrays.emplace_back(count);
      for (size_t e = 0; e < count; ++e) {
        arrays.back()[e].dx = e % 2 == 0 ? dx : -dx;
        arrays.back()[e].minDiff = 1.0f;
      }
    }
    for (size_t b = 0; b < arrays.size(); ++b) mv[b] = arrays[b].data();
  }
};

constexpr UInt16 kChainFirst = UInt16(kBZ_OuMotionAligned) | UInt16(kRG_FirstDegree);
constexpr UInt16 kChainFirstCut = kChainFirst | UInt16(kBZ_OuWindowCut);

class OutliersDetectorMoving : public OutliersDetector {
 protected:
  // Frame s shows a fine texture moved by shift x s pixels to the right.
  void Pan(SInt32 shift) {
    for (size_t s = 0; s < frames_.size(); ++s)
      for (SInt32 r = -8; r < params_.inHeight + 8; ++r)
        for (SInt32 c = -8; c < params_.inWidth + 8; ++c) {
          const double u = c - shift * double(s);
          Luma(frames_[s], c, r) = UInt8(std::lround(110 + 40 * std::sin(u * 0.7 + r * 0.3) + 25 * std::cos(r * 0.9)));
        }
  }
  // First-degree pixels at least `margin` pixels inside the picture and off the rectangle of a drawn speck.
  SInt32 FalseFirstDegree(SInt32 margin, SInt32 x0, SInt32 y0, SInt32 x1, SInt32 y1) {
    SInt32 count = 0;
    for (SInt32 r = margin; r < params_.inHeight - margin; ++r)
      for (SInt32 c = margin; c < params_.inWidth - margin; ++c)
        if ((Flag(c, r) & kRG_FirstDegree) && !(c >= x0 && c < x1 && r >= y0 && r < y1)) ++count;
    return count;
  }
};

// A dust spot on a pan of 3 pixels a frame: compared at their own places every textured pixel differs from
// its neighbours, along the vectors only the spot does; the chain flag stays in the plane for the
// replacement, and the speck's band comes from where the picture moved.
TEST_F(OutliersDetectorMoving, APanIsComparedAlongTheVectors) {
  for (SInt32 k : {1, 2}) {
    SCOPED_TRACE("k " + std::to_string(k));
    Make(64, 48, k);
    Pan(3);
    for (SInt32 r = 20; r < 24; ++r)
      for (SInt32 c = 30; c < 34; ++c) Luma(Centre(), c, r) = 250;
    UniformVectors vectors(params_, 3.0f);
    BZ_OuSpeckLE *specks = nullptr;
    ASSERT_EQ(Detect(&specks), noErr);
    EXPECT_GT(FalseFirstDegree(0, 30, 20, 34, 24), 5) << "same places";
    BZ_OuDisposeSpeckList(&specks);

    ASSERT_EQ(BZ_OuCalcSpeckList(&params_, window_, av_, vectors.mv, data_.data(), pixelList_.data(), &specks),
              noErr);
    // Near a side the chain runs the other way alone, so every pixel is followed.
    EXPECT_EQ(FalseFirstDegree(0, 30, 20, 34, 24), 0) << "along the vectors";
    ASSERT_EQ(LL_PtrListCount(specks), 1);
    EXPECT_EQ(specks->speck.rgn.numPixels, 16);
    for (SInt32 r = 20; r < 24; ++r)
      for (SInt32 c = 30; c < 34; ++c) {
        EXPECT_EQ(Flag(c, r) & kChainFirstCut, kChainFirst);
      }
    EXPECT_EQ(Flag(0, 20) & kBZ_OuWindowCut, kBZ_OuWindowCut) << "its chain runs forwards only";
    EXPECT_EQ(Flag(params_.inWidth - 1, 20) & kBZ_OuWindowCut, kBZ_OuWindowCut) << "its chain runs backwards only";
    // The band: the texture where the spot's content went, not the texture at the spot's own place.
    SInt32 lo = 255, hi = 0;
    for (SInt32 s = 0; s <= 4 * k; ++s)
      if (s != 2 * k && s >= k && s <= 3 * k)
        for (SInt32 r = 20; r < 24; ++r)
          for (SInt32 c = 30; c < 34; ++c) {
            const SInt32 y = Luma(frames_[size_t(s)], c + 3 * (s - 2 * k), r);
            lo = std::min(lo, y);
            hi = std::max(hi, y);
          }
    EXPECT_EQ(specks->speck.min, lo);
    EXPECT_EQ(specks->speck.max, hi);
    BZ_OuDisposeSpeckList(&specks);
  }
}

// Where the window ends after the centre (a scene change), a complete chain runs backwards alone: its pixels
// are compared with the earlier frames only and carry the window cut, as plain pixels of such a window do.
TEST_F(OutliersDetectorMoving, AChainOnOneSideCarriesTheWindowCut) {
  Make(64, 48, 1);
  Pan(2);
  UniformVectors vectors(params_, 2.0f);
  av_[2] = sett_.maxAvPixelDiff + 1;
  SetAll(frames_[3], 0);  // beyond the cut: never read
  SetAll(frames_[4], 0);
  Luma(Centre(), 30, 20) = 250;
  BZ_OuSpeckLE *specks = nullptr;
  ASSERT_EQ(BZ_OuCalcSpeckList(&params_, window_, av_, vectors.mv, data_.data(), pixelList_.data(), &specks),
            noErr);
  EXPECT_EQ(Flag(30, 20) & kChainFirstCut, kChainFirstCut);
  EXPECT_EQ(FalseFirstDegree(6, 30, 20, 31, 21), 0);
  BZ_OuDisposeSpeckList(&specks);
}

// The vectors the stage's frame job finds on a real pan follow it as the exact ones do, on both row paths of
// the outlier test. The spot spoils the block match of its own cells (a mean squared difference of 100 or
// more is no vector), so the pixels around it are compared at their own places and left out of the count.
TEST_F(OutliersDetectorMoving, SearchedVectorsFollowThePan) {
  Make(96, 64, 1);
  Pan(2);
  for (SInt32 r = 30; r < 33; ++r)
    for (SInt32 c = 40; c < 43; ++c) Luma(Centre(), c, r) = 5;
  float coeffs[25][6];
  ASSERT_EQ(BZ_MvGetCoeffs(coeffs), noErr);
  std::vector<std::vector<UInt8>> arrays(4, std::vector<UInt8>(BZ_MvArraySize(96, 64)));
  std::vector<UInt8> scratch(BZ_MvScratchSize(96, 64));
  void *mv[kBZ_OuNumWindowSlots] = {};
  for (SInt32 b = 0; b < 4; ++b) {
    BZ_MvFindPairVectors(&params_, coeffs, window_[b], window_[b + 1], arrays[size_t(b)].data(), scratch.data());
    mv[b] = arrays[size_t(b)].data();
  }
  const Boolean saved = gBZ.procInfo.hasSSE3;
  for (Boolean sse : {Boolean(false), Boolean(true)}) {
    SCOPED_TRACE(sse ? "SSE" : "scalar");
    gBZ.procInfo.hasSSE3 = sse;
    BZ_OuSpeckLE *specks = nullptr;
    ASSERT_EQ(BZ_OuCalcSpeckList(&params_, window_, av_, mv, data_.data(), pixelList_.data(), &specks), noErr);
    EXPECT_EQ(FalseFirstDegree(0, 28, 18, 56, 46), 0);
    ASSERT_EQ(LL_PtrListCount(specks), 1);
    for (SInt32 r = 30; r < 33; ++r)
      for (SInt32 c = 40; c < 43; ++c) EXPECT_NE(Flag(c, r) & kRG_FirstDegree, 0);
    BZ_OuDisposeSpeckList(&specks);
  }
  gBZ.procInfo.hasSSE3 = saved;
}

}  // namespace
