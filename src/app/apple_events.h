// The required Apple events of the application: open application, reopen, print and open documents, and
// quit. Open-documents shows or hides the log window for each of the application's own log documents and
// leaves every other file alone (a movie is opened with the Choose button or by dropping it on the Input
// pane). Quit takes the Quit command's road. Main thread only.
#pragma once

#include "platform/core/apple_events.h"

// Do nothing: noErr.
OSErr BZ_HandleOAppAE(const AppleEvent *event, AppleEvent *reply, SRefCon refcon);
OSErr BZ_HandleReopenAppAE(const AppleEvent *event, AppleEvent *reply, SRefCon refcon);
OSErr BZ_HandlePDocAE(const AppleEvent *event, AppleEvent *reply, SRefCon refcon);
// BZ_SendQuitEvent: a quit request asks as the Quit command does.
OSErr BZ_HandleQuitAE(const AppleEvent *event, AppleEvent *reply, SRefCon refcon);
// The direct object's files in order: folders are skipped; our log documents toggle the log window. Two or
// more failing items give kGL_MultipleOpenErr (4003), one its own error.
OSErr BZ_HandleODocAE(const AppleEvent *event, AppleEvent *reply, SRefCon refcon);
// errAEEventNotHandled when the event has a parameter its handler did not ask for; noErr when it has none.
OSErr BZ_HasUnusedParameters(const AppleEvent *event);
// Installs the five handlers.
OSStatus BZ_InstallRequiredAEHandlers();
