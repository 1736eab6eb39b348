// The project dialog offscreen with real movies made by ffmpeg: choosing the source movie through its
// button (name, information and poster), the same movie again, cancelling, movies that cannot be used (an
// alert, and a dialog left without a half-set movie), the limits a long movie sets, and the Input pane's
// reactions to interlacing and cropping.
#include "dialog/input_tab.h"

#include "dialog/open_dialog_fixture.h"

#include "app/window_lookup.h"
#include "dialog/output_tab.h"
#include "dialog/project_dialog.h"
#include "dialog/static_movie_info.h"
#include "dialog/run_control.h"
#include "engine/closing_saving.h"
#include "engine/stage_table.h"
#include "engine/tasks/pipeline_types.h"
#include "engine/tasks/task_runtime.h"
#include "general/file_layer.h"
#include "toolkit/dialog_items.h"
#include "platform/core/cf_string.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/window_manager_qt.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QTest>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using bz_test::ShellQuote;

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

std::string Text(CFStringRef s) {
  char buffer[4096] = {};
  if (s != nullptr) CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8);
  return buffer;
}

// The movies of these tests, made once.
struct Movies {
  bz_test::TempDir dir;
  std::string card, second, longMovie, textAsMovie, truncated, soundOnly, still, empty;
};
Movies *gMovies = nullptr;

bool Ffmpeg(const std::string &args) { return bz_test::RunCommand("ffmpeg -v error -y " + args) == 0; }

class SourceMovie : public OpenDialogTest {
 protected:
  static void SetUpTestSuite() {
    if (!bz_test::RequireFfmpeg()) return;
    gMovies = new Movies;
    Movies &m = *gMovies;
    const std::string uyvy = " -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy ";
    m.card = m.dir.File("card.mov");
    m.second = m.dir.File("card again.mov");
    m.longMovie = m.dir.File("long.mov");
    Ffmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=0.48 -f lavfi -i sine=r=48000:d=0.48" + uyvy + "-c:a pcm_s16be " +
           ShellQuote(m.card));
    Ffmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=0.48" + uyvy + ShellQuote(m.second));
    Ffmpeg("-f lavfi -i testsrc=s=16x16:r=25:d=200" + uyvy + ShellQuote(m.longMovie));
    m.textAsMovie = m.dir.File("notes.mov");
    bz_test::WriteText(m.textAsMovie, "These are notes, not a movie.\n");
    m.truncated = m.dir.File("truncated.mov");
    auto bytes = bz_test::ReadWholeFile(m.card);
    bytes.resize(bytes.size() / 2);
    bz_test::WriteWholeFile(m.truncated, bytes);
    m.soundOnly = m.dir.File("tone.mov");
    Ffmpeg("-f lavfi -i sine=r=48000:d=0.5 -c:a pcm_s16be " + ShellQuote(m.soundOnly));
    m.still = m.dir.File("still.png");
    Ffmpeg("-f lavfi -i testsrc=s=64x48:r=1 -frames:v 1 " + ShellQuote(m.still));
    m.empty = m.dir.File("empty.mov");
    bz_test::FixtureMovieSpec spec;
    spec.frames = 0;
    spec.withSound = false;
    bz_test::FixtureMovieInfo written;
    bz_test::WriteFixtureMovie(m.empty, spec, &written);
  }
  static void TearDownTestSuite() {
    delete gMovies;
    gMovies = nullptr;
  }

  void SetUp() override {
    if (gMovies == nullptr) GTEST_SKIP() << "ffmpeg is missing";
    OpenDialogTest::SetUp();
  }

  // The user chooses the file with the button of item (2022 or 2101); "" cancels.
  void Choose(const std::string &path, SInt32 item = 2022) {
    TD_AnswerNextFileChooser(path);
    TD_Click(W(item));
  }
  void ExpectNoSourceMovie(const std::string &what) {
    EXPECT_FALSE(GL_FSRefValid(&Info().srcFileData[0].fileRef)) << what;
    EXPECT_EQ(Info().statMovInfo[0].cType, 0u) << what;
    EXPECT_EQ(Info().statMovInfo[0].timeList, nullptr) << what;
    EXPECT_EQ(Info().dynMovieInfo.sourceMovie[0], nullptr) << what;
    EXPECT_EQ(ItemText(2021), "Movie name & location") << what;
    EXPECT_EQ(ItemText(2024), "No source movie chosen.") << what;
    EXPECT_EQ(ItemText(2079), "Estimated size: ?") << what;
    EXPECT_FALSE(IsControlActive(C(kBZ_StartButtonItem))) << what;
  }
};

TEST_F(SourceMovie, ChoosingAMovieShowsItsNameInformationAndPoster) {
  Choose(gMovies->card);
  const std::string name = ItemText(2021);
  EXPECT_EQ(name.rfind("Source movie: \"card.mov\" in folder \"", 0), 0u) << name;
  EXPECT_NE(name.find("\" on volume \""), std::string::npos) << name;
  const std::string info = ItemText(2024);
  for (const char *part : {"Movie size: 64 x 48", "Frames: 12", "Duration: 0h 0m 0s", "Time scale: ",
                           "Compressor: 2vuy", "Data size: "})
    EXPECT_NE(info.find(part), std::string::npos) << part << " in " << info;
  EXPECT_EQ(Info().statMovInfo[0].numFrames, 12);
  EXPECT_NE(Info().dynMovieInfo.sourceMovie[0], nullptr);
  // The poster, letterboxed to the well.
  auto *well = qobject_cast<QLabel *>(W(2025));
  ASSERT_NE(well, nullptr);
  ASSERT_TRUE(TD_RunUntil([&] { return !well->pixmap().isNull(); }));
  Rect bounds{};
  ASSERT_EQ(GL_GetDialogItemBoundsByID(window_, Item(2025), &bounds), noErr);
  EXPECT_EQ(well->pixmap().width(), bounds.right - bounds.left);
  EXPECT_EQ(well->pixmap().height(), bounds.bottom - bounds.top);
  // The frame cache is made for the movie, empty and zeroed.
  ASSERT_NE(gBZ.dlgTaskData.frameCache, nullptr);
  EXPECT_EQ(gBZ.dlgTaskData.frameCacheInfo[0].frameNum, -1);
  EXPECT_EQ(gBZ.dlgTaskData.frameCache[0], 0);

  // A second movie for averaging is taken from its own button on the averaging pane.
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  TD_ClickTab(W(kBZ_MethodTabItem), 1);
  Choose(gMovies->second, 2101);
  EXPECT_EQ(bz_test::PathOf(Info().srcFileData[1].fileRef), bz_test::PathOf(bz_test::RefFor(gMovies->second)));
  EXPECT_EQ(Info().statMovInfo[0].numFrames, 12);  // the first movie stays
}

TEST_F(SourceMovie, TheSameMovieAgainChangesNothingAndCancellingClearsIt) {
  Choose(gMovies->card);
  const Movie movie = Info().dynMovieInfo.sourceMovie[0];
  const TimeValue *timeList = Info().statMovInfo[0].timeList;
  ASSERT_NE(movie, nullptr);
  Choose(gMovies->card);
  EXPECT_EQ(Info().dynMovieInfo.sourceMovie[0], movie);
  EXPECT_EQ(Info().statMovInfo[0].timeList, timeList);

  Choose("");
  ExpectNoSourceMovie("cancelled");
}

TEST_F(SourceMovie, AMovieThatCannotBeUsedIsToldAndLeavesNoHalfSetMovie) {
  struct Case {
    const char *what;
    std::string path;
    const char *number;  // what the alert's text names, when it is the movie's own
  } cases[] = {
      {"text renamed .mov", gMovies->textAsMovie, nullptr},
      {"truncated movie", gMovies->truncated, nullptr},
      {"sound only", gMovies->soundOnly, "Error #11011"},
      {"still image", gMovies->still, nullptr},
      {"no frames", gMovies->empty, nullptr},
  };
  for (const Case &c : cases) {
    Choose(gMovies->card);  // a good movie is replaced by the bad one
    ASSERT_NE(Info().statMovInfo[0].cType, 0u) << c.what;
    TD_AnswerNextAlert(1);
    Choose(c.path);
    const PL_AlertDescription *alert = PL_GetLastRunAlert();
    ASSERT_NE(alert, nullptr) << c.what;
    const std::string message = Text(alert->message);
    EXPECT_FALSE(message.empty()) << c.what;
    if (c.number != nullptr) {
      EXPECT_NE(message.find(c.number), std::string::npos) << c.what << ": " << message;
    }
    ExpectNoSourceMovie(c.what);
  }
  // The dialog is as usable as before.
  Choose(gMovies->card);
  EXPECT_EQ(Info().statMovInfo[0].numFrames, 12);
  EXPECT_NE(ItemText(2024).find("Frames: 12"), std::string::npos);
}

TEST_F(SourceMovie, AFileThatVanishedBeforeOpeningIsTold) {
  const std::string path = dir_.File("gone.mov");
  bz_test::WriteWholeFile(path, bz_test::ReadWholeFile(gMovies->card));
  Info().srcFileData[0].fileRef = bz_test::RefFor(path);
  ASSERT_EQ(::unlink(path.c_str()), 0);
  TD_AnswerNextAlert(1);
  EXPECT_EQ(BZ_HandleInputMovieChoice(window_), noErr);
  ASSERT_NE(PL_GetLastRunAlert(), nullptr);
  EXPECT_FALSE(Text(PL_GetLastRunAlert()->message).empty());
  ExpectNoSourceMovie("vanished");
}

TEST_F(SourceMovie, ALongMovieSetsTheFrameLimits) {
  Choose(gMovies->longMovie);
  ASSERT_EQ(Info().statMovInfo[0].numFrames, 5000);
  EXPECT_EQ(GetControl32BitMaximum(C(2327)), 1000);
  EXPECT_EQ(GetControl32BitMaximum(C(2159)), 5000);
  EXPECT_EQ(GetControl32BitMaximum(C(2162)), 5000);
  EXPECT_EQ(Info().settings.cleaning.noiseRed.startFrame, 1);
  EXPECT_EQ(Info().settings.cleaning.noiseRed.endFrame, 5000);
}

TEST_F(SourceMovie, InterlacingAndCroppingSetTheirDependentItems) {
  BZ_InputSett &input = Info().settings.input;
  input.interlaced = true;
  input.topFieldFirst = true;
  ASSERT_EQ(BZ_HandleInputHit(window_, 2026), noErr);
  EXPECT_TRUE(IsControlActive(C(2027)));
  input.interlaced = false;
  ASSERT_EQ(BZ_HandleInputHit(window_, 2026), noErr);
  EXPECT_EQ(input.topFieldFirst, 2);
  EXPECT_FALSE(IsControlActive(C(2027)));
  EXPECT_TRUE(gBZ.dlgData->state.interlaceSetByUser);

  // The crop rectangle's pane is there for margins typed by hand, not for detected ones.
  input.cropping = true;
  for (const bool automatic : {true, false, true}) {
    input.autoDetectBlackBars = automatic;
    ASSERT_EQ(BZ_HandleInputHit(window_, 2035), noErr);
    EXPECT_EQ(bool(IsControlActive(C(2037))), !automatic) << automatic;
  }
}

// A new source chosen while an analysis runs: the run is told to stop and its end awaited while the old movie
// is still open and the project still analysing; only then is the old movie closed and the new one opened.
TEST_F(SourceMovie, ANewMovieWaitsForTheRunningAnalysisToStopFirst) {
  Choose(gMovies->card);
  const Movie old = Info().dynMovieInfo.sourceMovie[0];
  ASSERT_NE(old, nullptr);
  ASSERT_EQ(BZ_CreateBuffers(), noErr);  // what the running analysis reads
  const bool ownQueue = gBZ.mainTaskData.inputQueue == nullptr;
  if (ownQueue) {
    ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.inputQueue), noErr);
  }
  project_->state.exec = kBZ_ProjStateAnalyzingMovie;
  project_->state.subExec = kBZ_ProjSubStateCalcAutoSett;
  gBZ.dlgData->state.needMovieAnalysis = gBZ.dlgData->state.needPreviewCalc = false;

  // The main task's part: it takes the stop code and signals the stop once the run has closed.
  std::atomic<intptr_t> code{-1};
  std::atomic<int> execAtStop{-1};
  std::atomic<bool> oldMovieOpenAtStop{false};
  BZ_ProjPtr project = project_.get();
  std::thread mainTask([&] {
    void *sender = nullptr, *proj = nullptr, *message = nullptr;
    if (MPWaitOnQueue(gBZ.mainTaskData.inputQueue, &sender, &proj, &message, 10000) != noErr) return;
    code = reinterpret_cast<intptr_t>(message);
    execAtStop = int(project->state.exec.load());
    oldMovieOpenAtStop = project->info.dynMovieInfo.sourceMovie[0] == old;
    if (MPSemaphoreID stop = gBZ.dlgTaskData.stopSemaphore.load()) MPSignalSemaphore(stop);
  });
  Choose(gMovies->second);
  mainTask.join();
  EXPECT_EQ(code.load(), intptr_t(kBZ_CancelMovieAnalysisMessage));
  EXPECT_EQ(execAtStop.load(), int(kBZ_ProjStateAnalyzingMovie)) << "the project was made ready before the stop";
  EXPECT_TRUE(oldMovieOpenAtStop.load()) << "the old movie was closed under the running analysis";
  EXPECT_EQ(project_->state.exec.load(), kBZ_ProjStateReady);
  EXPECT_EQ(bz_test::PathOf(Info().srcFileData[0].fileRef), bz_test::PathOf(bz_test::RefFor(gMovies->second)));
  EXPECT_NE(Info().dynMovieInfo.sourceMovie[0], nullptr);
  if (ownQueue) MP_DeleteQueue(&gBZ.mainTaskData.inputQueue);
}

}  // namespace
