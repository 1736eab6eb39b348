#include "engine/runtime/engine_host.h"

#include "platform/core/event_loop.h"
#include "support/engine_fixtures.h"

#include <gtest/gtest.h>

namespace {

UInt32 StageFour(void *) { return 4; }

TEST(EngineHost, AHostMayLeaveOutWhatItHasNoAnswerTo) {
  BZ_EngineHost partial{};
  partial.getAutoSettStage = StageFour;
  BZ_SetEngineHost(&partial);
  const BZ_EngineHost *host = BZ_GetEngineHost();
  EXPECT_EQ(host->getAutoSettStage(host->refCon), 4u);
  ASSERT_NE(host->getDialogStatePtr, nullptr);
  EXPECT_NE(host->getDialogStatePtr(host->refCon), nullptr);
  EXPECT_EQ(host->postCustomEvent, BZ_GetPlainEngineHost()->postCustomEvent);
  ASSERT_NE(host->getPreviewFrameNum, nullptr);
  EXPECT_EQ(host->getPreviewFrameNum(host->refCon), 0);
  BZ_AppPrefs prefs{};
  host->getAppPrefs(host->refCon, &prefs);
  EXPECT_TRUE(prefs.copySound);
  EXPECT_EQ(prefs.maxIRE, 120);
  EXPECT_EQ(prefs.outputFolderOption, 3);
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
  BZ_SetEngineHost(nullptr);
  EXPECT_EQ(BZ_GetEngineHost()->getAutoSettStage(nullptr), 0u);
}

Boolean gSeenFlag = false;
UInt32 gSeenKind = 0;
OSStatus Handler(EventHandlerCallRef, EventRef event, void *) {
  gSeenKind = GetEventKind(event);
  GetEventParameter(event, kBZ_NewAnalysisEventParam, kBZ_NewAnalysisEventParam, nullptr, 1, nullptr, &gSeenFlag);
  return noErr;
}

TEST(EngineHost, CustomEventsReachTheMainThreadWithTheirParameters) {
  const EventTypeSpec kind = {kBZ_ProjEventClass, kBZ_StartMovieAnalysisEvent};
  EventHandlerRef handler = nullptr;
  ASSERT_EQ(InstallApplicationEventHandler(Handler, 1, &kind, nullptr, &handler), noErr);
  const Boolean yes = true;
  const BZ_EventParam param = {kBZ_NewAnalysisEventParam, sizeof yes, &yes};
  ASSERT_EQ(BZ_PostProjEventToMainQueue(kBZ_StartMovieAnalysisEvent, &param, 1), noErr);
  EXPECT_EQ(PL_RunEventLoopUntil([] { return gSeenKind != 0; }, 60.0), noErr);
  EXPECT_EQ(gSeenKind, UInt32(kBZ_StartMovieAnalysisEvent));
  EXPECT_TRUE(gSeenFlag);
  EXPECT_EQ(BZ_PostProjEventToMainQueue(kBZ_StartMovieAnalysisEvent, nullptr, 1), paramErr);
  RemoveEventHandler(handler);
}

TEST(EngineHost, ValidSelectedTypesBySettings) {
  bz_test::CurrentProject project;
  BZ_StatMovInfo *movies = project.statMovInfo();
  BZ_CleaninSett c{};
  BZ_MakeDefaultCleaningSett(movies, &c);
  c.average.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = true;
  EXPECT_EQ(BZ_GetValidSelectedTypesFromSett(movies, &c), 0u) << "no source movie, nothing can run";
  bz_test::DescribeSource(movies, 0, 16, 16, 10);
  EXPECT_EQ(BZ_GetValidSelectedTypesFromSett(movies, &c), UInt32(0x7C)) << "averaging needs a second movie";
  c.noiseRed.horizontal = c.noiseRed.vertical = false;
  c.removeLogo.mode = kBZ_LogoModeUseMask;
  EXPECT_EQ(BZ_GetValidSelectedTypesFromSett(movies, &c), UInt32(0x70));
  c.removeLogo.findMask = true;
  bz_test::DescribeSource(movies, 1, 16, 16, 10);
  EXPECT_EQ(BZ_GetValidSelectedTypesFromSett(movies, &c), UInt32(0x7A));
}

}  // namespace
