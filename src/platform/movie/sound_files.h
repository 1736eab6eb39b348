// Sound Manager stand-in for AIFF files: the header writer (SetupAIFFHeader) and our own reader of AIFF and
// AIFF-C headers.
//
// The header written is always AIFF-C of one length (FORM, FVER, COMM with the compression type and a name
// of fixed length, the SSND header), so that a provisional header can later be replaced by the final one
// without moving the samples. The FORM size counts the pad byte that follows an odd number of sample bytes;
// numBytes is expected to include it.
#pragma once

#include "platform/core/files.h"
#include "platform/core/mac_types.h"
#include "platform/movie/movie_types.h"

// Bytes of the header SetupAIFFHeader writes; the sample bytes follow at this offset from where it began.
enum : UInt32 { kPL_AIFFHeaderSize = 86 };

// Writes the header at the fork's mark (the mark moves behind it). sampleRate is unsigned 16.16; numBytes the
// sample bytes (with the pad byte), numFrames the sample frames. paramErr for a channel count or sample size
// below 1, or a size that the FORM size cannot hold; the File Manager's error otherwise.
OSErr SetupAIFFHeader(FSIORefNum fRefNum, SInt16 numChannels, UInt32 sampleRate, SInt16 sampleSize,
                      OSType compressionType, UInt32 numBytes, UInt32 numFrames);

// What an AIFF or AIFF-C file's header says.
struct PL_AIFFInfo {
  Boolean compressed;     // AIFF-C
  SInt16 numChannels;
  UInt32 numFrames;
  SInt16 sampleSize;      // bits
  double sampleRate;      // Hz
  OSType compression;     // 'NONE' for plain AIFF
  SInt64 dataOffset;      // first sample byte in the file
  UInt64 dataSize;        // sample bytes present (at most what the frames need)
};

// Reads the header of the open fork (from offset 0): kPL_AIFFFormatErr for a file that is no AIFF or whose
// chunks do not fit it or each other (a COMM or SSND missing, sizes running past the file), eofErr for a file
// cut inside its header.
enum : OSStatus { kPL_AIFFFormatErr = -2048 };  // noMovieFound: the file holds no sound we can read
OSStatus PL_ReadAIFFHeader(FSIORefNum fRefNum, PL_AIFFInfo *info);

// ---- Movie export from procedures ----
// What an exporter asks a data procedure for, and what the procedure answers.
struct MovieExportGetDataParams {
  SInt32 recordSize;
  SInt32 trackID;
  TimeScale sourceTimeScale;
  TimeValue requestedTime;
  TimeValue actualTime;
  Ptr dataPtr;
  SInt32 dataSize;
  SampleDescriptionHandle desc;
  OSType descType;
  SInt32 descSeed;
  SInt32 requestedSampleCount;
  SInt32 actualSampleCount;
  TimeValue durationPerSample;
  SInt32 sampleFlags;
};
typedef OSErr (*MovieExportGetPropertyProcPtr)(void *refcon, SInt32 trackID, OSType propertyType, void *propertyValue);
typedef OSErr (*MovieExportGetDataProcPtr)(void *refCon, MovieExportGetDataParams *params);

// Sound properties an exporter asks for.
enum : OSType {
  scSoundCompressionType = 'ssct',
  scSoundChannelCountType = 'sscc',
  scSoundSampleSizeType = 'ssss',
  scSoundSampleRateType = 'ssrt',
};
