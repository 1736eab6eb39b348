// Movie progress procedures: what long movie operations (exports, track copies) report while they run.
#pragma once

#include "platform/movie/movie_types.h"

// A reference constant that holds a pointer (a project, a progress record).
typedef void *SRefCon;

// Called with movieProgressOpen, then movieProgressUpdatePercent (percentDone 0..fixed1) any number of
// times, then movieProgressClose. A non-zero result stops the operation, which returns that result.
typedef OSErr (*MovieProgressProcPtr)(Movie theMovie, SInt16 message, SInt16 whatOperation, Fixed percentDone,
                                     SRefCon refcon);
typedef MovieProgressProcPtr MovieProgressUPP;

enum : SInt16 { movieProgressOpen = 0, movieProgressUpdatePercent = 1, movieProgressClose = 2 };

enum : SInt16 {
  progressOpFlatten = 1,
  progressOpInsertTrackSegment = 2,
  progressOpInsertMovieSegment = 3,
  progressOpPaste = 4,
  progressOpAddMovieSelection = 5,
  progressOpCopy = 6,
  progressOpCut = 7,
  progressOpLoadMovieIntoRam = 8,
  progressOpLoadTrackIntoRam = 9,
  progressOpLoadMediaIntoRam = 10,
  progressOpImportMovie = 11,
  progressOpExportMovie = 12,
};
