// The Input pane of the project dialog (items 2020-2049): the source movie and its handling. Main thread
// only. The reactions to its items come with the source-movie work; until then those routines change
// nothing and answer noErr.
#pragma once

#include "platform/core/controls.h"

Boolean BZ_IsInputHit(SInt32 item);
Boolean BZ_IsCropHit(SInt32 item);
// In group 2033: items 2038-2041 into a new pane 2037, then items 2035-2037 into a new pane 2034.
OSStatus BZ_EmbedCropItems(WindowRef window);
OSStatus BZ_HandleInputHit(WindowRef window, SInt32 itemHit);
OSStatus BZ_SetMovieInfo(WindowRef window);
OSStatus BZ_SetProjDlgImageWellBackground(WindowRef window);
OSStatus BZ_ActivateAIC(WindowRef window);
