// The progress display of the project dialog: the progress record of a project. Main thread only.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/quickdraw_ports.h"

// Resets the project's progress record for a new run, in the project dialog window (found by lookup): the
// counters and times cleared, the number of parts the selected samples, the bar, state and rate items
// 2082, 2083 and 2084; and remembers the input's cropping and interlacing that the frame view is built for.
// Without a project dialog window nothing is done: noErr.
OSStatus BZ_ReinitProgress(BZ_ProjPtr project);
// The one-second update of the progress bar, its title and rate lines. Not built yet: noErr.
OSStatus BZ_UpdateProgressBar();
// Starts or cancels the project (the Cancel button). Not built yet: noErr.
OSStatus BZ_StartCancelProject(WindowRef window);
// Begins the decompression sequence from working frames to the progress view. Not built yet: noErr.
OSStatus BZ_BeginProgressDecompressSequence(WindowRef window, BZ_ProjPtr project);
// Installs the draw handler of the progress frame 2081. Not built yet: noErr.
OSStatus BZ_InstallProgressFrameHandler(WindowRef window);
