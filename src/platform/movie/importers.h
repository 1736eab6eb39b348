// Movie importers: 'eat ' components that turn a file of another kind into tracks of a movie.
//
//   'AIFF' "AIFF"  manufacturer 'soun'  an AIFF or AIFF-C file as a sound track whose media refers to the
//                                       file's samples (nothing is copied)
//
// Main thread (imports change the movie, which the main thread owns).
#pragma once

#include "platform/movie/components.h"
#include "platform/movie/movie_progress.h"
#include "platform/movie/movie_types.h"

typedef ComponentInstance MovieImportComponent;

enum : OSType { MovieImportType = 'eat ' };

// Component flags of importers.
enum : UInt32 { canMovieImportHandles = 1u << 0, canMovieImportFiles = 1u << 1 };
// Flags of MovieImportDataRef: in, create a new track (else targetTrack is used); out, a track was used.
enum : SInt32 { movieImportCreateTrack = 1, movieImportMustUseTrack = 2, movieImportResultUsedMultipleTracks = 8 };

// The procedure told about the progress of imports (null removes it); refcon is handed to it.
ComponentResult MovieImportSetProgressProc(MovieImportComponent ci, MovieProgressUPP proc, SRefCon refcon);
// Imports the file at the data reference into theMovie at movie time atTime. Only new tracks are made:
// inFlags must hold movieImportCreateTrack (else paramErr). *usedTrack (may be null) gets the new track and
// *addedDuration (may be null) its duration in movie time; *outFlags (may be null) is 0. A file that is no
// AIFF, or whose sound does not fit a media (no frames, more than 2^31 - 1 frames, a rate above 65535 Hz)
// gives kPL_AIFFFormatErr, and nothing is added to the movie on failure. A non-zero answer of the progress
// procedure stops the import with it.
ComponentResult MovieImportDataRef(MovieImportComponent ci, Handle dataRef, OSType dataRefType, Movie theMovie,
                                   Track targetTrack, Track *usedTrack, TimeValue atTime, TimeValue *addedDuration,
                                   SInt32 inFlags, SInt32 *outFlags);

// Registers the importers with the Component Manager (done once, on its first use).
void PL_RegisterMovieImporters();
