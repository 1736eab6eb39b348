// Toolkit operations around the event loop and the mouse: dispatching pending events while the main thread
// is busy, posting the quit command, telling clicks from double clicks and waiting for a click.
// Main thread only.
#pragma once

#include "platform/core/classic_events.h"
#include "platform/core/event_loop.h"
#include "platform/core/menus.h"
#include "platform/core/navigation_services.h"
#include "platform/core/files.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/ui/system_sounds.h"

enum : UInt32 { kEventRawKeyUp = 3 };
enum : EventParamName { kEventParamKeyMacCharCodes = 'kchr', kEventParamKeyCode = 'kcod' };


// Takes every pending event from the queue without waiting (also those that handlers post meanwhile) and
// sends each where it was posted to; due timers fire as well. Returns when the queue is empty.
void GL_HandlePendingEvents();
// The same for the listed event types only; the other events stay queued in their order.
void GL_HandlePendingEventsWithOptions(ItemCount numTypes, const EventTypeSpec *typeList);
// The system sounds: the files of the application's sounds folder (resources/sounds), then those of the
// desktop's sound theme when one is installed, each folder in name order. *fileList is owned by the caller
// (DisposePtr; NULL when there are none). The folders are listed in one pass each, so the count is always
// what was listed.
OSStatus GL_GetSystemSoundFileList(FSRef **fileList, ItemCount *count);
// Plays the first system sound whose file name without its extension is `name` ("Hero" plays Hero.wav; a
// name given with its extension matches nothing). No match plays nothing and answers noErr; paramErr for
// a NULL name.
OSStatus GL_PlaySystemSoundByName(CFStringRef name);
// The completion of a played sound: waits 10 ms, then forgets its action ID. Runs on the sound's thread.
OSStatus GL_BasisSystemSoundCompletionProc(SystemSoundActionID actionID, void *userData);
// Test hook: the folders GL_GetSystemSoundFileList lists instead of the usual ones (NULL: the usual).
void GL_SetSystemSoundFolders(const char *const *folders, ItemCount count);
// The key of the menu item with the command 'quit' (the first in the menu bar) and whether it is a virtual
// key code (never here). menuItemNotFoundErr when there is no such item.
OSStatus GL_GetQCharCode(char *character, Boolean *isVirtualKey);

// Synthetic keys, posted to the main event queue as raw key events ('keyb' 1 down, 3 up) with the character
// (kEventParamKeyMacCharCodes), its key code (kEventParamKeyCode) and the modifiers. The key-code list maps
// each character below 128 to its virtual key code on a US keyboard (0 for characters without a key).
OSStatus GL_MakeKeyCodeList(UInt8 keyCodeList[128]);
OSStatus GL_PostCharacter(const UInt8 keyCodeList[128], char character);
// Shift down (key code 56), the letter's lower-case key down and up with shift, shift up.
OSStatus GL_PostCapital(const UInt8 keyCodeList[128], char character);
// Posts a command event (kind 1) carrying the command 'quit' to the main queue with standard priority.
OSStatus GL_PostQuitEvent();
// True for a key-down record whose modifiers are exactly the command key and whose character is '.'.
Boolean GL_IsCommandPeriodEvent(const EventRecord *event);

// Waits up to 10 ticks for a mouse-down; 0 when none came. After one, waits until the double-click time
// has passed since it and answers 2 when a second mouse-down within that time is pending, else 1.
SInt16 GL_GetClick();
// True when a pending mouse-down lies less than the double-click time after firstClickTime (ticks); that
// mouse-down is taken from the queue.
Boolean GL_IsClickDoubleClick(UInt32 firstClickTime);
// 1, 2 or 3 clicks: a second within the double-click time of the first, a third within that of the second.
SInt16 GL_MultipleClick(UInt32 firstClickTime);
// Waits, 10 ticks at a time, for a mouse-down inside rect (anywhere when rect is NULL); other events stay
// queued meanwhile.
void GL_WaitForClick(const Rect *rect);

// *stillDown = true, then watches the mouse for up to 0.1 s in all: a button release (a queued mouse-up,
// taken) clears it and ends the watch. A failure of the watch is returned.
OSStatus GL_StillDownCarbon(Boolean *stillDown);
// Posts a mouse-down and a mouse-up of one button at (contentBounds.left + left + 6,
// contentBounds.top + top + 6).
OSStatus GL_ClickInBox(Rect contentBounds, SInt16 top, SInt16 left);
