// Stages for tests of the main task, run by the real main task over a real stage table:
// - a read stage and a noise-frame stage that make numbered frames (the frame number stamped into the first
//   bytes, the rest a pattern of it) and then wait to be stopped;
// - a copy stage that passes frames on;
// - an identity cleaning stage of the standard shape: a distributor (task 1), BZ_GetNumSubTasks() workers that
//   copy the frame (sleeping a random moment to mix up their order) and a collector (task 2) that hands the
//   frames on in order through the output pool;
// - a write stage that checks and records each frame and, after the last one, ends as the engine's write
//   stages do: the last write stage to finish sets an execution finished and sends 5033 to the main task.
// Any stage can be told to fail after some frames, or to fail when it is stopped.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace bz_test {

struct TestStageConfig {
  std::atomic<SInt32> numFrames{0};  // frames the read and noise-frame stages make
  std::atomic<Boolean> randomDelays{true};
  // The frames are in the buffers already (a benchmark fills them once): the source and copy stages hand the
  // buffers on untouched and the write stage does not check them.
  std::atomic<Boolean> premadeFrames{false};
  std::atomic<TimeValue> frameDuration{0};  // duration the source stages give each frame (time = f x it)
  // A stage of this type ends with failError after failAfterFrames frames (kBZ_NoTaskType: none).
  std::atomic<BZ_TaskType> failingStage{kBZ_NoTaskType};
  std::atomic<SInt32> failAfterFrames{0};
  std::atomic<OSStatus> failError{noErr};
  // A stage of this type ends with stopError when it is stopped (kBZ_NoTaskType: none).
  std::atomic<BZ_TaskType> stopFailingStage{kBZ_NoTaskType};
  std::atomic<OSStatus> stopError{noErr};
  // Write stages of the run that have not finished yet; set by InstallTestStages.
  std::atomic<SInt32> openWriteStages{0};

  std::mutex mutex;  // guards the records below
  std::vector<SInt32> written[2];  // frame numbers in the order each write stage got them
  SInt32 damagedFrames = 0;        // frames whose contents did not match their number
  SInt32 stagesStarted = 0;
  std::vector<MPQueueID> stageQueues;  // input and free queue of each stage task that started
};

// The configuration the test stages read; reset by InstallTestStages.
TestStageConfig &TestStages();
// Resets the configuration for a run of numFrames frames with openWriteStages write stages, installs the
// engine's stages and puts the test stages in the place of every stage type but realTypes (the identity stage
// for the cleaning types).
void InstallTestStages(SInt32 numFrames, SInt32 openWriteStages, std::initializer_list<BZ_TaskType> realTypes = {});
// Stamps frame into a buffer of `size` bytes, and checks such a buffer.
void StampFrame(UInt8 *buffer, size_t size, SInt32 frame);
bool FrameIntact(const UInt8 *buffer, size_t size, SInt32 frame);

}  // namespace bz_test
