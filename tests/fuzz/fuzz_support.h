// Helpers the fuzz targets share: a scratch file per process for parsers that read files, and what a caller
// does with a movie once it is open (samples, descriptions, one decoded picture per track), so that damage
// reaches every layer behind the parser.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/decompression.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace bz_fuzz {

// A folder of this process under the temporary folder, removed with its files at exit.
inline const std::string &ScratchFolder() {
  static const std::string folder = [] {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/bz-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    static std::string removeAtExit;
    removeAtExit = pattern;
    std::atexit([] { std::system(("rm -rf '" + removeAtExit + "'").c_str()); });
    return pattern;
  }();
  return folder;
}

inline std::string ScratchFile(const char *name) { return ScratchFolder() + "/" + name; }

inline void WriteFile(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

// Decodes one sample of a description into a '2vuy' world of another size (so the scaler runs) and into an
// ARGB world of the described size (capped), the two roads a picture takes here.
inline void DecodeIntoWorlds(const void *data, size_t size, ImageDescriptionHandle desc) {
  if (desc == nullptr || GetHandleSize(reinterpret_cast<Handle>(desc)) < Size(sizeof(ImageDescription))) return;
  const SInt16 w = std::min<SInt16>(std::max<SInt16>((*desc)->width, 1), 256);
  const SInt16 h = std::min<SInt16>(std::max<SInt16>((*desc)->height, 1), 256);
  const struct {
    OSType format;
    Rect bounds;
  } targets[] = {{k2vuyPixelFormat, Rect{0, 0, 30, 46}}, {k32ARGBPixelFormat, Rect{0, 0, h, w}}};
  for (const auto &t : targets) {
    GWorldPtr world = nullptr;
    if (QTNewGWorld(&world, t.format, &t.bounds, nullptr, nullptr, 0) != noErr) continue;
    PL_DecompressImageWithSize(data, size, desc, GetGWorldPixMap(world), nullptr, nullptr);
    DisposeGWorld(world);
  }
}

// What callers do with a movie they opened: per track (the first few), the first samples' data and
// description, one decoded picture, and a picture drawn through a media decoder, which indexes every sample.
inline void ExerciseMovie(Movie movie) {
  const SInt32 tracks = std::min<SInt32>(GetMovieTrackCount(movie), 4);
  for (SInt32 t = 1; t <= tracks; ++t) {
    Media media = GetTrackMedia(GetMovieIndTrack(movie, t));
    if (media == nullptr) continue;
    OSType type = 0;
    GetMediaHandlerDescription(media, &type, nullptr, nullptr);
    Handle sample = NewHandle(0);
    Handle desc = NewHandle(0);
    const SInt32 samples = std::min<SInt32>(GetMediaSampleCount(media), 3);
    for (SInt32 s = 1; s <= samples; ++s) {
      TimeValue time = -1, duration = 0;
      SampleNumToMediaTime(media, s, &time, &duration);
      if (time < 0) continue;
      SInt32 size = 0;
      if (GetMediaSample(media, sample, 0, &size, time, nullptr, nullptr,
                         reinterpret_cast<SampleDescriptionHandle>(desc), nullptr, 1, nullptr, nullptr) != noErr)
        continue;
      if (type == VideoMediaType && s == 1)
        DecodeIntoWorlds(*sample, size_t(GetHandleSize(sample)), reinterpret_cast<ImageDescriptionHandle>(desc));
    }
    DisposeHandle(sample);
    DisposeHandle(desc);
    if (type != VideoMediaType) continue;
    PL_MediaDecoder *decoder = nullptr;
    if (PL_NewMediaDecoder(media, &decoder) != noErr) continue;
    Rect bounds{0, 0, 24, 32};
    GWorldPtr world = nullptr;
    if (QTNewGWorld(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0) == noErr) {
      PL_MediaDecoderDraw(decoder, 0, GetGWorldPixMap(world), &bounds, nullptr);
      DisposeGWorld(world);
    }
    PL_DisposeMediaDecoder(decoder);
  }
}

}  // namespace bz_fuzz
