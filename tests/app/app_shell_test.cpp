// The application's spine offscreen: start-up through quit in-process along every road to quitting, the quit
// confirmation, activation and the one-second timer's pending error, a main task that does not end, error
// display, and a failing start-up.
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
#include "platform/ui/application.h"
#include "platform/ui/window_manager_qt.h"
#include "toolkit/windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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

void (*gAction)() = nullptr;

// Start-up itself dispatches timers (while it flushes pending keys), so a test's action waits until the
// application is up: its dialog on screen, its handlers installed and its main task running.
void RunActionWhenUp(EventLoopTimerRef timer, void *) {
  WindowRef dialog = BZ_GetProjDlgWindow();
  if (gAction == nullptr || dialog == nullptr || !IsWindowVisible(dialog) || gBZ.mainTaskData.ID == nullptr) return;
  RemoveEventLoopTimer(timer);
  void (*action)() = gAction;
  gAction = nullptr;
  action();
}

struct Shell : ::testing::Test {
  static void SetUpTestSuite() {
    static std::string config = std::filesystem::temp_directory_path() / ("brizel-shell-" + std::to_string(getpid()));
    std::filesystem::remove_all(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    // The log and the Trash stay inside the test's folder too.
    setenv("XDG_STATE_HOME", (config + "/state").c_str(), 1);
    setenv("XDG_DATA_HOME", (config + "/data").c_str(), 1);
    // A user's locale that writes "1,50" (generated into the build tree where localedef exists).
#ifdef BZ_TEST_LOCPATH
    if (std::filesystem::exists(BZ_TEST_LOCPATH "/de_DE.UTF-8")) setenv("LOCPATH", BZ_TEST_LOCPATH, 1);
#endif
    setenv("LC_ALL", "de_DE.UTF-8", 1);
  }
  // main's steps with `action` run once inside the running application; main's status.
  static int Run(void (*action)()) {
    static char name[] = "brizel";
    static char *argv[] = {name, nullptr};
    gAction = action;
    EventLoopTimerRef timer = nullptr;
    InstallEventLoopTimer(GetMainEventLoop(), 0.02, 0.02, RunActionWhenUp, nullptr, &timer);
    const int status = BZ_Main(1, argv);
    RemoveEventLoopTimer(timer);
    EXPECT_EQ(gAction, nullptr) << "the application never came up";
    return status;
  }
  static QWidget *Dialog() { return PL_GetWindowWidget(BZ_GetProjDlgWindow()); }
};

Point gSeen{};
UInt32 gSoundsAtQuit = 0;

void RememberWhereTheDialogIs() {
  Rect bounds{};
  GetWindowBounds(BZ_GetProjDlgWindow(), kWindowContentRgn, &bounds);
  gSeen = Point{bounds.top, bounds.left};
  gSoundsAtQuit = PL_GetAlertSoundCount();
}

TEST_F(Shell, EveryRoadToQuitEndsTheLoopAndTheWindowOpensWhereItWasLeft) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(0, Run([] {
    EXPECT_TRUE(IsWindowVisible(BZ_GetProjDlgWindow()));
    // For people to look at.
    std::filesystem::create_directories(BZ_ARTIFACTS_DIR);
    EXPECT_TRUE(Dialog()->grab().save(BZ_ARTIFACTS_DIR "/main-window.png"));
    MoveWindow(BZ_GetProjDlgWindow(), 120, 140, false);
    RememberWhereTheDialogIs();
    // Ctrl+Q typed into the dialog is Quit from the menu.
    Dialog()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Dialog()));
    QTest::keyClick(Dialog(), Qt::Key_Q, Qt::ControlModifier);
  }));
  const std::string out = ::testing::internal::GetCapturedStdout();
  // Failures inside the run went to the captured output.
  if (HasFailure()) std::fputs(out.c_str(), stderr);
  const char *order[] = {"KBZ: starting up, basic logging on, checking environment", "KBZ: initializing application",
                         "KBZ: opening project dialog", "KBZ: starting event loop", "KBZ: shutting down",
                         "KBZ: saved window locations"};
  size_t at = 0;
  for (const char *line : order) {
    const size_t found = out.find(line, at);
    EXPECT_NE(found, std::string::npos) << line;
    if (found != std::string::npos) at = found;
  }
  // Nothing was executing: no alert asked.
  EXPECT_EQ(PL_GetAlertSoundCount(), gSoundsAtQuit);
  CFPropertyListRef version = CFPreferencesCopyAppValue(CFSTR("Version"), kCFPreferencesCurrentApplication);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(CFGetTypeID(version), CFNumberGetTypeID());
  CFRelease(version);
  CFPropertyListRef locations = CFPreferencesCopyAppValue(CFSTR("Window Locations"), kCFPreferencesCurrentApplication);
  ASSERT_NE(locations, nullptr);
  CFRelease(locations);
  // The main task ended: its queues went with it.
  EXPECT_TRUE(BZ_MainTaskEnded());
  EXPECT_EQ(gBZ.mainTaskData.ID, nullptr);
  EXPECT_EQ(gBZ.mainTaskData.inputQueue, MPQueueID(0));
  EXPECT_EQ(gBZ.mainTaskData.outputQueue, MPQueueID(0));
  EXPECT_EQ(gBZ.mainTaskData.termQueue, MPQueueID(0));

  // Numbers keep their decimal point after start-up, whatever the user's locale.
  char number[32];
  std::snprintf(number, sizeof number, "%.2f", 1.5);
  EXPECT_STREQ(number, "1.50");
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
#ifdef BZ_TEST_LOCPATH
  if (std::filesystem::exists(BZ_TEST_LOCPATH "/de_DE.UTF-8")) {
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "de_DE.UTF-8") << "the user's locale was not applied";
  }
#endif

  // The window's close box takes the road of Quit; the window stays until shut-down.
  EXPECT_EQ(0, Run([] {
    RememberWhereTheDialogIs();
    MoveWindow(BZ_GetProjDlgWindow(), 60, 40, false);
    Dialog()->close();
    EXPECT_TRUE(IsWindowVisible(BZ_GetProjDlgWindow()));
  }));
  EXPECT_EQ(gSeen.h, 120);
  EXPECT_EQ(gSeen.v, 140);
  // SIGTERM from outside too.
  EXPECT_EQ(0, Run([] {
    RememberWhereTheDialogIs();
    std::raise(SIGTERM);
  }));
  EXPECT_EQ(gSeen.h, 60);
  EXPECT_EQ(gSeen.v, 40);
}

QString gAlertText;
UInt32 gAlertsWhileUp = 0;

// While the alert is up: another tick, then the user's Return.
void TickWhileTheAlertIsUp() {
  auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
  if (box == nullptr) {
    QTimer::singleShot(10, TickWhileTheAlertIsUp);
    return;
  }
  gAlertText = box->text();
  const UInt32 before = PL_GetAlertSoundCount();
  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);  // a second alert must not wait for anybody
  BZ_OneSecondTimer(nullptr, nullptr);
  PL_SetNextAlertAnswer(0);
  gAlertsWhileUp = PL_GetAlertSoundCount() - before;
  QTest::keyClick(box, Qt::Key_Return);
}

TEST_F(Shell, DamagedPreferencesAreToldTheDefaultsUsedAndTheLogAndStatusAreUp) {
  const std::string prefsPath = PL_CFPreferencesFilePath(kCFPreferencesCurrentApplication);
  PL_CFPreferencesForgetAll();
  {
    FILE *file = std::fopen(prefsPath.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("<?xml version=\"1.0\"?><plist><dict><key>App Prefs</key><dict>", file);  // cut off
    std::fclose(file);
  }
  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(0, Run([] {
    // The alert was answered during start-up, which went on.
    const PL_AlertDescription *alert = PL_GetLastRunAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->type, kAlertCautionAlert);
    const std::string message = Text(alert->message);
    EXPECT_NE(message.find("preferences could not be read"), std::string::npos) << message;
    EXPECT_NE(message.find(".damaged"), std::string::npos) << message;
    // The status window says what runs (at most the noise tables are still being made).
    WindowRef status = BZ_GetStatusWindow();
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(IsWindowVisible(status));
    // The log window exists and stays hidden.
    WindowRef log = BZ_GetLogWindow();
    ASSERT_NE(log, nullptr);
    EXPECT_FALSE(IsWindowVisible(log));
    BZ_SendQuitEvent();
  }));
  const std::string out = ::testing::internal::GetCapturedStdout();
  if (HasFailure()) std::fputs(out.c_str(), stderr);
  EXPECT_TRUE(std::filesystem::exists(prefsPath + ".damaged"));
  EXPECT_TRUE(std::filesystem::exists(prefsPath));  // quitting wrote a sound file again
  const std::string logPath = std::string(std::getenv("XDG_STATE_HOME")) + "/brizel/logs/Brizel Log";
  FILE *file = std::fopen(logPath.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::string log;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) log.append(chunk, n);
  std::fclose(file);
  const size_t opened = log.rfind("Opened application Orl Brizel. Time: ");
  ASSERT_NE(opened, std::string::npos);
  EXPECT_NE(log.find("preferences could not be read", opened), std::string::npos);
  EXPECT_NE(log.find("Application quit. Time: ", opened), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 2), "\r\r");
}

TEST_F(Shell, APendingErrorWaitsForTheFrontAndIsShownOnceByTheNextTick) {
  EXPECT_EQ(0, Run([] {
    QGuiApplication *app = qApp;
    const UInt32 sounds = PL_GetAlertSoundCount();
    emit app->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(gBZ.switchedIn);
    BZ_ShowError(5001);
    BZ_OneSecondTimer(nullptr, nullptr);
    EXPECT_EQ(gBZ.error, 5001);
    EXPECT_EQ(PL_GetAlertSoundCount(), sounds) << "shown in the background";

    // The five-second timer changes nothing.
    std::vector<unsigned char> before(sizeof gBZ), after(sizeof gBZ);
    std::memcpy(before.data(), static_cast<const void *>(&gBZ), sizeof gBZ);
    const ItemCount queued = GetNumEventsInQueue(GetMainEventQueue());
    BZ_FiveSecondTimer(gBZ.fiveSecondTimerRef, nullptr);
    std::memcpy(after.data(), static_cast<const void *>(&gBZ), sizeof gBZ);
    EXPECT_TRUE(before == after);
    EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), queued);
    EXPECT_EQ(PL_GetAlertSoundCount(), sounds);

    emit app->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_TRUE(gBZ.switchedIn);
    QTimer::singleShot(0, TickWhileTheAlertIsUp);
    BZ_OneSecondTimer(nullptr, nullptr);
    EXPECT_EQ(PL_GetAlertSoundCount(), sounds + 1);
    EXPECT_EQ(gAlertsWhileUp, 0u) << "the same error shown again by a tick while its alert was up";
    EXPECT_TRUE(gAlertText.startsWith(QString::fromStdString(Localized("BZ SrcFileNotFoundErr"))))
        << gAlertText.toStdString();
    EXPECT_EQ(gBZ.error, noErr);
    BZ_SendQuitEvent();
  }));
}

TEST_F(Shell, QuitWhileExecutingAsksAndOnlyTheUsersQuitGivesUp) {
  static int argc = 1;
  static char name[] = "brizel";
  static char *argv[] = {name, nullptr};
  ASSERT_EQ(noErr, PL_CreateApplication(&argc, argv));  // the alerts are Qt's
  BZ_Project project{};
  BZ_ProjPtr saved = gBZ.project;
  gBZ.project = &project;
  project.state.exec = kBZ_ProjStateExecuting;
  MPQueueID savedQueue = gBZ.mainTaskData.inputQueue;
  ASSERT_EQ(noErr, MPCreateQueue(&gBZ.mainTaskData.inputQueue));
  gBZ.startQuitting = false;
  gBZ.switchedIn = true;

  auto sendQuit = [] {
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
    HICommand command{0, kHICommandQuit, {nullptr, 0}};
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    EXPECT_EQ(noErr, BZ_AppEventHandler(nullptr, event, nullptr));
    ReleaseEvent(event);
  };
  auto nothingPosted = [] {
    void *code = nullptr;
    return MPWaitOnQueue(gBZ.mainTaskData.inputQueue, nullptr, nullptr, &code, kDurationImmediate) == kMPTimeoutErr;
  };
  PL_SetNextAlertAnswer(kAlertStdAlertCancelButton);
  sendQuit();
  const PL_AlertDescription *alert = PL_GetLastRunAlert();
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(Text(alert->message), Localized("BZ Are You Sure"));
  EXPECT_EQ(Text(alert->explanation), Localized("BZ Running Project Lost"));
  EXPECT_EQ(Text(alert->buttonText[0]), Localized("BZ Yes Quit"));
  EXPECT_EQ(Text(alert->buttonText[1]), Localized("BZ Dont Quit"));
  for (const char *key : {"BZ Are You Sure", "BZ Running Project Lost", "BZ Yes Quit", "BZ Dont Quit"})
    EXPECT_NE(Localized(key), key) << "no English text";
  EXPECT_FALSE(gBZ.startQuitting);
  EXPECT_EQ(project.state.exec, kBZ_ProjStateExecuting);
  EXPECT_TRUE(nothingPosted());

  // Nobody answers: after its time the alert gives the answer that loses nothing.
  sendQuit();
  EXPECT_FALSE(gBZ.startQuitting);
  EXPECT_EQ(project.state.exec, kBZ_ProjStateExecuting);
  EXPECT_TRUE(nothingPosted());

  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
  sendQuit();
  EXPECT_TRUE(gBZ.startQuitting);
  void *code = nullptr;
  ASSERT_EQ(noErr, MPWaitOnQueue(gBZ.mainTaskData.inputQueue, nullptr, nullptr, &code, kDurationImmediate));
  EXPECT_EQ(intptr_t(code), 5031);

  MPDeleteQueue(gBZ.mainTaskData.inputQueue);
  gBZ.mainTaskData.inputQueue = savedQueue;
  gBZ.project = saved;
  gBZ.startQuitting = false;
}

TEST_F(Shell, TheEndOfARunKeepsTheTasksWholeNumber) {
  static int argc = 1;
  static char name[] = "brizel";
  static char *argv[] = {name, nullptr};
  ASSERT_EQ(noErr, PL_CreateApplication(&argc, argv));
  gBZ.switchedIn = false;  // the number waits in gBZ.error
  BZ_Project project{};
  BZ_ProjPtr saved = gBZ.project;
  gBZ.project = &project;
  const MPQueueID savedQueue = gBZ.mainTaskData.outputQueue;
  ASSERT_EQ(noErr, MPCreateQueue(&gBZ.mainTaskData.outputQueue));
  // 0x10000 has no low 16 bits but is a failure; 70000 must not become another number's key.
  for (OSStatus code : {OSStatus(0x10000), OSStatus(70000), OSStatus(-70000), OSStatus(5003), OSStatus(noErr)}) {
    SCOPED_TRACE(code);
    gBZ.error = noErr;
    project.state.exec = kBZ_ProjStateCanceled;
    ASSERT_EQ(noErr, MPNotifyQueue(gBZ.mainTaskData.outputQueue, nullptr, &project,
                                   reinterpret_cast<void *>(intptr_t(code))));
    BZ_WaitOnResultQueue();
    EXPECT_EQ(gBZ.error, code);
  }
  MPDeleteQueue(gBZ.mainTaskData.outputQueue);
  gBZ.mainTaskData.outputQueue = savedQueue;
  gBZ.project = saved;
  gBZ.error = noErr;
}

TEST_F(Shell, AMainTaskThatDoesNotEndStillLeavesItsPreferencesAndTheProcessEndsWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child runs this test again: it takes the parent's folder, not one named after its own process.
  const std::string parent = std::filesystem::temp_directory_path() / ("brizel-stuck-" + std::to_string(getpid()));
  setenv("BZ_TEST_STUCK_CONFIG", parent.c_str(), 0);
  const std::string config = std::getenv("BZ_TEST_STUCK_CONFIG");
  EXPECT_EXIT(
      {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        Run([] {
          // The main task's end goes to the queue it was made with; shut-down watches another one, so for
          // shut-down the task never ends.
          MPQueueID silent = 0;
          MPCreateQueue(&silent);
          gBZ.mainTaskData.termQueue = silent;
          BZ_SendQuitEvent();
        });
        std::exit(1);  // main must not return while the task may still post
      },
      ::testing::ExitedWithCode(0), "");
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  CFPropertyListRef version = CFPreferencesCopyAppValue(CFSTR("Version"), kCFPreferencesCurrentApplication);
  EXPECT_NE(version, nullptr);
  if (version != nullptr) CFRelease(version);
  CFPropertyListRef locations = CFPreferencesCopyAppValue(CFSTR("Window Locations"), kCFPreferencesCurrentApplication);
  EXPECT_NE(locations, nullptr);
  if (locations != nullptr) CFRelease(locations);
  std::filesystem::remove_all(config);
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
  // In the background a number waits; one with nothing to show does not replace it.
  gBZ.switchedIn = false;
  gBZ.error = noErr;
  const UInt32 sounds = PL_GetAlertSoundCount();
  for (OSStatus error : {OSStatus(5003), OSStatus(5001), OSStatus(noErr), OSStatus(userCanceledErr)})
    BZ_ShowError(error);
  EXPECT_EQ(gBZ.error, 5001);
  EXPECT_EQ(PL_GetAlertSoundCount(), sounds);
  gBZ.switchedIn = true;
  gBZ.error = noErr;
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
