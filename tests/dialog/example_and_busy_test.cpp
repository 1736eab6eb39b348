// The example window and its button, the busy indicators that follow the stage table, and the defaults
// buttons.
#include "dialog/busy_indicators.h"
#include "dialog/example_window.h"
#include "dialog/method_types.h"

#include "open_dialog_fixture.h"

#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "toolkit/dialog_items.h"
#include "toolkit/windows.h"

#include <QLabel>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

TEST(BusyIndicators, EachStageTypeHasItsPanesIndicator) {
  struct Case {
    BZ_TaskType type;
    SInt32 fileNum;
    SInt32 item;
  };
  const Case cases[] = {
      {kBZ_CopyTaskType, 0, 2031},     {kBZ_CopyTaskType, 1, 2112},   {kBZ_ComprTaskType, 0, 2089},
      {kBZ_WriteTaskType, 0, 2089},    {kBZ_AverageTaskType, 0, 2112}, {kBZ_VarBrTaskType, 0, 2409},
      {kBZ_NoiseRedTaskType, 0, 2176}, {kBZ_RlTaskType, 0, 2336},     {kBZ_CrossLumaTaskType, 0, 2361},
      {kBZ_OutlierTaskType, 0, 2517},  {kBZ_ReadTaskType, 0, 0},      {kBZ_NoTaskType, 0, 0},
  };
  for (const Case &c : cases) {
    BZ_BuffInfo stage{};
    stage.type = c.type;
    stage.fileNum = c.fileNum;
    EXPECT_EQ(BZ_BufferInfoToChasingArrows(&stage), c.item) << "type " << c.type << " file " << c.fileNum;
  }
  EXPECT_EQ(BZ_BufferInfoToChasingArrows(nullptr), 0);
}

class ExampleAndBusy : public OpenDialogTest {
 protected:
  void TearDown() override {
    if (WindowRef example = BZ_GetExampleWindow()) GL_SendWindowCloseEvent(example);
    project_->state.exec = kBZ_ProjStateReady;
    for (BZ_BuffInfo &stage : project_->dynIO_Info.buffInfo) stage.type = kBZ_NoTaskType, stage.fileNum = 0, stage.number = 0;
    OpenDialogTest::TearDown();
  }
  void ShowProcessTab(SInt32 methodTab) {
    ASSERT_EQ(GL_SetDialogItemValueByID(window_, Item(kBZ_MainTabItem), 2), noErr);
    ASSERT_EQ(GL_SetDialogItemValueByID(window_, Item(kBZ_MethodTabItem), methodTab), noErr);
  }
  bool Active(SInt32 item) {
    Boolean active = false;
    EXPECT_EQ(GL_IsDialogItemActiveByID(window_, Item(item), &active), noErr);
    return active;
  }
  bool Animating(SInt32 item) {
    Boolean animating = false;
    EXPECT_EQ(GetControlData(C(item), kControlEntireControl, kControlChasingArrowsAnimatingTag, sizeof animating,
                             &animating, nullptr),
              noErr);
    return animating;
  }
  bool WellShowsAPicture(WindowRef window, SInt32 item) {
    auto *well = qobject_cast<QLabel *>(TD_FindControl(window, item));
    return well != nullptr && !well->pixmap().isNull();
  }
};

TEST_F(ExampleAndBusy, OutliersPaneShowsTheQuestionMarkPairAndTheButtonFollowsTheWindow) {
  ShowProcessTab(6);
  ASSERT_EQ(BZ_ActivateExampleButton(window_), noErr);
  EXPECT_TRUE(Active(kBZ_ExampleButtonItem));
  ASSERT_EQ(BZ_ShowExample(window_), noErr);
  WindowRef example = BZ_GetExampleWindow();
  ASSERT_NE(example, nullptr);
  EXPECT_NE(gBZ.dlgData->beforePic, nullptr);
  EXPECT_NE(gBZ.dlgData->afterPic, nullptr);
  EXPECT_TRUE(WellShowsAPicture(example, kBZ_ExampleBeforeWell));
  EXPECT_TRUE(WellShowsAPicture(example, kBZ_ExampleAfterWell));
  // Both wells draw through the wells' draw handler (their background around the picture).
  for (SInt32 item : {kBZ_ExampleBeforeWell, kBZ_ExampleAfterWell}) {
    HIViewRef well = nullptr;
    ASSERT_EQ(HIViewFindByID(HIViewGetRoot(example), HIViewID{kBZ_DialogItemSignature, item}, &well), noErr);
    EXPECT_TRUE(PL_EventTargetHandles(GetControlEventTarget(well), kEventClassControl, kEventControlDraw)) << item;
  }
  EXPECT_FALSE(Active(kBZ_ExampleButtonItem)) << "inactive while the window is open";

  // Closed while idle on the Process pane: the button comes back.
  ASSERT_EQ(GL_SendWindowCloseEvent(example), noErr);
  EXPECT_EQ(BZ_GetExampleWindow(), nullptr);
  EXPECT_EQ(gBZ.dlgData->beforePic, nullptr);
  EXPECT_TRUE(Active(kBZ_ExampleButtonItem));

  // Closed while a project executes: it stays inactive.
  ASSERT_EQ(BZ_ShowExample(window_), noErr);
  project_->state.exec = kBZ_ProjStateExecuting;
  ASSERT_EQ(GL_SendWindowCloseEvent(BZ_GetExampleWindow()), noErr);
  EXPECT_FALSE(Active(kBZ_ExampleButtonItem));
}

TEST_F(ExampleAndBusy, EveryMethodTabFindsItsPicturesAndVaryingBrightnessHasNone) {
  for (SInt32 tab = 1; tab <= 6; ++tab) {
    ShowProcessTab(tab);
    ASSERT_EQ(BZ_ShowExample(window_), noErr) << "tab " << tab;
    if (tab == 5) {
      EXPECT_EQ(BZ_GetExampleWindow(), nullptr) << "varying brightness has no example";
      ASSERT_EQ(BZ_ActivateExampleButton(window_), noErr);
      EXPECT_FALSE(Active(kBZ_ExampleButtonItem));
      continue;
    }
    ASSERT_NE(BZ_GetExampleWindow(), nullptr) << "tab " << tab;
    EXPECT_TRUE(WellShowsAPicture(BZ_GetExampleWindow(), kBZ_ExampleAfterWell)) << "tab " << tab;
    ASSERT_EQ(GL_SendWindowCloseEvent(BZ_GetExampleWindow()), noErr);
  }
  // Leaving the Process pane closes an open example.
  ShowProcessTab(1);
  ASSERT_EQ(BZ_ShowExample(window_), noErr);
  ASSERT_EQ(GL_SetDialogItemValueByID(window_, Item(kBZ_MainTabItem), 3), noErr);
  ASSERT_EQ(BZ_ActivateExampleButton(window_), noErr);
  EXPECT_EQ(BZ_GetExampleWindow(), nullptr);
}

TEST_F(ExampleAndBusy, IndicatorsFollowTheLastStageOfTheirPaneAndStopTogether) {
  BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
  table[0].type = kBZ_ReadTaskType;
  table[1].type = kBZ_CopyTaskType, table[1].fileNum = 1, table[1].number = 1;
  table[2].type = kBZ_AverageTaskType, table[2].number = 2;
  table[3].type = kBZ_NoiseRedTaskType, table[3].number = 3;
  BZ_ProjDlgState *state = BZ_GetDialogStatePtr();
  ASSERT_NE(state, nullptr);
  state->findingWhiteLinePiece[1] = true;  // the copy of the second movie measures, the average stage does not
  state->findingNoiseLevel[3] = true;
  ASSERT_EQ(BZ_ActivateChasingArrows(), noErr);
  EXPECT_FALSE(Animating(2112)) << "the average stage comes after the copy stage";
  EXPECT_TRUE(Animating(2176));
  EXPECT_FALSE(Animating(2031));

  state->findingWhiteLinePiece[1] = false;
  state->findingNoiseLevel[3] = false;
  project_->state.exec = kBZ_ProjStateExecuting;
  ASSERT_EQ(BZ_ActivateChasingArrows(), noErr);
  EXPECT_TRUE(Animating(2112));
  EXPECT_TRUE(Animating(2176));

  ASSERT_EQ(BZ_StopChasingArrows(window_), noErr);
  for (SInt32 item : {2031, 2112, 2176, 2336, 2361, 2409, 2517, 2089}) EXPECT_FALSE(Animating(item)) << item;
}

// A finished analysis rewrites the group of its stage (the defaults button then shows that the group left its
// defaults); a stage of no group marks nothing, yet the groups flagged before are written all the same.
TEST_F(ExampleAndBusy, StageDefaultsRewriteTheStagesGroupAndWhatWasFlagged) {
  BZ_CleaninSett &cleaning = project_->info.settings.cleaning;
  const struct {
    BZ_TaskType type;
    SInt32 button;
    void (*change)(BZ_CleaninSett &);
  } cases[] = {
      {kBZ_CrossLumaTaskType, 2360, [](BZ_CleaninSett &c) { c.crossLuma.constChromaTestLen = 5; }},
      {kBZ_OutlierTaskType, 2516, [](BZ_CleaninSett &c) { c.ou.scratchWidth = 9; }},
      {kBZ_AverageTaskType, 2111, [](BZ_CleaninSett &c) { c.average.weight = 0.1; }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.button);
    ASSERT_EQ(BZ_HandleDefaultButtonHit(window_, c.button), noErr);
    ASSERT_FALSE(Active(c.button));
    c.change(cleaning);
    EXPECT_FALSE(Active(c.button)) << "not written yet";
    ASSERT_EQ(BZ_ActivateDefaultsButtonByTaskType(c.type), noErr);
    EXPECT_TRUE(Active(c.button)) << "the stage's group was written";
  }

  // The noise-frame stage belongs to no group.
  ASSERT_EQ(BZ_HandleDefaultButtonHit(window_, 2360), noErr);
  cases[0].change(cleaning);
  BZ_GetDialogStatePtr()->neededUpdates |= kBZ_CrossLumaTypeFlag;
  ASSERT_EQ(BZ_ActivateDefaultsButtonByTaskType(kBZ_NoiseFrameTaskType), noErr);
  EXPECT_TRUE(Active(2360)) << "flagged before: written";
}

}  // namespace
