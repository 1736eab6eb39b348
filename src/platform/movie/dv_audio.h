// The sound inside DV frames ('vdva': audio blocks within each DV video frame), extracted through
// libavformat's DV reader into PCM.
//
// Main thread or any thread that may read the movie.
#pragma once

#include "platform/movie/movie_types.h"

// The sound of the DV frames of the media (a DV video media, or a 'vdva' sound media whose samples are DV
// frames) from media time mediaStart over mediaDuration (-1: to the end): interleaved 16-bit big-endian
// ('twos') samples of the first pair of channels in pcm (resized), with their rate, channel count and frame
// count. kPL_NoDVAudioErr when the frames hold no sound; kPL_DVFramesErr when they are no DV frames; the
// movie's errors for frames that cannot be read.
enum : OSStatus {
  kPL_NoDVAudioErr = -2049,  // the DV frames carry no sound
  kPL_DVFramesErr = -2050,   // the samples are no DV frames
};
OSStatus PL_ExtractDVAudio(Media dvMedia, TimeValue mediaStart, TimeValue mediaDuration, Handle pcm,
                           UInt32 *sampleRate, UInt16 *channels, UInt32 *frames);
