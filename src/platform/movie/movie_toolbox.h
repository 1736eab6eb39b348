// Movie Toolbox stand-in: movies, tracks, media, sample references, user data and movie storage, with
// the names, arguments and error numbers of the toolbox calls the movie library makes.
//
// Every call sets the calling thread's GetMoviesError (noErr on success) and the thread's sticky error
// (the first failure since ClearMoviesStickyError). Calls that return an OSErr return the same number.
// Movies are read and written by our own atom code (movie_model.h); nothing here needs a display.
//
// Threads: any thread may call; a movie may be read from several threads at once but changed only while
// no other thread uses it (the engine changes its target movies on the main thread only).
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/movie/movie_types.h"

#include <string>

// ---- Errors ----
OSErr GetMoviesError();
// Nothing to prepare here: the movie layer sets itself up on first use. Always noErr.
OSErr EnterMovies();
OSErr GetMoviesStickyError();
void ClearMoviesStickyError();

// ---- Movies ----
// A new empty movie (time scale 600) without storage. Owned: dispose with DisposeMovie.
Movie NewMovie(SInt32 flags);
// Disposes the movie with its tracks and media; a null movie is ignored.
void DisposeMovie(Movie theMovie);
TimeScale GetMovieTimeScale(Movie theMovie);
// Changes the movie's time scale; edit durations are converted to the new scale (rounded to nearest).
void SetMovieTimeScale(Movie theMovie, TimeScale timeScale);
// The longest track duration in movie time; values beyond 32 bits give 0x7FFFFFFF.
TimeValue GetMovieDuration(Movie theMovie);
void GetMovieMatrix(Movie theMovie, MatrixRecord *matrix);
void SetMovieMatrix(Movie theMovie, const MatrixRecord *matrix);
Fixed GetMoviePreferredRate(Movie theMovie);
void SetMoviePreferredRate(Movie theMovie, Fixed rate);
void SetMovieActive(Movie theMovie, Boolean active);
Boolean GetMovieActive(Movie theMovie);
SInt32 GetMovieTrackCount(Movie theMovie);
// Tracks by index (from 1) and by identifier; null with badTrackIndex / trackIDNotFound.
Track GetMovieIndTrack(Movie theMovie, SInt32 index);
Track GetMovieTrack(Movie theMovie, SInt32 trackID);
// The index-th (from 1) track of a media type (flags 1) or characteristic (flags 2), enabled ones only
// with flag 4; null when there is none (no error). Characteristics known here: 'eyes' and 'ears'.
Track GetMovieIndTrackType(Movie theMovie, SInt32 index, OSType trackType, SInt32 flags);
UserData GetMovieUserData(Movie theMovie);

// ---- Tracks ----
// A new enabled track of the given dimensions and volume, identity matrix, no media. Owned by the movie.
Track NewMovieTrack(Movie theMovie, Fixed width, Fixed height, SInt16 trackVolume);
// Removes the track (and its media) from its movie.
void DisposeMovieTrack(Track theTrack);
// New media for a track that has none. dataRef null: the movie's own file (a self reference).
// Otherwise a file data reference ('alis' or 'url '). Owned by the track.
Media NewTrackMedia(Track theTrack, OSType mediaType, TimeScale timeScale, Handle dataRef, OSType dataRefType);
void DisposeTrackMedia(Media theMedia);
Media GetTrackMedia(Track theTrack);
Track GetMediaTrack(Media theMedia);
Movie GetTrackMovie(Track theTrack);
SInt32 GetTrackID(Track theTrack);
// Sum of the track's edits in movie time, and the duration of its leading empty edits.
TimeValue GetTrackDuration(Track theTrack);
TimeValue GetTrackOffset(Track theTrack);
Boolean GetTrackEnabled(Track theTrack);
void SetTrackEnabled(Track theTrack, Boolean isEnabled);
SInt16 GetTrackLayer(Track theTrack);
void SetTrackLayer(Track theTrack, SInt16 layer);
SInt16 GetTrackVolume(Track theTrack);
void SetTrackVolume(Track theTrack, SInt16 volume);
void GetTrackDimensions(Track theTrack, Fixed *width, Fixed *height);
void SetTrackDimensions(Track theTrack, Fixed width, Fixed height);
void GetTrackMatrix(Track theTrack, MatrixRecord *matrix);
void SetTrackMatrix(Track theTrack, const MatrixRecord *matrix);
UserData GetTrackUserData(Track theTrack);
// Inserts media time [mediaTime, mediaTime + mediaDuration) at trackStart (-1: at the end) played at
// mediaRate. A trackStart beyond the track's end leaves an empty edit in between. invalidDuration when
// the stretch is not inside the media, paramErr for a zero rate.
OSErr InsertMediaIntoTrack(Track theTrack, TimeValue trackStart, TimeValue mediaTime, TimeValue mediaDuration,
                           Fixed mediaRate);
// Media time shown at a track time; -1 in an empty edit or outside the track.
TimeValue TrackTimeToMediaTime(TimeValue value, Track theTrack);
// Track references (indices from 1).
OSErr AddTrackReference(Track theTrack, Track refTrack, OSType refType, SInt32 *addedIndex);
Track GetTrackReference(Track theTrack, OSType refType, SInt32 index);
SInt32 GetTrackReferenceCount(Track theTrack, OSType refType);
// The reference type after refType (0 starts), 0 after the last.
OSType GetNextTrackReferenceType(Track theTrack, OSType refType);

// ---- Media ----
TimeScale GetMediaTimeScale(Media theMedia);
// Sum of the sample durations (values beyond 32 bits give 0x7FFFFFFF).
TimeValue GetMediaDuration(Media theMedia);
SInt32 GetMediaSampleCount(Media theMedia);
SInt32 GetMediaSampleDescriptionCount(Media theMedia);
// Copies description `index` (from 1) into the handle, resizing it.
void GetMediaSampleDescription(Media theMedia, SInt32 index, SampleDescriptionHandle descH);
OSErr SetMediaSampleDescription(Media theMedia, SInt32 index, SampleDescriptionHandle descH);
// The media type, the handler's name (Pascal string, may be null) and its manufacturer (may be null).
void GetMediaHandlerDescription(Media theMedia, OSType *mediaType, Str255 creatorName, OSType *creatorManufacturer);
OSErr GetMediaDataRefCount(Media theMedia, SInt16 *count);
OSErr BeginMediaEdits(Media theMedia);
OSErr EndMediaEdits(Media theMedia);
// Appends `numberOfRecords` sample-reference records described by descH (added to the media's descriptions
// unless an equal one is there; a data reference index of 0 means 1). *sampleTime (may be null) gets the
// media time of the first added sample. paramErr for an empty record, a negative offset or duration.
OSErr AddMediaSampleReferences64(Media theMedia, SampleDescriptionHandle descH, SInt32 numberOfRecords,
                                 const SampleReference64Record *sampleRefs, TimeValue *sampleTime);
// Records of the samples from the one at `time` on, all of one description, at most maxNumberOfEntries;
// the first record starts at that sample. *actualNumberOfEntries 0 when time is at or past the media's end.
// Records are split where 32 bits cannot hold their size. invalidTime for a negative time.
OSErr GetMediaSampleReferences64(Media theMedia, TimeValue time, TimeValue *sampleTime,
                                 SampleDescriptionHandle sampleDescriptionH, SInt32 *sampleDescriptionIndex,
                                 SInt32 maxNumberOfEntries, SInt32 *actualNumberOfEntries,
                                 SampleReference64Record *sampleRefs);
// Reads the data of the samples from the one at `time` on (at most maxNumberOfSamples; 0 gives one for
// video and up to 1 MB of sound) into dataOut, resizing it; maxSizeToGrowTooSmall when the data exceeds a
// non-zero maxSizeToGrow; eofErr when the file ends before the data does. Every out argument may be null.
OSErr GetMediaSample(Media theMedia, Handle dataOut, SInt32 maxSizeToGrow, SInt32 *size, TimeValue time,
                     TimeValue *sampleTime, TimeValue *durationPerSample, SampleDescriptionHandle sampleDescriptionH,
                     SInt32 *sampleDescriptionIndex, SInt32 maxNumberOfSamples, SInt32 *numberOfSamples,
                     SInt16 *sampleFlags);
// Sample number (from 1) at a media time and back; -1 (and times -1) outside the media.
void MediaTimeToSampleNum(Media theMedia, TimeValue time, SInt32 *sampleNum, TimeValue *sampleTime,
                          TimeValue *sampleDuration);
void SampleNumToMediaTime(Media theMedia, SInt32 logicalSampleNum, TimeValue *sampleTime, TimeValue *sampleDuration);

// ---- User data ----
// Copies the index-th (from 1) item of the type into the handle; userDataItemNotFound when absent.
OSErr GetUserData(UserData theUserData, Handle data, OSType udType, SInt32 index);
OSErr AddUserData(UserData theUserData, Handle data, OSType udType);
OSErr RemoveUserData(UserData theUserData, OSType udType, SInt32 index);
SInt16 CountUserDataType(UserData theUserData, OSType udType);
// The type after udType (0 starts), 0 after the last.
OSType GetNextUserDataType(UserData theUserData, OSType udType);

// ---- Storage ----
// Creates an empty movie file at the data reference and (unless createMovieFileDontCreateMovie) a new movie
// whose own file it is. An existing file is replaced only with createMovieFileDeleteCurFile, else dupFNErr.
// outDataHandler (may be null) receives the open storage, which the caller closes with CloseMovieStorage.
// The creator is recorded with the file type 'MooV' as the file's Finder information where possible.
OSErr CreateMovieStorage(Handle dataRef, OSType dataRefType, OSType creator, ScriptCode scriptTag,
                         SInt32 createMovieFileFlags, DataHandler *outDataHandler, Movie *newmovie);
// Opens an existing movie file; kDataHCanWrite in flags opens it for writing.
OSErr OpenMovieStorage(Handle dataRef, OSType dataRefType, SInt32 flags, DataHandler *outDataHandler);
OSErr CloseMovieStorage(DataHandler dh);
OSErr DeleteMovieStorage(Handle dataRef, OSType dataRefType);
// Stores the movie atom in the open storage: the new one is appended at the end of the file, then the
// file's earlier movie atoms become 'free' atoms. A failed write is cut off again and leaves the file's
// previous movie as it was. wrPermErr for a storage of the file a movie was imported from.
OSErr AddMovieToStorage(Movie theMovie, DataHandler dh);
OSErr UpdateMovieInStorage(Movie theMovie, DataHandler dh);
// Opens the movie stored in the file: the first top-level movie atom. noMovieFound when the file holds none;
// 11015 when the file's top level ends in a damaged media-data atom before any movie atom, 11016 to 11018
// for a damaged movie atom (see movie_model.h). A file that is no QuickTime movie but of a kind libavformat
// reads for us (av_import.h) is imported, with that importer's errors. The file is only read. *resId (may
// be null) gets -1.
OSErr NewMovieFromDataRef(Movie *theMovie, SInt16 flags, SInt16 *resId, Handle dataRef, OSType dataRefType);
// The movie atom for a file at the data reference, data references to that file written as self references.
OSErr PutMovieForDataRefIntoHandle(Movie theMovie, Handle dataRef, OSType dataRefType, Handle publicMovie);

// The movie's own file (where its self references point) as a new 'url ' data reference (owned:
// DisposeHandle). noDefaultDataRef for a movie that has no file yet.
OSErr GetMovieDefaultDataRef(Movie theMovie, Handle *outDataRef, OSType *outDataRefType);

// ---- Data references ----
// Data references to files: an 'alis' reference (an alias record of the file, which must exist) from an
// FSRef; the ...CFString form names a file that need not exist yet and gives a 'url ' reference (a
// zero-terminated file URL). Every call here accepts both wherever a file data reference is expected.
// Owned: DisposeHandle.
OSErr QTNewDataReferenceFromFSRef(const FSRef *fileRef, UInt32 flags, Handle *outDataRef, OSType *outDataRefType);
// A 'url ' data reference to the file a file URL names (the file need not exist); paramErr for a URL that
// is not a local file URL.
OSErr QTNewDataReferenceFromCFURL(CFURLRef url, UInt32 flags, Handle *outDataRef, OSType *outDataRefType);
OSErr QTNewDataReferenceFromFSRefCFString(const FSRef *directoryRef, CFStringRef fileName, UInt32 flags,
                                          Handle *outDataRef, OSType *outDataRefType);
// Data reference `index` (from 1) of the media: a new handle (owned, DisposeHandle) and its type. Self
// references (the movie's own file) and alias references come as 'alis' with a fresh record of the file;
// a missing file keeps the record it was given or read with. 'url ' references stay 'url '. Attributes
// tell dataRefSelfReference, and dataRefWasNotResolved for a file that is missing or a reference that
// names no local file. Every out argument may be null.
OSErr GetMediaDataRef(Media theMedia, SInt16 index, Handle *dataRef, OSType *dataRefType, SInt32 *dataRefAttributes);
// Adds a data reference (a file one, or any other kept as it is) and gives its index. An alias is resolved
// now: the reference then names the file found, or the recorded path when the file is missing.
OSErr AddMediaDataRef(Media theMedia, SInt16 *index, Handle dataRef, OSType dataRefType);
// Whether the file at the data reference opens as a movie (it holds a movie atom, or is of a kind imported
// through libavformat, av_import.h), or is a still image of
// a kind the graphics importers read (image_formats.h): then a graphics importer can open it and is
// preferred, and it does not open as a movie.
OSErr CanQuickTimeOpenDataRef(Handle dataRef, OSType dataRefType, Boolean *outCanOpenWithGraphicsImporter,
                              Boolean *outCanOpenAsMovie, Boolean *outPreferGraphicsImporter, UInt32 inFlags);

typedef OSType QTPropertyClass;
typedef OSType QTPropertyID;
typedef void *QTPropertyValuePtr;
typedef struct PL_VisualContextRecord *QTVisualContextRef;

struct QTNewMoviePropertyElement {
  QTPropertyClass propClass;
  QTPropertyID propID;
  ByteCount propValueSize;
  QTPropertyValuePtr propValueAddress;
  OSStatus propStatus;
};

enum : OSType {
  kQTPropertyClass_DataLocation = 'dloc',
  kQTDataLocationPropertyID_DataReference = 'dref',
  kQTPropertyClass_Context = 'ctxt',
  kQTContextPropertyID_VisualContext = 'visu',
  kQTPropertyClass_NewMovieProperty = 'mprp',
  kQTNewMoviePropertyID_Active = 'actv',
  kQTPropertyClass_MovieInstantiation = 'mins',
  kQTMovieInstantiationPropertyID_DontResolveDataRefs = 'rdrn',
  kQTMovieInstantiationPropertyID_DontAskUnresolvedDataRefs = 'aurn',
  kQTPropertyClass_Audio = 'audi',
  kQTAudioPropertyID_RateChangesPreservePitch = 'aucp',
};
enum : OSStatus { kQTPropertyNotSupportedErr = -2195, kQTPropertyBadValueSizeErr = -2184 };
// Flags of the property information calls.
enum : UInt32 {
  kComponentPropertyFlagCanSetLater = 1u << 0,
  kComponentPropertyFlagCanSetNow = 1u << 1,
  kComponentPropertyFlagCanGetLater = 1u << 2,
  kComponentPropertyFlagCanGetNow = 1u << 3,
};

// Opens a movie from a list of properties: the data location ('dloc', 'dref': a DataReferenceRecord) is
// required; 'mprp'/'actv' makes it active; 'mins'/'rdrn', 'mins'/'aurn' and 'audi'/'aucp' are accepted.
// A visual context cannot be drawn into here: a non-null one gets kQTPropertyNotSupportedErr as its status.
// Unknown properties get that status too and are ignored. Output properties are not supported (paramErr).
OSErr NewMovieFromProperties(ItemCount inputPropertyCount, QTNewMoviePropertyElement *inputProperties,
                             ItemCount outputPropertyCount, QTNewMoviePropertyElement *outputProperties,
                             Movie *theMovie);
// Movie files are never opened by reference number here, so every number is unknown: rfNumErr.
OSErr CloseMovieFile(SInt16 resRefNum);

// ---- Our own helpers ----
// A 'url ' data reference (a zero-terminated file URL) to a path. Owned: DisposeHandle.
OSErr PL_NewDataReferenceFromPath(const char *path, Handle *outDataRef, OSType *outDataRefType);
// The file a data reference names; the file need not exist (an alias of a missing file gives its recorded
// path). paramErr for a type or record that names no local file.
OSErr PL_DataReferenceToPath(Handle dataRef, OSType dataRefType, std::string *path);
// Test hook: the next `count` CreateMovieStorage calls fail with `err` (as a busy file would) before they
// touch the file; 0 switches it off.
void PL_FailMovieStorageCreates(SInt32 count, OSErr err);
