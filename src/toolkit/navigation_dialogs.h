// Navigation dialogs of the user-interface toolkit (choosing files and folders), and the localisation keys
// of their error numbers.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/apple_events.h"
#include "platform/core/navigation_services.h"
#include "platform/core/windows.h"

enum : OSStatus {
  kNS_NoNavServicesErr = 24001,  // the file dialogs are not available
  kNS_NoEventProcErr = 24002,    // a dialog was asked for without its event procedure
};

// Stores the constant key of a navigation number (never release it): 24001 "NS NoNavServicesErr", 24002
// "NS NoEventProcErr", every other number "GL UnknownErr". Cannot fail; any thread.
void NS_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);

// An event procedure that does nothing, for choosers whose caller needs no events.
void NS_DummyEventHandler(NavEventCallbackMessage callBackSelector, NavCBRecPtr callBackParms,
                          NavCallBackUserData callBackUD);
// Runs the choose-a-file dialog showing the items `fileFilter` lets through (null: all) with the client
// name and message (each may be null); *fileRef = the chosen file, cleared on cancel (userCanceledErr) or
// any failure. userData is handed to the filter. kNS_NoEventProcErr without an event procedure,
// kNS_NoNavServicesErr when no dialog can be shown here.
OSStatus NS_GetSingleFileFromUser(NavEventUPP eventProc, NavObjectFilterUPP fileFilter, NavCallBackUserData userData,
                                  CFStringRef appName, CFStringRef message, FSRef *fileRef);
// The FSRef of a descriptor of a file-system object ('fsrf', or one that coerces to it, such as 'furl').
OSStatus NS_GetFileObjectFromAEDesc(const AEDesc *aeDesc, FSRef *fileRef);
// The save chooser: the name offered is docName, else the window's title, else *name; it starts in
// *parentRef when that is valid. Answers the chosen folder in *parentRef and name in *name, and in *mayDelete
// whether the user agreed to replace an existing file of that name. With `create` the existing file is
// deleted and the new file made (*newFile). paramErr (before anything is shown) for `create` without newFile
// or, without `create`, without name or parentRef; userCanceledErr (newFile cleared) when the user cancels.
// The window (may be NULL) and the event procedure are not needed here: the dialog is application-modal.
OSStatus NS_PutFile(WindowRef window, CFStringRef docName, NavEventUPP eventProcPtr, CFStringRef message,
                    CFStringRef appName, Boolean create, Boolean *mayDelete, FSRef *parentRef, HFSUniStr255 *name,
                    FSRef *newFile, Boolean *saveFileExtensionHidden);
// The index-th (from 1) item of a descriptor list as a file; the result is cleared first and stays cleared
// on failure (errAEBadListItem outside the list).
OSStatus NS_GetNthFileObjectFromAEDescList(const AEDescList *aeDescList, long index, FSRef *fileRef);
// The first item of the list as a file; cleared when the list is empty or the item is no file.
OSStatus NS_GetSingleFileObjectFromAEDescList(const AEDescList *aeDescList, FSRef *fileRef);
