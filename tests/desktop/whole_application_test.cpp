// The whole application under a real display (Xvfb, the xcb platform), in-process, started through the
// same steps as main and driven as a user drives it: the source chosen with Choose... on the Input tab, the
// result with the Output tab's chooser, cross-luma removal applied with settings of its own on the Process
// tab, Start, the Output tab's progress followed to the end, the cleaned movie checked with ffprobe, the
// log's lines, Quit, the preferences file, and a second start showing the dialog where it was left with the
// same settings. Bad input given on the command line (a vanished path) is told to the user, a text file is
// passed over, and the program keeps working. The source movie comes from a CTest fixture step (BZ_DESKTOP_MOVIE).
#include "app/app_startup.h"
#include "app/log_contents.h"
#include "app/window_lookup.h"
#include "dialog/project_dialog.h"
#include "dialog/settings_transfer.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/navigation_services.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/window_manager.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"
#include "support/method_harness.h"
#include "support/movie_fixtures.h"
#include "toolkit/dialog_items.h"
#include "toolkit/log_window.h"
#include "toolkit/text_objects.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace bz_test;

constexpr int kWidth = 160, kHeight = 120, kFrames = 50;

std::string SourceMovie() {
  const char *path = std::getenv("BZ_DESKTOP_MOVIE");
  return path != nullptr ? path : "";
}

std::string LogText() {
  PL_CFScoped<CFStringRef> name(BZ_GetLogName());
  CFStringRef s = nullptr;
  if (TXN_GetDataAsCFStr(LOG_GetTXNObject(name.get()), 0, kTXNEndOffset, &s) != noErr) return "";
  PL_CFScoped<CFStringRef> held(s);
  return PL_CFStringToUTF8(s);
}

QWidget *W(SInt32 item) { return TD_FindControl(BZ_GetProjDlgWindow(), item); }

std::string ItemText(SInt32 item) {
  CFStringRef s = nullptr;
  if (GL_CopyDialogItemTextByID(BZ_GetProjDlgWindow(), HIViewID{kBZ_DialogItemSignature, item}, &s) != noErr)
    return "";
  PL_CFScoped<CFStringRef> held(s);
  return PL_CFStringToUTF8(s);
}

SInt32 ItemValue(SInt32 item) {
  SInt32 v = -1;
  GL_GetDialogItemValueByID(BZ_GetProjDlgWindow(), HIViewID{kBZ_DialogItemSignature, item}, &v);
  return v;
}

std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Alerts are answered at once with their default button; their texts are kept.
std::vector<std::string> gAlerts;
OSStatus AnswerAndKeep(DialogRef alert, DialogItemIndex *itemHit) {
  PL_AlertDescription d{};
  if (PL_GetAlertDescription(alert, &d) == noErr)
    gAlerts.push_back(PL_CFStringToUTF8(d.message) + " " + PL_CFStringToUTF8(d.explanation));
  if (itemHit != nullptr) *itemHit = kAlertStdAlertOKButton;
  return noErr;
}

// The result movie's save dialog answers with this path.
std::string gSaveAs;
OSStatus AnswerSave(const PL_PutFileRequest *, PL_PutFileAnswer *answer) {
  if (gSaveAs.empty()) return userCanceledErr;
  const size_t slash = gSaveAs.find_last_of('/');
  answer->folderPath = gSaveAs.substr(0, slash);
  answer->name = gSaveAs.substr(slash + 1);
  answer->replacing = false;
  return noErr;
}

// Runs Brizel with the arguments; `steps` runs inside it once the dialog is up, then Quit is chosen.
std::function<void()> gSteps;
bool gStepsRan = false;
void RunStepsWhenUp(EventLoopTimerRef timer, void *) {
  WindowRef dialog = BZ_GetProjDlgWindow();
  if (!gSteps || dialog == nullptr || !IsWindowVisible(dialog) || gBZ.mainTaskData.ID == nullptr) return;
  RemoveEventLoopTimer(timer);
  auto steps = std::move(gSteps);
  gSteps = nullptr;
  // Start-up installed the layer's alert window; from here on alerts are answered and kept.
  PL_SetAlertRunProc(AnswerAndKeep);
  steps();
  gStepsRan = true;
  BZ_SendQuitEvent();  // the Quit command, as the menu item and Ctrl+Q send it
}

int RunBrizel(const std::vector<std::string> &args, std::function<void()> steps) {
  gSteps = std::move(steps);
  gStepsRan = false;
  EventLoopTimerRef timer = nullptr;
  InstallEventLoopTimer(GetMainEventLoop(), 0.05, 0.05, RunStepsWhenUp, nullptr, &timer);
  static std::vector<std::string> held;
  held = args;
  held.insert(held.begin(), "brizel");
  std::vector<char *> argv;
  for (std::string &a : held) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int status = BZ_Main(int(held.size()), argv.data());
  RemoveEventLoopTimer(timer);
  return status;
}

// The source through Choose... on the Input tab, the chooser answered through the layer's hook.
void ChooseSource(const std::string &path) {
  TD_ClickTab(W(kBZ_MainTabItem), 1);
  TD_AnswerNextFileChooser(path);
  TD_Click(W(2022));
}

class WholeApplication : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Everything the program writes goes below one temporary folder.
    static TempDir *home = new TempDir();
    gHome = home->path();
    std::filesystem::create_directories(gHome + "/Videos");
    setenv("HOME", gHome.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (gHome + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (gHome + "/state").c_str(), 1);
    setenv("XDG_DATA_HOME", (gHome + "/data").c_str(), 1);
    setenv("XDG_VIDEOS_DIR", (gHome + "/Videos").c_str(), 1);
  }
  void SetUp() override {
    if (SourceMovie().empty() || !std::filesystem::exists(SourceMovie()))
      GTEST_FAIL() << "BZ_DESKTOP_MOVIE names no movie: the desktop.movie fixture step makes it";
    if (!RequireFfmpeg()) GTEST_FAIL() << "ffmpeg and ffprobe are needed";
    sourceHash_ = HashFile(SourceMovie());
  }
  void TearDown() override {
    EXPECT_EQ(HashFile(SourceMovie()), sourceHash_) << "the source movie was written";
    PL_SetAlertRunProc(nullptr);
  }
  static std::string gHome;
  std::string sourceHash_;
  TempDir out_;
};
std::string WholeApplication::gHome;

TEST_F(WholeApplication, TheRoadOfOneProject) {
  const std::string target = out_.File("cleaned.mov");
  Rect placed{};
  std::string startedLog, progressSeen;
  int barMaximumSeen = 0;
  gAlerts.clear();
  const int status = RunBrizel({}, [&] {
    // The source: its name, information and poster.
    ChooseSource(SourceMovie());
    ASSERT_NE(gBZ.project->info.statMovInfo[0].cType, 0u) << "the movie was opened";
    const std::string name = ItemText(2021);
    EXPECT_EQ(name.rfind("Source movie: \"" + std::filesystem::path(SourceMovie()).filename().string() + "\"", 0), 0u)
        << name;
    const std::string info = ItemText(2024);
    for (const std::string part : {"Movie size: 160 x 120", "Frames: 50", "Compressor: 2vuy"})
      EXPECT_NE(info.find(part), std::string::npos) << part << " in " << info;
    auto *poster = qobject_cast<QLabel *>(W(2025));
    ASSERT_NE(poster, nullptr);
    EXPECT_TRUE(TD_RunUntil([&] { return !poster->pixmap().isNull(); }, 10)) << "the poster is shown";

    // The result movie through the Output tab's save dialog.
    TD_ClickTab(W(kBZ_MainTabItem), 3);
    gSaveAs = target;
    PL_SetPutFileProc(AnswerSave);
    TD_Click(W(2072));
    PL_SetPutFileProc(nullptr);
    EXPECT_NE(ItemText(2071).find("cleaned.mov"), std::string::npos) << ItemText(2071);

    // Cross-luma removal applied on the Process tab, with settings of its own.
    TD_ClickTab(W(kBZ_MainTabItem), 2);
    TD_ClickTab(W(kBZ_MethodTabItem), 4);
    if (!gBZ.project->info.settings.cleaning.crossLuma.apply) TD_Click(W(2359));
    ASSERT_TRUE(gBZ.project->info.settings.cleaning.crossLuma.apply);

    // Start, and the Output tab's progress followed to the end.
    TD_ClickTab(W(kBZ_MainTabItem), 3);
    const size_t logBefore = LogText().size();
    TD_Click(W(kBZ_StartButtonItem));
    auto *bar = qobject_cast<QProgressBar *>(W(2082));
    ASSERT_NE(bar, nullptr);
    const bool ended = TD_RunUntil(
        [&] {
          // (The Output tab's progress display is not built yet: the bar and "n of N" are read, not checked.)
          barMaximumSeen = std::max(barMaximumSeen, bar->value());
          const std::string n = ItemText(2083);
          if (n.find(" of ") != std::string::npos) progressSeen = n;
          const std::string log = LogText();
          return log.find(" project finished.", logBefore) != std::string::npos &&
                 gBZ.project->state.exec == kBZ_ProjStateReady;
        },
        120);
    ASSERT_TRUE(ended) << LogText().substr(logBefore);
    startedLog = LogText().substr(logBefore);
    // The window moves to a place of the user's, to be found there at the next start.
    MoveWindow(BZ_GetProjDlgWindow(), 140, 90, true);
    TD_RunUntil([] { return false; }, 0.3);
    GetWindowBounds(BZ_GetProjDlgWindow(), kWindowStructureRgn, &placed);
  });
  ASSERT_EQ(status, 0);
  ASSERT_TRUE(gStepsRan) << "the application never came up";
  EXPECT_TRUE(gAlerts.empty()) << gAlerts.front();

  EXPECT_LT(startedLog.find(" project started."), startedLog.find(" project finished.")) << startedLog;
  RecordProperty("progress_text", progressSeen);
  RecordProperty("progress_bar_maximum", barMaximumSeen);

  // The cleaned movie: the source's size, frames, rate and sound, in the chosen codec.
  auto v = ProbeStream(target, "v:0");
  EXPECT_EQ(v["width"], std::to_string(kWidth));
  EXPECT_EQ(v["height"], std::to_string(kHeight));
  EXPECT_EQ(v["nb_frames"], std::to_string(kFrames));
  EXPECT_EQ(v["r_frame_rate"], "25/1");
  // The Output tab's codec as the dialog offers it first (Motion-JPEG A): a JPEG codec. The file's tag is
  // recorded beside the setting for the lead to compare.
  EXPECT_EQ(v["codec_name"], "mjpeg");
  RecordProperty("codec_tag", v["codec_tag_string"]);
  auto source = ProbeStream(SourceMovie(), "a:0");
  auto a = ProbeStream(target, "a:0");
  EXPECT_EQ(a["sample_rate"], source["sample_rate"]);
  EXPECT_EQ(a["channels"], source["channels"]);

  // The preferences file the shut-down wrote.
  std::string prefs;
  for (auto &entry : std::filesystem::recursive_directory_iterator(gHome + "/config/brizel"))
    if (entry.is_regular_file()) prefs += ReadAll(entry.path());
  // ("App Prefs" is stored by the preferences dialog only, which this road does not open.)
  for (const char *key : {"Project Prefs", "Window Locations", "Version"})
    EXPECT_NE(prefs.find(std::string("<key>") + key + "</key>"), std::string::npos) << key;

  // A second start: the dialog where it was left, with the same settings.
  Rect again{};
  SInt32 applied = 0;
  ASSERT_EQ(RunBrizel({}, [&] {
              GetWindowBounds(BZ_GetProjDlgWindow(), kWindowStructureRgn, &again);
              TD_ClickTab(W(kBZ_MainTabItem), 2);
              TD_ClickTab(W(kBZ_MethodTabItem), 4);
              applied = ItemValue(2359);
            }),
            0);
  ASSERT_TRUE(gStepsRan);
  EXPECT_EQ(again.left, placed.left);
  EXPECT_EQ(again.top, placed.top);
  EXPECT_EQ(applied, 1) << "cross-luma removal is still applied";
}

TEST_F(WholeApplication, BadInputOnTheCommandLineIsToldAndTheProgramKeepsWorking) {
  const std::string text = out_.File("notes.txt");
  std::ofstream(text) << "This is no movie, only a few words of text.\n";
  const std::string vanished = out_.File("gone.mov");
  struct Case {
    std::string path;
    bool told;  // the open-documents handler passes over files that are not ours without an error
  };
  for (const Case &c : {Case{text, false}, Case{vanished, true}}) {
    const std::string &bad = c.path;
    SCOPED_TRACE(bad);
    SInt32 frames = 0;
    // The file arguments are opened as the event loop starts, before the steps run: that alert is
    // answered through the next-answer hook, and the program's trace names the error it showed.
    if (c.told) TD_AnswerNextAlert(1);
    const std::string trace = out_.File("trace.txt");
    std::fflush(stdout);
    const int saved = dup(1);
    const int file = open(trace.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, 1);
    close(file);
    const int status = RunBrizel({bad}, [&] {
      // A good movie opens afterwards.
      ChooseSource(SourceMovie());
      frames = gBZ.project->info.statMovInfo[0].numFrames;
    });
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(gStepsRan);
    const std::string output = ReadAll(trace);
    EXPECT_EQ(output.find("opening the documents of the command line, error #") != std::string::npos, c.told)
        << output;
    EXPECT_EQ(frames, kFrames);
  }
}

}  // namespace
