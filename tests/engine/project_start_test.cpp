// The start of a project without a window: the target movie file with its 16-byte header, its track, media
// and description, the sample-reference state, the dialog's and the shell's steps in order, state executing
// and the run message to the main task; a failing step deleting what was made; the codec a compression uses.
#include "engine/project_start.h"

#include "engine/runtime/engine_host.h"
#include "engine/write_stage.h"
#include "platform/core/cf_string.h"
#include "platform/core/fixed_math.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using bz_test::FromWord;

struct StartHost {
  std::vector<BZ_ProjectStartStep> steps;
  std::vector<std::string> log;
  BZ_ProjectStartStep failingStep = BZ_ProjectStartStep(0);
  OSStatus failError = noErr;
};
StartHost *gStartHost = nullptr;

OSStatus StartStep(void *, BZ_ProjectStartStep step) {
  gStartHost->steps.push_back(step);
  return step == gStartHost->failingStep ? gStartHost->failError : noErr;
}
OSStatus Log(void *, CFStringRef text) {
  char line[256] = {};
  CFStringGetCString(text, line, sizeof line, kCFStringEncodingUTF8);
  gStartHost->log.push_back(line);
  return noErr;
}

class ProjectStart : public ::testing::Test {
 protected:
  void SetUp() override {
    gStartHost = &host_;
    BZ_EngineHost host{};
    host.projectStartStep = StartStep;
    host.setProjectMessageInLog = Log;
    BZ_SetEngineHost(&host);
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, 6, 16, 5, '2vuy');
    movies[0].movieTimeScale = 600;
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);
    project_->info.settings.output.cType = '2vuy';
    BZ_TargetFileData &target = project_->info.targetFileData[0];
    target.parentRef = bz_test::RefFor(dir_.path());
    target.fileName = bz_test::Name("cleaned.mov");
    ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.inputQueue), noErr);
  }
  void TearDown() override {
    for (SInt32 i = 0; i < 2; ++i) {
      BZ_CloseTargetFile(project_.get(), i);
      BZ_DynMovieInfo &dyn = project_->info.dynMovieInfo;
      if (dyn.targetDesc[i] != nullptr) DisposeHandle(reinterpret_cast<Handle>(dyn.targetDesc[i]));
      if (dyn.targetMovie[i] != nullptr) DisposeMovie(dyn.targetMovie[i]);
      MP_DeleteSemaphore(&project_->dynIO_Info.outputInfo[i].sampleRefsSemaphore);
    }
    MP_DeleteQueue(&gBZ.mainTaskData.inputQueue);
    gStartHost = nullptr;
  }

  // The message on the main task's input queue, or none (code -1).
  intptr_t RunMessage() {
    void *sender = nullptr, *project = nullptr, *code = nullptr;
    if (MPWaitOnQueue(gBZ.mainTaskData.inputQueue, &sender, &project, &code, kDurationImmediate) != noErr) return -1;
    EXPECT_EQ(FromWord(sender), kBZ_MainThreadTaskType);
    EXPECT_EQ(project, project_.get());
    return FromWord(code);
  }

  static void ExpectHeaderOnly(const std::string &path) {
    const std::vector<uint8_t> bytes = bz_test::ReadWholeFile(path);
    const std::vector<uint8_t> header = {0, 0, 0, 8, 'w', 'i', 'd', 'e', 0, 0, 0, 8, 'm', 'd', 'a', 't'};
    EXPECT_EQ(bytes, header) << path;
  }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
  StartHost host_;
  bz_test::CurrentProject project_;
};

TEST_F(ProjectStart, CreatesTheTargetAndAsksTheMainTaskToRun) {
  ASSERT_EQ(BZ_StartProject(), noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateExecuting);
  EXPECT_EQ(RunMessage(), kBZ_RunProjectMessage);
  EXPECT_EQ(BZ_GetNumProjects(), 1);

  ExpectHeaderOnly(dir_.File("cleaned.mov"));
  const BZ_DynMovieInfo &dyn = project_->info.dynMovieInfo;
  ASSERT_NE(dyn.targetTrack[0], nullptr);
  ASSERT_NE(dyn.targetMedia[0], nullptr);
  Fixed w = 0, h = 0;
  GetTrackDimensions(dyn.targetTrack[0], &w, &h);
  EXPECT_EQ(Fix2Long(w), 16);
  EXPECT_EQ(Fix2Long(h), 6);
  EXPECT_EQ(GetMediaTimeScale(dyn.targetMedia[0]), 600);
  ASSERT_NE(dyn.targetDesc[0], nullptr);
  EXPECT_EQ((*dyn.targetDesc[0])->cType, CodecType('2vuy'));
  EXPECT_EQ((*dyn.targetDesc[0])->width, 16);
  EXPECT_EQ((*dyn.targetDesc[0])->height, 6);

  const BZ_DynOutputInfo &out = project_->dynIO_Info.outputInfo[0];
  EXPECT_NE(out.ioParam.forkRefNum, 0) << "the fork is open for the write stage";
  EXPECT_NE(out.sampleRefsSemaphore, nullptr);
  EXPECT_EQ(out.recordNum, -1);
  EXPECT_EQ(out.sampleRefs[0].dataOffset, 16);
  EXPECT_EQ(out.numFrames, 0);

  EXPECT_EQ(host_.steps, (std::vector<BZ_ProjectStartStep>{kBZ_StartStepSaveSettings, kBZ_StartStepStopAnalysis,
                                                            kBZ_StartStepCloseWindows, kBZ_StartStepDeactivate,
                                                            kBZ_StartStepReinitProgress,
                                                            kBZ_StartStepSaveOutlierEdits}));
  EXPECT_EQ(host_.log, std::vector<std::string>{" project started."});
}

TEST_F(ProjectStart, CroppedPictureSetsTheTargetSize) {
  BZ_InputSett &input = project_->info.settings.input;
  input.cropping = true;
  input.cropRect = Rect{1, 2, 1, 4};
  ASSERT_EQ(BZ_StartProject(), noErr);
  Fixed w = 0, h = 0;
  GetTrackDimensions(project_->info.dynMovieInfo.targetTrack[0], &w, &h);
  EXPECT_EQ(Fix2Long(w), 10);
  EXPECT_EQ(Fix2Long(h), 4);
}

TEST_F(ProjectStart, NoiseMovieGetsItsOwnFileBesideTheTarget) {
  project_->info.settings.output.makeNoiseMovie = true;
  ASSERT_EQ(BZ_StartProject(), noErr);
  const BZ_TargetFileData &noise = project_->info.targetFileData[1];
  ASSERT_FALSE(bz_test::IsZeroRef(noise.fileRef));
  const std::string path = bz_test::PathOf(noise.fileRef);
  EXPECT_NE(path, dir_.File("cleaned.mov"));
  ExpectHeaderOnly(path);
  EXPECT_NE(project_->dynIO_Info.outputInfo[1].ioParam.forkRefNum, 0);
  EXPECT_EQ((*project_->info.dynMovieInfo.targetDesc[1])->cType, CodecType('2vuy'));
}

struct FailingStep {
  const char *name;
  BZ_ProjectStartStep step;
  OSStatus error;
  bool filesKept;
};
void PrintTo(const FailingStep &f, std::ostream *os) { *os << f.name; }

class ProjectStartFailure : public ProjectStart, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(ProjectStartFailure, FailingStepEndsTheStartWithItsError) {
  const FailingStep &f = GetParam();
  host_.failingStep = f.step;
  host_.failError = f.error;
  EXPECT_EQ(BZ_StartProject(), f.error);
  EXPECT_EQ(RunMessage(), -1) << "the main task is not asked to run";
  EXPECT_NE(project_->state.exec, kBZ_ProjStateExecuting);
  EXPECT_EQ(bz_test::Exists(dir_.File("cleaned.mov")), f.filesKept);
  if (!f.filesKept) {
    EXPECT_EQ(project_->dynIO_Info.outputInfo[0].ioParam.forkRefNum, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProjectStartFailure,
    ::testing::Values(FailingStep{"DeactivatingDeletesTheNewFile", kBZ_StartStepDeactivate, paramErr, false},
                      FailingStep{"ReinitialisingDeletesTheNewFile", kBZ_StartStepReinitProgress, memFullErr, false},
                      FailingStep{"FullDiskKeepsTheFiles", kBZ_StartStepReinitProgress, dskFulErr, true},
                      FailingStep{"StoppingTheAnalysisIsReportedAsItIs", kBZ_StartStepStopAnalysis, -128, true}),
    [](const ::testing::TestParamInfo<FailingStep> &info) { return std::string(info.param.name); });

// Free bytes of the folder's volume, as the check sees them.
SInt64 FreeBytes(const std::string &folder) {
  struct statvfs v {};
  if (statvfs(folder.c_str(), &v) != 0) return -1;
  return SInt64(v.f_bavail) * SInt64(v.f_frsize);
}

TEST_F(ProjectStart, MovieLargerThanTheVolumeIsRefusedBeforeAnyFileIsMade) {
  project_.statMovInfo()[0].numFrames = 0x7FFFFFFF;
  project_.statMovInfo()[0].height = 2048;
  project_.statMovInfo()[0].width = 4096;
  EXPECT_EQ(BZ_StartProject(), kBZ_NoFreeSpaceForTargetFileErr);
  EXPECT_FALSE(bz_test::Exists(dir_.File("cleaned.mov")));
  EXPECT_EQ(RunMessage(), -1);
  EXPECT_NE(project_->state.exec, kBZ_ProjStateExecuting);
}

TEST_F(ProjectStart, ExportThatFitsOnlyCompressedSwitchesToMotionJpeg) {
  const SInt64 free = FreeBytes(dir_.path());
  ASSERT_GT(free, 0);
  BZ_StatMovInfo &src = project_.statMovInfo()[0];
  src.height = 576;
  src.width = 720;
  // Twice the free space uncompressed, about a third of it as M-JPEG.
  src.numFrames = SInt32(std::min<SInt64>(2 * free / (576 * 720 * 2) + 1, 0x7FFFFFFF));
  if (SInt64(src.numFrames) * 144000 >= free / 2) GTEST_SKIP() << "volume too large for this check";
  BZ_OutputSett &output = project_->info.settings.output;
  output.export_ = true;
  output.cType = '2vuy';
  EXPECT_EQ(BZ_CheckFreeSpace(), noErr);
  EXPECT_EQ(output.cType, CodecType('mjpa'));
  EXPECT_EQ(project_->info.targetFileData[0].estimatedSize, SInt64(src.numFrames) * SInt64(576 * 0.3472222222222222 * 720));
}

TEST(ProjectStartCodec, CompressionCodecFollowsTheOutputAndThePicture) {
  struct Case {
    CodecType cType;
    SInt32 height;
    Boolean interlaced;
    CodecType expected;
    CodecQ quality;
  };
  const Case cases[] = {
      {'dvc ', 576, true, 'dvcp', codecMaxQuality},   // PAL DV
      {'dvcp', 576, true, 'dvcp', codecMaxQuality},
      {'dvc ', 480, true, 'dvc ', codecMaxQuality},   // NTSC DV keeps its type
      {'mjpa', 576, false, 'jpeg', codecHighQuality},  // progressive M-JPEG is plain JPEG
      {'mjpa', 576, true, 'mjpa', codecHighQuality},
      {'icod', 576, true, 'icod', codecHighQuality},
      {'jpeg', 576, true, 'jpeg', codecMaxQuality},   // not DV: 576 lines change nothing
      {'avc1', 576, false, 'avc1', codecMaxQuality},
  };
  for (const Case &c : cases) {
    CodecType type = 0;
    CodecQ quality = 0;
    BZ_GetCompressionCodec(c.cType, c.height, c.interlaced, &type, &quality);
    EXPECT_EQ(type, c.expected) << std::hex << c.cType << " " << std::dec << c.height;
    EXPECT_EQ(quality, c.quality) << std::hex << c.cType;
  }
}

}  // namespace
