// Sound descriptions made from and read as Core Audio formats: QTSoundDescriptionCreate and the description
// properties of class 'sdes' (stream description, channel layout, magic cookie).
//
// A description keeps its fixed fields in native order followed by its extensions as big-endian atoms, as
// movie_types.h says. Here a magic cookie is a run of the codec's own atoms: 'esds' for AAC, 'alac' for
// Apple Lossless; inside a description they sit in a 'wave' atom after 'frma', as QuickTime writes them. A
// channel layout is kept as a 'chan' atom.
//
// Pure functions of the caller's handles; any thread, one thread per handle.
#pragma once

#include "platform/movie/core_audio_types.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/movie_types.h"

#include <vector>

enum : OSType {
  kQTPropertyClass_SoundDescription = 'sdes',
  kQTSoundDescriptionPropertyID_AudioStreamBasicDescription = 'asbd',
  kQTSoundDescriptionPropertyID_AudioChannelLayout = 'clay',
  kQTSoundDescriptionPropertyID_MagicCookie = 'kuki',
};

typedef UInt32 QTSoundDescriptionKind;
enum : QTSoundDescriptionKind {
  kQTSoundDescriptionKind_Movie_Version0 = 'mvv0',
  kQTSoundDescriptionKind_Movie_Version1 = 'mvv1',
  kQTSoundDescriptionKind_Movie_Version2 = 'mvv2',
  kQTSoundDescriptionKind_Movie_LowestPossibleVersion = 'mvlo',
  kQTSoundDescriptionKind_Movie_AnyVersion = 'mvav',
};

// A new description of the format (owned: DisposeHandle). The lowest version that holds it: 0 for 8- and
// 16-bit integer samples and for 'ulaw' and 'alaw' with one or two channels at a whole rate up to 65535 Hz;
// 1 for compressed formats within those limits; 2 otherwise. A given version that cannot hold the format
// gives paramErr. The layout (may be null) becomes a 'chan' extension, the cookie (may be null) the codec
// atoms. paramErr for a format without channels or rate, or a linear PCM format of other sample sizes than
// 8, 16, 24, 32 (integer) or 32, 64 (float).
OSStatus QTSoundDescriptionCreate(const AudioStreamBasicDescription *inASBD, const AudioChannelLayout *inLayout,
                                  ByteCount inLayoutSize, const void *inMagicCookie, ByteCount inMagicCookieSize,
                                  QTSoundDescriptionKind inRequestedKind, SoundDescriptionHandle *outSndDesc);
// Properties of class 'sdes': 'asbd' (read only), 'clay' (a description without one answers a layout made
// from its channel count), 'kuki' (size 0 without one). kQTPropertyNotSupportedErr for others,
// kQTPropertyBadValueSizeErr for a buffer too small; paramErr for a description that does not hold together.
OSStatus QTSoundDescriptionGetPropertyInfo(SoundDescriptionHandle inDesc, QTPropertyClass inPropClass,
                                           QTPropertyID inPropID, OSType *outPropType, ByteCount *outPropValueSize,
                                           UInt32 *outPropertyFlags);
OSStatus QTSoundDescriptionGetProperty(SoundDescriptionHandle inDesc, QTPropertyClass inPropClass,
                                       QTPropertyID inPropID, ByteCount inPropValueSize, void *outPropValueAddress,
                                       ByteCount *outPropValueSizeUsed);
// Sets 'clay' or 'kuki' (the description keeps its version); 'asbd' is kQTPropertyReadOnlyErr.
OSStatus QTSoundDescriptionSetProperty(SoundDescriptionHandle inDesc, QTPropertyClass inPropClass,
                                       QTPropertyID inPropID, ByteCount inPropValueSize, const void *inPropValueAddress);

// ---- Our own helpers ----

// What a sound description says, in Core Audio's terms. asbd.mFormatID is 'lpcm' for uncompressed
// samples ('twos', 'sowt', 'raw ', 'NONE', 'in24', 'in32', 'fl32', 'fl64', 'lpcm'), 'aac ' for 'mp4a', and
// the description's format otherwise ('alac', 'ima4', 'ulaw', 'alaw', 'vdva', ...).
struct PL_SoundFormat {
  AudioStreamBasicDescription asbd;
  OSType dataFormat;
  SInt16 version;
  SInt16 sampleSize;            // bits per channel the description states
  std::vector<UInt8> layout;    // an AudioChannelLayout, native order; empty without 'chan'
  std::vector<UInt8> cookie;    // the codec's atoms; empty without
};
// paramErr for a description too short for its version or whose atoms do not fit it.
OSStatus PL_ReadSoundFormat(SoundDescriptionHandle desc, PL_SoundFormat *format);
// The first atom of `type` in a run of atoms (the bytes behind its header); false when there is none.
bool PL_FindAudioAtom(const std::vector<UInt8> &atoms, OSType type, std::vector<UInt8> *payload);
// A layout as the payload of a 'chan' atom (version, flags, then the layout, big-endian), and back (false for
// a payload too short for its descriptions).
std::vector<UInt8> PL_ChannelLayoutToChan(const AudioChannelLayout *layout, ByteCount size);
bool PL_ChannelLayoutFromChan(const UInt8 *payload, size_t size, std::vector<UInt8> *layout);
// A layout of n channels without descriptions: mono, stereo, else discrete in order.
std::vector<UInt8> PL_DefaultChannelLayout(UInt32 channels);
