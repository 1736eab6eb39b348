// Movie fixtures for tests: small QuickTime movies written by our own writer the way the engine writes
// its output (16-byte header, data appended, sample references, size patch, movie atom appended), and
// helpers for the ffmpeg/ffprobe tools that make and check files in formats we do not write.
#pragma once

#include "platform/movie/movie_types.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace bz_test {

struct FixtureMovieSpec {
  int width = 48;
  int height = 32;
  int frames = 6;
  TimeScale movieTimeScale = 600;
  TimeScale videoTimeScale = 2500;
  TimeValue frameDuration = 100;  // 25 frames per second
  bool withSound = true;
  int soundRate = 48000;
  int channels = 2;
  // Sound chunks between the frames (one per frame) rather than all after the video.
  bool interleave = true;
};

// What was written, for comparisons.
struct FixtureMovieInfo {
  std::vector<std::vector<uint8_t>> frames;  // '2vuy' bytes of each frame
  std::vector<SInt64> frameOffsets;
  std::vector<uint8_t> sound;                // 'twos' bytes (16-bit big-endian, interleaved channels)
  std::vector<SInt64> soundChunkOffsets;
  std::vector<UInt32> soundChunkSamples;
  SInt64 mediaDataEnd = 0;                   // file size before the movie atom
};

// The '2vuy' bytes of one frame of the fixture: a pattern that differs in every frame and line.
std::vector<uint8_t> FixtureFramePattern(int frame, int width, int height);

// The image description of the fixture's video ('2vuy', 86 bytes, no extensions). Owned: DisposeHandle.
ImageDescriptionHandle NewFixtureImageDescription(int width, int height);
// The sound description of the fixture ('twos', version 0). Owned: DisposeHandle.
SoundDescriptionHandle NewFixtureSoundDescription(int channels, int rate);

// Writes the fixture movie at `path` (replacing a file there). Returns the first failing call's error.
OSStatus WriteFixtureMovie(const std::string &path, const FixtureMovieSpec &spec, FixtureMovieInfo *info);

// Opens the movie at a path for reading; noErr and *movie, or the error of NewMovieFromDataRef.
OSStatus OpenMovieAtPath(const std::string &path, Movie *movie);

std::vector<uint8_t> ReadWholeFile(const std::string &path);
bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &bytes);

// True when both ffmpeg and ffprobe can be run; otherwise the running test fails with a message naming the
// missing tool. Tests that need them start with `if (!bz_test::RequireFfmpeg()) return;`.
bool RequireFfmpeg();
// Runs a shell command; returns its exit status and, when asked, its standard output.
int RunCommand(const std::string &command, std::string *output = nullptr);
// ffprobe's key=value entries of one stream ("v:0", "a:0"), e.g. {"codec_name", "rawvideo"}.
std::map<std::string, std::string> ProbeStream(const std::string &path, const std::string &stream);
// Writes a movie of one video track at `path` whose samples are the given compressed frames, described by
// desc (the caller's), each lasting frameDuration at timeScale. Returns the first failing call's error.
OSStatus WriteCompressedMovie(const std::string &path, ImageDescriptionHandle desc,
                              const std::vector<std::vector<uint8_t>> &samples, TimeScale timeScale = 2500,
                              TimeValue frameDuration = 100);
// The video of a file decoded by ffmpeg into '2vuy' frames (uyvy422) of its stored size; empty on failure.
std::vector<std::vector<uint8_t>> DecodeVideoWithFfmpeg(const std::string &path, int width, int height);
// Peak signal-to-noise ratio in dB of two equal-sized byte pictures (all samples alike); 99 when equal.
double PeakSignalToNoise(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b);

// Quotes a path for the shell.
std::string ShellQuote(const std::string &text);

}  // namespace bz_test
