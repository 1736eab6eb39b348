// The preferences dialog: a modeless window with three tabs that edits the application preferences. Every
// change arms a two-second timer that saves the preferences and writes them into the log; closing saves
// what is pending, and so does the Quit command at once. The maximum IRE is checked as the user types.
// Main thread only.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

struct BZ_PrefsDlgData {
  Boolean anyChangeMade;
  EventLoopTimerRef changeTimer;  // the save timer
  UInt8 itemsHit[16];
  SInt32 itemHitNum;
};

// Item numbers of the dialog ('Orl1').
enum : SInt32 {
  kBZ_PrefsCloseItem = 2001,
  kBZ_PrefsDefaultsItem = 2002,
  kBZ_PrefsHelpItem = 2003,
  kBZ_PrefsTabItem = 2004,
  kBZ_PrefsAnamorphicItem = 2020,
  kBZ_PrefsCopySoundItem = 2021,
  kBZ_PrefsSoundItem = 2022,
  kBZ_PrefsYuv2VideoRangeItem = 2040,
  kBZ_PrefsSanityCheckItem = 2041,
  kBZ_PrefsNtscSafeItem = 2042,
  kBZ_PrefsMaxIREItem = 2044,
  kBZ_PrefsGamma22Item = 2046,
  kBZ_PrefsHighlightsItem = 2047,
  kBZ_PrefsOutputFolderItem = 2060,
};

// Opens the dialog, or brings an open one to the front.
OSStatus BZ_PrefsDialog();
OSStatus BZ_InitPrefsDialog(WindowRef window);
OSStatus BZ_PrefsDialogInstallTimers(WindowRef window);
OSStatus BZ_InstallPrefsDlgEtiFilters(WindowRef window);
OSStatus BZ_PrefsDialogEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
OSStatus BZ_HandlePrefsDialogControlHit(WindowRef window, const ControlID *controlID);
OSStatus BZ_PrefsDlgHandleDependentItems(WindowRef window, SInt16 item);
OSStatus BZ_SetDefaultAppPrefsButtonActive(WindowRef window, SInt16 itemHit);
OSStatus BZ_GetAppPrefsFromDialog(WindowRef window, BZ_AppPrefs *prefs);
// tab 0: all three groups; 1, 2 or 3: that tab's group.
OSStatus BZ_SetAppPrefsInDialog(WindowRef window, SInt32 tab, const BZ_AppPrefs *prefs);
OSStatus BZ_SetDefaultAppPrefsInDialog(WindowRef window, SInt32 tab);
// Fills the sound pop-up with the system sounds' names and selects successSound.
OSStatus BZ_InitSuccessSound(WindowRef window, CFStringRef successSound);
void BZ_PrefsDlgCheckETI(EventLoopTimerRef timer, void *window);
void BZ_SavePrefsChangeTimer(EventLoopTimerRef timer, void *window);
OSStatus BZ_SaveAppPrefsSetInDialog(WindowRef window);
// *correct: the text with the integer clamped to 100..120 for item 2044 (owned); other items keep theirs.
void BZ_GetCorrectPrefsEtiText(const ControlID *controlID, CFStringRef text, CFStringRef *correct);
void BZ_ClosePrefsDialog(WindowRef window);
SInt32 BZ_PrefsDlgEtiIndexToItem(SInt32 index);
SInt32 BZ_PrefsDlgItemToEtiIndex(SInt32 item);
