// Track copying and track lists: sound tracks of several formats and description versions copied into a
// cleaned movie (checked with ffprobe and by comparing ffmpeg's decoded samples with the source's), copies by
// reference, cancelled copies, edits with rates, track references and enabling; sample references copied
// (played by ffprobe from the source's data), video files copied into media and files, edits made from
// frames and media intervals, display locations, text images, and metadata copied across.
#include "movie/track_copying.h"

#include "general/file_layer.h"
#include "movie/movie_files.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/track_editing.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <map>
#include <ostream>
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
  if (!bz_test::RequireFfmpeg()) return;
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

// The sound of an MPEG program stream lies in the pieces of its packets, which no movie file can refer to: a copy
// asked to refer to the source's data copies the samples instead, and the sound is the source's.
TEST(TrackCopying, StreamsInsideAMultiplexedFileAreCopiedWhereAReferenceIsAsked) {
  if (!bz_test::RequireFfmpeg()) GTEST_SKIP();
  bz_test::TempDir dir;
  const std::string source = dir.File("source.mpg"), cleaned = dir.File("cleaned.mov");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=64x48:r=25:d=0.4 -f lavfi -i "
                                   "sine=f=440:r=48000:d=0.4 -c:v mpeg2video -c:a mp2 -ac 2 -f vob " +
                                   ShellQuote(source)));
  bz_test::FixtureMovieSpec videoOnly;
  videoOnly.withSound = false;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(cleaned, videoOnly, &info));
  const std::vector<uint8_t> sourceBytes = bz_test::ReadWholeFile(source);
  Movie src = nullptr, target = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &src));
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(cleaned, &target));
  Track sound = GetMovieIndTrackType(src, 1, SoundMediaType, movieTrackMediaType);
  ASSERT_NE(nullptr, sound);
  FSRef targetFile = RefOf(cleaned);
  Track copy = nullptr;
  ASSERT_EQ(noErr, QT_CopyTrackTotally(sound, target, false, &targetFile, &copy));
  ASSERT_NE(nullptr, copy);
  Boolean saved = true;
  ASSERT_EQ(noErr, QT_SaveMovie(target, &targetFile, &saved));
  DisposeMovie(target);
  DisposeMovie(src);
  EXPECT_EQ(sourceBytes, bz_test::ReadWholeFile(source));
  auto a = bz_test::ProbeStream(source, "a:0"), b = bz_test::ProbeStream(cleaned, "a:0");
  EXPECT_EQ("mp2", b["codec_name"]);
  EXPECT_EQ(a["sample_rate"], b["sample_rate"]);
  EXPECT_EQ(a["channels"], b["channels"]);
  // The movie begins with the first picture: what the file's sound has before it is cut off.
  const double lead = std::atof(bz_test::ProbeStream(source, "v:0")["start_time"].c_str()) -
                      std::atof(a["start_time"].c_str());
  const size_t skip = lead > 0 ? size_t(std::lround(lead * 48000)) * 2 * 4 : 0;
  const std::string expected = DecodedSound(source), copied = DecodedSound(cleaned);
  ASSERT_LT(skip, expected.size());
  EXPECT_TRUE(copied == expected.substr(skip)) << expected.size() << " " << skip << " " << copied.size();
}

TEST(TrackCopying, CopyWithDataByReferenceAndIntoTheStoredMovie) {
  if (!bz_test::RequireFfmpeg()) return;
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
  // The partial track is taken away again: cut short it would pass for the whole sound. The movie still
  // saves and opens.
  EXPECT_EQ(nullptr, copy);
  EXPECT_EQ(1, GetMovieTrackCount(movie));
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

// ---- Sample references ----

// A new movie file in the folder with one empty video track (48 x 32, media scale 2500) whose media's own
// data would lie in that file.
struct TargetMovie {
  FSRef file{};
  Movie movie = nullptr;
  Track track = nullptr;
  Media media = nullptr;
  TargetMovie(const bz_test::TempDir &dir, const char *name, OSType mediaType = VideoMediaType,
              TimeScale scale = 2500) {
    FSRef parent = RefOf(dir.path());
    CFStringRef cfName = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
    EXPECT_EQ(noErr, QT_CreateMovieFile(&parent, cfName, 0, SInt32(createMovieFileDeleteCurFile), &file, &movie));
    CFRelease(cfName);
    if (mediaType == VideoMediaType)
      EXPECT_EQ(noErr, QT_NewVideoTrack(movie, nullptr, 32, 48, scale, &track, &media));
    else
      EXPECT_EQ(noErr, QT_NewSoundTrack(movie, nullptr, scale, &track, &media));
  }
  ~TargetMovie() { DisposeMovie(movie); }
};

// The data of the samples from the media time on (count samples).
std::vector<uint8_t> SampleBytes(Media media, TimeValue time, SInt32 count) {
  Handle h = NewHandle(0);
  SInt32 got = 0;
  EXPECT_EQ(noErr, GetMediaSample(media, h, 0, nullptr, time, nullptr, nullptr, nullptr, nullptr, count, &got, nullptr));
  EXPECT_EQ(count, got);
  std::vector<uint8_t> bytes(reinterpret_cast<uint8_t *>(*h), reinterpret_cast<uint8_t *>(*h) + GetHandleSize(h));
  DisposeHandle(h);
  return bytes;
}

// The data reference index of the media's first description.
SInt16 DescDataRef(Media media) {
  Handle h = NewHandle(0);
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(h));
  SInt16 index = GetHandleSize(h) >= Size(sizeof(SampleDescription)) ? reinterpret_cast<SampleDescription *>(*h)->dataRefIndex
                                                                      : SInt16(0);
  DisposeHandle(h);
  return index;
}

// The data of `count` samples from the media time on, across records (sound: one sample per unit).
std::vector<uint8_t> SoundBytes(Media media, TimeValue time, SInt32 count) {
  std::vector<uint8_t> bytes;
  Handle h = NewHandle(0);
  while (count > 0) {
    SInt32 got = 0;
    if (GetMediaSample(media, h, 0, nullptr, time, nullptr, nullptr, nullptr, nullptr, count, &got, nullptr) != noErr ||
        got <= 0)
      break;
    bytes.insert(bytes.end(), reinterpret_cast<uint8_t *>(*h), reinterpret_cast<uint8_t *>(*h) + GetHandleSize(h));
    time += got;
    count -= got;
  }
  DisposeHandle(h);
  return bytes;
}

std::string FileOfDataRef(Media media, SInt16 index) {
  FSRef file;
  EXPECT_EQ(noErr, QT_ResolveMediaDataRef(media, index, &file));
  std::string path;
  EXPECT_EQ(noErr, PL_FSRefMakePathString(&file, &path));
  return path;
}

TEST(SampleReferences, CopiedReferencesPointIntoTheSourceAndPlay) {
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov");
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, bz_test::FixtureMovieSpec{}, &info));
  std::vector<uint8_t> sourceBytes = bz_test::ReadWholeFile(source);
  Movie src = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &src));
  Media srcVideo = GetTrackMedia(GetMovieIndTrack(src, 1));

  // Stretches of the 6 frames of 100: every frame that overlaps [begin, end) is copied whole.
  struct Range {
    TimeValue begin, end;
    SInt32 frames, first;
  } ranges[] = {{0, 0x7FFFFFFF, 6, 0}, {0, 99999, 6, 0}, {100, 300, 2, 1}, {150, 300, 2, 1},
                {250, 251, 1, 2},     {599, 600, 1, 5},  {300, 300, 0, 0}, {600, 700, 0, 0}};
  for (bool wide : {false, true}) {
    for (const Range &r : ranges) {
      SCOPED_TRACE(::testing::Message() << r.begin << ".." << r.end << (wide ? " 64" : " 32"));
      TargetMovie target(dir, "target.mov");
      OSStatus err = wide ? QT_CopyMediaByReference64(srcVideo, target.media, r.begin, r.end, nullptr)
                          : QT_CopyMediaByReference(srcVideo, target.media, r.begin, r.end, nullptr);
      ASSERT_EQ(noErr, err);
      ASSERT_EQ(r.frames, GetMediaSampleCount(target.media));
      if (r.frames == 0) continue;
      EXPECT_EQ(source, FileOfDataRef(target.media, DescDataRef(target.media)));
      for (SInt32 i = 0; i < r.frames; ++i)
        EXPECT_TRUE(SampleBytes(target.media, 100 * i, 1) == info.frames[size_t(r.first + i)]) << i;
    }
  }

  // The whole media, through a table that names the target's own reference to the source file.
  TargetMovie target(dir, "target.mov");
  Handle ref = nullptr;
  OSType refType = 0;
  FSRef sourceFile = RefOf(source);
  ASSERT_EQ(noErr, QTNewDataReferenceFromFSRef(&sourceFile, 0, &ref, &refType));
  SInt16 sourceIndex = 0;
  ASSERT_EQ(noErr, AddMediaDataRef(target.media, &sourceIndex, ref, refType));
  DisposeHandle(ref);
  ASSERT_EQ(2, sourceIndex);
  const SInt16 table[] = {sourceIndex};
  ASSERT_EQ(noErr, QT_CopyMediaByReference64(srcVideo, target.media, 0, 0x7FFFFFFF, table));
  SInt16 refCount = 0;
  ASSERT_EQ(noErr, GetMediaDataRefCount(target.media, &refCount));
  EXPECT_EQ(2, refCount);
  EXPECT_EQ(sourceIndex, DescDataRef(target.media));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(target.track, 0, 0, GetMediaDuration(target.media), fixed1));
  Boolean saved = false;
  ASSERT_EQ(noErr, QT_SaveMovie(target.movie, &target.file, &saved));
  std::string targetPath = dir.File("target.mov");
  // Only the movie atom was written: no sample data.
  EXPECT_LT(bz_test::ReadWholeFile(targetPath).size(), info.frames.size() * info.frames[0].size());
  EXPECT_EQ(sourceBytes, bz_test::ReadWholeFile(source));
  Movie reread = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(targetPath, &reread));
  Media media = GetTrackMedia(GetMovieIndTrack(reread, 1));
  EXPECT_EQ(6, GetMediaSampleCount(media));
  EXPECT_TRUE(SampleBytes(media, 500, 1) == info.frames[5]);
  DisposeMovie(reread);
  DisposeMovie(src);

  // Other programs do not follow our alias records into another file; references inside one file they play:
  // a second video track of the fixture whose samples are the first one's, every other frame.
  std::string copy = dir.File("copy.mov");
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(copy, bz_test::FixtureMovieSpec{}, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(copy, &movie));
  Media first = GetTrackMedia(GetMovieIndTrack(movie, 1));
  Track second = nullptr;
  Media secondMedia = nullptr;
  ASSERT_EQ(noErr, QT_NewVideoTrack(movie, nullptr, 32, 48, 2500, &second, &secondMedia));
  for (TimeValue t : {0, 200, 400}) ASSERT_EQ(noErr, QT_CopyMediaSampleReference(first, secondMedia, t, nullptr));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(second, 0, 0, GetMediaDuration(secondMedia), fixed1));
  SInt16 count = 0;
  ASSERT_EQ(noErr, GetMediaDataRefCount(secondMedia, &count));
  EXPECT_EQ(1, count);  // its own file, not a second reference to it
  size_t sizeBefore = bz_test::ReadWholeFile(copy).size();
  FSRef copyFile = RefOf(copy);
  Boolean stored = true;
  ASSERT_EQ(noErr, QT_SaveMovie(movie, &copyFile, &stored));
  DisposeMovie(movie);
  EXPECT_LT(bz_test::ReadWholeFile(copy).size(), sizeBefore + info.frames[0].size());
  if (!bz_test::RequireFfmpeg()) return;
  for (const char *stream : {"v:0", "v:1"}) {
    std::string frames;
    ASSERT_EQ(0, bz_test::RunCommand(std::string("ffprobe -v error -count_frames -select_streams ") + stream +
                                     " -show_entries stream=nb_read_frames -of csv=p=0 " + ShellQuote(copy), &frames));
    EXPECT_EQ(std::string(stream) == "v:0" ? "6" : "3", frames.substr(0, frames.find_first_of("\r\n"))) << stream;
  }
  std::string hashes;
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + ShellQuote(copy) + " -map 0:v:1 -f framemd5 -", &hashes));
  std::string sourceHashes;
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + ShellQuote(copy) +
                                   " -map 0:v:0 -vf select='not(mod(n\\,2))' -vsync 0 -f framemd5 -", &sourceHashes));
  auto md5s = [](const std::string &text) {
    std::vector<std::string> out;
    size_t at = 0;
    while ((at = text.find('\n', at)) != std::string::npos) {
      ++at;
      if (at < text.size() && text[at] != '#') {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        out.push_back(line.substr(line.rfind(',') + 1));
      }
    }
    return out;
  };
  EXPECT_EQ(md5s(sourceHashes), md5s(hashes));
  EXPECT_EQ(3u, md5s(hashes).size());
}

TEST(SampleReferences, SoundStretchesSingleSamplesAndErrors) {
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov");
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, bz_test::FixtureMovieSpec{}, &info));
  Movie src = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &src));
  Media video = GetTrackMedia(GetMovieIndTrack(src, 1)), sound = GetTrackMedia(GetMovieIndTrack(src, 2));
  ASSERT_EQ(SInt32(info.sound.size() / 4), GetMediaSampleCount(sound));

  // Sound: the samples of [start, end), across the chunks of the interleaved file (1920 samples each).
  struct Stretch {
    TimeValue start, end;
  } stretches[] = {{0, 0x7FFFFFFF}, {1000, 5000}, {1919, 1921}, {11519, 11520}, {3840, 3840}};
  for (const Stretch &s : stretches) {
    SCOPED_TRACE(::testing::Message() << s.start << ".." << s.end);
    TargetMovie target(dir, "sound.mov", SoundMediaType, 48000);
    ASSERT_EQ(noErr, QT_CopySoundMediaByReference64(s.start, s.end, sound, target.media));
    TimeValue end = std::min<TimeValue>(s.end, GetMediaDuration(sound));
    ASSERT_EQ(end - s.start, GetMediaSampleCount(target.media));
    if (end == s.start) continue;
    std::vector<uint8_t> expected(info.sound.begin() + 4 * s.start, info.sound.begin() + 4 * end);
    EXPECT_TRUE(SoundBytes(target.media, 0, end - s.start) == expected);
  }

  // One sample at a time, in any order: each lands behind the last.
  TargetMovie target(dir, "single.mov");
  TimeValue at = -1;
  ASSERT_EQ(noErr, QT_CopyMediaSampleReference(video, target.media, 450, &at));
  EXPECT_EQ(0, at);
  ASSERT_EQ(noErr, QT_CopyMediaSampleReference(video, target.media, 100, &at));
  EXPECT_EQ(100, at);
  EXPECT_EQ(2, GetMediaSampleCount(target.media));
  EXPECT_TRUE(SampleBytes(target.media, 0, 1) == info.frames[4]);
  EXPECT_TRUE(SampleBytes(target.media, 100, 1) == info.frames[1]);

  EXPECT_EQ(invalidTime, QT_CopyMediaSampleReference(video, target.media, 600, &at));
  EXPECT_EQ(invalidTime, QT_CopyMediaSampleReference(video, target.media, -1, &at));
  EXPECT_EQ(invalidMedia, QT_CopyMediaSampleReference(nullptr, target.media, 0, &at));
  EXPECT_EQ(invalidMedia, QT_CopySoundMediaByReference64(0, 100, video, target.media));
  const SInt16 badTable[] = {0};
  EXPECT_EQ(badDataRefIndex, QT_CopyMediaByReference64(video, target.media, 0, 100, badTable));
  EXPECT_EQ(paramErr, QT_CopyMediaByReference64(video, target.media, -5, 100, nullptr));
  EXPECT_EQ(2, GetMediaSampleCount(target.media));
  DisposeMovie(src);
}

TEST(SampleReferences, ThirtyTwoBitFormRefusesDataBeyondItsOffsets) {
  bz_test::BuiltMovie built;
  // Frames whose data lies at 2 GiB - 1000 and on: the second one crosses 32-bit offsets.
  Track track = bz_test::AddBuiltTrack(built.movie, VideoMediaType, 2500, bz_test::Frames({100, 100, 100}),
                                       0x7FFFFFFF - 1500);
  bz_test::BuiltMovie other;
  Track copy = bz_test::AddBuiltTrack(other.movie, VideoMediaType, 2500, {});
  Media from = GetTrackMedia(track), into = GetTrackMedia(copy);
  EXPECT_EQ(fileBoundsErr, QT_CopyMediaByReference(from, into, 0, 0x7FFFFFFF, nullptr));
  EXPECT_EQ(0, GetMediaSampleCount(into));  // nothing added before the refusal
  EXPECT_EQ(noErr, QT_CopyMediaByReference(from, into, 0, 100, nullptr));
  EXPECT_EQ(1, GetMediaSampleCount(into));
  EXPECT_EQ(noErr, QT_CopyMediaByReference64(from, into, 100, 0x7FFFFFFF, nullptr));
  ASSERT_EQ(3, GetMediaSampleCount(into));
  SampleReference64Record r{};
  SInt32 n = 0;
  ASSERT_EQ(noErr, GetMediaSampleReferences64(into, 200, nullptr, nullptr, nullptr, 1, &n, &r));
  EXPECT_EQ(SInt64(0x7FFFFFFF) - 1500 + 2000, r.dataOffset);
}

// ---- Copying video files ----

TEST(VideoFileCopies, IntoMediaMovieFileAndNewFile) {
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov");
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, bz_test::FixtureMovieSpec{}, &info));
  std::vector<uint8_t> sourceBytes = bz_test::ReadWholeFile(source);
  FSRef sourceFile = RefOf(source);

  // A new file of frames 1 to 3.
  FSRef parent = RefOf(dir.path()), made;
  CFStringRef name = CFSTR("copy.mov");
  ASSERT_EQ(noErr, QT_CopyVideoFileToNewFile(&sourceFile, 100, 400, &parent, name, &made));
  std::string copyPath;
  ASSERT_EQ(noErr, PL_FSRefMakePathString(&made, &copyPath));
  EXPECT_EQ(dir.File("copy.mov"), copyPath);
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(copyPath, &movie));
  ASSERT_EQ(1, GetMovieTrackCount(movie));
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  ASSERT_EQ(3, GetMediaSampleCount(media));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SampleBytes(media, 100 * i, 1) == info.frames[size_t(i + 1)]) << i;
  EXPECT_EQ(copyPath, FileOfDataRef(media, 1));  // the data lies in the new file
  EXPECT_EQ(72, GetMovieDuration(movie));
  DisposeMovie(movie);

  // Into the stored movie of a file that has a video track already: a second one with all 6 frames.
  std::string target = dir.File("target.mov");
  bz_test::FixtureMovieSpec videoOnly;
  videoOnly.withSound = false;
  videoOnly.frames = 2;
  bz_test::FixtureMovieInfo targetInfo;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(target, videoOnly, &targetInfo));
  FSRef targetFile = RefOf(target);
  ASSERT_EQ(noErr, QT_CopyVideoFileToMovieFile(&sourceFile, 0, 0x7FFFFFFF, &targetFile));
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &movie));
  ASSERT_EQ(2, GetMovieTrackCount(movie));
  media = GetTrackMedia(GetMovieIndTrack(movie, 2));
  EXPECT_EQ(6, GetMediaSampleCount(media));
  EXPECT_TRUE(SampleBytes(media, 500, 1) == info.frames[5]);
  EXPECT_EQ(144, GetTrackDuration(GetMovieIndTrack(movie, 2)));

  // Into a given media twice: the stretches follow each other in the track, and the movie is saved.
  Track track = GetMovieIndTrack(movie, 1);
  Boolean saved = true;
  ASSERT_EQ(noErr, QT_CopyVideoFileToMedia(&sourceFile, 0, 200, movie, &targetFile, track, GetTrackMedia(track), &saved));
  ASSERT_EQ(noErr, QT_CopyVideoFileToMedia(&sourceFile, 500, 600, movie, &targetFile, track, GetTrackMedia(track), &saved));
  DisposeMovie(movie);
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &movie));
  track = GetMovieIndTrack(movie, 1);
  EXPECT_EQ(5 * 24, GetTrackDuration(track));
  media = GetTrackMedia(track);
  EXPECT_TRUE(SampleBytes(media, TrackTimeToMediaTime(2 * 24, track), 1) == info.frames[0]);
  EXPECT_TRUE(SampleBytes(media, TrackTimeToMediaTime(4 * 24, track), 1) == info.frames[5]);
  DisposeMovie(movie);
  EXPECT_EQ(sourceBytes, bz_test::ReadWholeFile(source));

  if (!bz_test::RequireFfmpeg()) return;
  std::map<std::string, std::string> probe = bz_test::ProbeStream(copyPath, "v:0");
  EXPECT_EQ("rawvideo", probe["codec_name"]);
  EXPECT_EQ("48", probe["width"]);
  std::vector<std::vector<uint8_t>> decoded = bz_test::DecodeVideoWithFfmpeg(copyPath, 48, 32);
  ASSERT_EQ(3u, decoded.size());
  EXPECT_TRUE(decoded[2] == info.frames[3]);
}

TEST(VideoFileCopies, ErrorsLeaveSourceAndTargetAlone) {
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov"), soundOnly = dir.File("sound.mov"), gone = dir.File("gone.mov");
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, bz_test::FixtureMovieSpec{}, &info));
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(gone, bz_test::FixtureMovieSpec{}, &info));
  WriteSoundMovie(soundOnly, 'sowt', 0, 2, 8000, 800);
  FSRef sourceFile = RefOf(source), soundFile = RefOf(soundOnly), goneFile = RefOf(gone), none{};
  FSRef parent = RefOf(dir.path());
  ASSERT_EQ(0, unlink(gone.c_str()));
  std::vector<uint8_t> sourceBytes = bz_test::ReadWholeFile(source);
  std::vector<uint8_t> soundBytes = bz_test::ReadWholeFile(soundOnly);

  struct Case {
    const char *name;
    const FSRef *from;
    const char *newName;
    OSStatus expected;
  } cases[] = {
      {"no file", &none, "a.mov", paramErr},
      {"file gone since", &goneFile, "a.mov", paramErr},
      {"no video track", &soundFile, "a.mov", invalidTrack},
      {"over its own source", &sourceFile, "source.mov", paramErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    CFStringRef name = CFStringCreateWithCString(nullptr, c.newName, kCFStringEncodingUTF8);
    FSRef made;
    EXPECT_EQ(c.expected, QT_CopyVideoFileToNewFile(c.from, 0, 0x7FFFFFFF, &parent, name, &made));
    CFRelease(name);
    EXPECT_FALSE(GL_FSRefValid(&made));
    if (c.from != &sourceFile) {
      EXPECT_EQ(c.expected, QT_CopyVideoFileToMovieFile(c.from, 0, 0x7FFFFFFF, &soundFile));
    }
  }
  EXPECT_EQ(-1, access(dir.File("a.mov").c_str(), F_OK));
  EXPECT_EQ(sourceBytes, bz_test::ReadWholeFile(source));
  EXPECT_EQ(soundBytes, bz_test::ReadWholeFile(soundOnly));

  // A target media that is not the target track's.
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(soundOnly, &movie));
  Track track = GetMovieIndTrack(movie, 1);
  Boolean saved = true;
  Media video = nullptr;
  Track videoTrack = nullptr;
  ASSERT_EQ(noErr, QT_NewVideoTrack(movie, nullptr, 32, 48, 2500, &videoTrack, &video));
  EXPECT_EQ(paramErr, QT_CopyVideoFileToMedia(&sourceFile, 0, 100, movie, &soundFile, track, video, &saved));
  EXPECT_EQ(paramErr, QT_CopyVideoFileToMedia(&sourceFile, 0, 100, movie, &none, videoTrack, video, &saved));
  EXPECT_EQ(0, GetMediaSampleCount(video));
  DisposeMovie(movie);
  EXPECT_EQ(soundBytes, bz_test::ReadWholeFile(soundOnly));
}

// ---- Edits from frames and from media intervals ----

// The edits of a track: (start, duration, media time at the start, rate).
struct EditShape {
  TimeValue start, duration, mediaTime;
  Fixed rate;
  bool operator==(const EditShape &o) const {
    return start == o.start && duration == o.duration && mediaTime == o.mediaTime && rate == o.rate;
  }
};

std::vector<EditShape> EditsOf(Track track) {
  std::vector<EditShape> edits;
  TimeValue t = 0, d = 0;
  GetTrackNextInterestingTime(track, nextTimeEdgeOK | nextTimeTrackEdit, 0, fixed1, &t, &d);
  while (t >= 0 && d > 0) {
    edits.push_back(EditShape{t, d, TrackTimeToMediaTime(t, track), GetTrackEditRate(track, t)});
    GetTrackNextInterestingTime(track, nextTimeTrackEdit, t, fixed1, &t, &d);
  }
  return edits;
}

std::ostream &operator<<(std::ostream &os, const EditShape &e) {
  return os << "{" << e.start << ", " << e.duration << ", " << e.mediaTime << ", " << e.rate << "}";
}

TEST(TrackEdits, OneEditPerSourceFrame) {
  // Source frames of 100, 200 and 100 at 2500 in a 600 movie: 24, 48 and 24 movie units.
  bz_test::BuiltMovie source(600);
  Track frames = bz_test::AddBuiltTrack(source.movie, VideoMediaType, 2500, bz_test::Frames({100, 200, 100}));
  bz_test::InsertWholeMedia(frames);
  struct Case {
    TimeScale targetScale;
    bool doubled;
    std::vector<EditShape> edits;  // in the target movie (600)
  } cases[] = {
      {30000, false, {{0, 24, 0, fixed1}, {24, 48, 1200, fixed1}, {72, 24, 3600, fixed1}}},
      {30000, true, {{0, 48, 0, fixed1}, {48, 96, 2400, fixed1}, {144, 48, 7200, fixed1}}},
      {2500, false, {{0, 24, 0, fixed1}, {24, 48, 100, fixed1}, {72, 24, 300, fixed1}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.targetScale << (c.doubled ? " doubled" : ""));
    bz_test::BuiltMovie target(600);
    std::vector<TimeValue> long_(8, TimeValue(c.targetScale / 4));
    Track track = bz_test::AddBuiltTrack(target.movie, VideoMediaType, c.targetScale, bz_test::Frames(long_));
    ASSERT_EQ(noErr, QT_AddTrackEditsFromSourceMovie(source.movie, track, c.doubled));
    std::vector<EditShape> edits = EditsOf(track);
    ASSERT_EQ(c.edits.size(), edits.size());
    for (size_t i = 0; i < edits.size(); ++i) EXPECT_EQ(c.edits[i], edits[i]) << i;
  }
  // A target media too short for the frames.
  bz_test::BuiltMovie target(600);
  Track shortTrack = bz_test::AddBuiltTrack(target.movie, VideoMediaType, 2500, bz_test::Frames({100}));
  EXPECT_NE(noErr, QT_AddTrackEditsFromSourceMovie(source.movie, shortTrack, false));
  EXPECT_EQ(invalidMovie, QT_AddTrackEditsFromSourceMovie(nullptr, shortTrack, false));
}

TEST(TrackEdits, EditsMappedThroughTheMediaIntervals) {
  // Source media: 10 frames of 100 at 2500 in a 600 movie. Edits: frames 0-3, an empty stretch, frames 8-9 at
  // rate 2, frames 1-2 again.
  bz_test::BuiltMovie source(600);
  Track track = bz_test::AddBuiltTrack(source.movie, VideoMediaType, 2500, bz_test::Frames(std::vector<TimeValue>(10, 100)));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(track, 0, 0, 400, fixed1));
  ASSERT_EQ(noErr, InsertEmptyTrackSegment(track, 96, 30));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(track, -1, 800, 200, 2 * fixed1));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(track, -1, 100, 200, fixed1));
  LL_IntervalLE *intervals = nullptr;
  Boolean overlap = false;
  SInt32 frames = 0;
  ASSERT_EQ(noErr, QT_MakeMediaIntervalListNew(track, 0, GetTrackDuration(track), true, &intervals, &frames, &overlap));
  ASSERT_EQ(2, LL_PtrListCount(intervals));  // [0, 399] and [800, 999]: 600 units packed in the target
  EXPECT_EQ(999, intervals->next->end);

  for (bool doubled : {false, true}) {
    SCOPED_TRACE(doubled);
    bz_test::BuiltMovie target(600);
    Track copy = bz_test::AddBuiltTrack(target.movie, VideoMediaType, 2500,
                                        bz_test::Frames(std::vector<TimeValue>(doubled ? 12 : 6, 100)));
    ASSERT_EQ(noErr, QT_CopyTrackEditsUsingMediaIntervalList(track, copy, intervals, doubled));
    std::vector<EditShape> from = EditsOf(track), to = EditsOf(copy);
    ASSERT_EQ(from.size(), to.size());
    TimeValue factor = doubled ? 2 : 1;
    for (size_t i = 0; i < from.size(); ++i) {
      SCOPED_TRACE(i);
      EditShape expected = from[i];
      if (expected.mediaTime >= 800) expected.mediaTime -= 400;  // the second interval follows the first
      if (expected.mediaTime >= 0) expected.mediaTime *= factor;
      expected.start *= factor;
      expected.duration *= factor;
      EXPECT_EQ(expected, to[i]);
    }
  }

  // An interval list that misses the second stretch.
  LL_IntervalLE *partial = nullptr;
  ASSERT_EQ(noErr, QT_MakeMediaIntervalListNew(track, 0, 96, true, &partial, &frames, &overlap));
  bz_test::BuiltMovie target(600);
  Track copy = bz_test::AddBuiltTrack(target.movie, VideoMediaType, 2500, bz_test::Frames({100, 100, 100, 100, 100}));
  EXPECT_EQ(paramErr, QT_CopyTrackEditsUsingMediaIntervalList(track, copy, partial, false));
  LL_DisposeLinkedList(&partial);
  LL_DisposeLinkedList(&intervals);
}

// ---- Display location and text images ----

TEST(TrackDisplay, LocationLayerAndEnabledStateCopied) {
  // The logo lies 10 right and 5 down of the main track's corner in the in movie, and lands there in the out one.
  struct Case {
    const char *name;
    SInt32 inVideoX, inVideoY;    // where the in movie's main track lies (its box)
    SInt32 outVideoX, outVideoY;  // where the out movie's does
    Fixed outHeight;              // the out track's height (the in track's is 8)
    bool preserveHeight;
    Fixed scale;                  // of the out track's matrix
  } cases[] = {
      {"same boxes", 0, 0, 0, 0, 8 << 16, false, fixed1},
      {"in box moved", 20, 30, 0, 0, 8 << 16, false, fixed1},
      {"out box moved", 0, 0, 100, 50, 8 << 16, false, fixed1},
      {"both moved", 7, 9, 100, 50, 8 << 16, false, fixed1},
      {"twice as high, kept", 0, 0, 0, 0, 16 << 16, false, fixed1},
      {"twice as high, same height", 0, 0, 0, 0, 16 << 16, true, fixed1 / 2},
      {"as high, same height", 3, 3, 0, 0, 8 << 16, true, fixed1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    bz_test::BuiltMovie in, out;
    Track inVideo = bz_test::AddBuiltTrack(in.movie, VideoMediaType, 2500, bz_test::Frames({100}));
    Track logo = bz_test::AddBuiltTrack(in.movie, VideoMediaType, 2500, bz_test::Frames({100}), 16, 16 << 16, 8 << 16);
    Track outVideo = bz_test::AddBuiltTrack(out.movie, VideoMediaType, 2500, bz_test::Frames({100}));
    Track outLogo = bz_test::AddBuiltTrack(out.movie, VideoMediaType, 2500, bz_test::Frames({100}), 16, 16 << 16,
                                           c.outHeight);
    for (Track t : {inVideo, logo, outVideo, outLogo}) bz_test::InsertWholeMedia(t);
    MatrixRecord m;
    PL_SetIdentityMatrix(&m);
    m.matrix[2][0] = c.inVideoX << 16;
    m.matrix[2][1] = c.inVideoY << 16;
    SetTrackMatrix(inVideo, &m);
    m.matrix[2][0] = (c.inVideoX + 10) << 16;
    m.matrix[2][1] = (c.inVideoY + 5) << 16;
    SetTrackMatrix(logo, &m);
    SetTrackLayer(logo, -2);
    m.matrix[2][0] = c.outVideoX << 16;
    m.matrix[2][1] = c.outVideoY << 16;
    SetTrackMatrix(outVideo, &m);
    SetTrackEnabled(outLogo, false);  // not part of the out movie's box yet
    ASSERT_EQ(noErr, QT_CopyTrackDisplayLocation(in.movie, out.movie, logo, outLogo, false, c.preserveHeight));
    GetTrackMatrix(outLogo, &m);
    EXPECT_EQ(c.scale, m.matrix[0][0]);
    EXPECT_EQ(c.scale, m.matrix[1][1]);
    EXPECT_EQ((c.outVideoX + 10) << 16, m.matrix[2][0]);
    EXPECT_EQ((c.outVideoY + 5) << 16, m.matrix[2][1]);
    EXPECT_EQ(-2, GetTrackLayer(outLogo));
    EXPECT_FALSE(GetTrackEnabled(outLogo));
    ASSERT_EQ(noErr, QT_CopyTrackDisplayLocation(in.movie, out.movie, logo, outLogo, true, c.preserveHeight));
    EXPECT_TRUE(GetTrackEnabled(outLogo));
  }
  bz_test::BuiltMovie movie;
  EXPECT_EQ(invalidMovie, QT_CopyTrackDisplayLocation(nullptr, movie.movie, nullptr, nullptr, false, false));
  EXPECT_EQ(invalidTrack, QT_CopyTrackDisplayLocation(movie.movie, movie.movie, nullptr, nullptr, false, false));
}

// Fills the world with colors[1] and draws a bar of colors[0] across its middle third (the "text").
OSStatus DrawBar(CGrafPtr port, const Rect *bounds, const RGBColor *colors, CFStringRef text) {
  if (text == nullptr) return paramErr;
  if (CFStringGetLength(text) == 0) return userCanceledErr;
  PixMapHandle pm = GetGWorldPixMap(port);
  CGrafPtr current = nullptr;
  GDHandle device = nullptr;
  GetGWorld(&current, &device);
  if (current != port) return paramErr;  // the world is current while drawing
  auto *base = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm));
  SInt32 rowBytes = GetPixRowBytes(pm);
  SInt32 height = bounds->bottom - bounds->top, width = bounds->right - bounds->left;
  for (SInt32 y = 0; y < height; ++y) {
    const RGBColor &c = (y >= height / 3 && y < 2 * height / 3) ? colors[0] : colors[1];
    for (SInt32 x = 0; x < width; ++x) {
      UInt8 *p = base + y * rowBytes + 4 * x;
      p[0] = 0xFF;
      p[1] = UInt8(c.red >> 8);
      p[2] = UInt8(c.green >> 8);
      p[3] = UInt8(c.blue >> 8);
    }
  }
  return noErr;
}

TEST(TrackDisplay, TextImageCompressedIntoOneSample) {
  bz_test::TempDir dir;
  TargetMovie target(dir, "text.mov", VideoMediaType, 600);
  const RGBColor colors[2] = {{0, 0, 0}, {0xFFFF, 0xFFFF, 0xFFFF}};  // black on white
  ASSERT_EQ(noErr, BeginMediaEdits(target.media));
  TimeValue at = -1;
  ASSERT_EQ(noErr, QT_AddCompressedTextImageToMedia(64, 12, DrawBar, colors, CFSTR("00:00:01"), target.media, '2vuy',
                                                    60, &at));
  EXPECT_EQ(0, at);
  ASSERT_EQ(noErr, QT_AddCompressedTextImageToMedia(64, 12, DrawBar, colors, CFSTR("00:00:02"), target.media, '2vuy',
                                                    30, &at));
  EXPECT_EQ(60, at);
  // Failures add nothing: the procedure's own error, a missing procedure, a codec without an encoder.
  EXPECT_EQ(userCanceledErr, QT_AddCompressedTextImageToMedia(64, 12, DrawBar, colors, CFSTR(""), target.media, '2vuy',
                                                              30, &at));
  EXPECT_EQ(paramErr, QT_AddCompressedTextImageToMedia(64, 12, nullptr, colors, CFSTR("x"), target.media, '2vuy', 30,
                                                       &at));
  EXPECT_EQ(paramErr, QT_AddCompressedTextImageToMedia(0, 12, DrawBar, colors, CFSTR("x"), target.media, '2vuy', 30,
                                                       &at));
  EXPECT_NE(noErr, QT_AddCompressedTextImageToMedia(64, 12, DrawBar, colors, CFSTR("x"), target.media, 'none', 30,
                                                    &at));
  ASSERT_EQ(noErr, EndMediaEdits(target.media));
  ASSERT_EQ(2, GetMediaSampleCount(target.media));
  EXPECT_EQ(90, GetMediaDuration(target.media));
  ImageDescriptionHandle desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  GetMediaSampleDescription(target.media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  EXPECT_EQ(OSType('2vuy'), (**desc).cType);
  EXPECT_EQ(64, (**desc).width);
  EXPECT_EQ(12, (**desc).height);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  // '2vuy' bytes: Cb Y Cr Y; white lines above the bar, black ones in it.
  std::vector<uint8_t> picture = SampleBytes(target.media, 0, 1);
  ASSERT_EQ(size_t(64 * 12 * 2), picture.size());
  EXPECT_GT(picture[1], 200);               // line 0
  EXPECT_LT(picture[6 * 128 + 1], 40);      // line 6
  EXPECT_GT(picture[11 * 128 + 3], 200);    // line 11
}

// ---- Metadata ----

void AddItem(QTMetaDataRef ref, const std::string &key, const std::string &value, UInt32 type, UInt32 locale) {
  QTMetaDataItem item = 0;
  ASSERT_EQ(noErr, QTMetaDataAddItem(ref, kQTMetaDataStorageFormatQuickTime, kQTMetaDataKeyFormatQuickTime,
                                     reinterpret_cast<const UInt8 *>(key.data()), key.size(),
                                     reinterpret_cast<const UInt8 *>(value.data()), value.size(), type, &item));
  ASSERT_EQ(noErr, QTMetaDataSetItemProperty(ref, item, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Locale,
                                             sizeof(locale), &locale));
}

// Every item as "key=value/type/locale".
std::vector<std::string> ItemTexts(QTMetaDataRef ref) {
  std::vector<std::string> texts;
  QTMetaDataItem item = 0;
  while (QTMetaDataGetNextItem(ref, 0, item, 0, nullptr, 0, &item) == noErr) {
    QTMetaDataStorageFormat storage = 0;
    QTMetaDataKeyFormat keyFormat = 0;
    UInt8 *key = nullptr, *value = nullptr;
    ByteCount keySize = 0, valueSize = 0;
    UInt32 type = 0, locale = 0;
    EXPECT_EQ(noErr, QT_GetMetaDataItemProps(ref, item, &storage, &keyFormat, &key, &keySize, &value, &valueSize, &type));
    EXPECT_EQ(OSType('mdta'), storage);
    EXPECT_EQ(OSType('mdta'), keyFormat);
    EXPECT_EQ(noErr, QTMetaDataGetItemProperty(ref, item, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Locale,
                                               4, &locale, nullptr));
    texts.push_back(std::string(reinterpret_cast<char *>(key), keySize) + "=" +
                    std::string(reinterpret_cast<char *>(value), valueSize) + "/" + std::to_string(type) + "/" +
                    std::to_string(locale));
    DisposePtr(reinterpret_cast<Ptr>(key));
    if (value) DisposePtr(reinterpret_cast<Ptr>(value));
  }
  return texts;
}

TEST(MetaDataCopies, MovieTrackAndMediaItemsCopiedWithTypesAndLocales) {
  bz_test::TempDir dir;
  std::string source = dir.File("source.mov"), target = dir.File("target.mov");
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(source, bz_test::FixtureMovieSpec{}, &info));
  bz_test::FixtureMovieSpec videoOnly;
  videoOnly.withSound = false;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(target, videoOnly, &info));
  Movie src = nullptr, dst = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(source, &src));
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &dst));
  Track srcTrack = GetMovieIndTrack(src, 1), dstTrack = GetMovieIndTrack(dst, 1);
  QTMetaDataRef movieRef = nullptr, trackRef = nullptr, mediaRef = nullptr;
  ASSERT_EQ(noErr, QTCopyMovieMetaData(src, &movieRef));
  ASSERT_EQ(noErr, QTCopyTrackMetaData(srcTrack, &trackRef));
  ASSERT_EQ(noErr, QTCopyMediaMetaData(GetTrackMedia(srcTrack), &mediaRef));
  AddItem(movieRef, "com.apple.quicktime.title", "Source", kQTMetaDataTypeUTF8, 0);
  AddItem(movieRef, "com.apple.quicktime.title", "Quelle", kQTMetaDataTypeUTF8, 0x44450002);
  AddItem(movieRef, "com.example.count", std::string("\0\0\0\x06", 4), kQTMetaDataTypeSignedIntegerBE, 0);
  AddItem(trackRef, "com.example.track", "video", kQTMetaDataTypeUTF8, 0x55530000);
  AddItem(mediaRef, "com.example.empty", "", kQTMetaDataTypeBinary, 0);
  std::vector<std::string> movieItems = ItemTexts(movieRef), trackItems = ItemTexts(trackRef),
                           mediaItems = ItemTexts(mediaRef);
  ASSERT_EQ(3u, movieItems.size());
  EXPECT_EQ("com.apple.quicktime.title=Quelle/1/1145372674", movieItems[1]);
  EXPECT_EQ("com.example.empty=/0/0", mediaItems[0]);

  ASSERT_EQ(noErr, QT_CopyMovieMetaData(src, dst));
  ASSERT_EQ(noErr, QT_CopyTrackMetaData(srcTrack, dstTrack));
  ASSERT_EQ(noErr, QT_CopyMediaMetaData(GetTrackMedia(srcTrack), GetTrackMedia(dstTrack)));
  FSRef targetFile = RefOf(target);
  Boolean saved = true;
  ASSERT_EQ(noErr, QT_SaveMovie(dst, &targetFile, &saved));
  DisposeMovie(dst);
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(target, &dst));
  dstTrack = GetMovieIndTrack(dst, 1);
  QTMetaDataRef copies[3] = {};
  ASSERT_EQ(noErr, QTCopyMovieMetaData(dst, &copies[0]));
  ASSERT_EQ(noErr, QTCopyTrackMetaData(dstTrack, &copies[1]));
  ASSERT_EQ(noErr, QTCopyMediaMetaData(GetTrackMedia(dstTrack), &copies[2]));
  EXPECT_EQ(movieItems, ItemTexts(copies[0]));
  EXPECT_EQ(trackItems, ItemTexts(copies[1]));
  EXPECT_EQ(mediaItems, ItemTexts(copies[2]));

  // Copying a metadata into itself doubles its items once.
  ASSERT_EQ(noErr, QT_CopyMetaData(copies[0], copies[0]));
  std::vector<std::string> doubled = ItemTexts(copies[0]);
  ASSERT_EQ(6u, doubled.size());
  EXPECT_EQ(movieItems[2], doubled[5]);
  for (QTMetaDataRef ref : copies) QTMetaDataRelease(ref);
  for (QTMetaDataRef ref : {movieRef, trackRef, mediaRef}) QTMetaDataRelease(ref);

  // Errors: no movie, no metadata, a bad item.
  EXPECT_EQ(invalidMovie, QT_CopyMovieMetaData(nullptr, dst));
  EXPECT_EQ(invalidTrack, QT_CopyTrackMetaData(srcTrack, nullptr));
  EXPECT_EQ(kQTMetaDataInvalidMetaDataErr, QT_CopyMetaData(nullptr, nullptr));
  QTMetaDataRef ref = nullptr;
  ASSERT_EQ(noErr, QTCopyMovieMetaData(dst, &ref));
  UInt8 *bytes = reinterpret_cast<UInt8 *>(1);
  ByteCount size = 0;
  EXPECT_EQ(kQTMetaDataInvalidItemErr, QT_GetMetaDataItemValue(ref, 99, &bytes, &size));
  EXPECT_EQ(nullptr, bytes);
  EXPECT_EQ(kQTMetaDataInvalidItemErr, QT_GetMetaDataItemKey(ref, 0, &bytes, &size));
  EXPECT_EQ(kQTMetaDataInvalidItemErr, QT_CopyMetaDataItemLocale(ref, 99, ref, 1));
  QTMetaDataRelease(ref);
  DisposeMovie(dst);
  DisposeMovie(src);

  if (!bz_test::RequireFfmpeg()) return;
  std::string out;
  ASSERT_EQ(0, bz_test::RunCommand("ffprobe -v error -show_entries format_tags -of default=nw=1 " + ShellQuote(target),
                                   &out));
  EXPECT_NE(std::string::npos, out.find("title=Source")) << out;
}

}  // namespace
