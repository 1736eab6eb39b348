// Saving a written target movie (read back by ffprobe and ffmpeg, frame for frame), its field information,
// gamma and crop geometry, deleting the files of a cancelled project, disposing the project, and the export
// with its failures and cancel.
#include "engine/closing_saving.h"

#include "engine/runtime/engine_host.h"
#include "engine/tasks/task_runtime.h"
#include "general/memory_lists.h"
#include "movie/export_settings.h"
#include "movie/image_descriptions.h"
#include "platform/movie/exporters.h"
#include "platform/core/matrix_math.h"
#include "support/movie_builders.h"
#include "target_builder.h"

#include <gtest/gtest.h>

#include <dirent.h>

namespace {

using namespace bz_test;

std::vector<std::string> FilesIn(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Joined(const std::vector<std::vector<uint8_t>> &frames) {
  std::string all;
  for (const auto &f : frames) all.append(reinterpret_cast<const char *>(f.data()), f.size());
  return all;
}

class ClosingSaving : public ::testing::Test {
 protected:
  void SetUp() override { host.Install(); }
  void TearDown() override { ReleaseProjectMovies(project.get()); }

  // A '2vuy' source with 16-bit stereo sound, written as the target by the write stage.
  void BuildTwoVuy(const FixtureMovieSpec &spec = FixtureMovieSpec{}) {
    ASSERT_EQ(noErr, WriteFixtureMovie(dir.File("src.mov"), spec, &srcInfo));
    BuildWrittenTarget(project.get(), dir, dir.File("src.mov"));
  }

  // The target's first video description after saving, read from its file.
  Handle SavedDescription() {
    Movie movie = nullptr;
    EXPECT_EQ(noErr, OpenMovieAtPath(dir.File("out.mov"), &movie));
    Handle desc = NewHandle(0);
    if (movie == nullptr) return desc;
    GetMediaSampleDescription(GetTrackMedia(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType)), 1,
                              reinterpret_cast<SampleDescriptionHandle>(desc));
    DisposeMovie(movie);
    return desc;
  }

  TempDir dir;
  CurrentProject project;
  RecordedHost host;
  FixtureMovieInfo srcInfo;
};

TEST_F(ClosingSaving, SavedTwoVuyMovieIsReadByFfmpegFrameForFrame) {
  BuildTwoVuy();
  host.prefs.copySound = false;
  const std::vector<uint8_t> srcBefore = ReadWholeFile(dir.File("src.mov"));
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));
  EXPECT_TRUE(host.Logged(" saved movie first time."));
  EXPECT_TRUE(host.Logged(" saved movie again."));
  EXPECT_TRUE(srcBefore == ReadWholeFile(dir.File("src.mov"))) << "the source must never be written";

  if (!RequireFfmpeg()) return;
  auto v = ProbeStream(dir.File("out.mov"), "v:0");
  EXPECT_EQ("rawvideo", v["codec_name"]);
  EXPECT_EQ("uyvy422", v["pix_fmt"]);
  EXPECT_EQ("48", v["width"]);
  EXPECT_EQ("32", v["height"]);
  EXPECT_EQ("6", v["nb_frames"]);
  EXPECT_EQ("25/1", v["r_frame_rate"]);
  EXPECT_TRUE(ProbeStream(dir.File("out.mov"), "a:0").empty()) << "no sound without the preference";
  EXPECT_TRUE(Joined(srcInfo.frames) == Decode(dir.File("out.mov"), "-map 0:v -f rawvideo -pix_fmt uyvy422"));
}

TEST_F(ClosingSaving, SourceAspectFieldsAndApertureReachTheSavedMovie) {
  if (!RequireFfmpeg()) return;
  // ffmpeg writes 'fiel', 'pasp' and 'clap' into the source's description.
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=64x48:r=25 -t 0.2 -vf setsar=16/15 -field_order tt "
                          "-c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + ShellQuote(dir.File("src.mov"))));
  BuildWrittenTarget(project.get(), dir, dir.File("src.mov"));
  host.prefs.copySound = false;
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));
  auto v = ProbeStream(dir.File("out.mov"), "v:0");
  EXPECT_EQ("16:15", v["sample_aspect_ratio"]);
  // Top field first is written as 'fiel' 2, 9, the value QuickTime's interleaved codecs use; ffmpeg names
  // that detail "tb".
  EXPECT_EQ("tb", v["field_order"]);
  EXPECT_EQ("5", v["nb_frames"]);
  EXPECT_TRUE(Decode(dir.File("src.mov"), "-map 0:v -f rawvideo") == Decode(dir.File("out.mov"), "-map 0:v -f rawvideo"));
}

TEST_F(ClosingSaving, SourceWithTwoVisualTracksGivesOnlyItsMovieMatrix) {
  if (!RequireFfmpeg()) return;
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=s=64x48:r=25 -t 0.2 -vf setsar=16/15 "
                          "-c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy " + ShellQuote(dir.File("src.mov"))));
  BuildWrittenTarget(project.get(), dir, dir.File("src.mov"));
  host.prefs.copySound = false;
  Movie src = project->info.dynMovieInfo.sourceMovie[0];
  InsertWholeMedia(AddBuiltTrack(src, VideoMediaType, 25, Frames({1, 1, 1, 1, 1}, 64 * 48 * 2), 0, 64 << 16, 48 << 16));
  project->info.statMovInfo[0].numVisualTracks = 2;
  MatrixRecord trackMatrix{};
  SetIdentityMatrix(&trackMatrix);
  ScaleMatrix(&trackMatrix, 2 * fixed1, 2 * fixed1, 0, 0);
  SetTrackMatrix(GetMovieIndTrack(src, 1), &trackMatrix);
  MatrixRecord movieMatrix{};
  SetIdentityMatrix(&movieMatrix);
  TranslateMatrix(&movieMatrix, 5 * fixed1, 3 * fixed1);
  SetMovieMatrix(src, &movieMatrix);
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));

  Movie out = nullptr;
  ASSERT_EQ(noErr, OpenMovieAtPath(dir.File("out.mov"), &out));
  MatrixRecord m{};
  GetMovieMatrix(out, &m);
  EXPECT_TRUE(EqualMatrix(&m, &movieMatrix));
  GetTrackMatrix(GetMovieIndTrack(out, 1), &m);
  EXPECT_EQ(GetMatrixType(&m), identityMatrixType) << "the track geometry is not taken";
  Boolean hasPasp = false;
  QT_PaspExt pasp{};
  ASSERT_EQ(noErr, QT_GetPaspData(GetTrackMedia(GetMovieIndTrack(out, 1)), &hasPasp, &pasp));
  EXPECT_FALSE(hasPasp) << "nor the description's extensions";
  DisposeMovie(out);
}

TEST_F(ClosingSaving, FieldInformationOfTheTarget) {
  struct Case {
    const char *name;
    bool userSet;
    bool interlaced;
    bool topFirst;
    bool targetHadFiel;  // the pipeline's description had 'fiel' 2, 14
    int fields;           // 0: no 'fiel' expected
    int detail;
    CodecType output = '2vuy';
    bool sourceFiel = false;  // the source states its fields (bottom first when interlaced)
  };
  const Case cases[] = {
      {"progressive source, nothing set", false, false, false, false, 0, 0},
      {"interlaced without 'fiel', not set by the user", false, true, true, false, 0, 0},
      {"user set top field first", true, true, true, false, 2, 9},
      {"user set bottom field first", true, true, false, false, 2, 14},
      {"user set progressive", true, false, false, false, 1, 0},
      {"target's own field information wins", true, true, true, true, 2, 14},
      // Motion-JPEG names the field order by the fields' order in time.
      {"Motion-JPEG A, user set bottom field first", true, true, false, false, 2, 6, 'mjpa'},
      {"Motion-JPEG B, user set top field first", true, true, true, false, 2, 1, 'mjpb'},
      {"Motion-JPEG A from a bottom-first source", false, true, false, false, 2, 6, 'mjpa', true},
      {"DV from a bottom-first source", false, true, false, false, 2, 14, 'dvcp', true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir caseDir;
    CurrentProject p;
    RecordedHost h;
    h.Install();
    h.prefs.copySound = false;
    h.dlgState.interlaceSetByUser = c.userSet;
    FixtureMovieInfo info;
    FixtureMovieSpec spec;
    spec.withSound = false;
    ASSERT_EQ(noErr, WriteFixtureMovie(caseDir.File("src.mov"), spec, &info));
    BuildWrittenTarget(p.get(), caseDir, caseDir.File("src.mov"));
    p->info.statMovInfo[0].interlaced = c.interlaced && !c.userSet;
    p->info.statMovInfo[0].hasFielExt = c.sourceFiel;
    (**p->info.dynMovieInfo.targetDesc[0]).cType = c.output;
    p->info.settings.input.interlaced = c.interlaced;
    p->info.settings.input.topFieldFirst = c.topFirst;
    if (c.targetHadFiel) {
      QT_FielExt fiel{2, 14};
      ASSERT_EQ(noErr, QT_AddFielExtension(p->info.dynMovieInfo.targetDesc[0], &fiel));
    }
    ASSERT_EQ(noErr, BZ_SaveTargetMovies(p.get()));
    Movie movie = nullptr;
    ASSERT_EQ(noErr, OpenMovieAtPath(caseDir.File("out.mov"), &movie));
    Boolean hasFiel = false, interlaced = false, tff = false;
    Media media = GetTrackMedia(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType));
    ASSERT_EQ(noErr, QT_GetFielData(media, &hasFiel, &interlaced, &tff));
    EXPECT_EQ(c.fields != 0, bool(hasFiel));
    if (c.fields != 0) {
      Handle desc = NewHandle(0);
      GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
      QT_FielExt fiel{};
      ASSERT_EQ(noErr, QT_GetFieldInfo(reinterpret_cast<ImageDescriptionHandle>(desc), &fiel));
      EXPECT_EQ(c.fields, fiel.fields);
      EXPECT_EQ(c.detail, fiel.detail);
      DisposeHandle(desc);
    }
    DisposeMovie(movie);
    ReleaseProjectMovies(p.get());
  }
}

TEST_F(ClosingSaving, GammaOfTheTarget) {
  struct Case {
    const char *name;
    float sourceGamma;
    bool always22;
    bool exported;
    OSType outputCodec;
    double expected;
  };
  const Case cases[] = {
      {"the source's gamma", 1.8f, false, false, '2vuy', 1.8},
      {"always 2.2 by preference", 1.8f, true, false, '2vuy', 2.2},
      {"exported output", 1.8f, false, true, '2vuy', 2.2},
      {"DV output", 1.8f, false, false, 'dvcp', 2.2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir caseDir;
    CurrentProject p;
    RecordedHost h;
    h.Install();
    h.prefs.copySound = false;
    h.prefs.alwaysGamma22 = c.always22;
    FixtureMovieInfo info;
    FixtureMovieSpec spec;
    spec.withSound = false;
    ASSERT_EQ(noErr, WriteFixtureMovie(caseDir.File("src.mov"), spec, &info));
    BuildWrittenTarget(p.get(), caseDir, caseDir.File("src.mov"));
    p->info.statMovInfo[0].gamma = c.sourceGamma;
    p->info.settings.output.export_ = c.exported;
    p->info.settings.output.cType = c.outputCodec;
    ASSERT_EQ(noErr, BZ_SaveTargetMovies(p.get()));
    Movie movie = nullptr;
    ASSERT_EQ(noErr, OpenMovieAtPath(caseDir.File("out.mov"), &movie));
    Handle desc = NewHandle(0);
    GetMediaSampleDescription(GetTrackMedia(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType)), 1,
                              reinterpret_cast<SampleDescriptionHandle>(desc));
    Fixed gamma = 0;
    Boolean hasGama = false;
    ASSERT_EQ(noErr, QT_GetImageDescGammaLevel(reinterpret_cast<ImageDescriptionHandle>(desc), &gamma, &hasGama));
    EXPECT_TRUE(hasGama);
    EXPECT_NEAR(c.expected, Fix2X(gamma), 0.001);
    DisposeHandle(desc);
    DisposeMovie(movie);
    ReleaseProjectMovies(p.get());
  }
}

TEST_F(ClosingSaving, CropBecomesTrackDimensionsAndMatrixOffset) {
  FixtureMovieSpec spec;
  spec.withSound = false;
  BuildTwoVuy(spec);
  host.prefs.copySound = false;
  BZ_InputSett &input = project->info.settings.input;
  input.cropping = true;
  input.cropRect = Rect{2, 4, 6, 8};  // top, left, bottom and right margins
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, OpenMovieAtPath(dir.File("out.mov"), &movie));
  Track track = GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType);
  Fixed width = 0, height = 0;
  GetTrackDimensions(track, &width, &height);
  EXPECT_EQ(48 - 4 - 8, Fix2Long(width));
  EXPECT_EQ(32 - 2 - 6, Fix2Long(height));
  MatrixRecord matrix{};
  GetTrackMatrix(track, &matrix);
  // The cropped picture keeps its place in the source's frame.
  EXPECT_EQ(4, Fix2Long(matrix.matrix[2][0]));
  EXPECT_EQ(2, Fix2Long(matrix.matrix[2][1]));
  DisposeMovie(movie);
}

TEST_F(ClosingSaving, DeletingProjectFilesClosesForksAndLeavesTheSource) {
  BuildTwoVuy();
  BZ_TargetFileData &target = project->info.targetFileData[0];
  FSIORefNum fork = 0;
  ASSERT_EQ(noErr, GL_OpenDataFork(&target.fileRef, fsRdWrPerm, &fork));
  project->dynIO_Info.outputInfo[0].ioParam.forkRefNum = fork;
  // A second target whose file is already gone: ignored.
  WriteText(dir.File("noise.mov"), "x");
  project->info.targetFileData[1].fileRef = RefFor(dir.File("noise.mov"));
  ASSERT_EQ(0, unlink(dir.File("noise.mov").c_str()));
  BZ_DeleteProjectFiles(project.get());
  EXPECT_EQ(0, project->dynIO_Info.outputInfo[0].ioParam.forkRefNum);
  EXPECT_FALSE(Exists(dir.File("out.mov")));
  EXPECT_TRUE(Exists(dir.File("src.mov")));
  EXPECT_NE(noErr, FSCloseFork(fork)) << "the fork is closed";
}

TEST_F(ClosingSaving, DisposingTheProjectKeepsOnlyItsSettings) {
  BuildTwoVuy();
  ReleaseProjectMovies(project.get());
  BZ_ProjInfo &info = project->info;
  info.settings.cleaning = NonDefaultCleaning();
  info.settings.cleaning.removeLogo.numBackGrFrames = info.statMovInfo[0].numFrames;
  info.settings.cleaning.noiseRed.noiseLevel[1] = 4.0f;
  info.settings.output.cType = 'dvcp';
  project->state.exec = kBZ_ProjStateFinished;
  project->state.error = userCanceledErr;
  gBZ.dlgTaskData.frameCacheInfo[3].frameNum = 17;
  gBZ.dlgTaskData.detectedBlackBars = true;
  BZ_DisposeProject(nullptr);
  EXPECT_EQ(kBZ_ProjStateReady, project->state.exec.load());
  EXPECT_EQ(noErr, project->state.error.load());
  EXPECT_EQ(1000, info.settings.cleaning.removeLogo.numBackGrFrames);
  for (float level : info.settings.cleaning.noiseRed.noiseLevel) EXPECT_EQ(0.0f, level);
  EXPECT_EQ(OSType('dvcp'), info.settings.output.cType);
  EXPECT_EQ(0u, info.statMovInfo[0].cType);
  EXPECT_TRUE(IsZeroRef(info.targetFileData[0].fileRef));
  EXPECT_EQ(-1, gBZ.dlgTaskData.frameCacheInfo[3].frameNum);
  EXPECT_FALSE(gBZ.dlgTaskData.detectedBlackBars);
  BZ_CleaninSett expected = NonDefaultCleaning();
  expected.removeLogo.numBackGrFrames = 1000;
  for (float &level : expected.noiseRed.noiseLevel) level = 0.0f;
  ExpectSameCleaning(expected, info.settings.cleaning);
}

TEST(DisposeDlgTaskData, VaryingBrightnessTablesAreFreedWhenPresent) {
  BZ_DlgTaskData data{};
  BZ_DisposeDlgTaskData(&data);  // no method records: nothing to free
  BZ_VbDlgTaskData vb{};
  ASSERT_EQ(GL_NewPtrClear(16 * sizeof(float), &vb.vbFactorsTop), noErr);
  data.vbDlgTaskData = &vb;
  BZ_DisposeDlgTaskData(&data);
  EXPECT_EQ(vb.vbFactorsTop, nullptr);
  EXPECT_EQ(data.vbDlgTaskData, &vb) << "the record itself lives on";
}

TEST_F(ClosingSaving, ExportToDVStreamReplacesTheSavedMovie) {
  if (!RequireFfmpeg()) return;
  BuildTwoVuy();
  host.prefs.copySound = false;
  ASSERT_EQ(noErr, BZ_SaveTargetMovies(project.get()));
  BZ_OutputSett &output = project->info.settings.output;
  output.export_ = true;
  output.exportType = kQTFileTypeDVC;
  ASSERT_EQ(noErr, QT_GetExportComponentDefaultSettByType(kQTFileTypeDVC, 0, &output.videoExportSett));
  ASSERT_EQ(noErr, BZ_MovieExportToDataRef(project.get()));
  EXPECT_EQ(std::vector<std::string>({"out.dv", "src.mov"}), FilesIn(dir.path()));
  auto v = ProbeStream(dir.File("out.dv"), "v:0");
  EXPECT_EQ("dvvideo", v["codec_name"]);
  EXPECT_EQ("720", v["width"]);
  EXPECT_EQ("576", v["height"]);
  EXPECT_TRUE(host.Shown(2083, "Exporting the movie from the temporary file…"));
  EXPECT_FALSE(project->dynIO_Info.exportingVideo);
  QTDisposeAtomContainer(output.videoExportSett);
  output.videoExportSett = nullptr;
}

TEST_F(ClosingSaving, ExportWithoutResultGivesTheCleanedMovieItsNameBack) {
  struct Case {
    const char *name;
    OSType exportType;
    bool recompress;  // settings the QuickTime movie exporter cannot honour
    bool cancel;
    OSStatus expected;
  };
  const Case cases[] = {
      {"no such exporter", 'none', false, false, badComponentType},
      {"exporter fails", 'MooV', true, false, noCodecErr},
      {"user cancels", 'MooV', false, true, noErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir caseDir;
    CurrentProject p;
    RecordedHost h;
    h.Install();
    h.prefs.copySound = false;
    FixtureMovieInfo info;
    FixtureMovieSpec spec;
    spec.withSound = false;
    ASSERT_EQ(noErr, WriteFixtureMovie(caseDir.File("src.mov"), spec, &info));
    BuildWrittenTarget(p.get(), caseDir, caseDir.File("src.mov"));
    ASSERT_EQ(noErr, BZ_SaveTargetMovies(p.get()));
    const std::vector<uint8_t> saved = ReadWholeFile(caseDir.File("out.mov"));
    BZ_OutputSett &output = p->info.settings.output;
    output.export_ = true;
    output.exportType = c.exportType;
    if (c.exportType == 'MooV') {
      ASSERT_EQ(noErr, QT_GetExportComponentDefaultSettByType('MooV', 0, &output.videoExportSett));
      if (c.recompress) {
        ASSERT_EQ(noErr, QT_EnableVideoCompression(output.videoExportSett, true));
        SCSpatialSettings spatial{'jpeg', nullptr, 24, codecNormalQuality};
        Boolean parentFound = false, found = false;
        ASSERT_EQ(noErr, QT_SetSpatialSettingsInExportSettContainer(output.videoExportSett, &spatial, &parentFound, &found));
      }
    }
    if (c.cancel) p->state.error = userCanceledErr;
    EXPECT_EQ(c.expected, BZ_MovieExportToDataRef(p.get()));
    EXPECT_EQ(std::vector<std::string>({"out.mov", "src.mov"}), FilesIn(caseDir.path()));
    EXPECT_TRUE(saved == ReadWholeFile(caseDir.File("out.mov"))) << "the cleaned movie is kept as saved";
    EXPECT_EQ(caseDir.File("out.mov"), PathOf(p->info.targetFileData[0].fileRef));
    EXPECT_EQ(c.cancel, h.Logged("Export canceled"));
    EXPECT_FALSE(p->dynIO_Info.exportingVideo);
    if (output.videoExportSett != nullptr) QTDisposeAtomContainer(output.videoExportSett);
    output.videoExportSett = nullptr;
    ReleaseProjectMovies(p.get());
  }
}

}  // namespace

namespace {

TEST(ExportProgress, OpensWithItsTextAndStopsOnceTheUserCancelled) {
  using namespace bz_test;
  CurrentProject project;
  RecordedHost host;
  host.Install();
  EXPECT_EQ(noErr, BZ_ExportProgressProc(nullptr, movieProgressOpen, progressOpExportMovie, 0, project.get()));
  EXPECT_TRUE(host.Shown(2083, "Exporting the movie from the temporary file…"));
  EXPECT_TRUE(host.Shown(2084, ""));
  EXPECT_EQ(noErr, BZ_ExportProgressProc(nullptr, movieProgressUpdatePercent, progressOpExportMovie, fixed1 / 2, project.get()));
  EXPECT_EQ(500, host.barValues.back());
  project->state.error = userCanceledErr;
  EXPECT_EQ(userCanceledErr,
            BZ_ExportProgressProc(nullptr, movieProgressUpdatePercent, progressOpExportMovie, fixed1, project.get()));
  EXPECT_EQ(500, host.barValues.back());
}

}  // namespace
