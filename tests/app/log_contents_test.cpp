// The project information written into the log at project start.
#include "app/log_contents.h"

#include "app/app_preferences.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "toolkit/log_window.h"
#include "toolkit/text_objects.h"

#include "engine/runtime/project_settings.h"
#include "general/strings_text.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include "support/gui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <string>

namespace {

class ProjectInfoInLog : public ::testing::Test {
 protected:
  void SetUp() override {
    bz_test::WriteText(dir_.File("source.mov"), "x");
    bz_test::WriteText(dir_.File("cleaned.mov"), "y");
    bz_test::DescribeSource(project_.statMovInfo(), 0, 6, 16, 5, '2vuy');
    BZ_MakeDefaultProjSett(project_.statMovInfo(), &project_->info.settings);
    project_->info.srcFileData[0].fileRef = bz_test::RefFor(dir_.File("source.mov"));
    project_->info.targetFileData[0].fileRef = bz_test::RefFor(dir_.File("cleaned.mov"));
    ASSERT_EQ(GL_NewTextBuffer(&text_), noErr);
  }
  void TearDown() override { GL_DisposeTextBuffer(&text_); }
  std::string Text() const { return std::string(text_, size_t(size_)); }

  bz_test::TempDir dir_;
  bz_test::CurrentProject project_;
  Ptr text_ = nullptr;
  SInt32 size_ = 0;
};

TEST_F(ProjectInfoInLog, NamesTheFilesTheirPlaceAndTheSettingsInOrder) {
  ASSERT_EQ(BZ_AddProjectInfoToTextPtr(project_.get(), text_, &size_), noErr);
  const std::string text = Text();
  const std::string folder = dir_.path().substr(dir_.path().rfind('/') + 1);
  const std::string head = "Name of input file: source.mov\rLocation: folder \"" + folder + "\" on disk \"";
  EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
  const size_t settings = text.find("\"\n\r\rProject settings: \r  Input settings:\r");
  EXPECT_NE(settings, std::string::npos) << text;
  const std::string tail = "\rName of output file: cleaned.mov\r\r";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(ProjectInfoInLog, AnUnreadableFileNameWritesNothing) {
  for (int which : {0, 1}) {
    SCOPED_TRACE(which == 0 ? "input" : "output");
    BZ_ProjInfo &info = project_->info;
    FSRef &ref = which == 0 ? info.srcFileData[0].fileRef : info.targetFileData[0].fileRef;
    const FSRef saved = ref;
    ref = FSRef{};
    size_ = 0;
    EXPECT_NE(BZ_AddProjectInfoToTextPtr(project_.get(), text_, &size_), noErr);
    EXPECT_EQ(size_, 0);
    ref = saved;
  }
}

class ApplicationLog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TD_App();
    home_ = new bz_test::TempDir;
    fakeHome_ = new bz_test::FakeHome(home_->path());
    BZ_SetLogWriteAlertsQuiet(true);
  }
  static void TearDownTestSuite() {
    BZ_SetLogWriteAlertsQuiet(false);
    delete fakeHome_;
    delete home_;
  }
  void SetUp() override {
    CFPreferencesSetAppValue(CFSTR("Log Alias"), nullptr, kCFPreferencesCurrentApplication);
    CFPreferencesSetAppValue(kBZ_AppPrefsKey, nullptr, kCFPreferencesCurrentApplication);
  }
  void TearDown() override { BZ_DisposeLogWindow(); }
  static std::string LogPath() { return home_->path() + "/.local/state/brizel/logs/Brizel Log"; }
  static std::string TextOf(TXNObject object) {
    CFStringRef s = nullptr;
    EXPECT_EQ(TXN_GetDataAsCFStr(object, 0, kTXNEndOffset, &s), noErr);
    std::string text = PL_CFStringToUTF8(s);
    CFRelease(s);
    return text;
  }
  static std::string LogText() {
    PL_CFScoped<CFStringRef> name(BZ_GetLogName());
    return TextOf(LOG_GetTXNObject(name.get()));
  }
  // The preferences block for these preferences, written into an object of its own.
  static std::string PrefsBlock(const BZ_AppPrefs &prefs) {
    BZ_SaveAppPrefs(&prefs);
    TXNObject object = nullptr;
    EXPECT_EQ(TXNCreateObject(nullptr, 0, &object), noErr);
    EXPECT_EQ(BZ_SetAppPrefsInLog(object), noErr);
    std::string text = TextOf(object);
    TXNDeleteObject(object);
    return text;
  }
  static bz_test::TempDir *home_;
  static bz_test::FakeHome *fakeHome_;
};
bz_test::TempDir *ApplicationLog::home_ = nullptr;
bz_test::FakeHome *ApplicationLog::fakeHome_ = nullptr;

TEST_F(ApplicationLog, ANewLogHasTheHeaderAndTheOpeningBlocksAndTheFileMatchesTheWindow) {
  ASSERT_EQ(BZ_CreateLogWindow(), noErr);
  const std::string text = LogText();
  const std::string header = "\nBrizel, a desktop application for cleaning digitised video.\n"
                             "This application cleans QuickTime movies in various ways.\nVersion ";
  ASSERT_EQ(text.compare(0, header.size(), header), 0) << text;
  const size_t opened = text.find("\n\n\n\nOpened application Orl Brizel. Time: ");
  ASSERT_NE(opened, std::string::npos) << text;
  const size_t environment = text.find("\r\rSystem version: ", opened);
  ASSERT_NE(environment, std::string::npos) << text;
  EXPECT_NE(text.find("Physical memory: ", environment), std::string::npos);
  EXPECT_NE(text.find("\nApplication preferences:\n\n    Copy sound: yes\n", environment), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  EXPECT_EQ(bz_test::ReadText(LogPath()), text);

  ASSERT_EQ(BZ_SetProjectMessageInLog(CFSTR(" project started.")), noErr);
  std::string now = LogText();
  const size_t message = now.find(" Time: ", text.size());
  ASSERT_EQ(message, text.size());
  EXPECT_NE(now.find(",  project started.\r\r", message), std::string::npos);
  EXPECT_EQ(now.substr(now.size() - 21), ",  project started.\r\r");

  ASSERT_EQ(BZ_SetAppQuitMessageInLog(), noErr);
  now = LogText();
  EXPECT_NE(now.find("Application quit. Time: "), std::string::npos);
  EXPECT_EQ(now.substr(now.size() - 2), "\r\r");
  EXPECT_EQ(bz_test::ReadText(LogPath()), now);
  ASSERT_EQ(BZ_DisposeLogWindow(), noErr);

  // The next start appends to the same file.
  ASSERT_EQ(BZ_CreateLogWindow(), noErr);
  EXPECT_EQ(LogText().compare(0, now.size(), now), 0);
  EXPECT_EQ(bz_test::ReadText(LogPath()), LogText());
}

TEST_F(ApplicationLog, PreferencesBlockLinesFollowThePreferences) {
  BZ_AppPrefs prefs{};
  BZ_MakeDefaultAppPrefs(&prefs);
  std::string block = PrefsBlock(prefs);
  EXPECT_EQ(block.find("Max IRE"), std::string::npos) << block;
  EXPECT_NE(block.find("    Success sound: Hero\nOutput folder: Movies folder\n\n\n"), std::string::npos) << block;

  prefs.ntscSafeColors = true;
  prefs.maxIRE = 120;
  block = PrefsBlock(prefs);
  EXPECT_NE(block.find("    Use NTSC safe colors: yes\n    Max IRE: 120\n    Always convert"), std::string::npos)
      << block;

  struct Case {
    SInt32 option;
    const char *line;
  } cases[] = {{1, "Output folder: same as input file\n"},
               {2, "Output folder: same as previous\n"},
               {3, "Output folder: Movies folder\n"},
               {0, nullptr},
               {4, nullptr}};
  for (const Case &c : cases) {
    // Stored options outside 1 to 3 are read as the default, so the block is made from the record itself.
    prefs.outputFolderOption = c.option;
    Ptr text = nullptr;
    ASSERT_EQ(GL_NewTextBuffer(&text), noErr);
    SInt32 size = 0;
    BZ_AddAppPrefsToTextPtr(&prefs, text, &size);
    block.assign(text, size_t(size));
    GL_DisposeTextBuffer(&text);
    if (c.line != nullptr)
      EXPECT_NE(block.find(c.line), std::string::npos) << c.option;
    else
      EXPECT_EQ(block.find("Output folder"), std::string::npos) << c.option;
  }
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
}

TEST_F(ApplicationLog, AFailingDiskKeepsTheTextAndDisposeReportsIt) {
  ASSERT_EQ(BZ_CreateLogWindow(), noErr);
  const std::string before = bz_test::ReadText(LogPath());
  PL_FailWritesAfterBytes(0);
  ASSERT_EQ(BZ_SetProjectMessageInLog(CFSTR(" project finished.")), noErr);
  EXPECT_EQ(BZ_DisposeLogWindow(), dskFulErr);
  EXPECT_EQ(bz_test::ReadText(LogPath()), before);  // the old file stays whole
  PL_FailWritesAfterBytes(-1);
  const std::string text = LogText();
  ASSERT_EQ(BZ_DisposeLogWindow(), noErr);
  EXPECT_EQ(bz_test::ReadText(LogPath()), text);
}

}  // namespace
