// One window position of the outlier stage (BZ_OuRemoveOutliers): the cleaned frame with the detector's specks
// and the replayed edits (toggles by number reaching both kinds), the debug pictures chosen by the switch record, and the preview's
// own copies, on which the speck editing then works and whose merged edits replay to the same picture.
#include "outliers/outlier_worker.h"

#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "outlier_test_support.h"
#include "outliers/speck_detector.h"
#include "outliers/speck_editing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using bz_test::Drawn;

// 16 x 24 pictures in 40 x 32 padded frames (picture from padded row 8, column 8), a window of 9 frames of
// luma 200 whose centre has two dark spots: A, 20 levels darker (too faint for the detector, so the user
// marks it), and B at luma 20 (the detector finds it); the worker's planes and the preview's pictures.
class OutliersWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(BZ_OuMakeParamsFromProject(p_.project(), &params_), noErr);
    ASSERT_EQ(BZ_GetBufferSize(16, 24, false, &height_, &width_, &size_), noErr);
    k_ = params_.sett->numConstPix;
    frames_.assign(size_t(4 * k_ + 1), Plain(200));
    for (SInt32 i = 0; i < 4 * k_ + 1; ++i) window_[i] = frames_[size_t(i)].data();
    Paint(frames_[size_t(2 * k_)], 5, 6, 8, 9, 180);    // spot A
    Paint(frames_[size_t(2 * k_)], 5, 15, 8, 18, 20);   // spot B
    out_.assign(size_t(size_), 0);
    data_.assign(size_t(width_) * size_t(height_), 0xFFFF);
    pixelList_.assign(size_t(width_) * size_t(height_), 0);
    rgb_.assign(size_t(size_) * 6, 0);
    p_.answers().preview.buffersRGB = rgb_.data();
    BZ_EngineHost host = *BZ_GetEngineHost();
    host.postCustomEvent = [](void *, UInt32, const BZ_EventParam *, ItemCount) { return OSStatus(noErr); };
    host.playAlertSound = [](void *) {};
    BZ_SetEngineHost(&host);
  }
  void TearDown() override { BZ_OuSetPictureSwitches(nullptr); }

  std::vector<UInt8> Plain(UInt8 y) {
    std::vector<UInt8> f(size_t(size_), 128);
    for (size_t b = 1; b < f.size(); b += 2) f[b] = y;
    return f;
  }
  void Paint(std::vector<UInt8> &f, SInt32 top, SInt32 left, SInt32 bottom, SInt32 right, UInt8 y) {
    for (SInt32 r = top; r < bottom; ++r)
      for (SInt32 c = left; c < right; ++c) f[2 * size_t((r + 8) * width_ + c + 8) + 1] = y;
  }
  // The padded frame's bytes (the buffers are larger: they are made for interlaced frames too).
  bool SamePicture(const UInt8 *a, const UInt8 *b) {
    return std::equal(a, a + 2 * size_t(width_) * size_t(height_), b);
  }
  UInt8 LumaAt(const UInt8 *f, SInt32 r, SInt32 c) { return f[2 * size_t((r + 8) * width_ + c + 8) + 1]; }
  OSStatus Run(const BZ_OuOeLE *edits, const BZ_OuPreviewTarget *preview) {
    SInt32 av[kBZ_OuNumWindowSlots] = {}, nums[kBZ_OuNumWindowSlots];
    for (SInt32 i = 0; i < kBZ_OuNumWindowSlots; ++i) nums[i] = 10 + i;
    return BZ_OuRemoveOutliers(&params_, av, nums, window_, out_.data(), pixelList_.data(), data_.data(), nullptr,
                               edits, preview, nullptr);
  }

  bz_test::OutlierProject p_;
  BZ_OuParams params_{};
  SInt32 height_ = 0, width_ = 0, k_ = 0;
  SInt64 size_ = 0;
  std::vector<std::vector<UInt8>> frames_;
  UInt8 *window_[kBZ_OuNumWindowSlots] = {};
  std::vector<UInt8> out_, rgb_;
  std::vector<UInt16> data_;
  std::vector<SInt32> pixelList_;
};

TEST_F(OutliersWorker, CleanedFrameHasTheFoundAndEditedSpecksReplaced) {
  // No edits: the detector's speck B is filled from the neighbours, whatever the flag plane held; the faint
  // spot A stays.
  ASSERT_EQ(Run(nullptr, nullptr), noErr);
  EXPECT_EQ(LumaAt(out_.data(), 6, 16), 200);
  EXPECT_EQ(LumaAt(out_.data(), 6, 7), 180);
  // A new speck around spot A: filled too.
  BZ_OuOeLE *edits = nullptr;
  bz_test::AppendEdits(&edits, {Drawn(kBZ_OuNewSpeck, 4, 5, 9, 10)});
  ASSERT_EQ(Run(edits, nullptr), noErr);
  EXPECT_EQ(LumaAt(out_.data(), 6, 7), 200);
  EXPECT_EQ(LumaAt(out_.data(), 6, 16), 200);
  // Both toggled back by their numbers, the user's counting from 0 and the detector's from 1,000,000:
  // both kept, the frame as it came.
  bz_test::AppendEdits(&edits, {bz_test::Toggle(0), bz_test::Toggle(kBZ_OuFirstAutoSpeckNum)});
  ASSERT_EQ(Run(edits, nullptr), noErr);
  EXPECT_TRUE(SamePicture(out_.data(), frames_[size_t(2 * k_)].data()));
  LL_DisposeLinkedList(&edits);
  // A toggle of a number nobody has changes nothing: an edit file from before the detector cannot hit it.
  bz_test::AppendEdits(&edits, {bz_test::Toggle(1)});
  ASSERT_EQ(Run(edits, nullptr), noErr);
  EXPECT_EQ(LumaAt(out_.data(), 6, 16), 200);
  LL_DisposeLinkedList(&edits);
  // No centre frame or no output: nothing is written.
  std::fill(out_.begin(), out_.end(), 7);
  UInt8 *centre = window_[2 * k_];
  window_[2 * k_] = nullptr;
  ASSERT_EQ(Run(nullptr, nullptr), noErr);
  EXPECT_TRUE(std::all_of(out_.begin(), out_.end(), [](UInt8 v) { return v == 7; }));
  window_[2 * k_] = centre;
}

TEST_F(OutliersWorker, SwitchesChooseTheDebugPicture) {
  BZ_OuPictureSwitches s{};
  s.printingSkeletons = true;
  BZ_OuSetPictureSwitches(&s);
  ASSERT_EQ(Run(nullptr, nullptr), noErr);
  for (size_t b = 0; b < 2 * size_t(width_) * size_t(height_); b += 2) ASSERT_TRUE(out_[b] == 128 && out_[b + 1] == 0) << b;
  BZ_OuSetPictureSwitches(nullptr);
  BZ_OuGetPictureSwitches(&s);
  EXPECT_TRUE(s.replacing && !s.printingSkeletons);
  // With every switch off the output is the centre frame itself.
  s = BZ_OuPictureSwitches{};
  BZ_OuSetPictureSwitches(&s);
  BZ_OuOeLE *edits = nullptr;
  bz_test::AppendEdits(&edits, {Drawn(kBZ_OuNewSpeck, 4, 5, 9, 10)});
  ASSERT_EQ(Run(edits, nullptr), noErr);
  EXPECT_TRUE(SamePicture(out_.data(), frames_[size_t(2 * k_)].data()));
  LL_DisposeLinkedList(&edits);
}

// The previewed frame's position leaves copies the preview owns; the edit path works on them after the
// pipeline's buffers are reused, and the edits merged into the project list replay to the preview's picture.
TEST_F(OutliersWorker, PreviewKeepsOwnCopiesThatTheEditingUses) {
  BZ_OuPreviewData *pv = p_.ouPreview();
  ASSERT_EQ(BZ_OuMakeCaches(p_.ou(), width_, height_, 4 * k_ + 1, 1), noErr);
  ASSERT_EQ(BZ_OuEnsurePreviewWindowCopies(pv, size_t(size_)), noErr);
  const BZ_OuPreviewTarget target{pv, p_.ou(), size_t(size_)};
  BZ_OuOeLE *edits = nullptr;
  bz_test::AppendEdits(&edits, {Drawn(kBZ_OuNewSpeck, 4, 5, 9, 10)});
  ASSERT_EQ(Run(edits, &target), noErr);
  // The detector's speck B first, then the user's A, numbered among the user's specks.
  ASSERT_EQ(LL_PtrListCount(pv->speckList), 2);
  EXPECT_EQ(pv->speckList->speck.number, kBZ_OuFirstAutoSpeckNum);
  EXPECT_FALSE(pv->speckList->speck.createdByUser);
  EXPECT_EQ(pv->speckList->next->speck.number, 0);
  EXPECT_TRUE(SamePicture(out_.data(), pv->outBuffer2vuy));
  for (SInt32 i = 0; i <= 2 * k_; ++i) {
    EXPECT_NE(pv->inBuffers[i], window_[k_ + i]) << "a copy, not the pipeline's buffer";
    EXPECT_TRUE(SamePicture(frames_[size_t(k_ + i)].data(), pv->inBuffers[i])) << i;
  }
  EXPECT_TRUE(std::equal(data_.begin(), data_.end(), p_.ou()->ouData[2 * k_])) << "the flag plane";
  // The pipeline's buffers go on to other frames.
  for (auto &f : frames_) std::fill(f.begin(), f.end(), 0);

  // The user toggles spot A back and the detector's spot B too, then marks a scratch.
  p_.answers().previewOpen = true;
  pv->frameOutlierEditList.frameNum = 10 + 2 * k_;
  bz_test::AppendEdits(&pv->frameOutlierEditList.firstOe, {Drawn(kBZ_OuNewSpeck, 4, 5, 9, 10)});
  const Point onA{6, 7};
  ASSERT_EQ(BZ_OuToggleSpeckState(&onA, nullptr, kBZ_OuToggleRemove), noErr);
  EXPECT_EQ(LumaAt(pv->outBuffer2vuy, 6, 7), 180) << "kept: the cleaned picture shows it again";
  EXPECT_EQ(LumaAt(pv->outBuffer2vuy, 6, 16), 200) << "spot B removed by the detector";
  {
    // The detector's removed speck has the automatic specks' colours (code 30) in the difference picture.
    float gamma = 0;
    ASSERT_EQ(BZ_GetInternalGamma(p_.project(), nullptr, &gamma, nullptr, nullptr), noErr);
    const UInt8 *diff = rgb_.data() + 4 * size_t(size_);
    const size_t at = 4 * size_t((6 + 8) * width_ + 16 + 8);
    for (const SInt32 code : {SInt32(kBZ_OuColorAutoSpeck), SInt32(kBZ_OuColorUserSpeck)}) {
      std::vector<UInt8> expected(diff, diff + 2 * size_t(size_));  // one ARGB picture
      BZ_OuColorSpeckDiffs(&pv->speckList->speck, gamma, code, pv->diffBuffer2vuy, expected.data());
      EXPECT_EQ(std::equal(diff + at + 1, diff + at + 4, expected.data() + at + 1), code == kBZ_OuColorAutoSpeck)
          << "code " << code;
    }
  }
  const Point onB{6, 16};
  ASSERT_EQ(BZ_OuToggleSpeckState(&onB, nullptr, kBZ_OuToggleRemove), noErr);
  EXPECT_EQ(LumaAt(pv->outBuffer2vuy, 6, 16), 20) << "spot B kept";
  EXPECT_TRUE(BZ_OuFindOutlierEdit(pv->frameOutlierEditList.firstOe, kBZ_OuFirstAutoSpeckNum, kBZ_OuToggleRemove));
  const Rect scratch{10, 2, 15, 12};
  ASSERT_EQ(BZ_OuFindSpeckInSelectionRect(&scratch, 0x800), noErr);
  ASSERT_EQ(LL_PtrListCount(pv->speckList), 3);
  EXPECT_EQ(pv->speckList->next->next->speck.number, 1) << "the user's second speck";
  // The difference picture colours the detector's kept speck B: its ARGB differs from the grey of untouched
  // pixels.
  const UInt8 *diff = rgb_.data() + 4 * size_t(size_);
  const size_t b = 4 * size_t((6 + 8) * width_ + 16 + 8), grey = 4 * size_t((1 + 8) * width_ + 1 + 8);
  EXPECT_FALSE(std::equal(diff + b + 1, diff + b + 4, diff + grey + 1));

  // Merged into the project list, the frame's edits replay in a later run to the preview's cleaned frame.
  ASSERT_EQ(BZ_UpdateOutlierEditList(), noErr);
  const BZ_OuOeLE *merged = BZ_OuFindFrameOutlierEditList(10 + 2 * k_);
  ASSERT_NE(merged, nullptr);
  frames_.assign(size_t(4 * k_ + 1), Plain(200));
  for (SInt32 i = 0; i < 4 * k_ + 1; ++i) window_[i] = frames_[size_t(i)].data();
  Paint(frames_[size_t(2 * k_)], 5, 6, 8, 9, 180);
  Paint(frames_[size_t(2 * k_)], 5, 15, 8, 18, 20);
  ASSERT_EQ(Run(merged, nullptr), noErr);
  EXPECT_TRUE(SamePicture(out_.data(), pv->outBuffer2vuy));
  LL_DisposeLinkedList(&edits);
}

}  // namespace
