// The project dialog's settings offscreen: every group written into the dialog and read back, the odd value
// rules and the "?" of unmeasured values, the redraw of marked groups only, the defaults buttons, stored
// settings that are invalid for the movie; the checks of typed numbers (through QTest typing, with their
// timer and Return); and the run control's decisions on a real dialog.
#include "dialog/edit_text_checks.h"
#include "dialog/project_dialog.h"
#include "dialog/run_control.h"
#include "dialog/settings_transfer.h"

#include "app/window_lookup.h"
#include "dialog/method_tabs.h"
#include "dialog/method_types.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/project_settings.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/standard_alerts.h"
#include "platform/core/window_refcons.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/window_manager_qt.h"
#include "support/cf_check.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <string>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

class DialogSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    TD_App();
    PL_CFPreferencesForgetAll();
    ASSERT_EQ(CreateNibReference(CFSTR("BZ main"), &gBZ.nibRef), noErr);
    // The dialog loads the stored settings: the test's own, with the movie described first.
    bz_test::DescribeSource(project_.statMovInfo(), 0, 480, 720, 100, '2vuy');
    project_.statMovInfo()[0].gamma = 2.2f;
    ASSERT_EQ(BZ_OpenProjectDialog(), noErr);
    window_ = BZ_GetProjDlgWindow();
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(PL_GetWindowWidget(window_)));
    // Opening without a source file cleared the description: the movie as the Input tab would describe it.
    bz_test::DescribeSource(project_.statMovInfo(), 0, 480, 720, 100, '2vuy');
    project_.statMovInfo()[0].gamma = 2.2f;
  }
  void TearDown() override {
    BZ_DisposeDialog();
    DisposeNibReference(gBZ.nibRef);
    gBZ.nibRef = nullptr;
    PL_CFPreferencesForgetAll();
  }

  QWidget *W(SInt32 n) { return TD_FindControl(window_, n); }
  std::string ItemText(SInt32 n) {
    CFStringRef text = nullptr;
    EXPECT_EQ(GL_CopyDialogItemTextByID(window_, Item(n), &text), noErr) << n;
    PL_CFScoped<CFStringRef> held(text);
    return bz_test::CFText(text);
  }
  SInt32 Value(SInt32 n) {
    SInt32 v = -99;
    EXPECT_EQ(GL_GetDialogItemValueByID(window_, Item(n), &v), noErr) << n;
    return v;
  }
  bool Active(SInt32 n) {
    Boolean active = false;
    EXPECT_EQ(GL_IsDialogItemActiveByID(window_, Item(n), &active), noErr) << n;
    return active;
  }
  void SetText(SInt32 n, const char *text) {
    PL_CFScoped<CFStringRef> s{CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8)};
    ASSERT_EQ(GL_SetDialogItemTextByID(window_, Item(n), s.get()), noErr);
  }
  BZ_ProjSett &Settings() { return project_->info.settings; }
  void RedrawAll() {
    gBZ.dlgData->state.neededUpdates = 0xFF;
    ASSERT_EQ(BZ_ProjDlgUpdateSettingsInDlg(window_), noErr);
  }
  DI_DlgRefCon *RefCon() { return reinterpret_cast<DI_DlgRefCon *>(GetWRefCon(window_)); }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
  bz_test::CurrentProject project_;
  WindowRef window_ = nullptr;
};

// ---- Settings transfer ----

TEST_F(DialogSettings, EveryGroupReadsBackWhatWasWritten) {
  BZ_ProjSett &s = Settings();
  s.cleaning = bz_test::NonDefaultCleaning();
  // Values that the dialog's controls can hold: the little arrows keep their own ranges.
  s.cleaning.noiseRed.startFrame = 3;
  s.cleaning.noiseRed.endFrame = 40;
  s.cleaning.removeLogo.minBackGrUnif = 0.7;
  s.input = BZ_InputSett{true, true, true, true, Rect{8, 16, 4, 12}, false, true};
  s.output.makeNoiseMovie = true;
  const BZ_ProjSett written = s;
  RedrawAll();
  EXPECT_EQ(gBZ.dlgData->state.neededUpdates, 0u) << "each Make clears its bit";

  s.cleaning = BZ_CleaninSett{};
  s.input = BZ_InputSett{};
  s.output.makeNoiseMovie = false;
  ASSERT_EQ(BZ_ProjDlgGetSett(window_), noErr);
  bz_test::ExpectSameCleaning(s.cleaning, written.cleaning);
  EXPECT_EQ(s.input.interlaced, written.input.interlaced);
  EXPECT_EQ(s.input.topFieldFirst, written.input.topFieldFirst);
  EXPECT_EQ(s.input.whiteLinePiece, written.input.whiteLinePiece);
  EXPECT_EQ(s.input.cropping, written.input.cropping);
  EXPECT_EQ(bz_test::RectText(s.input.cropRect), bz_test::RectText(written.input.cropRect));
  EXPECT_EQ(s.input.autoDetectBlackBars, written.input.autoDetectBlackBars);
  EXPECT_EQ(s.input.maskBlackBars, written.input.maskBlackBars);
  EXPECT_TRUE(s.output.makeNoiseMovie);
  // Float texts have two decimals, the scratch width one.
  EXPECT_EQ(ItemText(2104), "-3.25");
  EXPECT_EQ(ItemText(2511), "4.5");
}

TEST_F(DialogSettings, BlackBarItemsFollowTheirOwnValueRules) {
  const struct {
    bool autoDetect, mask;
    SInt32 value2035, value2036;
  } cases[] = {{true, true, 1, 2}, {false, false, 2, 1}, {true, false, 1, 1}, {false, true, 2, 2}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.autoDetect) + std::to_string(c.mask));
    Settings().input.autoDetectBlackBars = c.autoDetect;
    Settings().input.maskBlackBars = c.mask;
    ASSERT_EQ(BZ_ProjDlgMakeInputSett(window_), noErr);
    EXPECT_EQ(Value(2035), c.value2035);
    EXPECT_EQ(Value(2036), c.value2036);
    Settings().input.autoDetectBlackBars = !c.autoDetect;
    Settings().input.maskBlackBars = !c.mask;
    ASSERT_EQ(BZ_ProjDlgGetInputSett(window_), noErr);
    EXPECT_EQ(bool(Settings().input.autoDetectBlackBars), c.autoDetect);
    EXPECT_EQ(bool(Settings().input.maskBlackBars), c.mask);
  }
}

TEST_F(DialogSettings, UnmeasuredShiftAndWeightReadAsMinusOne) {
  for (SInt32 item : {2104, 2105}) SetText(item, "?");
  BZ_Av_Sett average{};
  average.shift = average.weight = 5;
  ASSERT_EQ(BZ_ProjDlgGetAvSett(window_, &average), noErr);
  EXPECT_DOUBLE_EQ(average.shift, -1.0);
  EXPECT_DOUBLE_EQ(average.weight, -1.0);
}

TEST_F(DialogSettings, LogoUniformityPutsTheSliderInItsRange) {
  SInt32 minimum = 0, maximum = 0;
  ASSERT_EQ(GL_GetDialogItemMinByID(window_, Item(kBZ_LogoSliderItem), &minimum), noErr);
  ASSERT_EQ(GL_GetDialogItemMaxByID(window_, Item(kBZ_LogoSliderItem), &maximum), noErr);
  const struct {
    double uniformity;
    SInt32 position;
  } cases[] = {{0.8, minimum + (maximum - minimum) / 2}, {0.6, minimum}, {1.0, maximum}};
  for (const auto &c : cases) {
    BZ_RlSett logo = Settings().cleaning.removeLogo;
    logo.minBackGrUnif = c.uniformity;
    ASSERT_EQ(BZ_ProjDlgMakeRlSett(window_, &logo), noErr);
    EXPECT_EQ(Value(kBZ_LogoSliderItem), c.position) << c.uniformity;
  }
}

TEST_F(DialogSettings, OnlyMarkedGroupsAreRedrawn) {
  RedrawAll();
  const std::string shift = ItemText(2104), percentage = ItemText(2356);
  Settings().cleaning.average.shift = 6.5;
  Settings().cleaning.crossLuma.percentage = 0.25;
  gBZ.dlgData->state.neededUpdates = kBZ_CrossLumaTypeFlag;
  ASSERT_EQ(BZ_ProjDlgUpdateSettingsInDlg(window_), noErr);
  EXPECT_EQ(ItemText(2104), shift) << "averaging was not marked";
  EXPECT_EQ(ItemText(2356), "0.25");
  EXPECT_NE(percentage, "0.25");
}

TEST_F(DialogSettings, ADefaultsButtonIsInactiveRightAfterItsDefaults) {
  const struct {
    SInt32 button, textItem;
    void (*change)(BZ_CleaninSett &);
  } cases[] = {
      {2360, 2350, [](BZ_CleaninSett &c) { c.crossLuma.constChromaTestLen = 5; }},
      {2516, 2511, [](BZ_CleaninSett &c) { c.ou.scratchWidth = 9; }},
      {2111, 2105, [](BZ_CleaninSett &c) { c.average.weight = 0.1; }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.button);
    c.change(Settings().cleaning);
    RedrawAll();
    EXPECT_TRUE(Active(c.button)) << "the group differs from its defaults";
    const std::string changed = ItemText(c.textItem);
    HIViewID id = Item(c.button);
    ASSERT_EQ(BZ_HandleProjDlgControlHit(window_, &id), noErr);
    EXPECT_FALSE(Active(c.button));
    EXPECT_NE(ItemText(c.textItem), changed) << "the defaults are shown";
  }
}

TEST_F(DialogSettings, StoredSettingsInvalidForTheMovieAreCorrectedWithACaution) {
  BZ_ProjSett stored = Settings();
  BZ_MakeDefaultProjSett(project_.statMovInfo(), &stored);
  stored.cleaning.noiseRed.startFrame = 200;  // the movie has 100 frames
  stored.cleaning.noiseRed.endFrame = 300;
  stored.cleaning.crossLuma.apply = true;
  BZ_SaveProjSett(&stored);
  TD_AnswerNextAlert(1);
  ASSERT_EQ(BZ_ProjDlgInitSettingsInDlg(window_), noErr);
  const PL_AlertDescription *alert = PL_GetLastRunAlert();
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->type, kAlertCautionAlert);
  EXPECT_EQ(bz_test::CFText(alert->message), bz_test::LocalizedText("BZ invalid setting"));
  const SInt32 startFrame = Settings().cleaning.noiseRed.startFrame;
  EXPECT_LE(startFrame, 100);
  EXPECT_EQ(ItemText(2160), std::to_string(startFrame)) << "shown corrected";
  EXPECT_EQ(Value(2359), 1) << "the rest of the stored settings is shown";
}

// ---- Edit-text checks ----

TEST_F(DialogSettings, TypedNumbersAreBroughtIntoRangeAndBeepOnlyWhenChanged) {
  Settings().cleaning.crossLuma.minConstChromaLen = 10;
  Settings().cleaning.crossLuma.constChromaTestLen = 6;
  Settings().cleaning.average.automatic = false;  // shift and weight are typed only by hand
  // The uniformity belongs to a transparent logo found through its mask (mode 3).
  Settings().cleaning.removeLogo.mode = kBZ_LogoModeUseMask;
  Settings().cleaning.removeLogo.transparent = true;
  RedrawAll();
  for (SInt32 item : {2104, 2105}) ASSERT_EQ(GL_ActivateDialogItemByID(window_, Item(item), true), noErr);
  for (SInt32 item : {2308, 2316}) ASSERT_EQ(BZ_HandleRlHit(window_, item), noErr);
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  const struct {
    SInt32 item, methodTab;
    const char *typed, *shown;
    bool beep;
  } cases[] = {
      {2105, 1, "0.5", "0.50", false},      // a float keeps its value in canonical form
      {2321, 3, "0.75", "0.75", false},
      {2153, 2, "50", "40.00", true},       // noise levels end at 40
      {2104, 1, "9", "0.00", true},         // a shift beyond 7 is no shift, not the nearest one
      {2350, 4, "15", "8", true},           // at most minConstChromaLen - 2
      {2355, 4, "abc", "1", true},          // no number: 0, then brought into 1 .. 100
      {2511, 6, "1.5", "1.5", false},      // its group shows one decimal
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.item);
    TD_ClickTab(W(kBZ_MethodTabItem), c.methodTab);
    auto *edit = qobject_cast<QLineEdit *>(W(c.item));
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    const UInt32 beeps = PL_GetAlertSoundCount();
    RefCon()->anyEtiItemCorrected = 2;  // until the check has run
    TD_Type(edit, c.typed);
    TD_Accept(edit);  // Return checks at once
    ASSERT_TRUE(TD_RunUntil([&] { return RefCon()->anyEtiItemCorrected != 2; }, 1)) << "Return checks at once";
    EXPECT_EQ(edit->text().toStdString(), c.shown);
    EXPECT_EQ(PL_GetAlertSoundCount() - beeps, c.beep ? 1u : 0u);
    EXPECT_EQ(bool(RefCon()->anyEtiItemCorrected), c.beep);
  }
}

TEST_F(DialogSettings, TwoItemsEditedBeforeTheTimerAreBothCheckedAndTheLaterIsTheHit) {
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  TD_ClickTab(W(kBZ_MethodTabItem), 4);
  auto *first = qobject_cast<QLineEdit *>(W(2352)), *second = qobject_cast<QLineEdit *>(W(2353));
  first->selectAll();
  TD_Type(first, "99");
  QTest::qWait(20);  // the second edit is the later one
  second->selectAll();
  TD_Type(second, "2");
  // Typing alone waits 5/3 s after the last key.
  QTest::qWait(800);
  EXPECT_EQ(first->text().toStdString(), "99") << "not checked before the delay";
  ASSERT_TRUE(TD_RunUntil([&] { return second->text().toStdString() == "8"; }, 3));
  EXPECT_EQ(first->text().toStdString(), "40");
  EXPECT_EQ(RefCon()->itemHit, 2353);
  EXPECT_EQ(gBZ.dlgData->itemHit, 2353);
  EXPECT_EQ(Settings().cleaning.crossLuma.maxChromaStddev, 40) << "the dependent pass read the dialog";
  EXPECT_EQ(Settings().cleaning.crossLuma.extent, 8);
}

TEST_F(DialogSettings, StartAfterAnOutOfRangeValueBeepsCorrectsAndDoesNotStart) {
  // Start stays inactive here (no source): a Start found inactive after the check beeps too, so what tells
  // the two apart is the correction and the flag the check leaves.
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  TD_ClickTab(W(kBZ_MethodTabItem), 2);
  auto *edit = qobject_cast<QLineEdit *>(W(2154));
  edit->selectAll();
  TD_Type(edit, "77");
  const UInt32 beeps = PL_GetAlertSoundCount();
  HIViewID start = Item(kBZ_StartButtonItem);
  EXPECT_EQ(BZ_HandleProjDlgControlHit(window_, &start), noErr);
  EXPECT_EQ(edit->text().toStdString(), "40.00");
  EXPECT_EQ(PL_GetAlertSoundCount() - beeps, 2u) << "the correction and the forgotten Start";
  EXPECT_FALSE(RefCon()->anyEtiItemCorrected) << "the correction is forgotten with the hit";
  EXPECT_EQ(project_->state.exec.load(), kBZ_ProjStateReady);
  EXPECT_EQ(RefCon()->itemHit, 2154);
  // With nothing edited the check names Start itself.
  EXPECT_EQ(BZ_HandleProjDlgControlHit(window_, &start), noErr);
  EXPECT_EQ(RefCon()->itemHit, kBZ_StartButtonItem);
}

// ---- Run control on the dialog ----

TEST_F(DialogSettings, ClearingMeasuredValuesWritesZeros) {
  for (SInt32 item : {2029, 2107, 2402, 2405}) SetText(item, "12.34");
  ASSERT_EQ(BZ_ClearCalcValues(window_), noErr);
  for (SInt32 item : {2029, 2107, 2402, 2405}) EXPECT_EQ(ItemText(item), "0.00") << item;
}

TEST_F(DialogSettings, TheDecisionForOneChangedItem) {
  bz_test::WriteText(dir_.File("source.mov"), "movie");
  project_->info.srcFileData[0].fileRef = bz_test::RefFor(dir_.File("source.mov"));
  BZ_ProjSett &s = Settings();
  s.cleaning.crossLuma.apply = true;
  s.cleaning.crossLuma.percentage = 0.5;
  s.input.cropping = true;
  s.input.autoDetectBlackBars = false;
  struct Case {
    const char *name;
    SInt32 item;
    float gamma;
    CodecType before, after;
    float savedFloat;
    bool analysis, preview;
  };
  const Case cases[] = {
      {"the same float again", 2356, 2.2f, '2vuy', '2vuy', 0.50004f, false, false},
      {"another float", 2356, 2.2f, '2vuy', '2vuy', 0.51f, true, false},
      {"DV to 2vuy in video gamma", 2078, 2.2f, 'dvc ', '2vuy', 0, false, false},
      {"DV to 2vuy in gamma 1.8", 2078, 1.8f, 'dvc ', '2vuy', 0, true, false},
      {"2vuy to icod in gamma 1.8", 2078, 1.8f, '2vuy', 'icod', 0, false, false},
      {"a crop edge", 2039, 2.2f, '2vuy', '2vuy', 0, false, true},
      {"a new movie", 2022, 2.2f, '2vuy', '2vuy', 0, true, false},
      {"an apply box", 2359, 2.2f, '2vuy', '2vuy', 0, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    project_.statMovInfo()[0].gamma = c.gamma;
    s.output.cType = c.after;
    gBZ.dlgData->savedFloatEtiValue = c.savedFloat;
    Boolean analysis = 2, preview = 2;
    ASSERT_EQ(BZ_NeedMovieAnalysis(window_, c.item, c.before, &analysis, &preview), noErr);
    EXPECT_EQ(bool(analysis), c.analysis);
    EXPECT_EQ(bool(preview), c.preview);
    if (c.item == 2356) {
      EXPECT_FLOAT_EQ(gBZ.dlgData->savedFloatEtiValue, 0.5f) << "the new value replaces the saved one";
    }
  }
}

TEST_F(DialogSettings, ACodecChangeAcrossGammasMarksEveryAutomaticStage) {
  bz_test::WriteText(dir_.File("source.mov"), "movie");
  project_->info.srcFileData[0].fileRef = bz_test::RefFor(dir_.File("source.mov"));
  BZ_CleaninSett &c = Settings().cleaning;
  c.noiseRed.apply = c.noiseRed.automatic = c.noiseRed.horizontal = true;
  c.removeLogo.apply = c.removeLogo.findMask = true;
  c.removeLogo.mode = kBZ_LogoModeUseMask;
  for (float gamma : {2.2f, 1.8f}) {
    SCOPED_TRACE(gamma);
    project_.statMovInfo()[0].gamma = gamma;
    gBZ.dlgData->autoSettCalc = 0;
    gBZ.dlgData->autoSettCalculated = UInt32(kBZ_RnAutoSettStage) | kBZ_RlAutoSettStage | kBZ_RnAutoSettStage2;
    Settings().output.cType = '2vuy';
    BZ_UpdateAutoSettCalc(2078, 'dvc ');
    const bool every = gamma < 2.0f;
    EXPECT_EQ(gBZ.dlgData->autoSettCalc.load(), every ? UInt32(kBZ_RnAutoSettStage) | kBZ_RlAutoSettStage : 0u);
    EXPECT_EQ(gBZ.dlgData->autoSettCalculated.load(),
              every ? 0u : UInt32(kBZ_RnAutoSettStage) | kBZ_RlAutoSettStage | kBZ_RnAutoSettStage2);
  }
}

TEST_F(DialogSettings, StageQueriesTakeTheLowestPendingStage) {
  const struct {
    UInt32 calc, calculated, stage, taskType, validAfter;
  } cases[] = {
      {0x15, 0x01, 0x04, 15, 0x06},  // noise pending: the logo and later methods wait
      {0x15, 0x15, 0x00, 0, 0x7E},
      {0x00, 0x00, 0x00, 0, 0x7E},
      {0x12, 0x00, 0x02, 14, 0x0E},  // varying brightness holds nothing back, the logo still does
      {0x01, 0x00, 0x01, 13, 0x02},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.calc * 100 + c.calculated);
    gBZ.dlgData->autoSettCalc = c.calc;
    gBZ.dlgData->autoSettCalculated = c.calculated;
    EXPECT_EQ(BZ_GetAutoSettStage(gBZ.dlgData), c.stage);
    EXPECT_EQ(BZ_GetAutoSettTaskType(BZ_GetAutoSettStage(gBZ.dlgData)), c.taskType);
    UInt32 valid = 0x7E;
    BZ_AutoSettRemoveLaterStages(gBZ.dlgData, &valid);
    EXPECT_EQ(valid, c.validAfter);
    BZ_SetAutoSettCalculated(gBZ.dlgData);
    EXPECT_EQ(gBZ.dlgData->autoSettCalculated.load(), c.calculated | c.stage);
  }
}

TEST_F(DialogSettings, ABurstOfChangesFiresTheAnalysisTimerOnce) {
  // Nothing wished: the timer's procedure only announces itself.
  gBZ.dlgData->state.needMovieAnalysis = gBZ.dlgData->state.needPreviewCalc = false;
  testing::internal::CaptureStdout();
  const EventTime start = GetCurrentEventTime();
  for (int change = 0; change < 3; ++change) {
    ASSERT_EQ(BZ_ScheduleMovieAnalysis(kBZ_MovieAnalysisDelay), noErr);
    QTest::qWait(900);
  }
  const EventTime lastChange = GetCurrentEventTime() - 0.9;
  EventTime fired = 0;
  TD_RunUntil([&] {
    if (fired == 0 && testing::internal::GetCapturedStdout().find("KBZ: initing movie analysis") != std::string::npos)
      fired = GetCurrentEventTime();
    if (fired == 0) testing::internal::CaptureStdout();
    return fired != 0;
  }, 6);
  QTest::qWait(300);
  ASSERT_NE(fired, 0) << "the timer never fired";
  EXPECT_GE(fired - lastChange, kBZ_MovieAnalysisDelay - 0.05);
  EXPECT_GE(fired - start, 2 * 0.9 + kBZ_MovieAnalysisDelay - 0.05) << "each change moved it on";
}

}  // namespace
