// The in-memory model of a QuickTime movie behind the Movie Toolbox calls: movie, tracks with their edit
// lists, media with data references, sample descriptions and sample tables; and its reading from and
// writing to a movie atom ('moov').
//
// The model keeps QuickTime's distinctions: movie time (the movie's time scale) against media time (the
// media's), edits that map one onto the other, and samples kept as runs, the records that the toolbox
// hands out: consecutive samples of equal size and duration that lie one after another in the data,
// with the same description and flags. Runs are only ever appended, so each run knows the media time
// and the number of its first sample.
//
// Atoms the model does not know are kept as bytes and written back where they were found (within their
// parent), except per-sample tables, which are dropped once samples were added.
//
// Threads: a movie may be read from several threads at once (the read stage asks for sample references
// while the main thread queries); it is changed only while no other thread uses it.
#pragma once

#include "platform/movie/movie_types.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// An atom kept as it was read: its type and the bytes behind its header.
struct PL_RawAtom {
  OSType type;
  std::vector<UInt8> payload;
};

struct PL_UserDataItem {
  OSType type;
  std::vector<UInt8> data;
};

struct PL_UserDataRecord {
  std::vector<PL_UserDataItem> items;
};

// One edit: a stretch of track time (in the movie's time scale) showing media from mediaTime on at
// mediaRate; mediaTime -1 is an empty edit.
struct PL_Edit {
  SInt64 trackDuration;
  SInt64 mediaTime;
  Fixed mediaRate;
};

struct PL_TrackReference {
  OSType type;
  std::vector<UInt32> trackIDs;
};

// A run of samples (see the file comment). dataSize counts all its samples; sample i of the run begins
// at dataOffset + i * dataSize / numberOfSamples.
struct PL_SampleRun {
  SInt64 dataOffset;
  UInt64 dataSize;
  UInt32 numberOfSamples;
  TimeValue durationPerSample;
  SInt16 sampleFlags;
  UInt32 descIndex;     // 1-based index of the sample description
  SInt64 startTime;     // media time of the first sample
  SInt64 firstSample;   // number of the first sample, counted from 1
};

// Where a data reference points.
enum PL_DataRefKind : UInt8 {
  kPL_DataRefSelf,    // the file that holds the movie (or will hold it)
  kPL_DataRefFile,    // another local file, by absolute path
  kPL_DataRefOther,   // anything else: kept as read, not resolvable here
  kPL_DataRefStream,  // one stream of a multiplexed file (imported movies): its bytes lie in pieces in the file
};

// One piece of a stream that lies in pieces in a file: `size` bytes at stream position `streamOffset` lie
// at `fileOffset` of the file.
struct PL_StreamPiece {
  UInt64 streamOffset;
  UInt64 fileOffset;
  UInt32 size;
};

// The pieces of a stream in stream order, without gaps; sample offsets of its media count in the stream.
struct PL_StreamPieces {
  std::vector<PL_StreamPiece> pieces;
  UInt64 size = 0;
};

// Data references of this type name a stream of a file; no file format can store them.
enum : OSType { kPL_StreamDataRefType = 'strm' };

// A file reference is an 'alis' (alias record) or a 'url ' (file URL) reference. An alias is resolved when
// the movie is read or the reference added (path = the file found, or the recorded path when the file is
// missing); it is written afresh for the file at `path` while that exists, else as it was read.
struct PL_DataRef {
  PL_DataRefKind kind;
  OSType type;               // as read or given; self references are written as 'alis'
  std::string path;          // kPL_DataRefFile, kPL_DataRefStream (the file the pieces lie in)
  std::vector<UInt8> data;   // kPL_DataRefOther: the entry's bytes behind its version and flags;
                             // an 'alis' kPL_DataRefFile: the alias record as read or given;
                             // kPL_DataRefStream: the file's URL, zero-terminated
  std::shared_ptr<const PL_StreamPieces> pieces = nullptr;  // kPL_DataRefStream
};

struct PL_MediaRecord {
  PL_TrackRecord *track = nullptr;
  OSType mediaType = 0;
  TimeScale timeScale = 600;
  UInt64 creationTime = 0;
  UInt64 modificationTime = 0;
  UInt16 language = 0;
  UInt16 quality = 0;
  // The media handler's 'hdlr': component type, manufacturer, flags, mask and its name bytes as stored.
  OSType hdlrComponentType = 'mhlr';
  OSType hdlrManufacturer = 0;
  UInt32 hdlrFlags = 0;
  UInt32 hdlrFlagsMask = 0;
  std::vector<UInt8> hdlrName;
  // The media information header ('vmhd', 'smhd', 'gmhd', ...) as stored, after its atom header.
  OSType mediaHeaderType = 0;
  std::vector<UInt8> mediaHeader;
  // The data handler's 'hdlr' inside 'minf' as stored (payload), when there is one.
  bool hasDataHandlerHdlr = false;
  std::vector<UInt8> dataHandlerHdlr;
  std::vector<PL_DataRef> dataRefs;
  // Sample descriptions in their in-memory form: native fixed fields, then the extensions as stored.
  std::vector<std::vector<UInt8>> descriptions;
  std::vector<PL_SampleRun> runs;
  SInt64 duration = 0;     // sum of the sample durations
  SInt64 sampleCount = 0;
  // Composition offsets as read ('ctts'): runs of (count, offset).
  bool hasCompositionOffsets = false;
  UInt8 compositionOffsetsVersion = 0;
  std::vector<std::pair<UInt32, SInt32>> compositionOffsets;
  bool samplesChanged = false;
  bool editing = false;
  std::vector<PL_RawAtom> mdiaExtras, minfExtras, dinfExtras, stblExtras;
  // The samples in display order, for media with composition offsets: made by the time searches on first
  // use and rebuilt when the sample count changes (toolbox_time.cpp).
  std::mutex displayOrderLock;
  std::shared_ptr<const struct PL_DisplayOrder> displayOrder;
};

struct PL_TrackRecord {
  PL_MovieRecord *movie = nullptr;
  UInt32 trackID = 0;
  UInt32 flags = 0;  // of the track header: 1 enabled, then the usage bits
  UInt64 creationTime = 0;
  UInt64 modificationTime = 0;
  SInt16 layer = 0;
  SInt16 alternateGroup = 0;
  SInt16 volume = 0;
  MatrixRecord matrix{};
  Fixed width = 0;
  Fixed height = 0;
  std::vector<PL_Edit> edits;
  // Aperture-mode dimensions ('tapt'): clean, production and encoded pixels.
  bool hasClef = false, hasProf = false, hasEnof = false;
  FixedPoint clef{}, prof{}, enof{};
  std::vector<PL_RawAtom> taptExtras;
  std::vector<PL_TrackReference> references;
  PL_UserDataRecord userData;
  std::unique_ptr<PL_MediaRecord> media;
  std::vector<PL_RawAtom> extras;
};

struct PL_MovieRecord {
  TimeScale timeScale = 600;
  UInt64 creationTime = 0;
  UInt64 modificationTime = 0;
  Fixed preferredRate = fixed1;
  SInt16 preferredVolume = 0x100;
  MatrixRecord matrix{};
  TimeValue previewTime = 0, previewDuration = 0, posterTime = 0;
  TimeValue selectionTime = 0, selectionDuration = 0, currentTime = 0;
  UInt32 nextTrackID = 1;
  std::vector<std::unique_ptr<PL_TrackRecord>> tracks;
  PL_UserDataRecord userData;
  std::vector<PL_RawAtom> extras;
  bool active = false;
  // The movie's file: where self references point. Empty for a movie that has no storage yet.
  std::string defaultPath;
  // The aperture mode set through the movie's visual properties; 0 until one is set (movie_properties.cpp).
  OSType apertureMode = 0;
  // Files opened for reading sample data, by path; closed when the movie is disposed.
  std::mutex filesLock;
  std::map<std::string, int> openFiles;
  // Files that samples added to the movie's media are being appended to, each in a new 'mdat' atom at its
  // end (track_editing.cpp); finished by PL_FinishMediaData.
  std::shared_ptr<struct PL_MediaDataWriters> dataWriters;
  // The file the movie was imported from (av_import.cpp); empty for QuickTime movies. Never written.
  std::string importedFrom;
  // Drawing into a graphics world: the world, drawing-complete procedure, status and the open decoder
  // (movie_drawing.cpp); made on first use.
  std::shared_ptr<struct PL_MovieDrawing> drawing;
};

// A fresh movie: time scale 600, rate and volume 1, identity matrix, no tracks.
std::unique_ptr<PL_MovieRecord> PL_NewMovieRecord();
// Closes the movie's sample-data files; the record itself goes with its unique_ptr.
void PL_CloseMovieFiles(PL_MovieRecord *movie);

void PL_SetIdentityMatrix(MatrixRecord *matrix);

// Parses the bytes behind a 'moov' header. `filePath` is the file the atom came from (where self
// references point). kPL_Movie...Err for damaged content, memFullErr, or noErr with *outMovie set.
OSStatus PL_ParseMovieAtom(const UInt8 *payload, size_t size, const std::string &filePath,
                           std::unique_ptr<PL_MovieRecord> *outMovie);

// Builds the whole 'moov' atom of the movie for a file at `targetPath`: data references that point
// at that file are written as self references. paramErr when the model cannot be written; couldNotResolveDataRef
// when a media keeps its samples in a stream of a multiplexed file (kPL_DataRefStream).
OSStatus PL_BuildMovieAtom(const PL_MovieRecord *movie, const std::string &targetPath, std::vector<UInt8> *out);

// Sample runs.
// Appends samples to the media, merging with the last run when they continue it.
// paramErr for no samples, a negative offset or duration, or a size not divisible into equal samples.
OSStatus PL_MediaAppendRun(PL_MediaRecord *media, SInt64 dataOffset, UInt64 dataSize, UInt32 numberOfSamples,
                           TimeValue durationPerSample, SInt16 sampleFlags, UInt32 descIndex);
// The run holding the media time and the index of that sample inside the run; false when the time lies
// outside the media (or only zero-duration samples are there).
bool PL_MediaFindTime(const PL_MediaRecord *media, SInt64 time, size_t *runIndex, UInt32 *sampleInRun);
// The run holding the sample number (from 1); false outside 1..sampleCount.
bool PL_MediaFindSample(const PL_MediaRecord *media, SInt64 sampleNum, size_t *runIndex, UInt32 *sampleInRun);
// Data offset and size of one sample of a run.
void PL_RunSampleSpan(const PL_SampleRun &run, UInt32 sampleInRun, SInt64 *offset, UInt64 *size);

// Splits the edit that holds track time `time` so that an edit begins there; the index of the edit that
// begins at `time` (the edit count at or past the track's end). May throw std::bad_alloc.
size_t PL_TrackSplitAt(PL_TrackRecord *track, SInt64 time);
// Inserts an edit at track time `start` (at most the track's end), splitting the edit there. memFullErr.
OSStatus PL_TrackInsertEdit(PL_TrackRecord *track, SInt64 start, const PL_Edit &edit);

// Sample data added to media (track_editing.cpp): appends `size` bytes to the file of the media's data
// reference `dataRefIndex`, inside a new 'mdat' atom at the file's end that stays open until
// PL_FinishMediaData; *offset gets where the bytes lie.
OSStatus PL_AppendMediaData(PL_MediaRecord *media, SInt16 dataRefIndex, const void *data, size_t size, SInt64 *offset);
// Gives every open 'mdat' of the movie its size and closes its file. Called when media edits end, before the
// movie is stored and when it is disposed; returns the first error.
OSStatus PL_FinishMediaData(PL_MovieRecord *movie);

// Track and movie time.
SInt64 PL_TrackDuration(const PL_TrackRecord *track);
SInt64 PL_MovieDuration(const PL_MovieRecord *movie);
// Converts a media duration to track time at a rate (Fixed), rounded to nearest; 0 for a zero rate.
SInt64 PL_MediaToMovieDuration(SInt64 mediaDuration, TimeScale mediaScale, TimeScale movieScale, Fixed rate);

// Data references.
// Where the media's data reference (1-based) points as a file path: self references give the movie's
// file. noDefaultDataRef when a self-referenced movie has no file yet, badDataRefIndex for a bad index,
// couldNotResolveDataRef for a reference that is not a local file (a stream of a file is none).
OSStatus PL_MediaDataRefPath(const PL_MediaRecord *media, SInt32 index, std::string *path);
// The data reference index (from 1) of description `descIndex`; paramErr for no such description,
// badDataRefIndex for a reference the media does not have.
OSStatus PL_MediaDescriptionDataRef(const PL_MediaRecord *media, UInt32 descIndex, SInt32 *index);
// The open file (kept by the movie) that holds the data of description `descIndex`, and the size of the
// data there: the file's, or the stream's for a stream of a file.
OSStatus PL_MediaDataFile(PL_MediaRecord *media, UInt32 descIndex, int *fileDescriptor, UInt64 *fileSize);
// Reads `size` bytes of sample data of description `descIndex` at `offset` through its data reference (a
// stream's offset through its pieces). eofErr when the file or stream ends first.
OSStatus PL_MediaReadData(PL_MediaRecord *media, UInt32 descIndex, SInt64 offset, void *buffer, size_t size);

// A data reference of the model for a data reference handle of the given type: 'alis' and file 'url '
// references become file references, anything else is kept as bytes. memFullErr, or noErr.
OSStatus PL_DataRefFromBytes(const UInt8 *bytes, size_t size, OSType type, PL_DataRef *ref);
// The file an alias record names: the file found (*resolved true), or the recorded path when it cannot be
// found (*resolved false). paramErr for bytes that are no alias record of ours.
OSStatus PL_AliasBytesToPath(const UInt8 *bytes, size_t size, std::string *path, bool *resolved);
// The alias record of the existing file at `path`; the file's error (fnfErr...) when there is none.
OSStatus PL_NewAliasBytes(const std::string &path, std::vector<UInt8> *bytes);

// Sets the calling thread's GetMoviesError (and its sticky error when still clear); returns `err`.
OSErr PL_SetMoviesError(OSStatus err);

// True when both paths name the same file (same device and inode when both exist, else equal strings).
bool PL_SameFile(const std::string &a, const std::string &b);

// URL data references ('url '): a zero-terminated "file://" URL with percent escapes.
std::string PL_PathToFileURL(const std::string &path);
// False when the text is not an absolute local file URL.
bool PL_FileURLToPath(const std::string &url, std::string *path);

// Sample description conversions between the stored (big-endian) form of an 'stsd' entry and the
// in-memory form, for a media of `mediaType`. `entry` is the whole entry atom payload (behind size and
// format: 6 reserved bytes, data reference index, then the format's fields). kPL_MovieAtomErr when the
// entry is too short for its fixed fields.
OSStatus PL_DescriptionFromStored(OSType mediaType, OSType format, const UInt8 *entry, size_t entrySize,
                                  std::vector<UInt8> *native);
// The entry atom payload for a description in memory; paramErr when its size field is inconsistent.
OSStatus PL_DescriptionToStored(OSType mediaType, const std::vector<UInt8> &native, OSType *format,
                                std::vector<UInt8> *entry);
// Smallest in-memory size of a description of the media type (and sound version), for validation.
size_t PL_DescriptionMinimumSize(OSType mediaType, const UInt8 *native, size_t size);
// Bytes of `numberOfSamples` sound samples as the description implies them (uncompressed formats, or
// compressed formats with fixed packets); 0 when the description does not say.
UInt64 PL_SoundBytesForSamples(const std::vector<UInt8> &native, UInt64 numberOfSamples);
