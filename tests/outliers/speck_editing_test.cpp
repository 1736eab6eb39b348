// Speck editing in the preview: filling the kept specks into the cleaned frame (spatially and from the
// neighbouring frames, scene changes), colouring the difference picture by speck state, the speck-list
// queries, scratch masks and edge medians.
#include "outliers/speck_editing.h"

#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "outlier_test_support.h"
#include "outliers/speck_replacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace {

// Appends a speck with the given region pixels and ring pixels (padded linear indexes) to the list.
BZ_OuSpeckLE *AddSpeck(BZ_OuSpeckLE **list, SInt32 width, const std::vector<SInt32> &pixels,
                       const std::vector<SInt32> &ring = {}) {
  BZ_OuSpeckLE *s = nullptr;
  EXPECT_EQ(LL_AddNewPtr(sizeof(BZ_OuSpeckLE), nullptr, list, &s), noErr);
  s->speck.number = LL_PtrListCount(*list) - 1;
  RG_Region &rgn = s->speck.rgn;
  rgn.numPixels = SInt32(pixels.size());
  rgn.edgeSize1 = SInt32(ring.size());
  rgn.pixelsSize = rgn.numPixels + rgn.edgeSize1;
  EXPECT_EQ(GL_NewPtrClear(sizeof(SInt32) * size_t(std::max(rgn.pixelsSize, 1)), &rgn.pixels), noErr);
  std::copy(pixels.begin(), pixels.end(), rgn.pixels);
  std::copy(ring.begin(), ring.end(), rgn.pixels + rgn.numPixels);
  rgn.bounds = Rect{32767, 32767, -32768, -32768};
  for (SInt32 p : pixels) {
    const SInt16 v = SInt16(p / width), h = SInt16(p % width);
    rgn.bounds.top = std::min(rgn.bounds.top, v);
    rgn.bounds.left = std::min(rgn.bounds.left, h);
    rgn.bounds.bottom = std::max<SInt16>(rgn.bounds.bottom, SInt16(v + 1));
    rgn.bounds.right = std::max<SInt16>(rgn.bounds.right, SInt16(h + 1));
  }
  return s;
}

std::vector<SInt32> Numbers(LL_PtrLE *found) {
  std::vector<SInt32> n;
  for (LL_PtrLE *f = found; f != nullptr; f = f->next) n.push_back(static_cast<BZ_OuSpeckLE *>(f->ptr)->speck.number);
  return n;
}

// A preview of the fixture project's padded frame size: the window frames, the cleaned and difference
// frames, and the three ARGB pictures.
class OutliersPreview : public ::testing::Test {
 protected:
  void SetUp() override {
    p_.statMovInfoGamma(2.2f);
    ASSERT_EQ(BZ_GetBufferSize(16, 24, false, &height_, &width_, &size_), noErr);
    k_ = p_.sett().numConstPix;
    frames_.assign(size_t(2 * k_ + 1), std::vector<UInt8>(size_t(size_), 0));
    for (SInt32 i = 0; i <= 2 * k_; ++i) {
      for (size_t b = 0; b < size_t(size_); b += 2) {
        frames_[size_t(i)][b] = 128;
        frames_[size_t(i)][b + 1] = UInt8(40 + 10 * i);  // the previewed frame (i = k) is 40 + 10k
      }
      ou()->inBuffers[i] = frames_[size_t(i)].data();
    }
    cleaned_.assign(size_t(size_), 0);
    ou()->outBuffer2vuy = cleaned_.data();
    ASSERT_EQ(GL_NewPtrClear(size_t(size_), &ou()->diffBuffer2vuy), noErr);
    rgb_.assign(size_t(size_) * 6, 0xAA);
    p_.answers().preview.buffersRGB = rgb_.data();
  }
  void TearDown() override { BZ_OuDisposeSpeckList(&ou()->speckList); }

  BZ_OuPreviewData *ou() { return p_.ouPreview(); }
  SInt32 Index(SInt32 row, SInt32 col) const { return row * width_ + col; }
  UInt8 *DiffRGB(SInt32 p) { return rgb_.data() + 4 * size_t(size_) + 4 * size_t(p); }

  struct Project : bz_test::OutlierProject {
    void statMovInfoGamma(float g) { project()->info.statMovInfo[0].gamma = g; }
  } p_;
  SInt32 height_ = 0, width_ = 0, k_ = 0;
  SInt64 size_ = 0;
  std::vector<std::vector<UInt8>> frames_;
  std::vector<UInt8> cleaned_, rgb_;
};

TEST_F(OutliersPreview, KeptSpecksAreFilledRemovedOnesLeft) {
  const SInt32 spatial = Index(10, 12), temporal = Index(12, 20), removed = Index(14, 9);
  // A ring around the spatial speck of one luma value in the previewed frame.
  const std::vector<SInt32> ring = {Index(9, 12), Index(11, 12), Index(10, 11), Index(10, 13)};
  for (SInt32 q : ring) frames_[size_t(k_)][2 * size_t(q) + 1] = 90;
  BZ_OuSpeckLE *s = AddSpeck(&ou()->speckList, width_, {spatial}, ring);
  s->speck.interpolateSpatially = true;
  AddSpeck(&ou()->speckList, width_, {temporal});
  AddSpeck(&ou()->speckList, width_, {removed})->speck.remove = true;

  ASSERT_EQ(BZ_OuApplyNonRemovedSpecks(), noErr);
  EXPECT_EQ(cleaned_[2 * size_t(spatial) + 1], 90) << "filled from its ring";
  // Both neighbours of the previewed frame (40 + 10(k-1) and 40 + 10(k+1)) are averaged.
  EXPECT_EQ(cleaned_[2 * size_t(temporal) + 1], 40 + 10 * k_);
  EXPECT_EQ(cleaned_[2 * size_t(temporal)], 128);
  EXPECT_EQ(cleaned_[2 * size_t(removed) + 1], 0) << "a removed speck is not this routine's";
}

TEST_F(OutliersPreview, SceneChangesChooseTheNeighbour) {
  const SInt32 p = Index(12, 20);
  AddSpeck(&ou()->speckList, width_, {p});
  const SInt32 centre = 2 * k_, limit = p_.sett().maxAvPixelDiff;
  const struct {
    const char *name;
    SInt32 slot;  // avPixelDiff slot set above the limit (-1: none)
    SInt32 value;
    int expectedY;
  } cases[] = {
      {"no change", -1, 0, 40 + 10 * k_},
      {"exactly the limit is no change", centre, limit, 40 + 10 * k_},
      {"change after the frame", centre, limit + 1, 40 + 10 * (k_ - 1)},
      {"change before the frame", centre - 1, limit + 1, 40 + 10 * (k_ + 1)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::fill(std::begin(ou()->avPixelDiff), std::end(ou()->avPixelDiff), 0);
    if (c.slot >= 0) ou()->avPixelDiff[c.slot] = c.value;
    std::fill(cleaned_.begin(), cleaned_.end(), 0);
    ASSERT_EQ(BZ_OuApplyNonRemovedSpecks(), noErr);
    EXPECT_EQ(cleaned_[2 * size_t(p) + 1], c.expectedY);
  }
}

TEST(OutliersSpeckReplacement, SpatialChromaComesFromItsOwnKind) {
  BZ_OuSett sett{};
  BZ_MakeDefaultOuSett(&sett);
  BZ_OuParams params{};
  params.sett = &sett;
  params.width = 8;
  params.height = 3;
  std::vector<UInt8> in(8 * 3 * 2, 0), out(8 * 3 * 2, 0);
  // Pixel 12 (row 1, column 4) with ring 11, 13 (the other chroma kind) and 4, 20 (its own kind).
  for (SInt32 q : {11, 13}) in[2 * size_t(q)] = 200;
  for (SInt32 q : {4, 20}) in[2 * size_t(q)] = 60;
  for (SInt32 q : {4, 11, 13, 20}) in[2 * size_t(q) + 1] = 100;
  BZ_OuSpeckLE *list = nullptr;
  AddSpeck(&list, 8, {12}, {4, 11, 13, 20});
  BZ_OuInterpolateSpeckSpatially(&params, &list->speck, in.data(), out.data());
  EXPECT_EQ(out[24], 60);
  EXPECT_EQ(out[25], 100);
  BZ_OuDisposeSpeckList(&list);
}

TEST_F(OutliersPreview, DifferenceColoursFollowTheSpeckState) {
  const SInt32 grey = 125;  // the difference grey at gamma 2.2
  const struct {
    const char *name;
    std::function<void(BZ_OuSpeck &)> state;
    UInt8 bright[3], dark[3];
  } cases[] = {
      {"kept", [](BZ_OuSpeck &) {}, {255, 0, 0}, {180, 0, 0}},
      {"removed scratch", [](BZ_OuSpeck &s) { s.remove = s.scratch = s.createdByUser = true; }, {140, 140, 255},
       {0, 0, 255}},
      {"removed, made by the user", [](BZ_OuSpeck &s) { s.remove = s.createdByUser = true; }, {0, 200, 0},
       {0, 100, 0}},
      {"removed, found", [](BZ_OuSpeck &s) { s.remove = true; }, {200, 200, 200}, {0, 0, 0}},
  };
  const SInt32 brightPixel = Index(10, 10), greyPixel = Index(10, 11), ringPixel = Index(9, 10);
  ou()->diffBuffer2vuy[2 * brightPixel + 1] = UInt8(grey + 1);
  ou()->diffBuffer2vuy[2 * greyPixel + 1] = UInt8(grey);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::fill(rgb_.begin(), rgb_.end(), 0xAA);
    BZ_OuDisposeSpeckList(&ou()->speckList);
    c.state(AddSpeck(&ou()->speckList, width_, {brightPixel, greyPixel}, {ringPixel})->speck);
    ASSERT_EQ(BZ_OuColorSpecksDiffs(), noErr);
    EXPECT_EQ(std::vector<UInt8>(DiffRGB(brightPixel), DiffRGB(brightPixel) + 4),
              (std::vector<UInt8>{0xAA, c.bright[0], c.bright[1], c.bright[2]}));
    EXPECT_EQ(std::vector<UInt8>(DiffRGB(greyPixel), DiffRGB(greyPixel) + 4),
              (std::vector<UInt8>{0xAA, c.dark[0], c.dark[1], c.dark[2]}))
        << "the grey itself is not brighter";
    EXPECT_EQ(DiffRGB(ringPixel)[1], 0xAA) << "no ring without spatial filling";
    EXPECT_EQ(rgb_[4 * size_t(brightPixel) + 1], 0xAA) << "the before picture is untouched";
  }
  // A removed speck filled spatially gets a yellow ring.
  ou()->speckList->speck.interpolateSpatially = true;
  ASSERT_EQ(BZ_OuColorSpecksDiffs(), noErr);
  EXPECT_EQ(std::vector<UInt8>(DiffRGB(ringPixel), DiffRGB(ringPixel) + 4), (std::vector<UInt8>{0xAA, 200, 200, 0}));
}

TEST_F(OutliersPreview, MissingPiecesGiveParamErr) {
  AddSpeck(&ou()->speckList, width_, {Index(10, 10)});
  p_.answers().preview.buffersRGB = nullptr;
  EXPECT_EQ(BZ_OuColorSpecksDiffs(), paramErr);
  ou()->outBuffer2vuy = nullptr;
  EXPECT_EQ(BZ_OuApplyNonRemovedSpecks(), paramErr);
  BZ_OuPreviewData *saved = p_.answers().preview.ouPreviewData;
  p_.answers().preview.ouPreviewData = nullptr;
  EXPECT_EQ(BZ_OuApplyNonRemovedSpecks(), paramErr);
  EXPECT_EQ(BZ_OuColorSpecksDiffs(), paramErr);
  p_.answers().preview.ouPreviewData = saved;
}

// A distance read from outside can be far beyond any luma difference: the search must come to the same speck
// as from the largest distance of its series that can tell pixels apart (255), and not step down for hours.
TEST_F(OutliersPreview, HugeOutlierDistanceFindsTheSameSpeckWithoutCrawling) {
  BZ_OuParams params{};
  ASSERT_EQ(BZ_OuMakeParamsFromProject(p_.project(), &params), noErr);
  Rect frame{};
  BZ_OuParamsToRealFrameBounds(&params, &frame);
  std::vector<UInt8> luma(size_t(size_), 0);
  for (size_t b = 0; b < luma.size(); b += 2) luma[b] = 128, luma[b + 1] = 128;
  const SInt32 top = frame.top + 4, left = frame.left + 6;
  for (SInt32 r = top; r < top + 3; ++r)
    for (SInt32 c = left; c < left + 3; ++c) luma[2 * size_t(Index(r, c)) + 1] = 10;
  const Rect selection{SInt16(top - 1), SInt16(left - 1), SInt16(top + 4), SInt16(left + 4)};
  const SInt32 savedMinDiff = p_.sett().minDiff;
  for (SInt32 minDiff : {255, 256, 100000, 100000000, 0x7FFFFFFF}) {
    SCOPED_TRACE(minDiff);
    p_.sett().minDiff = minDiff;
    std::vector<UInt16> data(size_t(size_), 0);
    std::vector<SInt32> pixelList(size_t(size_), 0);
    BZ_OuSpeckLE *specks = nullptr;
    SInt32 number = -2;
    ASSERT_TRUE(BZ_OuFindSpeckUsingEdgeMedian(&params, luma.data(), data.data(), pixelList.data(), &selection, 128,
                                              &specks, &number));
    EXPECT_EQ(number, 0);
    ASSERT_NE(specks, nullptr);
    EXPECT_EQ(specks->speck.rgn.numPixels, 9);
    BZ_OuDisposeSpeckList(&specks);
  }
  p_.sett().minDiff = savedMinDiff;
}

// ---- Queries ----

TEST(OutliersSpeckQueries, FindByPointAndRectangle) {
  const SInt32 w = 20;
  BZ_OuSpeckLE *list = nullptr;
  AddSpeck(&list, w, {2 * w + 2, 2 * w + 3});         // 0: row 2, columns 2-3
  AddSpeck(&list, w, {5 * w + 5, 6 * w + 5});         // 1: rows 5-6, column 5
  AddSpeck(&list, w, {5 * w + 10, 5 * w + 11});       // 2: row 5, columns 10-11
  AddSpeck(&list, w, {2 * w + 3});                    // 3: overlaps 0

  LL_PtrLE *found = BZ_OuFindPtInSpeckList(w, list, Point{2, 3});  // v 2, h 3
  EXPECT_EQ(Numbers(found), std::vector<SInt32>{0}) << "the first speck holding the point";
  LL_DisposeLinkedList(&found);
  EXPECT_EQ(BZ_OuFindPtInSpeckList(w, list, Point{3, 3}), nullptr);

  const struct {
    Rect bounds;
    std::vector<SInt32> numbers;
  } cases[] = {
      {{0, 0, 20, 20}, {0, 1, 2, 3}},
      {{4, 4, 8, 12}, {1, 2}},
      {{5, 5, 7, 6}, {1}},
      {{5, 5, 6, 6}, {}},  // cuts speck 1
  };
  for (const auto &c : cases) {
    found = BZ_OuFindSpecksInRect(list, &c.bounds);
    EXPECT_EQ(Numbers(found), c.numbers);
    LL_DisposeLinkedList(&found);
  }

  EXPECT_TRUE(BZ_OuSpeckOverlapsAnySpeck(list, list));
  EXPECT_FALSE(BZ_OuSpeckOverlapsAnySpeck(list, list->next));
  BZ_OuDisposeSpeckList(&list);
}

TEST(OutliersSpeckQueries, EqualizingAndTogglingByNumber) {
  const struct {
    std::vector<bool> removed;
    bool expected;
  } cases[] = {
      {{true, true, false}, true},   // two of three: all removed
      {{true, false}, false},        // one of two is not more than half
      {{false}, false},
      {{true}, true},
  };
  for (const auto &c : cases) {
    BZ_OuSpeckLE *list = nullptr;
    for (bool r : c.removed) AddSpeck(&list, 8, {0})->speck.remove = r;
    const Rect all{0, 0, 8, 8};
    LL_PtrLE *found = BZ_OuFindSpecksInRect(list, &all);
    BZ_OuEqualizeSpeckState(found, kBZ_OuToggleRemove);
    for (BZ_OuSpeckLE *s = list; s != nullptr; s = s->next) EXPECT_EQ(bool(s->speck.remove), c.expected);
    LL_DisposeLinkedList(&found);
    BZ_OuDisposeSpeckList(&list);
  }

  BZ_OuSpeckLE *list = nullptr;
  AddSpeck(&list, 8, {0});
  AddSpeck(&list, 8, {1});
  BZ_OuToggleSpeckStateByNumber(list, 1, kBZ_OuToggleRemove);
  BZ_OuToggleSpeckStateByNumber(list, 1, kBZ_OuToggleInterpolation);
  BZ_OuToggleSpeckStateByNumber(list, 7, kBZ_OuToggleRemove);
  BZ_OuToggleSpeckStateByNumber(list, 0, kBZ_OuNewSpeck);
  EXPECT_FALSE(list->speck.remove);
  EXPECT_FALSE(list->speck.interpolateSpatially);
  EXPECT_TRUE(list->next->speck.remove);
  EXPECT_TRUE(list->next->speck.interpolateSpatially);
  BZ_OuDisposeSpeckList(&list);
}

// ---- Scratches and edge medians ----

TEST(OutliersScratchMask, BandAlongEitherDiagonal) {
  const SInt32 n = 6;
  std::vector<UInt8> nw(n * n), sw(n * n);
  BZ_OuMakeScratchMask(n, n, 1.0f, nw.data(), true);
  BZ_OuMakeScratchMask(n, n, 1.0f, sw.data(), false);
  for (SInt32 i = 0; i < n; ++i)
    for (SInt32 j = 0; j < n; ++j) {
      EXPECT_EQ(nw[size_t(i * n + j)], i == j ? 1 : 0) << i << "," << j;
      EXPECT_EQ(sw[size_t(i * n + j)], nw[size_t((n - 1 - i) * n + j)]) << "mirrored";
    }
  // A wider band takes the diagonal's neighbours too.
  BZ_OuMakeScratchMask(n, n, 3.0f, nw.data(), true);
  EXPECT_EQ(nw[size_t(2 * n + 3)], 1);
  EXPECT_EQ(nw[size_t(2 * n + 5)], 0);
}

TEST(OutliersEdgeMedian, MedianOfTheRectangleEdge) {
  const SInt32 width = 8;
  std::vector<UInt8> frame(size_t(width) * 8 * 2, 0);
  auto setY = [&](SInt32 row, SInt32 col, UInt8 y) { frame[2 * size_t(row * width + col) + 1] = y; };
  std::vector<SInt32> pixelList(64);
  // 2 x 2: each pixel is on two edges; three of 200 and one of 10 give six 200s, two 10s.
  setY(2, 2, 200);
  setY(2, 3, 200);
  setY(3, 2, 200);
  setY(3, 3, 10);
  Rect r{2, 2, 4, 4};
  EXPECT_EQ(BZ_OuGetMedianY_InEdge(width, frame.data(), &r, pixelList.data()), 200);
  // 3 x 3 around a dark centre: the centre is not on the edge.
  for (SInt32 row = 4; row < 7; ++row)
    for (SInt32 col = 4; col < 7; ++col) setY(row, col, UInt8(row == 5 && col == 5 ? 0 : 20 * col));
  r = Rect{4, 4, 7, 7};
  // Edge values: top 80,100,120; bottom 80,100,120; left 80,80,80; right 120,120,120 -> sorted descending,
  // position 6 of 12.
  EXPECT_EQ(BZ_OuGetMedianY_InEdge(width, frame.data(), &r, pixelList.data()), 100);
}

}  // namespace

namespace {

// The preview record's frames grow with the largest frame seen and are never smaller than asked for.
TEST(OutliersPreviewFrames, OwnedFramesFollowTheLargestSize) {
  BZ_OuPreviewData *ou = nullptr;
  ASSERT_EQ(BZ_InitOuPreviewData(&ou), noErr);
  const struct {
    size_t asked, kept;
  } steps[] = {{100, 100}, {50, 100}, {200, 200}, {200, 200}};
  for (const auto &step : steps) {
    ASSERT_EQ(BZ_OuEnsurePreviewFrames(ou, step.asked), noErr);
    EXPECT_EQ(ou->bufferSize, step.kept);
    for (UInt8 *block : {ou->diffBuffer2vuy, ou->savedOutBuffer, ou->savedInBuffer}) {
      ASSERT_NE(block, nullptr);
      block[step.asked - 1] = 1;  // writable to the size asked for (ASan checks the block's end)
    }
  }
  EXPECT_EQ(BZ_OuEnsurePreviewFrames(ou, 0), paramErr);
  BZ_OuDisposePreviewData(&ou);
  EXPECT_EQ(ou, nullptr);
}

}  // namespace
