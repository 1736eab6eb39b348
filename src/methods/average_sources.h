// Averaging of two captures: whether the two source movies can be averaged. The project dialog asks before
// a run and warns about differences that still allow one; the averaging stage asks again when it is set up,
// since a stored project can reach a run without the dialog.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/mac_types.h"

// Why two sources cannot be averaged (5016, 5017) or what the user is warned of (5018, 5019).
enum : OSStatus {
  kBZ_DiffDimensionsErr = 5016,        // the pictures differ in width or height
  kBZ_IdenticalInputMoviesErr = 5017,  // both sources are the same file
  kBZ_DiffNumFramesErr = 5018,         // the frame counts differ: only the frames both have are averaged
  kBZ_DiffFrameRateErr = 5019,         // the frame rates differ by more than 0.5 frames per second
};

// Sources 0 and 1 of srcFileData and statMovInfo: kBZ_DiffDimensionsErr, kBZ_IdenticalInputMoviesErr or
// noErr; *warning (may be NULL) receives kBZ_DiffFrameRateErr, else kBZ_DiffNumFramesErr, else noErr.
// paramErr for a missing record. Shows nothing; any thread.
OSStatus BZ_AvCheckSources(const BZ_SrcFileData *srcFileData, const BZ_StatMovInfo *statMovInfo, OSStatus *warning);
// BZ_AvCheckSources, and for a warning a one-button caution alert with its localised text (through the
// engine host). Returns 0 after a warning. Main thread.
OSStatus BZ_Av_CheckInputMovies(const BZ_SrcFileData *srcFileData, const BZ_StatMovInfo *statMovInfo);
