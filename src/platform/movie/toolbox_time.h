// Movie Toolbox stand-in, time: the search for interesting times (sample starts and edits) in movie,
// track and media time, time records and time bases, the movie's current time and selection, edit rates,
// reading samples into a caller's buffer, data sizes of stretches of media, display times, and media
// handlers (step times, graphics modes).
//
// Movie time and media time are kept apart as in the toolbox. A track shows a sample from the first movie
// time unit at which TrackTimeToMediaTime lands inside it; a stretch of a sample that no movie time unit
// shows (shorter than a unit) is no interesting time. Media with composition offsets are searched in
// display order. Every call sets GetMoviesError.
//
// Threads: as movie_toolbox.h; a search may run while other threads read the same movie.
#pragma once

#include "platform/movie/movie_types.h"

struct RGBColor;

typedef wide CompTimeValue;
struct PL_TimeBaseRecord;
typedef PL_TimeBaseRecord *TimeBase;
struct PL_MediaHandlerRecord;
typedef PL_MediaHandlerRecord *MediaHandler;
typedef SInt32 ComponentResult;
typedef UInt32 MediaSampleFlags;

struct TimeRecord {
  CompTimeValue value;
  TimeScale scale;
  TimeBase base;
};

// Interesting-time flags. nextTimeMediaSample and nextTimeStep find the starts of shown samples,
// nextTimeTrackEdit every edit (empty ones too), nextTimeMediaEdit edits that show media; nextTimeEdgeOK
// accepts a time equal to the start time. nextTimeSyncSample is not offered (paramErr).
enum : SInt16 {
  nextTimeMediaSample = 1 << 0,
  nextTimeMediaEdit = 1 << 1,
  nextTimeTrackEdit = 1 << 2,
  nextTimeSyncSample = 1 << 3,
  nextTimeStep = 1 << 4,
  nextTimeEdgeOK = 1 << 14,
  nextTimeIgnoreActiveSegment = SInt16(1 << 15),
};

// Media characteristics and the flags of GetMovieIndTrackType.
enum : OSType { VisualMediaCharacteristic = 'eyes', AudioMediaCharacteristic = 'ears' };
enum : SInt32 { movieTrackMediaType = 1 << 0, movieTrackCharacteristic = 1 << 1, movieTrackEnabledOnly = 1 << 2 };

// The next (rate > 0) or previous (rate < 0) interesting time of the movie's enabled tracks whose media type
// or characteristic is one of whichMediaTypes (all enabled tracks when numMediaTypes is 0). *interestingTime
// (may be NULL) gets -1 when there is none; *interestingDuration (may be NULL) the length of the found
// sample or edit as shown. Edits played backwards count as one stretch each.
void GetMovieNextInterestingTime(Movie theMovie, SInt16 interestingTimeFlags, SInt16 numMediaTypes,
                                 const OSType *whichMediaTypes, TimeValue time, Fixed rate, TimeValue *interestingTime,
                                 TimeValue *interestingDuration);
// The same on one track, enabled or not.
void GetTrackNextInterestingTime(Track theTrack, SInt16 interestingTimeFlags, TimeValue time, Fixed rate,
                                 TimeValue *interestingTime, TimeValue *interestingDuration);
// The same in media time: sample starts (edit flags have no meaning here).
void GetMediaNextInterestingTime(Media theMedia, SInt16 interestingTimeFlags, TimeValue time, Fixed rate,
                                 TimeValue *interestingTime, TimeValue *interestingDuration);

// The movie's current time; *currentTime (may be NULL) gets it with the movie's scale and time base.
TimeValue GetMovieTime(Movie theMovie, TimeRecord *currentTime);
// Moves the current time (limited to 0 .. duration).
void SetMovieTimeValue(Movie theMovie, TimeValue newtime);
// The movie's time base, valid while the movie lives.
TimeBase GetMovieTimeBase(Movie theMovie);
// The start time (0) of the time base in scale s; s 0 gives the base's own (the movie's) scale.
TimeValue GetTimeBaseStartTime(TimeBase tb, TimeScale s, TimeRecord *tr);
void GetMovieSelection(Movie theMovie, TimeValue *selectionTime, TimeValue *selectionDuration);
void SetMovieSelection(Movie theMovie, TimeValue selectionTime, TimeValue selectionDuration);

// The rate of the edit at a track time; 0 and timeNotInTrack outside the track's edits.
Fixed GetTrackEditRate(Track theTrack, TimeValue atTime);
Fixed GetTrackEditRate64(Track theTrack, TimeValue64 atTime);

// Reads the samples from the one at decodeTime on (at most maxNumberOfSamples; 0 gives one video sample or
// up to 1 MB of sound) into dataOut. When they need more than maxDataSize bytes: maxSizeToGrowTooSmall with
// *size and *numberOfSamples telling what would be read. dataOut NULL only asks. invalidTime outside the
// media, eofErr when the file ends first. Every out argument may be NULL.
OSErr GetMediaSample2(Media theMedia, UInt8 *dataOut, ByteCount maxDataSize, ByteCount *size, TimeValue64 decodeTime,
                      TimeValue64 *sampleDecodeTime, TimeValue64 *decodeDuration, TimeValue64 *displayOffset,
                      SampleDescriptionHandle sampleDescriptionH, ItemCount *sampleDescriptionIndex,
                      ItemCount maxNumberOfSamples, ItemCount *numberOfSamples, MediaSampleFlags *sampleFlags);

// The data size of the samples shown during [start, start + duration) of the media's display time.
// invalidTime for a negative start or duration.
OSErr GetMediaDataSizeTime64(Media theMedia, TimeValue64 startDisplayTime, TimeValue64 displayDuration,
                             SInt64 *dataSize);
OSErr GetMediaDataSize64(Media theMedia, TimeValue startTime, TimeValue duration, SInt64 *dataSize);
// Display times of the media: equal to the decode times without composition offsets.
TimeValue64 GetMediaDisplayStartTime(Media theMedia);
TimeValue64 GetMediaDisplayEndTime(Media theMedia);
TimeValue64 GetMediaDisplayDuration(Media theMedia);
TimeValue64 GetMediaDecodeDuration(Media theMedia);

// The media's handler, valid while the media lives.
MediaHandler GetMediaHandler(Media theMedia);
// The next (or, with a negative rate, previous) step from a media time, as GetMediaNextInterestingTime;
// *mediaTimeOut is -1 when there is none.
ComponentResult MediaGetNextStepTime(MediaHandler mh, SInt16 flags, TimeValue mediaTimeIn, TimeValue *mediaTimeOut,
                                     Fixed rate);
// The transfer mode of visual media (0 copy, 64 dither copy...); opColor may be NULL. invalidHandler for
// media without one.
ComponentResult MediaGetGraphicsMode(MediaHandler mh, SInt32 *mode, RGBColor *opColor);
