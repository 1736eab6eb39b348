// Frame selection of runs and the movie time functions of the sources.
#include "engine/runtime/frame_selection.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "general/memory_lists.h"
#include "movie/movie_time.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// ---- Movie time ----

// Evenly spaced frames: an MPEG codec and a frame duration to step by (a record whose duration was never
// found steps through the movie instead of dividing by 0).
bool IsMpeg(const BZ_StatMovInfo *statMovInfo) {
  if (statMovInfo == nullptr || statMovInfo->frameDuration <= 0) return false;
  const CodecType c = statMovInfo->cType;
  return c == 'm2v ' || c == 'm1v ' || c == 'm2s ' || c == 'MPEG';
}

TimeValue ClampTime(SInt64 t) { return TimeValue(std::clamp<SInt64>(t, 0, INT32_MAX)); }

// ---- Selection ----

typedef std::vector<SInt32> FrameList;

// Every frame v of the list becomes v - numPrev .. v + numNext (at most chunkSize frames, one less for the
// chunk's last when chunkSize is even), frames outside the movie are dropped, and an entry not above the one
// kept before it is dropped (overlapping chunks merge) unless it starts a new ascending run: the first kept
// frame of the chunk of an entry that was below its predecessor.
FrameList Expand(const FrameList &list, SInt32 numSamplesInMovie, SInt32 chunkSize, SInt32 numPrev, SInt32 numNext) {
  const SInt64 p = std::max<SInt32>(numPrev, 0);
  SInt64 q = std::max<SInt32>(numNext, 0);
  if (chunkSize % 2 == 0) q = std::max<SInt64>(q - 1, 0);
  const SInt64 span = std::min<SInt64>(p + q + 1, std::max<SInt32>(chunkSize, 1));
  FrameList out;
  out.reserve(list.size() * size_t(span));
  bool haveKept = false;
  for (size_t i = 0; i < list.size(); ++i) {
    bool runStart = i == 0 || list[i] < list[i - 1];
    for (SInt64 j = 0; j < span; ++j) {
      const SInt64 v = SInt64(list[i]) - p + j;
      if (v < 0 || v >= numSamplesInMovie) continue;
      if (haveKept && !runStart && v <= out.back()) continue;
      out.push_back(SInt32(v));
      haveKept = true;
      runStart = false;
    }
  }
  return out;
}

// The choice of a preview or analysis run.
struct Analysis {
  SInt32 startIndex = -1;  // the stage whose output the samples are
  FrameList samples;
  FrameList tests;
};

SInt32 Clamp(SInt64 v, SInt32 lo, SInt32 hi) { return SInt32(std::clamp<SInt64>(v, lo, std::max(lo, hi))); }

// The samples of the current run (previewing or analysing), its test frames and the stage they leave.
OSStatus ChooseSamples(BZ_ProjPtr project, SInt32 numSamplesInMovie, Analysis *a) {
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  const SInt32 numStages = BZ_CountStages(table);
  if (numStages <= 0) return paramErr;
  if (numSamplesInMovie <= 0) return kBZ_MovieTooShortErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();

  if (project->state.exec == kBZ_ProjStatePreviewing) {
    // A preview frame left over from a longer movie, or not yet set, is held inside this one.
    const SInt32 frame = Clamp(host->getPreviewFrameNum(host->refCon), 0, numSamplesInMovie - 1);
    a->startIndex = numStages - 1;
    a->samples.assign(1, frame);
    a->tests = a->samples;
    return noErr;
  }

  const BZ_TaskType autoType = BZ_TaskType(BZ_GetAutoSettTaskType(host->getAutoSettStage(host->refCon)));
  BZ_BuffInfo *stage = autoType != kBZ_NoTaskType ? BZ_GetBufferInfoByStageType(table, autoType, 0) : nullptr;
  a->startIndex = stage != nullptr ? SInt32(stage - table) : numStages - 1;
  const BZ_TaskType type = table[a->startIndex].type;
  SInt32 numPrev = 0;
  const SInt32 chunk = BZ_GetCompoundedChunkSize(table, a->startIndex + 1, &numPrev, nullptr, nullptr);
  const BZ_CleaninSett &cleaning = project->info.settings.cleaning;

  if (type == kBZ_RlTaskType) {
    a->samples.assign(kBZ_MaxNumRlSamples, 0);
    SInt32 n = 0;
    BZ_SelectRlAutoSettMovieSamples(numSamplesInMovie, chunk, numPrev, cleaning.removeLogo.numBackGrFrames, &n,
                                    a->samples.data());
    if (n <= 0) return kBZ_MovieTooShortErr;
    a->samples.resize(size_t(n));
    a->tests.assign(a->samples.begin(), a->samples.begin() + std::min<SInt32>(n, kBZ_NumTestFrames));
    return noErr;
  }

  SInt32 first = 0, last = numSamplesInMovie - 1;
  if (type == kBZ_NoiseRedTaskType) {
    // The measuring range is stored from 1; one outside this movie (a setting from another movie) is held
    // inside it, so that no sample is a frame the movie does not have.
    first = Clamp(SInt64(cleaning.noiseRed.startFrame) - 1, 0, numSamplesInMovie - 1);
    last = Clamp(SInt64(cleaning.noiseRed.endFrame) - 1, 0, numSamplesInMovie - 1);
  }
  a->samples.assign(kBZ_MaxNumSamples, 0);
  SInt32 n = 0;
  OSStatus err = BZ_SelectMovieSamples(first, last, chunk, numPrev, kBZ_MaxNumSamples, a->samples.data(), &n);
  if (err != noErr) return err;
  a->samples.resize(size_t(n));
  a->tests = a->samples;
  return noErr;
}

}  // namespace

// ---- Movie time ------------------------------------------------------------------------------------------------

SInt32 BZ_MovieTimeToFrameNumber(Movie movie, const BZ_StatMovInfo *statMovInfo, TimeValue movieTime) {
  if (statMovInfo == nullptr) return -1;
  if (IsMpeg(statMovInfo)) return std::max<TimeValue>(movieTime, 0) / statMovInfo->frameDuration;
  if (movie == nullptr) return -1;
  return QT_MovieTimeToFrameNumber(movie, movieTime, nullptr, nullptr);
}

TimeValue BZ_MovieFrameNumberToTime(Movie movie, const BZ_StatMovInfo *statMovInfo, SInt32 frameNum) {
  if (statMovInfo == nullptr) return -1;
  if (IsMpeg(statMovInfo)) {
    const SInt64 t = SInt64(statMovInfo->frameDuration) * frameNum;
    return frameNum < 0 || t > INT32_MAX ? -1 : TimeValue(t);
  }
  if (movie == nullptr) return -1;
  return QT_MovieFrameNumberToTime(movie, frameNum);
}

OSStatus BZ_MakeMovieTimeList(Movie movie, BZ_StatMovInfo *statMovInfo) {
  if (statMovInfo == nullptr) return paramErr;
  const bool mpeg = IsMpeg(statMovInfo);
  if (!mpeg && movie == nullptr) return paramErr;
  if (statMovInfo->timeList != nullptr) GL_DisposePtr(&statMovInfo->timeList);
  const SInt32 numFrames = statMovInfo->numFrames;
  if (numFrames <= 0) return noErr;

  TimeValue *list = nullptr;
  OSStatus err = GL_NewPtr(size_t(numFrames) * sizeof(TimeValue), &list);
  if (err != noErr) return err;
  SInt32 filled = 0;
  if (mpeg) {
    for (; filled < numFrames; ++filled) list[filled] = ClampTime(SInt64(statMovInfo->frameDuration) * filled);
  } else {
    TimeValue time = 0;
    SInt16 extraFlags = nextTimeEdgeOK;  // a frame at time 0 counts
    while (filled < numFrames) {
      TimeValue next = -1, duration = 0;
      QT_GetMovieVideoNextTime(movie, time, extraFlags, &next, &duration);
      if (next == -1) break;
      list[filled++] = next;
      if (duration == 0) break;
      time = next;
      extraFlags = 0;
    }
  }
  // Frames the walk did not reach (a count that includes frames the movie cannot step to) get times after
  // the last one, so that the list stays ascending for the search.
  const SInt64 step = std::max<TimeValue>(statMovInfo->frameDuration, 1);
  for (SInt32 i = filled; i < numFrames; ++i)
    list[i] = ClampTime((i > 0 ? SInt64(list[i - 1]) : SInt64(-step)) + step);
  statMovInfo->timeList = list;
  return noErr;
}

SInt32 BZ_MovieFrameNumberFromTimeList(const BZ_StatMovInfo *statMovInfo, TimeValue movieTime) {
  if (statMovInfo == nullptr || statMovInfo->timeList == nullptr || statMovInfo->numFrames <= 0) return -1;
  const TimeValue *begin = statMovInfo->timeList, *end = begin + statMovInfo->numFrames;
  const TimeValue *after = std::upper_bound(begin, end, movieTime);
  return after == begin ? 0 : SInt32(after - begin - 1);
}

void BZ_GetMovieVideoNextTime(Movie movie, const BZ_StatMovInfo *statMovInfo, TimeValue movieTime, double *movieTimeF,
                              TimeValue *nextMovieTime, TimeValue *duration) {
  TimeValue next = -1, d = 0;
  if (IsMpeg(statMovInfo) && movieTimeF != nullptr) {
    *movieTimeF += statMovInfo->frameDurationF > 0.0 ? statMovInfo->frameDurationF : statMovInfo->frameDuration;
    const double t = std::floor(*movieTimeF + 0.49);
    if (t <= double(INT32_MAX)) {
      next = TimeValue(t);
      d = next - movieTime;
    }
  } else if (movie != nullptr) {
    QT_GetMovieVideoNextTime(movie, movieTime, 0, &next, &d);
  }
  if (nextMovieTime != nullptr) *nextMovieTime = next;
  if (duration != nullptr) *duration = d;
}

void BZ_GetMovieVideoPrevTime(Movie movie, const BZ_StatMovInfo *statMovInfo, TimeValue movieTime,
                              TimeValue *prevMovieTime, TimeValue *duration) {
  TimeValue prev = -1, d = 0;
  if (IsMpeg(statMovInfo)) {
    if (movieTime >= 1) {
      // Inside the first frame the previous start is that frame's own, never a negative time.
      prev = std::max<TimeValue>(movieTime - statMovInfo->frameDuration, 0);
      d = statMovInfo->frameDuration;
    }
  } else if (movie != nullptr && statMovInfo != nullptr) {
    const TimeValue videoEnd = statMovInfo->videoDuration > 0 ? statMovInfo->videoDuration : -1;
    QT_GetMovieVideoPrevTime(movie, videoEnd, movieTime, 0, &prev, &d);
  }
  if (prevMovieTime != nullptr) *prevMovieTime = prev;
  if (duration != nullptr) *duration = d;
}

SInt32 BZ_GetNumFramesInMovie(const BZ_StatMovInfo *statMovInfo) {
  if (statMovInfo == nullptr) return 0;
  SInt32 n = statMovInfo[0].numFrames;
  if (statMovInfo[1].cType != 0) n = std::min(n, statMovInfo[1].numFrames);
  return std::max<SInt32>(n, 0);
}

// ---- Chunks ------------------------------------------------------------------------------------------------------

SInt32 BZ_TaskTypeToChunkSize(BZ_TaskType taskType, SInt32 *numPrev, SInt32 *numNext, SInt32 *numPrevBuffersNeeded) {
  SInt32 prev = 0;
  if (taskType == kBZ_NoiseRedTaskType) {
    prev = 1;
  } else if (taskType == kBZ_OutlierTaskType) {
    // The outlier stage's window arrays hold at most 4 x 3 + 1 frames: a damaged setting must not ask for more.
    const SInt32 k = gBZ.project != nullptr ? std::clamp<SInt32>(gBZ.project->info.settings.cleaning.ou.numConstPix,
                                                                 kBZ_OuMinNumConstPix, kBZ_OuMaxNumConstPix)
                                            : 2;
    prev = 2 * k;
  }
  if (numPrev != nullptr) *numPrev = prev;
  if (numNext != nullptr) *numNext = prev;
  if (numPrevBuffersNeeded != nullptr) *numPrevBuffersNeeded = prev;
  return 2 * prev + 1;
}

SInt32 BZ_GetCompoundedChunkSize(const BZ_BuffInfo *buffInfo, SInt32 numStages, SInt32 *totalNumPrev,
                                 SInt32 *totalNumNext, SInt32 *totalNumPrevBuffersNeeded) {
  SInt32 chunk = 1, prev = 0, next = 0, buffers = 0;
  if (buffInfo != nullptr) {
    const SInt32 n = std::min(numStages, BZ_CountStages(buffInfo));
    for (SInt32 i = 0; i < n; ++i) {
      SInt32 p = 0, q = 0, b = 0;
      chunk += BZ_TaskTypeToChunkSize(buffInfo[i].type, &p, &q, &b) - 1;
      prev += p;
      next += q;
      buffers += b;
    }
  }
  if (totalNumPrev != nullptr) *totalNumPrev = prev;
  if (totalNumNext != nullptr) *totalNumNext = next;
  if (totalNumPrevBuffersNeeded != nullptr) *totalNumPrevBuffersNeeded = buffers;
  return chunk;
}

SInt32 BZ_GetMaxSampleNumArraySize(const BZ_BuffInfo *buffInfo) {
  const SInt32 chunk = BZ_GetCompoundedChunkSize(buffInfo, kBZ_NumBuffInfos, nullptr, nullptr, nullptr);
  bool logo = false;
  if (buffInfo != nullptr)
    for (SInt32 i = 0, n = BZ_CountStages(buffInfo); i < n; ++i) logo |= buffInfo[i].type == kBZ_RlTaskType;
  return (logo ? kBZ_MaxNumRlSamples : kBZ_MaxNumSamples) * chunk;
}

SInt32 BZ_GetMinEndstartFrameDiffForNrAutosettCalc() {
  if (gBZ.project == nullptr) return 0;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  UInt32 types = 0;
  if (host->getValidSelectedProcessTypes(host->refCon, &gBZ.project->info.settings.cleaning, &types) != noErr)
    return 0;
  SInt32 diff = 0;
  for (UInt32 flag = 1; flag != 0 && flag <= types; flag <<= 1)
    if ((types & flag) != 0) diff += BZ_TaskTypeToChunkSize(BZ_TaskFlagToType(flag), nullptr, nullptr, nullptr) - 1;
  return diff;
}

// ---- Selection -----------------------------------------------------------------------------------------------------

OSStatus BZ_SelectMovieSamples(SInt32 startFrame, SInt32 endFrame, SInt32 compoundedChunkSize, SInt32 numPrev,
                               SInt32 maxNumSamples, SInt32 *sampleNumArray, SInt32 *numSamples) {
  if (numSamples != nullptr) *numSamples = 0;
  if (sampleNumArray == nullptr || numSamples == nullptr || maxNumSamples < 1) return paramErr;
  const SInt64 len = (SInt64(endFrame) - startFrame + 1) - compoundedChunkSize + 1;
  const SInt64 n = std::min<SInt64>(maxNumSamples, len);
  if (n <= 0) return kBZ_MovieTooShortErr;
  const SInt64 base = SInt64(startFrame) + numPrev;
  SInt32 count = 0;
  for (SInt64 i = 0; i < n; ++i) {
    const SInt64 offset = SInt64(double(len) / double(n) * (double(i) + 0.499));
    const SInt32 sample = SInt32(base + std::min(offset, len - 1));
    if (count > 0 && sampleNumArray[count - 1] == sample) continue;
    sampleNumArray[count++] = sample;
  }
  *numSamples = count;
  return noErr;
}

void BZ_SelectRlAutoSettMovieSamples(SInt32 numFramesInMovie, SInt32 compoundChunkSize, SInt32 numPrev,
                                     SInt32 numBackGrFrames, SInt32 *numFrames, SInt32 *sampleNumArray) {
  if (numFrames != nullptr) *numFrames = 0;
  if (numFrames == nullptr || sampleNumArray == nullptr) return;
  const SInt64 n = SInt64(numFramesInMovie) - compoundChunkSize + 1;
  if (n <= 0) return;
  // The callers' arrays hold kBZ_MaxNumRlSamples: a damaged setting must not ask for more.
  SInt64 groups = std::clamp<SInt32>(numBackGrFrames, 10, kBZ_MaxNumRlSamples) / 10;
  if (groups * 10 > n) groups = n / 10;
  groups = std::max<SInt64>(groups, 1);
  SInt64 count = groups * 10, perGroup = 10;
  if (count > n) count = perGroup = n;
  const SInt64 step = n / perGroup;
  for (SInt64 k = 0; k < count; ++k) sampleNumArray[k] = SInt32((k % perGroup) * step + k / perGroup + numPrev);
  // Centred in the positions numPrev .. numPrev + n - 1 where a whole chunk fits, so that no chunk reaches
  // before the first frame.
  const SInt64 shift = (n - 1 - (sampleNumArray[count - 1] - numPrev)) / 2;
  for (SInt64 k = 0; k < count; ++k) sampleNumArray[k] = SInt32(sampleNumArray[k] + shift);
  *numFrames = SInt32(count);
}

OSStatus BZ_CompoundFrameSelection(SInt32 numSamplesInMovie, SInt32 chunkSize, SInt32 numPrev, SInt32 numNext,
                                   SInt32 *inSampleNumArray, SInt32 *numInSamples, SInt32 *outSampleArray,
                                   SInt32 *numOutSamples) {
  if (numOutSamples != nullptr) *numOutSamples = 0;
  if (inSampleNumArray == nullptr || numInSamples == nullptr || outSampleArray == nullptr ||
      numOutSamples == nullptr || chunkSize < 1 || *numInSamples < 0)
    return paramErr;
  const FrameList list(inSampleNumArray, inSampleNumArray + *numInSamples);
  std::copy(list.begin(), list.end(), outSampleArray);
  *numOutSamples = SInt32(list.size());
  const FrameList expanded = Expand(list, numSamplesInMovie, chunkSize, numPrev, numNext);
  std::copy(expanded.begin(), expanded.end(), inSampleNumArray);
  *numInSamples = SInt32(expanded.size());
  return noErr;
}

OSStatus BZ_SelectMovieSamplesForStage(SInt32 numSamplesInMovie, BZ_TaskType taskType, SInt32 *inSampleNumArray,
                                       SInt32 *numInSamples, SInt32 *outSampleNumArray, SInt32 *numOutSamples,
                                       SInt32 *testNumArray, SInt32 *numTestFrames) {
  if (numInSamples != nullptr) *numInSamples = 0;
  if (numOutSamples != nullptr) *numOutSamples = 0;
  if (numTestFrames != nullptr) *numTestFrames = 0;
  if (testNumArray != nullptr) testNumArray[0] = kBZ_EndOfFrameList;
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr || inSampleNumArray == nullptr || numInSamples == nullptr || outSampleNumArray == nullptr ||
      numOutSamples == nullptr || testNumArray == nullptr || numTestFrames == nullptr)
    return paramErr;

  if (project->state.exec == kBZ_ProjStateExecuting) {
    *numInSamples = *numOutSamples = std::max<SInt32>(numSamplesInMovie, 0);
    return noErr;
  }

  Analysis a;
  OSStatus err = ChooseSamples(project, numSamplesInMovie, &a);
  if (err != noErr) return err;
  const SInt32 numTests = std::min<SInt32>(SInt32(a.tests.size()), kBZ_NumTestFrames);
  std::copy(a.tests.begin(), a.tests.begin() + numTests, testNumArray);
  testNumArray[numTests] = kBZ_EndOfFrameList;
  *numTestFrames = numTests;

  // From the analysing stage towards the front, each stage's chunk widens the list; the reading stage reads
  // the list as it reaches it. A stage after the analysing stage sees the samples themselves.
  const BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  FrameList in = a.samples, out = a.samples;
  bool found = false;
  for (SInt32 i = a.startIndex; i >= 1 && !found; --i) {
    SInt32 p = 0, q = 0;
    const SInt32 chunk = BZ_TaskTypeToChunkSize(table[i].type, &p, &q, nullptr);
    out = in;
    in = Expand(out, numSamplesInMovie, chunk, p, q);
    found = table[i].type == taskType;
  }
  if (!found) {
    if (table[0].type != taskType) in = a.samples;
    out = in;
  }
  const size_t capacity = size_t(BZ_GetMaxSampleNumArraySize(table));
  if (in.size() > capacity || out.size() > capacity) return paramErr;
  std::copy(in.begin(), in.end(), inSampleNumArray);
  std::copy(out.begin(), out.end(), outSampleNumArray);
  *numInSamples = SInt32(in.size());
  *numOutSamples = SInt32(out.size());
  return noErr;
}

SInt32 BZ_GetNumSelectedMovieSamples() {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return 0;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  const SInt32 numFrames = BZ_GetNumFramesInMovie(project->info.statMovInfo);
  const BZ_ExecuteState exec = project->state.exec;
  if (exec == kBZ_ProjStateExecuting || host->getAutoSettStage(host->refCon) == 2) return numFrames;
  if (exec == kBZ_ProjStatePreviewing) return 1;
  Analysis a;
  if (ChooseSamples(project, numFrames, &a) != noErr) return 0;
  return SInt32(a.samples.size());
}

UInt32 BZ_GetAutoSettTaskType(UInt32 stageFlag) {
  switch (stageFlag) {
    case 1: return kBZ_AverageTaskType;
    case 2: return kBZ_VarBrTaskType;
    case 4:
    case 8: return kBZ_NoiseRedTaskType;
    case 16: return kBZ_RlTaskType;
    default: return kBZ_NoTaskType;
  }
}

// ---- Cropping ------------------------------------------------------------------------------------------------------

RgnHandle BZ_GetScaledCropRgn(const Rect *cropRect, float trackWidthF, SInt32 width, SInt32 trackHeight,
                              SInt32 height) {
  RgnHandle rgn = NewRgn();
  if (rgn == nullptr) return nullptr;
  const SInt32 trackWidth = SInt32(std::lround(std::clamp(trackWidthF, -32768.0f, 32767.0f)));
  trackHeight = std::clamp<SInt32>(trackHeight, -32768, 32767);
  Rect r = {0, 0, SInt16(trackHeight), SInt16(trackWidth)};
  if (cropRect != nullptr) {
    const double sh = height > 0 ? double(trackHeight) / height : 1.0;
    const double sw = width > 0 ? double(trackWidthF) / width : 1.0;
    auto even = [](double margin) { return SInt32(std::clamp(2.0 * std::round(margin / 2.0), -65536.0, 65536.0)); };
    const SInt32 top = even(cropRect->top * sh), bottom = trackHeight - even(cropRect->bottom * sh);
    const SInt32 left = even(cropRect->left * sw), right = trackWidth - even(cropRect->right * sw);
    r.top = SInt16(std::clamp<SInt32>(top, -32768, 32767));
    r.left = SInt16(std::clamp<SInt32>(left, -32768, 32767));
    r.bottom = SInt16(std::clamp<SInt32>(bottom, r.top, 32767));
    r.right = SInt16(std::clamp<SInt32>(right, r.left, 32767));
  }
  RectRgn(rgn, &r);
  return rgn;
}
