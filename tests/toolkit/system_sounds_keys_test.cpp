// System sounds by name from the sounds folders, the Quit item's key and synthetic keys in the event queue.
#include "toolkit/events_clicks_sounds.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/menus.h"

#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct SystemSounds : ::testing::Test {
  void SetUp() override { PL_SetSystemSoundsSilent(true); }
  void TearDown() override { GL_SetSystemSoundFolders(nullptr, 0); }
  static std::string Last() { return PL_GetLastSystemSoundPlayed(); }
};

TEST_F(SystemSounds, TheApplicationsFolderListsItsChimesInNameOrder) {
  const std::string folder = std::string(std::getenv("BZ_SOURCE_DIR")) + "/resources/sounds";
  const char *folders[] = {folder.c_str()};
  GL_SetSystemSoundFolders(folders, 1);
  FSRef *files = nullptr;
  ItemCount count = 0;
  ASSERT_EQ(GL_GetSystemSoundFileList(&files, &count), noErr);
  ASSERT_GE(count, 3u);
  std::vector<std::string> names;
  for (ItemCount i = 0; i < count; ++i) {
    std::string path;
    ASSERT_EQ(PL_FSRefMakePathString(&files[i], &path), noErr);
    names.push_back(path.substr(path.rfind('/') + 1));
  }
  DisposePtr(reinterpret_cast<Ptr>(files));
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_NE(std::find(names.begin(), names.end(), "Hero.wav"), names.end());

  bz_test::TempDir empty;
  const char *none[] = {empty.path().c_str()};
  GL_SetSystemSoundFolders(none, 1);
  ASSERT_EQ(GL_GetSystemSoundFileList(&files, &count), noErr);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(files, nullptr);
  EXPECT_EQ(GL_PlaySystemSoundByName(CFSTR("Hero")), noErr);
}

TEST_F(SystemSounds, ANamePlaysWithoutItsExtensionOnly) {
  bz_test::TempDir dir;
  for (const char *name : {"Hero.wav", "Hero.wav.bak", "Basso.aiff"}) bz_test::WriteText(dir.File(name), "RIFF");
  const char *folders[] = {dir.path().c_str()};
  GL_SetSystemSoundFolders(folders, 1);
  struct Case {
    CFStringRef name;
    const char *plays;  // nullptr: nothing
  } cases[] = {{CFSTR("Basso"), "Basso.aiff"}, {CFSTR("Hero"), "Hero.wav"}, {CFSTR("Hero.wav"), "Hero.wav.bak"},
               {CFSTR("Hero.wav.bak"), nullptr}, {CFSTR("hero"), nullptr}, {CFSTR("Glass"), nullptr}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.plays == nullptr ? "nothing" : c.plays);
    const std::string before = Last();
    EXPECT_EQ(GL_PlaySystemSoundByName(c.name), noErr);
    if (c.plays != nullptr)
      EXPECT_EQ(Last(), dir.File(c.plays));
    else
      EXPECT_EQ(Last(), before);
  }
  // Each played sound's completion forgets its action ID.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (PL_CountSystemSoundActionIDs() != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(PL_CountSystemSoundActionIDs(), 0u);
  EXPECT_EQ(GL_PlaySystemSoundByName(nullptr), paramErr);
}

TEST(QuitKey, ReadsTheKeyOfTheQuitItem) {
  char key = 0;
  Boolean isVirtual = true;
  EXPECT_EQ(GL_GetQCharCode(&key, &isVirtual), menuItemNotFoundErr);
  MenuRef menu = nullptr;
  ASSERT_EQ(CreateNewMenu(2000, 0, &menu), noErr);
  ASSERT_EQ(AppendMenuItemTextWithCFString(menu, CFSTR("About"), 0, 'abou', nullptr), noErr);
  ASSERT_EQ(AppendMenuItemTextWithCFString(menu, CFSTR("Quit"), 0, kHICommandQuit, nullptr), noErr);
  SetItemCmd(menu, 2, 'Q');
  InsertMenu(menu, 0);
  EXPECT_EQ(GL_GetQCharCode(&key, &isVirtual), noErr);
  EXPECT_EQ(key, 'Q');
  EXPECT_FALSE(isVirtual);
  DeleteMenu(2000);
  DisposeMenu(menu);
}

TEST(SyntheticKeys, ACapitalIsShiftAndItsLetterInOrder) {
  UInt8 list[128];
  ASSERT_EQ(GL_MakeKeyCodeList(list), noErr);
  EXPECT_EQ(list[UInt8('a')], 0x00);
  EXPECT_EQ(list[UInt8('q')], 0x0C);
  EXPECT_EQ(list[UInt8('.')], 0x2F);
  EXPECT_EQ(list[UInt8('\r')], 0x24);
  EXPECT_EQ(list[UInt8('A')], 0);  // no key gives it without modifiers

  ASSERT_EQ(GL_PostCapital(list, 'Q'), noErr);
  ASSERT_EQ(GL_PostCharacter(list, '.'), noErr);
  const EventTypeSpec keys[] = {{kEventClassKeyboard, kEventRawKeyDown}, {kEventClassKeyboard, kEventRawKeyUp}};
  struct Seen {
    UInt32 kind, code, modifiers;
    char character;
  };
  std::vector<Seen> seen;
  EventRef event = nullptr;
  while (ReceiveNextEvent(2, keys, kEventDurationNoWait, true, &event) == noErr) {
    Seen s{GetEventKind(event), 0, 0, 0};
    GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof s.code, nullptr, &s.code);
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof s.modifiers, nullptr, &s.modifiers);
    GetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, nullptr, 1, nullptr, &s.character);
    seen.push_back(s);
    ReleaseEvent(event);
  }
  ASSERT_EQ(seen.size(), 6u);
  const Seen expected[] = {{kEventRawKeyDown, 56, shiftKey, 0}, {kEventRawKeyDown, 0x0C, shiftKey, 'q'},
                           {kEventRawKeyUp, 0x0C, shiftKey, 'q'}, {kEventRawKeyUp, 56, 0, 0},
                           {kEventRawKeyDown, 0x2F, 0, '.'},      {kEventRawKeyUp, 0x2F, 0, '.'}};
  for (size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].kind, expected[i].kind);
    EXPECT_EQ(seen[i].code, expected[i].code);
    EXPECT_EQ(seen[i].modifiers, expected[i].modifiers);
    EXPECT_EQ(seen[i].character, expected[i].character);
  }
  EXPECT_EQ(GL_PostCharacter(list, char(200)), paramErr);
}

}  // namespace
