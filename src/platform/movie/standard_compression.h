// Standard compression: the settings records of the standard image compression component ('scdi',
// 'imag') that exporters' settings translate into.
#pragma once

#include "platform/movie/codec_info.h"

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
