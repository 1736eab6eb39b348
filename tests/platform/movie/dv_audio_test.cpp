// Sound inside DV frames: extracted from a movie's DV video samples, equal to ffmpeg's own reading of the
// DV stream's sound; frames without sound and samples that are no DV frames give their errors.
#include "platform/movie/dv_audio.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using bz_test::ShellQuote;

TEST(DVAudio, SoundOfTheFramesEqualsFfmpegsReadingOfTheStream) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  struct Case {
    const char *name;
    const char *size;
    const char *rate;
    int audioRate;
  };
  for (const Case &c : {Case{"pal", "720x576", "25", 48000}, Case{"ntsc", "720x480", "30000/1001", 48000}}) {
    SCOPED_TRACE(c.name);
    std::string dv = dir.File(std::string(c.name) + ".dv"), mov = dir.File(std::string(c.name) + ".mov");
    ASSERT_EQ(0, bz_test::RunCommand(std::string("ffmpeg -v error -y -f lavfi -i testsrc=s=") + c.size + ":r=" + c.rate +
                                     " -f lavfi -i sine=f=440:r=" + std::to_string(c.audioRate) +
                                     " -t 0.4 -ac 2 -c:v dvvideo -pix_fmt " + (std::string(c.name) == "pal" ? "yuv420p" : "yuv411p") +
                                     " -c:a pcm_s16le -f dv " + ShellQuote(dv)));
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + ShellQuote(dv) + " -map 0:v -c copy " + ShellQuote(mov)));
    std::string expected;
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -i " + ShellQuote(dv) + " -map 0:a:0 -f s16be -", &expected));
    ASSERT_FALSE(expected.empty());

    Movie movie = nullptr;
    ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(mov, &movie));
    Media media = GetTrackMedia(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType));
    Handle pcm = NewHandle(0);
    UInt32 rate = 0, frames = 0;
    UInt16 channels = 0;
    ASSERT_EQ(noErr, PL_ExtractDVAudio(media, 0, -1, pcm, &rate, &channels, &frames));
    EXPECT_EQ(UInt32(c.audioRate), rate);
    EXPECT_EQ(2, channels);
    EXPECT_EQ(expected.size() / 4, frames);
    EXPECT_TRUE(expected == std::string(*pcm, size_t(GetHandleSize(pcm))));

    // A stretch: the frames it covers.
    TimeValue frameTime = 0, frameDuration = 0;
    SampleNumToMediaTime(media, 2, &frameTime, &frameDuration);
    ASSERT_EQ(noErr, PL_ExtractDVAudio(media, frameTime, 2 * frameDuration, pcm, &rate, &channels, &frames));
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, expected.size() / 4);
    DisposeHandle(pcm);
    DisposeMovie(movie);
  }
}

TEST(DVAudio, FramesThatAreNoDVGiveAnError) {
  bz_test::TempDir dir;
  bz_test::FixtureMovieSpec spec;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("raw.mov"), spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(dir.File("raw.mov"), &movie));
  Handle pcm = NewHandle(0);
  OSStatus err = PL_ExtractDVAudio(GetTrackMedia(GetMovieIndTrack(movie, 1)), 0, -1, pcm, nullptr, nullptr, nullptr);
  EXPECT_TRUE(err == kPL_DVFramesErr || err == kPL_NoDVAudioErr) << err;
  EXPECT_EQ(0, GetHandleSize(pcm));
  DisposeHandle(pcm);
  DisposeMovie(movie);
}

}  // namespace
