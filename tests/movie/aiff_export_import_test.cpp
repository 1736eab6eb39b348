// AIFF export and import: the data procedure's requests and bad descriptions, export and import round trips
// checked with ffmpeg, the resampler's values, clamping and pad byte.
#include "movie/aiff_export_import.h"

#include "movie/track_copying.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/track_editing.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
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
  if (!bz_test::RequireFfmpeg()) return;
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

// A sound track of the given interleaved values (8 or 16 bits, 'twos' or 'raw '), in a movie written by our
// toolbox.
Movie SoundMovie(const std::string &path, const std::vector<SInt32> &values, SInt16 channels, SInt16 bytes,
                 TimeScale rate = 8000, OSType format = 'twos') {
  bz_test::WriteWholeFile(path, {});
  Handle dataRef = nullptr;
  OSType type = 0;
  EXPECT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type));
  Movie movie = NewMovie(0);
  Track track = NewMovieTrack(movie, 0, 0, 0x100);
  Media media = NewTrackMedia(track, SoundMediaType, rate, dataRef, type);
  DisposeHandle(dataRef);
  SoundDescriptionHandle desc = bz_test::NewFixtureSoundDescription(channels, rate);
  (**desc).sampleSize = SInt16(bytes * 8);
  (**desc).dataFormat = format;
  std::vector<UInt8> data;
  for (SInt32 v : values) {
    if (bytes == 2) data.push_back(UInt8(UInt16(v) >> 8));
    data.push_back(format == 'raw ' ? UInt8(v ^ 0x80) : UInt8(v));
  }
  EXPECT_EQ(noErr, AddMediaSample2(media, data.data(), data.size(), 1, 0, reinterpret_cast<SampleDescriptionHandle>(desc),
                                   values.size() / size_t(channels), 0, nullptr));
  DisposeHandle(reinterpret_cast<Handle>(desc));
  return movie;
}

Movie ValuesMovie(const std::string &path, const std::vector<SInt32> &values, SInt16 bytes) {
  return SoundMovie(path, values, 1, bytes);
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
  if (bz_test::RequireFfmpeg()) {
    auto probe = bz_test::ProbeStream(dir.File("s8.aif"), "a:0");
    EXPECT_EQ("pcm_u8", probe["codec_name"]);
    EXPECT_EQ("8000", probe["sample_rate"]);
  }
  DisposeMovie(movie);
}

// ---- Components ----

TEST(AiffComponents, OpenedByWhatTheyCanDoAndExportingAMovieToAFile) {
  MovieExportComponent procedures = nullptr, files = nullptr;
  MovieImportComponent importer = nullptr;
  ASSERT_EQ(noErr, IA_OpenExportFromProceduresComponent(&procedures));
  ASSERT_EQ(noErr, IA_OpenExportToFileComponent(&files));
  ASSERT_EQ(noErr, IA_OpenImportComponent(&importer));
  for (auto [ci, type] : {std::pair<ComponentInstance, OSType>{procedures, MovieExportType}, {files, MovieExportType},
                          {importer, MovieImportType}}) {
    ComponentDescription cd{};
    ASSERT_EQ(noErr, GetComponentInfo(PL_GetComponentOfInstance(ci), &cd, nullptr, nullptr, nullptr));
    EXPECT_EQ(type, cd.componentType);
    EXPECT_EQ(OSType('AIFF'), cd.componentSubType);
    EXPECT_EQ(OSType('soun'), cd.componentManufacturer);
  }
  EXPECT_EQ(noErr, IA_ConfigureImportComponent(importer, nullptr));
  EXPECT_EQ(paramErr, IA_OpenExportToFileComponent(nullptr));
  CloseComponent(importer);
  CloseComponent(procedures);

  // The exporter opened for files writes a movie's sound that ffprobe reads as it was.
  if (bz_test::RequireFfmpeg()) {
    SourceSound s;
    std::string aiff = s.dir.File("movie.aif");
    Handle dataRef = nullptr;
    OSType type = 0;
    ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(aiff.c_str(), &dataRef, &type));
    ASSERT_EQ(noErr, MovieExportToDataRef(files, dataRef, type, s.movie, nullptr, 0, GetMovieDuration(s.movie)));
    DisposeHandle(dataRef);
    auto probe = bz_test::ProbeStream(aiff, "a:0");
    EXPECT_EQ("pcm_s16be", probe["codec_name"]);
    EXPECT_EQ("48000", probe["sample_rate"]);
    EXPECT_EQ("2", probe["channels"]);
    EXPECT_NEAR(double(s.info.sound.size() / 4) / 48000.0, std::stod(probe["duration"]), 0.001);
  }
  CloseComponent(files);
}

struct ProgressCalls {
  int open = 0, update = 0, close = 0;
  OSErr answer = noErr;
};

OSErr CountProgress(Movie, SInt16 message, SInt16 operation, Fixed, SRefCon refcon) {
  auto *calls = static_cast<ProgressCalls *>(refcon);
  EXPECT_EQ(progressOpExportMovie, operation);
  if (message == movieProgressOpen) ++calls->open;
  if (message == movieProgressUpdatePercent) ++calls->update;
  if (message == movieProgressClose) ++calls->close;
  return message == movieProgressClose ? OSErr(noErr) : calls->answer;
}

// Asks for 8-bit samples of a 16-bit source.
OSErr EightBitProperty(void *refcon, SInt32 trackID, OSType propertyType, void *propertyValue) {
  if (propertyType == scSoundCompressionType) {
    *static_cast<OSType *>(propertyValue) = 'raw ';
    return noErr;
  }
  if (propertyType == scSoundSampleSizeType) {
    *static_cast<SInt16 *>(propertyValue) = 8;
    return noErr;
  }
  return IA_GetSoundTrackProperty_1(refcon, trackID, propertyType, propertyValue);
}

// Answers with no samples: the exporter must not ask for ever.
OSErr NoSamples(void *refCon, MovieExportGetDataParams *params) {
  OSErr err = IA_GetSoundTrackData_1(refCon, params);
  params->actualSampleCount = 0;
  return err;
}

TEST(AiffExport, ProgressStopsConvertedSamplesAndEmptyAnswers) {
  SourceSound s;
  std::string aiff = s.dir.File("sound.aif");
  FSRef file = NewFile(aiff);
  ProgressCalls calls;
  s.ref.progressProc = CountProgress;
  s.ref.progressRefcon = &calls;
  ASSERT_EQ(noErr, IA_ExportSoundToAIFF(&file, &s.ref, IA_GetSoundTrackProperty_1, IA_GetSoundTrackData_1));
  EXPECT_EQ(1, calls.open);
  EXPECT_EQ(1, calls.close);
  EXPECT_GE(calls.update, 1);

  // A stop asked for by the progress procedure is returned, and no half-written file is left.
  calls = ProgressCalls{};
  calls.answer = userCanceledErr;
  EXPECT_EQ(userCanceledErr, IA_ExportSoundToAIFF(&file, &s.ref, IA_GetSoundTrackProperty_1, IA_GetSoundTrackData_1));
  struct stat st;
  EXPECT_NE(0, stat(aiff.c_str(), &st));

  // 8-bit output of a 16-bit source: the high byte, offset binary.
  s.ref.progressProc = nullptr;
  file = NewFile(aiff);
  ASSERT_EQ(noErr, IA_ExportSoundToAIFF(&file, &s.ref, EightBitProperty, IA_GetSoundTrackData_1));
  std::vector<uint8_t> bytes = bz_test::ReadWholeFile(aiff);
  const size_t samples = s.info.sound.size() / 2;
  ASSERT_EQ(size_t(kPL_AIFFHeaderSize) + samples + (samples & 1), bytes.size());
  EXPECT_EQ(OSType('raw '), PL_GetBE32(bytes.data() + 50));
  for (size_t i : {size_t(0), size_t(1), samples / 2, samples - 1})
    EXPECT_EQ(UInt8(s.info.sound[2 * i] ^ 0x80), bytes[kPL_AIFFHeaderSize + i]) << i;
  if (bz_test::RequireFfmpeg()) {
    EXPECT_EQ("pcm_u8", bz_test::ProbeStream(aiff, "a:0")["codec_name"]);
  }

  // An answer of no samples is an error, not an endless export; a rate the exporter cannot convert too.
  EXPECT_EQ(paramErr, IA_ExportSoundToAIFF(&file, &s.ref, IA_GetSoundTrackProperty_1, NoSamples));
  file = NewFile(aiff);
  s.ref.outSamplingRate = Fixed(44100u << 16);
  EXPECT_EQ(paramErr, IA_ExportSoundToAIFF(&file, &s.ref, IA_GetSoundTrackProperty_1, IA_GetSoundTrackData_1));
}

// ---- Resampling ----

// The value of a test tone (channel 0 a sine, channel 1 its negative half) at a time in source frames.
double Tone(double x, int channel, double amplitude) {
  double v = amplitude * std::sin(2 * M_PI * 440.0 * x / 8000.0);
  return channel == 0 ? v : -v / 2;
}

TEST(AiffResample, ToneThroughEveryMemberAsFfmpegDecodesIt) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  const int kFrames = 4000;  // half a second at 8000 Hz
  for (auto [channels, bytes] : {std::pair<SInt16, SInt16>{1, 2}, {2, 2}, {1, 1}, {2, 1}}) {
    SCOPED_TRACE(testing::Message() << channels << " channels of " << bytes << " bytes");
    const double amplitude = bytes == 2 ? 16000 : 100;
    std::vector<SInt32> values;
    for (int i = 0; i < kFrames; ++i)
      for (int c = 0; c < channels; ++c) values.push_back(SInt32(std::lround(Tone(i, c, amplitude))));
    // 8-bit sources come as offset binary, as AIFF and the sound files of the platform keep them.
    Movie movie = SoundMovie(dir.File("tone.mov"), values, channels, bytes, 8000, bytes == 1 ? 'raw ' : 'twos');
    Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
    std::string aiff = dir.File("tone.aif");
    FSRef file = NewFile(aiff);
    ASSERT_EQ(noErr, IA_ResampleSoundToAIFF(&file, media, channels, bytes, 0, kFrames, 8000.0 * 65536, 11025 << 16,
                                            nullptr));
    std::vector<uint8_t> header = bz_test::ReadWholeFile(aiff);
    const UInt32 frames = PL_GetBE32(header.data() + 34);
    // Output frame k lies at x = k x 8000 / 11025 source frames, written from x = 1 while x < kFrames - 2.
    int first = 0;
    while (first * 8000.0 / 11025.0 < 1) ++first;
    int last = first;
    while ((last + 1) * 8000.0 / 11025.0 < kFrames - 2) ++last;
    ASSERT_EQ(UInt32(last - first + 1), frames);

    auto probe = bz_test::ProbeStream(aiff, "a:0");
    EXPECT_EQ(bytes == 2 ? "pcm_s16be" : "pcm_u8", probe["codec_name"]);
    EXPECT_EQ("11025", probe["sample_rate"]);
    EXPECT_EQ(std::to_string(channels), probe["channels"]);
    EXPECT_NEAR(frames / 11025.0, std::stod(probe["duration"]), 0.001);
    std::string decoded;
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + bz_test::ShellQuote(aiff) + " -f " +
                                         (bytes == 2 ? "s16be" : "u8") + " -",
                                     &decoded));
    ASSERT_EQ(size_t(frames) * channels * bytes, decoded.size());
    double worst = 0;
    for (UInt32 i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c) {
        const size_t at = (size_t(i) * channels + c) * bytes;
        const double got = bytes == 2 ? SInt16(UInt16((UInt8(decoded[at]) << 8) | UInt8(decoded[at + 1])))
                                      : double(UInt8(decoded[at])) - 128;
        worst = std::max(worst, std::fabs(got - Tone((i + first) * 8000.0 / 11025.0, c, amplitude)));
      }
    // The cubic through rounded points follows a 440 Hz tone at 8 kHz to well within 1 % of its amplitude.
    EXPECT_LT(worst, 0.01 * amplitude + 1.0);
    DisposeMovie(movie);
  }
}

OSStatus RecordProgress(GL_ProgrData *progress, CFStringRef counterTitle) {
  EXPECT_TRUE(CFEqual(counterTitle, CFSTR("# minutes =")));
  ++progress->numParts;  // counts the calls
  return progress->savedCount == 0 ? noErr : OSStatus(progress->savedCount);
}

TEST(AiffResample, MembersAcrossChunkBoundariesAndTheirProgress) {
  bz_test::TempDir dir;
  std::vector<SInt32> values;
  for (int i = 0; i < 300; ++i) values.push_back(SInt32((i * 7919) % 20000) - 10000);  // stereo, jumpy
  Movie movie = SoundMovie(dir.File("s.mov"), values, 2, 2);
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  // One member run into a file, with chunks of maxNumSamples frames; gives the sample bytes.
  auto run = [&](SInt32 maxNumSamples, double ratio, GL_ProgrData *progress, OSStatus *result) {
    std::string path = dir.File("out.raw");
    FSRef file = NewFile(path);
    FSIORefNum fork = 0;
    EXPECT_EQ(noErr, FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &fork));
    Handle oldBytes = NewHandle(0), newBytes = NewHandle(Size(maxNumSamples) * 4);
    SInt32 written = -1;
    *result = IA_ResampleSoundToAIFF16Stereo(fork, media, 5, 140, oldBytes, newBytes, maxNumSamples, &written,
                                             Fixed(std::lround(8000 * ratio)) << 16, 1.0 / (140 * ratio), progress,
                                             RecordProgress);
    FSCloseFork(fork);
    DisposeHandle(oldBytes);
    DisposeHandle(newBytes);
    std::vector<uint8_t> bytes = bz_test::ReadWholeFile(path);
    if (*result == noErr) {
      EXPECT_EQ(size_t(written) * 4, bytes.size());
    }
    return bytes;
  };
  OSStatus err = noErr;
  for (double ratio : {2.0, 1.0, 0.375}) {
    SCOPED_TRACE(ratio);
    std::vector<uint8_t> whole = run(100000, ratio, nullptr, &err);
    ASSERT_EQ(noErr, err);
    EXPECT_FALSE(whole.empty());
    // Chunks of 7 and 17 frames put output frames on every side of the boundaries, and the last, short,
    // fetches below 16 frames; the result must not change.
    for (SInt32 chunk : {3, 7, 17}) EXPECT_EQ(whole, run(chunk, ratio, nullptr, &err)) << chunk;
  }

  // Each full buffer and the rest are shown; at the end the whole is done.
  GL_ProgrData progress{};
  run(16, 1.0, &progress, &err);
  ASSERT_EQ(noErr, err);
  EXPECT_EQ(SInt32(137 / 16 + 1), progress.numParts);  // x = 6 .. 142: 137 frames
  EXPECT_NEAR(137.0 / 140.0, progress.percWorkDone.load(), 1e-6);
  EXPECT_EQ(0, progress.count.load());
  // A stop asked for by the display ends the run with it.
  progress.savedCount = userCanceledErr;
  run(16, 1.0, &progress, &err);
  EXPECT_EQ(userCanceledErr, err);

  // A member of other samples than the media's, and buffers too small for a chunk, are refused.
  FSRef file = NewFile(dir.File("x.raw"));
  FSIORefNum fork = 0;
  ASSERT_EQ(noErr, FSOpenFork(&file, 0, nullptr, fsRdWrPerm, &fork));
  Handle oldBytes = NewHandle(0), newBytes = NewHandle(64);
  SInt32 written = -1;
  EXPECT_EQ(paramErr, IA_ResampleSoundToAIFF8Mono(fork, media, 0, 100, oldBytes, newBytes, 16, &written, 8000 << 16,
                                                  0.01, nullptr));
  EXPECT_EQ(paramErr, IA_ResampleSoundToAIFF16Mono(fork, media, 0, 100, oldBytes, newBytes, 16, &written, 8000 << 16,
                                                   0.01, nullptr));
  EXPECT_EQ(paramErr, IA_ResampleSoundToAIFF16Stereo(fork, media, 0, 100, oldBytes, newBytes, 17, &written,
                                                     8000 << 16, 0.01, nullptr));
  FSCloseFork(fork);
  DisposeHandle(oldBytes);
  DisposeHandle(newBytes);
  DisposeMovie(movie);
}

TEST(AiffResample, MinutesCountedAndBadArguments) {
  // 150 s of output at 8000 Hz, of 300 s: half done, two whole minutes.
  GL_ProgrData progress{};
  ASSERT_EQ(noErr, IA_WriteSoundSamples(0, 1, 2, nullptr, 0, 8000 * 150, 1.0 / (8000 * 300), 8000 << 16, &progress,
                                        RecordProgress));
  EXPECT_FLOAT_EQ(0.5f, progress.percWorkDone.load());
  EXPECT_EQ(2, progress.count.load());
  EXPECT_EQ(1, progress.numParts);

  bz_test::TempDir dir;
  Movie movie = ValuesMovie(dir.File("m.mov"), {1, 2, 3, 4, 5, 6, 7, 8}, 2);
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  FSRef file = NewFile(dir.File("m.aif"));
  struct Case {
    SInt16 channels, bytes;
    TimeValue start, duration;
    double oldRate;
  } bad[] = {{0, 2, 0, 8, 8000 * 65536.0}, {1, 0, 0, 8, 8000 * 65536.0}, {3, 2, 0, 8, 8000 * 65536.0},
             {1, 3, 0, 8, 8000 * 65536.0}, {1, 2, -1, 8, 8000 * 65536.0}, {1, 2, 0, -8, 8000 * 65536.0},
             {1, 2, 0, 8, 0.0}};
  for (const Case &c : bad)
    EXPECT_EQ(paramErr, IA_ResampleSoundToAIFF(&file, media, c.channels, c.bytes, c.start, c.duration, c.oldRate,
                                               8000 << 16, nullptr))
        << c.channels << " " << c.bytes << " " << c.start << " " << c.duration;
  // The media holds mono: asked for stereo, its chunks are refused, not misread.
  EXPECT_EQ(paramErr, IA_ResampleSoundToAIFF(&file, media, 2, 2, 0, 8, 8000 * 65536.0, 8000 << 16, nullptr));

  // Empty stretches (none, or too short for four points) give a valid file of no frames.
  for (TimeValue duration : {0, 2}) {
    ASSERT_EQ(noErr, IA_ResampleSoundToAIFF(&file, media, 1, 2, 0, duration, 8000 * 65536.0, 16000 << 16, nullptr));
    std::vector<uint8_t> bytes = bz_test::ReadWholeFile(dir.File("m.aif"));
    ASSERT_EQ(size_t(kPL_AIFFHeaderSize), bytes.size()) << duration;
    EXPECT_EQ(0u, PL_GetBE32(bytes.data() + 34));
    FSIORefNum fork = 0;
    PL_AIFFInfo info{};
    ASSERT_EQ(noErr, FSOpenFork(&file, 0, nullptr, fsRdPerm, &fork));
    EXPECT_EQ(noErr, PL_ReadAIFFHeader(fork, &info));
    FSCloseFork(fork);
    EXPECT_EQ(0u, info.numFrames);
  }
  DisposeMovie(movie);
}

}  // namespace
