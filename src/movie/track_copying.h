// Track copying and track lists: a movie's tracks with the references between them, copying tracks (their
// samples written into the target file, or referred to in the source), copying media with a progress
// procedure that may cancel, new video and sound tracks, enabling tracks, track edits, first user-data items,
// and the media intervals (the stretches of media a track's edits use) that the copying and size questions
// rely on.
//
// Everything here changes movies: main thread only. Operations return the first failing toolbox call's
// error; a missing or invalid target file where one is needed gives paramErr.
#pragma once

#include "general/memory_lists.h"
#include "movie/movie_errors.h"
#include "movie/movie_time.h"
#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/movie_metadata.h"
#include "platform/movie/movie_progress.h"
#include "platform/movie/movie_toolbox.h"

// One track of a movie's track list (in track-index order; dispose with LL_DisposeLinkedList).
struct QT_TrackLE {
  QT_TrackLE *next;
  Track track;
  SInt32 index;                // in the movie, from 1
  SInt32 ID;
  SInt32 layer;
  OSType mediaType;
  OSType mediaCharacteristic;
  Boolean enabled;
  Boolean isRefTrack;          // another track of the movie refers to it
  OSType refType;              // the first reference type under which another track refers to it
  Track copy;                  // the track made from it in a target movie (filled by the copying caller)
};

// A saved enabled state.
struct QT_TrackEnabledStateLE {
  QT_TrackEnabledStateLE *next;
  Track track;
  Boolean enabled;
};

// A stretch of a media's data in one data file: [startOffset, endOffset) of data reference dataRefIndex.
struct QT_MediaIntervalLE {
  QT_MediaIntervalLE *next;
  SInt16 dataRefIndex;
  SInt64 startOffset;
  SInt64 endOffset;
};

// The media interval list of one track among several.
struct QT_MediaIntervalListPtrLE {
  QT_MediaIntervalListPtrLE *next;
  QT_MediaIntervalLE *first;
  SInt32 trackIndex;
};

// ---- Track lists ----
// Appends one element per track (see QT_TrackLE), then marks the tracks that others refer to.
OSStatus QT_GetTrackList(Movie movie, QT_TrackLE **first);
// The first element whose track refers to the element's track under its refType; NULL when none.
QT_TrackLE *QT_FindReferencingTrack(QT_TrackLE *first, const QT_TrackLE *element);
// True when a track of the list of the media type (or the characteristic) refers to the element's track under
// the element's refType.
Boolean QT_TrackReferencedByAnyTrackOfType(QT_TrackLE *first, const QT_TrackLE *element, OSType type,
                                           OSType characteristic);

// ---- Copying tracks and media ----
// Copies the track into the target movie (NULL: the target file's stored movie, opened, updated and disposed
// here; *newTrack is then NULL): with copyData its samples are written into the target file, else the new media
// refers to the source's data; samples that no file names (a stream inside a multiplexed file) are written into
// the target file then too. A failed copy leaves no track behind.
OSStatus QT_CopyTrack(Track srcTrack, Movie targetMovie, const FSRef *targetFile, Boolean copyData, Track *newTrack);
// QT_CopyTrack, then every track the source refers to (copied with data), referenced from the new track under
// the same type, in reference-type and index order.
OSStatus QT_CopyTrackTotally(Track srcTrack, Movie targetMovie, Boolean copyData, const FSRef *targetFile,
                             Track *newTrack);
// A new track in the target movie whose media keeps its data in the target file; the samples and edits are
// copied with progress (the procedure may be NULL; a non-zero answer cancels with that error); then the
// referenced tracks as QT_CopyTrackTotally. *newTrack is the new track; a copy that fails or is cancelled takes
// the track out of the movie again and leaves *newTrack NULL.
OSStatus QT_CopyTrackTotallyWithProgress(Track srcTrack, Movie targetMovie, const FSRef *targetFile, Track *newTrack,
                                         MovieProgressProcPtr progressProc, SRefCon refCon);
// The source track's media copied into the target track's, then its edits repeated in the target.
OSStatus QT_CopyTrackWithProgress(Track srcTrack, Track dstTrack, MovieProgressProcPtr progressProc, SRefCon refCon);
// Every sample of the source media's display stretch appended to the target media, in runs, with progress.
OSStatus QT_CopyMediaWithProgress(Media srcMedia, Media dstMedia, MovieProgressProcPtr progressProc, SRefCon refCon);
// The samples from begin to end (0x7FFFFFFF or beyond the duration: the duration) appended to the new media in
// media edits; samples cut by begin or end are added alone with the part of their duration inside.
OSStatus QT_CopyMedia(Media oldMedia, Media newMedia, TimeValue begin, TimeValue end);
// QT_CopyMedia of [begin, end) into the target media, the copied stretch inserted at the end of the target
// track, then the target movie saved into its file (QT_SaveMovie with *saved).
OSStatus QT_CopyMediaWithUpdate(Media srcMedia, TimeValue begin, TimeValue end, Movie targetMovie,
                                const FSRef *targetFile, Track targetTrack, Media targetMedia, Boolean *saved);
// The first video track's media of the movie in sourceFile, [begin, end) of its media time, copied with
// QT_CopyMediaWithUpdate into the given media. invalidTrack when the source has no video track.
OSStatus QT_CopyVideoFileToMedia(const FSRef *sourceFile, TimeValue begin, TimeValue end, Movie targetMovie,
                                 const FSRef *targetFile, Track targetTrack, Media targetMedia, Boolean *saved);
// The same into a new video track (as large as the source's, its media's time scale) of the movie stored in
// targetFile, whose data is written into that file; the stored movie is updated.
OSStatus QT_CopyVideoFileToMovieFile(const FSRef *sourceFile, TimeValue begin, TimeValue end, const FSRef *targetFile);
// The same into a new movie file `name` in `parent` (replacing a file there); *newFile (may be NULL) names it.
// A copy that fails deletes the new file again.
OSStatus QT_CopyVideoFileToNewFile(const FSRef *sourceFile, TimeValue begin, TimeValue end, const FSRef *parent,
                                   CFStringRef name, FSRef *newFile);

// ---- Copying sample references ----
// The sample references (not the data) of the samples that start in [begin, end) of the old media appended
// to the new media, whole samples each (end 0x7FFFFFFF or beyond the duration: the duration). Each
// description's data reference index is mapped through dataRefIndexTable (one entry per data reference of
// the old media, as QT_CopyDataReferencesIfNeeded makes it); a NULL table is made here. The 32-bit form
// refuses data that lies beyond 32-bit offsets (fileBoundsErr) before it adds anything.
OSStatus QT_CopyMediaByReference(Media oldMedia, Media newMedia, TimeValue begin, TimeValue end,
                                 const SInt16 *dataRefIndexTable);
OSStatus QT_CopyMediaByReference64(Media oldMedia, Media newMedia, TimeValue begin, TimeValue end,
                                   const SInt16 *dataRefIndexTable);
// The same for sound media, the data references mapped here: a record that begins before `start` or runs
// past `end` is cut to the sound samples inside.
OSStatus QT_CopySoundMediaByReference64(TimeValue start, TimeValue end, Media oldMedia, Media newMedia);
// The one sample reference at the media time copied into the new media (its data reference mapped);
// *sampleTime (may be NULL) gets its media time there.
OSStatus QT_CopyMediaSampleReference(Media oldMedia, Media newMedia, TimeValue time, TimeValue *sampleTime);
// One sample-reference record added to the media; *sampleTime (may be NULL) its media time.
OSStatus QT_AddMediaSampleReference64(Media media, SInt64 dataOffset, UInt32 size, TimeValue durationPerSample,
                                      SampleDescriptionHandle desc, UInt32 numberOfSamples, SInt16 flags,
                                      TimeValue *sampleTime);

// ---- New tracks ----
// A new track of width x height and volume 0 with 'vide' media whose data lies in movieFile (NULL: the
// movie's own file).
OSStatus QT_NewVideoTrack(Movie movie, const FSRef *movieFile, SInt32 height, SInt32 width, TimeScale timeScale,
                          Track *track, Media *media);
// The same for 'soun' media at full volume.
OSStatus QT_NewSoundTrack(Movie movie, const FSRef *movieFile, TimeScale timeScale, Track *track, Media *media);

// ---- Enabling tracks ----
OSStatus QT_EnableOneTrack(Movie movie, Track track);
// Every track (or every track of the type; flags as GetMovieIndTrackType's, media type by default).
OSStatus QT_EnableAllTracks(Movie movie, Boolean enable);
OSStatus QT_EnableAllTracksOfType(Movie movie, OSType type, SInt32 flags, Boolean enable);
// Disables every 'tmcd' track, then every 'text' track.
OSStatus QT_DisableTextAndTimeCodeTracks(Movie movie);
// Sets each track of the type that is in the saved list to its saved state.
OSStatus QT_RestoreAllTracksEnabledState(Movie movie, QT_TrackEnabledStateLE *saved, OSType type, SInt32 flags);

// ---- Edits ----
OSStatus QT_InsertEmptyMovieSegment(Movie movie, OSType mediaType, TimeValue time, TimeValue duration);
// Deletes the track's edits and shows the whole media from time 0.
OSStatus QT_SetTrackContentToEntireMedia(Track track);
// One empty segment for each element of the list.
OSStatus QT_AddEmptyTrackEdits(Track track, QT_IndTimeIntvl *first);
// An empty segment first when trackTime lies beyond the track's end, then the media.
OSStatus QT_InsertMediaIntoTrack(Track track, TimeValue trackTime, TimeValue mediaTime, TimeValue mediaDuration,
                                 Fixed rate);
// The media inserted at rate 1, then the inserted segment scaled to mediaDuration in movie time.
OSStatus QT_InsertLongMediaIntoTrack(Track track, TimeValue trackTime, TimeValue mediaTime, TimeValue mediaDuration);

// One edit in the target track per visual frame of the source movie: the target media's stretch from the
// frame's start to its end, both converted to the media's time scale (doubled with doubleDuration), shown
// at rate 1 behind the track's end.
OSStatus QT_AddTrackEditsFromSourceMovie(Movie srcMovie, Track dstTrack, Boolean doubleDuration);
// Repeats the source track's edits (empty ones, rates and track times too) in the target track, whose media
// holds the stretches of the interval list (media time of the source, closed, as QT_MakeMediaIntervalList
// gives them with reducing) one after another, converted to its time scale; with doubleDuration the target
// media times and the track times are doubled. paramErr for an edit whose media lies in no one interval, or
// one played backwards.
OSStatus QT_CopyTrackEditsUsingMediaIntervalList(Track srcTrack, Track dstTrack, LL_IntervalLE *intervals,
                                                 Boolean doubleDuration);

// ---- Track display ----
// Draws one line of text into the port (a 32-bit world of the bounds, current while the procedure runs) in
// colors[0] on colors[1]; a non-zero result stops the caller with it.
typedef OSStatus (*QT_DrawTextLineProcPtr)(CGrafPtr port, const Rect *bounds, const RGBColor *colors,
                                           CFStringRef lineText);
// Draws the line into a new 32-bit world of width x height with the procedure, compresses it with the codec
// (normal quality) and adds it to the media as one sample of the duration; *sampleTime (may be NULL) gets
// its media time.
OSStatus QT_AddCompressedTextImageToMedia(SInt32 width, SInt32 height, QT_DrawTextLineProcPtr drawProc,
                                          const RGBColor *colors, CFStringRef lineText, Media media,
                                          CodecType codecType, TimeValue duration, TimeValue *sampleTime);
// Gives the out track the in track's matrix, its place taken relative to the movie boxes (the in movie's,
// and the out movie's as it is before the call), and the in track's layer; with copyEnabled also its
// enabled state. With preserveHeight the matrix is scaled so that the out track is shown as high as the in
// track (both axes alike, by the ratio of their heights).
OSStatus QT_CopyTrackDisplayLocation(Movie inMovie, Movie outMovie, Track inTrack, Track outTrack,
                                     Boolean copyEnabled, Boolean preserveHeight);

// ---- User data ----
// The first item of the type into the handle (resized); userDataItemNotFound when there is none.
OSStatus QT_GetIndexedTrackFirstUserData(Movie movie, SInt32 trackIndex, Handle data, OSType type);
OSStatus QT_GetTrackFirstUserData(Track track, Handle data, OSType type);
// Adds an item; with replace, the first item of the type is removed first.
OSStatus QT_AddUserDataToTrack(Track track, Handle data, OSType type, Boolean replace);

// ---- Metadata ----
// Every metadata item (key, value, data type and locale) of the source added to the target's metadata.
OSStatus QT_CopyMovieMetaData(Movie srcMovie, Movie dstMovie);
OSStatus QT_CopyTrackMetaData(Track srcTrack, Track dstTrack);
OSStatus QT_CopyMediaMetaData(Media srcMedia, Media dstMedia);
OSStatus QT_CopyMetaData(QTMetaDataRef srcMetaData, QTMetaDataRef dstMetaData);
// The storage format, key format, key and value (each in a new block that the caller frees with DisposePtr,
// with its size) and data type of one item. Any output may be NULL; on failure the blocks are NULL.
OSStatus QT_GetMetaDataItemProps(QTMetaDataRef metaData, QTMetaDataItem item, QTMetaDataStorageFormat *storageFormat,
                                 QTMetaDataKeyFormat *keyFormat, UInt8 **key, ByteCount *keySize, UInt8 **value,
                                 ByteCount *valueSize, UInt32 *dataType);
// The item's value or key in a new block (owned: DisposePtr; NULL for an empty one) and its size.
OSStatus QT_GetMetaDataItemValue(QTMetaDataRef metaData, QTMetaDataItem item, UInt8 **value, ByteCount *size);
OSStatus QT_GetMetaDataItemKey(QTMetaDataRef metaData, QTMetaDataItem item, UInt8 **key, ByteCount *size);
// Gives the target item the source item's locale.
OSStatus QT_CopyMetaDataItemLocale(QTMetaDataRef srcMetaData, QTMetaDataItem srcItem, QTMetaDataRef dstMetaData,
                                   QTMetaDataItem dstItem);

// ---- Media intervals ----
// The media stretches [start, end] (media time, closed) that the track's edits use in [begin, end): one per
// non-empty edit; with reduce, sorted and merged, *overlap telling whether merging shrank their summed length.
OSStatus QT_MakeMediaIntervalList(Track track, TimeValue begin, TimeValue end, Boolean reduce, LL_IntervalLE **list,
                                  Boolean *overlap);
// The same from the samples: each stretch runs from the start of its first sample to the end of its last, and
// *frameCount counts the samples of the stretches (before merging).
OSStatus QT_MakeMediaIntervalListNew(Track track, TimeValue begin, TimeValue end, Boolean reduce,
                                     LL_IntervalLE **list, SInt32 *frameCount, Boolean *overlap);
// The data reference and data span of the media's samples from `start` over `duration`.
OSStatus QT_FillInMediaInterval(Media media, TimeValue start, TimeValue duration, QT_MediaIntervalLE *element);
// True when the data of different intervals (media time, as QT_MakeMediaIntervalList's) overlaps in the files.
OSStatus QT_MediaIntervalsOverlapIndirectly(Media media, LL_IntervalLE *first, Boolean *overlap);
// Orders by data reference index, then start offset (<0, 0, >0).
SInt32 QT_MediaIntervalComparator(const QT_MediaIntervalLE *a, const QT_MediaIntervalLE *b);
// All intervals of the lists in one new block (owned: DisposePtr), sorted by QT_MediaIntervalComparator.
OSStatus QT_PackMediaIntervalLists(QT_MediaIntervalListPtrLE *first, QT_MediaIntervalLE **table, SInt32 *count);
