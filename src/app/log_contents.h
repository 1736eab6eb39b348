// The lines the application writes into its log: here the project information written at project start.
// Until the log window exists, the text goes to standard output, as the engine's other log lines do.
// Main thread only.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/mac_types.h"

// Appends the project information to the text buffer (strings_text.h): the input file's name, its folder
// and disk, the project settings and the output file's name. A failure to read the input or output file's
// name appends nothing and is returned.
OSStatus BZ_AddProjectInfoToTextPtr(BZ_ProjPtr project, Ptr textPtr, SInt32 *textSize);
// Writes the project information into the log; the first failure.
OSStatus BZ_SetProjectInfoInLog(BZ_ProjPtr project);

// The log window's life and the application's own lines in it. Not built yet: these do nothing and answer
// noErr until the log window arrives.
OSStatus BZ_CreateLogWindow();
OSStatus BZ_SetProjectMessageInLog(CFStringRef message);
OSStatus BZ_SetAppQuitMessageInLog();
OSStatus BZ_DisposeLogWindow();
