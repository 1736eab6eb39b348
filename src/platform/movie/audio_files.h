// Audio files: AIFF, AIFF-C, WAVE and CAF files opened through libavformat, read only, and the file
// properties of their sound: the data format ('dfmt'), the packet count ('pcnt', frames for linear PCM),
// the largest packet ('psze'), the channel layout ('cmap') and the magic cookie ('mgic', codec atoms as in
// sound_description_properties.h). Nothing here writes audio files: every setter answers
// kAudioFilePermissionsError.
//
// One thread at a time per file.
#pragma once

#include "platform/core/files.h"
#include "platform/movie/core_audio_types.h"

typedef struct PL_AudioFileRecord *AudioFileID;
typedef UInt32 AudioFileTypeID;
typedef UInt32 AudioFilePropertyID;

enum : AudioFileTypeID {
  kAudioFileAIFFType = 'AIFF',
  kAudioFileAIFCType = 'AIFC',
  kAudioFileWAVEType = 'WAVE',
  kAudioFileCAFType = 'caff',
};

enum : SInt8 { kAudioFileReadPermission = 0x01, kAudioFileWritePermission = 0x02, kAudioFileReadWritePermission = 0x03 };

enum : AudioFilePropertyID {
  kAudioFilePropertyFileFormat = 'ffmt',
  kAudioFilePropertyDataFormat = 'dfmt',
  kAudioFilePropertyAudioDataPacketCount = 'pcnt',
  kAudioFilePropertyMaximumPacketSize = 'psze',
  kAudioFilePropertyChannelLayout = 'cmap',
  kAudioFilePropertyMagicCookieData = 'mgic',
};

enum : OSStatus {
  kAudioFileUnsupportedFileTypeError = 'typ?',
  kAudioFileUnsupportedPropertyError = 'pty?',
  kAudioFileBadPropertySizeError = '!siz',
  kAudioFilePermissionsError = 'prm?',
  kAudioFileInvalidFileError = 'dta?',
};

// Opens the file (owned: AudioFileClose); the type hint is not needed. fnfErr for a missing file,
// kAudioFileUnsupportedFileTypeError for a file of another kind or without sound, kAudioFileInvalidFileError
// for a damaged one.
OSStatus AudioFileOpen(const FSRef *inFileRef, SInt8 inPermissions, AudioFileTypeID inFileTypeHint,
                       AudioFileID *outAudioFile);
OSStatus AudioFileClose(AudioFileID inAudioFile);
// *outDataSize (may be NULL) gets the value's size, *isWritable (may be NULL) 0.
// kAudioFileUnsupportedPropertyError for a property not listed above.
OSStatus AudioFileGetPropertyInfo(AudioFileID inAudioFile, AudioFilePropertyID inPropertyID, UInt32 *outDataSize,
                                  UInt32 *isWritable);
// kAudioFileBadPropertySizeError for a buffer too small; *ioDataSize gets the size written.
OSStatus AudioFileGetProperty(AudioFileID inAudioFile, AudioFilePropertyID inPropertyID, UInt32 *ioDataSize,
                              void *outPropertyData);
OSStatus AudioFileSetProperty(AudioFileID inAudioFile, AudioFilePropertyID inPropertyID, UInt32 inDataSize,
                              const void *inPropertyData);
