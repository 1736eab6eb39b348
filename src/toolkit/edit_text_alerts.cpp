// Edit-text validation and alerts of the user-interface toolkit.
#include "toolkit/edit_text_alerts.h"

#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/theme_cursors.h"
#include "platform/core/window_refcons.h"

namespace {

// Installs the time-out timer when the alert is to press its default button by itself, runs the alert and
// removes the timer when it has not fired. A timer that cannot be installed is returned and the alert is
// disposed unrun.
OSStatus RunWithTimeOut(DialogRef alert, SInt32 secondsToWait, DialogItemIndex *itemHit,
                        DialogItemIndex timeOutButton = 0) {
  DI_AlertRefCon alertRefCon{alert, nullptr, timeOutButton};
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

namespace {
OSStatus TwoButtons(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle, CFStringRef message,
                    CFStringRef explanation, SInt32 secondsToWait, DialogItemIndex *itemHit,
                    DialogItemIndex timeOutButton) {
  AlertStdCFStringAlertParamRec params =
      Params(defaultButtonTitle, cancelButtonTitle != nullptr ? cancelButtonTitle : kAlertDefaultCancelText, nullptr);
  AlertSoundPlay();
  DialogRef alert = nullptr;
  OSStatus err = CreateStandardAlert(kAlertCautionAlert, message, explanation, &params, &alert);
  if (err != noErr) return err;
  return RunWithTimeOut(alert, secondsToWait, itemHit, timeOutButton);
}
}  // namespace

OSStatus DI_StandardAlertTwoButtons(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                    CFStringRef message, CFStringRef explanation, SInt32 secondsToWait,
                                    DialogItemIndex *itemHit) {
  return TwoButtons(defaultButtonTitle, cancelButtonTitle, message, explanation, secondsToWait, itemHit, 0);
}

OSStatus DI_StandardAlertTwoButtonsCancelOnTimeOut(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                                   CFStringRef message, CFStringRef explanation,
                                                   SInt32 secondsToWait, DialogItemIndex *itemHit) {
  return TwoButtons(defaultButtonTitle, cancelButtonTitle, message, explanation, secondsToWait, itemHit,
                    kAlertStdAlertCancelButton);
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
  SetDialogTimeout(refCon->alert, refCon->timeOutButton != 0 ? refCon->timeOutButton : DialogItemIndex(kAlertStdAlertOKButton), 1);
  RemoveEventLoopTimer(timer);
  refCon->timer = nullptr;
}

void DI_DisposeTimers(DI_DlgRefCon *dlgRefCon) {
  if (dlgRefCon == nullptr) return;
  EventLoopTimerRef *timers[] = {&dlgRefCon->checkEtiTimer, &dlgRefCon->controlsIdler, &dlgRefCon->initDialogTimer,
                                 &dlgRefCon->dialogUpdater};
  for (EventLoopTimerRef *timer : timers) {
    if (*timer != nullptr) RemoveEventLoopTimer(*timer);
    *timer = nullptr;
  }
}

OSStatus DI_EtiEventHandler(EventHandlerCallRef callRef, EventRef event, void *view) {
  OSStatus err = DI_CursorTrackingEventHandler(callRef, event, view);
  if (err == eventNotHandledErr) err = DI_EtiInputEventHandler(callRef, event, view);
  return err;
}

OSStatus DI_CursorTrackingEventHandler(EventHandlerCallRef, EventRef event, void *view) {
  if (GetEventClass(event) != kEventClassControl) return eventNotHandledErr;
  switch (GetEventKind(event)) {
    case kEventControlTrackingAreaEntered: {
      auto *control = static_cast<HIViewRef>(view);
      if (HIViewIsActive(control, nullptr) && HIViewIsVisible(control)) SetThemeCursor(kThemeIBeamCursor);
      return noErr;
    }
    case kEventControlTrackingAreaExited:
      SetThemeCursor(kThemeArrowCursor);
      return noErr;
    default:
      return eventNotHandledErr;
  }
}

OSStatus DI_EtiInputEventHandler(EventHandlerCallRef, EventRef event, void *view) {
  auto *control = static_cast<HIViewRef>(view);
  auto *dlgRefCon = static_cast<DI_DlgRefCon *>(GetWRefCon(GetControlOwner(control)));
  if (dlgRefCon == nullptr || dlgRefCon->numericItems.ItemToEtiIndex == nullptr) return eventNotHandledErr;
  HIViewID viewID{};
  if (GetControlID(control, &viewID) != noErr) return eventNotHandledErr;
  const SInt32 index = dlgRefCon->numericItems.ItemToEtiIndex(viewID.id);
  // An index outside the dialog's array would write past it; such items count as no edit text.
  if (index <= 0 || index > dlgRefCon->numEtiItems || dlgRefCon->etiHit == nullptr) return eventNotHandledErr;

  const UInt32 eventClass = GetEventClass(event), kind = GetEventKind(event);
  bool edited = false, atOnce = false;
  if (eventClass == kEventClassHIComboBox && kind == kEventComboBoxListItemSelected) {
    edited = true;
  } else if (eventClass == kEventClassTextField &&
             (kind == kEventTextAccepted || kind == kEventTextShouldChangeInRange || kind == kEventTextDidChange)) {
    edited = true;
    atOnce = kind == kEventTextAccepted;
  }
  if (edited) {
    DI_EtiData &eti = dlgRefCon->etiHit[index];
    eti.hit = true;
    GetUTCDateTime(&eti.time, kNilOptions);
    if (dlgRefCon->checkEtiTimer != nullptr)
      SetEventLoopTimerNextFireTime(dlgRefCon->checkEtiTimer, atOnce ? kEventDurationNoWait : eti.textCheckDelay);
  }
  return eventNotHandledErr;
}
