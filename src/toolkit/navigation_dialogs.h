// Navigation dialogs of the user-interface toolkit (choosing files and folders), and the localisation keys
// of their error numbers.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"
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
// Runs the save chooser, its file name docName, else the window's title, else *name; starting in *parentRef
// when that is valid; with the message and client name (each may be null). *mayDelete tells whether the user
// confirmed replacing a file of the chosen name, *saveFileExtensionHidden whether its extension is to be
// hidden; *parentRef and *name get the chosen folder and name. With create the file is made (a file being
// replaced is deleted first) into *newFile. paramErr for create without newFile, or without create when name
// or parentRef is missing; userCanceledErr for a cancel (newFile cleared); kNS_NoNavServicesErr when no
// dialog can be shown here; the file layer's errors. window: the dialog's parent (may be null).
OSStatus NS_PutFile(WindowRef window, CFStringRef docName, NavEventUPP eventProcPtr, CFStringRef message,
                    CFStringRef appName, Boolean create, Boolean *mayDelete, FSRef *parentRef, HFSUniStr255 *name,
                    FSRef *newFile, Boolean *saveFileExtensionHidden);
// The FSRef of a descriptor of a file-system object ('fsrf', or one that coerces to it, such as 'furl').
OSStatus NS_GetFileObjectFromAEDesc(const AEDesc *aeDesc, FSRef *fileRef);
