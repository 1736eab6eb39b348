// The busy indicators, the bottom buttons, the defaults buttons and the example window of the project
// dialog. Main thread only. The defaults, the example window and the indicators' updates come with their
// work; until then those routines change nothing and answer noErr.
#pragma once

#include "engine/tasks/pipeline_types.h"
#include "platform/core/controls.h"

// Starts or stops each pane's chasing arrows by what is being calculated.
OSStatus BZ_ActivateChasingArrows();
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
OSStatus BZ_ActivateExampleButton(WindowRef window);
OSStatus BZ_SetExamplePictures(WindowRef window);
OSStatus BZ_ShowExample(WindowRef window);
OSStatus BZ_CloseExampleWindow();
