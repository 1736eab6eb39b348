// Edit-text validation and alerts of the user-interface toolkit.
#include "toolkit/edit_text_alerts.h"

#include "platform/core/mac_errors.h"

namespace {

// Installs the time-out timer when the alert is to press its default button by itself, runs the alert and
// removes the timer when it has not fired. A timer that cannot be installed is returned and the alert is
// disposed unrun.
OSStatus RunWithTimeOut(DialogRef alert, SInt32 secondsToWait, DialogItemIndex *itemHit) {
  DI_AlertRefCon alertRefCon{alert, nullptr};
  if (secondsToWait > 0) {
    OSStatus err = InstallEventLoopTimer(GetMainEventLoop(), secondsToWait * kEventDurationSecond, 0,
                                         NewEventLoopTimerUPP(DI_TimeOutTimer), &alertRefCon, &alertRefCon.timer);
    if (err != noErr) {
      DisposeDialog(alert);
      return err;
    }
  }
  DialogItemIndex item = 0;
  OSStatus err = RunStandardAlert(alert, nullptr, &item);
  if (alertRefCon.timer != nullptr) RemoveEventLoopTimer(alertRefCon.timer);
  if (err == noErr && itemHit != nullptr) *itemHit = item;
  return err;
}

AlertStdCFStringAlertParamRec Params(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                     CFStringRef otherButtonTitle) {
  AlertStdCFStringAlertParamRec params;
  GetStandardAlertDefaultParams(&params, kStdCFStringAlertVersionOne);
  params.movable = true;
  params.helpButton = false;
  params.defaultText = defaultButtonTitle != nullptr ? defaultButtonTitle : kAlertDefaultOKText;
  params.cancelText = cancelButtonTitle;
  params.otherText = otherButtonTitle;
  params.defaultButton = kAlertStdAlertOKButton;
  params.cancelButton = cancelButtonTitle != nullptr ? kAlertStdAlertCancelButton : 0;
  params.position = kWindowDefaultPosition;
  params.flags = 0;
  return params;
}

}  // namespace

OSStatus DI_StandardAlertOneButton(AlertType alertType, CFStringRef defaultButtonTitle, CFStringRef message,
                                   CFStringRef explanation, SInt32 secondsToWait) {
  AlertStdCFStringAlertParamRec params = Params(defaultButtonTitle, nullptr, nullptr);
  if (alertType == kAlertStopAlert || alertType == kAlertCautionAlert) AlertSoundPlay();
  DialogRef alert = nullptr;
  OSStatus err = CreateStandardAlert(alertType, message, explanation, &params, &alert);
  if (err != noErr) return err;
  return RunWithTimeOut(alert, secondsToWait, nullptr);
}

OSStatus DI_StandardAlertTwoButtons(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                    CFStringRef message, CFStringRef explanation, SInt32 secondsToWait,
                                    DialogItemIndex *itemHit) {
  AlertStdCFStringAlertParamRec params =
      Params(defaultButtonTitle, cancelButtonTitle != nullptr ? cancelButtonTitle : kAlertDefaultCancelText, nullptr);
  AlertSoundPlay();
  DialogRef alert = nullptr;
  OSStatus err = CreateStandardAlert(kAlertCautionAlert, message, explanation, &params, &alert);
  if (err != noErr) return err;
  return RunWithTimeOut(alert, secondsToWait, itemHit);
}

OSStatus DI_StandardAlertThreeButtons(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                      CFStringRef otherButtonTitle, CFStringRef message, CFStringRef explanation,
                                      SInt32 secondsToWait, DialogItemIndex *itemHit) {
  if (otherButtonTitle == nullptr) return paramErr;
  AlertStdCFStringAlertParamRec params = Params(
      defaultButtonTitle, cancelButtonTitle != nullptr ? cancelButtonTitle : kAlertDefaultCancelText, otherButtonTitle);
  DialogRef alert = nullptr;
  OSStatus err = CreateStandardAlert(kAlertCautionAlert, message, explanation, &params, &alert);
  if (err != noErr) return err;
  return RunWithTimeOut(alert, secondsToWait, itemHit);
}

OSStatus DI_CreateStandardSheetAlertTwoButtons(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                               CFStringRef message, CFStringRef explanation,
                                               EventTargetRef notifyTarget, DialogRef *alert) {
  if (alert == nullptr) return paramErr;
  AlertStdCFStringAlertParamRec params =
      Params(defaultButtonTitle, cancelButtonTitle != nullptr ? cancelButtonTitle : kAlertDefaultCancelText, nullptr);
  AlertSoundPlay();
  return CreateStandardSheet(kAlertCautionAlert, message, explanation, &params, notifyTarget, alert);
}

void DI_TimeOutTimer(EventLoopTimerRef timer, void *alertRefCon) {
  auto *refCon = static_cast<DI_AlertRefCon *>(alertRefCon);
  if (refCon == nullptr) return;
  SetDialogTimeout(refCon->alert, kAlertStdAlertOKButton, 1);
  RemoveEventLoopTimer(timer);
  refCon->timer = nullptr;
}
