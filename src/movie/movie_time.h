// Time, frames and sample references: stepping from one visual frame to the next, movie time <-> frame
// number (movie frames count from 0, track frames from 1), counts and durations of visual frames, the
// frame rate of MPEG movies, and the sample reference (file offset, size, description) of the sample at a
// media time, on which the read stage builds its own file reads.
//
// Frame stepping searches the visual characteristic 'eyes' of the enabled tracks at rate 1 with the step
// flag, the first search of a walk adding edge OK so that a frame starting at the start time is found. A
// search that finds nothing gives -1 and ends a walk; so does a frame of no duration, so no walk can
// stall. Walks from time 0 take time proportional to the number of frames.
//
// Threads: QT_GetMediaSampleReference64 keeps no state and is called from the read task as well as from
// the main thread; the rest runs on the main thread.
#pragma once

#include "movie/movie_errors.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"

// An empty stretch between two visual frames (an element of the general library's lists).
struct QT_IndTimeIntvl {
  QT_IndTimeIntvl *next;
  UInt8 index;        // from 1
  TimeValue begin;
  TimeValue duration;
  Handle data;        // left empty here
};

// ---- Sample references ----

// The sample reference at a media time: data offset and time of its first sample, its description
// (sampleDesc, when given, is filled) and index, duration per sample, flags, and n samples (at most
// maxNumSamples unless that is 0) of size n x (record size / record samples). No record there: *numSamples
// and *size 0 and noErr. Every out argument may be NULL.
OSStatus QT_GetMediaSampleReference64(Media media, SInt64 *dataOffset, UInt32 *size, TimeValue mediaTime,
                                      TimeValue *sampleTime, TimeValue *durationPerSample,
                                      SampleDescriptionHandle sampleDesc, SInt32 *sampleDescIndex, SInt32 maxNumSamples,
                                      SInt32 *numSamples, SInt16 *sampleFlags);

// ---- Stepping ----

// The next interesting time, with the duration up to the one after it (or to the video end).
void QT_GetMovieNextInterestingTime(Movie movie, SInt16 flags, SInt16 numMediaTypes, const OSType *mediaTypes,
                                    TimeValue time, Fixed rate, TimeValue *nextTime, TimeValue *duration);
// The next visual frame after time (extraFlags added to the step flag, e.g. edge OK); duration 0 with -1.
void QT_GetMovieVideoNextTime(Movie movie, TimeValue time, SInt16 extraFlags, TimeValue *nextTime, TimeValue *duration);
// The previous visual frame; videoEnd -1 computes the video end, used when that frame is the last.
void QT_GetMovieVideoPrevTime(Movie movie, TimeValue videoEnd, TimeValue time, SInt16 extraFlags, TimeValue *prevTime,
                              TimeValue *duration);
// The same on one track; the last frame ends at the track duration.
void QT_GetTrackNextTime(Track track, TimeValue time, SInt16 extraFlags, TimeValue *nextTime, TimeValue *duration);
void QT_GetTrackPrevTime(Track track, TimeValue time, SInt16 extraFlags, TimeValue *prevTime, TimeValue *duration);

// ---- Frame numbers ----

// The number (from 0) of the visual frame showing the movie time, with its start and duration; a time
// before the first frame gives frame 0. -1 (start -1, duration 0) at or after the video end.
SInt32 QT_MovieTimeToFrameNumber(Movie movie, TimeValue movieTime, TimeValue *frameStartTime, TimeValue *frameDuration);
// The start of frame n (from 0); n = the frame count gives the movie duration, larger n -1.
TimeValue QT_MovieFrameNumberToTime(Movie movie, SInt32 frameNumber);
// The same on one track with frames from 1; the count plus one gives the track duration.
TimeValue QT_TrackFrameNumberToTrackTime(Track track, SInt32 frameNumber);
SInt32 QT_TrackTimeToTrackFrameNumber(Track track, TimeValue trackTime);

// ---- Time records and the current time ----

void QT_TimeValueToTimeRecord(Movie movie, TimeValue time, TimeRecord *timeRecord);
// The low 32 bits; -1 when the high 32 bits are not 0.
TimeValue QT_TimeRecordToTimeValue(TimeRecord timeRecord);
TimeValue QT_GetMovieTimeValue(Movie movie);
// The movie selection; an empty one gives start 0 and the movie duration.
void QT_GetPlaybackMovieSelection(Movie movie, TimeValue *start, TimeValue *duration);
TimeScale QT_GetTimeBasePreferredTimeScale(TimeBase timeBase);

// ---- Durations and counts ----

// Over the enabled visual (audible) tracks: end = the longest track duration, start = the smallest track
// offset; both 0 without such tracks. Returns end - start.
TimeValue QT_GetMovieVideoDuration(Movie movie, TimeValue *videoStart, TimeValue *videoEnd);
TimeValue QT_GetMovieSoundDuration(Movie movie, TimeValue *soundStart, TimeValue *soundEnd);
// The duration of the last visual frame; 0 without one.
TimeValue QT_GetLastMovieDuration(Movie movie);
float QT_GetMovieDurationInSec(Movie movie);
// The visual frames that begin inside the selection; returns the toolbox's sticky error.
OSStatus QT_GetNumVisualMovieSamples(Movie movie, TimeValue selectionStart, TimeValue selectionDuration, SInt32 *count);
// The visual frames from time 0 and, when gaps is not NULL, an element per empty stretch between two frames
// appended to *gaps (owned: LL_DisposeLinkedList). Returns GetMoviesError after the first search, or the
// allocation error.
OSStatus QT_CountMovieFrames(Movie movie, SInt32 *count, QT_IndTimeIntvl **gaps);
SInt32 QT_CountFramesInTrack(Track track);
// Frames of the track that begin in [start, end).
SInt32 QT_CountFramesInTrackSelection(Track track, TimeValue start, TimeValue end);
// Edits beginning in [selectionStart, selectionEnd) that show media.
SInt32 QT_CountNonEmptyTrackEdits(Track track, TimeValue selectionStart, TimeValue selectionEnd);
// Frames per second of the track; 0 when it has no frames or no duration.
float QT_NumberSamplesPerSecondInTrack(Track track);

// ---- MPEG frame rates ----

// Recognises the frame rate from the first step of the first visual track (24000/1001, 24, 25, 29.97, 50
// or 59.94, the nearest; the first of equally near ones): PAL for 25 and 50, the number of frames (over that
// track's duration, not a longer sound's), the frame duration truncated and exact. Makes the movie active and its time 0. The step's error is returned with
// nothing handed back; kQT_NoVideoTrackErr without a visual track, kQT_UnknownTimeScaleErr when the media has
// no step.
OSStatus QT_GetMpegInfo(Movie movie, Boolean *isPAL, SInt32 *numFrames, TimeValue *frameDuration,
                        double *frameDurationD);
// The durations of the visual frames in order, at most as many as QT_GetMpegInfo estimates, in a new block
// (owned: GL_DisposePtr; NULL when there are none).
OSStatus QT_MakeMpegMovieDurationList(Movie movie, TimeValue **durations, SInt32 *count);

// Prepares the movie for drawing frame by frame: its box is moved to the origin, a new '2vuy' offscreen world
// of that size (the frames' working format; owned: DisposeGWorld, after SetMovieGWorld(movie, NULL, NULL))
// becomes its graphics world, and the movie is made active at rate 0 and time 0 with
// QT_MinimalDrawingCompleteProc setting *drawingComplete after each drawing (the caller clears it before
// tasking the movie). *frameBuffer is the world's first pixel (borrowed: valid while the world lives).
// kQT_NoVideoTrackErr without an enabled video track, paramErr for an empty box; on failure nothing is
// handed back and the movie keeps its world.
OSStatus QT_PrepareMpegMovieForStepping(Movie movie, Boolean *drawingComplete, GWorldPtr *offscreen, Ptr *frameBuffer);

// ---- Track and media time ----

// The track time at which the occurrence-th (from 1) showing of the media time begins; *count (may be NULL)
// gets the number of showings. -1 when there is no such occurrence.
TimeValue QT_MediaTimeToTrackTime(Track track, TimeValue mediaTime, SInt32 occurrence, SInt32 *count);
// The media time just after the track's last shown movie-time unit (at most the media duration).
TimeValue QT_GetTrackEndMediaTime(Track track);
// The media stretch one edit shows (see the module's notes); an empty edit gives start -1 and duration 0.
OSStatus QT_TrackEditToMediaInterval(Track track, TimeValue editStart, TimeValue editDuration, TimeValue *intervalStart,
                                     TimeValue *intervalDuration);

// ---- Durations of frames and samples ----

OSStatus QT_MovieHasOddDurations(Movie movie, Boolean *hasOddDurations);
OSStatus QT_MediaHasOddDurations(Media media, Boolean *hasOddDurations);
// The common duration of the visual frames (0 when they differ) and, when stdDev is not NULL, the standard
// deviation of their durations; a gap of one time unit counts into the frame before it.
OSStatus QT_AllFrameDurationsEqual(Movie movie, TimeValue *duration, float *stdDev);
OSStatus QT_AllMediaDurationsEqual(Media media, TimeValue *duration);
// The duration per sample of the media's first sample reference (both forms read the 64-bit records).
OSStatus QT_GetFirstMediaDuration(Media media, Boolean use64, TimeValue *duration);
// The begin time from which the media data up to endTime (0x7FFFFFFF: the media's end) comes closest to
// partSize bytes, and that data size.
OSStatus QT_MediaPartSizeToBeginTime(Media media, SInt64 partSize, TimeValue endTime, TimeValue *beginTime,
                                     SInt64 *actualSize);
// The description of the sample shown at the movie's current time: a new handle (owned: DisposeHandle) and
// its index; *desc NULL when no media is shown then (*mediaTime -1).
OSStatus QT_GetCurrentMediaSampleDescription(Track track, SampleDescriptionHandle *desc, SInt32 *descIndex,
                                             TimeValue *mediaTime);
// One sample, by number (when *sampleNum is 1 .. count) or else by media time (paramErr outside 0 .. the
// media duration): its number, time, duration, description (desc, when given, is filled), index, data
// reference index, size and offset. On failure: number, time, size and offset -1, indices 0, desc emptied.
OSStatus QT_GetSampleInfo(Media media, SInt32 *sampleNum, TimeValue time, TimeValue *sampleTime, TimeValue *duration,
                          SampleDescriptionHandle desc, SInt32 *descIndex, SInt16 *dataRefIndex, SInt32 *size,
                          SInt64 *offset);
