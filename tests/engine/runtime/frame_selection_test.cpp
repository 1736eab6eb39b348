#include "engine/runtime/frame_selection.h"

#include "engine/runtime/engine_host.h"
#include "general/memory_lists.h"
#include "platform/core/mac_errors.h"
#include "support/engine_fixtures.h"
#include "support/movie_builders.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

typedef std::vector<SInt32> Frames;

std::string Text(const Frames &frames) {
  std::string s;
  for (SInt32 f : frames) s += std::to_string(f) + ",";
  return s;
}

// Frames first, first + step, ... (count of them).
Frames Spread(SInt32 first, SInt32 step, SInt32 count) {
  Frames f;
  for (SInt32 i = 0; i < count; ++i) f.push_back(first + i * step);
  return f;
}

// Each frame with its neighbours v - 1 .. v + 1.
Frames WithNeighbours(const Frames &samples) {
  Frames f;
  for (SInt32 v : samples) f.insert(f.end(), {v - 1, v, v + 1});
  return f;
}

void FillTable(BZ_BuffInfo *table, std::initializer_list<BZ_TaskType> types) {
  for (SInt32 i = 0; i < kBZ_NumBuffInfos; ++i) table[i].type = kBZ_NoTaskType;
  SInt32 i = 0;
  for (BZ_TaskType t : types) {
    table[i].number = i;
    table[i].type = t;
    // The second write stage is the noise movie's.
    table[i].fileNum = (t == kBZ_WriteTaskType && i > 0 && table[i - 1].type == kBZ_NoiseFrameTaskType) ? 1 : 0;
    ++i;
  }
}

// The dialog's answers that the selection asks for.
struct DialogAnswers {
  UInt32 autoSettStage = 0;
  SInt32 previewFrame = 0;
};
DialogAnswers gAnswers;

UInt32 AutoSettStage(void *) { return gAnswers.autoSettStage; }
SInt32 PreviewFrame(void *) { return gAnswers.previewFrame; }

// A current project with its stage table, state and dialog answers; the host goes back with the project.
class Selection {
 public:
  Selection(std::initializer_list<BZ_TaskType> types, BZ_ExecuteState exec, SInt32 numFrames) {
    FillTable(project->dynIO_Info.buffInfo, types);
    project->state.exec = exec;
    bz_test::DescribeSource(project.statMovInfo(), 0, 480, 720, numFrames);
    project->info.settings.cleaning.ou.numConstPix = 2;
    project->info.settings.cleaning.removeLogo.numBackGrFrames = 1000;
    project->info.settings.cleaning.noiseRed.startFrame = 1;
    project->info.settings.cleaning.noiseRed.endFrame = numFrames;
    gAnswers = DialogAnswers{};
    BZ_EngineHost host{};
    host.getAutoSettStage = AutoSettStage;
    host.getPreviewFrameNum = PreviewFrame;
    BZ_SetEngineHost(&host);
  }

  struct Lists {
    OSStatus err = noErr;
    Frames in, out, tests;
    SInt32 capacity = 0;
  };

  // The lists of the stage of that type, in arrays of the size the table asks for.
  Lists For(BZ_TaskType type) {
    Lists l;
    l.capacity = BZ_GetMaxSampleNumArraySize(project->dynIO_Info.buffInfo);
    Frames in(size_t(l.capacity), -7), out(size_t(l.capacity), -7), tests(kBZ_NumTestFrames + 1, -7);
    SInt32 numIn = -1, numOut = -1, numTests = -1;
    l.err = BZ_SelectMovieSamplesForStage(BZ_GetNumFramesInMovie(project.statMovInfo()), type, in.data(), &numIn,
                                          out.data(), &numOut, tests.data(), &numTests);
    EXPECT_GE(numTests, 0);
    EXPECT_LE(numTests, kBZ_NumTestFrames);
    EXPECT_EQ(kBZ_EndOfFrameList, tests[size_t(std::max<SInt32>(numTests, 0))]);
    if (project->state.exec != kBZ_ProjStateExecuting) {
      l.in.assign(in.begin(), in.begin() + numIn);
      l.out.assign(out.begin(), out.begin() + numOut);
    } else {
      l.in.assign(size_t(numIn), 0);
      l.out.assign(size_t(numOut), 0);
    }
    l.tests.assign(tests.begin(), tests.begin() + numTests);
    return l;
  }

  bz_test::CurrentProject project;
};

// ---- Sample selection ----------------------------------------------------------------------------------------------

TEST(EngineFrameSelection, SamplesSpreadOverTheRangeSoThatEveryChunkFits) {
  struct Case {
    SInt32 start, end, chunk, numPrev, maxNum;
    OSStatus err;
    Frames samples;
  } cases[] = {
      {0, 999, 1, 0, 10, noErr, Spread(49, 100, 10)},
      // len 998: 1 + int(99.8 x (i + 0.499)).
      {0, 999, 3, 1, 10, noErr, {50, 150, 250, 350, 450, 549, 649, 749, 849, 949}},
      {500, 599, 1, 0, 10, noErr, Spread(504, 10, 10)},
      {500, 599, 3, 1, 10, noErr, {505, 515, 525, 535, 545, 554, 564, 574, 584, 594}},
      {0, 0, 1, 0, 10, noErr, {0}},           // one frame
      {0, 1, 1, 0, 10, noErr, {0, 1}},        // two frames
      {0, 2, 3, 1, 10, noErr, {1}},           // exactly one chunk
      {0, 4, 9, 4, 10, kBZ_MovieTooShortErr, {}},
      {0, 1, 3, 1, 10, kBZ_MovieTooShortErr, {}},  // two frames, chunk of three
      {5, 4, 1, 0, 10, kBZ_MovieTooShortErr, {}},  // an empty range
      {0, 0x7FFFFFFE, 1, 0, 2, noErr, {535797169, 1609538993}},  // no 32-bit overflow
      {0, 99, 1, 0, 0, paramErr, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.end) + " chunk " + std::to_string(c.chunk));
    Frames samples(size_t(std::max(c.maxNum, 1)), -7);
    SInt32 n = -1;
    EXPECT_EQ(c.err, BZ_SelectMovieSamples(c.start, c.end, c.chunk, c.numPrev, c.maxNum, samples.data(), &n));
    samples.resize(size_t(std::max(n, 0)));
    EXPECT_EQ(Text(c.samples), Text(samples));
  }
}

TEST(EngineFrameSelection, LogoSamplesAreShiftedGroupsCentredWhereTheirChunksFit) {
  struct Case {
    SInt32 numFrames, chunk, numPrev, numBackGrFrames;
    Frames expected;  // empty: checked by its count and range only
    SInt32 count;
  } cases[] = {
      // Three groups of ten, 100 apart, each one frame further; centred by (999 - 902) / 2 = 48.
      {1000, 1, 0, 30, {}, 30},
      // A short movie: one group of every position, which must not reach before frame 0 with a chunk of 5.
      {12, 5, 2, 10, {2, 3, 4, 5, 6, 7, 8, 9}, 8},
      {10, 1, 0, 1000, Spread(0, 1, 10), 10},
      {1, 1, 0, 10, {0}, 1},
      {2, 1, 0, 10, {0, 1}, 2},
      {2, 3, 1, 10, {}, 0},
      {100000, 3, 1, 1000000, {}, 1000},  // a damaged setting asks for no more than the arrays hold
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.numFrames) + " frames, chunk " + std::to_string(c.chunk));
    Frames samples(kBZ_MaxNumRlSamples + 8, -7);
    SInt32 n = -1;
    BZ_SelectRlAutoSettMovieSamples(c.numFrames, c.chunk, c.numPrev, c.numBackGrFrames, &n, samples.data());
    EXPECT_EQ(c.count, n);
    EXPECT_EQ(-7, samples[kBZ_MaxNumRlSamples]);
    samples.resize(size_t(std::max(n, 0)));
    if (!c.expected.empty()) {
      EXPECT_EQ(Text(c.expected), Text(samples));
    }
    for (SInt32 s : samples) {
      EXPECT_GE(s - c.numPrev, 0);
      EXPECT_LT(s + (c.chunk - 1 - c.numPrev), c.numFrames);
    }
  }
  Frames samples(kBZ_MaxNumRlSamples);
  SInt32 n = 0;
  BZ_SelectRlAutoSettMovieSamples(1000, 1, 0, 30, &n, samples.data());
  EXPECT_EQ(48, samples[0]);
  EXPECT_EQ(948, samples[9]);
  EXPECT_EQ(49, samples[10]);
  EXPECT_EQ(950, samples[29]);
}

TEST(EngineFrameSelection, CompoundingAddsNeighboursInsideTheMovieAndKeepsRuns) {
  struct Case {
    const char *name;
    SInt32 numFrames, chunk, numPrev, numNext;
    Frames list, expanded;
  } cases[] = {
      {"neighbours", 1000, 3, 1, 1, {50, 150}, {49, 50, 51, 149, 150, 151}},
      {"both ends of the movie", 1000, 3, 1, 1, {0, 999}, {0, 1, 998, 999}},
      {"overlapping chunks merge", 1000, 3, 1, 1, {5, 6, 8}, {4, 5, 6, 7, 8, 9}},
      {"outlier chunk", 100, 9, 4, 4, {10}, Spread(6, 1, 9)},
      {"one-frame movie", 1, 3, 1, 1, {0}, {0}},
      {"two-frame movie", 2, 5, 2, 2, {0, 1}, {0, 1}},
      {"chunk of one", 10, 1, 0, 0, {2, 5}, {2, 5}},
      {"runs kept by a chunk of one", 100, 1, 0, 0, {10, 50, 11, 51}, {10, 50, 11, 51}},
      {"runs kept", 100, 3, 1, 1, {10, 50, 11, 51}, {9, 10, 11, 49, 50, 51, 10, 11, 12, 50, 51, 52}},
      {"run starting at frame 0", 100, 3, 1, 1, {50, 0}, {49, 50, 51, 0, 1}},
      {"empty list", 100, 3, 1, 1, {}, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Frames in(c.list.size() * size_t(c.chunk) + 4, -7), out(c.list.size() + 4, -7);
    std::copy(c.list.begin(), c.list.end(), in.begin());
    SInt32 numIn = SInt32(c.list.size()), numOut = -1;
    ASSERT_EQ(noErr, BZ_CompoundFrameSelection(c.numFrames, c.chunk, c.numPrev, c.numNext, in.data(), &numIn,
                                               out.data(), &numOut));
    EXPECT_EQ(Text(c.expanded), Text(Frames(in.begin(), in.begin() + numIn)));
    EXPECT_EQ(Text(c.list), Text(Frames(out.begin(), out.begin() + numOut)));
  }
  SInt32 frame = 3, num = 1, numOut = 0;
  EXPECT_EQ(paramErr, BZ_CompoundFrameSelection(10, 0, 0, 0, &frame, &num, &frame, &numOut));
  EXPECT_EQ(paramErr, BZ_CompoundFrameSelection(10, 3, 1, 1, nullptr, &num, &frame, &numOut));
}

// ---- Chunks --------------------------------------------------------------------------------------------------------

TEST(EngineFrameSelection, ChunksOfStageTablesAndTheArraysTheirListsNeed) {
  struct Case {
    const char *name;
    std::initializer_list<BZ_TaskType> types;
    SInt32 numConstPix;
    SInt32 chunk, numPrev, maxArray;
  } cases[] = {
      {"no method", {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_ComprTaskType, kBZ_WriteTaskType}, 2, 1, 0, 10},
      {"noise reduction",
       {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_ComprTaskType, kBZ_WriteTaskType},
       2, 3, 1, 30},
      {"noise reduction and outliers",
       {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_OutlierTaskType, kBZ_WriteTaskType},
       2, 11, 5, 110},
      {"outliers with the largest k", {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_OutlierTaskType}, 3, 13, 6, 130},
      {"outliers with a damaged k of 0", {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_OutlierTaskType}, 0, 5, 2, 50},
      {"outliers with a damaged k of 1000", {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_OutlierTaskType}, 1000, 13, 6,
       130},
      {"logo removal",
       {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_RlTaskType, kBZ_WriteTaskType},
       2, 3, 1, 3000},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    bz_test::CurrentProject project;
    project->info.settings.cleaning.ou.numConstPix = c.numConstPix;
    FillTable(project->dynIO_Info.buffInfo, c.types);
    SInt32 prev = -1, next = -1, buffers = -1;
    EXPECT_EQ(c.chunk, BZ_GetCompoundedChunkSize(project->dynIO_Info.buffInfo, kBZ_NumBuffInfos, &prev, &next,
                                                 &buffers));
    EXPECT_EQ(c.numPrev, prev);
    EXPECT_EQ(c.numPrev, next);
    EXPECT_EQ(c.numPrev, buffers);
    EXPECT_EQ(c.maxArray, BZ_GetMaxSampleNumArraySize(project->dynIO_Info.buffInfo));
  }
  // The first stages only.
  BZ_BuffInfo table[kBZ_NumBuffInfos] = {};
  FillTable(table, {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_OutlierTaskType});
  EXPECT_EQ(1, BZ_GetCompoundedChunkSize(table, 2, nullptr, nullptr, nullptr));
  EXPECT_EQ(3, BZ_GetCompoundedChunkSize(table, 3, nullptr, nullptr, nullptr));
  EXPECT_EQ(11, BZ_GetCompoundedChunkSize(table, 99, nullptr, nullptr, nullptr));
}

TEST(EngineFrameSelection, NoiseMeasurementRangeNeedsTheChunksOfTheRunningMethods) {
  bz_test::CurrentProject project;
  bz_test::DescribeSource(project.statMovInfo(), 0, 480, 720, 500);
  BZ_CleaninSett &c = project->info.settings.cleaning;
  EXPECT_EQ(0, BZ_GetMinEndstartFrameDiffForNrAutosettCalc());
  c.noiseRed.apply = c.noiseRed.horizontal = true;
  EXPECT_EQ(2, BZ_GetMinEndstartFrameDiffForNrAutosettCalc());
  c.ou.apply = true;
  c.ou.numConstPix = 3;
  c.crossLuma.apply = true;  // a chunk of one adds nothing
  EXPECT_EQ(14, BZ_GetMinEndstartFrameDiffForNrAutosettCalc());
}

// ---- Frame lists of the stages ---------------------------------------------------------------------------------

const std::initializer_list<BZ_TaskType> kNoiseAfterVarBr = {
    kBZ_ReadTaskType,  kBZ_CopyTaskType,      kBZ_VarBrTaskType, kBZ_NoiseRedTaskType,
    kBZ_ComprTaskType, kBZ_WriteTaskType,     kBZ_NoiseFrameTaskType, kBZ_WriteTaskType};

TEST(EngineFrameSelection, AnalysisListsGrowFromTheMeasuringStageToTheFront) {
  Selection s(kNoiseAfterVarBr, kBZ_ProjStateAnalyzingMovie, 1000);
  gAnswers.autoSettStage = 4;  // noise levels
  const Frames samples = {50, 150, 250, 350, 450, 549, 649, 749, 849, 949};

  Selection::Lists noise = s.For(kBZ_NoiseRedTaskType);
  ASSERT_EQ(noErr, noise.err);
  EXPECT_EQ(Text(samples), Text(noise.out));
  EXPECT_EQ(Text(WithNeighbours(samples)), Text(noise.in));
  EXPECT_EQ(Text(samples), Text(noise.tests));
  // The stages before it read and pass on the neighbours too; those after it see the samples.
  for (BZ_TaskType before : {kBZ_VarBrTaskType, kBZ_CopyTaskType, kBZ_ReadTaskType}) {
    Selection::Lists l = s.For(before);
    EXPECT_EQ(Text(WithNeighbours(samples)), Text(l.in)) << before;
    EXPECT_EQ(Text(WithNeighbours(samples)), Text(l.out)) << before;
  }
  for (BZ_TaskType after : {kBZ_ComprTaskType, kBZ_WriteTaskType, kBZ_NoiseFrameTaskType}) {
    Selection::Lists l = s.For(after);
    EXPECT_EQ(Text(samples), Text(l.in)) << after;
    EXPECT_EQ(Text(samples), Text(l.out)) << after;
  }
  EXPECT_EQ(10, BZ_GetNumSelectedMovieSamples());

  // Without a stage being measured the last stage is the measuring one: the same samples here.
  gAnswers.autoSettStage = 0;
  EXPECT_EQ(Text(samples), Text(s.For(kBZ_NoiseRedTaskType).out));
}

TEST(EngineFrameSelection, NoiseMeasurementSamplesOnlyItsRange) {
  struct Case {
    SInt32 startFrame, endFrame;  // as stored, from 1
    SInt32 lowest, highest;       // bounds of the frames read
    OSStatus err;
  } cases[] = {
      {501, 600, 500, 599, noErr},
      {501, 504, 500, 503, noErr},
      {1, 3, 0, 2, noErr},
      {0, 5000, 0, 999, noErr},    // a range from another movie is held inside this one
      {-40, 2, 0, 1, kBZ_MovieTooShortErr},
      {998, 1000, 997, 999, noErr},
      {1000, 1000, 0, 0, kBZ_MovieTooShortErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.startFrame) + ".." + std::to_string(c.endFrame));
    Selection s(kNoiseAfterVarBr, kBZ_ProjStateAnalyzingMovie, 1000);
    s.project->info.settings.cleaning.noiseRed.startFrame = c.startFrame;
    s.project->info.settings.cleaning.noiseRed.endFrame = c.endFrame;
    gAnswers.autoSettStage = 8;
    Selection::Lists l = s.For(kBZ_ReadTaskType);
    EXPECT_EQ(c.err, l.err);
    if (c.err != noErr) continue;
    ASSERT_FALSE(l.in.empty());
    EXPECT_GE(l.in.front(), c.lowest);
    EXPECT_LE(l.in.back(), c.highest);
    EXPECT_EQ(l.in, s.For(kBZ_NoiseRedTaskType).in);
  }
}

TEST(EngineFrameSelection, PreviewCleansTheShownFrameWithTheNeighboursItNeeds) {
  struct Case {
    SInt32 numFrames, previewFrame;
    Frames noiseIn, readIn;
  } cases[] = {
      {1000, 500, {499, 500, 501}, {499, 500, 501}},
      {1000, 0, {0, 1}, {0, 1}},
      {1000, 999, {998, 999}, {998, 999}},
      {1, 0, {0}, {0}},
      {2, 1, {0, 1}, {0, 1}},
      {3, 7, {1, 2}, {1, 2}},   // a frame beyond this movie is held inside it
      {3, -1, {0, 1}, {0, 1}},  // and one before it
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.numFrames) + " frames, preview at " + std::to_string(c.previewFrame));
    Selection s(kNoiseAfterVarBr, kBZ_ProjStatePreviewing, c.numFrames);
    gAnswers.previewFrame = c.previewFrame;
    const SInt32 shown = std::clamp(c.previewFrame, 0, c.numFrames - 1);
    Selection::Lists noise = s.For(kBZ_NoiseRedTaskType);
    ASSERT_EQ(noErr, noise.err);
    EXPECT_EQ(Text({shown}), Text(noise.out));
    EXPECT_EQ(Text(c.noiseIn), Text(noise.in));
    EXPECT_EQ(Text({shown}), Text(noise.tests));
    EXPECT_EQ(Text(c.readIn), Text(s.For(kBZ_ReadTaskType).in));
    EXPECT_EQ(Text({shown}), Text(s.For(kBZ_WriteTaskType).in));
    EXPECT_EQ(1, BZ_GetNumSelectedMovieSamples());
  }
}

TEST(EngineFrameSelection, ExecutingProcessesEveryFrameWithoutTestFrames) {
  Selection s(kNoiseAfterVarBr, kBZ_ProjStateExecuting, 1234);
  Selection::Lists l = s.For(kBZ_NoiseRedTaskType);
  EXPECT_EQ(noErr, l.err);
  EXPECT_EQ(1234u, l.in.size());
  EXPECT_EQ(1234u, l.out.size());
  EXPECT_TRUE(l.tests.empty());
  EXPECT_EQ(1234, BZ_GetNumSelectedMovieSamples());
  // Measuring varying brightness reads every frame as well.
  s.project->state.exec = kBZ_ProjStateAnalyzingMovie;
  gAnswers.autoSettStage = 2;
  EXPECT_EQ(1234, BZ_GetNumSelectedMovieSamples());
}

TEST(EngineFrameSelection, LogoFindingSamplesUpToAThousandFramesAndTestsTen) {
  Selection s({kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_RlTaskType, kBZ_ComprTaskType,
               kBZ_WriteTaskType},
              kBZ_ProjStateAnalyzingMovie, 20000);
  gAnswers.autoSettStage = 16;
  Selection::Lists rl = s.For(kBZ_RlTaskType);
  ASSERT_EQ(noErr, rl.err);
  EXPECT_EQ(1000u, rl.out.size());
  EXPECT_EQ(rl.out, rl.in);  // logo removal needs no neighbours
  EXPECT_EQ(Text(Frames(rl.out.begin(), rl.out.begin() + 10)), Text(rl.tests));
  // The groups each form their own run through the noise stage in front: every sample keeps its neighbours.
  Selection::Lists noise = s.For(kBZ_NoiseRedTaskType);
  EXPECT_EQ(rl.out, noise.out);
  EXPECT_EQ(3000u, noise.in.size());
  EXPECT_LE(noise.in.size(), size_t(noise.capacity));
  EXPECT_EQ(1000, BZ_GetNumSelectedMovieSamples());
}

// Movies of one and two frames (and a few longer ones) in every kind of run: no list holds a frame outside
// the movie, each run is ascending, and no list outgrows the arrays the table asks for.
TEST(EngineFrameSelection, ShortMoviesNeverSelectFramesOutsideThemselves) {
  const std::initializer_list<BZ_TaskType> tables[] = {
      {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_ComprTaskType, kBZ_WriteTaskType, kBZ_NoiseFrameTaskType,
       kBZ_WriteTaskType},
      {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_OutlierTaskType, kBZ_WriteTaskType},
      {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_RlTaskType, kBZ_WriteTaskType},
  };
  struct Run {
    BZ_ExecuteState exec;
    UInt32 autoSettStage;
  } runs[] = {{kBZ_ProjStatePreviewing, 0},
              {kBZ_ProjStateAnalyzingMovie, 0},
              {kBZ_ProjStateAnalyzingMovie, 4},
              {kBZ_ProjStateAnalyzingMovie, 16}};
  const BZ_TaskType stages[] = {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_RlTaskType,
                                kBZ_OutlierTaskType, kBZ_WriteTaskType};
  for (SInt32 numFrames : {1, 2, 3, 9, 14}) {
    for (size_t t = 0; t < std::size(tables); ++t) {
      for (const Run &run : runs) {
        Selection s(tables[t], run.exec, numFrames);
        gAnswers.autoSettStage = run.autoSettStage;
        gAnswers.previewFrame = numFrames - 1;
        for (BZ_TaskType stage : stages) {
          SCOPED_TRACE(std::to_string(numFrames) + " frames, table " + std::to_string(t) + ", state " +
                       std::to_string(run.exec) + ", measuring " + std::to_string(run.autoSettStage) + ", stage " +
                       std::to_string(stage));
          Selection::Lists l = s.For(stage);
          if (l.err == kBZ_MovieTooShortErr) continue;
          ASSERT_EQ(noErr, l.err);
          EXPECT_FALSE(l.out.empty());
          EXPECT_LE(l.in.size(), size_t(l.capacity));
          for (const Frames *list : {&l.in, &l.out, &l.tests}) {
            for (SInt32 f : *list) {
              EXPECT_GE(f, 0);
              EXPECT_LT(f, numFrames);
            }
          }
        }
      }
    }
  }
  // Two frames are too short for a noise measurement (a chunk of three), one frame for any analysis with it.
  Selection s({kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_WriteTaskType},
              kBZ_ProjStateAnalyzingMovie, 2);
  gAnswers.autoSettStage = 4;
  EXPECT_EQ(kBZ_MovieTooShortErr, s.For(kBZ_NoiseRedTaskType).err);
  EXPECT_EQ(0, BZ_GetNumSelectedMovieSamples());
}

TEST(EngineFrameSelection, StageListsNeedAProjectAndTheirArrays) {
  SInt32 in[4], out[4], tests[11], numIn = 5, numOut = 5, numTests = 5;
  EXPECT_EQ(paramErr, BZ_SelectMovieSamplesForStage(10, kBZ_ReadTaskType, in, &numIn, out, &numOut, tests, &numTests));
  EXPECT_EQ(0, numIn);
  EXPECT_EQ(kBZ_EndOfFrameList, tests[0]);
  EXPECT_EQ(0, BZ_GetNumSelectedMovieSamples());
  Selection s(kNoiseAfterVarBr, kBZ_ProjStateAnalyzingMovie, 10);
  EXPECT_EQ(paramErr, BZ_SelectMovieSamplesForStage(10, kBZ_ReadTaskType, in, &numIn, nullptr, &numOut, tests,
                                                    &numTests));
  // A movie without frames has nothing to analyse.
  EXPECT_EQ(kBZ_MovieTooShortErr,
            BZ_SelectMovieSamplesForStage(0, kBZ_ReadTaskType, in, &numIn, out, &numOut, tests, &numTests));
}

TEST(EngineFrameSelection, AutoSettingsStagesAndTheirTaskTypes) {
  const std::pair<UInt32, UInt32> cases[] = {{1, kBZ_AverageTaskType}, {2, kBZ_VarBrTaskType},
                                             {4, kBZ_NoiseRedTaskType}, {8, kBZ_NoiseRedTaskType},
                                             {16, kBZ_RlTaskType}, {0, 0}, {32, 0}, {3, 0}};
  for (auto [flag, type] : cases) EXPECT_EQ(type, BZ_GetAutoSettTaskType(flag)) << flag;
}

TEST(EngineFrameSelection, FramesOfTheShorterSource) {
  BZ_StatMovInfo info[kBZ_MaxNumFiles] = {};
  EXPECT_EQ(0, BZ_GetNumFramesInMovie(nullptr));
  EXPECT_EQ(0, BZ_GetNumFramesInMovie(info));
  bz_test::DescribeSource(info, 0, 480, 720, 300);
  EXPECT_EQ(300, BZ_GetNumFramesInMovie(info));
  bz_test::DescribeSource(info, 1, 480, 720, 250);
  EXPECT_EQ(250, BZ_GetNumFramesInMovie(info));
  info[1].numFrames = 400;
  EXPECT_EQ(300, BZ_GetNumFramesInMovie(info));
  info[0].numFrames = -3;
  EXPECT_EQ(0, BZ_GetNumFramesInMovie(info));
}

// ---- Movie time ----------------------------------------------------------------------------------------------------

using bz_test::BuiltMovie;

// A movie of one video track with these frame durations from time `at`, described as a non-MPEG source.
struct TimedSource {
  TimedSource(TimeScale scale, const std::vector<TimeValue> &durations, TimeValue at = 0) : built(scale) {
    Track t = bz_test::AddBuiltTrack(built.movie, VideoMediaType, scale, bz_test::Frames(durations));
    bz_test::InsertWholeMedia(t, at);
    info.cType = '2vuy';
    info.numFrames = SInt32(durations.size());
    info.frameDuration = durations.front();
    info.videoDuration = GetMovieDuration(built.movie);
  }
  ~TimedSource() {
    if (info.timeList != nullptr) GL_DisposePtr(&info.timeList);
  }
  Frames List() const { return Frames(info.timeList, info.timeList + info.numFrames); }

  BuiltMovie built;
  BZ_StatMovInfo info{};
};

TEST(EngineFrameSelection, TimeListsOfConstantAndIrregularMovies) {
  struct Case {
    const char *name;
    std::vector<TimeValue> durations;
    TimeValue at;
    Frames times;
  } cases[] = {
      {"constant", std::vector<TimeValue>(6, 1001), 0, Spread(0, 1001, 6)},
      {"irregular", {10, 20, 5, 40, 15, 30}, 0, {0, 10, 30, 35, 75, 90}},
      {"starting late", {10, 20, 5}, 100, {100, 110, 130}},
      {"one frame", {40}, 0, {0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TimedSource s(600, c.durations, c.at);
    ASSERT_EQ(noErr, BZ_MakeMovieTimeList(s.built.movie, &s.info));
    ASSERT_NE(nullptr, s.info.timeList);
    EXPECT_EQ(Text(c.times), Text(s.List()));
    // Every frame's own times map back to it; a time inside a frame to that frame.
    for (SInt32 i = 0; i < s.info.numFrames; ++i) {
      EXPECT_EQ(i, BZ_MovieFrameNumberFromTimeList(&s.info, c.times[size_t(i)]));
      EXPECT_EQ(i, BZ_MovieFrameNumberFromTimeList(&s.info, c.times[size_t(i)] + c.durations[size_t(i)] - 1));
      EXPECT_EQ(i, BZ_MovieTimeToFrameNumber(s.built.movie, &s.info, c.times[size_t(i)]));
      EXPECT_EQ(c.times[size_t(i)], BZ_MovieFrameNumberToTime(s.built.movie, &s.info, i));
    }
    EXPECT_EQ(0, BZ_MovieFrameNumberFromTimeList(&s.info, c.times.front() - 1));
    EXPECT_EQ(s.info.numFrames - 1, BZ_MovieFrameNumberFromTimeList(&s.info, 0x7FFFFFFF));
  }
}

TEST(EngineFrameSelection, TimeListBeyondTheFramesAMovieCanStepToStaysAscending) {
  TimedSource s(600, {10, 20, 5});
  s.info.numFrames = 6;  // a count larger than the frames found
  s.info.frameDuration = 10;
  ASSERT_EQ(noErr, BZ_MakeMovieTimeList(s.built.movie, &s.info));
  EXPECT_EQ("0,10,30,40,50,60,", Text(s.List()));
  // Made again, the old list is replaced (the sanitizer sees a leak otherwise).
  ASSERT_EQ(noErr, BZ_MakeMovieTimeList(s.built.movie, &s.info));
  s.info.numFrames = 0;
  ASSERT_EQ(noErr, BZ_MakeMovieTimeList(s.built.movie, &s.info));
  EXPECT_EQ(nullptr, s.info.timeList);
  EXPECT_EQ(-1, BZ_MovieFrameNumberFromTimeList(&s.info, 5));
  EXPECT_EQ(paramErr, BZ_MakeMovieTimeList(nullptr, &s.info));
  EXPECT_EQ(paramErr, BZ_MakeMovieTimeList(s.built.movie, nullptr));
}

TEST(EngineFrameSelection, TimeListSearchFindsTheFrameShowingATime) {
  BZ_StatMovInfo info{};
  TimeValue list[] = {100, 200, 300, 400, 500, 600, 700};
  info.timeList = list;
  info.numFrames = 7;
  const std::pair<TimeValue, SInt32> cases[] = {{0, 0}, {99, 0}, {100, 0}, {199, 0}, {200, 1},
                                                {500, 4}, {599, 4}, {600, 5}, {700, 6}, {1 << 30, 6}};
  for (auto [time, frame] : cases) EXPECT_EQ(frame, BZ_MovieFrameNumberFromTimeList(&info, time)) << time;
}

TEST(EngineFrameSelection, StepsThroughRealMoviesFrameByFrame) {
  TimedSource s(600, {10, 20, 5, 40});
  TimeValue next = 0, duration = 0;
  double timeF = 0.0;
  BZ_GetMovieVideoNextTime(s.built.movie, &s.info, 10, &timeF, &next, &duration);
  EXPECT_EQ(30, next);
  EXPECT_EQ(5, duration);
  BZ_GetMovieVideoNextTime(s.built.movie, &s.info, 35, &timeF, &next, &duration);
  EXPECT_EQ(-1, next);
  EXPECT_EQ(0, duration);
  BZ_GetMovieVideoPrevTime(s.built.movie, &s.info, 35, &next, &duration);
  EXPECT_EQ(30, next);
  EXPECT_EQ(5, duration);
  BZ_GetMovieVideoPrevTime(s.built.movie, &s.info, 75, &next, nullptr);
  EXPECT_EQ(35, next);
  EXPECT_EQ(-1, BZ_MovieTimeToFrameNumber(s.built.movie, &s.info, 75));  // at the video end
}

TEST(EngineFrameSelection, MpegSourcesAreEvenlySpaced) {
  BZ_StatMovInfo info{};
  info.cType = 'm2v ';
  info.frameDuration = 30;
  info.frameDurationF = 30.03;
  info.numFrames = 5;

  // Stepping from time 0 keeps the exact time: 30, 60, 90, each 30 long.
  TimeValue time = 0, next = 0, duration = 0;
  double timeF = 0.0;
  for (TimeValue expected : {30, 60, 90}) {
    BZ_GetMovieVideoNextTime(nullptr, &info, time, &timeF, &next, &duration);
    EXPECT_EQ(expected, next);
    EXPECT_EQ(30, duration);
    time = next;
  }
  // At step 18 the exact time 540.54 rounds a whole unit ahead of 18 x 30: that step is 31 long.
  for (int i = 3; i < 18; ++i) BZ_GetMovieVideoNextTime(nullptr, &info, time, &timeF, &time, &duration);
  EXPECT_EQ(541, time);
  EXPECT_EQ(31, duration);

  struct Prev {
    TimeValue time, prev, duration;
  } prevs[] = {{0, -1, 0}, {1, 0, 30}, {10, 0, 30}, {60, 30, 30}};
  for (const Prev &p : prevs) {
    TimeValue d = -5;
    BZ_GetMovieVideoPrevTime(nullptr, &info, p.time, &next, &d);
    EXPECT_EQ(p.prev, next) << p.time;
    EXPECT_EQ(p.duration, d) << p.time;
  }

  EXPECT_EQ(2, BZ_MovieTimeToFrameNumber(nullptr, &info, 60));
  EXPECT_EQ(2, BZ_MovieTimeToFrameNumber(nullptr, &info, 89));
  EXPECT_EQ(90, BZ_MovieFrameNumberToTime(nullptr, &info, 3));
  EXPECT_EQ(-1, BZ_MovieFrameNumberToTime(nullptr, &info, 0x7FFFFFF0));  // beyond 32-bit time
  ASSERT_EQ(noErr, BZ_MakeMovieTimeList(nullptr, &info));
  EXPECT_EQ("0,30,60,90,120,", Text(Frames(info.timeList, info.timeList + 5)));
  GL_DisposePtr(&info.timeList);

  // An MPEG record without a frame duration steps through the movie instead of dividing by 0.
  info.frameDuration = 0;
  EXPECT_EQ(-1, BZ_MovieTimeToFrameNumber(nullptr, &info, 60));
}

// The read stage finds each listed frame at timeList[frame]: on movies of constant and irregular frames, long
// and short, every frame of every list is shown at its listed time.
TEST(EngineFrameSelection, ListedFramesAreFoundAtTheirListedTimes) {
  std::vector<TimeValue> irregular;
  for (int i = 0; i < 40; ++i) irregular.push_back(TimeValue(5 + (i * 7) % 23));
  const std::vector<TimeValue> movies[] = {std::vector<TimeValue>(40, 1001), irregular, {40}, {10, 30}};
  for (const std::vector<TimeValue> &durations : movies) {
    for (BZ_ExecuteState exec : {kBZ_ProjStateAnalyzingMovie, kBZ_ProjStatePreviewing}) {
      SCOPED_TRACE(std::to_string(durations.size()) + " frames, state " + std::to_string(exec));
      TimedSource movie(600, durations);
      Selection s({kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_ComprTaskType, kBZ_WriteTaskType},
                  exec, movie.info.numFrames);
      gAnswers.previewFrame = movie.info.numFrames - 1;
      ASSERT_EQ(noErr, BZ_MakeMovieTimeList(movie.built.movie, &movie.info));
      Selection::Lists l = s.For(kBZ_ReadTaskType);
      if (exec == kBZ_ProjStateAnalyzingMovie && durations.size() < 3) {
        EXPECT_EQ(kBZ_MovieTooShortErr, l.err);  // no chunk of three fits
        continue;
      }
      ASSERT_EQ(noErr, l.err);
      ASSERT_FALSE(l.in.empty());
      for (SInt32 f : l.in) {
        ASSERT_GE(f, 0);
        ASSERT_LT(f, movie.info.numFrames);
        EXPECT_EQ(f, BZ_MovieTimeToFrameNumber(movie.built.movie, &movie.info, movie.info.timeList[f]));
      }
    }
  }
}

// ---- Cropping ------------------------------------------------------------------------------------------------------

TEST(EngineFrameSelection, CropRegionIsScaledToTheTrackWithEvenMargins) {
  struct Case {
    const char *name;
    Rect crop;  // margins: top, left, bottom, right
    float trackWidth;
    SInt32 width, trackHeight, height;
    Rect expected;
  } cases[] = {
      {"same size", {8, 10, 6, 4}, 720.0f, 720, 480, 480, {8, 10, 474, 716}},
      {"anamorphic track", {8, 10, 6, 4}, 853.33f, 720, 480, 480, {8, 12, 474, 849}},
      {"half size", {9, 7, 3, 5}, 360.0f, 720, 240, 480, {4, 4, 238, 358}},
      {"no margins", {0, 0, 0, 0}, 640.4f, 640, 480, 480, {0, 0, 480, 640}},
      {"margins that cross", {300, 400, 300, 400}, 720.0f, 720, 480, 480, {300, 400, 300, 400}},
      {"picture of no size", {8, 10, 6, 4}, 720.0f, 0, 480, 0, {8, 10, 474, 716}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    RgnHandle rgn = BZ_GetScaledCropRgn(&c.crop, c.trackWidth, c.width, c.trackHeight, c.height);
    ASSERT_NE(nullptr, rgn);
    Rect box{};
    GetRegionBounds(rgn, &box);
    if (c.expected.bottom > c.expected.top && c.expected.right > c.expected.left)
      EXPECT_EQ(bz_test::RectText(c.expected), bz_test::RectText(box));
    else
      EXPECT_TRUE(EmptyRgn(rgn));
    DisposeRgn(rgn);
  }
}

}  // namespace
