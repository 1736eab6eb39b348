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

TEST_F(ToolkitAlerts, WithoutTimeOutOrAnswerAHeadlessAlertFailsInsteadOfHanging) {
  EXPECT_EQ(DI_StandardAlertOneButton(kAlertNoteAlert, nullptr, CFSTR("Nobody answers"), nullptr, 0), unimpErr);
}

TEST_F(ToolkitAlerts, TimeOutTimerArmsTheDialogAndClearsItself) {
  AlertStdCFStringAlertParamRec params;
  ASSERT_EQ(GetStandardAlertDefaultParams(&params, kStdCFStringAlertVersionOne), noErr);
  DialogRef alert = nullptr;
  ASSERT_EQ(CreateStandardAlert(kAlertNoteAlert, CFSTR("x"), nullptr, &params, &alert), noErr);
  DI_AlertRefCon refCon{alert, nullptr};
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
