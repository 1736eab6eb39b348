// The busy indicators (chasing arrows), the bottom buttons and the defaults buttons of the project dialog.
// Main thread only; the indicators follow the stage table every second.
#pragma once

#include "dialog/example_window.h"  // the Example button
#include "engine/tasks/pipeline_types.h"
#include "platform/core/controls.h"

// Walks the project's stage table: each stage's indicator animates while a project is being opened or
// executes, otherwise while the stage measures something (the dialog state's finding... flags). An indicator
// shared by several stages follows the last of them. No dialog: noErr; else the first failure.
OSStatus BZ_ActivateChasingArrows();
// The indicator of the stage's pane (2031 input copy, 2112 second movie's copy and averaging, 2089 compress
// and write, 2409, 2176, 2336, 2361, 2517 the methods); 0 for a stage without one.
SInt32 BZ_BufferInfoToChasingArrows(const BZ_BuffInfo *buffInfo);
// Stops the eight indicators 2031, 2112, 2176, 2336, 2361, 2409, 2517 and 2089, stopping at the first failure.
OSStatus BZ_StopChasingArrows(WindowRef window);
// Deactivates Start, activates Cancel when processing, deactivates Preview and Example, and activates the
// applied-methods text 2004 when not processing; in that order, stopping at the first failure.
OSStatus BZ_ActivateBottomButtons(WindowRef window, int processing);
// The seven defaults buttons (2030, 2088, 2111, 2175, 2335, 2360, 2516).
Boolean BZ_IsDefaultButton(SInt32 item);
// Restores the button's group to its defaults (BZ_ProjDlgMakeDefault...Sett); other items: noErr.
OSStatus BZ_HandleDefaultButtonHit(WindowRef window, SInt32 item);
// Marks the group of the task type for update (read and copy: input; compress and write: output; a method's
// stage: its method) and redraws the marked groups with their defaults buttons.
OSStatus BZ_ActivateDefaultsButtonByTaskType(BZ_TaskType taskType);
