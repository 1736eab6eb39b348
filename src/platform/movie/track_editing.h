// Movie Toolbox stand-in, track editing: new tracks shaped like others, segments of one track inserted into
// another (samples copied or referred to), empty segments, deleted segments, and samples added with their data.
//
// Sample data added to a media goes to the file of the media's data reference (the description's index), in
// a new 'mdat' atom appended at the file's end; that atom gets its size when the media edits end, when the
// movie is stored or put into a handle, and when it is disposed. The files a movie was read from are only
// written when a media of the movie names them and samples are added to it.
//
// Threads: as movie_toolbox.h; these calls change movies and run where the movie is changed.
#pragma once

#include "platform/movie/movie_types.h"
#include "platform/movie/toolbox_time.h"

// A new track in dstMovie with the source track's settings (dimensions, matrix, layer, volume, alternate
// group, enabled state and usage, aperture dimensions) and a new media of the source's type, time scale,
// language, quality and handler, whose data reference is dataRef (NULL: the movie's own file). No samples,
// edits, references or user data. *dstTrack NULL on failure.
OSErr AddEmptyTrackToMovie(Track srcTrack, Movie dstMovie, Handle dataRef, OSType dataRefType, Track *dstTrack);

// Inserts the source track's stretch [srcIn, srcIn + srcDuration) (source movie time) into dstTrack at dstIn
// (destination movie time; -1: at its end, beyond the end: after an empty stretch), keeping its edits, empty
// ones and rates. While dstTrack's media is being edited (BeginMediaEdits) the samples shown are copied into
// it, whole samples each; otherwise the destination media refers to the source's data (its data references
// are added to the destination media where missing). paramErr for media of different types or a bad stretch.
OSErr InsertTrackSegment(Track srcTrack, Track dstTrack, TimeValue srcIn, TimeValue srcDuration, TimeValue dstIn);
// Inserts the source movie's stretch [srcIn, srcIn + srcDuration) into dstMovie at dstIn, track by track: each
// source track goes into the destination track of the same identifier and media type, or into a new track made
// like it (AddEmptyTrackToMovie, media data in the destination's own file). A destination without tracks and
// duration takes the source's time scale first, so the times carry over exactly. As InsertTrackSegment, the
// media refers to the source's data unless it is being edited. paramErr for a bad stretch or one movie twice.
OSErr InsertMovieSegment(Movie srcMovie, Movie dstMovie, TimeValue srcIn, TimeValue srcDuration, TimeValue dstIn);
// Inserts an empty stretch of dstDuration at dstIn.
OSErr InsertEmptyTrackSegment(Track dstTrack, TimeValue dstIn, TimeValue dstDuration);
// Removes the stretch [startTime, startTime + duration) from the track's edits; later edits move up.
OSErr DeleteTrackSegment(Track theTrack, TimeValue startTime, TimeValue duration);
// Scales the stretch [startTime, startTime + oldDuration) of the track to newDuration by changing the rates of
// the edits in it (rounded to nearest).
OSErr ScaleTrackSegment(Track theTrack, TimeValue startTime, TimeValue oldDuration, TimeValue newDuration);

// Appends numberOfSamples samples (their data: `size` bytes of dataIn from inOffset) described by the
// description, whose data reference index (0 means 1) chooses the file the data goes to. *sampleTime (may be
// NULL) gets the media time of the first. paramErr for no samples or data, video data that does not divide
// into equal samples; couldNotResolveDataRef when the data reference names no local file.
OSErr AddMediaSample(Media theMedia, Handle dataIn, SInt32 inOffset, UInt32 size, TimeValue durationPerSample,
                     SampleDescriptionHandle sampleDescriptionH, SInt32 numberOfSamples, SInt16 sampleFlags,
                     TimeValue *sampleTime);
// The same from a buffer, with a display offset (a composition offset) for the samples.
OSErr AddMediaSample2(Media theMedia, const UInt8 *dataIn, ByteCount size, TimeValue64 decodeDurationPerSample,
                      TimeValue64 displayOffset, SampleDescriptionHandle sampleDescriptionH, ItemCount numberOfSamples,
                      MediaSampleFlags sampleFlags, TimeValue64 *sampleDecodeTimeOut);
