// Sound copy: after the cleaned movie has been saved, the source movie's tracks other than pictures go into
// it: sound tracks (their samples appended to target 0's file), text and time-code tracks (with the reference
// of the picture track to its time code). DV sound, which lives inside the DV frames ('vdva'), is exported
// through the AIFF movie exporter into a temporary AIFF file beside the output, whose sound track is then
// copied. A progress procedure drives the progress items of the project dialog and lets the user cancel.
//
// Main thread. The target movie is opened from its file here (the one the project held is disposed) and
// disposed once saved.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/files.h"
#include "platform/movie/movie_progress.h"
#include "platform/movie/movie_types.h"

// Copies the source's sound, text and time-code tracks into target 0's movie and saves it. A failing track
// is shown to the user and the next one follows; only opening and saving the target decide the result.
OSStatus BZ_CopySound(BZ_ProjPtr project);
// Exports the DV sound of the source (the 'vdva' track dvaTrack) into a temporary AIFF file in a free
// auxiliary slot and copies its sound into trgtMovie. tmfoErr when all auxiliary slots are taken. The
// source tracks' enabled states are restored and, unless the output is exported, the temporary file is
// deleted, whether or not the copy succeeds.
OSStatus BZ_CopyDV_Audio(BZ_ProjPtr project, Track dvaTrack, Movie trgtMovie);
// Creates "Temp AIFF file" (then "Temp AIFF file 2", 3, ... while the name is taken) in target 0's folder,
// creator 'Orl1', type 'AIFF'. On failure *auxFile is cleared.
OSStatus BZ_CreateTempAIFFfile(BZ_ProjPtr project, FSRef *auxFile);
// Copies the sound track of the AIFF file into targetMovie, its samples written into target 0's file (only
// referred to in the AIFF file when the output is exported).
OSStatus BZ_CopyTempAIFFtoOutputMovie(BZ_ProjPtr project, FSRef *tempAiffFile, Movie targetMovie);
// Progress procedure of the sound export and copy (refcon: the project): -128 once the project is cancelled.
OSErr BZ_SoundExportProgressProc(Movie movie, SInt16 message, SInt16 whatOperation, Fixed percentDone, SRefCon refcon);
