// Headless runs of the whole engine for the tests of the cleaning methods, driven the way the main thread
// drives a project: the source opened and described as the project dialog describes a movie it opens, the
// engine assembled by its installers (engine_wiring.h), then an execution (start, every stage, save with the
// sound), a preview calculation of one frame or an analysis run, with the test thread playing the main thread.
//
// The main-thread side of the methods' events is played here as the shell will play it: 2007 and 2019 values
// are recorded; 2010, 2011, 2012 and 2016 call the method's main-thread routine (set in MethodRoutines() by
// the method's tests) and release the waiting stage. The source file is hashed before and after each run.
//
// Movies are made by the tests with ffmpeg (-pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy) and checked with
// ffprobe; a whole run takes seconds, so tests keep clips small.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
#include "platform/core/event_loop.h"
#include "support/kernel_check.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct BZ_PreviewData;
struct BZ_RlParams;

namespace bz_test {

enum class MethodRunKind { kExecute, kPreview, kAnalysis };
// kCancelEarly: a cancel 0.3 s after the start, whatever the stages have done by then.
enum class RunStop { kNone, kCancel, kWriteError, kCancelEarly };

struct MethodRunOptions {
  std::string source = "src.mov";  // in the run's folder
  std::string target = "out.mov";  // made in the run's folder by an execution
  std::string source2;             // the second source (averaging), in the run's folder; empty: none
  int workers = 4;                 // processors the engine sees (its stages run 1 to 8 workers)
  MethodRunKind kind = MethodRunKind::kExecute;
  // The methods applied, with their settings; without it none applies.
  std::optional<BZ_CleaninSett> cleaning;
  CodecType out = '2vuy';
  Rect crop{0, 0, 0, 0};           // margins top, left, bottom, right; cropping is on when one is set
  RunStop stop = RunStop::kNone;   // executions only
  SInt32 previewFrame = 0;         // the frame a preview run cleans
  UInt32 autoSettCalc = 0;         // analysis: the automatic-settings stages asked (the dialog's bits)
  bool statisticsStep = true;      // analysis: after those, the step that measures the frame statistics
  bool recordShownFrames = false;  // hand every frame the write stage reaches to the main thread (2003)
  bool noiseMovie = false;         // executions: make the noise movie too
  // The random-noise tables (built once per process from a fixed seed) count as made; without it the noise
  // stage finds them still being made.
  bool noiseTablesReady = true;
  // Called on the test thread (the main thread) once the run has ended, before the project is disposed (which
  // empties the methods' analysis records): a test takes here what a later run of the same project would find,
  // or works in the open project as the user does after a preview.
  std::function<void()> atRunEnd;
  // The dialog's preview record (its outlier part filled by a preview run of the outlier stage); NULL: none.
  BZ_PreviewData *previewData = nullptr;
  // An execution's start keeps the outlier edits for the run, as the application's host does (the list in
  // gBZ.dlgTaskData.ouDlgTaskData is written beside the source and copied for the replay).
  bool keepOutlierEdits = false;
};

struct MethodRunResult {
  intptr_t code = -1;  // what the main task posted after an execution (-1: nothing)
  BZ_ExecuteState exec = kBZ_ProjStateReady;  // the project's state when the run ended
  OSStatus error = noErr;  // the project's first error
  OSStatus save = noErr;   // saving the target movie (finished executions)
  bool targetExists = false;
  std::string sourceHashBefore, sourceHashAfter;
  std::string source2HashBefore, source2HashAfter;
  BZ_CleaninSett cleaning{};  // the project's cleaning settings when the run ended (measured ones stored)
  std::vector<std::string> logLines;  // project messages of the log
  SInt32 runsFinished = 0;  // 2009 events seen
  // Values the stages told the dialog: (item, value) of 2007, (item, value, digits) of 2019.
  std::vector<std::pair<SInt16, float>> dialogValues;
  std::vector<std::tuple<SInt16, float, SInt32>> relevantDigitValues;
  // Frames the write stage of file 0 showed, in order (with recordShownFrames).
  std::vector<SInt32> shownFrames;
  std::string noisePath;  // the noise movie an execution made (empty without one)
};

// The main-thread routines of the methods' events; a routine left empty answers noErr.
struct MethodEventRoutines {
  std::function<OSStatus(BZ_RlParams *)> getFadeFrameNumbers;  // 2010, then the logo stage's semaphore
  std::function<OSStatus(BZ_RlParams *)> setLogoMaskPic;       // 2011, then always the semaphore
  std::function<OSStatus()> setLogoTransparency;               // 2012
  std::function<OSStatus(EventRef)> drawNoiseSpectr;           // 2016, with the event holding the copy
};
// The routines the next runs use (reset by nobody: a test sets what it needs and clears it).
MethodEventRoutines &MethodRoutines();

// The cleaning settings with no method applied, each method's record at its defaults.
BZ_CleaninSett NoCleaning();

// One run over dir/options.source. Expectations about the run's mechanics (it ends within a minute, every
// task ends) are checked here; the caller checks the outcome.
MethodRunResult RunMethodProject(const TempDir &dir, const MethodRunOptions &options);

// A stable hash of a file's bytes (empty for a missing file).
std::string HashFile(const std::string &path);

}  // namespace bz_test
