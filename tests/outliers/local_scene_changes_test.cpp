// Local scene changes: which pixels change between the earlier and later frames of the window, the changed
// areas with their holes marked in the plane and drawn as a picture, and the whole-plane cases of the update.
#include "outliers/local_scene_changes.h"

#include "engine/runtime/stage_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

// k = 1: slot 1 is the earlier group, slots 2 and 3 the later one.
class OutliersLocalSceneChanges : public ::testing::Test {
 protected:
  void SetUp() override {
    BZ_MakeDefaultOuSett(&sett_);
    sett_.numConstPix = 1;
    params_.sett = &sett_;
    params_.numInBuffers = 5;
    params_.inWidth = 24;
    params_.inHeight = 16;
    SInt64 size = 0;
    ASSERT_EQ(BZ_GetBufferSize(16, 24, false, &params_.height, &params_.width, &size), noErr);
    frames_.assign(5, std::vector<UInt8>(size_t(size), 100));
    for (SInt32 i = 0; i < 5; ++i) window_[i] = frames_[size_t(i)].data();
    const size_t plane = size_t(params_.width) * size_t(params_.height);
    data_.assign(plane, 0);
    pixelList_.assign(plane, 0);
    planeBytes_.assign(plane, 0);
    for (SInt32 i = 0; i < 5; ++i) planes_[i] = nullptr;
    planes_[2] = planeBytes_.data();
  }
  SInt32 Index(SInt32 x, SInt32 y) const { return (y + 8) * params_.width + x + 8; }
  UInt8 &Luma(SInt32 slot, SInt32 x, SInt32 y) { return frames_[size_t(slot)][2 * size_t(Index(x, y)) + 1]; }
  UInt8 Marked(SInt32 x, SInt32 y) const { return planeBytes_[size_t(Index(x, y))]; }

  BZ_OuSett sett_{};
  BZ_OuParams params_{};
  std::vector<std::vector<UInt8>> frames_;
  UInt8 *window_[kBZ_OuNumWindowSlots] = {};
  SInt32 av_[kBZ_OuNumWindowSlots] = {};
  std::vector<UInt16> data_;
  std::vector<SInt32> pixelList_;
  std::vector<UInt8> planeBytes_;
  UInt8 *planes_[kBZ_OuNumWindowSlots] = {};
};

TEST_F(OutliersLocalSceneChanges, PixelsAreClassifiedByHowFarTheirRangesLie) {
  // d = maxAvPixelDiff = 30. Earlier slot 1, later slots 2 and 3, one pixel per case in row 2.
  struct Case {
    int early, late1, late2;
    UInt16 degree;
    const char *what;
  } cases[] = {
      {100, 131, 140, 0x10, "later range 31 above"},
      {100, 130, 140, 0x20, "later range exactly 30 above"},
      {170, 100, 139, 0x10, "later range 31 below"},
      {100, 90, 110, 0, "ranges overlap"},
      {100, 101, 101, 0x20, "one level apart"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const SInt32 x = 2 + 3 * SInt32(i);
    Luma(1, x, 2) = UInt8(cases[i].early);
    Luma(2, x, 2) = UInt8(cases[i].late1);
    Luma(3, x, 2) = UInt8(cases[i].late2);
  }
  ASSERT_EQ(BZ_OuCalcLocalSceneChanges(&params_, window_, data_.data(), pixelList_.data(), planes_[2]), noErr);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    const SInt32 x = 2 + 3 * SInt32(i);
    EXPECT_EQ(data_[size_t(Index(x, 2))] & 0x30, cases[i].degree);
    EXPECT_EQ(Marked(x, 2), cases[i].degree == 0x10 ? 1 : 0) << "lone second degree is not marked";
  }
}

TEST_F(OutliersLocalSceneChanges, ChangedAreasAndTheirHolesAreMarkedAndDrawn) {
  // An object enters: a ring of pixels 100 -> 200 around an unchanged centre, and a faint fringe.
  for (SInt32 y = 4; y < 9; ++y)
    for (SInt32 x = 4; x < 9; ++x)
      if (x == 4 || x == 8 || y == 4 || y == 8) Luma(2, x, y) = Luma(3, x, y) = 200;
  Luma(2, 9, 6) = Luma(3, 9, 6) = 120;  // second degree next to the ring: joins
  Luma(2, 20, 12) = Luma(3, 20, 12) = 120;  // second degree alone: does not
  ASSERT_EQ(BZ_OuCalcLocalSceneChanges(&params_, window_, data_.data(), pixelList_.data(), planes_[2]), noErr);
  SInt32 marked = 0;
  for (SInt32 y = 0; y < 16; ++y)
    for (SInt32 x = 0; x < 24; ++x) {
      const bool inside = x >= 4 && x < 9 && y >= 4 && y < 9;
      const bool expected = inside || (x == 9 && y == 6);
      EXPECT_EQ(Marked(x, y), expected ? 1 : 0) << x << "," << y;
      marked += Marked(x, y);
    }
  EXPECT_EQ(marked, 26);  // 16 ring, 9 hole, 1 fringe
  std::vector<UInt8> picture(2 * planeBytes_.size(), 0);
  BZ_OuCopySceneChangesToBuffer(&params_, planes_[2], picture.data());
  for (SInt32 p : {Index(6, 6), Index(4, 4)}) {
    EXPECT_EQ(picture[2 * size_t(p)], 128);
    EXPECT_EQ(picture[2 * size_t(p) + 1], 128);
  }
  EXPECT_EQ(picture[2 * size_t(Index(0, 0))], 128);
  EXPECT_EQ(picture[2 * size_t(Index(0, 0)) + 1], 255);
  EXPECT_EQ(picture[1], 255) << "the padding is drawn too";
}

TEST_F(OutliersLocalSceneChanges, TheUpdateSetsClearsOrComputesTheCentrePlane) {
  Luma(2, 3, 3) = Luma(3, 3, 3) = 200;
  struct Case {
    const char *what;
    SInt32 cutAfter;    // -1: none
    SInt32 emptySlot;   // -1: none
    int expectedAt33;   // the plane at the changed pixel
    int expectedElse;   // and elsewhere
  } cases[] = {
      {"no cut: computed", -1, -1, 1, 0},
      {"a cut just before the centre: the whole plane", 1, -1, 1, 1},
      {"a cut after the centre: cleared", 2, -1, 0, 0},
      {"slot 3k empty: cleared", -1, 3, 0, 0},
      {"a cut before slot k does not matter", 0, -1, 1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    for (SInt32 i = 0; i < 5; ++i) window_[i] = frames_[size_t(i)].data();
    for (SInt32 &v : av_) v = 0;
    if (c.cutAfter >= 0) av_[c.cutAfter] = 200;
    if (c.emptySlot >= 0) window_[c.emptySlot] = nullptr;
    std::fill(planeBytes_.begin(), planeBytes_.end(), 7);
    ASSERT_EQ(BZ_OuDoNextSceneChanges(&params_, av_, window_, data_.data(), pixelList_.data(), planes_), noErr);
    EXPECT_EQ(Marked(3, 3), c.expectedAt33);
    EXPECT_EQ(Marked(10, 10), c.expectedElse);
    EXPECT_EQ(planeBytes_[0], c.expectedElse) << "the padding too";
  }
  // Without a plane for the centre slot nothing is written; no slot past the window is read.
  planes_[2] = nullptr;
  EXPECT_EQ(BZ_OuDoNextSceneChanges(&params_, av_, window_, data_.data(), pixelList_.data(), planes_), noErr);
}

TEST_F(OutliersLocalSceneChanges, ListsAreNumberedAndDisposed) {
  data_[size_t(Index(1, 1))] = 0x10;
  data_[size_t(Index(5, 1))] = 0x10;
  RG_RgnLE *list = nullptr;
  ASSERT_EQ(BZ_OuFindLocalSceneChanges(&params_, data_.data(), pixelList_.data(), &list), noErr);
  ASSERT_EQ(LL_PtrListCount(list), 2);
  EXPECT_EQ(list->number, 0);
  EXPECT_EQ(list->next->number, 1);
  EXPECT_EQ(list->rgn.pixelsSize, list->rgn.numPixels);
  data_[size_t(Index(9, 9))] = 0x10;
  ASSERT_EQ(BZ_OuConstructLocalSceneChange(&params_, data_.data(), Index(9, 9), pixelList_.data(), &list), noErr);
  EXPECT_EQ(LL_PtrListCount(list), 3);
  BZ_OuDisposeLocalSceneChanges(&list);
  EXPECT_EQ(list, nullptr);
  BZ_OuSetGlobalSceneChange(&params_, planeBytes_.data());
  EXPECT_EQ(std::count(planeBytes_.begin(), planeBytes_.end(), 1), SInt64(planeBytes_.size()));
  BZ_OuClearLocalSceneChanges(&params_, planeBytes_.data());
  EXPECT_EQ(std::count(planeBytes_.begin(), planeBytes_.end(), 0), SInt64(planeBytes_.size()));
}

}  // namespace
