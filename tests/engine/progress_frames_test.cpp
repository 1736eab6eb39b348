// Progress frames: when a stage hands a frame to the main thread (a host that shows frames, the due mark
// taken once), the stage's wait for the display (answered, or ended by a stop), and the completion of the
// display's decompression (the display stage released also after a failure, the redraw asked for, the record
// freed).
#include "engine/runtime/progress_frames.h"

#include "engine/compress_stage.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "platform/core/memory.h"
#include "support/engine_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The events a stage posts, and an optional answer of the main thread: a flag set on an event at once.
struct DisplayHost {
  Boolean shows = true;
  std::vector<UInt32> kinds;
  std::vector<SInt16> items;
  const BZ_FrameBuffInfo *frame = nullptr;
  MPEventID answerEvent = nullptr;
  MPEventFlags answerFlags = 0;

  void Install() {
    BZ_EngineHost h{};
    h.refCon = this;
    h.showsProgressFrames = [](void *r) { return static_cast<DisplayHost *>(r)->shows; };
    h.postCustomEvent = [](void *r, UInt32 kind, const BZ_EventParam *params, ItemCount count) {
      auto *self = static_cast<DisplayHost *>(r);
      self->kinds.push_back(kind);
      for (ItemCount i = 0; i < count; ++i) {
        if (params[i].name == kBZ_FrameBuffInfoEventParam)
          self->frame = *static_cast<BZ_FrameBuffInfo *const *>(params[i].data);
        if (params[i].name == kBZ_ItemEventParam) self->items.push_back(*static_cast<const SInt16 *>(params[i].data));
      }
      if (self->answerEvent != nullptr) MPSetEvent(self->answerEvent, self->answerFlags);
      return OSStatus(noErr);
    };
    BZ_SetEngineHost(&h);
  }
};

struct HandOverCase {
  const char *name;
  Boolean hostShows, due;
  bool handedOver;
};
void PrintTo(const HandOverCase &c, std::ostream *os) { *os << c.name; }

class ProgressFrameHandOver : public ::testing::TestWithParam<HandOverCase> {};

TEST_P(ProgressFrameHandOver, OnlyADueFrameOfAShowingHostGoesToTheMainThread) {
  const HandOverCase &c = GetParam();
  bz_test::CurrentProject project;
  DisplayHost host;
  host.shows = c.hostShows;
  host.Install();
  project->progress.show = c.due;
  UInt8 pixels[64] = {};
  BZ_FrameBuffInfo frame{};
  frame.ptr = pixels;
  frame.actualSize = sizeof pixels;

  Boolean showing = true;
  ASSERT_EQ(BZ_StartShowingProgressFrame(project.get(), &frame, &showing), noErr);
  EXPECT_EQ(showing, Boolean(c.handedOver));
  if (c.handedOver) {
    EXPECT_EQ(host.kinds, std::vector<UInt32>{kBZ_ShowProgressFrameEvent});
    EXPECT_EQ(host.frame, &frame);
    EXPECT_EQ(project->progress.ptr.load(), pixels);
    EXPECT_EQ(project->progress.size, SInt32(sizeof pixels));
    EXPECT_FALSE(project->progress.show) << "the mark is taken: the next frame waits for the next tick";
    ASSERT_EQ(BZ_StartShowingProgressFrame(project.get(), &frame, &showing), noErr);
    EXPECT_FALSE(showing);
    EXPECT_EQ(host.kinds.size(), 1u);
  } else {
    EXPECT_TRUE(host.kinds.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressFrameHandOver,
                         ::testing::Values(HandOverCase{"DueFrameIsHandedOver", true, true, true},
                                           HandOverCase{"FrameNotDueStaysWithTheStage", true, false, false},
                                           HandOverCase{"HostWithoutWindowShowsNone", false, true, false}),
                         [](const ::testing::TestParamInfo<HandOverCase> &info) {
                           return std::string(info.param.name);
                         });

TEST(ProgressFrameWait, StageWaitsForTheDisplayOrItsStop) {
  bz_test::CurrentProject project;
  DisplayHost host;
  host.Install();
  MPEventID event = nullptr;
  ASSERT_EQ(MPCreateEvent(&event), noErr);
  UInt8 pixels[16] = {};
  BZ_FrameBuffInfo frame{};
  frame.ptr = pixels;

  // The main thread answers with the display flag and an unrelated one.
  host.answerEvent = event;
  host.answerFlags = kBZ_DisplayDecompressDoneFlag | kBZ_NoiseFrameReleasedFlag;
  project->progress.show = true;
  MPEventFlags expected = kBZ_NoiseFrameReleasedFlag | kBZ_CompressionDoneFlag;
  EXPECT_EQ(BZ_ShowProgressFrame(project.get(), &frame, event, &expected), noErr);
  EXPECT_EQ(expected, MPEventFlags(kBZ_CompressionDoneFlag)) << "every flag that arrived is removed";

  // A stop instead of the answer ends the wait.
  host.answerFlags = kBZ_StopTaskFlag;
  project->progress.show = true;
  expected = 0;
  EXPECT_EQ(BZ_ShowProgressFrame(project.get(), &frame, event, &expected), userCanceledErr);

  // Nothing due: no wait at all.
  host.answerEvent = nullptr;
  expected = 0;
  EXPECT_EQ(BZ_ShowProgressFrame(project.get(), &frame, event, &expected), noErr);
  EXPECT_EQ(expected, 0u);
  MPDeleteEvent(event);
}

// ---- The display's decompression completion ----------------------------------------------------------------

class DecompressCompletion : public ::testing::Test {
 protected:
  void SetUp() override {
    gBZ.numProcessors = 1;
    host_.Install();
    bz_test::DescribeSource(project_.statMovInfo(), 0, 16, 32, 3, '2vuy');
    BZ_MakeDefaultProjSett(project_.statMovInfo(), &project_->info.settings);
    project_->info.settings.output.cType = 'jpeg';
    project_->state.exec = kBZ_ProjStateBeingOpened;  // the table gets its compress stage
    ASSERT_EQ(BZ_CreateBuffers(), noErr);
    project_->state.exec = kBZ_ProjStateExecuting;
    display_ = BZ_GetDisplayBuffer(project_.get());
    ASSERT_NE(display_, nullptr);
    ASSERT_EQ(display_, BZ_GetComprBuffInfo(project_->dynIO_Info.buffInfo)) << "the compress stage shows frames";
    ASSERT_EQ(MP_RecreateEvent(&display_->event), noErr);
  }
  void TearDown() override {
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    gBZ.numProcessors = 0;
  }

  // A heap record as the main thread makes it; the procedure frees it (ASan reports it otherwise).
  BZ_CompressData *NewRecord() {
    auto *record = static_cast<BZ_CompressData *>(std::calloc(1, sizeof(BZ_CompressData)));
    record->project = project_.get();
    return record;
  }
  MPEventFlags Flags() {
    MPEventFlags flags = 0;
    MPWaitForEvent(display_->event, &flags, kDurationImmediate);
    return flags;
  }

  bz_test::CurrentProject project_;
  DisplayHost host_;
  BZ_BuffInfo *display_ = nullptr;
};

TEST_F(DecompressCompletion, BothSidesReleaseTheStageAndAskForTheRedraw) {
  BZ_DecompressCompletionProc(noErr, codecCompletionSource | codecCompletionDest,
                              long(reinterpret_cast<intptr_t>(NewRecord())));
  EXPECT_TRUE(Flags() & kBZ_DisplayDecompressDoneFlag);
  EXPECT_EQ(host_.kinds, std::vector<UInt32>{kBZ_SetNeedsDisplayEvent});
  EXPECT_EQ(host_.items, std::vector<SInt16>{2081});
  EXPECT_EQ(project_->state.error, noErr);
}

TEST_F(DecompressCompletion, SidesMayCompleteApart) {
  BZ_CompressData *record = NewRecord();
  BZ_DecompressCompletionProc(noErr, codecCompletionSource, long(reinterpret_cast<intptr_t>(record)));
  EXPECT_TRUE(Flags() & kBZ_DisplayDecompressDoneFlag) << "the source frame is free as soon as it is read";
  EXPECT_TRUE(host_.kinds.empty());
  BZ_DecompressCompletionProc(noErr, codecCompletionDest, long(reinterpret_cast<intptr_t>(record)));
  EXPECT_EQ(host_.kinds, std::vector<UInt32>{kBZ_SetNeedsDisplayEvent});
}

TEST_F(DecompressCompletion, FailureStillReleasesTheStage) {
  BZ_DecompressCompletionProc(codecErr, 0, long(reinterpret_cast<intptr_t>(NewRecord())));
  EXPECT_TRUE(Flags() & kBZ_DisplayDecompressDoneFlag) << "the stage waiting for the display goes on";
  EXPECT_EQ(project_->state.error, codecErr);
  EXPECT_TRUE(host_.kinds.empty()) << "nothing to draw";
  BZ_DecompressCompletionProc(noErr, codecCompletionSource | codecCompletionDest, 0);  // no record: printed only
}

}  // namespace
