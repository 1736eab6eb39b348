// The outlier stage in whole executions, headless, through the real engine assembled by its installers:
// specks and a scratch drawn into a clean clip, an edit-list file beside the source marking them, and the
// cleaned movie checked frame by frame against the source and the clean clip; the same movie on 1, 2 and 8
// workers; odd frame sizes and short movies; bad settings, a failing worker and cancels.
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/stage_table.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/working_format.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "outliers/outlier_edit_lists.h"
#include "outliers/median_filter.h"
#include "outliers/outlier_pictures.h"
#include "outliers/outlier_stage.h"
#include "outliers/outlier_worker.h"
#include "outliers/skeleton_node_regions.h"
#include "outliers/analysis_frame.h"
#include "target_builder.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <filesystem>
#include <string>
#include <vector>

namespace {
using namespace bz_test;
using Frames = std::vector<std::vector<uint8_t>>;
constexpr EventTimeout kLimit = 120;

struct OuRun {
  int workers = 2;
  SInt32 numConstPix = 2;
  bool cancel = false;
  bool makeNoiseMovie = false;
  bool applyOutliers = true;
};

struct OuResult {
  intptr_t code = -1;
  BZ_ExecuteState exec = kBZ_ProjStateReady;
  OSStatus error = noErr;
  OSStatus save = noErr;
  std::string noisePath;  // with a noise movie
};

// One frame's edits as the test writes them into the edit-list file.
struct FrameEditsSpec {
  SInt32 frameNum;
  std::vector<BZ_OuOutlierEdit> edits;
};

// Writes the edit-list file of the source at srcPath for settings sett (the name the stage's file layer
// gives it), with the frames' edits.
void WriteEditFile(const std::string &dir, const BZ_OuSett &sett, const std::vector<FrameEditsSpec> &frames) {
  std::vector<uint8_t> bytes(kBZ_OuOelSettSize);
  BZ_OuSettToFileBytes(&sett, bytes.data());
  auto put32 = [&](SInt32 v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(UInt32(v) >> (8 * i)));
  };
  auto put16 = [&](SInt16 v) {
    for (int i = 0; i < 2; ++i) bytes.push_back(uint8_t(UInt16(v) >> (8 * i)));
  };
  put32(SInt32(frames.size()));
  for (const FrameEditsSpec &f : frames) {
    put32(f.frameNum);
    put32(SInt32(f.edits.size()));
    for (const BZ_OuOutlierEdit &e : f.edits) {
      put32(e.speckNum);
      put32(e.oeType);
      put16(e.rect.top), put16(e.rect.left), put16(e.rect.bottom), put16(e.rect.right);
    }
  }
  ASSERT_TRUE(WriteWholeFile(dir + "/src oel.kbzoel", bytes));
}

// One execution of the source dir/src.mov (a '2vuy' movie of width x height) with outlier removal alone into
// dir/out.mov, the edit-list file beside the source read in as the project dialog reads it.
OuResult RunOutliers(const TempDir &dir, SInt32 width, SInt32 height, SInt32 frames, const OuRun &run) {
  OuResult r;
  FakeHome home(dir.path());
  CurrentProject project;
  RecordedHost host;
  host.Install();
  {
    // As the application's host does: the project's start keeps the edits for the execution.
    BZ_EngineHost h = *BZ_GetEngineHost();
    h.saveOutlierEditListFinalDontAsk = [](void *, BZ_OuDlgTaskData *ou) {
      return ou != nullptr ? BZ_SaveOutlierEditListFinalDontAsk(ou) : OSStatus(noErr);
    };
    BZ_SetEngineHost(&h);
  }
  const ItemCount baseTasks = PL_MPLiveTaskCount();
  gBZ.numProcessors = ItemCount(run.workers);
  BZ_OuDlgTaskData *ou = nullptr;
  EXPECT_EQ(noErr, BZ_OuInitDlgTaskData(&ou));
  gBZ.dlgTaskData.ouDlgTaskData = ou;
  Movie src = nullptr;
  EXPECT_EQ(noErr, OpenMovieAtPath(dir.File("src.mov"), &src));
  BZ_StatMovInfo *movies = project.statMovInfo();
  DescribeSource(movies, 0, height, width, frames, '2vuy');
  movies[0].videoDuration = GetMovieDuration(src);
  movies[0].hasOneSimpleVideoTrack = true;
  movies[0].numVisualTracks = QT_CountEnabledVisualTracks(src);
  movies[0].numDataRefIndexes = 1;
  movies[0].isVideoRange = true;
  movies[0].gamma = 2.2f;
  movies[0].movieTimeScale = GetMovieTimeScale(src);
  EXPECT_EQ(noErr, BZ_MakeMovieTimeList(src, &movies[0]));
  BZ_MakeDefaultProjSett(movies, &project->info.settings);
  BZ_CleaninSett &c = project->info.settings.cleaning;
  c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = false;
  c.ou.apply = run.applyOutliers;
  c.ou.numConstPix = run.numConstPix;
  project->info.settings.output.cType = '2vuy';
  project->info.settings.output.makeNoiseMovie = run.makeNoiseMovie;
  project->info.dynMovieInfo.sourceMovie[0] = src;
  project->info.srcFileData[0].fileRef = RefFor(dir.File("src.mov"));
  project->info.targetFileData[0].parentRef = RefFor(dir.path());
  project->info.targetFileData[0].fileName = Name("out.mov");
  if (std::filesystem::exists(dir.File("src oel.kbzoel"))) {
    const FSRef oel = RefFor(dir.File("src oel.kbzoel"));
    EXPECT_EQ(noErr, BZ_OuReadOelListIntoMemory(&oel));
  }

  MPSemaphoreID prf = nullptr;
  EXPECT_EQ(MPCreateSemaphore(1, 0, &prf), noErr);
  gBZ.dlgTaskData.prfSemaphore = prf;
  EventHandlerRef handler = nullptr;
  EXPECT_EQ(BZ_InstallEngineEventHandlers(&handler), noErr);
  BZ_InstallStageEntryPoints();
  EXPECT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
  EXPECT_EQ(BZ_CreateMainTask(project.get()), noErr);
  EXPECT_EQ(BZ_CreateBuffers(), noErr);
  EXPECT_EQ(noErr, BZ_StartProject());
  if (run.makeNoiseMovie) r.noisePath = PathOf(project->info.targetFileData[1].fileRef);
  if (run.cancel)
    MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project.get(), Word(kBZ_CancelProjectMessage));
  void *code = nullptr;
  EXPECT_EQ(noErr, PL_RunEventLoopUntil([&] {
    return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) == noErr;
  }, kLimit)) << "the run does not end";
  r.code = intptr_t(code);
  r.exec = project->state.exec.load();
  r.error = project->state.error;
  if (r.exec == kBZ_ProjStateFinished && r.code == 0)
    r.save = BZ_SaveTargetMovies(project.get());
  else
    BZ_DeleteProjectFiles(project.get());
  BZ_DisposeProject(nullptr);

  MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project.get(), Word(kBZ_AppQuitMessage));
  OSStatus err = eventLoopTimedOutErr;
  PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; }, kLimit);
  PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks; }, kLimit);
  MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
  gBZ.mainTaskData.~MP_TaskData();
  new (&gBZ.mainTaskData) MP_TaskData{};
  prf = gBZ.dlgTaskData.prfSemaphore.exchange(nullptr);
  MP_DeleteSemaphore(&prf);
  RemoveEventHandler(handler);
  FlushEventQueue(GetMainEventQueue());
  gBZ.numProcessors = 0;
  gBZ.dlgTaskData.ouDlgTaskData = nullptr;
  BZ_OuDisposeDlgTaskDataRecord(&ou);
  DisposeMovie(src);
  return r;
}

void WriteSource(const TempDir &dir, SInt32 width, SInt32 height, const Frames &frames) {
  ImageDescriptionHandle desc = NewFixtureImageDescription(width, height);
  ASSERT_EQ(noErr, WriteCompressedMovie(dir.File("src.mov"), desc, frames));
  DisposeHandle(reinterpret_cast<Handle>(desc));
}


Frames PatternFrames(SInt32 width, SInt32 height, SInt32 count) {
  Frames frames;
  for (SInt32 f = 0; f < count; ++f) frames.push_back(FixtureFramePattern(f, width, height));
  return frames;
}

// ---- The clip with specks ----

constexpr SInt32 kW = 720, kH = 576, kFrames = 12;

struct Box {
  SInt32 top, left, bottom, right;
};

uint8_t &Luma(std::vector<uint8_t> &f, SInt32 x, SInt32 y) { return f[size_t(2 * (y * kW + x) + 1)]; }

// A flat 24 x 24 place (luma range at most 12) whose content is the same in the frames before and after, so
// that the frame's neighbours can stand in for it; searched on a coarse grid from a start column.
bool FindQuietPlace(const Frames &clean, SInt32 f, SInt32 fromX, Box *box) {
  for (SInt32 y = 40; y + 24 < kH - 40; y += 12)
    for (SInt32 x = fromX; x + 24 < kW - 40; x += 12) {
      int lo = 255, hi = 0, moved = 0;
      for (SInt32 j = 0; j < 24; ++j)
        for (SInt32 i = 0; i < 24; ++i) {
          const size_t p = size_t(2 * ((y + j) * kW + x + i) + 1);
          lo = std::min<int>(lo, clean[f][p]);
          hi = std::max<int>(hi, clean[f][p]);
          for (SInt32 g : {f - 1, f + 1}) moved = std::max(moved, std::abs(int(clean[g][p]) - int(clean[f][p])));
        }
      if (hi - lo <= 12 && moved <= 2) {
        *box = Box{y, x, y + 24, x + 24};
        return true;
      }
    }
  return false;
}

// A round speck of radius 4 at the box's centre, `contrast` levels darker or brighter than the place.
void DrawSpeck(std::vector<uint8_t> &frame, const Box &b, int contrast) {
  const SInt32 cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
  const int base = Luma(frame, cx, cy);
  const int value = base >= 110 ? base - contrast : base + contrast;
  for (SInt32 y = cy - 4; y <= cy + 4; ++y)
    for (SInt32 x = cx - 4; x <= cx + 4; ++x)
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 16) Luma(frame, x, y) = uint8_t(value);
}

// A one-pixel scratch along the box's diagonal from top-left to bottom-right, 25 levels off (too faint for the
// detector: the user marks it).
void DrawScratch(std::vector<uint8_t> &frame, const Box &b) {
  const int base = Luma(frame, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
  for (SInt32 i = 2; i < b.right - b.left - 2; ++i) Luma(frame, b.left + i, b.top + i) = uint8_t(base >= 110 ? base - 25 : base + 25);
}

// The rectangle the user would draw around a speck: 14 x 14 around its centre.
Rect SpeckRect(const Box &b) {
  const SInt16 cx = SInt16((b.left + b.right) / 2), cy = SInt16((b.top + b.bottom) / 2);
  return Rect{SInt16(cy - 7), SInt16(cx - 7), SInt16(cy + 7), SInt16(cx + 7)};
}

double MeanLumaError(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, const Rect &r) {
  double sum = 0;
  int n = 0;
  for (SInt32 y = r.top; y < r.bottom; ++y)
    for (SInt32 x = r.left; x < r.right; ++x, ++n)
      sum += std::abs(int(a[size_t(2 * (y * kW + x) + 1)]) - int(b[size_t(2 * (y * kW + x) + 1)]));
  return n > 0 ? sum / n : 0;
}

bool InsideAny(SInt32 x, SInt32 y, const std::vector<Rect> &rects) {
  for (const Rect &r : rects)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

struct SpeckClip {
  Frames clean, damaged;
  std::vector<FrameEditsSpec> edits;
  std::vector<std::vector<Rect>> removed;  // per frame: rectangles whose damage must be gone
  std::vector<std::vector<Rect>> edited;   // per frame: every rectangle with damage (edited or found)
  std::vector<Rect> kept;                  // rectangles of frames 8 and 9 whose specks the user keeps
};

// A still of testsrc2 (so that the detector finds only what is drawn): faint specks (25 levels, below the
// outlier distance) that the user marks, two on frame 3, one on frame 6 and one on frame 8 which the edits
// toggle back (kept); a faint scratch on frame 5 the user marks; strong specks (90 levels) that the detector
// finds, one on frame 4 and one on frame 9 whose edits toggle it back by its number 1,000,000 (kept).
bool MakeSpeckClip(const TempDir &dir, SpeckClip *clip) {
  std::string raw;
  if (RunCommand("ffmpeg -v error -f lavfi -i testsrc2=s=720x576:r=25 -frames:v 1 -pix_fmt uyvy422 -f rawvideo -",
                 &raw) != 0 ||
      raw.size() != size_t(kW) * kH * 2)
    return false;
  clip->clean.assign(kFrames, std::vector<uint8_t>(raw.begin(), raw.end()));
  clip->damaged = clip->clean;
  clip->removed.assign(kFrames, {});
  clip->edited.assign(kFrames, {});
  auto speck = [&](SInt32 f, SInt32 fromX, bool keep, bool strong) {
    Box b{};
    if (!FindQuietPlace(clip->clean, f, fromX, &b)) return false;
    DrawSpeck(clip->damaged[f], b, strong ? 90 : 25);
    const Rect r = SpeckRect(b);
    if (!strong) {
      if (clip->edits.empty() || clip->edits.back().frameNum != f) clip->edits.push_back({f, {}});
      clip->edits.back().edits.push_back(BZ_OuOutlierEdit{1, kBZ_OuNewSpeck, r});
    }
    clip->edited[f].push_back(r);
    (keep ? clip->kept : clip->removed[f]).push_back(r);
    return true;
  };
  if (!speck(3, 40, false, false) || !speck(3, 400, false, false) || !speck(4, 560, false, true) ||
      !speck(6, 200, false, false) || !speck(8, 100, true, false) || !speck(9, 500, true, true))
    return false;
  // The user's first speck of frame 8 is toggled back: the user keeps it; so is the detector's of frame 9.
  clip->edits.back().edits.push_back(BZ_OuOutlierEdit{0, kBZ_OuToggleRemove, Rect{0, 0, 0, 0}});
  clip->edits.push_back({9, {BZ_OuOutlierEdit{1000000, kBZ_OuToggleRemove, Rect{0, 0, 0, 0}}}});
  Box s{};
  if (!FindQuietPlace(clip->clean, 5, 300, &s)) return false;
  DrawScratch(clip->damaged[5], s);
  const Rect scratch{SInt16(s.top), SInt16(s.left), SInt16(s.bottom), SInt16(s.right)};
  clip->edits.insert(clip->edits.begin() + 1, FrameEditsSpec{5, {BZ_OuOutlierEdit{0, kBZ_OuScratchNW, scratch}}});
  clip->removed[5].push_back(scratch);
  clip->edited[5].push_back(scratch);
  WriteSource(dir, kW, kH, clip->damaged);
  BZ_OuSett sett{};
  BZ_MakeDefaultOuSett(&sett);
  sett.apply = true;
  WriteEditFile(dir.path(), sett, clip->edits);
  return true;
}


// Every frame in order; undamaged frames byte for byte the source; damaged frames unchanged outside their
// rectangles and, inside the rectangles of removed damage, at most a quarter of the damage's error against
// the clean clip; the toggled specks (the user's and the detector's) kept as they were; the same bytes on 1,
// 2 and 8 workers.
TEST(OutlierStageRun, SpecksAndScratchReplacedOnEveryWorkerCount) {
  if (!RequireFfmpeg()) return;
  TempDir dir;
  SpeckClip clip;
  ASSERT_TRUE(MakeSpeckClip(dir, &clip)) << "the clip or a quiet place for a speck could not be made";
  const auto srcBytes = ReadWholeFile(dir.File("src.mov"));
  Frames first;
  for (int workers : {1, 2, 8}) {
    SCOPED_TRACE("workers " + std::to_string(workers));
    OuRun run;
    run.workers = workers;
    OuResult r = RunOutliers(dir, kW, kH, kFrames, run);
    ASSERT_EQ(0, r.code);
    ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
    EXPECT_EQ(noErr, r.save);
    EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov"))) << "the source movie was written";
    const Frames out = MovieFrames(dir.File("out.mov"));
    ASSERT_EQ(size_t(kFrames), out.size());
    if (workers == 1) {
      auto v = ProbeStream(dir.File("out.mov"), "v:0");
      EXPECT_EQ("rawvideo", v["codec_name"]);
      EXPECT_EQ("720", v["width"]);
      EXPECT_EQ("576", v["height"]);
      EXPECT_EQ(std::to_string(kFrames), v["nb_frames"]);
      EXPECT_TRUE(DecodeVideoWithFfmpeg(dir.File("out.mov"), kW, kH) == out) << "ffmpeg reads other pictures";
      first = out;
    } else {
      EXPECT_TRUE(first == out) << "the output depends on the worker count";
    }
    for (SInt32 f = 0; f < kFrames; ++f) {
      SCOPED_TRACE("frame " + std::to_string(f));
      if (clip.edited[f].empty()) {
        EXPECT_TRUE(out[f] == clip.damaged[f]) << "an undamaged frame changed";
        continue;
      }
      SInt32 changedOutside = 0;
      for (SInt32 y = 0; y < kH; ++y)
        for (SInt32 x = 0; x < kW; ++x)
          if (!InsideAny(x, y, clip.edited[f]))
            for (int b = 0; b < 2; ++b)
              changedOutside += out[f][size_t(2 * (y * kW + x) + b)] != clip.damaged[f][size_t(2 * (y * kW + x) + b)];
      EXPECT_EQ(0, changedOutside);
      for (const Rect &r : clip.removed[f]) {
        const double damaged = MeanLumaError(clip.damaged[f], clip.clean[f], r);
        const double cleaned = MeanLumaError(out[f], clip.clean[f], r);
        EXPECT_GT(damaged, 0.5);
        EXPECT_LE(cleaned, damaged / 4) << "rect at " << r.left << "," << r.top;
      }
    }
    // The toggled specks of frames 8 and 9 are kept: their rectangles are as the source has them.
    EXPECT_EQ(0.0, MeanLumaError(out[8], clip.damaged[8], clip.kept[0]));
    EXPECT_EQ(0.0, MeanLumaError(out[9], clip.damaged[9], clip.kept[1]));
    EXPECT_GT(MeanLumaError(out[9], clip.clean[9], clip.kept[1]), 2.0);
  }
}

// A pan of 3 pixels a frame over a blurred fractal with strong specks on flat places of frames 3 and 7: the
// stage follows the picture along its motion vectors, so nothing but the specks changes, and the vectors,
// made for each frame pair by whichever worker takes its frame, give the same bytes on 1, 2 and 8 workers.
// The movie's first and last frames have neighbours on one side only: their chains take all 2k steps that
// way, their rounding adds up to a pixel or two over the fine detail, and a few such places change (about
// 0.1 % of the picture here).
TEST(OutlierStageRun, PanKeepsItsDetailOnEveryWorkerCount) {
  if (!RequireFfmpeg()) return;
  constexpr SInt32 w = 352, h = 288, n = 12, step = 3;
  std::string raw;
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i mandelbrot=s=400x288:start_scale=0.5:end_scale=0.5:maxiter=300 "
                       "-vf gblur=sigma=2.5 -frames:v 1 -pix_fmt uyvy422 -f rawvideo -",
                       &raw),
            0);
  ASSERT_EQ(raw.size(), size_t(400 * h * 2));
  Frames clean(n, std::vector<uint8_t>(size_t(w * h * 2)));
  for (SInt32 f = 0; f < n; ++f)
    for (SInt32 y = 0; y < h; ++y)
      std::copy_n(raw.begin() + 2 * (y * 400 + step * f), 2 * w, clean[size_t(f)].begin() + 2 * y * w);
  auto luma = [&](std::vector<uint8_t> &frame, SInt32 x, SInt32 y) -> uint8_t & {
    return frame[size_t(2 * (y * w + x) + 1)];
  };
  // Flat 24 x 24 places (luma range at most 4) for the specks, found on a coarse grid.
  auto flatPlaces = [&](std::vector<uint8_t> &frame) {
    std::vector<Rect> places;
    for (SInt32 y = 16; y + 24 < h - 16 && places.size() < 2; y += 24)
      for (SInt32 x = 16; x + 24 < w - 16 && places.size() < 2; x += 24) {
        int lo = 255, hi = 0;
        for (SInt32 j = 0; j < 24; ++j)
          for (SInt32 i = 0; i < 24; ++i) {
            lo = std::min<int>(lo, luma(frame, x + i, y + j));
            hi = std::max<int>(hi, luma(frame, x + i, y + j));
          }
        if (hi - lo <= 4) places.push_back(Rect{SInt16(y), SInt16(x), SInt16(y + 24), SInt16(x + 24)});
      }
    return places;
  };
  Frames damaged = clean;
  std::vector<std::vector<Rect>> specks(n);
  for (SInt32 f : {3, 7}) {
    specks[size_t(f)] = flatPlaces(damaged[size_t(f)]);
    ASSERT_EQ(specks[size_t(f)].size(), 2u) << "no flat place in frame " << f;
    for (const Rect &r : specks[size_t(f)]) {
      const SInt32 cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
      const int base = luma(damaged[size_t(f)], cx, cy);
      for (SInt32 y = cy - 4; y <= cy + 4; ++y)
        for (SInt32 x = cx - 4; x <= cx + 4; ++x)
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 16)
            luma(damaged[size_t(f)], x, y) = uint8_t(base >= 110 ? base - 90 : base + 90);
    }
  }
  TempDir dir;
  WriteSource(dir, w, h, damaged);
  Frames first;
  for (int workers : {1, 2, 8}) {
    SCOPED_TRACE("workers " + std::to_string(workers));
    OuRun run;
    run.workers = workers;
    OuResult r = RunOutliers(dir, w, h, n, run);
    ASSERT_EQ(0, r.code);
    const Frames out = MovieFrames(dir.File("out.mov"));
    ASSERT_EQ(size_t(n), out.size());
    if (workers == 1)
      first = out;
    else
      EXPECT_TRUE(first == out) << "the output depends on the worker count";
    for (SInt32 f = 0; f < n; ++f) {
      SCOPED_TRACE("frame " + std::to_string(f));
      SInt32 changedOutside = 0;
      for (SInt32 y = 0; y < h; ++y)
        for (SInt32 x = 0; x < w; ++x)
          if (!InsideAny(x, y, specks[size_t(f)]))
            changedOutside += out[size_t(f)][size_t(2 * (y * w + x) + 1)] != luma(damaged[size_t(f)], x, y);
      if (f == 0 || f == n - 1)
        EXPECT_LE(changedOutside, w * h / 500);
      else
        EXPECT_EQ(changedOutside, 0);
      for (const Rect &rect : specks[size_t(f)]) {
        double before = 0, after = 0;
        for (SInt32 y = rect.top; y < rect.bottom; ++y)
          for (SInt32 x = rect.left; x < rect.right; ++x) {
            const int c = luma(clean[size_t(f)], x, y);
            before += std::abs(int(luma(damaged[size_t(f)], x, y)) - c);
            after += std::abs(int(out[size_t(f)][size_t(2 * (y * w + x) + 1)]) - c);
          }
        EXPECT_LE(after, before / 4) << "speck at " << rect.left << "," << rect.top;
      }
    }
  }
}

// With the noise movie on, the outlier stage keeps each source frame until the noise frame is made: the
// cleaned movie is the same, and the noise movie differs from that of a run without any method only inside
// the edited rectangles (and the pixel or two the difference picture's smoothing carries past them), where
// the removed specks show.
TEST(OutlierStageRun, NoiseMovieShowsWhatWasRemoved) {
  if (!RequireFfmpeg()) return;
  TempDir dir;
  SpeckClip clip;
  ASSERT_TRUE(MakeSpeckClip(dir, &clip));
  OuRun run;
  run.workers = 2;
  ASSERT_EQ(0, RunOutliers(dir, kW, kH, kFrames, run).code);
  const Frames plain = MovieFrames(dir.File("out.mov"));
  std::filesystem::remove(dir.File("out.mov"));
  run.makeNoiseMovie = true;
  run.applyOutliers = false;
  OuResult none = RunOutliers(dir, kW, kH, kFrames, run);
  ASSERT_EQ(0, none.code);
  const Frames noiseWithoutMethod = DecodeVideoWithFfmpeg(none.noisePath, kW, kH);
  ASSERT_EQ(size_t(kFrames), noiseWithoutMethod.size());
  std::filesystem::remove(dir.File("out.mov"));
  std::filesystem::remove(none.noisePath);
  run.applyOutliers = true;
  for (int workers : {1, 4}) {
    SCOPED_TRACE("workers " + std::to_string(workers));
    run.workers = workers;
    OuResult r = RunOutliers(dir, kW, kH, kFrames, run);
    ASSERT_EQ(0, r.code);
    ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
    EXPECT_TRUE(MovieFrames(dir.File("out.mov")) == plain);
    const Frames noise = DecodeVideoWithFfmpeg(r.noisePath, kW, kH);
    ASSERT_EQ(size_t(kFrames), noise.size());
    for (SInt32 f = 0; f < kFrames; ++f) {
      SCOPED_TRACE("frame " + std::to_string(f));
      std::vector<Rect> near;
      for (const Rect &e : clip.edited[f])
        near.push_back(Rect{SInt16(e.top - 2), SInt16(e.left - 2), SInt16(e.bottom + 2), SInt16(e.right + 2)});
      SInt32 outside = 0, inside = 0;
      for (SInt32 y = 0; y < kH; ++y)
        for (SInt32 x = 0; x < kW; ++x) {
          const size_t at = size_t(2 * (y * kW + x) + 1);
          const bool differs = std::abs(int(noise[f][at]) - int(noiseWithoutMethod[f][at])) > 2;
          if (InsideAny(x, y, near))
            inside += differs;
          else
            outside += differs;
        }
      EXPECT_EQ(0, outside);
      if (!clip.removed[f].empty()) {
        EXPECT_GT(inside, 10) << "the removed specks do not show";
      }
    }
    std::filesystem::remove(dir.File("out.mov"));
    std::filesystem::remove(r.noisePath);
  }
}

// Odd and tiny frames and short movies come out frame for frame, unchanged without edits.
TEST(OutlierStageRun, SmallFramesAndShortMoviesComeOutWhole) {
  struct Case {
    SInt32 width, height, frames;
  };
  const Case cases[] = {{2, 2, 1}, {16, 8, 2}, {18, 18, 8}, {16, 8, 9}, {48, 32, 1}, {48, 32, 2}, {48, 32, 61}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + ", " + std::to_string(c.frames) + " frames");
    TempDir dir;
    const Frames frames = PatternFrames(c.width, c.height, c.frames);
    WriteSource(dir, c.width, c.height, frames);
    OuRun run;
    run.workers = 3;
    OuResult r = RunOutliers(dir, c.width, c.height, c.frames, run);
    ASSERT_EQ(0, r.code);
    ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
    EXPECT_TRUE(MovieFrames(dir.File("out.mov")) == frames);
  }
}

// Material the detector must leave alone or survive: a flat grey movie; a frame between two cuts whose spot
// has no neighbouring frame to be told from; a frame of strong noise in a still clip (too many outliers: the
// detector retries farther, and while executing posts nothing). Every frame comes out; the still frames and
// the frame between the cuts are as they came.
TEST(OutlierStageRun, HostileMoviesComeOutWhole) {
  constexpr SInt32 w = 64, h = 48, n = 10;
  auto flat = [&](UInt8 y) {
    std::vector<uint8_t> f(size_t(w * h * 2), 128);
    for (size_t b = 1; b < f.size(); b += 2) f[b] = y;
    return f;
  };
  const Frames grey(n, flat(128));
  Frames cuts(n, flat(60));
  cuts[4] = flat(160);
  for (SInt32 y = 20; y < 24; ++y)
    for (SInt32 x = 30; x < 34; ++x) cuts[4][size_t(2 * (y * w + x) + 1)] = 250;
  Frames noisy(n, PatternFrames(w, h, 1)[0]);
  std::mt19937 random(3);
  for (size_t b = 1; b < noisy[5].size(); b += 2)
    noisy[5][b] = uint8_t(std::clamp(int(noisy[5][b]) + int(random() % 81) - 40, 0, 255));
  struct Case {
    const char *what;
    const Frames &frames;
    std::vector<SInt32> mayChange;
  } cases[] = {{"flat grey", grey, {}}, {"a frame between two cuts", cuts, {}}, {"a frame of noise", noisy, {5}}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteSource(dir, w, h, c.frames);
    OuRun run;
    run.workers = 3;
    OuResult r = RunOutliers(dir, w, h, n, run);
    ASSERT_EQ(0, r.code);
    ASSERT_EQ(kBZ_ProjStateFinished, r.exec);
    EXPECT_EQ(noErr, r.error);
    const Frames out = MovieFrames(dir.File("out.mov"));
    ASSERT_EQ(size_t(n), out.size());
    for (SInt32 f = 0; f < n; ++f)
      if (std::find(c.mayChange.begin(), c.mayChange.end(), f) == c.mayChange.end()) {
        EXPECT_TRUE(out[size_t(f)] == c.frames[size_t(f)]) << "frame " << f;
      }
  }
}

// A window size the stage cannot hold ends the run with paramErr before any frame: no target is left and
// the source is as it was.
TEST(OutlierStageRun, WindowOutsideOneToThreeEndsTheRun) {
  for (SInt32 k : {0, 4}) {
    SCOPED_TRACE("numConstPix " + std::to_string(k));
    TempDir dir;
    WriteSource(dir, 48, 32, PatternFrames(48, 32, 6));
    const auto srcBytes = ReadWholeFile(dir.File("src.mov"));
    OuRun run;
    run.numConstPix = k;
    OuResult r = RunOutliers(dir, 48, 32, 6, run);
    EXPECT_EQ(paramErr, r.error);
    EXPECT_NE(kBZ_ProjStateFinished, r.exec);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mov")));
    EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov")));
  }
}

// A worker's failure ends the run with that error.
TEST(OutlierStageRun, FailingWorkerEndsTheRunWithItsError) {
  TempDir dir;
  WriteSource(dir, 48, 32, PatternFrames(48, 32, 30));
  BZ_OuFailWindowJobsAfter(5, memFullErr);
  OuRun run;
  run.workers = 4;
  OuResult r = RunOutliers(dir, 48, 32, 30, run);
  BZ_OuFailWindowJobsAfter(0, noErr);
  EXPECT_EQ(memFullErr, r.error);
  EXPECT_NE(kBZ_ProjStateFinished, r.exec);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.mov")));
}

// Cancelled at once, twenty times in a row: each run ends, leaves no target, and the next one starts.
TEST(OutlierStageRun, CancelsLeaveNoTargetAndNeverHang) {
  TempDir dir;
  WriteSource(dir, 48, 32, PatternFrames(48, 32, 40));
  const auto srcBytes = ReadWholeFile(dir.File("src.mov"));
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE("run " + std::to_string(i));
    OuRun run;
    run.workers = 1 + i % 4;
    run.cancel = true;
    OuResult r = RunOutliers(dir, 48, 32, 40, run);
    EXPECT_TRUE(r.exec == kBZ_ProjStateCanceled || r.exec == kBZ_ProjStateFinished);
    if (r.exec == kBZ_ProjStateCanceled) {
      EXPECT_FALSE(std::filesystem::exists(dir.File("out.mov")));
    }
    std::filesystem::remove(dir.File("out.mov"));
  }
  EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov")));
}

// ---- The analysis pictures ----

// The picture a developer chooses, drawn by the routines themselves on one source frame (padded as the stage
// pads it), to compare the stage's output with.
Frames ExpectedPictures(const Frames &frames, const BZ_OuPictureSwitches &sw) {
  Frames pictures;
  for (const std::vector<uint8_t> &source : frames) {
    AnalysisFrame f(kW, kH);
    for (SInt32 y = 0; y < kH; ++y)
      std::copy_n(source.begin() + 2 * y * kW, 2 * kW, f.frame.begin() + 2 * size_t(f.Index(0, y)));
    BZ_PadParams pad{kW, kH, f.params.width, f.params.height, false};
    EXPECT_EQ(noErr, BZ_PadFrame(&pad, f.frame.data()));
    if (sw.printingGradSq) {
      BZ_OuCalcGradSq(&f.params, f.frame.data(), nullptr, f.gradSq.data(), nullptr);
      BZ_CopyGradSqToOutBuffer(&f.params, f.gradSq.data(), f.out.data());
    } else if (sw.printingMedianFilter) {
      std::vector<UInt8> tempIn = f.frame;
      BZ_OuMedianFilter(&f.params, f.frame.data(), tempIn.data(), f.pixelList.data());
      BZ_OuCopyMedianFilteredToBuffer(&f.params, tempIn.data(), f.out.data());
    } else {
      const OSStatus err = f.FindObjects();
      EXPECT_TRUE(err == noErr || (err >= kSK_SectorWithoutSamplesErr && err <= kSK_SectorStepLimitErr)) << err;
      if (sw.printingGradObj)
        BZ_CopyGradObjToOutBuffer(&f.params, f.data.data(), f.objects, f.out.data());
      else if (sw.printingSkeletons)
        BZ_CopySkeletonsToOutBuffer(&f.params, f.frame.data(), f.objects, kBZ_OuSkeletonPictureFlags, f.out.data());
      else
        BZ_CopySkeletonThicknessToOutBuffer(&f.params, f.objects, f.out.data());
    }
    std::vector<uint8_t> picture(size_t(2 * kW * kH));
    for (SInt32 y = 0; y < kH; ++y)
      std::copy_n(f.out.begin() + 2 * size_t(f.Index(0, y)), 2 * kW, picture.begin() + 2 * y * kW);
    pictures.push_back(std::move(picture));
  }
  return pictures;
}

// Each analysis picture through the stage: every frame shows the picture of its own objects (the first 2k
// frames' too, and the last 2k that only the flush reaches), the same on 1 and 8 workers; afterwards the
// default switches give the same cleaned frames as before.
TEST(OutlierStageRun, AnalysisPicturesShowEachFramesOwnObjects) {
  if (!RequireFfmpeg()) return;
  constexpr SInt32 n = 10;
  std::string raw;
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -f lavfi -i testsrc2=s=720x576:r=25 -frames:v 10 -pix_fmt uyvy422 "
                          "-f rawvideo -",
                          &raw));
  const size_t frameBytes = size_t(kW) * kH * 2;
  ASSERT_EQ(frameBytes * n, raw.size());
  Frames frames;
  for (SInt32 f = 0; f < n; ++f)
    frames.emplace_back(raw.begin() + long(f * frameBytes), raw.begin() + long((f + 1) * frameBytes));
  TempDir dir;
  WriteSource(dir, kW, kH, frames);
  ASSERT_EQ(0, RunOutliers(dir, kW, kH, n, OuRun{}).code);
  const Frames cleaned = MovieFrames(dir.File("out.mov"));
  std::filesystem::remove(dir.File("out.mov"));
  struct Case {
    const char *name;
    Boolean BZ_OuPictureSwitches::*on;
  };
  const Case cases[] = {{"skeletons", &BZ_OuPictureSwitches::printingSkeletons},
                        {"gradient", &BZ_OuPictureSwitches::printingGradSq},
                        {"gradient objects", &BZ_OuPictureSwitches::printingGradObj},
                        {"skeleton thickness", &BZ_OuPictureSwitches::printingSkeletonThickness},
                        {"median filter", &BZ_OuPictureSwitches::printingMedianFilter}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BZ_OuPictureSwitches sw{};
    sw.*c.on = true;
    const Frames expected = ExpectedPictures(frames, sw);
    EXPECT_FALSE(expected.front() == frames.front()) << "the picture is not told from the frame";
    BZ_OuSetPictureSwitches(&sw);
    for (int workers : {1, 8}) {
      SCOPED_TRACE("workers " + std::to_string(workers));
      OuRun run;
      run.workers = workers;
      const OuResult r = RunOutliers(dir, kW, kH, n, run);
      ASSERT_EQ(0, r.code);
      const Frames out = MovieFrames(dir.File("out.mov"));
      ASSERT_EQ(size_t(n), out.size());
      for (SInt32 f = 0; f < n; ++f) EXPECT_TRUE(out[size_t(f)] == expected[size_t(f)]) << "frame " << f;
      std::filesystem::remove(dir.File("out.mov"));
    }
    BZ_OuSetPictureSwitches(nullptr);
  }
  ASSERT_EQ(0, RunOutliers(dir, kW, kH, n, OuRun{}).code);
  EXPECT_TRUE(MovieFrames(dir.File("out.mov")) == cleaned) << "the cleaned frames changed after a picture run";
}

}  // namespace
