// Standard audio compression ('scdi' / 'audi'): a component that holds sound compression settings as
// properties of class 'scda' and compresses linear PCM pulled through the caller's input procedure into
// the output format, with libswresample for the rate and libavcodec's encoders (audio_codecs.h): linear PCM
// in either byte order, AAC, Apple Lossless, IMA 4:1, mu-law and A-law. Other formats (QDesign, MACE,
// QUALCOMM ...) have no encoder here: setting one as the output format gives noCodecErr.
//
// Properties (G get, S set):
//   'isbd' S/G  input format (linear PCM)          'osbd' S/G  output format; a rate or channel count of 0
//   'icly' S/G  input channel layout                           (and, for linear PCM, bits 0) follows the input
//   'clay' S/G  output channel layout              'crl#' S/G  the layout tags the output may have
//   'crlp' S/G  SCAudioFormatFlagsRestrictions     'crf#' S/G  the formats a dialog would offer
//   'qlty' S/G  render quality (0..127)            'cdst' S/G  codec settings: a CFDataRef (get: retained)
//   'kuki' G    the output's magic cookie (codec atoms, sound_description_properties.h), size 0 without one
//   'ikki' S/G  the input's magic cookie           'fexf' G    Boolean: the output needs packet descriptions
//   'isdh' S    input format, layout and cookie from a sound description (a SoundDescriptionHandle)
//   'osdh' G    a new sound description of the output (owned by the caller: DisposeHandle)
//   'xops' G    the largest output packet, bytes   'prim' G    AudioConverterPrimeInfo: priming and remainder
//   'xprc' S    extended procedures for a settings dialog (kept; there is no dialog here)
// 'cdst' holds the bit rate (4 bytes, big-endian, bits per second; 0 the codec's default) and is readable
// only for an output that has settings (AAC).
//
// The component has no dialog: SCRequestImageSettings answers badComponentSelector. One thread per instance.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/movie/atom_container.h"
#include "platform/movie/components.h"
#include "platform/movie/core_audio_types.h"

enum : OSType {
  StandardCompressionSubTypeAudio = 'audi',
  kQTPropertyClass_SCAudio = 'scda',
  kQTSCAudioPropertyID_InputBasicDescription = 'isbd',
  kQTSCAudioPropertyID_BasicDescription = 'osbd',
  kQTSCAudioPropertyID_InputChannelLayout = 'icly',
  kQTSCAudioPropertyID_ChannelLayout = 'clay',
  kQTSCAudioPropertyID_ClientRestrictedChannelLayoutTagList = 'crl#',
  kQTSCAudioPropertyID_ClientRestrictedLPCMFlags = 'crlp',
  kQTSCAudioPropertyID_ClientRestrictedCompressionFormatList = 'crf#',
  kQTSCAudioPropertyID_RenderQuality = 'qlty',
  kQTSCAudioPropertyID_CodecSpecificSettingsArray = 'cdst',
  kQTSCAudioPropertyID_MagicCookie = 'kuki',
  kQTSCAudioPropertyID_InputMagicCookie = 'ikki',
  kQTSCAudioPropertyID_RequiresPacketDescriptions = 'fexf',
  kQTSCAudioPropertyID_InputSoundDescription = 'isdh',
  kQTSCAudioPropertyID_SoundDescription = 'osdh',
  kQTSCAudioPropertyID_MaximumOutputPacketSize = 'xops',
  kQTSCAudioPropertyID_PrimeInfo = 'prim',
  kQTSCAudioPropertyID_ExtendedProcs = 'xprc',
};

struct SCAudioFormatFlagsRestrictions {
  UInt32 formatFlagsMask;
  UInt32 formatFlagsValues;
};

// Supplies input: set *ioNumberDataPackets (frames of linear PCM) and point ioData's buffers at the data
// (the component offers no buffers of its own: their mData come NULL). 0 packets end the input. A non-zero
// result stops SCAudioFillBuffer with it.
typedef OSStatus (*SCAudioInputDataProc)(ComponentInstance ci, UInt32 *ioNumberDataPackets, AudioBufferList *ioData,
                                         AudioStreamPacketDescription **outDataPacketDescription, void *inRefCon);

// Fills outOutputData with up to *ioOutputDataPacketSize packets (frames for linear PCM), no more than its
// buffers hold, pulling input as needed; *ioOutputDataPacketSize gets the packets written (0 once all input
// is compressed) and each buffer's byte size what was written. outPacketDescription (when given) receives
// one description per packet. noCodecErr for an output format without an encoder; paramErr for an input
// that is not linear PCM or buffers that do not match the output format; an input procedure's error.
ComponentResult SCAudioFillBuffer(ComponentInstance ci, SCAudioInputDataProc inInputDataProc,
                                  void *inInputDataProcRefCon, UInt32 *ioOutputDataPacketSize,
                                  AudioBufferList *outOutputData, AudioStreamPacketDescription *outPacketDescription);
// Ends the compression in progress; the next fill starts a new one.
ComponentResult SCAudioReset(ComponentInstance ci);

// For the standard compression calls (standard_compression.h), which serve both components.
Boolean PL_IsStandardAudioCompression(ComponentInstance ci);
// Settings containers of the audio component: 'osbd' (40 bytes: rate as a big-endian double, then eight
// big-endian words), 'clay' (a 'chan' payload), 'qlty' (4 bytes) and 'cdst' (4 bytes) at the root.
ComponentResult PL_SCAudioSetSettingsFromAtomContainer(ComponentInstance ci, QTAtomContainer settings);
ComponentResult PL_SCAudioGetSettingsAsAtomContainer(ComponentInstance ci, QTAtomContainer *settings);
