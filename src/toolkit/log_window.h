// The log library: a text document in a window, kept in a plain UTF-8 file in the user's Logs folder that
// is found again at every start through an alias stored under the preference "Log Alias". The window is
// shown and hidden (closing hides it), copied from, printed and resized in height only. The library knows
// nothing of what the application writes. A log is known by its name, which is its window title.
//
// The file follows the text: every block appended through LOG_AppendReadOnlyText (and the header of a new
// log) is added to the file at once, so a crash loses nothing written before it. A failing write keeps the
// text in memory, is reported once through the init data's procedure, and the whole text is written again
// with the next block or at dispose. Main thread only.
#pragma once

#include "platform/core/aliases.h"
#include "platform/core/event_loop.h"
#include "platform/core/menus.h"
#include "platform/core/multilingual_text.h"
#include "platform/ui/window_manager.h"

// Called when writing the log file fails (once until a write succeeds again).
typedef void (*LOG_WriteFailureProc)(OSStatus err);

struct LOG_InitData {
  Point *location;  // where the window's top left is kept; (0, 0): no saved place
  OSType creator;   // of a new log file
  CFStringRef name;  // window title and file name (borrowed)
  const char *formatStr;  // the three parts of a new log's header
  const char *descriptionStr;
  const char *versionStr;
  MenuID windowMenuID;  // menu holding the show/hide item
  SInt32 windowID;
  SInt32 viewID;    // text view ('LOGT', viewID)
  SInt32 scrollID;  // scroll view ('LOGT', scrollID)
  SInt32 showLogCommandID;
  long placardHeight;  // kept free at the top of the window
  LOG_WriteFailureProc writeFailureProc;  // may be NULL
};

struct LOG_Data {
  TXNObject txnObject;
  TXNObject txnObjectCopy;  // the print copy, made on first use
  EventHandlerRef eventHdlr;
  Point *location;
  CFStringRef name;  // retained
  AliasHandle alias;
  MenuID windowMenuID;
  SInt32 windowID, viewID, scrollID, showLogCommandID;
  long placardHeight;
  void *refcon;  // the application's
  LOG_WriteFailureProc writeFailureProc;
  TXNOffset writtenLength;  // characters of the text that the file holds
  Boolean writeFailed;      // the file lacks text since a failed write
};
typedef LOG_Data *LOG_DataPtr;

enum : OSType { kLOG_ViewSignature = 'LOGT', kLOG_FileType = 'txtn' };

// Creates the window (hidden), sets it up and places it at *location unless that is (0, 0).
OSStatus LOG_CreateWindow(const LOG_InitData *initData);
OSStatus LOG_InitWindow(WindowRef window, const LOG_InitData *initData);
// The scroll view over the content below the placard, with the text view embedded.
OSStatus LOG_EmbedLogTextInScrollView(WindowRef window, long placardHeight, long textID, long scrollID);
// Finds the log file through the stored alias, or makes a new one in the Logs folder (then the alias is
// stored): *logAlias owned by the caller (DisposeHandle); *dataSize the file's size.
OSStatus LOG_GetFile(OSType creator, CFStringRef fileName, FSRef *logRef, AliasHandle *logAlias, ByteCount *dataSize);
// *logAlias: a new handle with the bytes of "Log Alias", or NULL.
void LOG_GetAliasFromPrefs(AliasHandle *logAlias);
void LOG_SaveAliasInPrefs(AliasHandle logAlias);
OSStatus LOG_WindowEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
// 'copy' and 'sall'; other commands do nothing. The copy's status, else 0.
OSStatus LOG_HandleEditMenu(LOG_DataPtr logData, UInt32 commandID);
// Hides a visible window (keeping its place) or shows and selects a hidden one; the menu item follows.
OSStatus LOG_ShowHide(LOG_DataPtr logData);
// Writes what the file lacks, frees the data and disposes the window; a failing write is returned and
// the window stays.
OSStatus LOG_DisposeWindow(CFStringRef name);
// Appends "\n", the three strings and "\n\n" read-only.
OSStatus LOG_SetAppInfo(TXNObject object, const char *formatStr, const char *descriptionStr, const char *versionStr);
// Appends the message (with " Time: " and the date and time).
OSStatus LOG_SetMessage(TXNObject object, const char *message);
OSStatus LOG_SetMessageAppendTime(TXNObject object, const char *message);
// The document window with that title, visible or not; its data; its text object. NULL when none.
WindowRef LOG_GetWindow(CFStringRef name);
LOG_DataPtr LOG_GetData(CFStringRef name);
TXNObject LOG_GetTXNObject(CFStringRef name);
// Prints the selection, or the whole text when nothing is selected; page setup for the print copy.
OSStatus LOG_PrintTextView(CFStringRef name);
OSStatus LOG_PageSetup(CFStringRef name);

// Appends textSize bytes read-only to the log's text and at once to its file (see the file comment). The
// text's status; a failing file write is reported, not returned.
OSStatus LOG_AppendReadOnlyText(LOG_DataPtr logData, const char *text, long textSize);
// Adds to the file what it lacks; the write's status (a failure is reported once).
OSStatus LOG_WritePendingText(LOG_DataPtr logData);
