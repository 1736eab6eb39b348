// Sound copy into the saved output: 16-bit stereo sound of a '2vuy' source and the sound inside DV frames
// (through the temporary AIFF file), each read back by ffprobe and decoded by ffmpeg equal to the source's;
// a time-code track referenced by the picture track; the temporary AIFF file's name; all auxiliary slots
// taken.
#include "engine/sound_copy.h"

#include "engine/closing_saving.h"
#include "platform/core/files.h"
#include "platform/core/fixed_math.h"
#include "platform/movie/movie_properties.h"
#include "support/movie_builders.h"
#include "target_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>

namespace {

using namespace bz_test;

bool AnyFileStartingWith(const std::string &dir, const std::string &prefix) {
  bool found = false;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (std::string(e->d_name).rfind(prefix, 0) == 0) found = true;
    closedir(d);
  }
  return found;
}

double Seconds(const std::string &text) { return std::atof(text.c_str()); }

class SoundCopy : public ::testing::Test {
 protected:
  void SetUp() override { host.Install(); }
  void TearDown() override { ReleaseProjectMovies(project.get()); }

  TempDir dir;
  CurrentProject project;
  RecordedHost host;
};

TEST_F(SoundCopy, StereoSixteenBitSoundOfATwoVuySourceArrivesSampleForSample) {
  if (!RequireFfmpeg()) return;
  FixtureMovieSpec spec;
  spec.frames = 10;
  FixtureMovieInfo info;
  ASSERT_EQ(noErr, WriteFixtureMovie(dir.File("src.mov"), spec, &info));
  BuildWrittenTarget(project.get(), dir, dir.File("src.mov"));
  const std::vector<uint8_t> srcBefore = ReadWholeFile(dir.File("src.mov"));
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));
  EXPECT_TRUE(srcBefore == ReadWholeFile(dir.File("src.mov")));
  EXPECT_EQ(nullptr, project->info.dynMovieInfo.targetMovie[0]) << "the copy disposes the movie it saved";

  auto a = ProbeStream(dir.File("out.mov"), "a:0");
  EXPECT_EQ("pcm_s16be", a["codec_name"]);
  EXPECT_EQ("48000", a["sample_rate"]);
  EXPECT_EQ("2", a["channels"]);
  EXPECT_NEAR(0.4, Seconds(a["duration"]), 0.001);
  const std::string src = Decode(dir.File("src.mov"), "-map 0:a -f s16le");
  ASSERT_FALSE(src.empty());
  EXPECT_TRUE(src == Decode(dir.File("out.mov"), "-map 0:a -f s16le"));
  // The pictures are untouched by the copy.
  std::string frames;
  for (const auto &f : info.frames) frames.append(reinterpret_cast<const char *>(f.data()), f.size());
  EXPECT_TRUE(frames == Decode(dir.File("out.mov"), "-map 0:v -f rawvideo -pix_fmt uyvy422"));
  EXPECT_TRUE(host.Shown(2083, "Copying sound…"));
  EXPECT_TRUE(host.Shown(2083, "Sound copy finished."));
  EXPECT_EQ(1000, host.barValues.back());
  EXPECT_TRUE(host.shownErrors.empty());
}

// A disk that fills up at a point of the sound copy (the bytes it still takes after the pictures were saved):
// in the new media data's header, inside the sound, right after it, in its size, in the movie atom. The copy
// ends with -34, never as a success; the track it added is gone, and the movie kept plays in ffmpeg with every
// frame that was written.
class SoundCopyFullDisk : public SoundCopy, public ::testing::WithParamInterface<SInt64> {};

constexpr SInt64 kSoundBytes = 48000 * 4 * 10 / 25;  // 10 frames at 25 fps of 16-bit stereo at 48 kHz

TEST_P(SoundCopyFullDisk, EndsWithTheErrorAndKeepsAPlayableMovieWithoutTheTrack) {
  if (!RequireFfmpeg()) return;
  FixtureMovieSpec spec;
  spec.frames = 10;
  FixtureMovieInfo info;
  ASSERT_EQ(noErr, WriteFixtureMovie(dir.File("src.mov"), spec, &info));
  BuildWrittenTarget(project.get(), dir, dir.File("src.mov"));
  host.prefs.copySound = false;
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));
  const std::vector<uint8_t> srcBefore = ReadWholeFile(dir.File("src.mov"));

  PL_FailWritesAfterBytes(GetParam());
  const OSStatus err = BZ_CopySound(project.get());
  PL_FailWritesAfterBytes(-1);
  EXPECT_EQ(dskFulErr, err);
  EXPECT_TRUE(host.shownErrors.empty()) << "the error is the result, shown once by the caller";
  EXPECT_TRUE(srcBefore == ReadWholeFile(dir.File("src.mov")));

  Movie out = nullptr;
  ASSERT_EQ(noErr, OpenMovieAtPath(dir.File("out.mov"), &out));
  EXPECT_EQ(1, GetMovieTrackCount(out)) << "no sound track, empty or cut short";
  DisposeMovie(out);
  EXPECT_TRUE(ProbeStream(dir.File("out.mov"), "a:0").empty());
  std::string frames;
  for (const auto &f : info.frames) frames.append(reinterpret_cast<const char *>(f.data()), f.size());
  EXPECT_TRUE(frames == Decode(dir.File("out.mov"), "-map 0:v -f rawvideo -pix_fmt uyvy422"));
}

INSTANTIATE_TEST_SUITE_P(Budgets, SoundCopyFullDisk,
                         ::testing::Values(0, 8, 17, 1000, kSoundBytes / 2, kSoundBytes + 15, kSoundBytes + 17,
                                           kSoundBytes + 24, kSoundBytes + 200));

TEST_F(SoundCopy, SoundInsideDVFramesArrivesThroughATemporaryAIFFFile) {
  if (!RequireFfmpeg()) return;
  const std::string dv = dir.File("src.dv"), mov = dir.File("src.mov");
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=720x576:r=25 -f lavfi -i sine=f=440:r=48000 -t 0.4 "
                          "-ac 2 -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -f dv " + ShellQuote(dv)));
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -i " + ShellQuote(dv) + " -map 0:v -c copy " + ShellQuote(mov)));
  BuildWrittenTarget(project.get(), dir, mov);
  AddDVSoundTrack(project->info.dynMovieInfo.sourceMovie[0], 48000);
  const std::vector<uint8_t> srcBefore = ReadWholeFile(mov);
  Movie src = project->info.dynMovieInfo.sourceMovie[0];
  std::vector<bool> enabledBefore;
  for (SInt32 i = 1; i <= GetMovieTrackCount(src); ++i) enabledBefore.push_back(GetTrackEnabled(GetMovieIndTrack(src, i)));

  // The export of the DV sound writes the temporary file beside the output, and the copy removes it.
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));
  EXPECT_FALSE(AnyFileStartingWith(dir.path(), "Temp AIFF file"));
  for (const FSRef &aux : project->info.auxFiles) EXPECT_TRUE(IsZeroRef(aux));
  EXPECT_TRUE(srcBefore == ReadWholeFile(mov));
  EXPECT_TRUE(host.Shown(2083, "Exporting DV sound…"));
  EXPECT_TRUE(host.Shown(2083, "Sound export finished."));
  EXPECT_TRUE(host.shownErrors.empty());
  // The source's tracks are enabled as before.
  for (SInt32 i = 1; i <= GetMovieTrackCount(src); ++i)
    EXPECT_EQ(enabledBefore[size_t(i - 1)], bool(GetTrackEnabled(GetMovieIndTrack(src, i)))) << i;

  auto v = ProbeStream(dir.File("out.mov"), "v:0");
  EXPECT_EQ("dvvideo", v["codec_name"]);
  auto a = ProbeStream(dir.File("out.mov"), "a:0");
  EXPECT_EQ("pcm_s16be", a["codec_name"]);
  EXPECT_EQ("48000", a["sample_rate"]);
  EXPECT_EQ("2", a["channels"]);
  EXPECT_NEAR(0.4, Seconds(a["duration"]), 0.001);
  const std::string expected = Decode(dv, "-map 0:a -f s16le");
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(expected == Decode(dir.File("out.mov"), "-map 0:a -f s16le"));
}

TEST_F(SoundCopy, TimeCodeReferencedByThePictureTrackKeepsItsReference) {
  FixtureMovieSpec spec;
  spec.withSound = false;
  FixtureMovieInfo info;
  ASSERT_EQ(noErr, WriteFixtureMovie(dir.File("src.mov"), spec, &info));
  BuildWrittenTarget(project.get(), dir, dir.File("src.mov"));
  // A time-code track with one sample (its data is the start frame), referred to by the picture track.
  Movie src = project->info.dynMovieInfo.sourceMovie[0];
  Track tc = AddBuiltTrack(src, TimeCodeMediaType, 2500, {BuiltSample{600, 4, true}}, 16);
  InsertWholeMedia(tc);
  ASSERT_EQ(noErr, AddTrackReference(GetMovieIndTrackType(src, 1, VideoMediaType, movieTrackMediaType), tc,
                                     TimeCodeMediaType, nullptr));
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));

  Movie out = nullptr;
  ASSERT_EQ(noErr, OpenMovieAtPath(dir.File("out.mov"), &out));
  Track video = GetMovieIndTrackType(out, 1, VideoMediaType, movieTrackMediaType);
  Track outTc = GetMovieIndTrackType(out, 1, TimeCodeMediaType, movieTrackMediaType);
  ASSERT_NE(nullptr, outTc);
  EXPECT_EQ(outTc, GetTrackReference(video, TimeCodeMediaType, 1));
  DisposeMovie(out);
}

TEST_F(SoundCopy, TemporaryAIFFFileTakesTheNextFreeName) {
  project->info.targetFileData[0].parentRef = RefFor(dir.path());
  WriteText(dir.File("Temp AIFF file"), "taken");
  FSRef aux{};
  ASSERT_EQ(noErr, BZ_CreateTempAIFFfile(project.get(), &aux));
  EXPECT_EQ(dir.File("Temp AIFF file 2"), PathOf(aux));
  EXPECT_EQ("taken", ReadText(dir.File("Temp AIFF file")));
  // A folder that is not there: the reference is cleared.
  project->info.targetFileData[0].parentRef = FSRef{};
  aux = RefFor(dir.File("Temp AIFF file 2"));
  EXPECT_NE(noErr, BZ_CreateTempAIFFfile(project.get(), &aux));
  EXPECT_TRUE(IsZeroRef(aux));
}

TEST_F(SoundCopy, NoFreeAuxiliarySlotFailsTheDVSoundOnly) {
  if (!RequireFfmpeg()) return;
  const std::string dv = dir.File("src.dv"), mov = dir.File("src.mov");
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=720x576:r=25 -f lavfi -i sine=f=440:r=48000 -t 0.2 "
                          "-ac 2 -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -f dv " + ShellQuote(dv)));
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -i " + ShellQuote(dv) + " -map 0:v -c copy " + ShellQuote(mov)));
  BuildWrittenTarget(project.get(), dir, mov);
  AddDVSoundTrack(project->info.dynMovieInfo.sourceMovie[0], 48000);
  for (FSRef &aux : project->info.auxFiles) aux = RefFor(dv);
  // The movie is still saved, without sound, and the failing track's error is the result: a movie without
  // its sound is no success.
  EXPECT_EQ(tmfoErr, BZ_SaveTargetMovies(project.get()));
  EXPECT_TRUE(host.shownErrors.empty()) << "shown once, by the caller";
  EXPECT_TRUE(ProbeStream(dir.File("out.mov"), "a:0").empty());
  EXPECT_EQ("dvvideo", ProbeStream(dir.File("out.mov"), "v:0")["codec_name"]);
  EXPECT_TRUE(Exists(dv));
}

}  // namespace

namespace {

TEST(SoundCopyProgress, TextsBarAndCancelFollowTheProjectState) {
  using namespace bz_test;
  CurrentProject project;
  RecordedHost host;
  host.Install();
  struct Step {
    BZ_ExecuteState exec;
    SInt16 message;
    Fixed percent;
    OSErr result;
    SInt32 item;  // 0: no text expected
    const char *text;
    SInt32 bar;   // -1: no new bar value expected
  };
  const Step steps[] = {
      {kBZ_ProjStateExportingSound, movieProgressOpen, 0, noErr, 2083, "Exporting DV sound…", 0},
      {kBZ_ProjStateExportingSound, movieProgressUpdatePercent, fixed1 / 4, noErr, 0, "", 250},
      {kBZ_ProjStateExportingSound, movieProgressUpdatePercent, fixed1 / 4, noErr, 0, "", -1},  // unchanged
      {kBZ_ProjStateExportingSound, movieProgressUpdatePercent, fixed1 * 2, noErr, 0, "", 1000},  // clamped
      {kBZ_ProjStateExportingSound, movieProgressClose, fixed1, noErr, 2083, "Sound export finished.", -1},
      {kBZ_ProjStateCopyingSound, movieProgressOpen, 0, noErr, 2083, "Copying sound…", 0},
      {kBZ_ProjStateCanceled, movieProgressUpdatePercent, fixed1 / 2, userCanceledErr, 0, "", -1},
      {kBZ_ProjStateCopyingSound, movieProgressClose, fixed1, noErr, 2083, "Sound copy finished.", -1},
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(std::to_string(s.message) + " in state " + std::to_string(s.exec));
    project->state.exec = s.exec;
    host.texts.clear();
    const size_t bars = host.barValues.size();
    EXPECT_EQ(s.result, BZ_SoundExportProgressProc(nullptr, s.message, progressOpExportMovie, s.percent, project.get()));
    if (s.item != 0) {
      EXPECT_TRUE(host.Shown(s.item, s.text));
    }
    if (s.bar >= 0) {
      ASSERT_EQ(bars + 1, host.barValues.size());
      EXPECT_EQ(s.bar, host.barValues.back());
    } else {
      EXPECT_EQ(bars, host.barValues.size());
    }
  }
}

}  // namespace
