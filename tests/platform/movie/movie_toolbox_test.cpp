// The Movie Toolbox calls' behaviour that the movie library relies on: how sample references are grouped
// and handed out, edits, time scales, references, user data, descriptions and movie storage.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A movie with one empty video track of media time scale 2500, and its image description.
struct VideoMovie {
  Movie movie = NewMovie(0);
  Track track = NewMovieTrack(movie, 48 << 16, 32 << 16, 0);
  Media media = NewTrackMedia(track, VideoMediaType, 2500, nullptr, 0);
  ImageDescriptionHandle desc = bz_test::NewFixtureImageDescription(48, 32);
  SampleDescriptionHandle Desc() const { return reinterpret_cast<SampleDescriptionHandle>(desc); }
  ~VideoMovie() {
    DisposeHandle(reinterpret_cast<Handle>(desc));
    DisposeMovie(movie);
  }
};

SampleReference64Record Ref(SInt64 offset, UInt32 size, TimeValue duration, UInt32 n, SInt16 flags = 0) {
  return SampleReference64Record{offset, size, duration, n, flags};
}

std::vector<SampleReference64Record> RefsAt(Media media, TimeValue time, SInt32 max, TimeValue *sampleTime = nullptr,
                                            SInt32 *descIndex = nullptr) {
  std::vector<SampleReference64Record> refs(static_cast<size_t>(max));
  SInt32 count = -1;
  EXPECT_EQ(noErr, GetMediaSampleReferences64(media, time, sampleTime, nullptr, descIndex, max, &count, refs.data()));
  refs.resize(size_t(std::max<SInt32>(count, 0)));
  return refs;
}

MATCHER_P5(IsRef, offset, size, duration, n, flags, "") {
  return arg.dataOffset == offset && arg.dataSize == UInt32(size) && arg.durationPerSample == duration &&
         arg.numberOfSamples == UInt32(n) && arg.sampleFlags == flags;
}

TEST(MovieToolboxSampleReferences, GroupedAsContiguousRunsOfEqualSamples) {
  VideoMovie m;
  // Three single frames that follow one another, then a gap, then a frame of another size, then a key
  // frame flag change: the toolbox groups the first three.
  std::vector<SampleReference64Record> refs = {Ref(16, 100, 100, 1), Ref(116, 100, 100, 1), Ref(216, 100, 100, 1),
                                               Ref(400, 100, 100, 1), Ref(500, 60, 100, 1),
                                               Ref(560, 60, 100, 1, mediaSampleNotSync)};
  TimeValue first = -1;
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), SInt32(refs.size()), refs.data(), &first));
  EXPECT_EQ(0, first);
  EXPECT_EQ(6, GetMediaSampleCount(m.media));
  EXPECT_EQ(600, GetMediaDuration(m.media));
  TimeValue sampleTime = -1;
  SInt32 descIndex = 0;
  auto got = RefsAt(m.media, 0, 10, &sampleTime, &descIndex);
  EXPECT_EQ(0, sampleTime);
  EXPECT_EQ(1, descIndex);
  EXPECT_THAT(got, ::testing::ElementsAre(IsRef(16, 300, 100, 3, 0), IsRef(400, 100, 100, 1, 0),
                                          IsRef(500, 60, 100, 1, 0), IsRef(560, 60, 100, 1, mediaSampleNotSync)));
  // From the middle of a record on, the first record starts at the sample holding the time.
  got = RefsAt(m.media, 150, 1, &sampleTime);
  EXPECT_EQ(100, sampleTime);
  EXPECT_THAT(got, ::testing::ElementsAre(IsRef(116, 200, 100, 2, 0)));
  // More references later, continuing the last run, keep counting media time.
  SampleReference64Record more = Ref(620, 60, 100, 1, mediaSampleNotSync);
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 1, &more, &first));
  EXPECT_EQ(600, first);
  EXPECT_THAT(RefsAt(m.media, 500, 4), ::testing::ElementsAre(IsRef(560, 120, 100, 2, mediaSampleNotSync)));
  // At and past the end: no records and no error.
  EXPECT_TRUE(RefsAt(m.media, 700, 4, &sampleTime).empty());
  EXPECT_EQ(-1, sampleTime);
}

TEST(MovieToolboxSampleReferences, DescriptionsAreReusedOrAddedAndEndABatch) {
  VideoMovie m;
  SampleReference64Record a = Ref(16, 200, 100, 2);
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 1, &a, nullptr));
  // The same description again (with data reference index 0, meaning 1) is not added twice.
  (**m.desc).dataRefIndex = 0;
  SampleReference64Record b = Ref(216, 100, 100, 1);
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 1, &b, nullptr));
  EXPECT_EQ(1, GetMediaSampleDescriptionCount(m.media));
  // Another frame size is another description; a batch of references never spans two descriptions.
  (**m.desc).width = 64;
  SampleReference64Record c = Ref(316, 100, 100, 1);
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 1, &c, nullptr));
  EXPECT_EQ(2, GetMediaSampleDescriptionCount(m.media));
  SInt32 descIndex = 0;
  EXPECT_THAT(RefsAt(m.media, 0, 10, nullptr, &descIndex), ::testing::ElementsAre(IsRef(16, 300, 100, 3, 0)));
  EXPECT_EQ(1, descIndex);
  Handle got = NewHandle(0);
  SampleReference64Record ref;
  SInt32 count = 0;
  ASSERT_EQ(noErr, GetMediaSampleReferences64(m.media, 300, nullptr, reinterpret_cast<SampleDescriptionHandle>(got),
                                              &descIndex, 10, &count, &ref));
  EXPECT_EQ(2, descIndex);
  EXPECT_EQ(64, reinterpret_cast<ImageDescription *>(*got)->width);
  DisposeHandle(got);
}

TEST(MovieToolboxSampleReferences, RecordsSplitWhereTheirSizeLeaves32Bits) {
  VideoMovie m;
  std::vector<SampleReference64Record> refs;
  for (int i = 0; i < 3; ++i) refs.push_back(Ref(16 + SInt64(i) * 0xC0000000ll, 0xC0000000u, 100, 1));
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 3, refs.data(), nullptr));
  EXPECT_THAT(RefsAt(m.media, 0, 10), ::testing::ElementsAre(IsRef(16, 0xC0000000u, 100, 1, 0),
                                                             IsRef(16 + 0xC0000000ll, 0xC0000000u, 100, 1, 0),
                                                             IsRef(16 + 0x180000000ll, 0xC0000000u, 100, 1, 0)));
}

TEST(MovieToolboxSampleReferences, BadArgumentsAreRefusedAndLeaveTheStickyError) {
  VideoMovie m;
  ClearMoviesStickyError();
  struct Case {
    SampleReference64Record ref;
    OSErr expected;
  } cases[] = {
      {Ref(16, 0, 100, 0), paramErr},        // no samples
      {Ref(-1, 100, 100, 1), paramErr},      // before the file
      {Ref(16, 100, -5, 1), paramErr},       // negative duration
      {Ref(16, 101, 100, 2), paramErr},      // video samples of unequal size
  };
  for (const Case &c : cases) EXPECT_EQ(c.expected, AddMediaSampleReferences64(m.media, m.Desc(), 1, &c.ref, nullptr));
  EXPECT_EQ(0, GetMediaSampleCount(m.media));
  EXPECT_EQ(0, GetMediaSampleDescriptionCount(m.media));
  Handle tiny = NewHandle(8);
  SampleReference64Record ok = Ref(16, 100, 100, 1);
  EXPECT_EQ(paramErr, AddMediaSampleReferences64(m.media, reinterpret_cast<SampleDescriptionHandle>(tiny), 1, &ok, nullptr));
  DisposeHandle(tiny);
  SampleReference64Record ref;
  SInt32 count = 0;
  EXPECT_EQ(invalidTime, GetMediaSampleReferences64(m.media, -1, nullptr, nullptr, nullptr, 1, &count, &ref));
  // The sticky error keeps the first failure while later calls succeed.
  EXPECT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 1, &ok, nullptr));
  EXPECT_EQ(noErr, GetMoviesError());
  EXPECT_EQ(paramErr, GetMoviesStickyError());
  ClearMoviesStickyError();
  EXPECT_EQ(noErr, GetMoviesStickyError());
}

TEST(MovieToolboxSampleReferences, MediaTimesAndSampleNumbersMapBothWays) {
  VideoMovie m;
  std::vector<SampleReference64Record> refs = {Ref(16, 300, 100, 3), Ref(400, 50, 40, 1), Ref(500, 50, 0, 1),
                                               Ref(600, 50, 60, 2)};
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 4, refs.data(), nullptr));
  struct Case {
    TimeValue time;
    SInt32 sample;
    TimeValue sampleTime, duration;
  } cases[] = {{0, 1, 0, 100}, {299, 3, 200, 100}, {300, 4, 300, 40}, {339, 4, 300, 40},
               // the zero-duration sample 5 holds no time: 340 is sample 6
               {340, 6, 340, 60}, {459, 7, 400, 60}, {460, -1, -1, -1}, {-3, -1, -1, -1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "time " << c.time);
    SInt32 sample = 0;
    TimeValue sampleTime = 0, duration = 0;
    MediaTimeToSampleNum(m.media, c.time, &sample, &sampleTime, &duration);
    EXPECT_EQ(c.sample, sample);
    EXPECT_EQ(c.sampleTime, sampleTime);
    EXPECT_EQ(c.duration, duration);
  }
  TimeValue t = 0, d = 0;
  SampleNumToMediaTime(m.media, 5, &t, &d);
  EXPECT_EQ(340, t);
  EXPECT_EQ(0, d);
  SampleNumToMediaTime(m.media, 8, &t, &d);
  EXPECT_EQ(-1, t);
  EXPECT_EQ(invalidSampleNum, GetMoviesError());
}

TEST(MovieToolboxEdits, InsertMediaAppendsSplitsAndFillsGaps) {
  VideoMovie m;  // movie time scale 600, media 2500
  std::vector<SampleReference64Record> refs = {Ref(16, 1000, 100, 10)};
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 1, refs.data(), nullptr));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(m.track, 0, 0, 1000, fixed1));  // 240 movie units
  EXPECT_EQ(240, GetTrackDuration(m.track));
  // Into the middle of the first edit: it is split there.
  ASSERT_EQ(noErr, InsertMediaIntoTrack(m.track, 120, 500, 500, 2 * fixed1));  // 60 units at rate 2
  EXPECT_EQ(300, GetTrackDuration(m.track));
  EXPECT_EQ(250, TrackTimeToMediaTime(60, m.track));
  EXPECT_EQ(500, TrackTimeToMediaTime(120, m.track));
  EXPECT_EQ(500 + 2 * 125, TrackTimeToMediaTime(150, m.track));  // 30 units at rate 2 cover 250 media units
  EXPECT_EQ(500, TrackTimeToMediaTime(180, m.track));             // the second half of the split edit
  // Beyond the end: an empty edit fills the gap.
  ASSERT_EQ(noErr, InsertMediaIntoTrack(m.track, 400, 0, 250, fixed1));
  EXPECT_EQ(460, GetTrackDuration(m.track));
  EXPECT_EQ(-1, TrackTimeToMediaTime(350, m.track));
  EXPECT_EQ(0, TrackTimeToMediaTime(400, m.track));
  // -1 appends.
  ASSERT_EQ(noErr, InsertMediaIntoTrack(m.track, -1, 0, 1000, fixed1));
  EXPECT_EQ(700, GetTrackDuration(m.track));
  EXPECT_EQ(700, GetMovieDuration(m.movie));
  // Stretches outside the media and a zero rate are refused without a change.
  EXPECT_EQ(invalidDuration, InsertMediaIntoTrack(m.track, 0, 800, 300, fixed1));
  EXPECT_EQ(paramErr, InsertMediaIntoTrack(m.track, 0, 0, 100, 0));
  EXPECT_EQ(700, GetTrackDuration(m.track));
  // A new movie time scale converts the edits.
  SetMovieTimeScale(m.movie, 1200);
  EXPECT_EQ(1400, GetTrackDuration(m.track));
  EXPECT_EQ(500, TrackTimeToMediaTime(240, m.track));
}

// Writes a movie into a file (as the output file code does: media data first, then the movie atom).
std::string SaveToFile(Movie movie, const bz_test::TempDir &dir, const char *name) {
  std::string path = dir.File(name);
  Handle dataRef = nullptr;
  OSType type = 0;
  EXPECT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type));
  DataHandler dh = nullptr;
  EXPECT_EQ(noErr, CreateMovieStorage(dataRef, type, 'TVOD', -1, SInt32(createMovieFileDeleteCurFile), &dh, nullptr));
  EXPECT_EQ(noErr, AddMovieToStorage(movie, dh));
  EXPECT_EQ(noErr, CloseMovieStorage(dh));
  DisposeHandle(dataRef);
  return path;
}

TEST(MovieToolboxTracks, ReferencesUserDataAndGeometrySurviveTheFile) {
  VideoMovie m;
  SampleReference64Record ref = Ref(16, 100, 100, 1);
  ASSERT_EQ(noErr, AddMediaSampleReferences64(m.media, m.Desc(), 1, &ref, nullptr));
  ASSERT_EQ(noErr, InsertMediaIntoTrack(m.track, 0, 0, 100, fixed1));
  Track timecode = NewMovieTrack(m.movie, 0, 0, 0);
  Media tcMedia = NewTrackMedia(timecode, TimeCodeMediaType, 2500, nullptr, 0);
  ASSERT_NE(nullptr, tcMedia);
  SInt32 index = 0;
  ASSERT_EQ(noErr, AddTrackReference(m.track, timecode, 'tmcd', &index));
  EXPECT_EQ(1, index);
  Handle name = NewHandle(5);
  std::memcpy(*name, "Clean", 5);
  ASSERT_EQ(noErr, AddUserData(GetTrackUserData(m.track), name, 'name'));
  ASSERT_EQ(noErr, AddUserData(GetMovieUserData(m.movie), name, 'info'));
  MatrixRecord matrix;
  GetTrackMatrix(m.track, &matrix);
  matrix.matrix[2][0] = -8 << 16;
  SetTrackMatrix(m.track, &matrix);
  SetTrackLayer(m.track, -1);
  SetTrackEnabled(timecode, false);

  bz_test::TempDir dir;
  std::string path = SaveToFile(m.movie, dir, "refs.mov");
  Movie back = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &back));
  ASSERT_EQ(2, GetMovieTrackCount(back));
  Track video = GetMovieIndTrack(back, 1), tc = GetMovieIndTrack(back, 2);
  EXPECT_EQ(tc, GetTrackReference(video, 'tmcd', 1));
  EXPECT_EQ(OSType('tmcd'), GetNextTrackReferenceType(video, 0));
  EXPECT_EQ(OSType(0), GetNextTrackReferenceType(video, 'tmcd'));
  EXPECT_EQ(1, GetTrackReferenceCount(video, 'tmcd'));
  EXPECT_FALSE(GetTrackEnabled(tc));
  EXPECT_EQ(-1, GetTrackLayer(video));
  MatrixRecord backMatrix;
  GetTrackMatrix(video, &backMatrix);
  EXPECT_EQ(0, std::memcmp(&matrix, &backMatrix, sizeof(matrix)));
  Handle got = NewHandle(0);
  ASSERT_EQ(noErr, GetUserData(GetTrackUserData(video), got, 'name', 1));
  EXPECT_EQ(5, GetHandleSize(got));
  EXPECT_EQ(0, std::memcmp(*got, "Clean", 5));
  EXPECT_EQ(userDataItemNotFound, GetUserData(GetTrackUserData(video), got, 'name', 2));
  EXPECT_EQ(1, CountUserDataType(GetMovieUserData(back), 'info'));
  // Tracks found by type and characteristic, enabled only with flag 4.
  EXPECT_EQ(video, GetMovieIndTrackType(back, 1, 'eyes', 2));
  EXPECT_EQ(tc, GetMovieIndTrackType(back, 2, 'eyes', 2));
  EXPECT_EQ(nullptr, GetMovieIndTrackType(back, 2, 'eyes', 6));
  EXPECT_EQ(tc, GetMovieIndTrackType(back, 1, 'tmcd', 1));
  DisposeHandle(got);
  DisposeHandle(name);
  DisposeMovie(back);
}

TEST(MovieToolboxDescriptions, SoundVersionsAndImageExtensionsReadBackIdentically) {
  Movie movie = NewMovie(0);
  Track video = NewMovieTrack(movie, 48 << 16, 32 << 16, 0);
  Media vm = NewTrackMedia(video, VideoMediaType, 2500, nullptr, 0);
  // An image description with extensions in a given order.
  ImageDescriptionHandle image = bz_test::NewFixtureImageDescription(48, 32);
  const UInt8 extensions[] = {0, 0, 0, 10, 'f', 'i', 'e', 'l', 2, 9,                              //
                              0, 0, 0, 16, 'p', 'a', 's', 'p', 0, 0, 0, 16, 0, 0, 0, 15,          //
                              0, 0, 0, 18, 'c', 'o', 'l', 'r', 'n', 'c', 'l', 'c', 0, 1, 0, 1, 0, 1};
  SetHandleSize(reinterpret_cast<Handle>(image), Size(sizeof(ImageDescription) + sizeof(extensions)));
  std::memcpy(reinterpret_cast<UInt8 *>(*image) + sizeof(ImageDescription), extensions, sizeof(extensions));
  (**image).idSize = SInt32(sizeof(ImageDescription) + sizeof(extensions));
  SampleReference64Record ref = Ref(16, 3072, 100, 1);
  ASSERT_EQ(noErr, AddMediaSampleReferences64(vm, reinterpret_cast<SampleDescriptionHandle>(image), 1, &ref, nullptr));

  // Sound descriptions of the three versions: 16-bit PCM (0), a packetised codec (1), float PCM (2).
  std::vector<std::vector<UInt8>> sounds;
  {
    SoundDescriptionHandle v0 = bz_test::NewFixtureSoundDescription(2, 48000);
    sounds.emplace_back(reinterpret_cast<UInt8 *>(*v0), reinterpret_cast<UInt8 *>(*v0) + sizeof(SoundDescription));
    DisposeHandle(reinterpret_cast<Handle>(v0));
    SoundDescriptionV1 v1{};
    v1.desc.descSize = sizeof(v1);
    v1.desc.dataFormat = 'ima4';
    v1.desc.dataRefIndex = 1;
    v1.desc.version = 1;
    v1.desc.numChannels = 2;
    v1.desc.sampleSize = 16;
    v1.desc.compressionID = -2;
    v1.desc.sampleRate = 44100u << 16;
    v1.samplesPerPacket = 64;
    v1.bytesPerPacket = 34;
    v1.bytesPerFrame = 68;
    v1.bytesPerSample = 2;
    sounds.emplace_back(reinterpret_cast<UInt8 *>(&v1), reinterpret_cast<UInt8 *>(&v1) + sizeof(v1));
    SoundDescriptionV2 v2{};
    v2.descSize = sizeof(v2);
    v2.dataFormat = 'lpcm';
    v2.dataRefIndex = 1;
    v2.version = 2;
    v2.always3 = 3;
    v2.always16 = 16;
    v2.alwaysMinus2 = -2;
    v2.always65536 = 65536;
    v2.sizeOfStructOnly = 72;
    v2.audioSampleRate = 96000.0;
    v2.numAudioChannels = 2;
    v2.always7F000000 = 0x7F000000;
    v2.constBitsPerChannel = 32;
    v2.formatSpecificFlags = 1;  // float
    v2.constBytesPerAudioPacket = 8;
    v2.constLPCMFramesPerAudioPacket = 1;
    sounds.emplace_back(reinterpret_cast<UInt8 *>(&v2), reinterpret_cast<UInt8 *>(&v2) + sizeof(v2));
  }
  const UInt32 rates[] = {48000, 44100, 96000};
  const UInt32 samples[] = {1000, 640, 500};
  const UInt32 bytes[] = {4000, 680, 4000};
  std::vector<Media> soundMedia;
  for (size_t i = 0; i < 3; ++i) {
    Track t = NewMovieTrack(movie, 0, 0, 0x100);
    Media sm = NewTrackMedia(t, SoundMediaType, TimeScale(rates[i]), nullptr, 0);
    Handle h = NewHandle(Size(sounds[i].size()));
    std::memcpy(*h, sounds[i].data(), sounds[i].size());
    SampleReference64Record r = Ref(5000 + SInt64(i) * 10000, bytes[i], 1, samples[i]);
    ASSERT_EQ(noErr, AddMediaSampleReferences64(sm, reinterpret_cast<SampleDescriptionHandle>(h), 1, &r, nullptr));
    DisposeHandle(h);
    soundMedia.push_back(sm);
  }

  bz_test::TempDir dir;
  std::string path = SaveToFile(movie, dir, "descriptions.mov");
  Movie back = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &back));
  Handle got = NewHandle(0);
  GetMediaSampleDescription(GetTrackMedia(GetMovieIndTrack(back, 1)), 1, reinterpret_cast<SampleDescriptionHandle>(got));
  ASSERT_EQ(Size(sizeof(ImageDescription) + sizeof(extensions)), GetHandleSize(got));
  EXPECT_EQ(0, std::memcmp(*got, *image, size_t(GetHandleSize(got))));
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(::testing::Message() << "sound version " << i);
    Media sm = GetTrackMedia(GetMovieIndTrack(back, SInt32(i) + 2));
    GetMediaSampleDescription(sm, 1, reinterpret_cast<SampleDescriptionHandle>(got));
    ASSERT_EQ(Size(sounds[i].size()), GetHandleSize(got));
    EXPECT_EQ(0, std::memcmp(*got, sounds[i].data(), sounds[i].size()));
    EXPECT_EQ(SInt32(samples[i]), GetMediaSampleCount(sm));
    EXPECT_THAT(RefsAt(sm, 0, 4), ::testing::ElementsAre(IsRef(5000 + SInt64(i) * 10000, bytes[i], 1, samples[i], 0)));
  }
  DisposeHandle(got);
  DisposeHandle(reinterpret_cast<Handle>(image));
  DisposeMovie(back);
  DisposeMovie(movie);
}

TEST(MovieToolboxStorage, CreateRefusesToReplaceUnlessAskedAndDeleteRemoves) {
  bz_test::TempDir dir;
  std::string path = dir.File("Clip.mov");
  ASSERT_TRUE(bz_test::WriteWholeFile(path, {1, 2, 3}));
  Handle dataRef = nullptr;
  OSType type = 0;
  ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type));
  Movie movie = nullptr;
  EXPECT_EQ(dupFNErr, CreateMovieStorage(dataRef, type, 'TVOD', -1, 0, nullptr, &movie));
  EXPECT_EQ(nullptr, movie);
  EXPECT_EQ(std::vector<uint8_t>({1, 2, 3}), bz_test::ReadWholeFile(path));
  ASSERT_EQ(noErr, CreateMovieStorage(dataRef, type, 'TVOD', -1, SInt32(createMovieFileDeleteCurFile), nullptr, &movie));
  EXPECT_TRUE(bz_test::ReadWholeFile(path).empty());
  EXPECT_EQ(600, GetMovieTimeScale(movie));
  DisposeMovie(movie);
  ASSERT_EQ(noErr, DeleteMovieStorage(dataRef, type));
  EXPECT_NE(0, access(path.c_str(), F_OK));
  EXPECT_EQ(fnfErr, DeleteMovieStorage(dataRef, type));
  EXPECT_EQ(fnfErr, NewMovieFromDataRef(&movie, 0, nullptr, dataRef, type));
  DisposeHandle(dataRef);
}

TEST(MovieToolboxStorage, StoringKeepsOneMovieAtomAndNeverWritesAReadOnlyStorage) {
  bz_test::TempDir dir;
  std::string path = dir.File("fixture.mov");
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, bz_test::FixtureMovieSpec{}, &info));
  Handle dataRef = nullptr;
  OSType type = 0;
  ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &dataRef, &type));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, NewMovieFromDataRef(&movie, 0, nullptr, dataRef, type));
  std::vector<uint8_t> before = bz_test::ReadWholeFile(path);

  DataHandler readOnly = nullptr;
  ASSERT_EQ(noErr, OpenMovieStorage(dataRef, type, kDataHCanRead, &readOnly));
  EXPECT_EQ(dataNotOpenForWrite, UpdateMovieInStorage(movie, readOnly));
  ASSERT_EQ(noErr, CloseMovieStorage(readOnly));
  EXPECT_EQ(before, bz_test::ReadWholeFile(path));

  // A store that cannot be completed (the disk fills) leaves the file and its movie as they were.
  DataHandler dh = nullptr;
  ASSERT_EQ(noErr, OpenMovieStorage(dataRef, type, kDataHCanRead | kDataHCanWrite, &dh));
  SetTrackLayer(GetMovieIndTrack(movie, 1), 3);
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = before.size() + 100;
  signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  EXPECT_NE(noErr, UpdateMovieInStorage(movie, dh));
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(before, bz_test::ReadWholeFile(path));
  // Stored: the new movie atom follows the old one, which becomes 'free'.
  ASSERT_EQ(noErr, UpdateMovieInStorage(movie, dh));
  std::vector<uint8_t> stored = bz_test::ReadWholeFile(path);
  EXPECT_EQ(2 * before.size() - size_t(info.mediaDataEnd), stored.size());
  EXPECT_EQ(OSType('free'), PL_GetBE32(stored.data() + info.mediaDataEnd + 4));
  // With media data appended behind it, the old one becomes 'free' and the new one goes to the end.
  std::vector<uint8_t> extra(100, 0x55);
  UInt8 header[8];
  PL_PutBE32(header, 108);
  PL_PutBE32(header + 4, 'mdat');
  std::vector<uint8_t> grown = bz_test::ReadWholeFile(path);
  grown.insert(grown.end(), header, header + 8);
  grown.insert(grown.end(), extra.begin(), extra.end());
  ASSERT_TRUE(bz_test::WriteWholeFile(path, grown));
  ASSERT_EQ(noErr, UpdateMovieInStorage(movie, dh));
  ASSERT_EQ(noErr, CloseMovieStorage(dh));
  std::vector<uint8_t> after = bz_test::ReadWholeFile(path);
  size_t moovCount = 0, freeAt = 0;
  UInt64 offset = 0;
  PL_AtomHeader h;
  while (PL_NextAtom(after.data(), after.size(), &offset, &h, paramErr) == noErr) {
    moovCount += h.type == 'moov';
    if (h.type == 'free') freeAt = size_t(h.offset);
  }
  EXPECT_EQ(1u, moovCount);
  EXPECT_EQ(stored.size() - (before.size() - size_t(info.mediaDataEnd)), freeAt);
  EXPECT_EQ(offset, after.size());
  Movie back = nullptr;
  ASSERT_EQ(noErr, NewMovieFromDataRef(&back, 0, nullptr, dataRef, type));
  EXPECT_EQ(3, GetTrackLayer(GetMovieIndTrack(back, 1)));
  DisposeMovie(back);
  DisposeMovie(movie);
  DisposeHandle(dataRef);
}

TEST(MovieToolboxSamples, SampleReadsHonourTheirLimits) {
  bz_test::TempDir dir;
  std::string path = dir.File("fixture.mov");
  bz_test::FixtureMovieInfo info;
  bz_test::FixtureMovieSpec spec;
  spec.interleave = false;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));
  Media video = GetTrackMedia(GetMovieIndTrack(movie, 1));
  Handle data = NewHandle(0);
  SInt32 size = 0, n = 0;
  // Contiguous frames: several at once when asked, one by default.
  ASSERT_EQ(noErr, GetMediaSample(video, data, 0, &size, 150, nullptr, nullptr, nullptr, nullptr, 3, &n, nullptr));
  EXPECT_EQ(3, n);
  EXPECT_EQ(3 * 3072, size);
  EXPECT_EQ(0, std::memcmp(*data, info.frames[1].data(), 3072));
  ASSERT_EQ(noErr, GetMediaSample(video, data, 0, &size, 150, nullptr, nullptr, nullptr, nullptr, 0, &n, nullptr));
  EXPECT_EQ(1, n);
  // A buffer limit too small is reported with the size needed.
  EXPECT_EQ(maxSizeToGrowTooSmall,
            GetMediaSample(video, data, 1000, &size, 0, nullptr, nullptr, nullptr, nullptr, 1, &n, nullptr));
  EXPECT_EQ(3072, size);
  EXPECT_EQ(invalidTime, GetMediaSample(video, data, 0, &size, 600, nullptr, nullptr, nullptr, nullptr, 1, &n, nullptr));
  // Sound by default: everything up to the read limit at once.
  Media sound = GetTrackMedia(GetMovieIndTrack(movie, 2));
  ASSERT_EQ(noErr, GetMediaSample(sound, data, 0, &size, 0, nullptr, nullptr, nullptr, nullptr, 0, &n, nullptr));
  EXPECT_EQ(11520, n);
  EXPECT_EQ(SInt32(info.sound.size()), size);
  DisposeHandle(data);
  DisposeMovie(movie);
}

}  // namespace
