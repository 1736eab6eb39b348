// Helpers for tests of the engine: a project record installed as the current project for the test's
// lifetime, a source movie described in its static information, and a text buffer read back as a string.
// Header only: the engine's test executables include it, the other folders' tests do not link the engine.
#pragma once

#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_types.h"
#include "general/strings_text.h"
#include "platform/core/event_loop.h"
#include "platform/core/multiprocessing.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace bz_test {

// A zeroed project record that is gBZ.project while the object lives. The analysis data that tests touch
// and the engine host are put back when it dies.
class CurrentProject {
 public:
  CurrentProject() : project_(new BZ_Project()) {
    savedProject_ = gBZ.project;
    gBZ.project = project_.get();
  }
  ~CurrentProject() {
    gBZ.project = savedProject_;
    gBZ.dlgTaskData.rnDlgTaskData = nullptr;
    for (auto &searched : gBZ.dlgTaskData.searchedWhiteLinePiece) searched = false;
    gBZ.dlgTaskData.detectedBlackBars = false;
    BZ_SetEngineHost(nullptr);
  }
  CurrentProject(const CurrentProject &) = delete;
  CurrentProject &operator=(const CurrentProject &) = delete;

  BZ_Project *get() const { return project_.get(); }
  BZ_Project *operator->() const { return project_.get(); }
  BZ_StatMovInfo *statMovInfo() const { return project_->info.statMovInfo; }

 private:
  std::unique_ptr<BZ_Project> project_;
  BZ_ProjPtr savedProject_ = nullptr;
};

// Describes source fileNum as a movie of that size, length and codec.
inline void DescribeSource(BZ_StatMovInfo *statMovInfo, int fileNum, SInt32 height, SInt32 width, SInt32 numFrames,
                           CodecType cType = 'dvc ') {
  statMovInfo[fileNum].cType = cType;
  statMovInfo[fileNum].height = height;
  statMovInfo[fileNum].width = width;
  statMovInfo[fileNum].numFrames = numFrames;
}

// A text buffer of the general library whose text the test reads back.
class TextBuffer {
 public:
  TextBuffer() { EXPECT_EQ(GL_NewTextBuffer(&ptr_), noErr); }
  ~TextBuffer() { GL_DisposeTextBuffer(&ptr_); }
  TextBuffer(const TextBuffer &) = delete;
  TextBuffer &operator=(const TextBuffer &) = delete;

  Ptr ptr() { return ptr_; }
  SInt32 *size() { return &size_; }
  std::string text() const { return std::string(ptr_, size_t(size_)); }

 private:
  Ptr ptr_ = nullptr;
  SInt32 size_ = 0;
};

// "top,left,bottom,right".
inline std::string RectText(const Rect &r) {
  return std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) + "," +
         std::to_string(r.right);
}

// Every method record at values that differ from its defaults in every field.
inline BZ_CleaninSett NonDefaultCleaning() {
  BZ_CleaninSett c{};
  c.average = {true, -3.25, 0.3, false, true};
  c.noiseRed = {false, true, false, {7.5f, 2.25f, 3.0f}, false, 12, 345, true, Rect{40, 48, 200, 312}, true};
  c.removeLogo = {kBZ_LogoModeUseMask, Rect{20, 30, 120, 230}, true, 250, true, true, 12, false, 0.35, -1.5, 2, true};
  c.crossLuma = {8, 12, 20, 30, 7, 60, 0.75, true};
  c.varBr = {true};
  c.ou = {3, 55, 40, 4.5f, true};
  return c;
}

inline void ExpectSameCleaning(const BZ_CleaninSett &a, const BZ_CleaninSett &b) {
  EXPECT_EQ(a.average.hasWhiteLinePiece, b.average.hasWhiteLinePiece);
  EXPECT_DOUBLE_EQ(a.average.shift, b.average.shift);
  EXPECT_DOUBLE_EQ(a.average.weight, b.average.weight);
  EXPECT_EQ(a.average.automatic, b.average.automatic);
  EXPECT_EQ(a.average.apply, b.average.apply);
  EXPECT_EQ(a.noiseRed.temporal, b.noiseRed.temporal);
  EXPECT_EQ(a.noiseRed.horizontal, b.noiseRed.horizontal);
  EXPECT_EQ(a.noiseRed.vertical, b.noiseRed.vertical);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(a.noiseRed.noiseLevel[i], b.noiseRed.noiseLevel[i]);
  EXPECT_EQ(a.noiseRed.automatic, b.noiseRed.automatic);
  EXPECT_EQ(a.noiseRed.startFrame, b.noiseRed.startFrame);
  EXPECT_EQ(a.noiseRed.endFrame, b.noiseRed.endFrame);
  EXPECT_EQ(a.noiseRed.useSelRect, b.noiseRed.useSelRect);
  EXPECT_EQ(RectText(a.noiseRed.selRect), RectText(b.noiseRed.selRect));
  EXPECT_EQ(a.noiseRed.apply, b.noiseRed.apply);
  EXPECT_EQ(a.removeLogo.mode, b.removeLogo.mode);
  EXPECT_EQ(RectText(a.removeLogo.logoRect), RectText(b.removeLogo.logoRect));
  EXPECT_EQ(a.removeLogo.transparent, b.removeLogo.transparent);
  EXPECT_EQ(a.removeLogo.numBackGrFrames, b.removeLogo.numBackGrFrames);
  EXPECT_EQ(a.removeLogo.findMask, b.removeLogo.findMask);
  EXPECT_EQ(a.removeLogo.fade, b.removeLogo.fade);
  EXPECT_EQ(a.removeLogo.timeBeforeFade, b.removeLogo.timeBeforeFade);
  EXPECT_EQ(a.removeLogo.allWhite, b.removeLogo.allWhite);
  EXPECT_DOUBLE_EQ(a.removeLogo.transparency, b.removeLogo.transparency);
  EXPECT_DOUBLE_EQ(a.removeLogo.minBackGrUnif, b.removeLogo.minBackGrUnif);
  EXPECT_EQ(a.removeLogo.maskAnchor, b.removeLogo.maskAnchor);
  EXPECT_EQ(a.removeLogo.apply, b.removeLogo.apply);
  EXPECT_EQ(a.crossLuma.constChromaTestLen, b.crossLuma.constChromaTestLen);
  EXPECT_EQ(a.crossLuma.minConstChromaLen, b.crossLuma.minConstChromaLen);
  EXPECT_EQ(a.crossLuma.maxChromaStddev, b.crossLuma.maxChromaStddev);
  EXPECT_EQ(a.crossLuma.extent, b.crossLuma.extent);
  EXPECT_EQ(a.crossLuma.minStddev, b.crossLuma.minStddev);
  EXPECT_EQ(a.crossLuma.maxStddev, b.crossLuma.maxStddev);
  EXPECT_DOUBLE_EQ(a.crossLuma.percentage, b.crossLuma.percentage);
  EXPECT_EQ(a.crossLuma.apply, b.crossLuma.apply);
  EXPECT_EQ(a.varBr.apply, b.varBr.apply);
  EXPECT_EQ(a.ou.numConstPix, b.ou.numConstPix);
  EXPECT_EQ(a.ou.minDiff, b.ou.minDiff);
  EXPECT_EQ(a.ou.maxAvPixelDiff, b.ou.maxAvPixelDiff);
  EXPECT_FLOAT_EQ(a.ou.scratchWidth, b.ou.scratchWidth);
  EXPECT_EQ(a.ou.apply, b.ou.apply);
}

// Posts "run project" to the main task for an execution of project and runs the main-thread loop until the
// main task reports the run's end (at most limit seconds); the code it reports.
inline OSStatus ExecuteProject(BZ_ProjPtr project, EventTimeout limit) {
  project->state.exec = kBZ_ProjStateExecuting;
  EXPECT_EQ(MPNotifyQueue(gBZ.mainTaskData.inputQueue, reinterpret_cast<void *>(intptr_t(kBZ_MainThreadTaskType)),
                          project, reinterpret_cast<void *>(intptr_t(kBZ_RunProjectMessage))),
            noErr);
  void *code = nullptr;
  EXPECT_EQ(PL_RunEventLoopUntil(
                [&] {
                  return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) ==
                         noErr;
                },
                limit),
            noErr)
      << "the execution does not end";
  return OSStatus(reinterpret_cast<intptr_t>(code));
}

}  // namespace bz_test
