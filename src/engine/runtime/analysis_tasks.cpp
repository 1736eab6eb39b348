// The frame-analysis tasks: starting and ending them, their message loop, the per-frame measurements on the
// working frames (kernels in frame_analysis.cpp), the general frame analysis of the asking stages and the
// result routines that tell the dialog.
#include "engine/runtime/analysis_tasks.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_analysis.h"
#include "engine/runtime/shell_senders.h"
#include "engine/runtime/stage_access.h"
#include "general/statistics.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>

namespace {

constexpr SInt32 kWhiteLinePictureHeight = 576;  // only such pictures carry the white line piece
constexpr SInt32 kWhiteLineMinWidth = 250;       // buffer pixels the white-line test reads in a row
constexpr SInt32 kWhiteLineFullCount = kBZ_NumTestFrames;
constexpr Duration kAnswerPollSlice = 100;  // ms between checks that a measuring task still lives

// Starting and ending share one lock: the copy stages of both files set up at the same time.
std::mutex gAnalysisTasksMutex;

// ---- Starting and ending ------------------------------------------------------------------------------------

// A task that left its loop by itself (a failed wait or post) is ended and its queues are deleted, so that
// it can be started afresh.
void CollectEndedTask(MP_TaskData *taskData) {
  if (taskData->ID != nullptr && taskData->exiting) MP_TerminateTask(taskData, true, noErr);
}

OSStatus StartAnalysisTask(MP_TaskData *taskData, TaskProc entryPoint, BZ_TaskType type,
                           BZ_DlgTaskData *dlgTaskData) {
  CollectEndedTask(taskData);
  if (taskData->ID != nullptr) return noErr;
  MP_DisposeTask(taskData);  // queues of an earlier failed start, if any
  taskData->entryPoint = entryPoint;
  taskData->queuesAllocated = kBZ_AnalysisTaskQueues;
  taskData->termMessage1 = BZ_Word(type);
  taskData->termMessage2 = gBZ.project;
  taskData->stopped = false;
  taskData->exiting = false;
  taskData->creator = nullptr;
  taskData->type = type;
  taskData->subType = 0;
  taskData->data = dlgTaskData;
  const OSStatus err = MP_CreateTask(taskData);
  if (err != noErr) {
    taskData->ID = nullptr;
    MP_DisposeTask(taskData);
  }
  return err;
}

OSStatus EndAnalysisTask(MP_TaskData *taskData) {
  const OSStatus err = MP_TerminateTask(taskData, true, noErr);
  // The task's own result (a failure it ended with) is no failure of ending it.
  return err == kMP_TerminateTaskErr ? err : noErr;
}

bool IsAnalysisRun() {
  const BZ_ProjPtr project = gBZ.project;
  return project != nullptr && project->state.exec == kBZ_ProjStateAnalyzingMovie;
}

// ---- Frames -----------------------------------------------------------------------------------------------------

// The working frame of source 0's size: picture inWidth x inHeight from row `top` and pixel 8 of rows
// `width` pixels wide.
struct FrameGeometry {
  SInt32 inWidth;
  SInt32 inHeight;
  SInt32 width;
  SInt32 rowBytes;
  SInt32 top;
  Boolean interlaced;
};

bool GetFrameGeometry(BZ_ProjPtr project, FrameGeometry *g) {
  if (project == nullptr) return false;
  const BZ_StatMovInfo &movie = project->info.statMovInfo[0];
  g->interlaced = project->info.settings.input.interlaced;
  SInt32 bufferHeight = 0;
  SInt64 bufferSize = 0;
  if (BZ_GetBufferSize(movie.height, movie.width, g->interlaced, &bufferHeight, &g->width, &bufferSize) != noErr)
    return false;
  g->inWidth = movie.width;
  g->inHeight = movie.height;
  g->rowBytes = 2 * g->width;
  g->top = g->interlaced ? 16 : 8;
  return true;
}

const UInt8 *PictureRow(const UInt8 *buffer, const FrameGeometry &g, SInt32 y) {
  return buffer + (ptrdiff_t(g.top) + y) * g.rowBytes;
}

// The stage that asked: the entry of the input's stage number when it has the sender's type, else the stage
// of that type and file.
BZ_BuffInfo *AskingStage(BZ_ProjPtr project, BZ_TaskType sender, const BZ_DlgTaskInput *input) {
  if (project == nullptr) return nullptr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  const SInt32 numStages = BZ_CountStages(table);
  if (input->stageNum >= 0 && input->stageNum < numStages && table[input->stageNum].type == sender)
    return &table[input->stageNum];
  return BZ_GetBufferInfoByStageType(table, sender, input->fileNum);
}

bool ValidTest(SInt32 testNum) { return testNum >= 0 && testNum < kBZ_NumTestFrames; }
bool ValidStage(SInt32 stageNum) { return stageNum >= 0 && stageNum < kBZ_MaxNumStages; }
bool ValidFile(SInt32 fileNum) { return fileNum >= 0 && fileNum < kBZ_MaxNumFiles; }

// ---- Measurements of one frame (each writes only its own cells) -----------------------------------------------

void MeasureWhiteLine(BZ_DlgTaskData *data, BZ_ProjPtr project, BZ_TaskType, const BZ_DlgTaskInput *input) {
  if (!ValidFile(input->fileNum) || !ValidTest(input->testNum)) return;
  Boolean secondLast = false, bottom = false;
  FrameGeometry g;
  if (input->outBuffer != nullptr && GetFrameGeometry(project, &g) && g.inHeight == kWhiteLinePictureHeight &&
      g.width >= kWhiteLineMinWidth) {
    secondLast = BZ_IsWhiteLinePieceRow(PictureRow(input->outBuffer, g, g.inHeight - 2));
    if (!secondLast) bottom = BZ_IsWhiteLinePieceRow(PictureRow(input->outBuffer, g, g.inHeight - 1));
  }
  // Both cells every time: a cell left from another movie would count for this one.
  data->hasWhiteLineInSecLastLine[input->fileNum][input->testNum] = secondLast;
  data->hasWhiteLineInBottomLine[input->fileNum][input->testNum] = bottom;
}

void MeasureBlackBars(BZ_DlgTaskData *data, BZ_ProjPtr project, BZ_TaskType, const BZ_DlgTaskInput *input) {
  if (input->fileNum != 0 || !ValidTest(input->testNum)) return;
  SInt32 *size = data->blackBarSize[input->testNum];
  std::fill(size, size + 4, 0);
  FrameGeometry g;
  if (input->outBuffer == nullptr || !GetFrameGeometry(project, &g)) return;
  const UInt8 *picture = PictureRow(input->outBuffer, g, 0) + 16;
  const UInt8 *lastRow = PictureRow(input->outBuffer, g, g.inHeight - 1) + 16;
  size[0] = BZ_GetBlackBarSizeHoriz(picture, g.inWidth, g.width, g.inHeight / 4, true);
  size[1] = BZ_GetBlackBarSizeVert(picture, g.inHeight, g.inWidth, g.width, g.inWidth / 4, true);
  size[2] = BZ_GetBlackBarSizeHoriz(lastRow, g.inWidth, g.width, g.inHeight / 4, false);
  size[3] = BZ_GetBlackBarSizeVert(picture, g.inHeight, g.inWidth, g.width, g.inWidth / 4, false);
}

void MeasureNoiseLevel(BZ_DlgTaskData *data, BZ_ProjPtr project, BZ_TaskType, const BZ_DlgTaskInput *input) {
  if (!ValidStage(input->stageNum) || !ValidTest(input->testNum)) return;
  float level = 0.0f;
  FrameGeometry g;
  if (input->outBuffer != nullptr && GetFrameGeometry(project, &g))
    level = BZ_GetFrameNoiseLevel(input->outBuffer, g.inWidth, g.inHeight, g.width, g.interlaced);
  data->noiseLevel[input->stageNum][input->testNum] = level;
}

void MeasurePixelDiff(BZ_DlgTaskData *data, BZ_ProjPtr project, BZ_TaskType sender, const BZ_DlgTaskInput *input) {
  if (!ValidStage(input->stageNum) || !ValidTest(input->testNum)) return;
  float meanDiff = 0.0f, changedShare = 0.0f;
  FrameGeometry g;
  if (input->inBuffer != nullptr && input->outBuffer != nullptr && GetFrameGeometry(project, &g)) {
    const SInt32 numLines = g.inHeight >= 48 ? (g.inHeight - 48) / kBZ_NumDiffGroups : 0;
    const Boolean calcOptScale = sender == kBZ_WriteTaskType && input->fileNum == 0;
    float lineDiff[kBZ_NumDiffGroups] = {};
    SInt32 numDiff = 0;
    float optScaleY = 0.0f, optScaleC = 0.0f;
    BZ_Calc20LineDiffUni(input->inBuffer, input->outBuffer, g.inWidth, g.rowBytes, numLines, lineDiff, &numDiff,
                         calcOptScale, &optScaleY, &optScaleC);
    double sum = 0.0;
    for (float d : lineDiff) sum += d;
    meanDiff = float(sum / double(kBZ_NumDiffGroups));
    const double tested = double(BZ_GetDiffLineWidth(g.inWidth)) * numLines * double(kBZ_NumDiffGroups);
    changedShare = tested > 0.0 ? float(numDiff / tested) : 0.0f;
    if (calcOptScale) {
      data->optScaleY[input->testNum] = optScaleY;
      data->optScaleC[input->testNum] = optScaleC;
    }
  }
  data->pixelDiff[input->stageNum][input->testNum] = meanDiff;
  data->percChanged[input->stageNum][input->testNum] = changedShare;
}

typedef void (*MeasureProc)(BZ_DlgTaskData *, BZ_ProjPtr, BZ_TaskType, const BZ_DlgTaskInput *);

// The loop every analysis task runs: take a request, measure, answer the asking stage. onlySender 0 takes
// requests from any stage.
OSStatus RunAnalysisTask(void *parameter, BZ_TaskType onlySender, MPEventFlags doneFlag, MeasureProc measure) {
  auto *taskData = static_cast<MP_TaskData *>(parameter);
  if (taskData == nullptr) return paramErr;
  auto *data = static_cast<BZ_DlgTaskData *>(taskData->data);
  OSStatus err = data == nullptr ? paramErr : noErr;
  while (err == noErr) {
    void *sender = nullptr, *inputWord = nullptr, *code = nullptr;
    err = MPWaitOnQueue(taskData->inputQueue, &sender, &inputWord, &code, kDurationForever);
    if (err != noErr) break;
    const auto senderType = BZ_TaskType(BZ_FromWord(sender));
    if (BZ_FromWord(code) != kBZ_AnalyseFrameMessage || inputWord == nullptr) continue;
    if (onlySender != kBZ_NoTaskType && senderType != onlySender) continue;
    const auto *input = static_cast<const BZ_DlgTaskInput *>(inputWord);
    const BZ_ProjPtr project = gBZ.project;
    measure(data, project, senderType, input);
    BZ_BuffInfo *stage = AskingStage(project, senderType, input);
    // Nobody to answer: the request came from a stage that is not in the table.
    if (stage == nullptr || stage->event == nullptr) continue;
    err = MPSetEvent(stage->event, doneFlag);
  }
  // From here on the task no longer touches any input; a waiting stage may give up on it.
  taskData->exiting = true;
  return err;
}

// ---- Telling the dialog -----------------------------------------------------------------------------------------

// Posts the value when the stage type shows it somewhere.
OSStatus SendCalcValue(float value, BZ_TaskType taskType, SInt32 fileNum, BZ_CalcItemType itemType) {
  const SInt16 item = BZ_GetDialogItemForCalcValue(taskType, fileNum, itemType);
  return item < 0 ? noErr : BZ_SendSetValueInDialogEvent(value, item);
}

SInt32 ClampTestCount(SInt32 numFrames) { return std::clamp<SInt32>(numFrames, 0, kBZ_NumTestFrames); }

float RobustAverage(const float *values, SInt32 numFrames) {
  float stdDev = 0.0f;
  Boolean outliers[kBZ_NumTestFrames];
  return GL_GetAverageNoOutliers(values, ClampTestCount(numFrames), &stdDev, outliers);
}

BZ_BuffInfo *StageByNumber(SInt32 stageNum) {
  const BZ_ProjPtr project = gBZ.project;
  if (project == nullptr || !ValidStage(stageNum)) return nullptr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  return stageNum < BZ_CountStages(table) ? &table[stageNum] : nullptr;
}

// Still answering: not yet leaving its loop. A terminated task (ID cleared) may still be measuring a frame it
// took, so only its own mark counts.
bool IsAnswering(const MP_TaskData &taskData) { return !taskData.exiting; }

}  // namespace

// ---- Starting the tasks ---------------------------------------------------------------------------------------

OSStatus BZ_CreateGeneralAnalysisTasks(BZ_DlgTaskData *dlgTaskData) {
  if (dlgTaskData == nullptr) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  const bool measure = IsAnalysisRun() && host->getAutoSettStage(host->refCon) == 0;
  std::lock_guard<std::mutex> lock(gAnalysisTasksMutex);
  if (!measure) {
    const OSStatus err = EndAnalysisTask(&dlgTaskData->frameDiffTaskData);
    const OSStatus err2 = EndAnalysisTask(&dlgTaskData->noiseLevelTaskData);
    return err != noErr ? err : err2;
  }
  OSStatus err = StartAnalysisTask(&dlgTaskData->frameDiffTaskData, BZ_FramePixelDiffTask, kBZ_NoiseLevelTaskType,
                                   dlgTaskData);
  if (err == noErr)
    err = StartAnalysisTask(&dlgTaskData->noiseLevelTaskData, BZ_FrameNoiseLevelTask, kBZ_NoiseLevelTaskType,
                            dlgTaskData);
  return err;
}

OSStatus BZ_CreateInputAnalysisTasks(BZ_DlgTaskData *dlgTaskData, SInt32 fileNum) {
  if (dlgTaskData == nullptr || !ValidFile(fileNum)) return paramErr;
  if (!IsAnalysisRun()) return noErr;
  std::lock_guard<std::mutex> lock(gAnalysisTasksMutex);
  OSStatus err = noErr;
  if (!dlgTaskData->searchedWhiteLinePiece[fileNum])
    err = StartAnalysisTask(&dlgTaskData->whiteLineTaskData, BZ_WhiteLineTask, kBZ_WhiteLineTaskType, dlgTaskData);
  if (err == noErr && fileNum == 0 && !dlgTaskData->detectedBlackBars)
    err = StartAnalysisTask(&dlgTaskData->blackBarsTaskData, BZ_BlackBarsTask, kBZ_WhiteLineTaskType, dlgTaskData);
  return err;
}

// ---- Task entry points ------------------------------------------------------------------------------------------

OSStatus BZ_WhiteLineTask(void *parameter) {
  return RunAnalysisTask(parameter, kBZ_CopyTaskType, kBZ_WhiteLineDoneFlag, MeasureWhiteLine);
}

OSStatus BZ_BlackBarsTask(void *parameter) {
  return RunAnalysisTask(parameter, kBZ_CopyTaskType, kBZ_BlackBarsDoneFlag, MeasureBlackBars);
}

OSStatus BZ_FrameNoiseLevelTask(void *parameter) {
  return RunAnalysisTask(parameter, kBZ_NoTaskType, kBZ_NoiseLevelDoneFlag, MeasureNoiseLevel);
}

OSStatus BZ_FramePixelDiffTask(void *parameter) {
  return RunAnalysisTask(parameter, kBZ_NoTaskType, kBZ_PixelDiffDoneFlag, MeasurePixelDiff);
}

// ---- The asking stages ------------------------------------------------------------------------------------------

OSStatus BZ_GeneralFrameAnalysis(BZ_BuffInfo *stageBuffInfo, BZ_DlgTaskData *dlgTaskData,
                                 Boolean reduceNoiseInEntireFrame, BZ_DlgTaskInput *dlgTaskInput,
                                 MPEventFlags *expectedEvents) {
  if (stageBuffInfo == nullptr || dlgTaskData == nullptr || dlgTaskInput == nullptr) return paramErr;
  if (stageBuffInfo->taskData[0] == nullptr) return userCanceledErr;
  if (stageBuffInfo->event == nullptr) return paramErr;
  MPEventFlags ownFlags = 0;
  MPEventFlags *expected = expectedEvents != nullptr ? expectedEvents : &ownFlags;
  dlgTaskInput->stageNum = stageBuffInfo->number;
  void *const sender = BZ_Word(stageBuffInfo->type);
  void *const code = BZ_Word(kBZ_AnalyseFrameMessage);
  if (reduceNoiseInEntireFrame) {
    const OSStatus err = MPNotifyQueue(dlgTaskData->noiseLevelTaskData.inputQueue, sender, dlgTaskInput, code);
    if (err != noErr) return err;
    *expected |= kBZ_NoiseLevelDoneFlag;
  }
  // When this post fails the noise-level task may still read the input: its answer is awaited all the same.
  const OSStatus postErr = MPNotifyQueue(dlgTaskData->frameDiffTaskData.inputQueue, sender, dlgTaskInput, code);
  if (postErr == noErr) *expected |= kBZ_PixelDiffDoneFlag;

  // The tasks read the input and the frames until they answer, so even a stop waits for their answers; only a
  // task that has left its loop is given up.
  bool stopped = false;
  while ((*expected & (kBZ_NoiseLevelDoneFlag | kBZ_PixelDiffDoneFlag)) != 0) {
    MPEventFlags received = 0;
    const OSStatus err = MPWaitForEvent(stageBuffInfo->event, &received, kAnswerPollSlice);
    if (err == kMPTimeoutErr) {
      const bool noiseGone =
          (*expected & kBZ_NoiseLevelDoneFlag) != 0 && !IsAnswering(dlgTaskData->noiseLevelTaskData);
      const bool diffGone = (*expected & kBZ_PixelDiffDoneFlag) != 0 && !IsAnswering(dlgTaskData->frameDiffTaskData);
      if (noiseGone || diffGone) return stopped ? userCanceledErr : kMPTaskAbortedErr;
      continue;
    }
    if (err != noErr) return err;
    *expected &= ~received;
    if ((received & kBZ_StopTaskFlag) != 0) stopped = true;
  }
  if (postErr != noErr) return postErr;
  return stopped ? userCanceledErr : noErr;
}

OSStatus BZ_FinishGeneralFrameAnalysis(BZ_BuffInfo *stageBuffInfo, Boolean reduceNoiseInEntireFrame,
                                       SInt32 numFrames) {
  if (stageBuffInfo == nullptr) return paramErr;
  if (reduceNoiseInEntireFrame) {
    if (const OSStatus err = BZ_NoiseLevelCalcResult(stageBuffInfo->number, numFrames); err != noErr) return err;
  }
  return BZ_PixelDiffCalcResult(stageBuffInfo->number, numFrames, reduceNoiseInEntireFrame);
}

// ---- Results -----------------------------------------------------------------------------------------------------

OSStatus BZ_WhiteLineCalcResult(SInt32 fileNum, SInt32 numFrames) {
  const BZ_ProjPtr project = gBZ.project;
  if (project == nullptr || !ValidFile(fileNum)) return paramErr;
  const BZ_DlgTaskData &data = gBZ.dlgTaskData;
  const SInt32 n = ClampTestCount(numFrames);
  SInt32 bottomCount = 0, secondLastCount = 0;
  for (SInt32 t = 0; t < n; ++t) {
    bottomCount += data.hasWhiteLineInBottomLine[fileNum][t] ? 1 : 0;
    secondLastCount += data.hasWhiteLineInSecLastLine[fileNum][t] ? 1 : 0;
  }
  BZ_StatMovInfo *movies = project->info.statMovInfo;
  BZ_StatMovInfo &movie = movies[fileNum];
  if (bottomCount == kWhiteLineFullCount) {
    movie.whiteLinePiece = true;
    movie.whiteLineIsBottomLine = true;
  } else if (secondLastCount == kWhiteLineFullCount) {
    movie.whiteLinePiece = true;
    movie.whiteLineIsBottomLine = false;
  } else {
    movie.whiteLinePiece = false;
    movie.whiteLineIsBottomLine = secondLastCount < bottomCount;
  }
  // The piece tells the field order of the pipeline's source; a field order stored with source 0 wins.
  if (!movie.hasFielExt && movie.whiteLinePiece && !movies[0].hasFielExt) {
    movies[0].interlaced = true;
    movies[0].topFieldFirst = !movie.whiteLineIsBottomLine;
  }
  return BZ_OuSendWhiteLineEvent(fileNum);
}

OSStatus BZ_BlackBarsCalcResult(SInt32 numFrames) {
  const BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return paramErr;
  const BZ_DlgTaskData &data = gBZ.dlgTaskData;
  const SInt32 n = ClampTestCount(numFrames);
  SInt32 smallest[4] = {INT_MAX, INT_MAX, INT_MAX, INT_MAX};
  for (SInt32 t = 0; t < n; ++t)
    for (int side = 0; side < 4; ++side) smallest[side] = std::min(smallest[side], data.blackBarSize[t][side]);
  // Without a measured frame there are no bars; a size never exceeds a quarter of the picture.
  auto edge = [n](SInt32 size) { return SInt16(n == 0 ? 0 : std::clamp<SInt32>(size, 0, SHRT_MAX)); };
  Rect &edges = project->info.statMovInfo[0].blackEdges;
  edges.top = edge(smallest[0]);
  edges.left = edge(smallest[1]);
  edges.bottom = edge(smallest[2]);
  edges.right = edge(smallest[3]);
  OSStatus err = noErr;
  if (project->info.settings.input.autoDetectBlackBars) err = BZ_SendSetValueInDialogEvent(0.0f, kBZ_BlackBarsItem);
  const OSStatus err2 = BZ_SendStageDefaultsButtonActivateEvent(kBZ_CopyTaskType);
  return err != noErr ? err : err2;
}

OSStatus BZ_NoiseLevelCalcResult(SInt32 stageNum, SInt32 numFrames) {
  const BZ_BuffInfo *stage = StageByNumber(stageNum);
  if (stage == nullptr) return paramErr;
  const float level = RobustAverage(gBZ.dlgTaskData.noiseLevel[stageNum], numFrames);
  return SendCalcValue(level, stage->type, stage->fileNum, kBZ_CalcItemTypeNoiseLevel);
}

OSStatus BZ_PixelDiffCalcResult(SInt32 stageNum, SInt32 numFrames, Boolean reduceNoiseInEntireFrame) {
  const BZ_BuffInfo *stage = StageByNumber(stageNum);
  if (stage == nullptr) return paramErr;
  BZ_DlgTaskData &data = gBZ.dlgTaskData;
  float diff = RobustAverage(data.pixelDiff[stageNum], numFrames);
  const float changed = RobustAverage(data.percChanged[stageNum], numFrames);
  // Per changed pixel; a stage that changed nothing has no difference per changed pixel either.
  if (!reduceNoiseInEntireFrame) diff = changed > 0.0f ? diff / changed : 0.0f;
  if (stage->type == kBZ_WriteTaskType && stage->fileNum == 0) {
    BZ_DiffParams &diffParams = gBZ.project->info.settings.diffParams;
    diffParams.optScaleC = RobustAverage(data.optScaleC, numFrames);
    diffParams.optScaleY = RobustAverage(data.optScaleY, numFrames);
  }
  if (const OSStatus err = SendCalcValue(diff, stage->type, 0, kBZ_CalcItemTypePixelDiff); err != noErr) return err;
  return SendCalcValue(100.0f * changed, stage->type, 0, kBZ_CalcItemTypePercChanged);
}

SInt16 BZ_GetDialogItemForCalcValue(BZ_TaskType taskType, SInt32 fileNum, BZ_CalcItemType calcItemType) {
  // Items of noise level, pixel difference and percentage changed by stage type.
  struct StageItems {
    BZ_TaskType type;
    SInt16 noiseLevel, pixelDiff, percChanged;
  };
  static constexpr StageItems kItems[] = {
      {kBZ_WriteTaskType, 2085, 2087, 2086},   {kBZ_AverageTaskType, 2107, 2109, 2108},
      {kBZ_NoiseRedTaskType, 2180, 2179, 2178}, {kBZ_RlTaskType, -1, 2339, 2338},
      {kBZ_CrossLumaTaskType, -1, 2358, 2357}, {kBZ_OutlierTaskType, -1, 2513, 2512},
  };
  if (taskType == kBZ_CopyTaskType) {
    if (calcItemType != kBZ_CalcItemTypeNoiseLevel) return -1;
    return fileNum == 0 ? 2029 : fileNum == 1 ? 2103 : -1;
  }
  if (taskType == kBZ_VarBrTaskType) {
    return calcItemType == kBZ_CalcItemTypeVarBrPeriod ? 2402 : calcItemType == kBZ_CalcItemTypeVarBrAtten ? 2405 : -1;
  }
  for (const StageItems &s : kItems) {
    if (s.type != taskType) continue;
    switch (calcItemType) {
      case kBZ_CalcItemTypeNoiseLevel: return s.noiseLevel;
      case kBZ_CalcItemTypePixelDiff: return s.pixelDiff;
      case kBZ_CalcItemTypePercChanged: return s.percChanged;
      default: return -1;
    }
  }
  return -1;
}
