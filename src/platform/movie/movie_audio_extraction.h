// Movie audio extraction: the mix of a movie's enabled sound tracks rendered as linear PCM, from its start
// (or a time set) to its end, with the extraction's properties:
//
//   'xaud' 'asbd'  the output format (linear PCM of 8 to 32 bits or float, either byte order, interleaved or
//                  not). At the start: 32-bit native floats, non-interleaved, at the highest rate of the
//                  tracks, with the channels of the mix
//   'xaud' 'clay'  the output channel layout
//   'xaud' 'qual'  render quality (0 to 127), the resampler's care where rates differ
//   'xaud' 'mssz'  the largest sample size of the tracks, in bits (read only)
//   'xmov' 'disc'  all channels discrete: every channel of every track its own output channel instead of
//                  the tracks mixed channel by channel (a mono track into the first two). Changes the channel
//                  count of the output format
//   'xmov' 'time'  the position, a TimeRecord
//
// Tracks are read as their edits show them (empty edits as silence), at their volume, each resampled to the
// output rate when its own differs; a track shorter than the movie ends in silence. Uncompressed sound of any
// layout, DV sound ('vdva') and what libavcodec decodes (audio_codecs.h) are read; a track of another format
// makes Begin fail with noCodecErr.
//
// One thread at a time per extraction; the movie must not change meanwhile.
#pragma once

#include "platform/movie/core_audio_types.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/movie_types.h"

typedef struct PL_AudioExtractionRecord *MovieAudioExtractionRef;

enum : OSType {
  kQTPropertyClass_MovieAudioExtraction_Audio = 'xaud',
  kQTPropertyClass_MovieAudioExtraction_Movie = 'xmov',
  kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription = 'asbd',
  kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout = 'clay',
  kQTMovieAudioExtractionAudioPropertyID_RenderQuality = 'qual',
  kQTMovieAudioExtractionAudioPropertyID_MaxSampleSize = 'mssz',
  kQTMovieAudioExtractionMoviePropertyID_AllChannelsDiscrete = 'disc',
  kQTMovieAudioExtractionMoviePropertyID_CurrentTime = 'time',
};

// Flags FillBuffer answers.
enum : UInt32 { kQTMovieAudioExtractionComplete = 1u << 0 };

// Render qualities.
enum : UInt32 { kQTAudioRenderQuality_Max = 0x7F, kQTAudioRenderQuality_High = 0x60, kQTAudioRenderQuality_Medium = 0x40 };

// Begins an extraction of the whole movie (owned: MovieAudioExtractionEnd). noSoundTrackInMovieErr without
// an enabled sound track; noCodecErr for a track whose sound cannot be read here; paramErr for flags.
OSStatus MovieAudioExtractionBegin(Movie m, UInt32 flags, MovieAudioExtractionRef *outSession);
OSStatus MovieAudioExtractionEnd(MovieAudioExtractionRef session);
OSStatus MovieAudioExtractionGetPropertyInfo(MovieAudioExtractionRef session, QTPropertyClass inPropClass,
                                             QTPropertyID inPropID, OSType *outPropType, ByteCount *outPropValueSize,
                                             UInt32 *outPropertyFlags);
// kQTPropertyNotSupportedErr for another property, kQTPropertyBadValueSizeErr for a wrong size.
OSStatus MovieAudioExtractionGetProperty(MovieAudioExtractionRef session, QTPropertyClass inPropClass,
                                         QTPropertyID inPropID, ByteCount inPropValueSize, void *outPropValueAddress,
                                         ByteCount *outPropValueSizeUsed);
// Also paramErr for a format that is not linear PCM this extraction writes, or a negative time.
OSStatus MovieAudioExtractionSetProperty(MovieAudioExtractionRef session, QTPropertyClass inPropClass,
                                         QTPropertyID inPropID, ByteCount inPropValueSize, const void *inPropValueAddress);
// Renders up to *ioNumberFrames frames (no more than the buffers hold) into ioData: one buffer of every
// channel for an interleaved format, one buffer a channel otherwise; each buffer's byte size is set to what
// was written, *ioNumberFrames to the frames. *outFlags (may be NULL) gets kQTMovieAudioExtractionComplete
// once the end of the movie is reached. paramErr for buffers that do not match the format.
OSStatus MovieAudioExtractionFillBuffer(MovieAudioExtractionRef session, UInt32 *ioNumberFrames,
                                        AudioBufferList *ioData, UInt32 *outFlags);
