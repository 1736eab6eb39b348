// Movie, track and media queries: which track to use (first, first enabled, last enabled, the one showing
// at a time, by identifier), how many tracks of a kind a movie has, the type, characteristic, codec and
// gamma of a movie or track, how much media data it holds, sample sizes, and the real frame size of MPEG
// media. All are read-only questions to the Movie Toolbox; the project dialog asks them of source movies.
//
// Track searches use the toolbox's flags: 1 by media type, 2 by characteristic, 4 enabled tracks only.
// Finders and counts report nothing: none found is a null track or 0.
//
// Main thread (the movie is not changed meanwhile).
#pragma once

#include "movie/codecs.h"
#include "movie/image_descriptions.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"

#include <cstdint>

// ---- Track finders ----

Track QT_GetFirstVideoTrack(Movie movie);
Track QT_GetFirstVisualTrack(Movie movie);
Track QT_GetFirstEnabledVisualTrack(Movie movie);
// The first enabled visual track that is neither text nor time code.
Track QT_GetFirstEnabledImageTrack(Movie movie);
Track QT_GetFirstEnabledVideoTrack(Movie movie);
Track QT_GetLastEnabledVideoTrack(Movie movie);
Track QT_GetFirstSoundTrack(Movie movie);
Track QT_GetFirstEnabledSoundTrack(Movie movie);
// The index-th (from 1) enabled sound track.
Track QT_GetEnabledSoundTrackByIndex(Movie movie, SInt32 index);
Track QT_GetTrackByID(Movie movie, SInt32 trackID);
// Among the enabled video (visual) tracks that show media at the movie time: the lowest layer, and of equal
// layers the lowest index.
Track QT_GetActiveVideoTrack(Movie movie, TimeValue time);
Track QT_GetActiveVisualTrack(Movie movie, TimeValue time);

// ---- Track counts ----

SInt32 QT_CountTracks(Movie movie);
SInt32 QT_CountVisualTracks(Movie movie);
SInt32 QT_CountEnabledVisualTracks(Movie movie);
SInt32 QT_CountVideoTracks(Movie movie);
SInt32 QT_CountEnabledVideoTracks(Movie movie);
SInt32 QT_CountAuralTracks(Movie movie);
SInt32 QT_CountEnabledAuralTracks(Movie movie);
SInt32 QT_CountSoundTracks(Movie movie);
SInt32 QT_CountEnabledSoundTracks(Movie movie);
SInt32 QT_CountTextTracks(Movie movie);
SInt32 QT_CountEnabledTextTracks(Movie movie);
SInt32 QT_CountEnabledTimeCodeTracks(Movie movie);
// The track references held by the enabled video tracks, over all reference types.
SInt32 QT_CountEnabledVideTracksTrackRefs(Movie movie);

// ---- The toolbox ----

// The QuickTime version (upper 16 bits of Gestalt 'qtim', 0x0730 for 7.3); 0 when Gestalt fails.
SInt32 QT_GetQTVersion();
Boolean QT_IsQuickTimeInstalled();
Boolean QT_IsQuickTimeCFMInstalled();
// The sticky error, which is then cleared.
OSErr QT_GetMoviesStickyError();

// ---- Tracks ----

// The media handler's type; returns GetMoviesError.
OSStatus QT_GetTrackType(Track track, OSType *type);
// Visual, and neither text nor time code.
OSStatus QT_IsImageTrack(Track track, Boolean *isImageTrack);
// The first of 'eyes', 'ears', 'vsnd', 'actn', 'nonl', 'step', 'noti', 'skin', 'keyf', 'dtdd', 'apmd' under
// which the movie's search finds the track; 0 when none.
OSStatus QT_GetMediaCharacteristic(Track track, OSType *characteristic);
// The first 'name' user-data item of the track (at most 255 bytes); empty without one.
OSStatus QT_GetTrackName(Track track, Str255 name);
// The track's index in its movie, from 1; 0 when it is not found.
SInt32 QT_GetTrackIndex(Track track);
void QT_GetTrackSize(Track track, SInt32 *width, SInt32 *height);
// The track rectangle through the track matrix.
void QT_GetTrackBox(Track track, Rect *box);
void QT_GetMovieFrameSize(Movie movie, SInt32 *width, SInt32 *height);
// The sample rate of the media's first sound description.
OSStatus QT_GetSoundTrackSampleRate(Track track, Fixed *sampleRate);
// True when an enabled audible track's first description is DV audio ('vdva').
Boolean QT_IsAnySoundTrackDV(Movie movie);

// ---- Movies ----

// True when a visual frame exists from time 0 on; returns GetMoviesError.
OSStatus QT_MovieHasVideo(Movie movie, Boolean *hasVideo);
// True when the movie has exactly one enabled video track, no other enabled visual track but text tracks,
// all descriptions of that track are equivalent, and its media is not temporally compressed.
OSStatus QT_MovieHasOneSimpleVideoTrack(Movie movie, Boolean *hasOneSimpleVideoTrack);
// The codec of the movie's visual tracks (text and time code only with includeText): 0 without visual
// tracks, 0xFFFFFFFF when they use more than one.
OSStatus QT_GetMovieCType(Movie movie, CodecType *cType, Boolean includeText);
// The one format of all descriptions of all enabled visual tracks; 0 when they differ or one is not video.
OSStatus QT_DoEnabledVideoTracksUseOneCompressorType(Movie movie, CodecType *cType);
OSStatus QT_DoEnabledVideoTracksUseFixedSizeCompressorTypesOnly(Movie movie, Boolean *fixedSizeOnly);
// True when all enabled video tracks have equal matrices, dimensions and clip regions; the outputs are the
// first one's (each may be NULL; *clip is a new region, owned: DisposeRgn, or NULL without a clip).
OSStatus QT_EnabledVideoTracksHaveEqualSpatialCharacteristics(Movie movie, Boolean *equal, RgnHandle *clip,
                                                              MatrixRecord *matrix, Fixed *height, Fixed *width);
// True when an enabled video track draws other than by copy (0) or dither copy (64), or has a matte.
OSStatus QT_AnyEnabledVideoTrackIsComposited(Movie movie, Boolean *composited);
Boolean QT_EnabledVideoTracksHaveSameMediaTimeScale(Movie movie);
// True when any two tracks the search finds (type with flags 1 or 2; enabledOnly adds 4) overlap in time.
Boolean QT_AnyTracksOverlapTemporally(Movie movie, OSType type, SInt32 flags, Boolean enabledOnly);
// True when some edit showing media of one track overlaps one of the other.
Boolean QT_TrackPairOverlapTemporally(Track track1, Track track2);

// ---- Gamma and depth ----

// The gamma common to the descriptions of the visual video tracks: DV counts as 2.2222223, others give
// their stated gamma level (0 when none is stated); differing values give -1.0; no video 1.8.
OSStatus QT_GetMovieGamma1(Movie movie, float *gamma);
// The gamma at which the movie's first video frame is drawn: the stated gamma of the description shown at
// the video start, else the codec's (2.2222223 for DV, 1.8 for RGB codecs, 2.2 for other Y'CbCr codecs).
// offscreen is not drawn into. 2.2 without video.
OSStatus QT_GetMovieGamma2(Movie movie, GWorldPtr offscreen, float *gamma);
// The largest depth of the descriptions of the enabled visual tracks.
OSStatus QT_GetMaxDepth(Movie movie, SInt16 *depth);

// ---- Media types ----

// The distinct media types of the movie's tracks in track order, in a new block (owned: GL_DisposePtr;
// NULL when there are none).
OSStatus QT_GetMovieMediaTypes(Movie movie, OSType **types, SInt32 *count);
// The distinct types under which tracks are referred to by other tracks, in the referred tracks' order
// (each track counting with the first type it is referred to under).
OSStatus QT_GetMovieRefTrackTypes(Movie movie, OSType **types, SInt32 *count);

// ---- Sizes ----

// The media data of the visual tracks over their shown stretch, then of the audible tracks except DV audio
// (whose data lies in the video frames).
OSStatus QT_GetMovieTotalMediaSize64(Movie movie, UInt64 *size);
// Sums over the tracks of the media type: sample counts and data sizes over the whole media.
OSStatus QT_GetMovieMediaTypeSampleCountAndSize(Movie movie, OSType mediaType, SInt32 *count, SInt64 *size);
// What the tracks found (media type with flags movieTrackMediaType, characteristic with
// movieTrackCharacteristic; enabled ones only when asked) show between begin and end: the data size and
// the sample count of the media stretches they use (each stretch once, however often it is shown).
OSStatus QT_GetMovieUsedMediaSizeAndSampleCount(Movie movie, TimeValue begin, TimeValue end, OSType type, SInt32 flags,
                                                Boolean enabledOnly, SInt64 *size, SInt32 *count);
// The same for one track: over its merged media intervals in [begin, end), the data size and the samples from
// the first to the last sample of each interval.
OSStatus QT_GetTrackUsedMediaSizeAndSampleCount(Track track, TimeValue begin, TimeValue end, SInt64 *size,
                                                SInt32 *count);
// The size of the sample shown at a track time.
OSStatus QT_GetSampleSize(Track track, TimeValue trackTime, SInt32 *size);
// Samples beginning in [begin, end): count, largest, smallest (0x7FFFFFFF when none) and average size, and
// the data rate in bytes per media time unit. paramErr when end is not after begin. A failed read or a
// record without samples ends the walk; the read's error is returned.
OSStatus QT_GetMediaPartInfo(Media media, TimeValue begin, TimeValue end, SInt32 *count, SInt32 *largest,
                             SInt32 *smallest, float *average, float *dataRate);
// The largest sample size, reading the sample references 100 at a time.
OSStatus QT_GetMediaMaxSampleSize(Media media, SInt32 *size);
// True when any sample is not a sync sample.
OSStatus QT_IsMediaTemporallyCompressed(Media media, Boolean *temporallyCompressed);
// True when the data offsets of the samples rise with the track time.
Boolean QT_IsDataOffsetMonotonousWithTrackTime(Track track);

// The frame size to use for MPEG media whose reported size is off the standard sizes.
void QT_GuessRealMpegMediaDimensions(CodecType cType, Boolean isPAL, SInt32 height, SInt32 width,
                                     Boolean anamorphic1080, SInt32 *realHeight, SInt32 *realWidth);

// A drawing-complete procedure: sets the Boolean refCon points to and returns noErr.
OSErr QT_MinimalDrawingCompleteProc(Movie theMovie, intptr_t refCon);
