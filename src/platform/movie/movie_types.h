// Types, records and constants of the Movie Toolbox stand-in: the opaque movie, track and media
// references, time values, matrices, sample references, sample descriptions and data references.
//
// Sample descriptions live in Handles in native byte order (the fixed fields), followed by their
// extensions as big-endian atoms, exactly as they are written to a file after the fixed fields.
#pragma once

#include "platform/core/fixed_math.h"
#include "platform/core/mac_types.h"
#include "platform/core/matrix_math.h"

struct PL_MovieRecord;
struct PL_TrackRecord;
struct PL_MediaRecord;
struct PL_StorageRecord;
struct PL_UserDataRecord;

typedef PL_MovieRecord *Movie;
typedef PL_TrackRecord *Track;
typedef PL_MediaRecord *Media;
// An open movie storage (a movie file opened by CreateMovieStorage or OpenMovieStorage).
typedef PL_StorageRecord *DataHandler;
typedef PL_UserDataRecord *UserData;

// Errors of the movie reader for damaged files. The numbers are the movie library's own
// (src/movie/movie_errors.h names them); the stand-in gives them where a file does not hold together.
enum : OSStatus {
  kPL_MovieMdatHeaderErr = 11015,   // the top level of the file ends in a damaged or truncated media-data atom
  kPL_MovieAtomErr = 11016,         // an atom does not fit its parent, or is too short for its fields
  kPL_MovieAtomCountErr = 11017,    // a table's entry count runs past its atom's data
  kPL_MovieSampleTableErr = 11018,  // tables or values contradict each other (counts, indices, time scales)
};

typedef SInt32 TimeValue;
typedef SInt64 TimeValue64;
typedef SInt32 TimeScale;

#pragma pack(push, 2)

// One run of samples that lie one after another in the data, of equal size and duration.
struct SampleReference64Record {
  SInt64 dataOffset;
  UInt32 dataSize;  // of all the record's samples together
  TimeValue durationPerSample;
  UInt32 numberOfSamples;
  SInt16 sampleFlags;
};

// The fixed head of every sample description.
struct SampleDescription {
  SInt32 descSize;
  OSType dataFormat;
  SInt32 resvd1;
  SInt16 resvd2;
  SInt16 dataRefIndex;
};

struct ImageDescription {
  SInt32 idSize;
  OSType cType;
  SInt32 resvd1;
  SInt16 resvd2;
  SInt16 dataRefIndex;
  SInt16 version;
  SInt16 revisionLevel;
  OSType vendor;
  UInt32 temporalQuality;
  UInt32 spatialQuality;
  SInt16 width;
  SInt16 height;
  Fixed hRes;
  Fixed vRes;
  SInt32 dataSize;
  SInt16 frameCount;
  Str31 name;
  SInt16 depth;
  SInt16 clutID;
};

struct SoundDescription {
  SInt32 descSize;
  OSType dataFormat;
  SInt32 resvd1;
  SInt16 resvd2;
  SInt16 dataRefIndex;
  SInt16 version;
  SInt16 revlevel;
  OSType vendor;
  SInt16 numChannels;
  SInt16 sampleSize;
  SInt16 compressionID;
  SInt16 packetSize;
  UInt32 sampleRate;  // unsigned 16.16
};

struct SoundDescriptionV1 {
  SoundDescription desc;
  UInt32 samplesPerPacket;
  UInt32 bytesPerPacket;
  UInt32 bytesPerFrame;
  UInt32 bytesPerSample;
};

struct SoundDescriptionV2 {
  SInt32 descSize;
  OSType dataFormat;
  SInt32 resvd1;
  SInt16 resvd2;
  SInt16 dataRefIndex;
  SInt16 version;  // 2
  SInt16 revlevel;
  OSType vendor;
  SInt16 always3;
  SInt16 always16;
  SInt16 alwaysMinus2;
  SInt16 always0;
  UInt32 always65536;
  UInt32 sizeOfStructOnly;
  Float64 audioSampleRate;
  UInt32 numAudioChannels;
  SInt32 always7F000000;
  UInt32 constBitsPerChannel;
  UInt32 formatSpecificFlags;
  UInt32 constBytesPerAudioPacket;
  UInt32 constLPCMFramesPerAudioPacket;
};

#pragma pack(pop)

static_assert(sizeof(SampleReference64Record) == 22);
static_assert(sizeof(SampleDescription) == 16);
static_assert(sizeof(ImageDescription) == 86);
static_assert(sizeof(SoundDescription) == 36);
static_assert(sizeof(SoundDescriptionV1) == 52);
static_assert(sizeof(SoundDescriptionV2) == 72);

typedef SampleDescription *SampleDescriptionPtr, **SampleDescriptionHandle;
typedef ImageDescription *ImageDescriptionPtr, **ImageDescriptionHandle;
typedef SoundDescription *SoundDescriptionPtr, **SoundDescriptionHandle;
typedef SoundDescriptionV1 *SoundDescriptionV1Ptr, **SoundDescriptionV1Handle;
typedef SoundDescriptionV2 *SoundDescriptionV2Ptr, **SoundDescriptionV2Handle;

struct DataReferenceRecord {
  OSType dataRefType;
  Handle dataRef;
};

// Media types and data reference types.
enum : OSType {
  VideoMediaType = 'vide',
  SoundMediaType = 'soun',
  TextMediaType = 'text',
  TimeCodeMediaType = 'tmcd',
  BaseMediaType = 'gnrc',
  MovieMediaType = 'moov',
  rAliasType = 'alis',
  URLDataHandlerSubType = 'url ',
  HandleDataHandlerSubType = 'hndl',
  kQTFileTypeMovie = 'MooV',
};

// Sample flags.
enum : SInt16 { mediaSampleNotSync = 1 << 0, mediaSampleShadowSync = 1 << 1 };

// Track usage bits of the track header.
enum : SInt32 { trackUsageInMovie = 1 << 1, trackUsageInPreview = 1 << 2, trackUsageInPoster = 1 << 3 };

// CreateMovieStorage flags.
enum : UInt32 {
  createMovieFileDeleteCurFile = 1u << 31,
  createMovieFileDontCreateMovie = 1u << 30,
  createMovieFileDontOpenFile = 1u << 29,
  createMovieFileDontCreateResFile = 1u << 28,
};

// NewMovie and NewMovieFromDataRef flags.
enum : SInt16 {
  newMovieActive = 1 << 0,
  newMovieDontResolveDataRefs = 1 << 1,
  newMovieDontAskUnresolvedDataRefs = 1 << 2,
  newMovieDontAutoAlternates = 1 << 3,
  newMovieDontUpdateForeBackPointers = 1 << 4,
  newMovieDontAutoUpdateClock = 1 << 5,
  newMovieAsyncOK = 1 << 8,
  newMovieIdleImportOK = 1 << 10,
  newMovieDontInteractWithUser = 1 << 11,
};

// OpenMovieStorage permissions.
enum : UInt32 { kDataHCanRead = 1u << 0, kDataHCanWrite = 1u << 3 };

// Attributes of GetMediaDataRef.
enum : SInt32 { dataRefSelfReference = 1 << 0, dataRefWasNotResolved = 1 << 1 };
