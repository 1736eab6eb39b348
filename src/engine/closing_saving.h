// Closing, saving and export of a project: the target movies finished and saved once the last write stage has
// closed its files (media inserted into the track, the 'mdat' size patched, the movie atom appended, the
// source's image-description extensions, field information, geometry and gamma given to the target, saved
// again, then the sound copied), the optional export of the saved movie through a movie exporter, the
// deletion of the files of a cancelled or failed project, and the clearing of the project record, which keeps
// only its settings.
//
// The application shell calls these on the main thread when the main task posts an ended execution: a
// finished project is saved, exported when asked and disposed; a cancelled, quitting or failed one has its
// files deleted and is disposed. Progress texts, the log and error alerts go through the engine's host.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/mac_types.h"
#include "platform/movie/movie_progress.h"
#include "platform/movie/movie_types.h"

enum : OSStatus {
  kBZ_TempFileNotDeletedErr = 5006,  // "BZ TempFileNotDeletedErr": the temporary export movie stayed
};

// Finishes and saves every target movie in file order, then copies the sound when the "Copy sound"
// preference is on. The first failure of a target ends the walk (targets saved before stay saved); a failing
// sound copy is returned too.
OSStatus BZ_SaveTargetMovies(BZ_ProjPtr project);
// Expresses the input crop in the geometry of target 0's track: a clean aperture where the source has one
// (or aperture modes), else track dimensions, matrix offset and clip.
OSStatus BZ_ImplementCroppingInMetadata(BZ_ProjPtr project, Boolean maskBlackBars);
// Records the target's gamma in its image description (and the media), unless its 'nclc' states 2.2 already.
OSStatus BZ_SetTargetGamma(BZ_ProjPtr project, Media media, SInt32 fileNum);
// Closes the open data fork of every target and deletes its file; failures are ignored.
void BZ_DeleteProjectFiles(BZ_ProjPtr project);
// Clears the current project (gBZ.project) except its settings (noise levels zeroed) and resets the analysis
// data. The window is the project dialog's (may be NULL).
void BZ_DisposeProject(WindowRef window);
// Ends the white-line, noise-level and frame-difference analysis tasks (the black-bars task stays), frees the
// frame and preview caches and clears the analysis results that depend on the movie.
void BZ_DisposeDlgTaskData(BZ_DlgTaskData *dlgTaskData);
// Exports the saved target movie through the exporter of the output settings into a file of the target's
// name with the exporter's extension; the saved movie is renamed to "Temp Movie File" for the export and
// deleted afterwards. A user cancel logs "Export canceled" and is no failure. Whenever no export file
// results (cancel or failure) the cleaned movie gets its own name back. The exporter is closed and the
// movie disposed on every path.
OSStatus BZ_MovieExportToDataRef(BZ_ProjPtr project);
// The exporter's progress procedure (refcon: the project): texts and bar of the progress items, rates every
// 5 seconds; -128 once the project's error is the user's cancel.
OSErr BZ_ExportProgressProc(Movie movie, SInt16 message, SInt16 whatOperation, Fixed percentDone, SRefCon refcon);
