// Edit-text validation and alerts of the user-interface toolkit: the reference constant that every dialog
// window carries, the records of its numeric edit texts and the handlers that mark an edited item and arm
// the dialog's check timer (the dialog itself checks when the timer fires), and the standard alerts with
// one, two or three buttons that press their default button by themselves after a given time.
// Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "platform/core/standard_alerts.h"

// Maps an edit-text index (1..n) to its item number, or an item number to its edit-text index; 0 means
// that the item is no numeric edit text.
typedef SInt32 (*DI_EtiIndexToItemProc)(SInt32 indexOrItem);

struct DI_NumericItems {
  int numNumericItems;
  DI_EtiIndexToItemProc EtiIndexToItem;
  DI_EtiIndexToItemProc ItemToEtiIndex;
};

// Procedures a dialog may keep for an edit text (the toolkit only stores them).
typedef SInt16 (*DI_KeyFilterProcPtr)(ControlRef control, SInt16 *keyCode, SInt16 *charCode, UInt16 *modifiers);
typedef void (*DI_EditTextValidationProcPtr)(ControlRef control);

// One numeric edit text.
struct DI_EtiData {
  Boolean hit;                 // edited since the last check
  UTCDateTime time;            // of the last edit
  EventTime textCheckDelay;    // seconds from a change to the check
  EventHandlerRef eventHandler;  // the handler installed on the item
  DI_KeyFilterProcPtr keyFilter;
  DI_EditTextValidationProcPtr editTextValidator;
};

// The reference constant of a dialog window.
struct DI_DlgRefCon {
  WindowRef window;
  SInt32 ID;  // the window's identifier and the index of its saved location
  OSType type;
  Boolean quitting;
  UInt16 qCharCode;
  Boolean isVirtualKey;
  SInt16 itemHit;  // the item being handled
  int numEtiItems;
  DI_EtiData *etiHit;  // numEtiItems + 1 records, indexed 1..numEtiItems (element 0 stays empty)
  Boolean anyEtiItemCorrected;  // the last check changed a value
  EventLoopTimerRef checkEtiTimer;  // fires the dialog's edit-text check
  EventLoopTimerRef controlsIdler;
  EventLoopTimerRef initDialogTimer;
  EventLoopTimerRef dialogUpdater;
  DI_NumericItems numericItems;
  EventHandlerRef eventHandler;
  void *data;  // the dialog's own record
  OSStatus error;  // of the last handled hit
};

// The data of an alert's time-out timer; lives while the alert runs. `timer` is null once it has fired.
struct DI_AlertRefCon {
  DialogRef alert;
  EventLoopTimerRef timer;
  DialogItemIndex timeOutButton;  // the button the time-out presses; 0: the default (OK) button
};

// Answers: 1 the default (OK) button, 2 cancel, 3 other. A null button title means the standard text;
// message is required, explanation may be null. With secondsToWait above 0 an unanswered alert presses
// its default button about secondsToWait + 1 seconds after it opened. Failures to create the alert or to
// arm its time-out are returned and the alert is not run.
//
// Stop (0) and caution (2) alerts play the alert sound first.
OSStatus DI_StandardAlertOneButton(AlertType alertType, CFStringRef defaultButtonTitle, CFStringRef message,
                                   CFStringRef explanation, SInt32 secondsToWait);
// A caution alert with the alert sound; *itemHit = 1 or 2.
OSStatus DI_StandardAlertTwoButtons(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                    CFStringRef message, CFStringRef explanation, SInt32 secondsToWait,
                                    DialogItemIndex *itemHit);
// The same alert, but one left unanswered presses its cancel button: for questions whose default answer
// would lose work, so that a time-out never does.
OSStatus DI_StandardAlertTwoButtonsCancelOnTimeOut(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                                   CFStringRef message, CFStringRef explanation,
                                                   SInt32 secondsToWait, DialogItemIndex *itemHit);
// A caution alert with a third button and no sound; paramErr without an other-button title.
OSStatus DI_StandardAlertThreeButtons(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                      CFStringRef otherButtonTitle, CFStringRef message, CFStringRef explanation,
                                      SInt32 secondsToWait, DialogItemIndex *itemHit);
// A caution sheet with two buttons that notifies notifyTarget, after the alert sound; not shown.
// *alert is owned (DisposeDialog).
OSStatus DI_CreateStandardSheetAlertTwoButtons(CFStringRef defaultButtonTitle, CFStringRef cancelButtonTitle,
                                               CFStringRef message, CFStringRef explanation,
                                               EventTargetRef notifyTarget, DialogRef *alert);
// The time-out timer's procedure (alertRefCon: a DI_AlertRefCon): the alert presses its time-out button
// (button 1 unless the record names another) one second later; the timer is removed.
void DI_TimeOutTimer(EventLoopTimerRef timer, void *alertRefCon);

// Removes the reference constant's four timers and clears them.
void DI_DisposeTimers(DI_DlgRefCon *dlgRefCon);

// The handler a dialog installs on each numeric edit text with the item's view as data: cursor tracking
// first, then the edit-text input handler.
OSStatus DI_EtiEventHandler(EventHandlerCallRef callRef, EventRef event, void *view);
// Tracking area entered: the I-beam cursor when the view is active and visible; exited: the arrow. Both
// are handled (noErr); any other event is not (eventNotHandledErr).
OSStatus DI_CursorTrackingEventHandler(EventHandlerCallRef callRef, EventRef event, void *view);
// Marks the view's edit text as hit, stamps the time and arms the dialog's check timer: at once for text
// accepted, after the item's textCheckDelay for other text changes and combo-box list selections. Items
// without an edit-text index are ignored. Always answers eventNotHandledErr so that the field's own
// handling goes on.
OSStatus DI_EtiInputEventHandler(EventHandlerCallRef callRef, EventRef event, void *view);
