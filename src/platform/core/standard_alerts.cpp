// Dialog Manager stand-in for standard alerts and sheets.
#include "platform/core/standard_alerts.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

struct OpaqueDialogPtr {
  PL_AlertDescription description{};
  // The time-out: the button it presses (0: none) and when (GetCurrentEventTime's clock).
  DialogItemIndex timeoutButton = 0;
  UInt32 timeoutSeconds = 0;
  EventTime timeoutAt = 0;
};

namespace {

std::vector<std::unique_ptr<OpaqueDialogPtr>> gDialogs;
PL_AlertRunProc gRunProc = nullptr;
PL_AlertSoundProc gSoundProc = nullptr;
DialogItemIndex gNextAnswer = 0;
PL_AlertDescription gLastRun{};
bool gHaveLastRun = false;
std::atomic<UInt32> gSoundCount{0};

CFStringRef StandardText(DialogItemIndex item) {
  switch (item) {
    case kAlertStdAlertOKButton: return CFSTR("OK");
    case kAlertStdAlertCancelButton: return CFSTR("Cancel");
    default: return CFSTR("Don't Save");
  }
}

// A retained button text: the standard one for the default marker, null for none.
CFStringRef ButtonText(CFStringRef given, DialogItemIndex item) {
  if (given == nullptr) return nullptr;
  if (given == kAlertDefaultOKText) return StandardText(item);
  return static_cast<CFStringRef>(CFRetain(given));
}

void ReleaseTexts(PL_AlertDescription *d) {
  CFStringRef *texts[] = {&d->message, &d->explanation, &d->buttonText[0], &d->buttonText[1], &d->buttonText[2]};
  for (CFStringRef *t : texts) {
    if (*t != nullptr) CFRelease(*t);
    *t = nullptr;
  }
}

void RetainTexts(PL_AlertDescription *d) {
  CFStringRef texts[] = {d->message, d->explanation, d->buttonText[0], d->buttonText[1], d->buttonText[2]};
  for (CFStringRef t : texts)
    if (t != nullptr) CFRetain(t);
}

OpaqueDialogPtr *Live(DialogRef dialog) {
  if (dialog == nullptr) return nullptr;
  for (auto &d : gDialogs)
    if (d.get() == dialog) return dialog;
  return nullptr;
}

bool HasButton(const PL_AlertDescription &d, SInt16 item) {
  return item >= 1 && item <= 3 && d.buttonText[item - 1] != nullptr;
}

OSStatus Create(AlertType alertType, CFStringRef error, CFStringRef explanation,
                const AlertStdCFStringAlertParamRec *param, bool isSheet, EventTargetRef notifyTarget,
                DialogRef *outAlert) {
  if (outAlert == nullptr) return paramErr;
  *outAlert = nullptr;
  if (error == nullptr || alertType < kAlertStopAlert || alertType > kAlertPlainAlert) return paramErr;
  AlertStdCFStringAlertParamRec defaults;
  if (param == nullptr) {
    GetStandardAlertDefaultParams(&defaults, kStdCFStringAlertVersionOne);
    param = &defaults;
  }
  if (param->version != kStdCFStringAlertVersionOne) return paramErr;
  auto dialog = std::make_unique<OpaqueDialogPtr>();
  PL_AlertDescription &d = dialog->description;
  d.type = alertType;
  d.isSheet = isSheet;
  d.notifyTarget = notifyTarget;
  // The default button always exists, with the standard text when none is given.
  d.buttonText[0] = ButtonText(param->defaultText != nullptr ? param->defaultText : kAlertDefaultOKText, 1);
  d.buttonText[1] = ButtonText(param->cancelText, 2);
  d.buttonText[2] = ButtonText(param->otherText, 3);
  d.defaultButton = param->defaultButton;
  d.cancelButton = param->cancelButton;
  const bool buttonsOk = (d.defaultButton == 0 || HasButton(d, d.defaultButton)) &&
                         (d.cancelButton == 0 || HasButton(d, d.cancelButton));
  if (!buttonsOk) {
    ReleaseTexts(&d);
    return paramErr;
  }
  d.message = static_cast<CFStringRef>(CFRetain(error));
  d.explanation = explanation != nullptr ? static_cast<CFStringRef>(CFRetain(explanation)) : nullptr;
  *outAlert = dialog.get();
  gDialogs.push_back(std::move(dialog));
  return noErr;
}

// The headless wait: dispatches until the time-out is due; unimpErr when nothing could ever answer.
OSStatus WaitHeadless(DialogRef alert, DialogItemIndex *itemHit) {
  for (;;) {
    DialogItemIndex button = 0;
    if (PL_AlertTimeoutDue(alert, &button)) {
      *itemHit = button;
      return noErr;
    }
    if (alert->timeoutButton == 0 && PL_NextTimerFireTime() == kEventDurationForever &&
        GetNumEventsInQueue(GetMainEventQueue()) == 0)
      return unimpErr;
    PL_RunEventLoopUntil([alert] { return alert->timeoutButton != 0 && PL_AlertTimeoutDue(alert, nullptr); },
                         0.05);
  }
}

}  // namespace

OSStatus GetStandardAlertDefaultParams(AlertStdCFStringAlertParamPtr param, UInt32 version) {
  if (param == nullptr || version != kStdCFStringAlertVersionOne) return paramErr;
  *param = AlertStdCFStringAlertParamRec{};
  param->version = version;
  param->movable = true;
  param->helpButton = false;
  param->defaultText = kAlertDefaultOKText;
  param->defaultButton = kAlertStdAlertOKButton;
  param->position = kWindowDefaultPosition;
  return noErr;
}

OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec *param, DialogRef *outAlert) {
  return Create(alertType, error, explanation, param, false, nullptr, outAlert);
}

OSStatus CreateStandardSheet(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec *param, EventTargetRef notifyTarget,
                             DialogRef *outSheet) {
  return Create(alertType, error, explanation, param, true, notifyTarget, outSheet);
}

OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP, DialogItemIndex *outItemHit) {
  if (Live(inAlert) == nullptr || inAlert->description.isSheet) return paramErr;
  if (gHaveLastRun) ReleaseTexts(&gLastRun);
  gLastRun = inAlert->description;
  RetainTexts(&gLastRun);
  gHaveLastRun = true;

  DialogItemIndex item = 0;
  OSStatus err = noErr;
  if (gNextAnswer != 0) {
    item = gNextAnswer;
    gNextAnswer = 0;
  } else if (gRunProc != nullptr) {
    err = gRunProc(inAlert, &item);
  } else {
    err = WaitHeadless(inAlert, &item);
  }
  DisposeDialog(inAlert);
  if (err == noErr && outItemHit != nullptr) *outItemHit = item;
  return err;
}

OSStatus SetDialogTimeout(DialogRef inDialog, SInt16 inButtonToPress, UInt32 inSecondsToWait) {
  if (Live(inDialog) == nullptr || !HasButton(inDialog->description, inButtonToPress)) return paramErr;
  inDialog->timeoutButton = inButtonToPress;
  inDialog->timeoutSeconds = inSecondsToWait;
  inDialog->timeoutAt = GetCurrentEventTime() + inSecondsToWait;
  return noErr;
}

OSStatus GetDialogTimeout(DialogRef inDialog, SInt16 *outButtonToPress, UInt32 *outSecondsToWait,
                          UInt32 *outSecondsRemaining) {
  if (Live(inDialog) == nullptr) return paramErr;
  if (outButtonToPress != nullptr) *outButtonToPress = inDialog->timeoutButton;
  if (outSecondsToWait != nullptr) *outSecondsToWait = inDialog->timeoutSeconds;
  if (outSecondsRemaining != nullptr) {
    const double left = inDialog->timeoutButton != 0 ? inDialog->timeoutAt - GetCurrentEventTime() : 0.0;
    *outSecondsRemaining = left > 0 ? static_cast<UInt32>(std::ceil(left)) : 0;
  }
  return noErr;
}

void DisposeDialog(DialogRef theDialog) {
  auto it = std::find_if(gDialogs.begin(), gDialogs.end(), [theDialog](auto &d) { return d.get() == theDialog; });
  if (it == gDialogs.end()) return;
  ReleaseTexts(&(*it)->description);
  gDialogs.erase(it);
}

void SysBeep(SInt16) { AlertSoundPlay(); }

void AlertSoundPlay() {
  gSoundCount.fetch_add(1);
  if (gSoundProc != nullptr) gSoundProc();
}

OSStatus PL_GetAlertDescription(DialogRef alert, PL_AlertDescription *description) {
  if (Live(alert) == nullptr || description == nullptr) return paramErr;
  *description = alert->description;
  return noErr;
}

Boolean PL_AlertTimeoutDue(DialogRef alert, DialogItemIndex *button) {
  if (Live(alert) == nullptr || alert->timeoutButton == 0) return false;
  if (GetCurrentEventTime() < alert->timeoutAt) return false;
  if (button != nullptr) *button = alert->timeoutButton;
  return true;
}

void PL_SetAlertRunProc(PL_AlertRunProc proc) { gRunProc = proc; }
void PL_SetAlertSoundProc(PL_AlertSoundProc proc) { gSoundProc = proc; }
void PL_SetNextAlertAnswer(DialogItemIndex item) { gNextAnswer = item; }
const PL_AlertDescription *PL_GetLastRunAlert() { return gHaveLastRun ? &gLastRun : nullptr; }
UInt32 PL_GetAlertSoundCount() { return gSoundCount.load(); }
