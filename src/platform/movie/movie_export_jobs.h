// The work of the movie exporters (exporters.h): one function per kind of file, each given the movie, the
// stretch to export and the exporter's settings, plus the settings look-ups and the progress reporting
// they share. Main thread.
#pragma once

#include "platform/movie/atom_container.h"
#include "platform/movie/movie_progress.h"
#include "platform/movie/movie_types.h"
#include "platform/movie/sound_files.h"

#include <string>

// A source of an export from procedures (MovieExportAddDataSource).
struct PL_ExportDataSource {
  OSType trackType;
  TimeScale scale;
  SInt32 trackID;
  MovieExportGetPropertyProcPtr getProperty;  // may be null
  MovieExportGetDataProcPtr getData;
  void *refCon;
};

struct PL_ExportRequest {
  std::string path;           // the file to write (replaced when it exists)
  Handle dataRef;             // borrowed: the data reference naming it
  OSType dataRefType;
  Movie movie;                // borrowed, only read
  Track onlyThisTrack;        // null: every enabled video and sound track
  TimeValue startTime;        // movie time
  TimeValue duration;
  QTAtomContainer settings;   // borrowed: the exporter's settings
  MovieProgressUPP progress;  // may be null
  SRefCon progressRefCon;
  const PL_ExportDataSource *sources;  // borrowed: an export from procedures reads these instead of a movie
  size_t sourceCount;
};

// 'MooV': copies the samples of the stretch into a new movie file of our own writer, keeping codecs,
// descriptions and edits. Settings asking to recompress video or sound ('envi' or 'enso' on with a codec
// other than the source's) give noCodecErr.
OSErr PL_ExportQuickTimeMovie(const PL_ExportRequest &request);
// 'dvc!': DV frames of the settings' standard (PAL 720x576 at 25 fps, NTSC 720x480 at 29.97 fps) and type
// ('dv  ', 'dvp ', 'dvp5'), 16:9 and progressive flags, with 16-bit stereo sound at the settings' rate locked
// into the frames (silence without a sound track). noVideoTrackInMovieErr without video.
OSErr PL_ExportDVStream(const PL_ExportRequest &request);
// 'mpg4': an MPEG-4 file with the settings' video codec ('avc1', 'mp4v'), size (0: the source's), frame rate
// (0: the source's), key frame rate and data rate (bytes per second, 0: the encoder's choice), and AAC
// sound at the settings' rate and channels; 'envi' and 'enso' off leave video or sound out.
// For both: pictures are decoded into the working format '2vuy' (a codec without decoder gives noCodecErr),
// sound read as uncompressed PCM ('twos', 'sowt', 'raw ', 'in24', 'in32', 'fl32', 'fl64', 'lpcm'; others give
// noCodecErr).
OSErr PL_ExportMPEG4(const PL_ExportRequest &request);
// 'AIFF': the sound of onlyThisTrack or the first enabled sound track over the stretch, as an AIFF-C file of
// uncompressed big-endian samples at the source's rate and channels: uncompressed sound ('twos', 'sowt',
// 'raw ', 'NONE', 8 to 32 bits) as it is, DV sound ('vdva') extracted from its frames as 16 bits. No sound
// track gives noSoundTrackInMovieErr, other sound formats noCodecErr. Settings are not read.
OSErr PL_ExportAIFF(const PL_ExportRequest &request);
// 'AIFF' from procedures: the first 'soun' source (none: noSoundTrackInMovieErr). Its property procedure is
// asked for 'ssct' ('twos', 'raw ' or 'NONE'), 'sscc', 'ssss' (8 or 16) and 'ssrt'; a property it does not
// answer stays the source's. Its data procedure is asked for the samples from time 0 on until it answers
// eofErr; every answer must carry a sound description of 'twos', 'sowt', 'raw ' or 'NONE' samples of 8 or
// 16 bits and at least the bytes of its sample count (otherwise paramErr), and an answer of no samples is
// paramErr. Sample sizes and signs are converted; another channel count or rate than the source's gives
// paramErr (this exporter does not convert rates). Any other error of a procedure stops the export with it.
OSErr PL_ExportAIFFFromProcedures(const PL_ExportRequest &request);
// Whether an H.264 encoder is there (it decides the MPEG-4 exporter's default video codec).
bool PL_ExportH264Available();

// ---- Shared pieces ----

// A value of the settings: the first child of `type` under the first child of `parentType` at the root
// (or at the root itself for parentType 0). False when it is absent or its data is shorter.
bool PL_ExportSetting8(QTAtomContainer settings, OSType parentType, OSType type, UInt8 *value);
bool PL_ExportSetting16(QTAtomContainer settings, OSType parentType, OSType type, UInt16 *value);
bool PL_ExportSetting32(QTAtomContainer settings, OSType parentType, OSType type, UInt32 *value);

// Reports an export's progress to the request's procedure: Open once, Update with the fraction done
// (only when it changed by at least 1/1000), Close once. A non-zero answer is kept and returned by every
// later call, so the export can stop at its next step.
struct PL_ExportProgress {
  const PL_ExportRequest *request;
  OSErr stop = 0;
  Fixed last = -1;
  bool opened = false;
  explicit PL_ExportProgress(const PL_ExportRequest &r) : request(&r) {}
  OSErr Open();
  OSErr Update(double fraction);
  void Close();
};
