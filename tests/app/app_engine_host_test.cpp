// The application's engine host: a project start without any window open goes through the shell's and the
// dialog's routines and leaves the target's folder as the previous output folder in the preferences.
#include "app/app_engine_host.h"

#include "app/app_preferences.h"
#include "engine/closing_saving.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_settings.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/standard_alerts.h"
#include "support/cf_check.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

namespace {

TEST(AppEngineHost, StartWithoutWindowsStoresThePreviousOutputFolder) {
  bz_test::TempDir dir;
  bz_test::FakeHome home(dir.path());
  PL_CFPreferencesForgetAll();
  bz_test::CurrentProject project;
  BZ_InstallAppEngineHost();
  EXPECT_NE(BZ_GetEngineHost()->getAppPrefs, BZ_GetPlainEngineHost()->getAppPrefs);

  BZ_StatMovInfo *movies = project.statMovInfo();
  bz_test::DescribeSource(movies, 0, 6, 16, 5, '2vuy');
  movies[0].movieTimeScale = 600;
  BZ_MakeDefaultProjSett(movies, &project->info.settings);
  project->info.settings.output.cType = '2vuy';
  BZ_TargetFileData &target = project->info.targetFileData[0];
  target.parentRef = bz_test::RefFor(dir.path());
  target.fileName = bz_test::Name("cleaned.mov");
  ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.inputQueue), noErr);

  EXPECT_EQ(BZ_StartProject(), noErr);
  EXPECT_EQ(project->state.exec, kBZ_ProjStateExecuting);
  BZ_AppPrefs prefs{};
  BZ_GetAppPrefs(&prefs);
  EXPECT_EQ(bz_test::PathOf(prefs.prevOutputFolder), dir.path());
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);

  BZ_DeleteProjectFiles(project.get());
  BZ_DisposeProject(nullptr);
  MP_DeleteQueue(&gBZ.mainTaskData.inputQueue);
  PL_CFPreferencesForgetAll();
}

// The engine's gamma caution reaches the user as the toolkit's caution alert, with the alert sound.
TEST(AppEngineHost, GammaCautionIsAToolkitAlert) {
  bz_test::TempDir dir;
  bz_test::FakeHome home(dir.path());
  PL_CFPreferencesForgetAll();
  bz_test::CurrentProject project;
  BZ_InstallAppEngineHost();
  project.statMovInfo()[0].gamma = 1.8f;
  project->info.settings.output.cType = 'dvc ';
  const UInt32 soundsBefore = PL_GetAlertSoundCount();
  PL_SetNextAlertAnswer(kAlertStdAlertOKButton);
  EXPECT_EQ(BZ_WarnAboutAutoGammaConversion(project.get(), 0), noErr);
  const PL_AlertDescription *shown = PL_GetLastRunAlert();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->type, kAlertCautionAlert);
  ASSERT_NE(shown->message, nullptr);
  EXPECT_GT(CFStringGetLength(shown->message), 0);
  EXPECT_EQ(PL_GetAlertSoundCount(), soundsBefore + 1);
  BZ_SetEngineHost(nullptr);
  PL_CFPreferencesForgetAll();
}

// A changed speck list is saved unless the user discards it, through the toolkit's two-button alert.
TEST(AppEngineHost, ChangedSpeckListsAskBeforeTheyAreSaved) {
  BZ_InstallAppEngineHost();
  const BZ_EngineHost *host = BZ_GetEngineHost();
  for (DialogItemIndex answer : {kAlertStdAlertOKButton, kAlertStdAlertCancelButton}) {
    PL_SetNextAlertAnswer(answer);
    Boolean discard = 2;
    EXPECT_EQ(host->askSaveOutlierEdits(host->refCon, &discard), noErr);
    EXPECT_EQ(discard, answer == kAlertStdAlertCancelButton);
    const PL_AlertDescription *shown = PL_GetLastRunAlert();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(bz_test::CFText(shown->message), "Save changes to speck list?");
  }
  BZ_SetEngineHost(nullptr);
}

}  // namespace
