// The static information of a source movie: gathered once when the movie is opened (which also prepares the
// open movie for the pipeline: text and time-code tracks off, identity matrices, box at the origin, clean
// aperture, a better time scale), disposed when the movie is closed, and told to the user as a short text.
// Main thread only.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/cf_string.h"
#include "platform/core/controls.h"

// The single-precision value nearest 20/9: the gamma of a movie that states none it can be trusted with.
constexpr float kBZ_Gamma20by9 = 2.2222223f;

// Fills the record from the open movie; a record whose cType is already set is left alone (noErr).
// kQT_NoVideoTrackErr (11011) for a movie without visual tracks (text aside) or without frames. On failure
// the record keeps what was filled so far: the caller disposes it.
OSStatus BZ_GetStaticMovieInfo(Movie movie, BZ_StatMovInfo *statMovInfo);
// Empties source fileNum's record (cType and numFrames 0) and disposes its open movie, time list, track list
// and clip regions; for file 0 also the poster, emptying image well 2025 of the window (NULL: no dialog).
void BZ_DisposeStaticMovieInfo(WindowRef window, SInt32 fileNum);
// The text of item 2024: size, frame count, duration, time scale, compressor and data size. *infoText is
// new (caller releases). paramErr for missing arguments, memFullErr when a string cannot be made.
OSStatus BZ_CreateMovieInfoText(const BZ_StatMovInfo *statMovInfo, CFMutableStringRef *infoText);
