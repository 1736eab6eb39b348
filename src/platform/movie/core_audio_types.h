// Core Audio's records and constants as the sound stand-ins use them: stream descriptions, channel layouts,
// buffer lists and packet descriptions, with the format identifiers and flags of the formats offered here.
// In memory every record is in native byte order; inside sound descriptions and files they are big-endian.
#pragma once

#include "platform/core/mac_types.h"

#include <cstddef>

typedef UInt32 AudioFormatID;
typedef UInt32 AudioFormatFlags;
typedef UInt32 AudioChannelLayoutTag;
typedef UInt32 AudioChannelLabel;
typedef UInt32 AudioChannelBitmap;
typedef UInt32 AudioChannelFlags;

struct AudioStreamBasicDescription {
  Float64 mSampleRate;
  AudioFormatID mFormatID;
  AudioFormatFlags mFormatFlags;
  UInt32 mBytesPerPacket;
  UInt32 mFramesPerPacket;
  UInt32 mBytesPerFrame;
  UInt32 mChannelsPerFrame;
  UInt32 mBitsPerChannel;
  UInt32 mReserved;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

struct AudioChannelDescription {
  AudioChannelLabel mChannelLabel;
  AudioChannelFlags mChannelFlags;
  Float32 mCoordinates[3];
};

// A layout is followed in memory by mNumberChannelDescriptions descriptions (the record holds the first).
struct AudioChannelLayout {
  AudioChannelLayoutTag mChannelLayoutTag;
  AudioChannelBitmap mChannelBitmap;
  UInt32 mNumberChannelDescriptions;
  AudioChannelDescription mChannelDescriptions[1];
};
// The bytes of a layout with n channel descriptions.
inline ByteCount PL_AudioChannelLayoutSize(UInt32 n) {
  return offsetof(AudioChannelLayout, mChannelDescriptions) + ByteCount(n) * sizeof(AudioChannelDescription);
}

struct AudioBuffer {
  UInt32 mNumberChannels;
  UInt32 mDataByteSize;
  void *mData;
};
// A list is followed in memory by mNumberBuffers buffers (the record holds the first).
struct AudioBufferList {
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[1];
};
inline ByteCount PL_AudioBufferListSize(UInt32 n) {
  return offsetof(AudioBufferList, mBuffers) + ByteCount(n) * sizeof(AudioBuffer);
}

struct AudioStreamPacketDescription {
  SInt64 mStartOffset;
  UInt32 mVariableFramesInPacket;
  UInt32 mDataByteSize;
};

// Frames the encoder adds before (priming) and after (remainder) the source's frames.
struct AudioConverterPrimeInfo {
  UInt32 leadingFrames;
  UInt32 trailingFrames;
};

enum : AudioFormatID {
  kAudioFormatLinearPCM = 'lpcm',
  kAudioFormatMPEG4AAC = 'aac ',
  kAudioFormatAppleLossless = 'alac',
  kAudioFormatAppleIMA4 = 'ima4',
  kAudioFormatULaw = 'ulaw',
  kAudioFormatALaw = 'alaw',
  kAudioFormatMPEGLayer3 = '.mp3',
  kAudioFormatAC3 = 'ac-3',
  kAudioFormatQDesign = 'QDMC',
  kAudioFormatQDesign2 = 'QDM2',
  kAudioFormatMACE3 = 'MAC3',
  kAudioFormatMACE6 = 'MAC6',
  kAudioFormatQUALCOMM = 'Qclp',
  kAudioFormatDVAudio = 'vdva',
};

enum : AudioFormatFlags {
  kAudioFormatFlagIsFloat = 1u << 0,
  kAudioFormatFlagIsBigEndian = 1u << 1,
  kAudioFormatFlagIsSignedInteger = 1u << 2,
  kAudioFormatFlagIsPacked = 1u << 3,
  kAudioFormatFlagIsAlignedHigh = 1u << 4,
  kAudioFormatFlagIsNonInterleaved = 1u << 5,
  kAudioFormatFlagIsNonMixable = 1u << 6,
  kLinearPCMFormatFlagIsFloat = kAudioFormatFlagIsFloat,
  kLinearPCMFormatFlagIsBigEndian = kAudioFormatFlagIsBigEndian,
  kLinearPCMFormatFlagIsSignedInteger = kAudioFormatFlagIsSignedInteger,
  kLinearPCMFormatFlagIsPacked = kAudioFormatFlagIsPacked,
  kLinearPCMFormatFlagIsNonInterleaved = kAudioFormatFlagIsNonInterleaved,
  kAudioFormatFlagsNativeEndian = 0,  // little-endian here
  kAudioFormatFlagsNativeFloatPacked = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked,
};

// Layout tags: (number << 16) | channels.
constexpr AudioChannelLayoutTag PL_LayoutTag(UInt32 number, UInt32 channels) { return (number << 16) | channels; }
enum : AudioChannelLayoutTag {
  kAudioChannelLayoutTag_UseChannelDescriptions = 0,
  kAudioChannelLayoutTag_UseChannelBitmap = 1u << 16,
  kAudioChannelLayoutTag_Mono = (100u << 16) | 1,
  kAudioChannelLayoutTag_Stereo = (101u << 16) | 2,
  kAudioChannelLayoutTag_DiscreteInOrder = 147u << 16,  // | channels
};
inline UInt32 AudioChannelLayoutTag_GetNumberOfChannels(AudioChannelLayoutTag tag) { return tag & 0xFFFF; }

enum : AudioChannelLabel {
  kAudioChannelLabel_Unknown = 0xFFFFFFFF,
  kAudioChannelLabel_Unused = 0,
  kAudioChannelLabel_Left = 1,
  kAudioChannelLabel_Right = 2,
  kAudioChannelLabel_Center = 3,
  kAudioChannelLabel_Mono = 42,
};
