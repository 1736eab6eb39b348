// The standard alert records: defaults, refused parameters, time-outs and the headless run.
#include "platform/core/standard_alerts.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "support/cf_check.h"

#include <gtest/gtest.h>

namespace {

using bz_test::CFText;

AlertStdCFStringAlertParamRec Defaults() {
  AlertStdCFStringAlertParamRec params;
  EXPECT_EQ(GetStandardAlertDefaultParams(&params, kStdCFStringAlertVersionOne), noErr);
  return params;
}

TEST(PlatformStandardAlerts, DefaultsGiveOneOkButton) {
  AlertStdCFStringAlertParamRec params = Defaults();
  EXPECT_TRUE(params.movable);
  EXPECT_FALSE(params.helpButton);
  EXPECT_EQ(params.defaultButton, kAlertStdAlertOKButton);
  EXPECT_EQ(params.cancelButton, 0);
  EXPECT_EQ(params.cancelText, nullptr);
  EXPECT_EQ(GetStandardAlertDefaultParams(&params, 2), paramErr);
  EXPECT_EQ(GetStandardAlertDefaultParams(nullptr, kStdCFStringAlertVersionOne), paramErr);
}

TEST(PlatformStandardAlerts, RefusedParameters) {
  struct Case {
    const char *what;
    AlertType type;
    bool message;
    UInt32 version;
    SInt16 defaultButton, cancelButton;
    bool cancelText;
  };
  const Case cases[] = {
      {"no message", kAlertNoteAlert, false, 1, 1, 0, false},
      {"unknown type", 4, true, 1, 1, 0, false},
      {"negative type", -1, true, 1, 1, 0, false},
      {"unknown version", kAlertNoteAlert, true, 2, 1, 0, false},
      {"default button without its button", kAlertNoteAlert, true, 1, 2, 0, false},
      {"cancel button without its button", kAlertNoteAlert, true, 1, 1, 2, false},
      {"button number beyond three", kAlertNoteAlert, true, 1, 1, 4, true},
  };
  for (const Case &c : cases) {
    AlertStdCFStringAlertParamRec params = Defaults();
    params.version = c.version;
    params.defaultButton = c.defaultButton;
    params.cancelButton = c.cancelButton;
    params.cancelText = c.cancelText ? CFSTR("Stop") : nullptr;
    DialogRef alert = reinterpret_cast<DialogRef>(1);
    EXPECT_EQ(CreateStandardAlert(c.type, c.message ? CFSTR("m") : nullptr, nullptr, &params, &alert), paramErr)
        << c.what;
    EXPECT_EQ(alert, nullptr) << c.what;
  }
}

TEST(PlatformStandardAlerts, TextsAreKeptByTheAlertAndRunDisposesIt) {
  CFStringRef message = CFStringCreateWithCString(nullptr, "Kept", kCFStringEncodingUTF8);
  DialogRef alert = nullptr;
  ASSERT_EQ(CreateStandardAlert(kAlertStopAlert, message, nullptr, nullptr, &alert), noErr);
  CFRelease(message);
  PL_AlertDescription d{};
  ASSERT_EQ(PL_GetAlertDescription(alert, &d), noErr);
  EXPECT_EQ(CFText(d.message), "Kept");
  EXPECT_EQ(CFText(d.buttonText[0]), "OK");

  EXPECT_EQ(SetDialogTimeout(alert, kAlertStdAlertCancelButton, 1), paramErr) << "no cancel button";
  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
  DialogItemIndex item = 0;
  ASSERT_EQ(RunStandardAlert(alert, nullptr, &item), noErr);
  EXPECT_EQ(item, kAlertStdAlertOKButton);
  EXPECT_EQ(PL_GetAlertDescription(alert, &d), paramErr) << "run disposes the alert";
  EXPECT_EQ(RunStandardAlert(alert, nullptr, &item), paramErr);
  ASSERT_NE(PL_GetLastRunAlert(), nullptr);
  EXPECT_EQ(CFText(PL_GetLastRunAlert()->message), "Kept");
}

TEST(PlatformStandardAlerts, TimeOutCountsDown) {
  AlertStdCFStringAlertParamRec params = Defaults();
  params.cancelText = kAlertDefaultCancelText;
  DialogRef alert = nullptr;
  ASSERT_EQ(CreateStandardAlert(kAlertCautionAlert, CFSTR("m"), nullptr, &params, &alert), noErr);
  SInt16 button = -1;
  UInt32 seconds = 9, remaining = 9;
  ASSERT_EQ(GetDialogTimeout(alert, &button, &seconds, &remaining), noErr);
  EXPECT_EQ(button, 0);
  EXPECT_EQ(remaining, 0u);
  ASSERT_EQ(SetDialogTimeout(alert, kAlertStdAlertCancelButton, 30), noErr);
  ASSERT_EQ(GetDialogTimeout(alert, &button, &seconds, &remaining), noErr);
  EXPECT_EQ(button, kAlertStdAlertCancelButton);
  EXPECT_EQ(seconds, 30u);
  EXPECT_GE(remaining, 29u);
  EXPECT_LE(remaining, 30u);
  EXPECT_FALSE(PL_AlertTimeoutDue(alert, nullptr));
  DisposeDialog(alert);
}

void PressCancelSoon(EventLoopTimerRef timer, void *alert) {
  SetDialogTimeout(static_cast<DialogRef>(alert), kAlertStdAlertCancelButton, 0);
  RemoveEventLoopTimer(timer);
}

TEST(PlatformStandardAlerts, HeadlessRunWaitsForTheTimeOutAndFailsWhenNothingCanAnswer) {
  AlertStdCFStringAlertParamRec params = Defaults();
  params.cancelText = kAlertDefaultCancelText;
  DialogRef alert = nullptr;
  ASSERT_EQ(CreateStandardAlert(kAlertCautionAlert, CFSTR("m"), nullptr, &params, &alert), noErr);
  EventLoopTimerRef timer = nullptr;
  ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0.02, 0, PressCancelSoon, alert, &timer), noErr);
  DialogItemIndex item = 0;
  ASSERT_EQ(RunStandardAlert(alert, nullptr, &item), noErr);
  EXPECT_EQ(item, kAlertStdAlertCancelButton);

  ASSERT_EQ(CreateStandardAlert(kAlertNoteAlert, CFSTR("m"), nullptr, nullptr, &alert), noErr);
  item = 0;
  EXPECT_EQ(RunStandardAlert(alert, nullptr, &item), unimpErr);
  EXPECT_EQ(item, 0);
}

}  // namespace
