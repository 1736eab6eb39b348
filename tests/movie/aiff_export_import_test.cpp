// AIFF export and import: the data procedure's requests and bad descriptions, export and import round trips
// checked with ffmpeg, the resampler's values, clamping and pad byte.
#include "movie/aiff_export_import.h"

#include "movie/track_copying.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/track_editing.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

FSRef NewFile(const std::string &path) {
  bz_test::WriteWholeFile(path, {});
  FSRef ref;
  EXPECT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
  return ref;
}

struct SourceSound {
  bz_test::TempDir dir;
  std::string path = dir.File("source.mov");
  bz_test::FixtureMovieInfo info;
  Movie movie = nullptr;
  Media media = nullptr;
  SoundDescriptionHandle desc = reinterpret_cast<SoundDescriptionHandle>(NewHandle(0));
  Handle bytes = NewHandle(0);
  IA_SoundRef ref{};
  explicit SourceSound(int channels = 2) {
    bz_test::FixtureMovieSpec spec;
    spec.channels = channels;
    EXPECT_EQ(noErr, bz_test::WriteFixtureMovie(path, spec, &info));
    EXPECT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
    media = GetTrackMedia(GetMovieIndTrackType(movie, 1, SoundMediaType, movieTrackMediaType));
    GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
    ref.srcDesc = desc;
    ref.srcMedia = media;
    ref.mediaDuration = GetMediaDuration(media);
    ref.outSamplingRate = Fixed((**desc).sampleRate);
    ref.soundBytes = bytes;
    ref.chunkSize = 4096;
    ref.movie = movie;
  }
  ~SourceSound() {
    DisposeHandle(reinterpret_cast<Handle>(desc));
    DisposeHandle(bytes);
    DisposeMovie(movie);
  }
};

TEST(AiffExport, DataRequestsAndDescriptionsThatCannotBeServed) {
  SourceSound s;
  MovieExportGetDataParams params{};
  params.requestedTime = 0;
  ASSERT_EQ(noErr, IA_GetSoundTrackData_1(&s.ref, &params));
  EXPECT_EQ(1024, params.actualSampleCount);  // 4096 bytes of 16-bit stereo
  EXPECT_EQ(4096, params.dataSize);
  EXPECT_EQ(SoundMediaType, params.descType);
  params.requestedTime = s.ref.mediaDuration - 10;
  ASSERT_EQ(noErr, IA_GetSoundTrackData_1(&s.ref, &params));
  EXPECT_EQ(10, params.actualSampleCount);
  EXPECT_EQ(s.ref.mediaDuration - 10, params.actualTime);
  params.requestedTime = s.ref.mediaDuration;
  EXPECT_EQ(eofErr, IA_GetSoundTrackData_1(&s.ref, &params));
  // Descriptions of no channels or of samples below 8 bits are refused, not divided by.
  for (auto [channels, bits] : {std::pair<SInt16, SInt16>{0, 16}, {2, 4}, {2, 0}}) {
    (**s.desc).numChannels = channels;
    (**s.desc).sampleSize = bits;
    params.requestedTime = 0;
    EXPECT_EQ(paramErr, IA_GetSoundTrackData_1(&s.ref, &params)) << channels << " " << bits;
  }
  (**s.desc).numChannels = 2;
  (**s.desc).sampleSize = 16;
  OSType type = 0;
  ASSERT_EQ(noErr, IA_GetSoundTrackProperty_1(&s.ref, 1, scSoundCompressionType, &type));
  EXPECT_EQ(OSType('twos'), type);
  Fixed rate = 0;
  ASSERT_EQ(noErr, IA_GetSoundTrackProperty_1(&s.ref, 1, scSoundSampleRateType, &rate));
  EXPECT_EQ(Fixed(48000u << 16), rate);
  EXPECT_EQ(paramErr, IA_GetSoundTrackProperty_1(&s.ref, 1, 'abcd', &rate));
}

TEST(AiffExport, ExportedAndImportedSoundEqualsTheSource) {
  if (!bz_test::FfmpegAvailable()) GTEST_SKIP() << "ffmpeg is not installed";
  SourceSound s;
  std::string aiff = s.dir.File("sound.aif");
  FSRef file = NewFile(aiff);
  ASSERT_EQ(noErr, IA_ExportSoundToAIFF(&file, &s.ref, IA_GetSoundTrackProperty_1, IA_GetSoundTrackData_1));
  auto probe = bz_test::ProbeStream(aiff, "a:0");
  EXPECT_EQ("pcm_s16be", probe["codec_name"]);
  EXPECT_EQ("48000", probe["sample_rate"]);
  EXPECT_EQ("2", probe["channels"]);
  std::string decoded;
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + bz_test::ShellQuote(aiff) + " -f s16be -", &decoded));
  EXPECT_TRUE(decoded == std::string(s.info.sound.begin(), s.info.sound.end()));

  // Imported into a movie, the track refers to those samples.
  IA_SoundRef in{};
  in.movie = NewMovie(0);
  ASSERT_EQ(noErr, IA_ImportAIFF(&file, &in));
  ASSERT_NE(nullptr, in.track);
  Media media = GetTrackMedia(in.track);
  EXPECT_EQ(48000, GetMediaTimeScale(media));
  Handle data = NewHandle(0);
  SInt32 size = 0;
  ASSERT_EQ(noErr, GetMediaSample(media, data, 0, &size, 0, nullptr, nullptr, nullptr, nullptr,
                                  GetMediaDuration(media), nullptr, nullptr));
  ASSERT_EQ(s.info.sound.size(), size_t(size));
  EXPECT_EQ(0, std::memcmp(*data, s.info.sound.data(), size_t(size)));
  DisposeHandle(data);
  DisposeMovie(in.movie);

  // A file that is no AIFF.
  bz_test::WriteWholeFile(aiff, std::vector<uint8_t>(64, 7));
  IA_SoundRef bad{};
  bad.movie = NewMovie(0);
  EXPECT_EQ(kPL_AIFFFormatErr, IA_ImportAIFF(&file, &bad));
  EXPECT_EQ(0, GetMovieTrackCount(bad.movie));
  DisposeMovie(bad.movie);
}

// A mono 8- or 16-bit sound track of the given values, in a movie written by our toolbox.
Movie ValuesMovie(const std::string &path, const std::vector<SInt32> &values, SInt16 bytes) {
  bz_test::WriteWholeFile(path, {});
  Handle dataRef = nullptr;
  OSType type = 0;
  EXPECT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type));
  Movie movie = NewMovie(0);
  Track track = NewMovieTrack(movie, 0, 0, 0x100);
  Media media = NewTrackMedia(track, SoundMediaType, 8000, dataRef, type);
  DisposeHandle(dataRef);
  SoundDescriptionHandle desc = bz_test::NewFixtureSoundDescription(1, 8000);
  (**desc).sampleSize = SInt16(bytes * 8);
  std::vector<UInt8> data;
  for (SInt32 v : values) {
    if (bytes == 2) data.push_back(UInt8(UInt16(v) >> 8));
    data.push_back(UInt8(v));
  }
  EXPECT_EQ(noErr, AddMediaSample2(media, data.data(), data.size(), 1, 0, reinterpret_cast<SampleDescriptionHandle>(desc),
                                   values.size(), 0, nullptr));
  DisposeHandle(reinterpret_cast<Handle>(desc));
  return movie;
}

TEST(AiffResample, ValuesClampingAndThePadByte) {
  bz_test::TempDir dir;
  // 16-bit: doubling the rate puts every second output frame half-way between two source frames.
  std::vector<SInt32> values = {0, 1000, 2000, 3000, 4000, 0, 32767, 32767, 0, 100, 200, 300};
  Movie movie = ValuesMovie(dir.File("s16.mov"), values, 2);
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  FSRef file = NewFile(dir.File("s16.aif"));
  ASSERT_EQ(noErr, IA_ResampleSoundToAIFF(&file, media, 1, 2, 0, SInt32(values.size()), 8000.0 * 65536, 16000 << 16,
                                          nullptr));
  std::vector<uint8_t> bytes = bz_test::ReadWholeFile(dir.File("s16.aif"));
  ASSERT_GE(bytes.size(), size_t(kPL_AIFFHeaderSize));
  UInt32 frames = PL_GetBE32(bytes.data() + 34);
  // Output frames at x = k / 2 from x = 1 on while x < 10: 1, 1.5, ..., 9.5.
  ASSERT_EQ(18u, frames);
  auto at = [&bytes](size_t i) { return SInt16(UInt16((bytes[kPL_AIFFHeaderSize + 2 * i] << 8) | bytes[kPL_AIFFHeaderSize + 2 * i + 1])); };
  EXPECT_EQ(1000, at(0));   // x = 1: the source value itself
  EXPECT_EQ(1500, at(1));   // a straight line stays straight
  EXPECT_EQ(32767, at(11)); // x = 6.5 between two full-scale values overshoots and is clamped
  EXPECT_EQ(0, std::memcmp(bytes.data() + 8, "AIFC", 4));
  EXPECT_EQ(OSType('twos'), PL_GetBE32(bytes.data() + 50));
  DisposeMovie(movie);

  // 8-bit mono to an odd number of frames: the pad byte is counted in the sizes; values leave offset binary.
  std::vector<SInt32> small = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
  movie = ValuesMovie(dir.File("s8.mov"), small, 1);
  media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  file = NewFile(dir.File("s8.aif"));
  ASSERT_EQ(noErr, IA_ResampleSoundToAIFF(&file, media, 1, 1, 0, SInt32(small.size()), 8000.0 * 65536, 8000 << 16,
                                          nullptr));
  bytes = bz_test::ReadWholeFile(dir.File("s8.aif"));
  frames = PL_GetBE32(bytes.data() + 34);
  ASSERT_EQ(7u, frames);  // x = 1 .. 7
  EXPECT_EQ(OSType('raw '), PL_GetBE32(bytes.data() + 50));
  UInt32 ssndSize = PL_GetBE32(bytes.data() + 74);
  EXPECT_EQ(8u + 8u, ssndSize);  // 7 sample bytes and the pad byte
  EXPECT_EQ(bytes.size(), size_t(kPL_AIFFHeaderSize) + 8);
  EXPECT_EQ(UInt32(bytes.size() - 8), PL_GetBE32(bytes.data() + 4));
  EXPECT_EQ(UInt8(20 ^ 128), bytes[kPL_AIFFHeaderSize]);
  EXPECT_EQ(0, bytes.back());
  if (bz_test::FfmpegAvailable()) {
    auto probe = bz_test::ProbeStream(dir.File("s8.aif"), "a:0");
    EXPECT_EQ("pcm_u8", probe["codec_name"]);
    EXPECT_EQ("8000", probe["sample_rate"]);
  }
  DisposeMovie(movie);
}

}  // namespace
