// The application's log: its window made with the application's parameters, and every block the application
// writes into it (opening message, environment, preferences, project lines, quit message). Each block is
// appended read-only to the log's text and at once to the log file; a failing file write is reported once
// (trace line and caution alert) and the text is written again later. Main thread only.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"
#include "platform/core/multilingual_text.h"
#include "platform/ui/window_manager.h"

// Appends the project information to the text buffer (strings_text.h): the input file's name, its folder
// and disk, the project settings and the output file's name. A failure to read the input or output file's
// name appends nothing and is returned.
OSStatus BZ_AddProjectInfoToTextPtr(BZ_ProjPtr project, Ptr textPtr, SInt32 *textSize);
// Writes the project information into the log; the first failure.
OSStatus BZ_SetProjectInfoInLog(BZ_ProjPtr project);

// The log's name, its window title and file name (owned: CFRelease).
CFStringRef BZ_GetLogName();
// Makes the log window (hidden) at the saved place of window 5 and writes the opening blocks.
OSStatus BZ_CreateLogWindow();
OSStatus BZ_InitLogWindow(WindowRef window);
// Writes what the file still lacks and disposes the window; a failing write is reported and returned.
OSStatus BZ_DisposeLogWindow();
OSStatus BZ_SetOpenAppMessage(TXNObject object);
OSStatus BZ_SetEnvInfoInLog(TXNObject object);
OSStatus BZ_SetAppPrefsInLog(TXNObject object);
OSStatus BZ_SetAppQuitMessageInLog();
// " Time: ", the date and time, ", ", the message and "\r\r".
OSStatus BZ_SetProjectMessageInLog(CFStringRef message);
// Appends a line of the application's own (ends as given) to the log; nothing without a log window.
OSStatus BZ_AddLineToLog(const char *line);
OSStatus BZ_LogWindowEvHdlr(EventHandlerCallRef callRef, EventRef event, void *userData);
// The command 'SLog': shows or hides the log window.
OSStatus BZ_ShowHideLog();

// Test hook: the caution alert of a failing log write is not shown (its text still goes to the trace).
void BZ_SetLogWriteAlertsQuiet(Boolean quiet);
