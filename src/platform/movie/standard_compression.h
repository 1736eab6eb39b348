// Standard image compression ('scdi' / 'imag'): the component that holds a set of compression settings
// (spatial, temporal, data rate, codec settings), reads and writes them as atom containers and hands them
// out record by record. Exporters' settings translate into these records.
//
// Settings containers hold 'sptl' (codecType, codec, depth (2 bytes), spatialQuality: 14 bytes), 'tprl'
// (temporalQuality, frameRate, keyFrameRate: 12 bytes), 'drat' (dataRate, frameDuration,
// minSpatialQuality, minTemporalQuality: 16 bytes) and 'cdec' (the codec's own settings, any length), all
// big-endian, at the container's root; a movie exporter's settings, which keep them under 'vide', are read
// from there. A stored codec is a 32-bit number: the selector values (any, best speed, best fidelity, best
// compression) survive, other components read back as any codec.
//
// The component has no dialog here: SCRequestImageSettings answers badComponentSelector. One thread per
// instance. The settings calls also serve the audio component (standard_audio_compression.h).
#pragma once

#include "platform/movie/atom_container.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/components.h"

// The temporal part of standard compression settings.
struct SCTemporalSettings {
  CodecQ temporalQuality;
  Fixed frameRate;     // frames per second; 0 keeps the source's
  SInt32 keyFrameRate;  // frames between key frames; 0 for none
};

// The data-rate part of standard compression settings.
struct SCDataRateSettings {
  SInt32 dataRate;       // bytes per second; 0 for no limit
  SInt32 frameDuration;  // milliseconds
  CodecQ minSpatialQuality;
  CodecQ minTemporalQuality;
};

enum : OSType {
  StandardCompressionType = 'scdi',
  StandardCompressionSubType = 'imag',
  scSpatialSettingsType = 'sptl',      // SCSpatialSettings
  scTemporalSettingsType = 'tprl',     // SCTemporalSettings
  scDataRateSettingsType = 'drat',     // SCDataRateSettings
  scCodecSettingsType = 'cdec',        // Handle: a copy of the codec settings (owned: DisposeHandle)
};

// Copies one kind of settings out; scTypeNotFoundErr for a kind the component does not know, and for
// 'cdec' when it holds no codec settings (the handle is then null).
ComponentResult SCGetInfo(ComponentInstance ci, OSType infoType, void *info);
// Replaces one kind of settings; for 'cdec' `info` points to a Handle that is copied (null clears them).
ComponentResult SCSetInfo(ComponentInstance ci, OSType infoType, void *info);
// Replaces the settings with those of the container (kinds it does not hold keep their values). A damaged
// container (invalidAtomContainerErr) or a record shorter than its size (paramErr) changes nothing.
ComponentResult SCSetSettingsFromAtomContainer(ComponentInstance ci, QTAtomContainer settings);
// The settings as a new container (owned: QTDisposeAtomContainer).
ComponentResult SCGetSettingsAsAtomContainer(ComponentInstance ci, QTAtomContainer *settings);
ComponentResult SCRequestImageSettings(ComponentInstance ci);

// Registers the component (done once, on the Component Manager's first use).
void PL_RegisterStandardCompression();
