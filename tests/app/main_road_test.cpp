// The main road from the window, offscreen and in-process: the application up, a '2vuy' movie made by ffmpeg
// as the source, one method applied on the Process tab and Start clicked; the run ends, the cleaned movie is
// saved, the dialog is ready again and keeps the settings for its next start. A full disk on the way reaches
// the user as its English alert, leaves no target behind, and a second Start with room succeeds.
#include "app/app_startup.h"
#include "app/log_contents.h"
#include "app/window_lookup.h"
#include "dialog/input_tab.h"
#include "dialog/preview_window.h"
#include "dialog/project_dialog.h"
#include "dialog/run_control.h"
#include "dialog/settings_transfer.h"
#include "engine/runtime/project_settings.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "engine/runtime/dialog_items.h"
#include "platform/core/multiprocessing.h"
#include "platform/ui/application.h"
#include "platform/ui/window_manager_qt.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/files.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/window_manager_qt.h"
#include "support/cf_check.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"
#include "support/method_harness.h"
#include "support/movie_fixtures.h"
#include "toolkit/dialog_items.h"
#include "toolkit/log_window.h"
#include "toolkit/text_objects.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QDir>
#include <QImage>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace bz_test;

constexpr int kWidth = 160, kHeight = 120, kFrames = 12;

std::string LogText() {
  PL_CFScoped<CFStringRef> name(BZ_GetLogName());
  CFStringRef s = nullptr;
  if (TXN_GetDataAsCFStr(LOG_GetTXNObject(name.get()), 0, kTXNEndOffset, &s) != noErr) return "";
  PL_CFScoped<CFStringRef> held(s);
  return PL_CFStringToUTF8(s);
}

QWidget *W(SInt32 item) { return TD_FindControl(BZ_GetProjDlgWindow(), item); }

bool Active(SInt32 item) {
  Boolean active = false;
  GL_IsDialogItemActiveByID(BZ_GetProjDlgWindow(), HIViewID{kBZ_DialogItemSignature, item}, &active);
  return active;
}

// What the test inside the running application saw.
struct Road {
  std::string dir, source, target;
  void (*steps)(Road &) = nullptr;
  int frames = kFrames;
};
Road *gRoad = nullptr;

void (*gAction)() = nullptr;
void RunActionWhenUp(EventLoopTimerRef timer, void *) {
  WindowRef dialog = BZ_GetProjDlgWindow();
  if (gAction == nullptr || dialog == nullptr || !IsWindowVisible(dialog) || gBZ.mainTaskData.ID == nullptr) return;
  RemoveEventLoopTimer(timer);
  void (*action)() = gAction;
  gAction = nullptr;
  action();
  BZ_SendQuitEvent();
}

// The source taken as the Input tab takes a chosen movie, the result as the Output tab's chooser names it.
void ChooseMovies(const Road &road) {
  BZ_ProjPtr project = gBZ.project;
  WindowRef window = BZ_GetProjDlgWindow();
  project->info.srcFileData[0].fileRef = RefFor(road.source);
  ASSERT_EQ(BZ_HandleInputMovieChoice(window), noErr);
  ASSERT_NE(project->info.statMovInfo[0].cType, 0u) << "the movie was opened";
  // The frame buffers, which otherwise the first analysis builds.
  if (BZ_GetProjectBuffer(project) == nullptr) {
    ASSERT_EQ(BZ_CreateBuffers(), noErr);
  }
  project->info.targetFileData[0] = BZ_TargetFileData{};
  project->info.targetFileData[0].parentRef = RefFor(road.dir);
  project->info.targetFileData[0].fileName = Name(std::filesystem::path(road.target).filename().c_str());
  ASSERT_EQ(BZ_SetTargetFileName(window, 0), noErr);
  project->info.settings.output.cType = '2vuy';
  // Settings with no method applied yet (the defaults apply noise reduction, an earlier road cross-luma).
  project->info.settings.cleaning.noiseRed.apply = false;
  project->info.settings.cleaning.crossLuma.apply = false;
  gBZ.dlgData->state.neededUpdates = 0xFF;
  ASSERT_EQ(BZ_ProjDlgUpdateSettingsInDlg(window), noErr);
}

// Cross-luma removal applied on the Process tab, Start clicked; true once the run has begun.
bool ApplyAndStart() {
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  TD_ClickTab(W(kBZ_MethodTabItem), 4);
  if (!gBZ.project->info.settings.cleaning.crossLuma.apply) TD_Click(W(2359));
  EXPECT_TRUE(gBZ.project->info.settings.cleaning.crossLuma.apply) << "the dialog was read";
  EXPECT_TRUE(Active(kBZ_StartButtonItem));
  const size_t logBefore = LogText().size();
  TD_Click(W(kBZ_StartButtonItem));
  // The run's stages are those of the methods applied now, not of the stage table an earlier analysis built
  // (here the buffers made with the default noise reduction, before the analysis timer could fire).
  UInt32 applied = 0;
  EXPECT_EQ(BZ_GetValidSelectedProcessTypes(&gBZ.project->info.settings.cleaning, &applied), noErr);
  EXPECT_EQ(gBZ.dlgData->savedValidSelectedTypes, applied) << "the stage table was not built for this Start";
  // A short run may be over already; the log tells that it started.
  return LogText().find(" project started.", logBefore) != std::string::npos;
}

// Runs the loop until the one-second timer has ended the run and re-initialised the dialog.
bool WaitForTheEnd(const std::string &logLine, size_t logBefore) {
  return TD_RunUntil(
      [&] {
        const std::string log = LogText();
        return log.size() > logBefore && log.find(logLine, logBefore) != std::string::npos &&
               gBZ.project->state.exec == kBZ_ProjStateReady;
      },
      120);
}

void ExpectCleanedMovie(const std::string &path, int frames = kFrames) {
  auto v = ProbeStream(path, "v:0");
  EXPECT_EQ(v["width"], std::to_string(kWidth));
  EXPECT_EQ(v["height"], std::to_string(kHeight));
  EXPECT_EQ(v["nb_frames"], std::to_string(frames));
  EXPECT_EQ(v["r_frame_rate"], "25/1");
  EXPECT_EQ(v["codec_tag_string"], "2vuy");
}

void TheMainRoad(Road &road) {
  const size_t logBefore = LogText().size();
  ChooseMovies(road);
  ASSERT_TRUE(ApplyAndStart());
  EXPECT_TRUE(Active(kBZ_CancelButtonItem)) << "while the run executes Cancel is the one button";
  EXPECT_FALSE(Active(2006));
  EXPECT_FALSE(Active(2054));
  ASSERT_TRUE(WaitForTheEnd(" project finished.", logBefore)) << LogText().substr(logBefore);
  const std::string log = LogText().substr(logBefore);
  EXPECT_LT(log.find(" project started."), log.find(" project finished."));
  ExpectCleanedMovie(road.target);
  EXPECT_TRUE(Active(2006)) << "the dialog is ready again";

  // The dialog's settings are the stored ones, and a new start of the dialog shows them.
  BZ_ProjSett stored{};
  BZ_GetProjSett(gBZ.project->info.statMovInfo, &stored);
  EXPECT_TRUE(stored.cleaning.crossLuma.apply);
  gBZ.project->info.settings.cleaning.crossLuma.apply = false;
  BZ_DisposeDialog();
  ASSERT_EQ(BZ_OpenProjectDialog(), noErr);
  SInt32 applied = 0;
  ASSERT_EQ(GL_GetDialogItemValueByID(BZ_GetProjDlgWindow(), HIViewID{kBZ_DialogItemSignature, 2359}, &applied), noErr);
  EXPECT_EQ(applied, 1);
}

// Every alert is answered at once with its default button; the texts shown are kept.
std::vector<std::string> gAlertTexts;
OSStatus AnswerAndKeep(DialogRef alert, DialogItemIndex *itemHit) {
  PL_AlertDescription description{};
  if (PL_GetAlertDescription(alert, &description) == noErr)
    gAlertTexts.push_back(PL_CFStringToUTF8(description.message) + " " + PL_CFStringToUTF8(description.explanation));
  if (itemHit != nullptr) *itemHit = kAlertStdAlertOKButton;
  return noErr;
}

void AFullDisk(Road &road) {
  size_t logBefore = LogText().size();
  ChooseMovies(road);
  gAlertTexts.clear();
  PL_SetAlertRunProc(AnswerAndKeep);
  // Room for about half the picture data.
  PL_FailWritesAfterBytes(SInt64(kWidth) * kHeight * 2 * kFrames / 2);
  struct Restore {
    ~Restore() {
      PL_FailWritesAfterBytes(-1);
      PL_SetAlertRunProc(nullptr);
    }
  } restore;
  ASSERT_TRUE(ApplyAndStart());
  const bool ended = TD_RunUntil([&] { return gBZ.project->state.exec == kBZ_ProjStateReady && Active(2006); }, 120);
  PL_FailWritesAfterBytes(-1);
  ASSERT_TRUE(ended);
  // The next tick shows the error.
  const std::string diskFull = LocalizedText("GL DiskFullErr");
  const auto told = [&] {
    for (const std::string &text : gAlertTexts)
      if (text.find(diskFull) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(TD_RunUntil(told, 5)) << (gAlertTexts.empty() ? "no alert" : gAlertTexts.back());
  EXPECT_FALSE(std::filesystem::exists(road.target)) << "no target file is left";

  // With room to write, the same project again.
  logBefore = LogText().size();
  ChooseMovies(road);
  ASSERT_TRUE(ApplyAndStart());
  ASSERT_TRUE(WaitForTheEnd(" project finished.", logBefore));
  ExpectCleanedMovie(road.target);
}

// Start while the analysis that the apply box asked for is going on: the start waits until the main task
// has stopped it, and only then takes the stage table over.
void AStartDuringAnAnalysis(Road &road) {
  const size_t logBefore = LogText().size();
  ChooseMovies(road);
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  TD_ClickTab(W(kBZ_MethodTabItem), 4);
  TD_Click(W(2359));
  // The analysis timer's procedure at once instead of 3 s later; the run's end needs this thread, so the
  // analysis is still on when Start is clicked.
  EXPECT_TRUE(gBZ.dlgData->state.needMovieAnalysis) << "the apply box asked for an analysis";
  BZ_InitMovieAnalysis(gBZ.dlgData->movieAnalysisTimer, BZ_GetProjDlgWindow());
  ASSERT_EQ(gBZ.project->state.exec, kBZ_ProjStateAnalyzingMovie);
  TD_Click(W(kBZ_StartButtonItem));
  EXPECT_NE(LogText().find(" project started.", logBefore), std::string::npos);
  ASSERT_TRUE(WaitForTheEnd(" project finished.", logBefore));
  ExpectCleanedMovie(road.target);
}

std::string ItemText(SInt32 item) {
  auto *label = qobject_cast<QLabel *>(W(item));
  return label != nullptr ? label->text().toStdString() : std::string();
}

// A long run watched on the Output tab, then cancelled: the bar, the title line and the rate move, the
// window icon dissolves its noise, and Cancel ends the run without a target, with every task of the run
// gone; a new Start then runs to its end.
void ACancelledRun(Road &road) {
  // Held back by slow writes, or an idle machine cleans the frames before the first one-second tick.
  struct SlowWrites {
    SlowWrites() { PL_SlowWritesBy(4000); }
    ~SlowWrites() { PL_SlowWritesBy(0); }
  };
  auto slow = std::make_unique<SlowWrites>();
  const ItemCount permanentTasks = PL_MPLiveTaskCount();
  size_t logBefore = LogText().size();
  ChooseMovies(road);
  ASSERT_TRUE(ApplyAndStart());
  TD_ClickTab(W(kBZ_MainTabItem), 3);
  auto *bar = qobject_cast<QProgressBar *>(W(kBZ_ProgressBarItem));
  ASSERT_NE(bar, nullptr);
  const std::string ofAll = " of " + std::to_string(road.frames);
  ASSERT_TRUE(TD_RunUntil(
      [&] {
        return bar->value() > bar->minimum() && ItemText(kBZ_ProgressStateTextItem).find(ofAll) != std::string::npos;
      },
      60))
      << ItemText(kBZ_ProgressStateTextItem);
  EXPECT_NE(ItemText(kBZ_ProgressStateTextItem).find("Frames finished"), std::string::npos);
  EXPECT_TRUE(TD_RunUntil([] { return PL_IsApplicationDockTileImageSet(); }, 30))
      << "the window icon shows the overlay while the project executes";
  EXPECT_TRUE(TD_RunUntil([] { return ItemText(kBZ_ProgressRateTextItem).find("fr/sec") != std::string::npos; }, 30));
  std::filesystem::create_directories(BZ_ARTIFACTS_DIR);
  PL_GetWindowWidget(BZ_GetProjDlgWindow())->grab().save(QString::fromStdString(std::string(BZ_ARTIFACTS_DIR) + "/progress.png"));
  ASSERT_EQ(gBZ.project->state.exec, kBZ_ProjStateExecuting) << "the run must still go on to be cancelled";

  TD_Click(W(kBZ_CancelButtonItem));
  ASSERT_TRUE(WaitForTheEnd("Project canceled by user.", logBefore)) << LogText().substr(logBefore);
  EXPECT_TRUE(TD_RunUntil([] { return Active(2006); }, 10)) << "the dialog is ready again";
  EXPECT_FALSE(std::filesystem::exists(road.target)) << "no target file is left";
  EXPECT_FALSE(PL_IsApplicationDockTileImageSet()) << "the plain icon is back";
  // No task of the run lives on (an analysis that ran before the start may have ended too).
  EXPECT_TRUE(TD_RunUntil([&] { return PL_MPLiveTaskCount() <= permanentTasks; }, 10))
      << PL_MPLiveTaskCount() << " tasks alive, " << permanentTasks << " before the start";

  slow.reset();
  logBefore = LogText().size();
  ChooseMovies(road);
  ASSERT_TRUE(ApplyAndStart());
  ASSERT_TRUE(WaitForTheEnd(" project finished.", logBefore));
  ExpectCleanedMovie(road.target, road.frames);
}

// The preview from the Preview button: its calculation ends and the three views show the frame before and
// after cleaning and their difference, each as its picture holds it.
void APreviewCalculation(Road &road) {
  ChooseMovies(road);
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  TD_ClickTab(W(kBZ_MethodTabItem), 4);
  if (!gBZ.project->info.settings.cleaning.crossLuma.apply) TD_Click(W(2359));
  ASSERT_EQ(BZ_ShowPreview(BZ_GetProjDlgWindow()) == noErr || BZ_GetPreviewWindow() != nullptr, true);
  WindowRef preview = BZ_GetPreviewWindow();
  ASSERT_NE(preview, nullptr);
  BZ_PreviewData &data = gBZ.dlgData->previewData;
  SInt64 size = 0;
  ASSERT_EQ(BZ_GetBufferSize(kHeight, kWidth, false, nullptr, nullptr, &size), noErr);
  // The pictures are set when the calculation has ended; the test pattern is nowhere black all over.
  auto filled = [&](SInt32 i) {
    const GL_ProviderInfo &info = data.providerInfo[i];
    if (info.ptr == nullptr) return false;
    for (SInt32 x = 0; x < kWidth; ++x)
      if (info.ptr[info.mark + 4 * x + 1] != 0) return true;
    return false;
  };
  ASSERT_TRUE(TD_RunUntil(
      [&] {
        return filled(0) && filled(1) && gBZ.project->state.subExec != kBZ_ProjSubStateCalcPreview &&
               !data.previewCalcDeferred;
      },
      60))
      << "before " << filled(0) << " after " << filled(1) << " subExec " << gBZ.project->state.subExec.load()
      << " deferred " << bool(data.previewCalcDeferred) << " cache " << (gBZ.dlgTaskData.previewCache != nullptr)
      << " slot 0 " << int(gBZ.dlgTaskData.previewCache[size / 2]) << " slot 1 "
      << int(gBZ.dlgTaskData.previewCache[size + size / 2]);
  QApplication::processEvents();
  for (SInt32 i = 0; i < 3; ++i) {
    QWidget *view = TD_FindControl(preview, 2011 + i);
    ASSERT_NE(view, nullptr);
    const QImage shown = view->grab().toImage();
    const GL_ProviderInfo &info = data.providerInfo[i];
    int mismatches = 0;
    for (int y = 0; y < std::min(shown.height(), kHeight); y += 7)
      for (int x = 0; x < std::min(shown.width(), kWidth); x += 5) {
        const UInt8 *argb = info.ptr + info.mark + SInt64(y) * info.rowBytes + 4 * x;
        if (shown.pixel(x, y) != qRgb(argb[1], argb[2], argb[3])) ++mismatches;
      }
    EXPECT_EQ(mismatches, 0) << "view " << 2011 + i;
  }
  const QString artifacts = QString::fromStdString(BZ_ARTIFACTS_DIR);
  QDir().mkpath(artifacts);
  PL_GetWindowWidget(preview)->grab().save(artifacts + "/preview.png");
  BZ_ClosePreview(preview);
  EXPECT_EQ(BZ_GetPreviewWindow(), nullptr);
}

class MainRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static std::string config =
        std::filesystem::temp_directory_path() / ("brizel-road-" + std::to_string(getpid()));
    std::filesystem::remove_all(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_STATE_HOME", (config + "/state").c_str(), 1);
    setenv("XDG_DATA_HOME", (config + "/data").c_str(), 1);
  }
  void Go(void (*steps)(Road &), int frames = kFrames) {
    if (!RequireFfmpeg()) GTEST_SKIP();
    Road road{dir_.path(), dir_.File("source.mov"), dir_.File("source proj.mov")};
    road.frames = frames;
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=" + std::to_string(kWidth) + "x" +
                         std::to_string(kHeight) + ":r=25:d=" + std::to_string(frames / 25.0) +
                         " -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + ShellQuote(road.source)),
              0);
    const std::string sourceHash = HashFile(road.source);
    road.steps = steps;
    gRoad = &road;
    gAction = [] { gRoad->steps(*gRoad); };
    EventLoopTimerRef timer = nullptr;
    InstallEventLoopTimer(GetMainEventLoop(), 0.02, 0.02, RunActionWhenUp, nullptr, &timer);
    static char name[] = "brizel";
    static char *argv[] = {name, nullptr};
    EXPECT_EQ(BZ_Main(1, argv), 0);
    RemoveEventLoopTimer(timer);
    EXPECT_EQ(gAction, nullptr) << "the application never came up";
    EXPECT_EQ(HashFile(road.source), sourceHash) << "the source movie was written";
    gRoad = nullptr;
  }
  TempDir dir_;
};

TEST_F(MainRoad, StartRunsTheProjectAndTheDialogKeepsItsSettings) { Go(TheMainRoad); }

TEST_F(MainRoad, AFullDiskIsToldAndASecondStartWithRoomSucceeds) { Go(AFullDisk); }

TEST_F(MainRoad, ProgressShowsWhileItRunsAndCancelLeavesNothingBehind) { Go(ACancelledRun, 1500); }

TEST_F(MainRoad, AStartDuringAnAnalysisWaitsForItsStop) { Go(AStartDuringAnAnalysis); }

TEST_F(MainRoad, APreviewCalculationFillsTheThreeViews) { Go(APreviewCalculation); }

}  // namespace
