// Track copying and track lists: sound tracks of several formats and description versions copied into a
// cleaned movie (checked with ffprobe and by comparing ffmpeg's decoded samples with the source's), copies by
// reference, cancelled copies, edits with rates, track references and enabling.
#include "movie/track_copying.h"

#include "movie/movie_files.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/track_editing.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using bz_test::ShellQuote;

FSRef RefOf(const std::string &path) {
  FSRef ref;
  EXPECT_EQ(noErr, FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr)) << path;
  return ref;
}

// The first sound stream decoded by ffmpeg to 32-bit integers (exact for every format used here).
std::string DecodedSound(const std::string &path) {
  std::string out;
  EXPECT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + ShellQuote(path) + " -map 0:a:0 -c:a pcm_s32le -f s32le -",
                                   &out));
  return out;
}

// A sound description of the given version in memory: version 0 fields, then the version 1 or 2 ones.
Handle SoundDescription(OSType format, SInt16 version, int channels, int rate, int bits) {
  size_t size = version == 2 ? sizeof(SoundDescriptionV2) : version == 1 ? sizeof(SoundDescriptionV1)
                                                                           : sizeof(::SoundDescription);
  Handle h = NewHandleClear(Size(size));
  int bytesPerFrame = channels * bits / 8;
  if (version == 2) {
    auto &d = *reinterpret_cast<SoundDescriptionV2 *>(*h);
    d.descSize = SInt32(size);
    d.dataFormat = format;
    d.dataRefIndex = 1;
    d.version = 2;
    d.always3 = 3, d.always16 = 16, d.alwaysMinus2 = -2, d.always65536 = 65536;
    d.sizeOfStructOnly = 72;
    d.audioSampleRate = rate;
    d.numAudioChannels = UInt32(channels);
    d.always7F000000 = 0x7F000000;
    d.constBitsPerChannel = UInt32(bits);
    d.formatSpecificFlags = 4 | 8;  // signed integer, packed; little-endian (no big-endian flag)
    d.constBytesPerAudioPacket = UInt32(bytesPerFrame);
    d.constLPCMFramesPerAudioPacket = 1;
    return h;
  }
  auto &d = *reinterpret_cast<::SoundDescription *>(*h);
  d.descSize = SInt32(size);
  d.dataFormat = format;
  d.dataRefIndex = 1;
  d.version = version;
  d.numChannels = SInt16(channels);
  d.sampleSize = SInt16(bits);
  d.sampleRate = UInt32(rate) << 16;
  if (version == 1) {
    auto &v1 = *reinterpret_cast<SoundDescriptionV1 *>(*h);
    v1.desc.compressionID = -1;
    v1.samplesPerPacket = 1;
    v1.bytesPerPacket = UInt32(bits / 8);
    v1.bytesPerFrame = UInt32(bytesPerFrame);
    v1.bytesPerSample = UInt32(bits / 8);
  }
  return h;
}

// A movie of one sound track written by our own toolbox: samples added in a few runs.
void WriteSoundMovie(const std::string &path, OSType format, SInt16 version, int channels, int rate, int frames) {
  FSRef parent = RefOf(path.substr(0, path.rfind('/')));
  CFStringRef name = CFStringCreateWithCString(nullptr, path.substr(path.rfind('/') + 1).c_str(), kCFStringEncodingUTF8);
  FSRef file;
  Movie movie = nullptr;
  ASSERT_EQ(noErr, QT_CreateMovieFile(&parent, name, 'TVOD', 0, &file, &movie));
  CFRelease(name);
  Track track = nullptr;
  Media media = nullptr;
  ASSERT_EQ(noErr, QT_NewSoundTrack(movie, nullptr, rate, &track, &media));
  Handle desc = SoundDescription(format, version, channels, rate, 16);
  bool bigEndian = format == 'twos';
  std::vector<UInt8> data;
  for (int s = 0; s < frames; ++s)
    for (int c = 0; c < channels; ++c) {
      UInt16 v = UInt16(SInt16((s * 131 + c * 7000) % 60000 - 30000));
      data.push_back(UInt8(bigEndian ? v >> 8 : v));
      data.push_back(UInt8(bigEndian ? v : v >> 8));
    }
  ASSERT_EQ(noErr, BeginMediaEdits(media));
  int perRun = frames / 3 + 1;
  for (int first = 0; first < frames; first += perRun) {
    int n = std::min(perRun, frames - first);
    size_t bytes = size_t(n) * size_t(channels) * 2;
    ASSERT_EQ(noErr, AddMediaSample2(media, data.data() + size_t(first) * size_t(channels) * 2, bytes, 1, 0,
                                     reinterpret_cast<SampleDescriptionHandle>(desc), ItemCount(n), 0, nullptr));
  }
  ASSERT_EQ(noErr, EndMediaEdits(media));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1));
  Boolean saved = false;
  ASSERT_EQ(noErr, QT_SaveMovie(movie, &file, &saved));
  DisposeHandle(desc);
  DisposeMovie(movie);
}

struct SoundSource {
  const char *name;
  const char *ffmpegCodec;  // made by ffmpeg; else written by our toolbox
  OSType format;
  SInt16 version;
};

struct ProgressLog {
  int opens = 0, updates = 0, closes = 0;
  Fixed last = 0;
  int cancelAfter = -1;  // updates before answering userCanceledErr
};

OSErr LogProgress(Movie, SInt16 message, SInt16, Fixed percentDone, SRefCon refCon) {
  auto *log = static_cast<ProgressLog *>(refCon);
  if (message == movieProgressOpen) ++log->opens;
  if (message == movieProgressClose) ++log->closes;
  if (message == movieProgressUpdatePercent) {
    log->last = percentDone;
    if (log->cancelAfter >= 0 && log->updates >= log->cancelAfter) return userCanceledErr;
    ++log->updates;
  }
  return noErr;
}

class SoundCopy : public ::testing::TestWithParam<SoundSource> {};

TEST_P(SoundCopy, CopiedSoundDecodesToTheSourcesSamples) {
  if (!bz_test::FfmpegAvailable()) GTEST_SKIP() << "ffmpeg is not installed";
  const SoundSource &p = GetParam();
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov"), cleaned = dir.File("cleaned.mov");
  bz_test::FixtureMovieInfo info;
  if (std::string(p.name) == "fixture_2vuy_twos") {
    bz_test::FixtureMovieSpec spec;
    spec.frames = 10;
    ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, spec, &info));
  } else if (p.ffmpegCodec != nullptr) {
    ASSERT_EQ(0, bz_test::RunCommand(std::string("ffmpeg -v error -y -f lavfi -i sine=f=440:r=44100 -f lavfi -i "
                                                 "testsrc=s=64x48:r=25 -t 0.4 -ac 2 -c:v rawvideo -pix_fmt uyvy422 -c:a ") +
                                     p.ffmpegCodec + " " + ShellQuote(source)));
  } else {
    WriteSoundMovie(source, p.format, p.version, 2, 32000, 10000);
  }
  std::map<std::string, std::string> sourceProbe = bz_test::ProbeStream(source, "a:0");
  ASSERT_FALSE(sourceProbe.empty());

  // The cleaned movie: pictures only, as the engine leaves it before the sound copy.
  bz_test::FixtureMovieSpec videoOnly;
  videoOnly.withSound = false;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(cleaned, videoOnly, &info));

  Movie src = nullptr, target = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &src));
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(cleaned, &target));
  Track sound = GetMovieIndTrackType(src, 1, SoundMediaType, movieTrackMediaType);
  ASSERT_NE(nullptr, sound);
  FSRef targetFile = RefOf(cleaned);
  ProgressLog log;
  Track copy = nullptr;
  std::vector<uint8_t> sourceBytes = bz_test::ReadWholeFile(source);
  ASSERT_EQ(noErr, QT_CopyTrackTotallyWithProgress(sound, target, &targetFile, &copy, LogProgress, &log));
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(1, log.opens);
  EXPECT_EQ(1, log.closes);
  EXPECT_GE(log.updates, 1);
  EXPECT_EQ(fixed1, log.last);
  EXPECT_EQ(double(GetTrackDuration(sound)) / GetMovieTimeScale(src),
            double(GetTrackDuration(copy)) / GetMovieTimeScale(target));
  Boolean saved = true;
  ASSERT_EQ(noErr, QT_SaveMovie(target, &targetFile, &saved));
  DisposeMovie(target);
  DisposeMovie(src);
  // The source is only read.
  EXPECT_EQ(sourceBytes, bz_test::ReadWholeFile(source));

  std::map<std::string, std::string> copied = bz_test::ProbeStream(cleaned, "a:0");
  for (const char *key : {"codec_name", "sample_rate", "channels", "duration"})
    EXPECT_EQ(sourceProbe[key], copied[key]) << key;
  EXPECT_EQ("rawvideo", bz_test::ProbeStream(cleaned, "v:0")["codec_name"]);
  std::string expected = DecodedSound(source);
  EXPECT_FALSE(expected.empty());
  EXPECT_TRUE(expected == DecodedSound(cleaned));
}

INSTANTIATE_TEST_SUITE_P(Formats, SoundCopy,
                         ::testing::Values(SoundSource{"fixture_2vuy_twos", nullptr, 'twos', 0},
                                           SoundSource{"ffmpeg_sowt", "pcm_s16le", 'sowt', 0},
                                           SoundSource{"ffmpeg_twos", "pcm_s16be", 'twos', 0},
                                           SoundSource{"ffmpeg_in24", "pcm_s24le", 'in24', 0},
                                           SoundSource{"toolbox_sowt_v1", nullptr, 'sowt', 1},
                                           SoundSource{"toolbox_lpcm_v2", nullptr, 'lpcm', 2}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(TrackCopying, CopyWithDataByReferenceAndIntoTheStoredMovie) {
  if (!bz_test::FfmpegAvailable()) GTEST_SKIP() << "ffmpeg is not installed";
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov"), target = dir.File("target.mov");
  bz_test::FixtureMovieSpec spec;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, spec, &info));
  spec.withSound = false;
  Movie src = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &src));
  Track sound = GetMovieIndTrackType(src, 1, SoundMediaType, movieTrackMediaType);
  std::string expected = DecodedSound(source);

  // With its data, into the stored movie of the target file: no track is handed back.
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(target, spec, &info));
  FSRef targetFile = RefOf(target);
  Track copy = sound;
  ASSERT_EQ(noErr, QT_CopyTrack(sound, nullptr, &targetFile, true, &copy));
  EXPECT_EQ(nullptr, copy);
  EXPECT_TRUE(expected == DecodedSound(target));

  // By reference: the new media's data stays in the source file.
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(target, spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &movie));
  UInt64 sizeBefore = bz_test::ReadWholeFile(target).size();
  ASSERT_EQ(noErr, QT_CopyTrack(sound, movie, nullptr, false, &copy));
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(sizeBefore, bz_test::ReadWholeFile(target).size());
  FSRef dataFile;
  ASSERT_EQ(noErr, QT_ResolveMediaDataRef(GetTrackMedia(copy), 1, &dataFile));
  std::string dataPath;
  ASSERT_EQ(noErr, PL_FSRefMakePathString(&dataFile, &dataPath));
  EXPECT_EQ(source, dataPath);
  Handle a = NewHandle(0), b = NewHandle(0);
  ASSERT_EQ(noErr, GetMediaSample(GetTrackMedia(sound), a, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 500,
                                  nullptr, nullptr));
  ASSERT_EQ(noErr, GetMediaSample(GetTrackMedia(copy), b, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 500,
                                  nullptr, nullptr));
  ASSERT_EQ(GetHandleSize(a), GetHandleSize(b));
  EXPECT_EQ(0, std::memcmp(*a, *b, size_t(GetHandleSize(a))));
  DisposeHandle(a);
  DisposeHandle(b);

  // Copying data needs a valid target file.
  FSRef none{};
  EXPECT_EQ(paramErr, QT_CopyTrack(sound, movie, &none, true, &copy));
  EXPECT_EQ(paramErr, QT_CopyTrack(sound, nullptr, nullptr, false, &copy));
  DisposeMovie(movie);
  DisposeMovie(src);
}

TEST(TrackCopying, CancelStopsTheCopyAndLeavesAMovieThatSaves) {
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov"), target = dir.File("target.mov");
  bz_test::FixtureMovieSpec spec;
  spec.frames = 20;
  spec.interleave = true;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, spec, &info));
  spec.withSound = false;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(target, spec, &info));
  Movie src = nullptr, movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &src));
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &movie));
  FSRef targetFile = RefOf(target);
  ProgressLog log;
  log.cancelAfter = 2;
  Track copy = nullptr;
  EXPECT_EQ(userCanceledErr, QT_CopyTrackTotallyWithProgress(GetMovieIndTrackType(src, 1, SoundMediaType, movieTrackMediaType),
                                                             movie, &targetFile, &copy, LogProgress, &log));
  EXPECT_EQ(2, log.updates);
  EXPECT_EQ(0, log.closes);
  ASSERT_NE(nullptr, copy);
  EXPECT_LT(GetMediaSampleCount(GetTrackMedia(copy)), GetMediaSampleCount(GetTrackMedia(GetMovieIndTrack(src, 2))));
  // The caller may drop the partial track; the movie still saves and opens.
  DisposeMovieTrack(copy);
  Boolean saved = true;
  ASSERT_EQ(noErr, QT_SaveMovie(movie, &targetFile, &saved));
  DisposeMovie(movie);
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &movie));
  EXPECT_EQ(1, GetMovieTrackCount(movie));
  DisposeMovie(movie);
  DisposeMovie(src);
}

TEST(TrackCopying, EditsKeepTheirMediaStretchesEmptyStretchesAndRates) {
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov"), target = dir.File("target.mov");
  bz_test::FixtureMovieSpec spec;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, spec, &info));
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(target, spec, &info));
  Movie src = nullptr, movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &src));
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &movie));
  // Source sound (48000 Hz in a 600 movie): an empty 60, media 2400..7200 at rate 2 (30 units), then
  // media 0..4800 at rate 1 (60 units).
  Track sound = GetMovieIndTrackType(src, 1, SoundMediaType, movieTrackMediaType);
  ASSERT_EQ(noErr, DeleteTrackSegment(sound, 0, GetTrackDuration(sound)));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(sound, 60, 2400, 4800, 2 * fixed1));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(sound, -1, 0, 4800, fixed1));
  ASSERT_EQ(150, GetTrackDuration(sound));
  FSRef targetFile = RefOf(target);
  for (bool withProgress : {true, false}) {
    SCOPED_TRACE(withProgress);
    Track copy = nullptr;
    if (withProgress)
      ASSERT_EQ(noErr, QT_CopyTrackTotallyWithProgress(sound, movie, &targetFile, &copy, nullptr, nullptr));
    else
      ASSERT_EQ(noErr, QT_CopyTrackTotally(sound, movie, true, &targetFile, &copy));
    EXPECT_EQ(150, GetTrackDuration(copy));
    EXPECT_EQ(60, GetTrackOffset(copy));
    EXPECT_EQ(2 * fixed1, GetTrackEditRate(copy, 60));
    EXPECT_EQ(fixed1, GetTrackEditRate(copy, 90));
    // The same samples shown at the same track times.
    for (TimeValue t : {60, 75, 89, 90, 149}) {
      TimeValue a = TrackTimeToMediaTime(t, sound), b = TrackTimeToMediaTime(t, copy);
      Handle x = NewHandle(0), y = NewHandle(0);
      ASSERT_EQ(noErr, GetMediaSample(GetTrackMedia(sound), x, 0, nullptr, a, nullptr, nullptr, nullptr, nullptr, 1,
                                      nullptr, nullptr));
      ASSERT_EQ(noErr, GetMediaSample(GetTrackMedia(copy), y, 0, nullptr, b, nullptr, nullptr, nullptr, nullptr, 1,
                                      nullptr, nullptr));
      EXPECT_EQ(0, std::memcmp(*x, *y, 4)) << t;
      DisposeHandle(x);
      DisposeHandle(y);
    }
  }
  DisposeMovie(movie);
  DisposeMovie(src);
}

TEST(TrackLists, ReferencesEnablingAndReferencedTracksCopied) {
  bz_test::TempDir dir;
  std::string target = dir.File("target.mov");
  bz_test::FixtureMovieSpec spec;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("source.mov"), spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(dir.File("source.mov"), &movie));
  Track video = GetMovieIndTrack(movie, 1), sound = GetMovieIndTrack(movie, 2);
  // A time-code and a text track in the same file as the video's data (only their shape matters here).
  Track timeCode = bz_test::AddBuiltTrack(movie, TimeCodeMediaType, 2500, bz_test::Frames({600}, 4));
  Track text = bz_test::AddBuiltTrack(movie, TextMediaType, 2500, bz_test::Frames({600}, 4));
  bz_test::InsertWholeMedia(timeCode);
  bz_test::InsertWholeMedia(text);
  ASSERT_EQ(noErr, AddTrackReference(video, timeCode, TimeCodeMediaType, nullptr));
  ASSERT_EQ(noErr, AddTrackReference(sound, timeCode, 'sync', nullptr));

  QT_TrackLE *list = nullptr;
  ASSERT_EQ(noErr, QT_GetTrackList(movie, &list));
  ASSERT_EQ(4, LL_PtrListCount(list));
  QT_TrackLE *tc = list->next->next;
  EXPECT_EQ(timeCode, tc->track);
  EXPECT_EQ(3, tc->index);
  EXPECT_EQ(TimeCodeMediaType, tc->mediaType);
  EXPECT_TRUE(tc->isRefTrack);
  EXPECT_EQ(TimeCodeMediaType, tc->refType);  // the first type it is referred to under
  EXPECT_EQ(VideoMediaType, list->mediaType);
  EXPECT_EQ(OSType('eyes'), list->mediaCharacteristic);
  EXPECT_FALSE(list->isRefTrack);
  EXPECT_EQ(list, QT_FindReferencingTrack(list, tc));
  EXPECT_EQ(nullptr, QT_FindReferencingTrack(list, list));
  EXPECT_TRUE(QT_TrackReferencedByAnyTrackOfType(list, tc, VideoMediaType, 0));
  EXPECT_FALSE(QT_TrackReferencedByAnyTrackOfType(list, tc, SoundMediaType, 0));
  LL_DisposeLinkedList(&list);

  ASSERT_EQ(noErr, QT_DisableTextAndTimeCodeTracks(movie));
  EXPECT_FALSE(GetTrackEnabled(timeCode));
  EXPECT_FALSE(GetTrackEnabled(text));
  EXPECT_TRUE(GetTrackEnabled(video));
  ASSERT_EQ(noErr, QT_EnableOneTrack(movie, text));
  EXPECT_TRUE(GetTrackEnabled(text));
  EXPECT_FALSE(GetTrackEnabled(video));
  ASSERT_EQ(noErr, QT_EnableAllTracks(movie, true));
  EXPECT_TRUE(GetTrackEnabled(timeCode));

  // Copying the video totally brings the time code along, referenced from the copy.
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(target, spec, &info));
  Movie out = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &out));
  FSRef targetFile = RefOf(target);
  Track copy = nullptr;
  ASSERT_EQ(noErr, QT_CopyTrackTotally(video, out, false, &targetFile, &copy));
  ASSERT_EQ(4, GetMovieTrackCount(out));
  Track copiedTimeCode = GetTrackReference(copy, TimeCodeMediaType, 1);
  ASSERT_NE(nullptr, copiedTimeCode);
  OSType type = 0;
  GetMediaHandlerDescription(GetTrackMedia(copiedTimeCode), &type, nullptr, nullptr);
  EXPECT_EQ(TimeCodeMediaType, type);
  DisposeMovie(out);
  DisposeMovie(movie);
}

}  // namespace
