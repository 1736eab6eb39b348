// The standard alerts: buttons, sounds, answers through the test hook and the time-out that answers by
// itself.
#include "toolkit/edit_text_alerts.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "support/cf_check.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using bz_test::CFText;

class ToolkitAlerts : public ::testing::Test {
 protected:
  void SetUp() override {
    PL_SetAlertRunProc(nullptr);
    PL_SetNextAlertAnswer(0);
  }
  void TearDown() override { PL_SetNextAlertAnswer(0); }
  static UInt32 Sounds() { return PL_GetAlertSoundCount(); }
};

TEST_F(ToolkitAlerts, OneButtonShowsItsTextsAndPlaysTheSoundOnlyForStopAndCaution) {
  struct Case {
    AlertType type;
    bool sound;
  };
  const Case cases[] = {{kAlertStopAlert, true}, {kAlertNoteAlert, false}, {kAlertCautionAlert, true},
                        {kAlertPlainAlert, false}};
  for (const Case &c : cases) {
    const UInt32 before = Sounds();
    PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
    ASSERT_EQ(DI_StandardAlertOneButton(c.type, nullptr, CFSTR("Disk full"), CFSTR("Free some space"), 0), noErr)
        << c.type;
    EXPECT_EQ(Sounds() - before, c.sound ? 1u : 0u) << "DI_StandardAlertOneButton type " << c.type;
    const PL_AlertDescription *shown = PL_GetLastRunAlert();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->type, c.type);
    EXPECT_EQ(CFText(shown->message), "Disk full");
    EXPECT_EQ(CFText(shown->explanation), "Free some space");
    EXPECT_EQ(CFText(shown->buttonText[0]), "OK");  // a null title gives the standard text
    EXPECT_EQ(shown->buttonText[1], nullptr);
    EXPECT_EQ(shown->buttonText[2], nullptr);
    EXPECT_EQ(shown->defaultButton, kAlertStdAlertOKButton);
    EXPECT_EQ(shown->cancelButton, 0);
  }
}

TEST_F(ToolkitAlerts, TwoButtonsAnswerTheItemAndAreAlwaysCautionWithSound) {
  for (DialogItemIndex answer : {kAlertStdAlertOKButton, kAlertStdAlertCancelButton}) {
    const UInt32 before = Sounds();
    PL_SetNextAlertAnswer(answer);
    DialogItemIndex item = 0;
    ASSERT_EQ(DI_StandardAlertTwoButtons(CFSTR("Quit"), nullptr, CFSTR("Are you sure?"), nullptr, 10, &item), noErr);
    EXPECT_EQ(item, answer);
    EXPECT_EQ(Sounds() - before, 1u);
    const PL_AlertDescription *shown = PL_GetLastRunAlert();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->type, kAlertCautionAlert);
    EXPECT_EQ(CFText(shown->buttonText[0]), "Quit");
    EXPECT_EQ(CFText(shown->buttonText[1]), "Cancel");
    EXPECT_EQ(shown->explanation, nullptr);
    EXPECT_EQ(shown->cancelButton, kAlertStdAlertCancelButton);
  }
  // The answered alert's time-out timer is gone: nothing stays armed.
  EXPECT_EQ(PL_NextTimerFireTime(), kEventDurationForever);
}

TEST_F(ToolkitAlerts, ThreeButtonsNeedTheOtherTitleAndPlayNoSound) {
  const UInt32 before = Sounds();
  DialogItemIndex item = 7;
  PL_SetNextAlertAnswer(kAlertStdAlertOtherButton);
  EXPECT_EQ(DI_StandardAlertThreeButtons(nullptr, nullptr, nullptr, CFSTR("Save?"), nullptr, 0, &item), paramErr);
  EXPECT_EQ(item, 7) << "the answer is written only on success";

  ASSERT_EQ(DI_StandardAlertThreeButtons(CFSTR("Save"), CFSTR("Cancel"), CFSTR("Don't Save"), CFSTR("Save?"), nullptr,
                                         0, &item),
            noErr);
  EXPECT_EQ(item, kAlertStdAlertOtherButton) << "the unused answer of the refused call is still pending";
  EXPECT_EQ(Sounds(), before);
  EXPECT_EQ(CFText(PL_GetLastRunAlert()->buttonText[2]), "Don't Save");
}

TEST_F(ToolkitAlerts, AnAlertThatCannotBeCreatedReturnsTheErrorAfterTheSound) {
  const UInt32 before = Sounds();
  EXPECT_EQ(DI_StandardAlertOneButton(kAlertStopAlert, nullptr, nullptr, nullptr, 5), paramErr);
  EXPECT_EQ(DI_StandardAlertOneButton(9, nullptr, CFSTR("x"), nullptr, 5), paramErr);
  EXPECT_EQ(Sounds() - before, 1u);
  EXPECT_EQ(PL_NextTimerFireTime(), kEventDurationForever) << "no time-out timer is left behind";
}

// An unanswered alert presses its default button about secondsToWait + 1 seconds after it opened.
TEST_F(ToolkitAlerts, UnansweredAlertsCloseThemselvesWithTheDefaultButton) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point start = Clock::now();
  ASSERT_EQ(DI_StandardAlertOneButton(kAlertNoteAlert, nullptr, CFSTR("Done"), nullptr, 1), noErr);
  EXPECT_GE(std::chrono::duration<double>(Clock::now() - start).count(), 1.9);

  start = Clock::now();
  DialogItemIndex item = 0;
  ASSERT_EQ(DI_StandardAlertTwoButtons(nullptr, nullptr, CFSTR("Quit?"), nullptr, 1, &item), noErr);
  EXPECT_EQ(item, kAlertStdAlertOKButton);
  EXPECT_GE(std::chrono::duration<double>(Clock::now() - start).count(), 1.9);
  EXPECT_EQ(PL_NextTimerFireTime(), kEventDurationForever);
}

// A question whose default would delete or replace a file: left alone it answers with Cancel, which keeps the
// file; the user's own choice still counts either way.
TEST_F(ToolkitAlerts, AQuestionThatWouldLoseAFileTimesOutWithCancel) {
  DialogItemIndex item = 0;
  ASSERT_EQ(DI_StandardAlertTwoButtonsCancelOnTimeOut(nullptr, nullptr, CFSTR("Replace the file?"), nullptr, 1, &item),
            noErr);
  EXPECT_EQ(item, kAlertStdAlertCancelButton) << "DI_StandardAlertTwoButtonsCancelOnTimeOut left unanswered";
  EXPECT_EQ(PL_NextTimerFireTime(), kEventDurationForever) << "no time-out timer is left behind";
  for (DialogItemIndex answer : {kAlertStdAlertOKButton, kAlertStdAlertCancelButton}) {
    PL_SetNextAlertAnswer(answer);
    ASSERT_EQ(DI_StandardAlertTwoButtonsCancelOnTimeOut(nullptr, nullptr, CFSTR("Replace the file?"), nullptr, 10, &item),
              noErr);
    EXPECT_EQ(item, answer) << "the user's answer";
    EXPECT_EQ(PL_GetLastRunAlert()->defaultButton, kAlertStdAlertOKButton) << "OK stays the default button";
  }
}

TEST_F(ToolkitAlerts, WithoutTimeOutOrAnswerAHeadlessAlertFailsInsteadOfHanging) {
  EXPECT_EQ(DI_StandardAlertOneButton(kAlertNoteAlert, nullptr, CFSTR("Nobody answers"), nullptr, 0), unimpErr);
}

TEST_F(ToolkitAlerts, TimeOutTimerArmsTheDialogAndClearsItself) {
  AlertStdCFStringAlertParamRec params;
  ASSERT_EQ(GetStandardAlertDefaultParams(&params, kStdCFStringAlertVersionOne), noErr);
  DialogRef alert = nullptr;
  ASSERT_EQ(CreateStandardAlert(kAlertNoteAlert, CFSTR("x"), nullptr, &params, &alert), noErr);
  DI_AlertRefCon refCon{alert, nullptr, 0};
  ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), kEventDurationForever, 0, DI_TimeOutTimer, &refCon,
                                  &refCon.timer),
            noErr);
  DI_TimeOutTimer(refCon.timer, &refCon);
  EXPECT_EQ(refCon.timer, nullptr);
  SInt16 button = 0;
  UInt32 seconds = 0;
  ASSERT_EQ(GetDialogTimeout(alert, &button, &seconds, nullptr), noErr);
  EXPECT_EQ(button, kAlertStdAlertOKButton);
  EXPECT_EQ(seconds, 1u);
  DisposeDialog(alert);
}

TEST_F(ToolkitAlerts, SheetIsCreatedWithTwoButtonsAndNotRun) {
  const PL_AlertDescription *lastRun = PL_GetLastRunAlert();
  CFStringRef lastMessage = lastRun != nullptr ? lastRun->message : nullptr;
  const UInt32 before = Sounds();
  EventTargetRef target = GetApplicationEventTarget();
  DialogRef sheet = nullptr;
  ASSERT_EQ(DI_CreateStandardSheetAlertTwoButtons(nullptr, CFSTR("Stop"), CFSTR("Replace?"), nullptr, target, &sheet),
            noErr);
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(Sounds() - before, 1u);
  PL_AlertDescription d{};
  ASSERT_EQ(PL_GetAlertDescription(sheet, &d), noErr);
  EXPECT_TRUE(d.isSheet);
  EXPECT_EQ(d.type, kAlertCautionAlert);
  EXPECT_EQ(d.notifyTarget, target);
  EXPECT_EQ(CFText(d.buttonText[0]), "OK");
  EXPECT_EQ(CFText(d.buttonText[1]), "Stop");
  lastRun = PL_GetLastRunAlert();
  EXPECT_EQ(lastRun != nullptr ? lastRun->message : nullptr, lastMessage) << "the sheet was not run";
  DisposeDialog(sheet);
  EXPECT_EQ(PL_GetAlertDescription(sheet, &d), paramErr);
}

}  // namespace

// ---- Numeric edit texts ----

#include "platform/core/theme_cursors.h"
#include "platform/core/window_refcons.h"
#include "toolkit/dialog_items.h"

namespace {

constexpr OSType kSig = 'Orl1';

// Items 2044 and 2045 are edit texts 1 and 2; 2046 is no edit text; 2047 maps to index 5, beyond the array.
SInt32 ItemToEti(SInt32 item) {
  switch (item) {
    case 2044: return 1;
    case 2045: return 2;
    case 2047: return 5;
    default: return 0;
  }
}
SInt32 EtiToItem(SInt32 index) { return index == 1 ? 2044 : index == 2 ? 2045 : 0; }

// A dialog with the toolkit's reference constant whose check timer does what a dialog's check does:
// every edited numeric item gets its leading integer back.
class ToolkitEditTexts : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = reinterpret_cast<WindowRef>(&storage_);
    for (SInt32 n = 2044; n <= 2047; ++n) {
      HIViewID id{kSig, n};
      ControlRef c = nullptr;
      ASSERT_EQ(PL_NewControl(window_, &id, &c), noErr);
    }
    refCon_.window = window_;
    refCon_.numEtiItems = 2;
    refCon_.etiHit = eti_;
    refCon_.numericItems = DI_NumericItems{2, EtiToItem, ItemToEti};
    for (DI_EtiData &e : eti_) e.textCheckDelay = 0.3;
    ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), kEventDurationForever, 0, Check, this, &refCon_.checkEtiTimer),
              noErr);
    SetWRefCon(window_, &refCon_);
  }
  void TearDown() override {
    DI_DisposeTimers(&refCon_);
    SetWRefCon(window_, nullptr);
    PL_DisposeWindowControls(window_);
  }

  static void Check(EventLoopTimerRef, void *data) {
    auto *self = static_cast<ToolkitEditTexts *>(data);
    DI_DlgRefCon &rc = self->refCon_;
    self->checks_ += 1;
    rc.anyEtiItemCorrected = false;
    for (int i = 1; i <= rc.numEtiItems; ++i) {
      if (!rc.etiHit[i].hit) continue;
      rc.etiHit[i].hit = false;
      const HIViewID id{kSig, rc.numericItems.EtiIndexToItem(i)};
      std::string before = self->Text(id.id);
      GL_CheckDialogItemTextIntByID(rc.window, id);
      if (self->Text(id.id) != before) rc.anyEtiItemCorrected = true;
    }
  }

  HIViewRef View(SInt32 n) {
    HIViewRef v = nullptr;
    EXPECT_EQ(HIViewFindByID(HIViewGetRoot(window_), HIViewID{kSig, n}, &v), noErr);
    return v;
  }
  std::string Text(SInt32 n) {
    CFStringRef s = nullptr;
    if (GL_CopyDialogItemTextByID(window_, HIViewID{kSig, n}, &s) != noErr) return "?";
    std::string text = CFText(s);
    CFRelease(s);
    return text;
  }
  void Type(SInt32 n, CFStringRef text) { ASSERT_EQ(GL_SetDialogItemTextByID(window_, HIViewID{kSig, n}, text), noErr); }
  // Sends one event of (class, kind) to the handler installed on item n; returns the handler's answer.
  OSStatus Send(SInt32 n, UInt32 eventClass, UInt32 kind) {
    EventRef event = nullptr;
    EXPECT_EQ(CreateEvent(nullptr, eventClass, kind, 0, kEventAttributeNone, &event), noErr);
    OSStatus answer = DI_EtiEventHandler(nullptr, event, View(n));
    ReleaseEvent(event);
    return answer;
  }
  EventTime SecondsToCheck() {
    EventTime at = PL_NextTimerFireTime();
    return at == kEventDurationForever ? kEventDurationForever : at - GetCurrentEventTime();
  }

  WindowRef window_ = nullptr;
  int storage_ = 0;
  DI_EtiData eti_[3] = {};
  DI_DlgRefCon refCon_{};
  int checks_ = 0;
};

TEST_F(ToolkitEditTexts, AcceptedTextIsCheckedAtOnceAndNonNumbersAreCorrected) {
  Type(2044, CFSTR("12x"));
  EXPECT_EQ(Send(2044, kEventClassTextField, kEventTextAccepted), eventNotHandledErr)
      << "the field's own handling goes on";
  EXPECT_TRUE(eti_[1].hit);
  EXPECT_NE(eti_[1].time.lowSeconds, 0u) << "the edit is stamped";
  EXPECT_LE(SecondsToCheck(), 0.0);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return checks_ > 0; }, 2.0), noErr);
  EXPECT_EQ(Text(2044), "12");
  EXPECT_TRUE(refCon_.anyEtiItemCorrected);
  EXPECT_FALSE(eti_[1].hit);

  Type(2045, CFSTR("abc"));
  Send(2045, kEventClassTextField, kEventTextAccepted);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return checks_ > 1; }, 2.0), noErr);
  EXPECT_EQ(Text(2045), "0");
}

TEST_F(ToolkitEditTexts, TypingMovesTheCheckToTheDelayAfterTheLastKey) {
  for (UInt32 kind : {kEventTextShouldChangeInRange, kEventTextDidChange}) {
    EXPECT_EQ(Send(2045, kEventClassTextField, kind), eventNotHandledErr);
    EXPECT_TRUE(eti_[2].hit);
    const EventTime wait = SecondsToCheck();
    EXPECT_GT(wait, 0.2) << kind;
    EXPECT_LE(wait, 0.3) << kind;
  }
  PL_DispatchPendingEvents(nullptr);
  EXPECT_EQ(checks_, 0) << "not before the delay";
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return checks_ > 0; }, 2.0), noErr);

  // A combo box's list selection counts as an edit with the delay too.
  EXPECT_EQ(Send(2044, kEventClassHIComboBox, kEventComboBoxListItemSelected), eventNotHandledErr);
  EXPECT_TRUE(eti_[1].hit);
  EXPECT_GT(SecondsToCheck(), 0.2);
}

TEST_F(ToolkitEditTexts, ItemsWithoutAnEditTextIndexAreIgnored) {
  for (SInt32 item : {2046, 2047}) {
    EXPECT_EQ(Send(item, kEventClassTextField, kEventTextAccepted), eventNotHandledErr) << item;
    EXPECT_EQ(SecondsToCheck(), kEventDurationForever) << item;
  }
  EXPECT_FALSE(eti_[1].hit);
  EXPECT_FALSE(eti_[2].hit);
  // A window without a reference constant: ignored as well.
  SetWRefCon(window_, nullptr);
  EXPECT_EQ(Send(2044, kEventClassTextField, kEventTextAccepted), eventNotHandledErr);
  EXPECT_FALSE(eti_[1].hit);
}

TEST_F(ToolkitEditTexts, CursorFollowsTheTrackingAreaOfActiveVisibleItems) {
  SetThemeCursor(kThemeArrowCursor);
  EXPECT_EQ(Send(2044, kEventClassControl, kEventControlTrackingAreaEntered), noErr);
  EXPECT_EQ(PL_GetThemeCursor(), kThemeIBeamCursor);
  EXPECT_EQ(Send(2044, kEventClassControl, kEventControlTrackingAreaExited), noErr);
  EXPECT_EQ(PL_GetThemeCursor(), kThemeArrowCursor);

  HIViewSetActivated(View(2044), false);
  EXPECT_EQ(Send(2044, kEventClassControl, kEventControlTrackingAreaEntered), noErr);
  EXPECT_EQ(PL_GetThemeCursor(), kThemeArrowCursor) << "an inactive item keeps the arrow";
  HIViewSetActivated(View(2044), true);
  HIViewSetVisible(View(2044), false);
  EXPECT_EQ(Send(2044, kEventClassControl, kEventControlTrackingAreaEntered), noErr);
  EXPECT_EQ(PL_GetThemeCursor(), kThemeArrowCursor) << "a hidden item keeps the arrow";

  EventRef other = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kEventClassControl, 99, 0, kEventAttributeNone, &other), noErr);
  EXPECT_EQ(DI_CursorTrackingEventHandler(nullptr, other, View(2044)), eventNotHandledErr);
  ReleaseEvent(other);
}

TEST_F(ToolkitEditTexts, DisposeTimersRemovesAllFour) {
  ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 100, 0, Check, this, &refCon_.dialogUpdater), noErr);
  ASSERT_NE(PL_NextTimerFireTime(), kEventDurationForever);
  DI_DisposeTimers(&refCon_);
  EXPECT_EQ(refCon_.checkEtiTimer, nullptr);
  EXPECT_EQ(refCon_.dialogUpdater, nullptr);
  EXPECT_EQ(PL_NextTimerFireTime(), kEventDurationForever);
  DI_DisposeTimers(nullptr);
}

}  // namespace
