// The outlier stage in a preview calculation through the main task's preview flow (the headless harness): the
// previewed frame's window, cleaned frame, flag plane and specks land in copies the preview owns; the user's
// toggle, new speck and scratch made on them afterwards update the cleaned and difference pictures; merged
// into the project's list, they replay in an execution to the picture the preview showed.
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "movie/movie_queries.h"
#include "platform/core/memory.h"
#include "outliers/outlier_edit_lists.h"
#include "outliers/outlier_test_support.h"
#include "outliers/speck_detector.h"
#include "outliers/speck_editing.h"
#include "support/method_harness.h"
#include "target_builder.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {
using namespace bz_test;
using Frames = std::vector<std::vector<uint8_t>>;

constexpr SInt32 kW = 96, kH = 64, kFrames = 12, kPreviewed = 5;

// A still, gently shaded clip; the previewed frame has a dark spot the detector finds (rows and columns 20 to
// 24, luma 20), a faint one it leaves to the user (rows 40 to 43, columns 60 to 63, 20 levels darker) and a
// faint diagonal scratch (from row 8, column 50 down to the right for 13 pixels).
Frames StillClipWithDamage() {
  std::vector<uint8_t> still(size_t(kW * kH * 2), 128);
  for (SInt32 y = 0; y < kH; ++y)
    for (SInt32 x = 0; x < kW; ++x) still[size_t(2 * (y * kW + x) + 1)] = UInt8(100 + x / 16);
  Frames frames(kFrames, still);
  auto luma = [&](SInt32 x, SInt32 y) -> uint8_t & { return frames[kPreviewed][size_t(2 * (y * kW + x) + 1)]; };
  for (SInt32 y = 20; y < 25; ++y)
    for (SInt32 x = 20; x < 25; ++x) luma(x, y) = 20;
  for (SInt32 y = 40; y < 44; ++y)
    for (SInt32 x = 60; x < 64; ++x) luma(x, y) = UInt8(luma(x, y) - 20);
  for (SInt32 i = 0; i < 13; ++i) luma(50 + i, 8 + i) = UInt8(luma(50 + i, 8 + i) - 20);
  return frames;
}

// The picture of a padded preview frame.
std::vector<uint8_t> Picture(const UInt8 *padded, SInt32 bufWidth) {
  std::vector<uint8_t> picture(size_t(kW * kH * 2));
  for (SInt32 y = 0; y < kH; ++y)
    std::copy_n(padded + 2 * size_t((y + 8) * bufWidth + 8), 2 * kW, picture.begin() + 2 * y * kW);
  return picture;
}

UInt8 LumaAt(const std::vector<uint8_t> &picture, SInt32 x, SInt32 y) { return picture[size_t(2 * (y * kW + x) + 1)]; }

// The preview's owned copies after the run, then a toggle, a new speck and a scratch made on them, merged into
// the project's list; *edited the cleaned picture the preview shows at the end.
void CheckAndEditPreview(BZ_OuPreviewData *pv, const Frames &source, std::vector<uint8_t> *edited) {
  SInt32 bufH = 0, bufW = 0;
  SInt64 size = 0;
  ASSERT_EQ(noErr, BZ_GetBufferSize(kH, kW, false, &bufH, &bufW, &size));
  const SInt32 k = gBZ.project->info.settings.cleaning.ou.numConstPix;
  // Owned copies: the window's frames and the cleaned frame lie in the preview's own block.
  ASSERT_NE(pv->windowCopies, nullptr);
  const UInt8 *own = pv->windowCopies, *ownEnd = own + pv->windowCopySize * (kBZ_OuNumPreviewInBuffers + 1);
  for (SInt32 i = 0; i <= 2 * k; ++i) {
    ASSERT_NE(pv->inBuffers[i], nullptr) << i;
    EXPECT_TRUE(pv->inBuffers[i] >= own && pv->inBuffers[i] < ownEnd) << "slot " << i << " is a pipeline buffer";
    EXPECT_TRUE(Picture(pv->inBuffers[i], bufW) == source[size_t(kPreviewed - k + i)]) << i;
  }
  ASSERT_NE(pv->outBuffer2vuy, nullptr);
  EXPECT_TRUE(pv->outBuffer2vuy >= own && pv->outBuffer2vuy < ownEnd);
  ASSERT_NE(pv->speckList, nullptr);
  EXPECT_EQ(pv->speckList->speck.number, kBZ_OuFirstAutoSpeckNum);
  EXPECT_EQ(LL_PtrListCount(pv->speckList), 1) << "only the dark spot is found";
  const std::vector<uint8_t> cleaned = Picture(pv->outBuffer2vuy, bufW);
  EXPECT_EQ(LumaAt(cleaned, 22, 22), LumaAt(source[0], 22, 22)) << "the detector's spot is replaced";
  EXPECT_EQ(LumaAt(cleaned, 61, 41), LumaAt(source[kPreviewed], 61, 41)) << "the faint spot is left";

  // The user keeps the detector's spot, marks the faint one and the scratch.
  const Point onSpot{22, 22};
  ASSERT_EQ(noErr, BZ_OuToggleSpeckState(&onSpot, nullptr, kBZ_OuToggleRemove));
  EXPECT_EQ(LumaAt(Picture(pv->outBuffer2vuy, bufW), 22, 22), 20) << "kept: the cleaned picture shows it";
  ASSERT_NE(pv->diffBuffer2vuy, nullptr);
  const std::vector<UInt8> diffBefore(pv->diffBuffer2vuy, pv->diffBuffer2vuy + size);
  const Rect aroundFaint{39, 59, 45, 65};
  ASSERT_EQ(noErr, BZ_OuFindSpeckInSelectionRect(&aroundFaint, 0));
  const Rect alongScratch{6, 48, 23, 65};
  ASSERT_EQ(noErr, BZ_OuFindSpeckInSelectionRect(&alongScratch, 0x800));
  ASSERT_EQ(LL_PtrListCount(pv->speckList), 3) << "the new speck and the scratch joined the list";
  *edited = Picture(pv->outBuffer2vuy, bufW);
  EXPECT_EQ(LumaAt(*edited, 61, 41), LumaAt(source[0], 61, 41)) << "the faint spot is replaced";
  EXPECT_EQ(LumaAt(*edited, 56, 14), LumaAt(source[0], 56, 14)) << "the scratch is replaced";
  EXPECT_FALSE(std::equal(diffBefore.begin(), diffBefore.end(), pv->diffBuffer2vuy)) << "difference unchanged";
  EXPECT_EQ(3, LL_PtrListCount(pv->frameOutlierEditList.firstOe)) << "one edit each";

  ASSERT_EQ(noErr, BZ_UpdateOutlierEditList());
}

TEST(OutlierPreviewRun, EditsOnThePreviewedFrameReplayInTheExecution) {
  OutlierProject p("src.mov");
  const Frames source = StillClipWithDamage();
  {
    ImageDescriptionHandle desc = NewFixtureImageDescription(kW, kH);
    ASSERT_EQ(noErr, WriteCompressedMovie(p.File("src.mov"), desc, source));
    DisposeHandle(reinterpret_cast<Handle>(desc));
  }
  SInt32 bufH = 0, bufW = 0;
  SInt64 size = 0;
  ASSERT_EQ(noErr, BZ_GetBufferSize(kH, kW, false, &bufH, &bufW, &size));
  // The preview's pictures (before, after, difference) and the previewed frame's edits, empty so far.
  std::vector<UInt8> rgb(size_t(size) * 6, 0);
  p.answers().preview.buffersRGB = rgb.data();
  p.answers().preview.buffersRGBSize = SInt64(rgb.size());
  BZ_OuPreviewData *pv = p.ouPreview();
  pv->frameOutlierEditList.frameNum = kPreviewed;
  BZ_CleaninSett cleaning = NoCleaning();
  cleaning.ou.apply = true;
  p.ou()->ouSett = cleaning.ou;  // the settings the edit list belongs to
  MethodRunOptions preview;
  preview.kind = MethodRunKind::kPreview;
  preview.previewFrame = kPreviewed;
  preview.cleaning = cleaning;
  preview.workers = 4;
  preview.previewData = &p.answers().preview;
  // What the preview left, and the user's edits, while the dialog is still open.
  std::vector<uint8_t> edited;
  preview.atRunEnd = [&] {
    const BZ_EngineHost harnessHost = *BZ_GetEngineHost();
    BZ_EngineHost host = harnessHost;
    host.previewWindowExists = [](void *) { return Boolean(true); };
    host.postCustomEvent = [](void *, UInt32, const BZ_EventParam *, ItemCount) { return OSStatus(noErr); };
    host.playAlertSound = [](void *) {};
    BZ_SetEngineHost(&host);
    CheckAndEditPreview(pv, source, &edited);
    BZ_SetEngineHost(&harnessHost);
  };
  const MethodRunResult pr = RunMethodProject(p.dir(), preview);
  ASSERT_EQ(noErr, pr.error);
  EXPECT_EQ(pr.sourceHashBefore, pr.sourceHashAfter);
  ASSERT_FALSE(edited.empty());
  EXPECT_EQ(3, LL_PtrListCount(BZ_OuFindFrameOutlierEditList(kPreviewed))) << "merged into the project's list";

  // The merged edits replay in an execution to the preview's picture.
  MethodRunOptions execute;
  execute.cleaning = cleaning;
  execute.workers = 3;
  execute.keepOutlierEdits = true;
  const MethodRunResult er = RunMethodProject(p.dir(), execute);
  ASSERT_EQ(0, er.code);
  EXPECT_EQ(er.sourceHashBefore, er.sourceHashAfter);
  const Frames out = MovieFrames(p.File("out.mov"));
  ASSERT_EQ(size_t(kFrames), out.size());
  for (SInt32 f = 0; f < kFrames; ++f)
    EXPECT_TRUE(out[size_t(f)] == (f == kPreviewed ? edited : source[size_t(f)])) << "frame " << f;
}

}  // namespace
