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

// A host that records the dialog's and the shell's routines in the order the engine calls them, and can make
// one of them fail.
struct StartHost {
  std::vector<std::string> calls;
  std::vector<std::string> log;
  std::string failing;
  OSStatus failError = noErr;
  bool previewOpen = false;
  bool exampleOpen = false;
  FSRef savedPrevOutputFolder{};
  BZ_ProjPtr infoProject = nullptr;
};
StartHost *gStartHost = nullptr;

OSStatus Call(const char *name) {
  gStartHost->calls.push_back(name);
  return gStartHost->failing == name ? gStartHost->failError : noErr;
}
WindowRef FakeWindow(int n) { return reinterpret_cast<WindowRef>(uintptr_t(0x1000 + n)); }
WindowRef GetProjDlgWindow(void *) { return FakeWindow(1); }
WindowRef GetPreviewWindow(void *) { return gStartHost->previewOpen ? FakeWindow(3) : nullptr; }
WindowRef GetExampleWindow(void *) { return gStartHost->exampleOpen ? FakeWindow(6) : nullptr; }
OSStatus ProjDlgSaveProjSett(void *, WindowRef w) {
  EXPECT_EQ(w, FakeWindow(1));
  return Call("projDlgSaveProjSett");
}
void SaveAppPrefs(void *, const BZ_AppPrefs *prefs) {
  Call("saveAppPrefs");
  gStartHost->savedPrevOutputFolder = prefs->prevOutputFolder;
}
OSStatus StopMovieAnalysis(void *, Boolean *, Boolean waiting) {
  EXPECT_TRUE(waiting) << "the start waits until the analysis has stopped";
  return Call("stopMovieAnalysis");
}
OSStatus ClosePreview(void *, WindowRef w) {
  EXPECT_EQ(w, FakeWindow(3));
  return Call("closePreview");
}
OSStatus SendWindowCloseEvent(void *, WindowRef w) {
  EXPECT_EQ(w, FakeWindow(6));
  return Call("closeExample");
}
OSStatus ReactivateControls(void *, WindowRef, Boolean activate) {
  return Call(activate ? "activateControls" : "deactivateControls");
}
OSStatus ReinitDialog(void *, WindowRef) { return Call("reinitDialog"); }
OSStatus ReinitProgress(void *, BZ_ProjPtr) { return Call("reinitProgress"); }
OSStatus SetProgressIndicatorState(void *, WindowRef, HIViewID item, Boolean determinate) {
  EXPECT_EQ(item.signature, OSType('Orl1'));
  EXPECT_EQ(item.id, 2082);
  EXPECT_TRUE(determinate);
  return Call("progressBarDeterminate");
}
OSStatus ActivateDialogItem(void *, WindowRef, HIViewID item, Boolean activate) {
  EXPECT_EQ(item.id, 2002);
  EXPECT_FALSE(activate);
  return Call("deactivatePreviewButton");
}
OSStatus SaveOutlierEdits(void *, BZ_OuDlgTaskData *) { return Call("saveOutlierEdits"); }
OSStatus SetProjectInfoInLog(void *, BZ_ProjPtr project) {
  gStartHost->infoProject = project;
  return Call("projectInfoInLog");
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
    host.getProjDlgWindow = GetProjDlgWindow;
    host.getPreviewWindow = GetPreviewWindow;
    host.getExampleWindow = GetExampleWindow;
    host.projDlgSaveProjSett = ProjDlgSaveProjSett;
    host.saveAppPrefs = SaveAppPrefs;
    host.stopMovieAnalysis = StopMovieAnalysis;
    host.closePreview = ClosePreview;
    host.sendWindowCloseEvent = SendWindowCloseEvent;
    host.reactivateControls = ReactivateControls;
    host.reinitDialog = ReinitDialog;
    host.reinitProgress = ReinitProgress;
    host.setProgressIndicatorStateByID = SetProgressIndicatorState;
    host.activateDialogItemByID = ActivateDialogItem;
    host.saveOutlierEditListFinalDontAsk = SaveOutlierEdits;
    host.setProjectInfoInLog = SetProjectInfoInLog;
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

  EXPECT_EQ(host_.calls,
            (std::vector<std::string>{"projDlgSaveProjSett", "saveAppPrefs", "stopMovieAnalysis",
                                      "deactivateControls", "reinitProgress", "progressBarDeterminate",
                                      "deactivatePreviewButton", "saveOutlierEdits", "projectInfoInLog"}));
  EXPECT_EQ(host_.log, std::vector<std::string>{" project started."});
  EXPECT_EQ(host_.infoProject, project_.get());
  EXPECT_EQ(bz_test::PathOf(host_.savedPrevOutputFolder), bz_test::PathOf(project_->info.targetFileData[0].parentRef))
      << "the target's folder becomes the previous output folder";
}

TEST_F(ProjectStart, OpenPreviewAndExampleWindowsAreClosedAfterTheAnalysisStopped) {
  host_.previewOpen = true;
  host_.exampleOpen = true;
  // The preview only shows: a failure to close it does not stop the project.
  host_.failing = "closePreview";
  host_.failError = paramErr;
  ASSERT_EQ(BZ_StartProject(), noErr);
  const std::vector<std::string> head(host_.calls.begin(), host_.calls.begin() + 6);
  EXPECT_EQ(head, (std::vector<std::string>{"projDlgSaveProjSett", "saveAppPrefs", "stopMovieAnalysis",
                                            "closePreview", "closeExample", "deactivateControls"}));
  EXPECT_EQ(RunMessage(), kBZ_RunProjectMessage);
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
  const char *step;
  OSStatus error;
  bool cleanedUp;  // files deleted, project disposed, dialog re-initialised
};
void PrintTo(const FailingStep &f, std::ostream *os) { *os << f.name; }

class ProjectStartFailure : public ProjectStart, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(ProjectStartFailure, FailingStepEndsTheStartWithItsError) {
  const FailingStep &f = GetParam();
  host_.exampleOpen = true;
  host_.failing = f.step;
  host_.failError = f.error;
  project_->info.settings.output.makeNoiseMovie = true;
  EXPECT_EQ(BZ_StartProject(), f.error);
  EXPECT_EQ(RunMessage(), -1) << "the main task is not asked to run";
  EXPECT_NE(project_->state.exec, kBZ_ProjStateExecuting);
  EXPECT_EQ(bz_test::Exists(dir_.File("cleaned.mov")), !f.cleanedUp);
  EXPECT_TRUE(host_.log.empty()) << "nothing is logged as started";
  const bool reinitialised = std::count(host_.calls.begin(), host_.calls.end(), "reinitDialog") == 1;
  EXPECT_EQ(reinitialised, f.cleanedUp);
  if (f.cleanedUp) {
    EXPECT_EQ(project_->state.exec, kBZ_ProjStateReady);
    EXPECT_EQ(project_->dynIO_Info.outputInfo[0].ioParam.forkRefNum, 0);
    EXPECT_EQ(project_->info.dynMovieInfo.targetMovie[0], nullptr);
    EXPECT_EQ(project_->info.settings.output.makeNoiseMovie, true) << "the settings survive";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProjectStartFailure,
    ::testing::Values(
        FailingStep{"SavingTheSettingsMadeNoFileYet", "projDlgSaveProjSett", paramErr, true},
        FailingStep{"StoppingTheAnalysisIsReportedAsItIs", "stopMovieAnalysis", -128, false},
        FailingStep{"ClosingTheExampleCleansUp", "closeExample", paramErr, true},
        FailingStep{"DeactivatingDeletesTheNewFile", "deactivateControls", paramErr, true},
        FailingStep{"ReinitialisingDeletesTheNewFile", "reinitProgress", memFullErr, true},
        FailingStep{"ProgressBarDeletesTheNewFile", "progressBarDeterminate", errUnknownControl, true},
        FailingStep{"PreviewButtonDeletesTheNewFile", "deactivatePreviewButton", errUnknownControl, true},
        FailingStep{"SavingOutlierEditsDeletesTheNewFile", "saveOutlierEdits", ioErr, true},
        FailingStep{"FullDiskKeepsTheFiles", "reinitProgress", dskFulErr, false}),
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

TEST(ProjectStartCodec, CompressionCodecFollowsTheOutputAndTheSourcesSystem) {
  struct Case {
    CodecType cType;
    Boolean pal;
    Boolean interlaced;
    CodecType expected;
    CodecQ quality;
  };
  const Case cases[] = {
      {'dvc ', true, true, 'dvcp', codecMaxQuality},   // DV25 of a PAL source is PAL DV
      {'dvcp', true, true, 'dvcp', codecMaxQuality},
      {'dvc ', false, true, 'dvc ', codecMaxQuality},  // of an NTSC source, NTSC DV
      {'dvcp', false, true, 'dvc ', codecMaxQuality},  // whatever system the type asked names
      {'dv5p', true, true, 'dv5p', codecMaxQuality},   // DVCPRO50 stays DVCPRO50
      {'dv5n', true, true, 'dv5p', codecMaxQuality},
      {'dv5p', false, true, 'dv5n', codecMaxQuality},
      {'dvpp', true, true, 'dvpp', codecMaxQuality},   // DVCPRO is PAL only
      {'dvpp', false, true, 'dvc ', codecMaxQuality},
      {'mjpa', true, false, 'jpeg', codecHighQuality},  // progressive M-JPEG is plain JPEG
      {'mjpa', true, true, 'mjpa', codecHighQuality},
      {'icod', true, true, 'icod', codecHighQuality},
      {'jpeg', true, true, 'jpeg', codecMaxQuality},   // not DV: the system changes nothing
      {'avc1', false, false, 'avc1', codecMaxQuality},
  };
  for (const Case &c : cases) {
    CodecType type = 0;
    CodecQ quality = 0;
    BZ_GetCompressionCodec(c.cType, c.pal, c.interlaced, &type, &quality);
    EXPECT_EQ(type, c.expected) << std::hex << c.cType << (c.pal ? " PAL" : " NTSC");
    EXPECT_EQ(quality, c.quality) << std::hex << c.cType;
  }
}

// The television system comes from the frame rate (the movie keeps it); only without one from the lines.
TEST(ProjectStartCodec, PALSourcesByFrameRateThenLines) {
  struct Case {
    float avFrameDuration;
    TimeValue frameDuration;
    TimeScale timeScale;
    SInt32 height;
    Boolean pal;
  };
  const Case cases[] = {
      {0.04f, 0, 0, 560, true},            // PAL cropped to 560 lines
      {0.02f, 0, 0, 720, true},            // 50 frames a second
      {1001.0f / 30000, 0, 0, 576, false}, // a 576-line picture at 29.97 frames a second is NTSC
      {0, 100, 2500, 480, true},           // the frame duration when the average is not known
      {0, 1001, 30000, 576, false},
      {0, 0, 0, 576, true},                // no rate: the lines decide
      {0, 0, 0, 480, false},
  };
  for (const Case &c : cases) {
    BZ_StatMovInfo source{};
    source.avFrameDuration = c.avFrameDuration;
    source.frameDuration = c.frameDuration;
    source.movieTimeScale = c.timeScale;
    source.height = c.height;
    EXPECT_EQ(c.pal, BZ_IsPALSource(&source)) << c.avFrameDuration << " " << c.frameDuration << " " << c.height;
  }
}

}  // namespace
