// Movie Toolbox stand-in, drawing a movie: the graphics world a movie draws into, its drawing-complete
// procedure, tasking and status.
//
// A movie draws the picture of its first enabled video track shown at the movie's current time, mapped
// onto the movie box (GetMovieBox; the picture's own size at the origin when the box is empty) in the
// world's coordinates and clipped to the world. It draws when it is tasked (MoviesTask) while active with
// a world set, and only when something changed since it last drew: its time, its world, its activity, or
// an UpdateMovie. One decoder per movie stays open, so frames in sequence decode on from the previous
// one and other times from the sync sample before them.
//
// Drawing-complete: after every drawing (also one that failed, whose error GetMovieStatus and
// GetMoviesError give) the procedure is called on the drawing thread; with movieDrawingCallAlways it is
// also called when a task found nothing to draw. An empty edit draws nothing and succeeds.
//
// Threads: a movie is drawn by one thread at a time (the main thread in the application); different
// movies draw in parallel.
#pragma once

#include "platform/core/offscreen_worlds.h"
#include "platform/movie/movie_types.h"
#include "platform/movie/toolbox_time.h"

typedef OSErr (*MovieDrawingCompleteProcPtr)(Movie theMovie, long refCon);
typedef MovieDrawingCompleteProcPtr MovieDrawingCompleteUPP;

enum : SInt32 {
  movieDrawingCallWhenChanged = 0,
  movieDrawingCallAlways = 1,
};

// Play hints (kept; drawing is always of high quality and keeps both fields).
enum : SInt32 {
  hintsScrubMode = 1 << 0,
  hintsAllowInterlace = 1 << 6,
  hintsHighQuality = 1 << 8,
};

// The world the movie draws into (NULL: the current world; none when there is none, and the movie does
// not draw). The world is borrowed: it must outlive its use by the movie or be replaced first.
// invalidMovie for a null movie; paramErr for a port that is no offscreen world.
void SetMovieGWorld(Movie theMovie, CGrafPtr port, GDHandle gdh);
void GetMovieGWorld(Movie theMovie, CGrafPtr *port, GDHandle *gdh);
// Installs (or with NULL removes) the procedure called after the movie has drawn.
void SetMovieDrawingCompleteProc(Movie theMovie, SInt32 flags, MovieDrawingCompleteUPP proc, long refCon);
void SetMoviePlayHints(Movie theMovie, SInt32 flags, SInt32 flagsMask);
// Rate 0 is the only rate here (frames are drawn by time, never played); others give paramErr.
void SetMovieRate(Movie theMovie, Fixed rate);
Fixed GetMovieRate(Movie theMovie);
// Draws the movie if it needs to (see the file comment). maxMilliSecToUse is not limited. A null movie
// tasks nothing.
void MoviesTask(Movie theMovie, SInt32 maxMilliSecToUse);
// Makes the next task draw even when nothing changed.
OSErr UpdateMovie(Movie theMovie);
// The error of the movie's last drawing (noErr when it drew or never tried). *firstProblemTrack (may be
// NULL) gets the video track that failed, NULL otherwise.
ComponentResult GetMovieStatus(Movie theMovie, Track *firstProblemTrack);

// ---- Our own helpers ----
// Counters for tests: samples decoded and decoder (re)starts of the movie's drawing so far.
void PL_MovieDrawingCounts(Movie theMovie, SInt64 *samplesDecoded, SInt64 *restarts);
