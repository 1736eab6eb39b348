// Edits in the preview: a speck found by its edge median (retried at smaller distances, refused when it
// touches another), scratches along either diagonal, toggles recorded and taken back, toggles of several
// specks at once, replaying a frame's edits, and the redraw each edit asks for. Also growing regions.
#include "outliers/speck_editing.h"

#include "engine/runtime/stage_access.h"
#include "outlier_test_support.h"
#include "outliers/regions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using bz_test::Toggle;

// 16 x 24 pictures in 40 x 32 padded frames; the picture starts at padded row 8, column 8.
class OutliersSpeckEdits : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(BZ_GetBufferSize(16, 24, false, &height_, &width_, &size_), noErr);
    k_ = p_.sett().numConstPix;
    frame_.assign(size_t(size_), 0);
    for (size_t b = 0; b < frame_.size(); b += 2) {
      frame_[b] = 128;
      frame_[b + 1] = 200;
    }
    cleaned_.assign(size_t(size_), 0);
    rgb_.assign(size_t(size_) * 6, 0);
    flags_.assign(size_t(width_) * size_t(height_), 0);
    pixelList_.assign(size_t(width_) * size_t(height_), 0);
    ou()->inBuffers[k_] = frame_.data();
    // Its neighbours in the window are plain, so that removed specks are filled with 200.
    neighbours_.assign(size_t(size_), 0);
    for (size_t b = 0; b < neighbours_.size(); b += 2) {
      neighbours_[b] = 128;
      neighbours_[b + 1] = 200;
    }
    ou()->inBuffers[k_ - 1] = ou()->inBuffers[k_ + 1] = neighbours_.data();
    ou()->outBuffer2vuy = cleaned_.data();
    p_.answers().preview.buffersRGB = rgb_.data();
    p_.ou()->ouData[2 * k_] = flags_.data();
    p_.ou()->ouScratch = pixelList_.data();
    BZ_EngineHost host = *BZ_GetEngineHost();
    posted_ = &postedEvents_;
    beeps_ = &alertSounds_;
    host.postCustomEvent = [](void *, UInt32 kind, const BZ_EventParam *, ItemCount) {
      posted_->push_back(kind);
      return OSStatus(noErr);
    };
    host.playAlertSound = [](void *) { ++*beeps_; };
    BZ_SetEngineHost(&host);
  }
  void TearDown() override {
    p_.ou()->ouData[2 * k_] = nullptr;
    p_.ou()->ouScratch = nullptr;
    BZ_OuDisposeSpeckList(&ou()->speckList);
  }

  BZ_OuPreviewData *ou() { return p_.ouPreview(); }
  // Paints a block of the picture (unpadded coordinates) with a luma value.
  void Paint(SInt32 top, SInt32 left, SInt32 bottom, SInt32 right, UInt8 y) {
    for (SInt32 r = top; r < bottom; ++r)
      for (SInt32 c = left; c < right; ++c) frame_[2 * size_t((r + 8) * width_ + c + 8) + 1] = y;
  }
  std::vector<BZ_OuOutlierEdit> Edits() { return bz_test::EditsOf(ou()->frameOutlierEditList.firstOe); }
  BZ_OuSpeck &Speck(int n) { return static_cast<BZ_OuSpeckLE *>(LL_GetPtrByIndex(ou()->speckList, n + 1))->speck; }

  bz_test::OutlierProject p_;
  SInt32 height_ = 0, width_ = 0, k_ = 0;
  SInt64 size_ = 0;
  std::vector<UInt8> frame_, neighbours_, cleaned_, rgb_;
  std::vector<UInt16> flags_;
  std::vector<SInt32> pixelList_;
  std::vector<UInt32> postedEvents_;
  int alertSounds_ = 0;
  static std::vector<UInt32> *posted_;
  static int *beeps_;
};
std::vector<UInt32> *OutliersSpeckEdits::posted_ = nullptr;
int *OutliersSpeckEdits::beeps_ = nullptr;

TEST_F(OutliersSpeckEdits, DarkSpotBecomesASpeckAndClicksToggleIt) {
  Paint(5, 6, 8, 9, 20);  // a 3 x 3 dark spot
  const Rect sel{4, 5, 9, 10};
  ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&sel, 0), noErr);
  ASSERT_EQ(LL_PtrListCount(ou()->speckList), 1);
  BZ_OuSpeck &speck = Speck(0);
  EXPECT_EQ(speck.number, 0);
  EXPECT_EQ(speck.rgn.numPixels, 9);
  EXPECT_TRUE(speck.remove && speck.initiallyRemoved && speck.createdByUser);
  EXPECT_FALSE(speck.scratch);
  EXPECT_EQ(Edits(), (std::vector<BZ_OuOutlierEdit>{{1, kBZ_OuNewSpeck, sel}}));
  EXPECT_TRUE(ou()->frameOutlierEditList.changed);
  EXPECT_EQ(postedEvents_, std::vector<UInt32>{kBZ_ForcePreviewUpdateEvent});
  // The edited preview: the cleaned frame has the spot filled from its neighbours.
  EXPECT_EQ(cleaned_[2 * size_t((6 + 8) * width_ + 7 + 8) + 1], 200);
  // Its difference is bright, so the user's removed speck shows bright green in the difference picture.
  for (SInt32 r = 5; r < 8; ++r)
    for (SInt32 c = 6; c < 9; ++c) {
      const UInt8 *argb = rgb_.data() + 4 * size_t(size_) + 4 * size_t((r + 8) * width_ + c + 8);
      EXPECT_EQ(std::vector<UInt8>(argb + 1, argb + 4), (std::vector<UInt8>{0, 200, 0})) << r << "," << c;
    }

  const Point onIt{6, 7};  // v, h
  ASSERT_EQ(BZ_OuToggleSpeckState(&onIt, nullptr, kBZ_OuToggleRemove), noErr);
  EXPECT_FALSE(speck.remove);
  EXPECT_EQ(Edits().size(), 2u);
  EXPECT_EQ(Edits()[1], Toggle(0));
  ASSERT_EQ(BZ_OuToggleSpeckState(&onIt, nullptr, kBZ_OuToggleRemove), noErr);
  EXPECT_TRUE(speck.remove);
  EXPECT_EQ(Edits().size(), 1u) << "toggled back: no edit left";

  const Point beside{1, 1};
  EXPECT_EQ(alertSounds_, 0);
  ASSERT_EQ(BZ_OuToggleSpeckState(&beside, nullptr, kBZ_OuToggleRemove), noErr);
  EXPECT_EQ(alertSounds_, 1);
}

TEST_F(OutliersSpeckEdits, FaintSpotsAreFoundAtSmallerDistances) {
  const struct {
    UInt8 spotY;
    bool found;
  } cases[] = {{170, true}, {186, true}, {195, false}};  // 30, 14 and 5 below the surroundings
  for (const auto &c : cases) {
    SCOPED_TRACE(int(c.spotY));
    BZ_OuDisposeSpeckList(&ou()->speckList);
    Paint(0, 0, 16, 24, 200);
    Paint(5, 6, 8, 9, c.spotY);
    const Rect sel{4, 5, 9, 10};
    const int beeps = alertSounds_;
    ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&sel, 0), noErr);
    EXPECT_EQ(LL_PtrListCount(ou()->speckList), c.found ? 1 : 0);
    EXPECT_EQ(alertSounds_, beeps + (c.found ? 0 : 1));
  }
}

TEST_F(OutliersSpeckEdits, BrightSpotsAndNarrowOrTouchingSpecksAreRefused) {
  Paint(5, 6, 8, 9, 250);
  const Rect sel{4, 5, 9, 10};
  ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&sel, 0), noErr);
  ASSERT_EQ(LL_PtrListCount(ou()->speckList), 1);
  EXPECT_EQ(Speck(0).rgn.numPixels, 9);
  // The same spot again touches the first speck.
  ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&sel, 0), noErr);
  EXPECT_EQ(LL_PtrListCount(ou()->speckList), 1);
  EXPECT_EQ(alertSounds_, 1);
  // A thin line in a wide rectangle fills less than 70 % of its width.
  Paint(12, 4, 13, 6, 20);
  const Rect wide{10, 2, 15, 14};
  ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&wide, 0), noErr);
  EXPECT_EQ(LL_PtrListCount(ou()->speckList), 1);
  EXPECT_EQ(alertSounds_, 2);
  // A rectangle leaving the picture's buffer finds nothing.
  const Rect outside{-20, -20, 4, 4};
  ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&outside, 0), noErr);
  EXPECT_EQ(alertSounds_, 3);
}

TEST_F(OutliersSpeckEdits, ScratchesFollowTheModifierKeys) {
  const struct {
    UInt32 modifiers;
    BZ_OuOeType type;
    bool nw;
  } cases[] = {{0x800, kBZ_OuScratchNW, true}, {0x800 | 0x200, kBZ_OuScratchSW, false}};
  SInt16 left = 0;
  for (const auto &c : cases) {
    const Rect sel{2, left, 10, SInt16(left + 8)};
    ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&sel, c.modifiers), noErr);
    BZ_OuSpeckLE *last = static_cast<BZ_OuSpeckLE *>(LL_GetLastPtr(ou()->speckList));
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->speck.scratch);
    EXPECT_EQ(bool(last->speck.scratchNW), c.nw);
    EXPECT_EQ(Edits().back(), (BZ_OuOutlierEdit{0, c.type, sel}));
    // The band runs through the inset's corners on its diagonal.
    const SInt32 top = sel.top + 8 + 1, lft = sel.left + 8 + 1, bottom = sel.bottom + 8 - 2, right = sel.right + 8 - 2;
    const Point corner = c.nw ? Point{SInt16(top), SInt16(lft)} : Point{SInt16(bottom), SInt16(lft)};
    const Point opposite = c.nw ? Point{SInt16(bottom), SInt16(right)} : Point{SInt16(top), SInt16(right)};
    EXPECT_TRUE(RG_PtInRegion(width_, corner, &last->speck.rgn));
    EXPECT_TRUE(RG_PtInRegion(width_, opposite, &last->speck.rgn));
    left = SInt16(left + 12);
  }
}

TEST_F(OutliersSpeckEdits, RectangleTogglesEqualizeFirst) {
  const struct {
    std::vector<bool> removed;
    bool after;
    size_t edits;
  } cases[] = {
      {{true, true, false}, false, 3},  // all three become kept, each records an edit
      {{true, false}, true, 0},         // both kept, then toggled back to their initial removed state
  };
  for (const auto &c : cases) {
    BZ_OuDisposeSpeckList(&ou()->speckList);
    LL_DisposeLinkedList(&ou()->frameOutlierEditList.firstOe);
    Paint(0, 0, 16, 24, 200);
    SInt16 left = 0;
    for (bool removed : c.removed) {
      Paint(3, left + 1, 5, left + 5, 20);  // fills the rectangle's inset
      const Rect sel{2, left, 6, SInt16(left + 6)};
      ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&sel, 0), noErr);
      BZ_OuSpeckLE *last = static_cast<BZ_OuSpeckLE *>(LL_GetLastPtr(ou()->speckList));
      last->speck.remove = removed;  // toggled before; made removed
      left = SInt16(left + 7);
    }
    LL_DisposeLinkedList(&ou()->frameOutlierEditList.firstOe);
    const Rect all{0, 0, 16, 24};
    ASSERT_EQ(BZ_OuToggleSpeckState(nullptr, &all, kBZ_OuToggleRemove), noErr);
    for (BZ_OuSpeckLE *s = ou()->speckList; s != nullptr; s = s->next) EXPECT_EQ(bool(s->speck.remove), c.after);
    EXPECT_EQ(Edits().size(), c.edits);
  }
}

// Whatever mix of clicks and rectangle toggles (whose equalising changes states too) the user makes, the
// frame's recorded edits replay to the states the preview shows, with one toggle per changed speck at most.
TEST_F(OutliersSpeckEdits, TogglesAfterEqualisingReplayToThePreview) {
  const Point onFirst{3, 2}, onThird{3, 16};
  const Rect all{0, 0, 16, 24};
  const struct {
    const char *name;
    std::vector<std::pair<const Point *, BZ_OuOeType>> steps;  // NULL point: the rectangle over all specks
  } cases[] = {
      {"click, then rectangle", {{&onFirst, kBZ_OuToggleRemove}, {nullptr, kBZ_OuToggleRemove}}},
      {"rectangle twice", {{nullptr, kBZ_OuToggleRemove}, {nullptr, kBZ_OuToggleRemove}}},
      {"click, rectangle, click", {{&onFirst, kBZ_OuToggleRemove}, {nullptr, kBZ_OuToggleRemove}, {&onThird, kBZ_OuToggleRemove}}},
      {"interpolation mixed in",
       {{&onThird, kBZ_OuToggleInterpolation}, {nullptr, kBZ_OuToggleInterpolation}, {&onFirst, kBZ_OuToggleRemove},
        {nullptr, kBZ_OuToggleRemove}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    BZ_OuDisposeSpeckList(&ou()->speckList);
    LL_DisposeLinkedList(&ou()->frameOutlierEditList.firstOe);
    std::fill(flags_.begin(), flags_.end(), 0);
    Paint(0, 0, 16, 24, 200);
    for (SInt16 left : {0, 7, 14}) {
      Paint(3, left + 1, 5, left + 5, 20);
      const Rect sel{2, left, 6, SInt16(left + 6)};
      ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&sel, 0), noErr);
    }
    ASSERT_EQ(LL_PtrListCount(ou()->speckList), 3);
    for (const auto &[pt, type] : c.steps)
      ASSERT_EQ(BZ_OuToggleSpeckState(pt, pt == nullptr ? &all : nullptr, type), noErr);

    std::vector<UInt16> flags(flags_.size(), 0);
    BZ_OuSpeckLE *replayed = nullptr;
    ASSERT_EQ(BZ_OuImplementOutlierEditList(frame_.data(), flags.data(), pixelList_.data(),
                                            ou()->frameOutlierEditList.firstOe, &replayed),
              noErr);
    ASSERT_EQ(LL_PtrListCount(replayed), 3);
    for (BZ_OuSpeckLE *a = ou()->speckList, *b = replayed; a != nullptr && b != nullptr; a = a->next, b = b->next) {
      EXPECT_EQ(a->speck.number, b->speck.number);
      EXPECT_EQ(bool(a->speck.remove), bool(b->speck.remove)) << "speck " << a->speck.number;
      EXPECT_EQ(bool(a->speck.interpolateSpatially), bool(b->speck.interpolateSpatially)) << "speck " << a->speck.number;
      for (BZ_OuOeType type : {kBZ_OuToggleRemove, kBZ_OuToggleInterpolation}) {
        int count = 0;
        for (const BZ_OuOutlierEdit &e : Edits()) count += e.speckNum == a->speck.number && e.oeType == type;
        EXPECT_LE(count, 1) << "speck " << a->speck.number << ", type " << type;
      }
    }
    BZ_OuDisposeSpeckList(&replayed);
  }
}

TEST_F(OutliersSpeckEdits, ReplayingGivesTheRecordedNumbersAndStates) {
  Paint(5, 6, 8, 9, 20);
  BZ_OuOeLE *edits = nullptr;
  bz_test::AppendEdits(&edits, {bz_test::Drawn(kBZ_OuNewSpeck, 4, 5, 9, 10), bz_test::Drawn(kBZ_OuScratchNW, 2, 12, 10, 20),
                                Toggle(1), Toggle(0, kBZ_OuToggleInterpolation),
                                BZ_OuOutlierEdit{0, 9, Rect{0, 0, 0, 0}},
                                bz_test::Drawn(kBZ_OuScratchSW, -500, -500, 3000, 3000)});
  BZ_OuSpeckLE *list = nullptr;
  ASSERT_EQ(BZ_OuImplementOutlierEditList(frame_.data(), flags_.data(), pixelList_.data(), edits, &list), noErr);
  ASSERT_EQ(LL_PtrListCount(list), 2) << "an unknown type and a rectangle off the frame are skipped";
  EXPECT_EQ(list->speck.number, 0);
  EXPECT_FALSE(list->speck.scratch);
  EXPECT_TRUE(list->speck.interpolateSpatially);
  EXPECT_TRUE(list->speck.remove);
  EXPECT_EQ(list->next->speck.number, 1);
  EXPECT_TRUE(list->next->speck.scratch && list->next->speck.scratchNW);
  EXPECT_FALSE(list->next->speck.remove) << "toggled by its number";
  BZ_OuDisposeSpeckList(&list);
  LL_DisposeLinkedList(&edits);
}

TEST_F(OutliersSpeckEdits, EditsNeedTheStageToHaveRun) {
  p_.ou()->ouData[2 * k_] = nullptr;
  const Rect sel{4, 5, 9, 10};
  EXPECT_EQ(BZ_OuFindSpeckInSelectionRect(&sel, 0), paramErr);
  EXPECT_EQ(Edits().size(), 0u);
  EXPECT_EQ(BZ_OuUpdatePreviewAfterUserEdit(), paramErr);
}

// ---- Regions ----

TEST(OutliersRegions, GrowingJoinsSecondDegreeOnlyNextToFirstDegree) {
  const SInt32 w = 8;
  // Row 1: F S S ; row 2: F . .  (F first degree, S second degree): the second S touches no F.
  std::vector<UInt16> data(size_t(w) * 5, 0);
  auto at = [&](SInt32 r, SInt32 c) -> UInt16 & { return data[size_t(r * w + c)]; };
  at(1, 1) = 26;
  at(2, 1) = 26;
  at(1, 2) = 35;
  at(1, 3) = 35;
  std::vector<SInt32> pixelList(data.size());
  const Rect bounds{0, 0, 5, w};
  RG_Region rgn{};
  ASSERT_EQ(RG_ConstructRgn(w, &bounds, data.data(), 1 * w + 1, pixelList.data(), &rgn), noErr);
  EXPECT_EQ(rgn.numPixels, 3);
  EXPECT_EQ(rgn.numFirstDegreePixels, 2);
  EXPECT_EQ(rgn.numSecDegreePixels, 1);
  EXPECT_EQ(at(1, 3) & kRG_InRegion, 0);
  EXPECT_EQ(rgn.bounds.top, 1);
  EXPECT_EQ(rgn.bounds.bottom, 3);
  EXPECT_EQ(rgn.bounds.left, 1);
  EXPECT_EQ(rgn.bounds.right, 3);
  RG_CalcRgnSize(data.data(), &rgn);
  EXPECT_FLOAT_EQ(rgn.size, 2.3f);

  // The ring: the 8-neighbours of the three pixels inside bounds, each once.
  ASSERT_EQ(RG_FindRgnEdgeInnerRing(w, &bounds, data.data(), &rgn, pixelList.data()), noErr);
  EXPECT_EQ(rgn.edgeSize1, 12);  // rows 0-2 x columns 0-3 and row 3 x columns 0-2, less the region
  EXPECT_GE(rgn.pixelsSize, rgn.numPixels + rgn.edgeSize1);
  RG_DisposeRgn(&rgn);

  // Second-degree pixels join only next to a first-degree one; the last row of bounds looks no lower.
  std::vector<UInt16> lone(size_t(w) * 3, 35);
  lone[size_t(w + 3)] = 26;
  const Rect two{0, 0, 2, w};
  ASSERT_EQ(RG_ConstructRgn(w, &two, lone.data(), w + 3, pixelList.data(), &rgn), noErr);
  EXPECT_EQ(rgn.numPixels, 6);  // the seed and its five neighbours in rows 0-1, none beyond them
  EXPECT_EQ(lone[size_t(2 * w + 3)] & kRG_InRegion, 0);
  RG_DisposeRgn(&rgn);
}

}  // namespace
