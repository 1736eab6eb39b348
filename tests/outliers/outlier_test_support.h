// Helpers of the outlier tests: edit lists built from tables, and a project whose first source lies in a
// temporary folder, with the outlier state, a preview record and an engine host that answers for the dialog.
#pragma once

#include "engine/runtime/engine_host.h"
#include "general/memory_lists.h"
#include "outliers/outlier_edit_lists.h"
#include "outliers/outlier_stage.h"
#include "outliers/preview_data.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// Edits compare field by field (found by argument lookup, so in the records' own namespace).
inline bool operator==(const BZ_OuOutlierEdit &a, const BZ_OuOutlierEdit &b) {
  return a.speckNum == b.speckNum && a.oeType == b.oeType && a.rect.top == b.rect.top &&
         a.rect.left == b.rect.left && a.rect.bottom == b.rect.bottom && a.rect.right == b.rect.right;
}

namespace bz_test {

struct FrameEdits {
  SInt32 frameNum;
  std::vector<BZ_OuOutlierEdit> edits;
};

inline BZ_OuOutlierEdit Toggle(SInt32 speckNum, BZ_OuOeType type = kBZ_OuToggleRemove) {
  return BZ_OuOutlierEdit{speckNum, type, Rect{0, 0, 0, 0}};
}
inline BZ_OuOutlierEdit Drawn(BZ_OuOeType type, SInt16 top, SInt16 left, SInt16 bottom, SInt16 right) {
  return BZ_OuOutlierEdit{type == kBZ_OuNewSpeck ? 1 : 0, type, Rect{top, left, bottom, right}};
}

// Appends edits to an edit list (numbers left 0, as made in the preview).
inline void AppendEdits(BZ_OuOeLE **firstOe, const std::vector<BZ_OuOutlierEdit> &edits) {
  BZ_OuOeLE *last = static_cast<BZ_OuOeLE *>(LL_GetLastPtr(*firstOe));
  for (const BZ_OuOutlierEdit &oe : edits) {
    BZ_OuOeLE *e = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(BZ_OuOeLE), last, firstOe, &e), noErr);
    e->outlierEdit = oe;
    last = e;
  }
}

inline void FillList(BZ_OuOelList *list, const std::vector<FrameEdits> &frames) {
  BZ_OuFrameOelLE *last = static_cast<BZ_OuFrameOelLE *>(LL_GetLastPtr(list->firstFrameOel));
  for (const FrameEdits &f : frames) {
    BZ_OuFrameOelLE *e = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(BZ_OuFrameOelLE), last, &list->firstFrameOel, &e), noErr);
    e->frameOel.frameNum = f.frameNum;
    AppendEdits(&e->frameOel.firstOe, f.edits);
    last = e;
  }
}

inline std::vector<BZ_OuOutlierEdit> EditsOf(const BZ_OuOeLE *firstOe) {
  std::vector<BZ_OuOutlierEdit> edits;
  for (const BZ_OuOeLE *e = firstOe; e != nullptr; e = e->next) edits.push_back(e->outlierEdit);
  return edits;
}

inline std::vector<FrameEdits> FramesOf(const BZ_OuOelList &list) {
  std::vector<FrameEdits> frames;
  for (const BZ_OuFrameOelLE *f = list.firstFrameOel; f != nullptr; f = f->next)
    frames.push_back(FrameEdits{f->frameOel.frameNum, EditsOf(f->frameOel.firstOe)});
  return frames;
}

inline bool operator==(const FrameEdits &a, const FrameEdits &b) {
  return a.frameNum == b.frameNum && a.edits == b.edits;
}
inline void PrintTo(const FrameEdits &f, std::ostream *os) {
  *os << "frame " << f.frameNum << " with " << f.edits.size() << " edits";
}

// The answers the engine host gives for the dialog in these tests.
struct DialogAnswers {
  Boolean previewOpen = false;
  Boolean editingOutliers = false;
  Boolean discard = false;   // the answer to "Save changes to speck list?"
  OSStatus askStatus = noErr;
  int questions = 0;
  BZ_PreviewData preview{};
};

// A project whose first source file is "<folder>/M.mov", with the outlier state in gBZ, a preview record and
// the host above installed; everything is taken back when it dies.
class OutlierProject {
 public:
  explicit OutlierProject(const std::string &sourceName = "M.mov") {
    sourcePath_ = dir_.File(sourceName);
    WriteText(sourcePath_, "movie");
    project_->info.srcFileData[0].fileRef = RefFor(sourcePath_);
    BZ_MakeDefaultOuSett(&project_->info.settings.cleaning.ou);
    DescribeSource(project_.statMovInfo(), 0, 16, 24, 10, '2vuy');
    savedOu_ = gBZ.dlgTaskData.ouDlgTaskData;
    EXPECT_EQ(BZ_OuInitDlgTaskData(&gBZ.dlgTaskData.ouDlgTaskData), noErr);
    EXPECT_EQ(BZ_InitOuPreviewData(&answers_.preview.ouPreviewData), noErr);
    BZ_EngineHost host{};
    host.refCon = &answers_;
    host.previewWindowExists = [](void *refCon) { return static_cast<DialogAnswers *>(refCon)->previewOpen; };
    host.getPreviewDataPtr = [](void *refCon) { return &static_cast<DialogAnswers *>(refCon)->preview; };
    host.getEditingOutliers = [](void *refCon) { return static_cast<DialogAnswers *>(refCon)->editingOutliers; };
    host.askSaveOutlierEdits = [](void *refCon, Boolean *discard) {
      auto *answers = static_cast<DialogAnswers *>(refCon);
      ++answers->questions;
      *discard = answers->discard;
      return answers->askStatus;
    };
    BZ_SetEngineHost(&host);
  }
  ~OutlierProject() {
    BZ_SetEngineHost(nullptr);
    BZ_OuDisposePreviewData(&answers_.preview.ouPreviewData);
    BZ_OuDisposeDlgTaskDataRecord(&gBZ.dlgTaskData.ouDlgTaskData);
    gBZ.dlgTaskData.ouDlgTaskData = savedOu_;
  }
  OutlierProject(const OutlierProject &) = delete;
  OutlierProject &operator=(const OutlierProject &) = delete;

  BZ_Project *project() { return project_.get(); }
  BZ_OuSett &sett() { return project_->info.settings.cleaning.ou; }
  BZ_OuDlgTaskData *ou() { return gBZ.dlgTaskData.ouDlgTaskData; }
  BZ_OuPreviewData *ouPreview() { return answers_.preview.ouPreviewData; }
  DialogAnswers &answers() { return answers_; }
  const TempDir &dir() const { return dir_; }
  std::string File(const std::string &name) const { return dir_.File(name); }

 private:
  TempDir dir_;
  std::string sourcePath_;
  CurrentProject project_;
  BZ_OuDlgTaskData *savedOu_ = nullptr;
  DialogAnswers answers_;
};

}  // namespace bz_test
