// The application's spine offscreen: start-up through quit in-process, the quit confirmation, error display
// and the menu bar's commands.
#include "app/app_startup.h"
#include "app/error_display.h"
#include "app/window_lookup.h"
#include "engine/runtime/project_types.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/multiprocessing.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/window_manager_qt.h"
#include "toolkit/windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string Localized(const char *key) {
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFStringRef s = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), k, k, nullptr);
  char buffer[1024] = {};
  CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8);
  CFRelease(s);
  CFRelease(k);
  return buffer;
}

std::string Text(CFStringRef s) {
  char buffer[1024] = {};
  if (s != nullptr) CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8);
  return buffer;
}

struct Shell : ::testing::Test {
  static void SetUpTestSuite() {
    static std::string config = std::filesystem::temp_directory_path() / ("brizel-shell-" + std::to_string(getpid()));
    std::filesystem::remove_all(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
  }
  static int Run(void (*whileRunning)(EventLoopTimerRef, void *)) {
    static char name[] = "brizel";
    static char *argv[] = {name, nullptr};
    EventLoopTimerRef timer = nullptr;
    InstallEventLoopTimer(GetMainEventLoop(), 0.3, 0, whileRunning, nullptr, &timer);
    const int status = BZ_Main(1, argv);
    RemoveEventLoopTimer(timer);
    return status;
  }
};

Point gSeen{};

TEST_F(Shell, QuitsThroughTheCommandAndOpensWhereItWasLeft) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(0, Run([](EventLoopTimerRef, void *) {
    WindowRef dialog = BZ_GetProjDlgWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    // For people to look at.
    std::filesystem::create_directories("artifacts");
    PL_GetWindowWidget(dialog)->grab().save("artifacts/main-window.png");
    MoveWindow(dialog, 120, 140, false);
    BZ_SendQuitEvent();
  }));
  const std::string out = ::testing::internal::GetCapturedStdout();
  const char *order[] = {"KBZ: starting up, basic logging on, checking environment", "KBZ: initializing application",
                         "KBZ: opening project dialog", "KBZ: starting event loop", "KBZ: shutting down",
                         "KBZ: saved window locations"};
  size_t at = 0;
  for (const char *line : order) {
    const size_t found = out.find(line, at);
    EXPECT_NE(found, std::string::npos) << line;
    if (found != std::string::npos) at = found;
  }
  CFPropertyListRef version = CFPreferencesCopyAppValue(CFSTR("Version"), kCFPreferencesCurrentApplication);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(CFGetTypeID(version), CFNumberGetTypeID());
  CFRelease(version);
  CFPropertyListRef locations = CFPreferencesCopyAppValue(CFSTR("Window Locations"), kCFPreferencesCurrentApplication);
  ASSERT_NE(locations, nullptr);
  CFRelease(locations);
  EXPECT_TRUE(BZ_MainTaskEnded());

  // Numbers keep their decimal point after start-up.
  char number[32];
  std::snprintf(number, sizeof number, "%.2f", 1.5);
  EXPECT_STREQ(number, "1.50");

  EXPECT_EQ(0, Run([](EventLoopTimerRef, void *) {
    Rect bounds{};
    GetWindowBounds(BZ_GetProjDlgWindow(), kWindowContentRgn, &bounds);
    gSeen = Point{bounds.top, bounds.left};
    BZ_SendQuitEvent();
  }));
  EXPECT_EQ(gSeen.h, 120);
  EXPECT_EQ(gSeen.v, 140);
}

TEST_F(Shell, QuitWhileExecutingAsksAndOnlyTheUsersQuitGivesUp) {
  static char name[] = "brizel";
  static char *argv[] = {name, nullptr};
  static int argc = 1;
  (void)argv;
  (void)argc;
  BZ_Project project{};
  BZ_ProjPtr saved = gBZ.project;
  gBZ.project = &project;
  project.state.exec = kBZ_ProjStateExecuting;
  MPQueueID savedQueue = gBZ.mainTaskData.inputQueue;
  ASSERT_EQ(noErr, MPCreateQueue(&gBZ.mainTaskData.inputQueue));
  gBZ.startQuitting = false;

  auto sendQuit = [] {
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
    HICommand command{0, kHICommandQuit, {nullptr, 0}};
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    EXPECT_EQ(noErr, BZ_AppEventHandler(nullptr, event, nullptr));
    ReleaseEvent(event);
  };
  PL_SetNextAlertAnswer(kAlertStdAlertCancelButton);
  sendQuit();
  const PL_AlertDescription *alert = PL_GetLastRunAlert();
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(Text(alert->message), Localized("BZ Are You Sure"));
  EXPECT_EQ(Text(alert->explanation), Localized("BZ Running Project Lost"));
  EXPECT_EQ(Text(alert->buttonText[0]), Localized("BZ Yes Quit"));
  EXPECT_EQ(Text(alert->buttonText[1]), Localized("BZ Dont Quit"));
  EXPECT_FALSE(gBZ.startQuitting);
  EXPECT_EQ(project.state.exec, kBZ_ProjStateExecuting);
  void *code = nullptr;
  EXPECT_EQ(kMPTimeoutErr, MPWaitOnQueue(gBZ.mainTaskData.inputQueue, nullptr, nullptr, &code, kDurationImmediate));

  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
  sendQuit();
  EXPECT_TRUE(gBZ.startQuitting);
  ASSERT_EQ(noErr, MPWaitOnQueue(gBZ.mainTaskData.inputQueue, nullptr, nullptr, &code, kDurationImmediate));
  EXPECT_EQ(intptr_t(code), 5031);

  MPDeleteQueue(gBZ.mainTaskData.inputQueue);
  gBZ.mainTaskData.inputQueue = savedQueue;
  gBZ.project = saved;
  gBZ.startQuitting = false;
}

TEST_F(Shell, ErrorsShowTheirEnglishTextAndTheWholeNumberInTheTrace) {
  gBZ.switchedIn = true;
  struct Case {
    OSStatus error;
    const char *key;  // nullptr: nothing is shown
    const char *number;
  };
  const Case cases[] = {{0, nullptr, nullptr},
                        {-128, nullptr, nullptr},
                        {5003, "BZ TargetFileNotFoundErr", "5003"},
                        {5004, "BZ TargetFileNotFoundErr", "5004"},
                        {5011, "BZ OpeningProjectErr", "5011"},
                        {5012, "BZ OpeningProjectErr", "5012"},
                        {4004, "GL UnknownErr", "4004"},
                        {4500, "GL UnknownErr", "4500"},
                        {10005, "GL GL_Err", "10005"},
                        {70000, "GL UnknownErr", "4464"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.error);
    PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
    ::testing::internal::CaptureStdout();
    BZ_ShowError(c.error);
    const std::string trace = ::testing::internal::GetCapturedStdout();
    const PL_AlertDescription *alert = PL_GetLastRunAlert();
    if (c.key == nullptr) {
      EXPECT_TRUE(trace.empty());
      PL_SetNextAlertAnswer(0);
      continue;
    }
    ASSERT_NE(alert, nullptr);
    const std::string text = Localized(c.key);
    EXPECT_NE(text, c.key);
    EXPECT_EQ(Text(alert->message), text + "\nError #" + c.number);
    EXPECT_NE(trace.find("error # " + std::to_string(c.error)), std::string::npos) << trace;
  }
  for (int n : {4000, 4001, 4008}) {
    CFStringRef key = nullptr, text = nullptr;
    BZ_GetAppErrorStringRef(n, &key, &text);
    EXPECT_EQ(n == 4000, text == nullptr) << n;
    if (text != nullptr) CFRelease(text);
  }
  for (int n = 5001; n <= 5024; ++n) {
    CFStringRef key = nullptr, text = nullptr;
    BZ_GetAppErrorStringRef(n, &key, &text);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(Text(key), Text(text)) << n << " has no English text";
    CFRelease(text);
  }
  // In the background the number waits for the timer.
  gBZ.switchedIn = false;
  gBZ.error = noErr;
  BZ_ShowError(5001);
  EXPECT_EQ(gBZ.error, 5001);
  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
  BZ_ShowErrorInEventLoop();  // not called while in the background by the timer; shown once in front
  gBZ.switchedIn = true;
  gBZ.error = 5001;
  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
  ::testing::internal::CaptureStdout();
  BZ_ShowErrorInEventLoop();
  BZ_ShowErrorInEventLoop();
  const std::string trace = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(trace.find("error # 5001"), trace.rfind("error # 5001"));
  EXPECT_EQ(gBZ.error, noErr);
}

TEST_F(Shell, FailingStartUpShowsItsErrorAndDoesNotRun) {
  const std::string bundle = PL_MainBundleDirectory();
  const std::string empty = std::filesystem::temp_directory_path() / ("brizel-empty-" + std::to_string(getpid()));
  std::filesystem::create_directories(empty + "/en.lproj");
  std::filesystem::copy_file(bundle + "/en.lproj/Localizable.strings", empty + "/en.lproj/Localizable.strings",
                             std::filesystem::copy_options::overwrite_existing);
  PL_SetMainBundleDirectory(empty.c_str());
  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
  ::testing::internal::CaptureStdout();
  static char name[] = "brizel";
  static char *argv[] = {name, nullptr};
  EXPECT_EQ(0, BZ_Main(1, argv));
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("KBZ: starting event loop"), std::string::npos);
  EXPECT_NE(out.find("error # -43"), std::string::npos) << out;
  PL_SetMainBundleDirectory(bundle.c_str());
  std::filesystem::remove_all(empty);
}

}  // namespace
