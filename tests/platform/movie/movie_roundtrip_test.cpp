// Movies written by our writer read back identically through our reader, and other programs read them.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using bz_test::FixtureMovieInfo;
using bz_test::FixtureMovieSpec;

// The movie atom our writer makes for an opened movie, as stored in the file itself.
std::vector<UInt8> MovieAtomOf(Movie movie) {
  std::vector<UInt8> atom;
  EXPECT_EQ(noErr, PL_BuildMovieAtom(movie, movie->defaultPath, &atom));
  return atom;
}

struct OpenedFixture {
  bz_test::TempDir dir;
  std::string path = dir.File("fixture.mov");
  FixtureMovieInfo info;
  Movie movie = nullptr;
  ~OpenedFixture() { DisposeMovie(movie); }
};

void WriteAndOpen(OpenedFixture *f, const FixtureMovieSpec &spec = FixtureMovieSpec{}) {
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(f->path, spec, &f->info));
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(f->path, &f->movie));
}

TEST(MovieRoundTrip, FixtureReadsBackWithItsTracksTimesAndReferences) {
  OpenedFixture f;
  WriteAndOpen(&f);
  Movie movie = f.movie;
  EXPECT_EQ(600, GetMovieTimeScale(movie));
  EXPECT_EQ(144, GetMovieDuration(movie));  // 6 frames of 1/25 s at 600
  ASSERT_EQ(2, GetMovieTrackCount(movie));

  Track video = GetMovieIndTrack(movie, 1);
  Media vm = GetTrackMedia(video);
  OSType type = 0;
  GetMediaHandlerDescription(vm, &type, nullptr, nullptr);
  EXPECT_EQ(OSType(VideoMediaType), type);
  EXPECT_EQ(2500, GetMediaTimeScale(vm));
  EXPECT_EQ(600, GetMediaDuration(vm));
  EXPECT_EQ(6, GetMediaSampleCount(vm));
  Fixed w = 0, h = 0;
  GetTrackDimensions(video, &w, &h);
  EXPECT_EQ(48 << 16, w);
  EXPECT_EQ(32 << 16, h);
  EXPECT_TRUE(GetTrackEnabled(video));

  // Interleaved sound splits the frames: one record per frame, at the offsets written.
  for (int frame = 0; frame < 6; ++frame) {
    SampleReference64Record refs[4];
    SInt32 count = 0, descIndex = 0;
    TimeValue sampleTime = 0;
    ASSERT_EQ(noErr, GetMediaSampleReferences64(vm, frame * 100 + 50, &sampleTime, nullptr, &descIndex, 1, &count, refs));
    ASSERT_EQ(1, count);
    EXPECT_EQ(frame * 100, sampleTime);
    EXPECT_EQ(1, descIndex);
    EXPECT_EQ(f.info.frameOffsets[size_t(frame)], refs[0].dataOffset);
    EXPECT_EQ(48u * 32 * 2, refs[0].dataSize);
    EXPECT_EQ(100, refs[0].durationPerSample);
    EXPECT_EQ(1u, refs[0].numberOfSamples);
  }

  Track sound = GetMovieIndTrack(movie, 2);
  Media sm = GetTrackMedia(sound);
  GetMediaHandlerDescription(sm, &type, nullptr, nullptr);
  EXPECT_EQ(OSType(SoundMediaType), type);
  EXPECT_EQ(48000, GetMediaTimeScale(sm));
  EXPECT_EQ(11520, GetMediaDuration(sm));
  EXPECT_EQ(11520, GetMediaSampleCount(sm));
  SoundDescriptionHandle sd = reinterpret_cast<SoundDescriptionHandle>(NewHandle(0));
  GetMediaSampleDescription(sm, 1, reinterpret_cast<SampleDescriptionHandle>(sd));
  ASSERT_EQ(noErr, GetMoviesError());
  EXPECT_EQ(OSType('twos'), (**sd).dataFormat);
  EXPECT_EQ(2, (**sd).numChannels);
  EXPECT_EQ(16, (**sd).sampleSize);
  DisposeHandle(reinterpret_cast<Handle>(sd));
}

TEST(MovieRoundTrip, MovieAtomIsStableThroughWriteAndRead) {
  OpenedFixture f;
  WriteAndOpen(&f);
  std::vector<UInt8> first = MovieAtomOf(f.movie);
  // The file's movie atom is the last thing in it.
  std::vector<uint8_t> file = bz_test::ReadWholeFile(f.path);
  ASSERT_GE(file.size(), first.size());
  EXPECT_EQ(0, std::memcmp(file.data() + file.size() - first.size(), first.data(), first.size()));
  EXPECT_EQ(size_t(f.info.mediaDataEnd) + first.size(), file.size());
}

TEST(MovieRoundTrip, SampleDataReadsBackThroughTheMedia) {
  OpenedFixture f;
  WriteAndOpen(&f);
  Media vm = GetTrackMedia(GetMovieIndTrack(f.movie, 1));
  Handle data = NewHandle(0);
  for (int frame = 0; frame < 6; ++frame) {
    SInt32 size = 0, n = 0;
    ASSERT_EQ(noErr, GetMediaSample(vm, data, 0, &size, frame * 100, nullptr, nullptr, nullptr, nullptr, 0, &n, nullptr));
    ASSERT_EQ(1, n);
    ASSERT_EQ(SInt32(f.info.frames[size_t(frame)].size()), size);
    EXPECT_EQ(0, std::memcmp(*data, f.info.frames[size_t(frame)].data(), size_t(size))) << "frame " << frame;
  }
  Media sm = GetTrackMedia(GetMovieIndTrack(f.movie, 2));
  std::vector<uint8_t> sound;
  for (TimeValue t = 0; t < GetMediaDuration(sm);) {
    SInt32 size = 0, n = 0;
    ASSERT_EQ(noErr, GetMediaSample(sm, data, 0, &size, t, nullptr, nullptr, nullptr, nullptr, 0, &n, nullptr));
    ASSERT_GT(n, 0);
    sound.insert(sound.end(), *data, *data + size);
    t += n;
  }
  EXPECT_EQ(f.info.sound, sound);
  DisposeHandle(data);
}

TEST(MovieRoundTrip, OtherProgramsReadOurMovie) {
  if (!bz_test::RequireFfmpeg()) return;
  OpenedFixture f;
  WriteAndOpen(&f);
  auto v = bz_test::ProbeStream(f.path, "v:0");
  EXPECT_EQ("rawvideo", v["codec_name"]);
  EXPECT_EQ("2vuy", v["codec_tag_string"]);
  EXPECT_EQ("48", v["width"]);
  EXPECT_EQ("32", v["height"]);
  EXPECT_EQ("6", v["nb_frames"]);
  EXPECT_EQ("6", v["nb_read_frames"]);
  EXPECT_EQ("0.240000", v["duration"]);
  EXPECT_EQ("25/1", v["r_frame_rate"]);
  auto a = bz_test::ProbeStream(f.path, "a:0");
  EXPECT_EQ("pcm_s16be", a["codec_name"]);
  EXPECT_EQ("48000", a["sample_rate"]);
  EXPECT_EQ("2", a["channels"]);
  EXPECT_EQ("0.240000", a["duration"]);

  std::string frames = f.dir.File("frames.raw"), pcm = f.dir.File("sound.pcm");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + bz_test::ShellQuote(f.path) +
                                   " -map 0:v:0 -f rawvideo -pix_fmt uyvy422 " + bz_test::ShellQuote(frames) +
                                   " -map 0:a:0 -f s16be " + bz_test::ShellQuote(pcm)));
  std::vector<uint8_t> expected;
  for (const auto &frame : f.info.frames) expected.insert(expected.end(), frame.begin(), frame.end());
  EXPECT_EQ(expected, bz_test::ReadWholeFile(frames));
  EXPECT_EQ(f.info.sound, bz_test::ReadWholeFile(pcm));
}

}  // namespace
