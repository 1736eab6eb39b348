// System Sound stand-in: a sound file gets an action ID, may get a completion procedure, and is played
// through the desktop's sound service (libcanberra): files of the application's own by path, the sound
// theme's files by their name. A machine without sound output plays nothing, says so once on standard
// error, and every call still answers noErr, as a Mac with its sound muted does. The completion procedure
// is called on the sound service's thread when the sound has finished (or at once when nothing played).
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"

typedef UInt32 SystemSoundActionID;
typedef OSStatus (*SystemSoundCompletionProcPtr)(SystemSoundActionID actionID, void *userData);
typedef SystemSoundCompletionProcPtr SystemSoundCompletionUPP;
typedef struct OpaqueCFRunLoop *CFRunLoopRef;

enum : OSStatus { kSystemSoundUnspecifiedError = -1500, kSystemSoundClientTimedOutError = -1501 };

// *outActionID = a new action ID for the file (0 is never given). paramErr for a missing argument, fnfErr
// for a file that is not there.
OSStatus SystemSoundGetActionID(const FSRef *userFile, SystemSoundActionID *outActionID);
// Forgets the action ID; paramErr for one that is unknown. Any thread.
OSStatus SystemSoundRemoveActionID(SystemSoundActionID inAction);
// The procedure called when a play of that ID ends; the run loop and mode are not used here.
OSStatus SystemSoundSetCompletionRoutine(SystemSoundActionID inAction, CFRunLoopRef inRunLoop,
                                         CFStringRef inRunLoopMode, SystemSoundCompletionUPP inCompletionRoutine,
                                         void *inUserData);
void SystemSoundPlay(SystemSoundActionID inAction);

// Test hooks: the path of the file last played ("" before any); whether any action IDs are alive.
const char *PL_GetLastSystemSoundPlayed();
ItemCount PL_CountSystemSoundActionIDs();
// Plays nothing on the desktop from now on (true) while keeping the hooks above; tests set it so that
// no sound reaches the machine's speakers.
void PL_SetSystemSoundsSilent(Boolean silent);
