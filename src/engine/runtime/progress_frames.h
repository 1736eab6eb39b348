// The pipeline's side of the progress view: a stage hands a frame to the main thread when the progress
// display asks for one (the project's progress record has `show` set; the one-second timer sets it again
// once the previous frame has been drawn), and waits until the main thread no longer reads the frame
// (kBZ_DisplayDecompressDoneFlag on the stage's event).
//
// Messages: custom event 2003 (kBZ_ShowProgressFrameEvent) with the frame's BZ_FrameBuffInfo pointer
// (kBZ_FrameBuffInfoEventParam); the frame stays the stage's, which must not reuse it before the flag.
//
// Threads: pipeline tasks. The engine host decides whether frames are shown at all (showsProgressFrames):
// without a window no frame is handed over and no stage waits.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

// *showing = false; when frames are shown and one is due, takes the due mark (show), notes the frame's data
// and size in the progress record and posts event 2003: *showing = true, and the main thread will set
// kBZ_DisplayDecompressDoneFlag on the display stage's event. The posting's failure; paramErr for NULL.
OSStatus BZ_StartShowingProgressFrame(BZ_ProjPtr project, BZ_FrameBuffInfo *frameBuffInfo, Boolean *showing);

// BZ_StartShowingProgressFrame and, when the frame is shown, waits on `event` without time limit until
// kBZ_DisplayDecompressDoneFlag has arrived; every flag that arrives meanwhile is removed from
// *expectedEvents. The stop flag ends the wait (userCanceledErr);
// a wait failure is returned.
OSStatus BZ_ShowProgressFrame(BZ_ProjPtr project, BZ_FrameBuffInfo *frameBuffInfo, MPEventID event,
                              MPEventFlags *expectedEvents);
