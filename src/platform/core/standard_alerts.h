// Dialog Manager stand-in for standard alerts and sheets, the part below the toolkit: an alert is a record
// (type, texts, buttons, time-out) that the user-interface layer shows when it is run (QMessageBox) through
// PL_SetAlertRunProc. Tests answer alerts without any window through PL_SetNextAlertAnswer.
//
// Without an installed run procedure and without a next answer, RunStandardAlert waits as a modal alert
// would: it dispatches posted events and timers until the alert's own time-out presses a button. When
// nothing armed could ever answer it (no time-out and no timer armed), it gives unimpErr instead of
// waiting for ever. Main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/event_loop.h"
#include "platform/core/quickdraw_ports.h"

typedef SInt16 AlertType;
enum : AlertType { kAlertStopAlert = 0, kAlertNoteAlert = 1, kAlertCautionAlert = 2, kAlertPlainAlert = 3 };

typedef SInt16 DialogItemIndex;
typedef struct OpaqueDialogPtr *DialogRef;
typedef DialogRef DialogPtr;

// Item numbers of a standard alert's buttons.
enum : DialogItemIndex {
  kAlertStdAlertOKButton = 1,
  kAlertStdAlertCancelButton = 2,
  kAlertStdAlertOtherButton = 3,
  kAlertStdAlertHelpButton = 4,
};

enum : UInt32 { kStdCFStringAlertVersionOne = 1 };
enum : UInt16 { kWindowDefaultPosition = 0 };

// A button text of this value stands for the system's standard text of that button ("OK", "Cancel",
// "Don't Save"); a null text means no such button (the default button always exists).
#define kAlertDefaultOKText (reinterpret_cast<CFStringRef>(static_cast<intptr_t>(-1)))
#define kAlertDefaultCancelText (reinterpret_cast<CFStringRef>(static_cast<intptr_t>(-1)))
#define kAlertDefaultOtherText (reinterpret_cast<CFStringRef>(static_cast<intptr_t>(-1)))

struct AlertStdCFStringAlertParamRec {
  UInt32 version;
  Boolean movable;
  Boolean helpButton;
  CFStringRef defaultText;
  CFStringRef cancelText;
  CFStringRef otherText;
  SInt16 defaultButton;  // the item that Return presses (0: none)
  SInt16 cancelButton;   // the item that Escape presses (0: none)
  UInt16 position;
  OptionBits flags;
};
typedef AlertStdCFStringAlertParamRec *AlertStdCFStringAlertParamPtr;

// Called for every event while an alert runs; this platform passes none (filters are accepted, not called).
typedef Boolean (*ModalFilterProcPtr)(DialogRef theDialog, void *theEvent, DialogItemIndex *itemHit);
typedef ModalFilterProcPtr ModalFilterUPP;

// Fills in the defaults: movable, no help button, the standard OK text, no cancel or other button, default
// button 1, no cancel button, default position. paramErr for a null record or another version.
OSStatus GetStandardAlertDefaultParams(AlertStdCFStringAlertParamPtr param, UInt32 version);

// A new alert (owned: RunStandardAlert disposes it, else DisposeDialog). The texts are retained.
// paramErr for a null message or out-parameter, an unknown alert type or a button number beyond the
// buttons that exist. A null param gives the defaults.
OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec *param, DialogRef *outAlert);
// Runs the alert modally and disposes it; *outItemHit = the item of the button that closed it.
OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP filterProc, DialogItemIndex *outItemHit);
// A new sheet alert that would report its button to notifyTarget (owned: DisposeDialog). It is not shown
// here: this platform shows no sheets, and no caller runs one.
OSStatus CreateStandardSheet(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec *param, EventTargetRef notifyTarget,
                             DialogRef *outSheet);
// From now, the dialog presses inButtonToPress after inSecondsToWait seconds unless it is answered
// before (0 seconds: at the next look). paramErr for an unknown dialog or a button it lacks.
OSStatus SetDialogTimeout(DialogRef inDialog, SInt16 inButtonToPress, UInt32 inSecondsToWait);
// The time-out set: its button (0: none), its seconds and the whole seconds still to wait.
OSStatus GetDialogTimeout(DialogRef inDialog, SInt16 *outButtonToPress, UInt32 *outSecondsToWait,
                          UInt32 *outSecondsRemaining);
void DisposeDialog(DialogRef theDialog);

// Plays the alert sound through the procedure the user-interface layer installs (and counts it).
void AlertSoundPlay();
// The alert sound (the classic beep; the duration is not used, as on later systems).
void SysBeep(SInt16 duration);

// ---- Our own helpers ----

// What an alert shows. The strings are borrowed from the alert (valid while it lives); a button text is
// null when the alert has no such button.
struct PL_AlertDescription {
  AlertType type;
  Boolean isSheet;
  CFStringRef message;
  CFStringRef explanation;
  CFStringRef buttonText[3];  // items 1 (default, OK), 2 (cancel), 3 (other)
  DialogItemIndex defaultButton;
  DialogItemIndex cancelButton;
  EventTargetRef notifyTarget;
};
OSStatus PL_GetAlertDescription(DialogRef alert, PL_AlertDescription *description);
// True when the alert's time-out has run out; *button = the item it presses.
Boolean PL_AlertTimeoutDue(DialogRef alert, DialogItemIndex *button);

// Who shows an alert and waits for its answer: it must also press the time-out's button when
// PL_AlertTimeoutDue says so, and keep the main-thread event loop dispatching meanwhile.
typedef OSStatus (*PL_AlertRunProc)(DialogRef alert, DialogItemIndex *itemHit);
void PL_SetAlertRunProc(PL_AlertRunProc proc);
typedef void (*PL_AlertSoundProc)();
void PL_SetAlertSoundProc(PL_AlertSoundProc proc);

// Test hook: the next RunStandardAlert answers `item` at once without showing anything (0 clears it).
// The answer is used once. An item the alert has no button for still comes back as given.
void PL_SetNextAlertAnswer(DialogItemIndex item);
// Test hook: what the last run alert showed (strings retained until the next alert runs), or null.
const PL_AlertDescription *PL_GetLastRunAlert();
// Test hook: how many times the alert sound has played since the start of the process.
UInt32 PL_GetAlertSoundCount();
