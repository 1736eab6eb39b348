// Movie fixtures written by our own writer, and the ffmpeg/ffprobe helpers.
#include "support/movie_fixtures.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_toolbox.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace bz_test {

std::vector<uint8_t> FixtureFramePattern(int frame, int width, int height) {
  std::vector<uint8_t> bytes(size_t(width) * size_t(height) * 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; x += 2) {
      uint8_t *p = bytes.data() + (size_t(y) * size_t(width) + size_t(x)) * 2;
      p[0] = uint8_t(16 + (x * 3 + frame * 37) % 224);          // Cb
      p[1] = uint8_t(16 + (x * 5 + y * 7 + frame * 29) % 220);  // Y0
      p[2] = uint8_t(16 + (y * 5 + frame * 53) % 224);          // Cr
      p[3] = uint8_t(16 + (x * 5 + y * 3 + frame * 41) % 220);  // Y1
    }
  }
  return bytes;
}

ImageDescriptionHandle NewFixtureImageDescription(int width, int height) {
  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  if (desc == nullptr) return nullptr;
  ImageDescription &d = **desc;
  d.idSize = sizeof(ImageDescription);
  d.cType = '2vuy';
  d.dataRefIndex = 1;
  d.version = 1;
  d.revisionLevel = 1;
  d.vendor = 'appl';
  d.spatialQuality = 1023;
  d.width = SInt16(width);
  d.height = SInt16(height);
  d.hRes = d.vRes = 72 << 16;
  d.dataSize = width * height * 2;
  d.frameCount = 1;
  const char name[] = "8-bit 4:2:2 Component Y'CbCr";
  d.name[0] = sizeof(name) - 1;
  std::memcpy(d.name + 1, name, sizeof(name) - 1);
  d.depth = 24;
  d.clutID = -1;
  return desc;
}

SoundDescriptionHandle NewFixtureSoundDescription(int channels, int rate) {
  auto desc = reinterpret_cast<SoundDescriptionHandle>(NewHandleClear(sizeof(SoundDescription)));
  if (desc == nullptr) return nullptr;
  SoundDescription &d = **desc;
  d.descSize = sizeof(SoundDescription);
  d.dataFormat = 'twos';
  d.dataRefIndex = 1;
  d.numChannels = SInt16(channels);
  d.sampleSize = 16;
  d.sampleRate = UInt32(rate) << 16;
  return desc;
}

OSStatus WriteFixtureMovie(const std::string &path, const FixtureMovieSpec &spec, FixtureMovieInfo *info) {
  *info = FixtureMovieInfo{};
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &dataRefType);
  if (err != noErr) return err;
  Movie movie = nullptr;
  err = CreateMovieStorage(dataRef, dataRefType, 'TVOD', -1, SInt32(createMovieFileDeleteCurFile), nullptr, &movie);
  if (err != noErr) {
    DisposeHandle(dataRef);
    return err;
  }
  SetMovieTimeScale(movie, spec.movieTimeScale);
  Track video = NewMovieTrack(movie, spec.width << 16, spec.height << 16, 0);
  Media videoMedia = NewTrackMedia(video, VideoMediaType, spec.videoTimeScale, nullptr, 0);
  Media soundMedia = nullptr;
  if (spec.withSound) {
    Track sound = NewMovieTrack(movie, 0, 0, 0x100);
    soundMedia = NewTrackMedia(sound, SoundMediaType, spec.soundRate, nullptr, 0);
  }
  ImageDescriptionHandle imageDesc = NewFixtureImageDescription(spec.width, spec.height);
  SoundDescriptionHandle soundDesc = NewFixtureSoundDescription(spec.channels, spec.soundRate);
  err = GetMoviesError();

  int fd = err == noErr ? open(path.c_str(), O_WRONLY | O_CLOEXEC) : -1;
  if (err == noErr && fd < 0) err = ioErr;
  SInt64 at = 0;
  auto append = [&](const void *bytes, size_t n) {
    if (err == noErr) err = PL_WriteFully(fd, UInt64(at), bytes, n);
    at += SInt64(n);
  };
  if (err == noErr) {
    UInt8 header[16];
    PL_PutBE32(header, 8);
    PL_PutBE32(header + 4, 'wide');
    PL_PutBE32(header + 8, 8);
    PL_PutBE32(header + 12, 'mdat');
    append(header, 16);
  }
  // Sound samples per frame: the frame's share of the sound, spread so that the totals stay exact.
  auto soundSamplesBefore = [&spec](int frame) {
    return SInt64(frame) * spec.frameDuration * spec.soundRate / spec.videoTimeScale;
  };
  auto writeSoundChunk = [&](int first, int last) {
    SInt64 begin = soundSamplesBefore(first), end = soundSamplesBefore(last);
    if (end <= begin) return;
    std::vector<uint8_t> chunk;
    for (SInt64 s = begin; s < end; ++s) {
      for (int c = 0; c < spec.channels; ++c) {
        auto v = UInt16(SInt16((s * 97 + c * 5000) % 30000 - 15000));
        chunk.push_back(uint8_t(v >> 8));
        chunk.push_back(uint8_t(v));
      }
    }
    info->soundChunkOffsets.push_back(at);
    info->soundChunkSamples.push_back(UInt32(end - begin));
    info->sound.insert(info->sound.end(), chunk.begin(), chunk.end());
    append(chunk.data(), chunk.size());
  };
  for (int f = 0; f < spec.frames && err == noErr; ++f) {
    info->frames.push_back(FixtureFramePattern(f, spec.width, spec.height));
    info->frameOffsets.push_back(at);
    append(info->frames.back().data(), info->frames.back().size());
    if (spec.withSound && spec.interleave) writeSoundChunk(f, f + 1);
  }
  if (spec.withSound && !spec.interleave) writeSoundChunk(0, spec.frames);
  info->mediaDataEnd = at;

  // Sample references, as the write stage groups them: contiguous frames share a record.
  std::vector<SampleReference64Record> refs;
  for (int f = 0; f < spec.frames; ++f) {
    SampleReference64Record r{info->frameOffsets[size_t(f)], UInt32(info->frames[size_t(f)].size()),
                              spec.frameDuration, 1, 0};
    if (!refs.empty() && refs.back().dataOffset + refs.back().dataSize == r.dataOffset) {
      refs.back().dataSize += r.dataSize;
      refs.back().numberOfSamples += 1;
    } else {
      refs.push_back(r);
    }
  }
  if (err == noErr && !refs.empty())
    err = AddMediaSampleReferences64(videoMedia, reinterpret_cast<SampleDescriptionHandle>(imageDesc),
                                     SInt32(refs.size()), refs.data(), nullptr);
  if (err == noErr && soundMedia) {
    std::vector<SampleReference64Record> soundRefs;
    for (size_t i = 0; i < info->soundChunkOffsets.size(); ++i) {
      UInt32 n = info->soundChunkSamples[i];
      soundRefs.push_back(SampleReference64Record{info->soundChunkOffsets[i], n * UInt32(spec.channels) * 2, 1, n, 0});
    }
    err = AddMediaSampleReferences64(soundMedia, reinterpret_cast<SampleDescriptionHandle>(soundDesc),
                                     SInt32(soundRefs.size()), soundRefs.data(), nullptr);
  }
  if (err == noErr) err = InsertMediaIntoTrack(video, 0, 0, GetMediaDuration(videoMedia), fixed1);
  if (err == noErr && soundMedia)
    err = InsertMediaIntoTrack(GetMediaTrack(soundMedia), 0, 0, GetMediaDuration(soundMedia), fixed1);
  // The size patch (32-bit form; fixtures stay small) and the movie atom behind the data.
  if (err == noErr) {
    UInt8 size[4];
    PL_PutBE32(size, UInt32(at - 8));
    err = PL_WriteFully(fd, 8, size, 4);
  }
  Handle atom = err == noErr ? NewHandle(0) : nullptr;
  if (err == noErr) err = PutMovieForDataRefIntoHandle(movie, dataRef, dataRefType, atom);
  if (err == noErr) append(*atom, size_t(GetHandleSize(atom)));
  if (atom) DisposeHandle(atom);
  if (fd >= 0) close(fd);
  DisposeHandle(reinterpret_cast<Handle>(imageDesc));
  DisposeHandle(reinterpret_cast<Handle>(soundDesc));
  DisposeMovie(movie);
  DisposeHandle(dataRef);
  return err;
}

OSStatus WriteCompressedMovie(const std::string &path, ImageDescriptionHandle desc,
                              const std::vector<std::vector<uint8_t>> &samples, TimeScale timeScale,
                              TimeValue frameDuration) {
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &dataRefType);
  if (err != noErr) return err;
  Movie movie = nullptr;
  err = CreateMovieStorage(dataRef, dataRefType, 'TVOD', -1, SInt32(createMovieFileDeleteCurFile), nullptr, &movie);
  if (err != noErr) {
    DisposeHandle(dataRef);
    return err;
  }
  SetMovieTimeScale(movie, timeScale);
  Track video = NewMovieTrack(movie, Fixed((*desc)->width) << 16, Fixed((*desc)->height) << 16, 0);
  Media media = NewTrackMedia(video, VideoMediaType, timeScale, nullptr, 0);
  err = GetMoviesError();
  int fd = err == noErr ? open(path.c_str(), O_WRONLY | O_CLOEXEC) : -1;
  if (err == noErr && fd < 0) err = ioErr;
  SInt64 at = 0;
  auto append = [&](const void *bytes, size_t n) {
    if (err == noErr) err = PL_WriteFully(fd, UInt64(at), bytes, n);
    at += SInt64(n);
  };
  UInt8 header[16];
  PL_PutBE32(header, 8);
  PL_PutBE32(header + 4, 'wide');
  PL_PutBE32(header + 8, 8);
  PL_PutBE32(header + 12, 'mdat');
  append(header, 16);
  for (const std::vector<uint8_t> &sample : samples) {
    SampleReference64Record r{at, UInt32(sample.size()), frameDuration, 1, 0};
    append(sample.data(), sample.size());
    if (err == noErr)
      err = AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &r, nullptr);
  }
  if (err == noErr) err = InsertMediaIntoTrack(video, 0, 0, GetMediaDuration(media), fixed1);
  if (err == noErr) {
    UInt8 size[4];
    PL_PutBE32(size, UInt32(at - 8));
    err = PL_WriteFully(fd, 8, size, 4);
  }
  Handle atom = err == noErr ? NewHandle(0) : nullptr;
  if (err == noErr) err = PutMovieForDataRefIntoHandle(movie, dataRef, dataRefType, atom);
  if (err == noErr) append(*atom, size_t(GetHandleSize(atom)));
  if (atom) DisposeHandle(atom);
  if (fd >= 0) close(fd);
  DisposeMovie(movie);
  DisposeHandle(dataRef);
  return err;
}

std::vector<std::vector<uint8_t>> DecodeVideoWithFfmpeg(const std::string &path, int width, int height) {
  std::string raw;
  RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " -map 0:v:0 -f rawvideo -pix_fmt uyvy422 -", &raw);
  size_t frameSize = size_t(width) * size_t(height) * 2;
  std::vector<std::vector<uint8_t>> frames;
  if (frameSize == 0) return frames;
  for (size_t at = 0; at + frameSize <= raw.size(); at += frameSize)
    frames.emplace_back(raw.begin() + std::ptrdiff_t(at), raw.begin() + std::ptrdiff_t(at + frameSize));
  return frames;
}

double PeakSignalToNoise(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    double d = double(a[i]) - double(b[i]);
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

OSStatus OpenMovieAtPath(const std::string &path, Movie *movie) {
  Handle dataRef = nullptr;
  OSType type = 0;
  OSStatus err = PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type);
  if (err != noErr) return err;
  err = NewMovieFromDataRef(movie, 0, nullptr, dataRef, type);
  DisposeHandle(dataRef);
  return err;
}

std::vector<uint8_t> ReadWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

int RunCommand(const std::string &command, std::string *output) {
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), pipe)) > 0)
    if (output) output->append(buf, n);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RequireFfmpeg() {
  // Asked once per process; a missing tool fails every test that needs it rather than skipping it, since a
  // skipped test on a machine without the tools would look green.
  static const char *const missing = RunCommand("ffmpeg -version >/dev/null 2>&1") != 0    ? "ffmpeg"
                                     : RunCommand("ffprobe -version >/dev/null 2>&1") != 0 ? "ffprobe"
                                                                                           : nullptr;
  if (missing != nullptr)
    ADD_FAILURE() << missing << " is not on PATH: this test makes or checks movies with it (install the Debian "
                  << "package ffmpeg)";
  return missing == nullptr;
}

std::string ShellQuote(const std::string &text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::map<std::string, std::string> ProbeStream(const std::string &path, const std::string &stream) {
  std::string out;
  RunCommand("ffprobe -v error -count_frames -select_streams " + stream + " -show_streams -of default=nw=1 " +
                 ShellQuote(path),
             &out);
  std::map<std::string, std::string> entries;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) entries[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return entries;
}

}  // namespace bz_test
