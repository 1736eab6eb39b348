// Compression and export settings: the atoms of a movie exporter's settings container that the program
// reads and writes (DV standard, 16:9, progressive, locked audio, DV type, compression switches, size
// settings, video, sound and save options, image sequences), the grouped DV and size settings, exporter
// settings into standard compression records, the export sample rate, and the repair of an MPEG-4 file's
// 'mdat' size.
//
// Container layout (every atom is the first child of its type, values big-endian):
//   root: 'dvcv' (1 byte, 0 = PAL), '16x9', 'prog', 'lock' (1 byte each), 'dvcf' (OSType DV type),
//         'envi' (1 byte, or 'past' for pass-through), 'enso' (1 byte), 'ftyp' (OSType),
//         0x2220223F (1 byte: a space in image sequence names)
//   'isiz': 'iwdt', 'ihgt' (SInt32), 'scam' (OSType, 0 = 'sp2p'; at the root when there is no 'isiz'),
//           'dint', 'uenf' (1 byte), 'clap' (32 bytes), 'pasp' (8 bytes)
//   'vide': 'sptl' (codecType, codec, depth (2), spatialQuality), 'tprl' (temporalQuality, frameRate,
//           keyFrameRate), 'drat' (dataRate, frameDuration, minSpatialQuality, minTemporalQuality),
//           'tdrt' (data rate), 'cdec' (codec settings), 'tmsc' (time scale), 'wdth', 'hegt' (Fixed)
//   'soun': 'ssrt' (UnsignedFixed; at the root when there is no 'soun'), 'ssss', 'sscc' (UInt16),
//           'ssct' (OSType)
//   'save': 'fast', 'cmpm' (1 byte);  'time': 'fps ' (Fixed)
//
// Getters: a present atom gives its value and *atomFound true; an absent one *atomFound false and result
// noErr, the value cleared or left alone as each declaration says. An atom whose data is shorter than its
// value counts as absent, so a damaged container never makes a getter read past the data. Two-level
// atoms report their parent in a second flag; a missing parent means a missing child. Setters replace a
// present atom's data; where a declaration says so they insert a missing one.
//
// Containers are the caller's; nothing here keeps state. Main thread (the exporters and the movie calls
// run there); the container accessors alone may run on any thread that owns the container.
#pragma once

#include "movie/image_descriptions.h"
#include "general/error_keys.h"
#include "movie/movie_errors.h"
#include "platform/core/files.h"
#include "platform/movie/atom_container.h"
#include "platform/movie/exporters.h"
#include "platform/movie/standard_compression.h"

typedef UInt32 UnsignedFixed;

// Atom types of the settings.
enum : OSType {
  kQT_ExportSettNTSCAtom = 'dvcv',
  kQT_ExportSett16x9Atom = '16x9',
  kQT_ExportSettProgressiveAtom = 'prog',
  kQT_ExportSettLockedAudioAtom = 'lock',
  kQT_ExportSettDVTypeAtom = 'dvcf',
  kQT_ExportSettEnableVideoAtom = 'envi',
  kQT_ExportSettEnableSoundAtom = 'enso',
  kQT_ExportSettVideoPassThrough = 'past',
  kQT_ExportSettSizeAtom = 'isiz',
  kQT_ExportSettWidthAtom = 'iwdt',
  kQT_ExportSettHeightAtom = 'ihgt',
  kQT_ExportSettScalingModeAtom = 'scam',
  kQT_ExportSettDeinterlaceAtom = 'dint',
  kQT_ExportSettUseCodecEnfDimsAtom = 'uenf',
  kQT_ExportSettClapAtom = 'clap',
  kQT_ExportSettPaspAtom = 'pasp',
  kQT_ExportSettVideoAtom = 'vide',
  kQT_ExportSettSpatialAtom = 'sptl',
  kQT_ExportSettTemporalAtom = 'tprl',
  kQT_ExportSettDataRateSettAtom = 'drat',
  kQT_ExportSettDataRateAtom = 'tdrt',
  kQT_ExportSettCodecSettAtom = 'cdec',
  kQT_ExportSettTimeScaleAtom = 'tmsc',
  kQT_ExportSettClassicalWidthAtom = 'wdth',
  kQT_ExportSettClassicalHeightAtom = 'hegt',
  kQT_ExportSettSoundAtom = 'soun',
  kQT_ExportSettSampleRateAtom = 'ssrt',
  kQT_ExportSettSampleSizeAtom = 'ssss',
  kQT_ExportSettChannelCountAtom = 'sscc',
  kQT_ExportSettSoundComprAtom = 'ssct',
  kQT_ExportSettSaveAtom = 'save',
  kQT_ExportSettFastStartAtom = 'fast',
  kQT_ExportSettComprMovieHeaderAtom = 'cmpm',
  kQT_ExportSettTimeAtom = 'time',
  kQT_ExportSettFrameRateAtom = 'fps ',
  kQT_ExportSettFileTypeAtom = 'ftyp',
  kQT_ExportSettAddSpaceAtom = 0x2220223F,
  // Scaling modes: pixels to pixels (stored as 0), and the others the exporters know.
  kQT_ScalingModePixelsToPixels = 'sp2p',
  kQT_ScalingModeLetterbox = 'letb',
  kQT_ScalingModeFit = 'fit ',
};

// The DV exporter's settings.
struct QT_DV_ExportSettings {
  OSType dvType;       // 'dv  ', 'dvp ', 'dvp5'
  Boolean exportPAL;
  Boolean is16x9;
  OSType scalingMode;
  Boolean progressive;
  Boolean lockedAudio;
};

// An exporter's size settings.
struct QT_ExportSizeSettings {
  SInt32 width;
  SInt32 height;
  QT_PaspExt pasp;
  QT_ClapExt clap;
  OSType scalingMode;
  Boolean useCodecEnfDims;
  Boolean deiSrc;
};

// ---- DV atoms at the root ----
// PAL is stored inverted (0 = PAL). Absent: *exportPAL false. The setter inserts a missing atom (ID 1).
OSStatus QT_GetExportToPAL_FromExportSettContainer(QTAtomContainer exportSett, Boolean *exportPAL, Boolean *atomFound);
OSStatus QT_SetExportToPAL_InExportSettContainer(QTAtomContainer exportSett, Boolean exportPAL, Boolean *atomFound);
// 16:9, progressive and locked audio: absent gives false; setters insert a missing atom (ID 1).
OSStatus QT_Get16x9_FromExportSettContainer(QTAtomContainer exportSett, Boolean *is16x9, Boolean *atomFound);
OSStatus QT_Set16x9_InExportSettContainer(QTAtomContainer exportSett, Boolean is16x9, Boolean *atomFound);
OSStatus QT_GetProgressiveFromExportSettContainer(QTAtomContainer exportSett, Boolean *progressive, Boolean *atomFound);
OSStatus QT_SetProgressiveInExportSettContainer(QTAtomContainer exportSett, Boolean progressive, Boolean *atomFound);
OSStatus QT_GetLockedAudioFromExportSettContainer(QTAtomContainer exportSett, Boolean *lockedAudio, Boolean *atomFound);
OSStatus QT_SetLockedAudioInExportSettContainer(QTAtomContainer exportSett, Boolean lockedAudio, Boolean *atomFound);
// DV type: a null container gives kGL_NilPointerErr; absent (or shorter than 4 bytes) gives 0. The setter
// never inserts.
OSStatus QT_GetDVTypeFromExportSettContainer(QTAtomContainer exportSett, OSType *dvType, Boolean *atomFound);
OSStatus QT_SetDVTypeInExportSettContainer(QTAtomContainer exportSett, OSType dvType, Boolean *atomFound);

// ---- Compression switches ----
// Set or insert (a new identifier, 1 byte).
OSStatus QT_EnableVideoCompression(QTAtomContainer exportSett, Boolean enable);
// Disabling removes 'envi'; enabling inserts it holding 1 when absent and leaves a present one alone.
OSStatus QT_EnableVideoCompression2(QTAtomContainer exportSett, Boolean enable);
// Absent gives false. A pass-through 'envi' reads as enabled.
OSStatus QT_IsVideoCompressionEnabled(QTAtomContainer exportSett, Boolean *enabled, Boolean *atomFound);
// Writes 'past' into 'envi', inserting it when absent.
OSStatus QT_SetVideoPassThroughInExportSettContainer(QTAtomContainer exportSett, Boolean *atomFound);
OSStatus QT_EnableSoundCompression(QTAtomContainer exportSett, Boolean enable);
OSStatus QT_IsSoundCompressionEnabled(QTAtomContainer exportSett, Boolean *enabled, Boolean *atomFound);

// ---- Size settings ('isiz') ----
// Width and height: absent gives 0.
OSStatus QT_GetModernWidthFromExportSettContainer(QTAtomContainer exportSett, SInt32 *width,
                                                  Boolean *videoSettSizeAtomFound, Boolean *atomFound);
OSStatus QT_GetModernHeightFromExportSettContainer(QTAtomContainer exportSett, SInt32 *height,
                                                   Boolean *videoSettSizeAtomFound, Boolean *atomFound);
// Scaling mode under 'isiz', or at the root without 'isiz'. Absent leaves *scalingMode alone. The setter
// stores 'sp2p' as 0 and replaces only a present atom.
OSStatus QT_GetScalingModeFromExportSettContainer(QTAtomContainer exportSett, OSType *scalingMode,
                                                  Boolean *videoSettSizeAtomFound, Boolean *atomFound);
OSStatus QT_SetScalingModeInExportSettContainer(QTAtomContainer exportSett, OSType scalingMode,
                                                Boolean *videoSettSizeAtomFound, Boolean *atomFound);
// A stored non-zero mode becomes 'sp2p' (*atomFound true); a stored 0 stays.
OSStatus QT_SetDefaultScalingModeInExportSettContainer(QTAtomContainer exportSett, Boolean *atomFound);
// Deinterlace and use-codec-dimensions: absent leaves the value alone; setters replace a present atom only.
OSStatus QT_GetDeinterlaceFromExportSettContainer(QTAtomContainer exportSett, Boolean *deinterlace,
                                                  Boolean *videoSettSizeAtomFound, Boolean *atomFound);
OSStatus QT_SetDeinterlaceInExportSettContainer(QTAtomContainer exportSett, Boolean deinterlace,
                                                Boolean *videoSettSizeAtomFound, Boolean *atomFound);
OSStatus QT_GetUseCodecEnfDimsFromExportSettContainer(QTAtomContainer exportSett, Boolean *useCodecEnfDims,
                                                      Boolean *videoSettSizeAtomFound, Boolean *atomFound);
OSStatus QT_SetUseCodecEnfDimsInExportSettContainer(QTAtomContainer exportSett, Boolean useCodecEnfDims,
                                                    Boolean *videoSettSizeAtomFound, Boolean *atomFound);
// Clean aperture and pixel aspect in native order: absent clears the record; setters replace a present
// atom only.
OSStatus QT_GetClapFromExportSettContainer(QTAtomContainer exportSett, QT_ClapExt *clap,
                                           Boolean *videoSettSizeAtomFound, Boolean *atomFound);
OSStatus QT_SetClapInExportSettContainer(QTAtomContainer exportSett, const QT_ClapExt *clap,
                                         Boolean *videoSettSizeAtomFound, Boolean *atomFound);
OSStatus QT_GetPaspFromExportSettContainer(QTAtomContainer exportSett, QT_PaspExt *pasp,
                                           Boolean *videoSettSizeAtomFound, Boolean *atomFound);
OSStatus QT_SetPaspInExportSettContainer(QTAtomContainer exportSett, const QT_PaspExt *pasp,
                                         Boolean *videoSettSizeAtomFound, Boolean *atomFound);

// ---- Video settings ('vide') ----
// Spatial, temporal and data-rate records: absent leaves the record alone; the spatial setter replaces a
// present atom only. A stored codec is a 32-bit number: the selector values (any, best speed, best
// fidelity, best compression) survive, other components read back as any codec.
OSStatus QT_GetSpatialSettingsFromExportSettContainer(QTAtomContainer exportSett, SCSpatialSettings *spatialSett,
                                                      Boolean *videoSettingsAtomFound, Boolean *atomFound);
OSStatus QT_SetSpatialSettingsInExportSettContainer(QTAtomContainer exportSett, const SCSpatialSettings *spatialSett,
                                                    Boolean *videoSettingsAtomFound, Boolean *atomFound);
OSStatus QT_GetTemporalSettingsFromExportSettContainer(QTAtomContainer exportSett, SCTemporalSettings *temporalSett,
                                                       Boolean *videoSettingsAtomFound, Boolean *atomFound);
OSStatus QT_GetDataRateSettingsFromExportSettContainer(QTAtomContainer exportSett, SCDataRateSettings *dataRateSett,
                                                       Boolean *videoSettingsAtomFound, Boolean *atomFound);
// The frame rate in 'tprl' (its second word); absent leaves it alone. The setter writes into a present
// atom only.
OSStatus QT_GetFrameRateInExportSettContainer(QTAtomContainer exportSett, Fixed *frameRate,
                                              Boolean *videoSettingsAtomFound, Boolean *atomFound);
OSStatus QT_SetFrameRateInExportSettContainer(QTAtomContainer exportSett, Fixed frameRate,
                                              Boolean *videoSettingsAtomFound, Boolean *atomFound);
// 'tdrt': absent leaves the rate alone; without 'vide' the flag is left alone too.
OSStatus QT_GetDataRateFromExportSettContainer(QTAtomContainer exportSett, SInt32 *dataRate,
                                               Boolean *dataRateAtomFound);
// The codec type ('sptl', when 'vide' and it exist; else left alone) and a copy of 'cdec' (owned:
// DisposeHandle; null when absent).
OSStatus QT_GetCodecSettingsFromQTMovieExportSettContainer(QTAtomContainer exportSett, CodecType *codecType,
                                                           Handle *codecSett);
// Writes into a present 'tmsc' only.
OSStatus QT_SetTimeScaleInExportSettContainer(QTAtomContainer exportSett, TimeScale timeScale,
                                              Boolean *videoSettingsAtomFound, Boolean *atomFound);
// Classical size (Fixed in the container, whole pixels here): absent gives 0; setters write a present
// atom only.
OSStatus QT_GetClassicalWidthFromExportSettContainer(QTAtomContainer exportSett, SInt32 *width,
                                                     Boolean *videoSettingsAtomFound, Boolean *atomFound);
OSStatus QT_SetClassicalWidthInxportSettContainer(QTAtomContainer exportSett, SInt32 width,
                                                  Boolean *videoSettingsAtomFound, Boolean *atomFound);
OSStatus QT_GetClassicalHeightFromExportSettContainer(QTAtomContainer exportSett, SInt32 *height,
                                                      Boolean *videoSettingsAtomFound, Boolean *atomFound);
OSStatus QT_SetClassicalHeightInxportSettContainer(QTAtomContainer exportSett, SInt32 height,
                                                   Boolean *videoSettingsAtomFound, Boolean *atomFound);
// The modern value, or the classical one when the modern atom is missing (flags of the lookup that
// answered).
OSStatus QT_GetWidthFromExportSettContainer(QTAtomContainer exportSett, SInt32 *width, Boolean *sizeAtomFound,
                                            Boolean *atomFound);
OSStatus QT_GetHeightFromExportSettContainer(QTAtomContainer exportSett, SInt32 *height, Boolean *sizeAtomFound,
                                             Boolean *atomFound);
// Write the modern atom when present, then the classical one when present; the flags are the classical
// lookup's.
OSStatus QT_SetWidthInExportSettContainer(QTAtomContainer exportSett, SInt32 width, Boolean *videoSettingsAtomFound,
                                          Boolean *atomFound);
OSStatus QT_SetHeightInExportSettContainer(QTAtomContainer exportSett, SInt32 height, Boolean *videoSettingsAtomFound,
                                           Boolean *atomFound);

// ---- Sound settings ('soun') ----
// Sample rate under 'soun', or at the root without 'soun': absent gives 0. The setter writes into a
// present atom only.
OSStatus QT_GetSampleRateFromExportSettContainer(QTAtomContainer exportSett, UnsignedFixed *sampleRate,
                                                 Boolean *soundSettingsAtomFound, Boolean *atomFound);
OSStatus QT_SetSampleRateInExportSettContainer(QTAtomContainer exportSett, UnsignedFixed sampleRate,
                                               Boolean *soundSettingsAtomFound, Boolean *atomFound);
// Absent under a present 'soun' gives 0; without 'soun' the value is left alone.
OSStatus QT_GetSampleSizeFromExportSettContainer(QTAtomContainer exportSett, UInt16 *sampleSize,
                                                 Boolean *soundSettingsAtomFound, Boolean *atomFound);
OSStatus QT_GetChannelCountFromExportSettContainer(QTAtomContainer exportSett, UInt16 *channelCount,
                                                   Boolean *soundSettingsAtomFound, Boolean *atomFound);
OSStatus QT_GetSoundComprFromExportSettContainer(QTAtomContainer exportSett, OSType *soundCompr,
                                                 Boolean *soundSettingsAtomFound, Boolean *atomFound);

// ---- Save options ('save') ----
// Absent gives false.
OSStatus QT_GetFastStartFromExportSettContainer(QTAtomContainer exportSett, Boolean *fastStart,
                                                Boolean *saveOptionsAtomFound, Boolean *atomFound);
OSStatus QT_GetComprMovieHeaderFromExportSettContainer(QTAtomContainer exportSett, Boolean *comprMovieHeader,
                                                       Boolean *saveOptionsAtomFound, Boolean *atomFound);

// ---- Image sequences ----
// The values present ('ftyp', 'time'/'fps ', 0x2220223F); absent ones are left alone. The result is
// the last read's.
OSStatus QT_GetImageSequenceExportSett(QTAtomContainer settings, OSType *fileType, Fixed *frameRate, Boolean *addSpace);

// ---- Grouped settings ----
// PAL, 16:9, progressive, DV type and locked audio (each must be present, else cannotFindAtomErr), then
// the scaling mode.
OSStatus QT_GetDV_SettingsFromExportSettContainer(QTAtomContainer exportSett, QT_DV_ExportSettings *dvSett);
// Writes them in the same order; the first missing atom of those five ends it with cannotFindAtomErr
// (the inserting setters have inserted theirs by then).
OSStatus QT_SetDV_SettingsInExportSettContainer(QTAtomContainer exportSett, const QT_DV_ExportSettings *dvSett);
// The DV compressor properties of class 'dvco' of a compressor instance: 'prog' (progressive), then '16x9',
// one byte each; the first error ends it.
OSStatus QT_GetDV_SettingsAsProps(ComponentInstance ci, QT_DV_ExportSettings *dvSett);
OSStatus QT_SetDV_SettingsAsProps(ComponentInstance ci, const QT_DV_ExportSettings *dvSett);
// *isDV_Exporter: whether the PAL atom exists. Absent values: width and height 0, scaling mode 'sp2p'
// (also for a stored 0), the flags false, clap and pasp cleared. The first error ends it.
OSStatus DE_GetExportSizeSettingsFromExportSettContainer(QTAtomContainer exportSett, QT_ExportSizeSettings *sizeSett,
                                                         Boolean *isDV_Exporter);
// Writes width, height, scaling mode, deinterlace, pasp, clap and use-codec-dimensions in this order;
// the first error ends it. *videoSettSizeAtomFound: whether 'isiz' exists.
OSStatus DE_SetExportSizeSettingsInExportSettContainer(QTAtomContainer exportSett, Boolean *videoSettSizeAtomFound,
                                                       const QT_ExportSizeSettings *sizeSett);

// ---- Exporters ----
// A new container (owned: QTDisposeAtomContainer) with the default settings of the first exporter named
// compName (missing ones excluded; for "AIFF" only one of manufacturer 'soun'). No such exporter: a null
// container and noErr.
OSStatus QT_GetExportComponentDefaultSettByName(const char *compName, QTAtomContainer *settings);
// A new container (owned: QTDisposeAtomContainer) with the default settings of the first exporter of that
// subtype and manufacturer (0: any); noCodecErr when there is none.
OSStatus QT_GetExportComponentDefaultSettByType(OSType subType, OSType manufacturer, QTAtomContainer *settings);
// The exporter's settings as standard compression records: each record asked for (not null) is read through
// a standard image compression component. *codecSett is a new handle (owned: DisposeHandle), null when the
// settings hold no codec settings. The first error is returned.
OSStatus QT_GetSettFromExportComponent(ComponentInstance ci, SCSpatialSettings *spatialSett,
                                       SCTemporalSettings *temporalSett, SCDataRateSettings *dataRateSett,
                                       Handle *codecSett);
// True when the name is that of the QuickTime movie exporter ('MooV') or the AVI exporter ('VfW ') of
// manufacturer 'appl', whose exports may leave the sound out.
Boolean QT_ExpCompCanOmitSound(const char *exportName);
// Switches the exporter's high-resolution audio on (property 'hrau' of class 'spit', one byte 1); the
// property call's result.
OSStatus CA_EnableHighResolutionAudio(ComponentInstance ci);
// Exports the sound of the first min(5 s, duration) of the movie with the QuickTime movie exporter, video
// compression switched off, into a new temporary file that is deleted again. kQT_NoComponentFoundErr without
// that exporter.
OSStatus QT_ExportFirstFiveSecOfSndUsingQTMovieExp(Movie movie);

// ---- Input movie ----
// The sample rate of the movie's first enabled sound track when it is 48000, 44100 or 32000 Hz, else (and
// without sound) 48000 Hz, written into a present 'ssrt'.
OSStatus QT_SetInSampleRateForExport(Movie inMovie, QTAtomContainer exportSett);
// For 576 lines a PAL atom that says NTSC is set to PAL, for 480 lines one that says PAL is set to NTSC;
// other heights and a missing atom change nothing.
OSStatus QT_CorrectPAL_SettingForDV_Stream(SInt32 height, QTAtomContainer videoExportSett);

// ---- The 'mdat' size of an MPEG-4 file ----
// Walks the file's top-level atoms to the first 'mdat' and makes its size reach to the end of the file:
// noErr when it does already (nothing is written); otherwise its size field is rewritten (32-bit below
// 0x7FFFFFFF bytes, else the 64-bit form when the atom has room for it) and the result is
// kQT_MdatHeaderErr, as it is for a file without 'mdat'. Only header bytes are ever written.
OSStatus QT_FixMpg4Mdat(const FSRef *targetFile);
