// The read stage: direct reads, the source frame cache and drawn frames.
#include "engine/read_stage.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/stage_access.h"
#include "general/processor_info.h"
#include "methods/average_sources.h"
#include "movie/movie_errors.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

OSStatus BZ_SetupReadTask(BZ_ProjPtr project, MP_TaskData *taskData, MPQueueID *outFreeQueue,
                          BZ_BuffInfo **stageBuffInfo, BZ_BuffInfo **outputBuffInfo, SInt32 *fileNum, Movie *movie,
                          Boolean *readAll, SInt32 **outSampleArray, SInt32 *numOutFrames, size_t *actualSize) {
  if (project == nullptr || taskData == nullptr) return paramErr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *stage = BZ_StageOfTask(table, taskData);
  if (stage == nullptr) return paramErr;
  const SInt32 file = std::clamp<SInt32>(stage->fileNum, 0, kBZ_MaxNumFiles - 1);
  BZ_BuffInfo *out = BZ_GetOutputBufferInfoForStage(table, stage, file);
  MP_TaskData *outTask = out != nullptr ? out->taskData[0].load() : nullptr;
  if (outTask == nullptr || outTask->inFreeQueue == nullptr || outTask->inputQueue == nullptr) return paramErr;
  *stageBuffInfo = stage;
  *outputBuffInfo = out;
  *outFreeQueue = outTask->inFreeQueue;
  *fileNum = file;
  *movie = project->info.dynMovieInfo.sourceMovie[file];

  const BZ_StatMovInfo &movie0 = project->info.statMovInfo[0];
  // Every buffer is sized for source 0: a second source of another size cannot be read into them (the
  // averaging stage refuses it with the same number).
  const BZ_StatMovInfo &own = project->info.statMovInfo[file];
  if (file != 0 && (own.width != movie0.width || own.height != movie0.height)) return kBZ_DiffDimensionsErr;
  const BZ_DynInputInfo &input = project->dynIO_Info.inputInfo[file];
  *actualSize = size_t(movie0.width) * size_t(movie0.height) * (input.rgbPlayback ? 4 : 2);

  const BZ_EngineHost *host = BZ_GetEngineHost();
  *readAll = host->getAutoSettStage(host->refCon) == 2;
  *outSampleArray = nullptr;
  *numOutFrames = 0;
  if (project->state.exec == kBZ_ProjStateExecuting || *readAll) return noErr;
  const SInt32 capacity = BZ_GetMaxSampleNumArraySize(table);
  auto *inList = reinterpret_cast<SInt32 *>(NewPtrClear(Size(capacity) * Size(sizeof(SInt32))));
  auto *outList = reinterpret_cast<SInt32 *>(NewPtrClear(Size(capacity) * Size(sizeof(SInt32))));
  SInt32 testNums[kBZ_NumTestFrames + 1];
  SInt32 numIn = 0, numTest = 0;
  OSStatus err = inList != nullptr && outList != nullptr ? noErr : memFullErr;
  if (err == noErr)
    err = BZ_SelectMovieSamplesForStage(movie0.numFrames, kBZ_ReadTaskType, inList, &numIn, outList, numOutFrames,
                                        testNums, &numTest);
  if (inList != nullptr) DisposePtr(reinterpret_cast<Ptr>(inList));
  if (err != noErr) {
    if (outList != nullptr) DisposePtr(reinterpret_cast<Ptr>(outList));
    *numOutFrames = 0;
    return err;
  }
  *outSampleArray = outList;
  return noErr;
}

void BZ_SetReadFrameBuffInfo(BZ_FrameBuffInfo *frameBuffInfo, BZ_DynInputInfo *inputInfo, size_t actualSize,
                             SInt32 arrayNum) {
  if (frameBuffInfo == nullptr || inputInfo == nullptr) return;
  frameBuffInfo->time = inputInfo->movieTime;
  frameBuffInfo->duration = inputInfo->duration;
  frameBuffInfo->frameNum = inputInfo->frameNum++;
  frameBuffInfo->actualSize = actualSize;
  frameBuffInfo->inArrayNum = arrayNum;
}

OSStatus BZ_ReadFrameDirect(Track track, Media media, const BZ_DynInputInfo *inputInfo, void *buffer,
                            size_t bufferSize, size_t frameSize) {
  if (track == nullptr || media == nullptr || inputInfo == nullptr || buffer == nullptr) return paramErr;
  const TimeValue mediaTime = TrackTimeToMediaTime(inputInfo->movieTime, track);
  SampleDescriptionHandle desc = reinterpret_cast<SampleDescriptionHandle>(NewHandle(0));
  if (desc == nullptr) return memFullErr;
  SInt64 offset = 0;
  UInt32 size = 0;
  SInt32 numSamples = 0;
  OSStatus err = QT_GetMediaSampleReference64(media, &offset, &size, mediaTime, nullptr, nullptr, desc, nullptr, 1,
                                              &numSamples, nullptr);
  SInt16 dataRefIndex = 0;
  if (err == noErr && GetHandleSize(reinterpret_cast<Handle>(desc)) >= Size(sizeof(SampleDescription)))
    dataRefIndex = (*desc)->dataRefIndex;
  DisposeHandle(reinterpret_cast<Handle>(desc));
  if (err != noErr) return err;
  // The size comes from the file: a sample that would overrun the buffer, or leave part of the frame
  // unwritten, means the movie's tables are damaged.
  if (numSamples < 1 || size < frameSize || size > bufferSize) {
    std::printf("KBZ: read task: sample of %lu bytes at time %ld, frame %lu, buffer %lu bytes\n",
                static_cast<unsigned long>(size), long(inputInfo->movieTime), static_cast<unsigned long>(frameSize),
                static_cast<unsigned long>(bufferSize));
    return kQT_AtomTableErr;
  }
  if (dataRefIndex < 1 || dataRefIndex > kBZ_MaxNumFiles || inputInfo->fileRefNum[dataRefIndex - 1] == 0)
    return kQT_DataRefIndexNotInMediaErr;
  ByteCount actual = 0;
  return FSReadFork(inputInfo->fileRefNum[dataRefIndex - 1], fsFromStart, offset, size, buffer, &actual);
}

OSStatus BZ_SendDrawFrameEvent(SInt32 fileNum) {
  const BZ_EventParam param = {kBZ_FileNumEventParam, sizeof(SInt32), &fileNum};
  return BZ_PostEngineEvent(kBZ_DrawFrameEvent, &param, 1);
}

OSStatus BZ_ReadTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  if (task == nullptr) return paramErr;
  std::printf("KBZ: setting up read task\n");
  auto *project = static_cast<BZ_ProjPtr>(task->termMessage2);
  MPQueueID outFreeQueue = nullptr;
  BZ_BuffInfo *stage = nullptr, *out = nullptr;
  SInt32 fileNum = 0, numOutFrames = 0;
  Movie movie = nullptr;
  Boolean readAll = false;
  SInt32 *frameList = nullptr;
  size_t actualSize = 0;
  OSStatus result = BZ_SetupReadTask(project, task, &outFreeQueue, &stage, &out, &fileNum, &movie, &readAll,
                                     &frameList, &numOutFrames, &actualSize);
  if (result == noErr) {
    BZ_DynInputInfo &input = project->dynIO_Info.inputInfo[fileNum];
    const BZ_StatMovInfo &ownInfo = project->info.statMovInfo[fileNum];
    const BZ_StatMovInfo &movie0 = project->info.statMovInfo[0];
    BZ_DlgTaskData &dlg = gBZ.dlgTaskData;
    MPQueueID outInput = out->taskData[0].load()->inputQueue;
    const bool listed = project->state.exec != kBZ_ProjStateExecuting && !readAll;
    Track track = nullptr;
    Media media = nullptr;
    if (input.directRead) {
      track = QT_GetFirstEnabledVideoTrack(movie);
      media = track != nullptr ? GetTrackMedia(track) : nullptr;
      if (media == nullptr) result = kQT_NoVideoTrackErr;
    }
    const CFAbsoluteTime start = gBZ.compStartupDate + GL_GetTimeSinceStartupAsSec();
    project->progress.startTime = start;
    project->progress.switchTime = start;

    SInt32 used = 0;  // list entries taken
    Boolean finished = false;
    while (result == noErr && !finished) {
      void *word = nullptr;
      result = BZ_WaitForBuffer(task, outFreeQueue, &word, nullptr, &finished);
      if (result == kMPTimeoutErr) {
        result = noErr;
        continue;
      }
      if (result != noErr || finished) break;
      auto *buffer = static_cast<UInt8 *>(word);
      BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(out, buffer);
      if (info == nullptr) {
        result = paramErr;
        break;
      }
      bool fromCache = false;
      if (!listed) {
        // Every frame from the input's frame number on; its time is the input's movieTime already.
        if (input.frameNum >= stage->totalNumFrames) continue;  // done: keep the buffer, wait for the stop
      } else {
        if (used >= numOutFrames) continue;
        const SInt32 n = frameList[used++];
        const SInt32 slot = n % kBZ_FrameCacheSize;
        if (fileNum == 0 && dlg.frameCache != nullptr) {
          if (dlg.frameCacheCritRgn != nullptr) MPEnterCriticalRegion(dlg.frameCacheCritRgn, kDurationForever);
          if (dlg.frameCacheInfo[slot].frameNum == n) {
            fromCache = true;
            ++dlg.frameCacheInfo[slot].needed;
          }
          if (dlg.frameCacheCritRgn != nullptr) MPExitCriticalRegion(dlg.frameCacheCritRgn);
        }
        input.frameNum = n;
        if (movie0.timeList != nullptr && n < movie0.numFrames) {
          input.movieTime = movie0.timeList[n];
          input.movieTimeF = double(input.movieTime);
        }
      }
      info->copyFromCache = fromCache;
      BZ_SetReadFrameBuffInfo(info, &input, actualSize, listed ? used - 1 : -1);

      if (fromCache) {
        result = MPNotifyQueue(outInput, BZ_Word(kBZ_ReadTaskType), project, buffer);
      } else if (input.directRead) {
        result = BZ_ReadFrameDirect(track, media, &input, buffer, out->size, actualSize);
        if (result == noErr) result = MPNotifyQueue(outInput, BZ_Word(kBZ_ReadTaskType), project, buffer);
        if (result == noErr) {
          TimeValue next = -1, duration = 0;
          BZ_GetMovieVideoNextTime(movie, &ownInfo, input.movieTime, &input.movieTimeF, &next, &duration);
          input.movieTime = next;
          input.duration = duration;
        }
      } else {
        // The main thread draws into the copy stage's buffer and posts it on when the drawing is complete.
        result = BZ_SendDrawFrameEvent(fileNum);
      }
    }
  }
  task->exiting = true;
  if (frameList != nullptr) DisposePtr(reinterpret_cast<Ptr>(frameList));
  std::printf("KBZ: exiting read task, error = %ld\n", long(result));
  return result;
}

OSStatus BZ_SetSrcMovieTimeValue(BZ_ProjPtr project, SInt32 fileNum) {
  if (project == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return paramErr;
  Movie movie = project->info.dynMovieInfo.sourceMovie[fileNum];
  if (movie == nullptr) return paramErr;
  SetMovieTimeValue(movie, project->dynIO_Info.inputInfo[fileNum].movieTime);
  if (OSErr err = GetMoviesError(); err != noErr) return err;
  MoviesTask(movie, 0);
  return GetMoviesError();
}

OSErr BZ_DrawingCompleteProc(Movie movie, long refCon) {
  auto *project = reinterpret_cast<BZ_ProjPtr>(refCon);
  if (project == nullptr || movie == nullptr) return noErr;
  SInt32 fileNum = 0;
  while (fileNum < kBZ_MaxNumFiles && project->info.dynMovieInfo.sourceMovie[fileNum] != movie) ++fileNum;
  if (fileNum == kBZ_MaxNumFiles) return noErr;

  BZ_DynInputInfo &input = project->dynIO_Info.inputInfo[fileNum];
  TimeValue next = -1, duration = 0;
  BZ_GetMovieVideoNextTime(movie, &project->info.statMovInfo[fileNum], input.movieTime, &input.movieTimeF, &next,
                           &duration);
  input.movieTime = next;
  input.duration = duration;

  // The main task may be removing the stage tasks' records meanwhile.
  auto recordsLock = BZ_LockStageTaskRecords();
  BZ_BuffInfo *copy = BZ_GetBufferInfoByStageType(project->dynIO_Info.buffInfo, kBZ_CopyTaskType, fileNum);
  MP_TaskData *task = copy != nullptr ? copy->taskData[0].load() : nullptr;
  if (task == nullptr || task->inputQueue == nullptr || copy->ptr == nullptr) return noErr;
  // The procedure also runs after a drawing that failed: the buffer then holds an older picture, or none,
  // and must not go on as this frame. The run ends with the drawing's error instead.
  if (OSStatus status = GetMovieStatus(movie, nullptr); status != noErr) {
    std::printf("KBZ: BZ_DrawingCompleteProc: error = %ld\n", long(status));
    MPQueueID mainQueue = gBZ.mainTaskData.inputQueue;
    if (mainQueue != nullptr)
      MPNotifyQueue(mainQueue, BZ_Word(kBZ_CustomAppEventHandlerTaskType), project, BZ_Word(status));
    return OSErr(status);
  }
  return OSErr(MPNotifyQueue(task->inputQueue, BZ_Word(kBZ_CustomAppEventHandlerTaskType), project, copy->ptr));
}
