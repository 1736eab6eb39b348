// Movie exporters: 'spit' components that write a movie (or a stretch of it) into a file of another
// kind, with their settings kept in atom containers.
//
//   'MooV' "QuickTime Movie"  extension 'mov '  our own writer; samples are copied as they are
//   'dvc!' "DV Stream"        extension 'dv  '  raw DV through libavformat, with the sound locked in
//   'mpg4' "MPEG-4"           extension 'mp4 '  H.264 (or MPEG-4 part 2 without an H.264 encoder) and AAC
//   'AIFF' "AIFF"             extension 'AIFF'  the sound of one track, or of a data procedure, as AIFF-C
// (movie_export_jobs.h says what each reads and writes).
//
// The movie exporters are of manufacturer 'appl' and take video and sound; the AIFF exporter is of
// manufacturer 'soun' and takes sound only (its 'src#' list names no video, so video export menus leave it
// out). All can export files and (by component flags) from procedures, but only the AIFF exporter
// implements the export from procedures: the others answer badComponentSelector. Their settings use the layout of the movie library's export settings ('vide', 'soun',
// 'isiz', 'save', the DV atoms, 'envi', 'enso'); a fresh exporter holds its defaults. No exporter has a
// settings dialog of its own: MovieExportDoUserDialog goes through the dialog procedure the user
// interface installs, and without one answers badComponentSelector (no dialog).
//
// Main thread (exports read the movie, which the main thread owns).
#pragma once

#include "platform/movie/atom_container.h"
#include "platform/movie/components.h"
#include "platform/movie/movie_progress.h"
#include "platform/movie/movie_types.h"
#include "platform/movie/sound_files.h"

#include <cstdint>

typedef ComponentInstance MovieExportComponent;

enum : OSType {
  MovieExportType = 'spit',
  kAppleManufacturer = 'appl',
  kQTFileTypeDVC = 'dvc!',
  kQTFileTypeMP4 = 'mpg4',
  kQTFileTypeAIFF = 'AIFF',
  kSoundManufacturer = 'soun',
  kQTPropertyClass_MovieExporter = 'spit',
  kQTMovieExporterPropertyID_EnableHighResolutionAudioFeatures = 'hrau',
};

// Component flags of exporters.
enum : UInt32 { canMovieExportFiles = 1u << 4, canMovieExportFromProcedures = 1u << 15 };

// Selectors an exporter implements (ComponentFunctionImplemented).
enum : SInt16 { kMovieExportSetSettingsFromAtomContainerSelect = 140, kMovieExportGetFileNameExtensionSelect = 141 };

// Entries of an exporter's 'src#' public resource (ID 1): count, reserved, then per entry the media type,
// minimum and maximum count (UInt16 each) and flags, big-endian.
enum : UInt32 { kPL_SourceIsRequiredFlag = 1u << 2 };

// A copy of the exporter's settings (owned: QTDisposeAtomContainer).
ComponentResult MovieExportGetSettingsAsAtomContainer(MovieExportComponent ci, QTAtomContainer *settings);
// Replaces the exporter's settings with a copy of `settings`; a damaged container gives
// invalidAtomContainerErr and leaves them as they were.
ComponentResult MovieExportSetSettingsFromAtomContainer(MovieExportComponent ci, QTAtomContainer settings);
// The extension code of the exporter's files ('mov ', 'dv  ', 'mp4 ').
ComponentResult MovieExportGetFileNameExtension(MovieExportComponent ci, OSType *extension);
// Lets the user change the settings (see the file comment). *canceledPtr tells whether the user cancelled.
ComponentResult MovieExportDoUserDialog(MovieExportComponent ci, Movie theMovie, Track onlyThisTrack, TimeValue startTime,
                              TimeValue duration, Boolean *canceledPtr);
// The procedure told about the progress of exports (null removes it); refcon is handed to it. The toolbox's
// default progress, (MovieProgressUPP)-1, has no window here and shows nothing.
ComponentResult MovieExportSetProgressProc(MovieExportComponent ci, MovieProgressUPP proc, SRefCon refcon);
enum : intptr_t { kPL_DefaultMovieProgressProc = -1 };
// Exports the movie's enabled video and sound tracks (or only onlyThisTrack) from startTime for duration
// (movie time) into a new file at the data reference, replacing a file that is there. A non-zero result
// of the progress procedure stops the export and is returned; the half-written file is then deleted, as
// it is on every failure. The movie and its files are only read.
ComponentResult MovieExportToDataRef(MovieExportComponent ci, Handle dataRef, OSType dataRefType, Movie theMovie,
                           Track onlyThisTrack, TimeValue startTime, TimeValue duration);

// Adds a source of media of trackType (time scale `scale`) fed by the two procedures, handed refCon, to the
// next export from procedures; *trackID (may be null) gets its number (1, 2, ...). paramErr without a data
// procedure or for a time scale below 1.
ComponentResult MovieExportAddDataSource(MovieExportComponent ci, OSType trackType, TimeScale scale, SInt32 *trackID,
                                         MovieExportGetPropertyProcPtr getPropertyProc,
                                         MovieExportGetDataProcPtr getDataProc, void *refCon);
// Exports what the data sources deliver into a new file at the data reference (replacing a file that is
// there; deleted again on failure). The sources stay added. badComponentSelector for an exporter without
// this export; the AIFF exporter's failures are in movie_export_jobs.h.
ComponentResult MovieExportFromProceduresToDataRef(MovieExportComponent ci, Handle dataRef, OSType dataRefType);

// The settings dialog the user interface offers for exporters: shows `settings` for the exporter of that
// subtype and name, changes them in place when the user accepts, and sets *canceled otherwise.
typedef OSErr (*PL_MovieExportDialogProc)(OSType subType, const char *name, Movie theMovie, QTAtomContainer settings,
                                          Boolean *canceled);
// Installs (or with null removes) that dialog; any thread, before exporters are used.
void PL_SetMovieExportDialogProc(PL_MovieExportDialogProc proc);

// Registers the exporters with the Component Manager (done once, on its first use).
void PL_RegisterMovieExporters();
