// The log library offscreen: the file found through its alias or made anew (also when it went to the
// Trash), blocks reaching the file as they are written, a failing disk, and the window's events.
#include "toolkit/log_window.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/files.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/text_views_qt.h"
#include "platform/ui/window_manager_qt.h"
#include "toolkit/text_objects.h"

#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTextEdit>

#include <filesystem>
#include <memory>
#include <string>

namespace {

QApplication &App() {
  static int argc = 1;
  static char name[] = "log_window_test";
  static char *argv[] = {name, nullptr};
  static QApplication *app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
  (void)app;
  return *static_cast<QApplication *>(QApplication::instance());
}

std::vector<OSStatus> gFailures;
void RecordFailure(OSStatus err) { gFailures.push_back(err); }

class LogWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    App();
    home_ = new bz_test::TempDir;
    fakeHome_ = new bz_test::FakeHome(home_->path());
    // The application's Window menu with its show/hide item.
    MenuRef window = nullptr;
    ASSERT_EQ(CreateNewMenu(2003, 0, &window), noErr);
    ASSERT_EQ(AppendMenuItemTextWithCFString(window, CFSTR("Show Log"), 0, 'SLog', nullptr), noErr);
    InsertMenu(window, 0);
  }
  static void TearDownTestSuite() {
    delete fakeHome_;
    delete home_;
  }
  void SetUp() override {
    CFPreferencesSetAppValue(CFSTR("Log Alias"), nullptr, kCFPreferencesCurrentApplication);
    std::filesystem::remove_all(LogsFolder());
    gFailures.clear();
    location_ = Point{0, 0};
  }
  void TearDown() override {
    PL_FailWritesAfterBytes(-1);
    LOG_DisposeWindow(Name());
  }
  static CFStringRef Name() { return CFSTR("Test Log"); }
  static std::string LogsFolder() { return home_->path() + "/.local/state/brizel/logs"; }
  static std::string LogPath() { return LogsFolder() + "/Test Log"; }
  OSStatus Create() {
    LOG_InitData init{};
    init.location = &location_;
    init.creator = 'Orl1';
    init.name = Name();
    init.formatStr = "Format line.\n";
    init.descriptionStr = "Description line.\n";
    init.versionStr = "Version 1\n\n";
    init.windowMenuID = 2003;
    init.viewID = 2000;
    init.scrollID = 2001;
    init.showLogCommandID = 'SLog';
    init.placardHeight = 0;
    init.writeFailureProc = RecordFailure;
    return LOG_CreateWindow(&init);
  }
  std::string Text() {
    CFStringRef s = nullptr;
    EXPECT_EQ(TXN_GetDataAsCFStr(LOG_GetTXNObject(Name()), 0, kTXNEndOffset, &s), noErr);
    std::string text = PL_CFStringToUTF8(s);
    CFRelease(s);
    return text;
  }
  OSStatus Append(const std::string &line) { return LOG_AppendReadOnlyText(LOG_GetData(Name()), line.data(), long(line.size())); }
  OSStatus SendCommand(UInt32 commandID) {
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeNone, &event);
    HICommand command{};
    command.commandID = commandID;
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    OSStatus result = SendEventToEventTarget(event, GetWindowEventTarget(LOG_GetWindow(Name())));
    ReleaseEvent(event);
    return result;
  }

  static bz_test::TempDir *home_;
  static bz_test::FakeHome *fakeHome_;
  Point location_{0, 0};
};
bz_test::TempDir *LogWindow::home_ = nullptr;
bz_test::FakeHome *LogWindow::fakeHome_ = nullptr;

const std::string kHeader = "\nFormat line.\nDescription line.\nVersion 1\n\n\n\n";

TEST_F(LogWindow, FirstStartMakesTheFileWithItsHeaderAndTheNextFindsItThroughTheAlias) {
  ASSERT_EQ(Create(), noErr);
  WindowRef window = LOG_GetWindow(Name());
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(bz_test::ReadText(LogPath()), kHeader);
  CFPropertyListRef alias = CFPreferencesCopyAppValue(CFSTR("Log Alias"), kCFPreferencesCurrentApplication);
  ASSERT_NE(alias, nullptr);
  CFRelease(alias);
  FSRef ref = bz_test::RefFor(LogPath());
  FSCatalogInfo info{};
  if (FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr) == noErr &&
      reinterpret_cast<FileInfo *>(info.finderInfo)->fileType != 0) {
    EXPECT_EQ(reinterpret_cast<FileInfo *>(info.finderInfo)->fileType, OSType('txtn'));
    EXPECT_EQ(reinterpret_cast<FileInfo *>(info.finderInfo)->fileCreator, OSType('Orl1'));
  }

  // Each block is in the file as soon as it is written, line ends as written.
  ASSERT_EQ(Append("Opened. Time: now\r\r"), noErr);
  EXPECT_EQ(bz_test::ReadText(LogPath()), kHeader + "Opened. Time: now\r\r");
  ASSERT_EQ(LOG_DisposeWindow(Name()), noErr);

  ASSERT_EQ(Create(), noErr);
  EXPECT_EQ(Text(), kHeader + "Opened. Time: now\r\r");
  ASSERT_EQ(Append("Second start\r\r"), noErr);
  EXPECT_EQ(bz_test::ReadText(LogPath()), Text());
}

TEST_F(LogWindow, AFileMovedToTheTrashGivesANewLog) {
  ASSERT_EQ(Create(), noErr);
  ASSERT_EQ(Append("old\r"), noErr);
  ASSERT_EQ(LOG_DisposeWindow(Name()), noErr);
  const std::string trash = home_->path() + "/.local/share/Trash/files";
  std::filesystem::create_directories(trash);
  std::filesystem::rename(LogPath(), trash + "/Test Log");

  ASSERT_EQ(Create(), noErr);
  EXPECT_EQ(Text(), kHeader);
  EXPECT_EQ(bz_test::ReadText(LogPath()), kHeader);
  EXPECT_EQ(bz_test::ReadText(trash + "/Test Log"), kHeader + "old\r");
}

TEST_F(LogWindow, AFailingDiskIsReportedOnceAndTheTextReachesTheFileLater) {
  ASSERT_EQ(Create(), noErr);
  PL_FailWritesAfterBytes(0);
  ASSERT_EQ(Append("lost for now\r"), noErr);  // the text is kept; the failure is told
  ASSERT_EQ(Append("and this\r"), noErr);
  ASSERT_EQ(gFailures.size(), 1u);
  EXPECT_EQ(gFailures[0], dskFulErr);
  EXPECT_EQ(Text(), kHeader + "lost for now\rand this\r");
  // Still failing at dispose: the window stays and the error comes back.
  EXPECT_EQ(LOG_DisposeWindow(Name()), dskFulErr);
  EXPECT_NE(LOG_GetWindow(Name()), nullptr);
  PL_FailWritesAfterBytes(-1);
  ASSERT_EQ(LOG_DisposeWindow(Name()), noErr);
  EXPECT_EQ(bz_test::ReadText(LogPath()), kHeader + "lost for now\rand this\r");
}

TEST_F(LogWindow, CloseAndQuitHideItAndKeepItsPlaceShowLogShowsIt) {
  ASSERT_EQ(Create(), noErr);
  WindowRef window = LOG_GetWindow(Name());
  ASSERT_EQ(LOG_ShowHide(LOG_GetData(Name())), noErr);
  EXPECT_TRUE(IsWindowVisible(window));
  auto itemText = [] {
    CFStringRef text = nullptr;
    EXPECT_EQ(CopyMenuItemTextAsCFString(GetMenuHandle(2003), 1, &text), noErr);
    std::string utf8 = PL_CFStringToUTF8(text);
    CFRelease(text);
    return utf8;
  };
  EXPECT_EQ(itemText(), "Hide Log");
  MoveWindow(window, 123, 87, false);
  EventRef close = nullptr;
  CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, 0, kEventAttributeNone, &close);
  SetEventParameter(close, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
  EXPECT_EQ(SendEventToEventTarget(close, GetWindowEventTarget(window)), noErr);
  ReleaseEvent(close);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_NE(LOG_GetWindow(Name()), nullptr);
  EXPECT_EQ(location_.h, 123);
  EXPECT_EQ(location_.v, 87);
  EXPECT_EQ(itemText(), "Show Log");

  ASSERT_EQ(LOG_ShowHide(LOG_GetData(Name())), noErr);
  MoveWindow(window, 140, 90, false);
  EXPECT_EQ(SendCommand(kHICommandQuit), eventNotHandledErr);  // quitting goes on
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(location_.h, 140);
  EXPECT_EQ(SendCommand(kHICommandQuit), eventNotHandledErr);
  EXPECT_FALSE(IsWindowVisible(window));  // a hidden log is not shown by quitting
}

TEST_F(LogWindow, ResizingKeepsTheWidthAndAMinimumHeight) {
  ASSERT_EQ(Create(), noErr);
  WindowRef window = LOG_GetWindow(Name());
  ASSERT_EQ(LOG_ShowHide(LOG_GetData(Name())), noErr);
  Rect before{};
  GetWindowBounds(window, kWindowContentRgn, &before);
  SizeWindow(window, 600, 100, true);
  Rect after{};
  GetWindowBounds(window, kWindowContentRgn, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, 200);
  SizeWindow(window, 380, 500, true);
  GetWindowBounds(window, kWindowContentRgn, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, 500);
  // The text follows the window's height.
  HIViewRef text = nullptr;
  ASSERT_EQ(HIViewFindByID(HIViewGetRoot(window), HIViewID{'LOGT', 2000}, &text), noErr);
  EXPECT_EQ(PL_GetTextViewWidget(text)->parentWidget()->height(), 500);
}

TEST_F(LogWindow, CopyTakesTheSelectionAndPrintingWithoutOneTakesEverything) {
  ASSERT_EQ(Create(), noErr);
  ASSERT_EQ(Append("alpha\rbeta\r"), noErr);
  LOG_DataPtr data = LOG_GetData(Name());
  const TXNOffset start = TXNOffset(kHeader.size());
  ASSERT_EQ(TXNSetSelection(data->txnObject, start, start + 5), noErr);
  EXPECT_EQ(SendCommand('copy'), noErr);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha"));

  bz_test::TempDir dir;
  const std::string pdf = dir.File("log.pdf");
  PL_SetPrintOutputFile(pdf.c_str());
  ASSERT_EQ(LOG_PrintTextView(Name()), noErr);
  EXPECT_EQ(std::string(PL_GetLastPrintedText()), "alpha");
  ASSERT_EQ(TXNSetSelection(data->txnObject, 3, 3), noErr);
  ASSERT_EQ(LOG_PageSetup(Name()), noErr);
  ASSERT_EQ(LOG_PrintTextView(Name()), noErr);
  PL_SetPrintOutputFile(nullptr);
  EXPECT_EQ(std::string(PL_GetLastPrintedText()), kHeader + "alpha\nbeta\n");
  EXPECT_TRUE(bz_test::Exists(pdf));
}

TEST_F(LogWindow, LongMessagesAreAppendedWhole) {
  ASSERT_EQ(Create(), noErr);
  const std::string message(40000, 'x');
  LOG_DataPtr data = LOG_GetData(Name());
  ASSERT_EQ(LOG_SetMessage(data->txnObject, message.c_str()), noErr);
  ASSERT_EQ(LOG_SetMessageAppendTime(data->txnObject, message.c_str()), noErr);
  const std::string text = Text();
  EXPECT_EQ(text.compare(kHeader.size(), message.size() * 2 + 7, message + message + " Time: "), 0);
}

}  // namespace
