// The preferences dialog offscreen, driven as the user drives it: the maximum IRE corrected after the
// typing pause, the Defaults button per tab, the save timer and its log block, Quit saving at once, Close,
// and the saved values and place at the next opening.
#include "app/prefs_dialog.h"

#include "app/app_preferences.h"
#include "app/log_contents.h"
#include "app/window_lookup.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/system_sounds.h"
#include "toolkit/dialog_items.h"
#include "toolkit/events_clicks_sounds.h"
#include "toolkit/log_window.h"
#include "toolkit/text_objects.h"
#include "toolkit/windows.h"

#include "engine/runtime/engine_host.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <chrono>
#include <string>

namespace {

class PrefsDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TD_App();
    home_ = new bz_test::TempDir;
    fakeHome_ = new bz_test::FakeHome(home_->path());
    ASSERT_EQ(CreateNibReference(CFSTR("BZ main"), &gBZ.nibRef), noErr);
    PL_SetSystemSoundsSilent(true);
    BZ_SetLogWriteAlertsQuiet(true);
  }
  static void TearDownTestSuite() {
    DisposeNibReference(gBZ.nibRef);
    gBZ.nibRef = nullptr;
    delete fakeHome_;
    delete home_;
  }
  void SetUp() override {
    CFPreferencesSetAppValue(kBZ_AppPrefsKey, nullptr, kCFPreferencesCurrentApplication);
    gBZ.savedWindowLoc[kBZ_PrefsWindowID] = Point{0, 0};
    ASSERT_EQ(BZ_CreateLogWindow(), noErr);
    ASSERT_EQ(BZ_PrefsDialog(), noErr);
    window_ = BZ_GetPrefsWindow();
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    if (WindowRef open = BZ_GetPrefsWindow()) GL_SendWindowCloseEvent(open);
    BZ_DisposeLogWindow();
  }
  QWidget *Control(SInt32 item) { return TD_FindControl(window_, item); }
  SInt32 Value(SInt32 item) {
    SInt32 v = -1;
    EXPECT_EQ(GL_GetDialogItemValueByID(window_, HIViewID{'Orl1', item}, &v), noErr);
    return v;
  }
  bool Active(SInt32 item) {
    HIViewRef view = nullptr;
    EXPECT_EQ(HIViewFindByID(HIViewGetRoot(window_), HIViewID{'Orl1', item}, &view), noErr);
    return HIViewIsActive(view, nullptr);
  }
  static BZ_AppPrefs Stored() {
    BZ_AppPrefs prefs{};
    BZ_GetAppPrefs(&prefs);
    return prefs;
  }
  static bool StoredExists() {
    CFPropertyListRef stored = CFPreferencesCopyAppValue(kBZ_AppPrefsKey, kCFPreferencesCurrentApplication);
    if (stored != nullptr) CFRelease(stored);
    return stored != nullptr;
  }
  static std::string Log() {
    PL_CFScoped<CFStringRef> name(BZ_GetLogName());
    CFStringRef s = nullptr;
    TXN_GetDataAsCFStr(LOG_GetTXNObject(name.get()), 0, kTXNEndOffset, &s);
    std::string text = PL_CFStringToUTF8(s);
    CFRelease(s);
    return text;
  }
  static size_t Count(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
  // The user selects the field's text and types over it.
  void TypeOver(SInt32 item, const std::string &text) {
    QWidget *field = Control(item);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    TD_Type(field, text);
  }
  std::string MaxIRE() { return static_cast<QLineEdit *>(Control(kBZ_PrefsMaxIREItem))->text().toStdString(); }

  WindowRef window_ = nullptr;
  static bz_test::TempDir *home_;
  static bz_test::FakeHome *fakeHome_;
};
bz_test::TempDir *PrefsDialog::home_ = nullptr;
bz_test::FakeHome *PrefsDialog::fakeHome_ = nullptr;

TEST_F(PrefsDialog, MaximumIREIsCorrectedAfterTheTypingPauseWithOneBeep) {
  TD_ClickTab(Control(kBZ_PrefsTabItem), 2);
  TD_Click(Control(kBZ_PrefsNtscSafeItem));
  ASSERT_TRUE(Active(kBZ_PrefsMaxIREItem));
  struct Case {
    const char *typed, *corrected;
  } cases[] = {{"150", "120"}, {"99", "100"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.typed);
    const UInt32 beeps = PL_GetAlertSoundCount();
    const auto start = std::chrono::steady_clock::now();
    TypeOver(kBZ_PrefsMaxIREItem, c.typed);
    EXPECT_EQ(MaxIRE(), c.typed);
    ASSERT_TRUE(TD_RunUntil([&] { return MaxIRE() == c.corrected; }, 5));
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 1.5);  // the check waits for the pause after the last key
    EXPECT_EQ(PL_GetAlertSoundCount(), beeps + 1);
  }
}

TEST_F(PrefsDialog, DefaultsResetOnlyTheVisibleTabAndSwitchingTabsChangesNothing) {
  // Away from the defaults on two tabs.
  TD_Click(Control(kBZ_PrefsCopySoundItem));
  TD_Click(Control(kBZ_PrefsAnamorphicItem));
  ASSERT_TRUE(TD_ChoosePopupItem(Control(kBZ_PrefsSoundItem), 1));  // "Bell", not "Hero"
  EXPECT_TRUE(Active(kBZ_PrefsDefaultsItem));
  TD_ClickTab(Control(kBZ_PrefsTabItem), 2);
  EXPECT_FALSE(Active(kBZ_PrefsDefaultsItem));  // the colour group is still the default
  TD_Click(Control(kBZ_PrefsNtscSafeItem));
  TD_Click(Control(kBZ_PrefsNtscSafeItem));
  EXPECT_FALSE(Active(kBZ_PrefsDefaultsItem));
  TypeOver(kBZ_PrefsMaxIREItem, "110");
  TD_Accept(Control(kBZ_PrefsMaxIREItem));
  TD_Click(Control(kBZ_PrefsGamma22Item));
  TD_Click(Control(kBZ_PrefsGamma22Item));
  EXPECT_FALSE(Active(kBZ_PrefsDefaultsItem)) << "the maximum IRE alone is no departure from the defaults";
  TD_Click(Control(kBZ_PrefsHighlightsItem));
  EXPECT_TRUE(Active(kBZ_PrefsDefaultsItem));

  TD_ClickTab(Control(kBZ_PrefsTabItem), 1);
  EXPECT_TRUE(Control(2005)->isVisible());
  EXPECT_FALSE(Control(2006)->isVisible());
  TD_Click(Control(kBZ_PrefsDefaultsItem));
  EXPECT_EQ(Value(kBZ_PrefsCopySoundItem), 1);
  EXPECT_EQ(Value(kBZ_PrefsAnamorphicItem), 0);
  CFStringRef sound = nullptr;
  ASSERT_EQ(GL_CopySelectedPopupTextByID(window_, HIViewID{'Orl1', kBZ_PrefsSoundItem}, &sound), noErr);
  EXPECT_EQ(PL_CFStringToUTF8(sound), "Hero");
  CFRelease(sound);
  EXPECT_FALSE(Active(kBZ_PrefsDefaultsItem));
  EXPECT_EQ(Value(kBZ_PrefsHighlightsItem), 1);  // the other tab keeps its change
}

TEST_F(PrefsDialog, TheSaveTimerStoresAndLogsTwoSecondsAfterTheLastChange) {
  const size_t blocks = Count(Log(), "Application preferences:");
  TD_ClickTab(Control(kBZ_PrefsTabItem), 3);
  TD_ClickTab(Control(kBZ_PrefsTabItem), 1);
  EXPECT_FALSE(TD_RunUntil([] { return StoredExists(); }, 2.5)) << "switching tabs is no change";
  const auto start = std::chrono::steady_clock::now();
  TD_Click(Control(kBZ_PrefsAnamorphicItem));
  ASSERT_TRUE(TD_RunUntil([] { return StoredExists(); }, 5));
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.9);
  BZ_AppPrefs prefs = Stored();
  EXPECT_TRUE(prefs.anamorphic1080);
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
  EXPECT_EQ(Count(Log(), "Application preferences:"), blocks + 1);
  EXPECT_NE(Log().find("    height 1080 MPEG2 anamorphic: yes\n"), std::string::npos);
}

TEST_F(PrefsDialog, QuitSavesAChangeAtOnceAndClosingKeepsThePlace) {
  TD_ClickTab(Control(kBZ_PrefsTabItem), 2);
  TD_Click(Control(kBZ_PrefsNtscSafeItem));
  TypeOver(kBZ_PrefsMaxIREItem, "135");  // not yet checked
  EventRef quit = nullptr;
  CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeNone, &quit);
  HICommand command{};
  command.commandID = kHICommandQuit;
  SetEventParameter(quit, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  EXPECT_EQ(SendEventToEventTarget(quit, GetWindowEventTarget(window_)), eventNotHandledErr);  // quitting goes on
  ReleaseEvent(quit);
  BZ_AppPrefs prefs = Stored();  // saved before any timer could fire
  EXPECT_TRUE(prefs.ntscSafeColors);
  EXPECT_EQ(prefs.maxIRE, 120);
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);

  MoveWindow(window_, 30, 20, false);
  TD_Click(Control(kBZ_PrefsCloseItem));
  EXPECT_EQ(BZ_GetPrefsWindow(), nullptr);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_PrefsWindowID].h, 30);
  EXPECT_EQ(gBZ.savedWindowLoc[kBZ_PrefsWindowID].v, 20);

  ASSERT_EQ(BZ_PrefsDialog(), noErr);
  window_ = BZ_GetPrefsWindow();
  Rect bounds{};
  GetWindowBounds(window_, kWindowContentRgn, &bounds);
  EXPECT_EQ(bounds.left, 30);
  EXPECT_EQ(bounds.top, 20);
  EXPECT_EQ(Value(kBZ_PrefsNtscSafeItem), 1);
  EXPECT_EQ(MaxIRE(), "120");
  // Opening again brings the open dialog to the front instead of making a second one.
  ASSERT_EQ(BZ_PrefsDialog(), noErr);
  EXPECT_EQ(BZ_GetPrefsWindow(), window_);
}

TEST_F(PrefsDialog, TheSoundPopUpListsTheSoundsAndPlaysTheChosenOne) {
  MenuRef menu = nullptr;
  ASSERT_EQ(GL_GetPopupMenuByID(window_, HIViewID{'Orl1', kBZ_PrefsSoundItem}, &menu), noErr);
  std::vector<std::string> names;
  for (MenuItemIndex i = 1; i <= CountMenuItems(menu); ++i) {
    CFStringRef text = nullptr;
    CopyMenuItemTextAsCFString(menu, i, &text);
    names.push_back(PL_CFStringToUTF8(text));
    CFRelease(text);
  }
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[0], "Bell");
  EXPECT_NE(std::find(names.begin(), names.end(), "Hero"), names.end());
  CFStringRef selected = nullptr;
  ASSERT_EQ(GL_CopySelectedPopupTextByID(window_, HIViewID{'Orl1', kBZ_PrefsSoundItem}, &selected), noErr);
  EXPECT_EQ(PL_CFStringToUTF8(selected), "Hero");
  CFRelease(selected);
  ASSERT_TRUE(TD_ChoosePopupItem(Control(kBZ_PrefsSoundItem), 2));
  const std::string played = PL_GetLastSystemSoundPlayed();
  EXPECT_EQ(played.substr(played.rfind('/') + 1), names[1] + ".wav");
}

int gStops = 0;
Boolean gStopWaited = false;
OSStatus RecordStop(void *, Boolean *actuallyStopping, Boolean waiting) {
  ++gStops;
  gStopWaited = waiting;
  if (actuallyStopping != nullptr) *actuallyStopping = true;
  gBZ.project->state.exec = kBZ_ProjStateReady;  // the run has ended when the stop returns
  return noErr;
}

TEST_F(PrefsDialog, VideoRangeOfYuv2StopsARunningAnalysisBeforeTheGammaChanges) {
  bz_test::CurrentProject project;
  BZ_EngineHost host{};
  host.stopMovieAnalysis = RecordStop;
  BZ_SetEngineHost(&host);
  project->info.statMovInfo[0].cType = 'yuv2';
  project->info.statMovInfo[0].gamma = 1.8f;
  project->info.statMovInfo[1].cType = '2vuy';
  project->info.statMovInfo[1].gamma = 2.5f;
  struct Case {
    BZ_ExecuteState exec;
    int stops;
    float gamma;  // of the 'yuv2' source after the click that turns video range on
  } cases[] = {{kBZ_ProjStateReady, 0, 2.2f}, {kBZ_ProjStatePreviewing, 1, 2.2f},
               {kBZ_ProjStateAnalyzingMovie, 1, 2.2f}, {kBZ_ProjStateExecuting, 0, 1.8f}};
  TD_ClickTab(Control(kBZ_PrefsTabItem), 2);
  for (const Case &c : cases) {
    SCOPED_TRACE(int(c.exec));
    gStops = 0;
    project->info.statMovInfo[0].gamma = 1.8f;
    gBZ.dlgTaskData.inputSettChanged = false;
    project->state.exec = c.exec;
    if (Value(kBZ_PrefsYuv2VideoRangeItem) != 0) TD_Click(Control(kBZ_PrefsYuv2VideoRangeItem));
    project->state.exec = c.exec;
    project->info.statMovInfo[0].gamma = 1.8f;
    gStops = 0;
    TD_Click(Control(kBZ_PrefsYuv2VideoRangeItem));
    ASSERT_EQ(Value(kBZ_PrefsYuv2VideoRangeItem), 1);
    EXPECT_EQ(gStops, c.stops);
    if (c.stops > 0) {
      EXPECT_TRUE(gStopWaited);
    }
    EXPECT_EQ(project->info.statMovInfo[0].gamma, c.gamma);
    EXPECT_EQ(project->info.statMovInfo[1].gamma, 2.5f);
    EXPECT_TRUE(gBZ.dlgTaskData.inputSettChanged);
  }
}

}  // namespace
