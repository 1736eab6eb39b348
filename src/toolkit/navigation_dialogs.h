// Navigation dialogs of the user-interface toolkit (choosing files and folders), and the localisation keys
// of their error numbers.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/aliases.h"
#include "platform/core/apple_events.h"
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

// ---- Further choosers and questions (no caller in the application) ----
// The folder chooser: *fileRef = the chosen folder, cleared on cancel or failure. kNS_NoEventProcErr without
// an event procedure.
OSStatus NS_GetSingleFolderFromUser(NavEventUPP eventProc, CFStringRef message, FSRef *fileRef);
// The volume chooser over the mounted volumes: *volumeRef = the top folder of the chosen one.
OSStatus NS_GetSingleVolumeFromUser(NavEventUPP eventProc, CFStringRef message, FSRef *volumeRef);
// Several files: *reply = the answer, its selection a list of file descriptors (owned: NavDisposeReply).
// Without a filter, userData is a counted list of file types ({SInt16 count; OSType types[]}) that
// NS_FileListFilter applies. kNS_NoEventProcErr without an event procedure.
OSStatus NS_GetFilesFromUser(NavEventUPP eventProc, NavObjectFilterUPP fileFilter, NavCallBackUserData userData,
                             CFStringRef appName, CFStringRef message, NavReplyRecord *reply);
// One file as a new alias record (owned: DisposeHandle); NULL on cancel or failure.
OSStatus NS_GetSingleFileDataRefFromUser(NavEventUPP eventProc, NavObjectFilterUPP fileFilter,
                                         NavCallBackUserData userData, CFStringRef appName, CFStringRef message,
                                         AliasHandle *alias);
// The descriptor's file as a new alias record (owned: DisposeHandle).
OSStatus NS_GetFileObjectDataRefFromAEDesc(const AEDesc *aeDesc, AliasHandle *alias);
// A copy of the reply with its own selection, translation and name (owned: NavDisposeReply).
OSStatus NS_CopyReply(const NavReplyRecord *reply, NavReplyRecord *copy);
// "Revert to the saved version of <window title>?": *revert exactly when the user chose to revert; an
// unanswered question reverts nothing. Takes over the caller's reference to appName (released here).
OSStatus NS_AskDiscardChangesDialog(WindowRef window, CFStringRef appName, Boolean *revert);
// "Save the changes made in <window title>?": *action = kNavUserActionSaveChanges, ...DontSaveChanges or
// ...Cancel (also when left unanswered). Takes over the caller's reference to appName.
OSStatus NS_AskSaveChangesDialog(WindowRef window, CFStringRef appName, NavUserAction *action);
// Filters: items that are not file-system objects pass NS_ApplOnlyFilter and fail NS_FileListFilter;
// folders pass both; files pass NS_ApplOnlyFilter when of type 'APPL' and NS_FileListFilter when their type
// is in the counted list callBackUD points to.
Boolean NS_ApplOnlyFilter(AEDesc *theItem, void *info, NavCallBackUserData callBackUD, NavFilterModes filterMode);
Boolean NS_FileListFilter(AEDesc *theItem, void *info, NavCallBackUserData callBackUD, NavFilterModes filterMode);
