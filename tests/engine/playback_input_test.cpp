// Sources that are drawn rather than read: opened for playback by the set-up of a run, the movie draws into a
// world over its copy stage's one buffer (4:2:2, 4:2:0 for MPEG-2, ARGB when it draws no 4:2:2), gets that
// world back after the table is rebuilt, and each drawing posts the buffer to the copy stage, or, when it
// failed, its error to the main task.
#include "engine/project_start.h"

#include "engine/closing_saving.h"
#include "engine/read_stage.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "movie/codecs.h"
#include "movie/movie_time.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using bz_test::FromWord;

class PlaybackInput : public ::testing::Test {
 protected:
  void SetUp() override {
    gBZ.numProcessors = 1;
    ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.inputQueue), noErr);
    ASSERT_EQ(MPCreateQueue(&copyTask_.inputQueue), noErr);
    spec_.withSound = false;
    path_ = dir_.File("src.mov");
    ASSERT_EQ(bz_test::WriteFixtureMovie(path_, spec_, &written_), noErr);
  }
  void TearDown() override {
    if (movie_ != nullptr) {
      SetMovieDrawingCompleteProc(movie_, movieDrawingCallAlways, nullptr, 0);
      SetMovieGWorld(movie_, nullptr, nullptr);
    }
    if (BZ_BuffInfo *copy = Copy()) copy->taskData[0] = nullptr;
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    if (ownMovie_ && movie_ != nullptr) DisposeMovie(movie_);
    MP_DeleteQueue(&copyTask_.inputQueue);
    MP_DeleteQueue(&gBZ.mainTaskData.inputQueue);
    gBZ.numProcessors = 0;
  }

  // Source 0 is the movie, described with that codec and drawn (not read directly); then the stage table.
  void UseSource(Movie movie, bool own, CodecType cType) {
    movie_ = movie;
    ownMovie_ = own;
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, spec_.height, spec_.width, spec_.frames, cType);
    movies[0].frameDuration = 24;
    movies[0].hasOneSimpleVideoTrack = false;  // a '2vuy' movie that is drawn
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);
    project_->info.dynMovieInfo.sourceMovie[0] = movie;
    project_->info.srcFileData[0].fileRef = bz_test::RefFor(path_);
    project_->state.exec = kBZ_ProjStateExecuting;
    ASSERT_EQ(BZ_CreateBuffers(), noErr);
    ASSERT_FALSE(project_->dynIO_Info.inputInfo[0].directRead);
  }
  void UseFixture(CodecType cType) {
    Movie movie = nullptr;
    ASSERT_EQ(bz_test::OpenMovieAtPath(path_, &movie), noErr);
    UseSource(movie, true, cType);
  }

  BZ_BuffInfo *Copy() { return BZ_GetBufferInfoByStageType(project_->dynIO_Info.buffInfo, kBZ_CopyTaskType, 0); }

  // The copy stage as a run has it: a task with an input queue.
  void StartCopyTask() { Copy()->taskData[0] = &copyTask_; }

  // The world the movie draws into, checked to lie over the copy stage's buffer in that format.
  GWorldPtr ExpectWorld(OSType format) {
    BZ_BuffInfo *copy = Copy();
    EXPECT_NE(copy, nullptr);
    if (copy == nullptr) return nullptr;
    GWorldPtr world = copy->frameBuffInfo[0].offscreen;
    EXPECT_NE(world, nullptr);
    if (world == nullptr) return nullptr;
    CGrafPtr port = nullptr;
    GetMovieGWorld(movie_, &port, nullptr);
    EXPECT_EQ(port, world);
    PixMapHandle pm = GetGWorldPixMap(world);
    EXPECT_EQ(copy->frameBuffInfo[0].pixMap, pm);
    EXPECT_EQ((**pm).pixelFormat, format);
    EXPECT_EQ(reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm)), copy->ptr);
    EXPECT_EQ((**pm).bounds.right - (**pm).bounds.left, spec_.width) << "source 0's size";
    EXPECT_EQ((**pm).bounds.bottom - (**pm).bounds.top, spec_.height);
    EXPECT_EQ(QTGetPixMapHandleRequestedGammaLevel(pm), -1) << "the source's own gamma";
    const BZ_DynInputInfo &in = project_->dynIO_Info.inputInfo[0];
    EXPECT_TRUE(in.openedMovieForPlayback);
    EXPECT_EQ(in.rgbPlayback, format == k32ARGBPixelFormat);
    EXPECT_EQ(in.y420Playback, format == kYUV420PixelFormat);
    return world;
  }

  // The message on the queue, or code -1 for none.
  struct Message {
    intptr_t sender = -1;
    void *project = nullptr;
    void *word = nullptr;
  };
  static Message Take(MPQueueID queue) {
    Message m;
    void *sender = nullptr;
    if (MPWaitOnQueue(queue, &sender, &m.project, &m.word, kDurationImmediate) == noErr) m.sender = FromWord(sender);
    return m;
  }

  // Draws frame n as the main thread's handler of a draw request does.
  OSStatus Draw(SInt32 n) {
    BZ_DynInputInfo &in = project_->dynIO_Info.inputInfo[0];
    in.movieTime = QT_MovieFrameNumberToTime(movie_, n);
    return BZ_SetSrcMovieTimeValue(project_.get(), 0);
  }

  bz_test::TempDir dir_;
  bz_test::CurrentProject project_;
  bz_test::FixtureMovieSpec spec_;
  bz_test::FixtureMovieInfo written_;
  std::string path_;
  Movie movie_ = nullptr;
  bool ownMovie_ = false;
  MP_TaskData copyTask_{};
};

TEST_F(PlaybackInput, FourTwoTwoSourceDrawsEachFrameIntoTheCopyBuffer) {
  UseFixture('jpeg');
  ASSERT_EQ(BZ_OpenSourceFiles(), noErr);
  ExpectWorld(k2vuyPixelFormat);
  const BZ_DynInputInfo &in = project_->dynIO_Info.inputInfo[0];
  EXPECT_EQ(in.movieTime, QT_MovieFrameNumberToTime(movie_, 0)) << "the first frame's time";
  EXPECT_EQ(in.duration, QT_MovieFrameNumberToTime(movie_, 1) - QT_MovieFrameNumberToTime(movie_, 0));
  EXPECT_EQ(GetMovieTime(movie_, nullptr), 0);

  StartCopyTask();
  for (SInt32 n : {2, 3, 0}) {
    SCOPED_TRACE("frame " + std::to_string(n));
    ASSERT_EQ(Draw(n), noErr);
    const Message m = Take(copyTask_.inputQueue);
    EXPECT_EQ(m.sender, kBZ_CustomAppEventHandlerTaskType);
    EXPECT_EQ(m.project, project_.get());
    EXPECT_EQ(m.word, Copy()->ptr);
    EXPECT_EQ(Take(copyTask_.inputQueue).sender, -1) << "one post per drawing";
    const std::vector<uint8_t> &frame = written_.frames[size_t(n)];
    EXPECT_EQ(0, std::memcmp(Copy()->ptr, frame.data(), frame.size())) << "compact, rows of width x 2";
    EXPECT_EQ(in.movieTime, QT_MovieFrameNumberToTime(movie_, n + 1)) << "the input moved on";
  }
  EXPECT_EQ(Take(gBZ.mainTaskData.inputQueue).sender, -1);
}

// MPEG-2 sources draw as 4:2:0 when they can; their frames are timed by the frame duration.
TEST_F(PlaybackInput, MpegTwoSourceDrawsFourTwoZero) {
  UseFixture('m2v ');
  ASSERT_EQ(BZ_OpenSourceFiles(), noErr);
  ExpectWorld(kYUV420PixelFormat);
  const BZ_DynInputInfo &in = project_->dynIO_Info.inputInfo[0];
  EXPECT_EQ(in.movieTime, 0);
  EXPECT_EQ(in.movieTimeF, 0.0);
  EXPECT_EQ(in.duration, 24);
  // Luma of frame 0 in the Y plane: after the 32-byte header, rows of the width rounded up to 32 bytes.
  const UInt8 *buffer = Copy()->ptr;
  const std::vector<uint8_t> &frame = written_.frames[0];
  const int rowBytes = (spec_.width + 31) / 32 * 32;
  for (int y = 0; y < spec_.height; ++y)
    for (int x = 0; x < spec_.width; ++x)
      ASSERT_EQ(frame[size_t(y * spec_.width + x) * 2 + 1], buffer[32 + y * rowBytes + x]) << y << "," << x;
}

// A movie that draws no 4:2:2 picture (here: its samples are nowhere) is played back into ARGB; drawing it
// fails, and the failure goes to the main task instead of a stale buffer to the copy stage.
TEST_F(PlaybackInput, MovieThatDrawsNoFourTwoTwoIsPlayedBackAsArgbAndItsFailureStopsTheRun) {
  for (CodecType cType : {CodecType('dvc '), CodecType('m2v ')}) {
    SCOPED_TRACE(cType == 'm2v ' ? "m2v" : "dvc");
    bz_test::BuiltMovie built(600);
    Track track = bz_test::AddBuiltTrack(built.movie, VideoMediaType, 600, bz_test::Frames({24, 24, 24}),
                                         16, Long2Fix(spec_.width), Long2Fix(spec_.height));
    bz_test::InsertWholeMedia(track);
    UseSource(built.movie, false, cType);
    ASSERT_EQ(BZ_OpenSourceFiles(), noErr);
    ExpectWorld(k32ARGBPixelFormat);
    EXPECT_TRUE(GetMovieActive(built.movie));

    StartCopyTask();
    EXPECT_NE(Draw(1), noErr);
    EXPECT_EQ(Take(copyTask_.inputQueue).sender, -1) << "no picture to hand on";
    const Message m = Take(gBZ.mainTaskData.inputQueue);
    EXPECT_EQ(m.sender, kBZ_CustomAppEventHandlerTaskType);
    EXPECT_EQ(m.project, project_.get());
    EXPECT_NE(FromWord(m.word), 0) << "the drawing's error";

    SetMovieDrawingCompleteProc(built.movie, movieDrawingCallAlways, nullptr, 0);
    SetMovieGWorld(built.movie, nullptr, nullptr);
    Copy()->taskData[0] = nullptr;
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    project_->dynIO_Info.inputInfo[0] = BZ_DynInputInfo{};
    movie_ = nullptr;
  }
}

// A rebuilt table has no world: the next set-up makes one of the same kind over the new buffer; a set-up that
// finds the world in place leaves it.
TEST_F(PlaybackInput, RebuiltTableGetsTheWorldBack) {
  UseFixture('m2v ');
  ASSERT_EQ(BZ_OpenSourceFiles(), noErr);
  GWorldPtr first = ExpectWorld(kYUV420PixelFormat);
  ASSERT_EQ(BZ_OpenSourceFiles(), noErr);
  EXPECT_EQ(ExpectWorld(kYUV420PixelFormat), first);

  BZ_DynInputInfo &in = project_->dynIO_Info.inputInfo[0];
  in.movieTime = 72;  // a run's position is the run's business, not the set-up's
  ASSERT_EQ(BZ_CreateBuffers(), noErr);
  ASSERT_EQ(Copy()->frameBuffInfo[0].offscreen, nullptr);
  ASSERT_EQ(BZ_OpenSourceFiles(), noErr);
  ExpectWorld(kYUV420PixelFormat);
  EXPECT_EQ(in.movieTime, 72);

  StartCopyTask();
  ASSERT_EQ(Draw(2), noErr);
  EXPECT_EQ(Take(copyTask_.inputQueue).word, Copy()->ptr);
  const std::vector<uint8_t> &frame = written_.frames[2];
  const int rowBytes = (spec_.width + 31) / 32 * 32;
  EXPECT_EQ(frame[1], Copy()->ptr[32]);
  EXPECT_EQ(frame[size_t(spec_.width + 1) * 2 + 1], Copy()->ptr[32 + rowBytes + 1]);
}

// The project's end takes the table and its worlds: the movie no longer draws there, and a later drawing (a
// stray request, or the dialog's own) changes nothing of the freed buffer.
TEST_F(PlaybackInput, DisposedProjectLeavesTheMovieWithoutItsWorld) {
  UseFixture('jpeg');
  ASSERT_EQ(BZ_OpenSourceFiles(), noErr);
  ExpectWorld(k2vuyPixelFormat);
  Movie movie = movie_;
  BZ_DisposeProject(nullptr);
  CGrafPtr port = nullptr;
  GetMovieGWorld(movie, &port, nullptr);
  EXPECT_EQ(port, nullptr);
  EXPECT_FALSE(project_->dynIO_Info.inputInfo[0].openedMovieForPlayback);
  SetMovieTimeValue(movie, QT_MovieFrameNumberToTime(movie, 3));
  MoviesTask(movie, 0);
  EXPECT_EQ(GetMovieStatus(movie, nullptr), noErr);
  EXPECT_EQ(Take(copyTask_.inputQueue).sender, -1);
  EXPECT_EQ(Take(gBZ.mainTaskData.inputQueue).sender, -1);
}

TEST_F(PlaybackInput, DrawnSourceWithoutACopyStageIsRefused) {
  UseFixture('jpeg');
  BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
  EXPECT_EQ(BZ_OpenSourceFiles(), paramErr);
  EXPECT_FALSE(project_->dynIO_Info.inputInfo[0].openedMovieForPlayback);
  CGrafPtr port = nullptr;
  GetMovieGWorld(movie_, &port, nullptr);
  EXPECT_EQ(port, nullptr);
}

}  // namespace
