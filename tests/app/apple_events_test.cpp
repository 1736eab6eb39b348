// Apple events of our own process: descriptor lists, parameters and the missed-keyword attribute, the
// open-documents handler (our log document toggles the log window, movies and folders are left alone,
// failures counted), the quit and other required events, file kinds and the default output folder.
#include "app/apple_events.h"

#include "app/app_preferences.h"
#include "app/app_startup.h"
#include "app/file_kinds.h"
#include "app/log_contents.h"
#include "app/window_lookup.h"
#include "general/error_keys.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/menus.h"
#include "platform/core/windows.h"
#include "platform/ui/nib_controls.h"
#include "toolkit/navigation_dialogs.h"
#include "support/file_fixtures.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

TEST(AppleEventLists, ItemsArePutCountedReplacedAndRead) {
  AEDescList list{};
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  const SInt32 values[] = {7, 8, 9};
  for (SInt32 v : values) {
    AEDesc item{};
    ASSERT_EQ(AECreateDesc(typeSInt32, &v, sizeof v, &item), noErr);
    ASSERT_EQ(AEPutDesc(&list, 0, &item), noErr);
    AEDisposeDesc(&item);
  }
  const SInt32 replacement = 80;
  AEDesc item{};
  ASSERT_EQ(AECreateDesc(typeSInt32, &replacement, sizeof replacement, &item), noErr);
  ASSERT_EQ(AEPutDesc(&list, 2, &item), noErr);
  EXPECT_EQ(AEPutDesc(&list, 5, &item), errAEBadListItem);
  AEDisposeDesc(&item);
  long count = 0;
  ASSERT_EQ(AECountItems(&list, &count), noErr);
  EXPECT_EQ(count, 3);
  const SInt32 expected[] = {7, 80, 9};
  for (long i = 1; i <= 3; ++i) {
    SInt32 value = 0;
    DescType type = 0;
    Size size = 0;
    ASSERT_EQ(AEGetNthPtr(&list, i, typeWildCard, nullptr, &type, &value, sizeof value, &size), noErr);
    EXPECT_EQ(value, expected[i - 1]);
    EXPECT_EQ(type, DescType(typeSInt32));
    EXPECT_EQ(size, Size(sizeof value));
  }
  AEDesc none{};
  EXPECT_EQ(AEGetNthDesc(&list, 0, typeWildCard, nullptr, &none), errAEBadListItem);
  EXPECT_EQ(AEGetNthDesc(&list, 4, typeWildCard, nullptr, &none), errAEBadListItem);
  AEDisposeDesc(&list);
}

TEST(AppleEventLists, FilesComeOutOfAListAsReferences) {
  bz_test::TempDir dir;
  bz_test::WriteText(dir.File("a.txt"), "a");
  const std::string path = dir.File("a.txt");
  const char *paths[] = {path.c_str()};
  AppleEvent event{};
  ASSERT_EQ(PL_CreateOpenDocumentsEvent(paths, 1, &event), noErr);
  AEDescList list{};
  ASSERT_EQ(AEGetParamDesc(&event, keyDirectObject, typeAEList, &list), noErr);
  FSRef file{};
  ASSERT_EQ(NS_GetSingleFileObjectFromAEDescList(&list, &file), noErr);
  EXPECT_EQ(bz_test::PathOf(file), bz_test::PathOf(bz_test::RefFor(path)));
  EXPECT_EQ(NS_GetNthFileObjectFromAEDescList(&list, 2, &file), errAEBadListItem);
  EXPECT_TRUE(bz_test::IsZeroRef(file));
  AEDisposeDesc(&list);
  AEDisposeDesc(&event);
}

class OpenDocuments : public ::testing::Test {
 protected:
  void SetUp() override {
    TD_App();
    ASSERT_EQ(BZ_InstallRequiredAEHandlers(), noErr);
  }
  void TearDown() override {
    for (AEEventID id : {kAEOpenApplication, kAEReopenApplication, kAEOpenDocuments, kAEPrintDocuments,
                         kAEQuitApplication})
      AERemoveEventHandler(kCoreEventClass, id, nullptr, false);
  }
  OSErr Open(const std::vector<std::string> &files) {
    std::vector<const char *> paths;
    for (const std::string &f : files) paths.push_back(f.c_str());
    AppleEvent event{};
    OSErr err = PL_CreateOpenDocumentsEvent(paths.data(), int(paths.size()), &event);
    if (err == noErr) err = PL_ProcessAppleEvent(&event);
    AEDisposeDesc(&event);
    return err;
  }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
};

TEST_F(OpenDocuments, FailuresAreCountedAndOtherFilesLeftAlone) {
  const std::string movie = dir_.File("movie.mov"), text = dir_.File("notes.txt");
  bz_test::WriteText(movie, "not read");
  bz_test::WriteText(text, "notes");
  struct Case {
    const char *what;
    std::vector<std::string> files;
    OSErr result;
  } cases[] = {
      {"a movie and a folder are left alone", {movie, dir_.path()}, noErr},
      {"one unreadable document", {dir_.File("gone1.mov"), movie}, fnfErr},
      {"two unreadable documents", {dir_.File("gone1.mov"), text, dir_.File("gone2.mov")}, OSErr(kGL_MultipleOpenErr)},
  };
  for (const Case &c : cases) EXPECT_EQ(Open(c.files), c.result) << c.what;
  EXPECT_EQ(bz_test::ReadText(movie), "not read");
}

TEST_F(OpenDocuments, OurLogDocumentTogglesTheLogWindow) {
  // The log's menu item says whether the window shows: the menu bar is needed too.
  ASSERT_EQ(CreateNibReference(CFSTR("BZ main"), &gBZ.nibRef), noErr);
  ASSERT_EQ(BZ_InitMainMenus(), noErr);
  BZ_SetLogWriteAlertsQuiet(true);
  ASSERT_EQ(BZ_CreateLogWindow(), noErr);
  WindowRef log = BZ_GetLogWindow();
  ASSERT_NE(log, nullptr);
  const std::string logFile = dir_.path() + "/.local/state/brizel/logs/Brizel Log";
  ASSERT_TRUE(bz_test::Exists(logFile));
  const bool visible = IsWindowVisible(log);
  ASSERT_EQ(Open({logFile}), noErr);
  EXPECT_NE(bool(IsWindowVisible(log)), visible);
  ASSERT_EQ(Open({logFile}), noErr);
  EXPECT_EQ(bool(IsWindowVisible(log)), visible);
  BZ_DisposeLogWindow();
  BZ_SetLogWriteAlertsQuiet(false);
  ClearMenuBar();
  DisposeNibReference(gBZ.nibRef);
  gBZ.nibRef = nullptr;
}

TEST_F(OpenDocuments, AnUnexpectedParameterIsRefused) {
  AppleEvent event{};
  const std::string path = dir_.path();
  const char *paths[] = {path.c_str()};
  ASSERT_EQ(PL_CreateOpenDocumentsEvent(paths, 1, &event), noErr);
  const SInt32 extra = 1;
  ASSERT_EQ(AEPutParamPtr(&event, 'xtra', typeSInt32, &extra, sizeof extra), noErr);
  EXPECT_EQ(PL_ProcessAppleEvent(&event), errAEEventNotHandled);
  AEDisposeDesc(&event);

  // The other required events do nothing; an event without a handler is not handled.
  for (AEEventID id : {kAEOpenApplication, kAEReopenApplication, kAEPrintDocuments}) {
    ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, id, nullptr, 0, 0, &event), noErr);
    EXPECT_EQ(PL_ProcessAppleEvent(&event), noErr);
    AEDisposeDesc(&event);
  }
  ASSERT_EQ(AECreateAppleEvent('none', 'none', nullptr, 0, 0, &event), noErr);
  EXPECT_EQ(PL_ProcessAppleEvent(&event), errAEEventNotHandled);
  AEDisposeDesc(&event);
}

TEST_F(OpenDocuments, TheDefaultOutputFolderFollowsThePreference) {
  const std::string sourceFolder = dir_.File("sources");
  ASSERT_EQ(::mkdir(sourceFolder.c_str(), 0755), 0);
  bz_test::WriteText(sourceFolder + "/a.mov", "movie");
  const FSRef source = bz_test::RefFor(sourceFolder + "/a.mov");
  const std::string movies = dir_.path() + "/Videos";
  struct Case {
    SInt32 option;
    bool storedFolder;
    std::string expected;
  } cases[] = {
      {1, false, sourceFolder},
      {2, false, movies},
      {2, true, dir_.path()},
      {3, true, movies},
  };
  for (const Case &c : cases) {
    BZ_AppPrefs prefs{};
    BZ_MakeDefaultAppPrefs(&prefs);
    prefs.outputFolderOption = c.option;
    prefs.prevOutputFolder = c.storedFolder ? bz_test::RefFor(dir_.path()) : FSRef{};
    BZ_SaveAppPrefs(&prefs);
    FSRef folder{};
    EXPECT_EQ(BZ_GetDefaultTargetFolder(&source, &folder), noErr) << c.option;
    EXPECT_EQ(bz_test::PathOf(folder), bz_test::PathOf(bz_test::RefFor(c.expected))) << c.option << c.storedFolder;
  }
}

}  // namespace
