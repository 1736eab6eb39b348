// The application's spine on the main thread: main's steps, the environment check, the initialisation of
// every application-level service, the application event handler, the one-second and five-second timers,
// the end of a project that the main task has finished, and the orderly shut-down.
#pragma once

#include "platform/core/event_loop.h"

// The program: makes the application object first, then start-up, the event loop and shut-down. Returns 0 in
// every case; a start-up failure is shown and the loop is not entered. When the main task has not ended by
// the end of shut-down, the process ends here with status 0 (its objects stay alive for it meanwhile).
int BZ_Main(int argc, char **argv);

OSStatus BZ_CheckEnvironment();
OSStatus BZ_InitApp();
OSStatus BZ_InitMainMenus();
// The Apple-event handlers come with the application's Apple events; until then nothing is installed.
OSStatus BZ_InstallAEHandlers();
OSStatus BZ_InstallAppTimers();
// Removes the one-second timer; the five-second timer is left to the process end.
void BZ_DisposeAppTimers();
void BZ_InitDlgTaskData();
OSStatus BZ_AppEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
OSStatus BZ_ActivateApp();
OSStatus BZ_DeactivateApp();
void BZ_OneSecondTimer(EventLoopTimerRef timer, void *userData);
void BZ_FiveSecondTimer(EventLoopTimerRef timer, void *userData);
void BZ_ShowErrorInEventLoop();
void BZ_WaitOnResultQueue();
void BZ_ShowProjectProgressAndError();
// When a quit is pending (startQuitting), clears it and sets done. Always noErr.
OSStatus BZ_CloseAllWindows();
// Posts the quit command ('cmds' kind 1, HICommand 'quit') to the main event queue: a quit from outside
// takes the road of the Quit command.
OSStatus BZ_SendQuitEvent();
OSStatus BZ_Shutdown();
// Whether the main task's end has arrived (its queues deleted); false while it may still post.
Boolean BZ_MainTaskEnded();
