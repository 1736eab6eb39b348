// The application preferences: defaults, the dictionary round trip through the stored preferences, damaged
// stored values, the comparison with the defaults by tab, the one-time migration and the log alias.
#include "app/app_preferences.h"

#include "engine/runtime/engine_host.h"
#include "general/cf_encodings.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/cf_string.h"
#include "platform/core/memory.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class AppPrefs : public ::testing::Test {
 protected:
  void SetUp() override { PL_CFPreferencesForgetAll(); }
  void TearDown() override {
    Release(prefs_);
    PL_CFPreferencesForgetAll();
  }
  static void Release(BZ_AppPrefs &prefs) {
    if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
    prefs.successSound = nullptr;
  }
  static void Store(CFStringRef key, CFPropertyListRef value) {
    CFPreferencesSetAppValue(key, value, kCFPreferencesCurrentApplication);
  }
  // Stores "App Prefs" holding one value under key.
  static void StoreAppPrefsWith(CFStringRef key, CFPropertyListRef value) {
    PL_CFScoped<CFMutableDictionaryRef> dict(CF_DictCreateMut());
    CFDictionarySetValue(dict, key, value);
    Store(kBZ_AppPrefsKey, dict.get());
  }
  static std::string Text(CFStringRef s) {
    char buffer[256] = {};
    CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8);
    return buffer;
  }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
  BZ_AppPrefs prefs_{};
};

TEST_F(AppPrefs, NothingStoredGivesTheDefaultsAndKeepsTheCallersFolder) {
  prefs_.prevOutputFolder = bz_test::RefFor(dir_.path());
  BZ_GetAppPrefs(&prefs_);
  EXPECT_TRUE(prefs_.copySound);
  EXPECT_EQ(Text(prefs_.successSound), "Hero");
  EXPECT_FALSE(prefs_.anamorphic1080);
  EXPECT_FALSE(prefs_.yuv2IsVideoRange);
  EXPECT_FALSE(prefs_.yuvSanityCheck);
  EXPECT_FALSE(prefs_.ntscSafeColors);
  EXPECT_EQ(prefs_.maxIRE, 120);
  EXPECT_FALSE(prefs_.alwaysGamma22);
  EXPECT_FALSE(prefs_.preserveHighlights);
  EXPECT_EQ(prefs_.outputFolderOption, 3);
  EXPECT_EQ(bz_test::PathOf(prefs_.prevOutputFolder), dir_.path());
  EXPECT_TRUE(BZ_AppPrefsEqualDefault(&prefs_, 0));
}

TEST_F(AppPrefs, TheEnginesPlainHostAnswersTheSameDefaults) {
  BZ_AppPrefs plain{};
  BZ_GetPlainEngineHost()->getAppPrefs(nullptr, &plain);
  BZ_MakeDefaultAppPrefs(&prefs_);
  PL_CFScoped<CFDictionaryRef> a(BZ_CreateAppPrefsDict(&plain));
  PL_CFScoped<CFDictionaryRef> b(BZ_CreateAppPrefsDict(&prefs_));
  EXPECT_TRUE(CFEqual(a.get(), b.get()));
  Release(plain);
}

TEST_F(AppPrefs, SavedPreferencesComeBackAfterARestart) {
  BZ_MakeDefaultAppPrefs(&prefs_);
  prefs_.copySound = false;
  Release(prefs_);
  prefs_.successSound = CFSTR("Glass");
  prefs_.anamorphic1080 = true;
  prefs_.yuv2IsVideoRange = true;
  prefs_.ntscSafeColors = true;
  prefs_.maxIRE = 105;
  prefs_.preserveHighlights = true;
  prefs_.outputFolderOption = 2;
  prefs_.prevOutputFolder = bz_test::RefFor(dir_.path());
  BZ_SaveAppPrefs(&prefs_);
  prefs_.successSound = nullptr;
  ASSERT_TRUE(CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication));
  PL_CFPreferencesForgetAll();

  BZ_AppPrefs read{};
  BZ_GetAppPrefs(&read);
  EXPECT_FALSE(read.copySound);
  EXPECT_EQ(Text(read.successSound), "Glass");
  EXPECT_TRUE(read.anamorphic1080);
  EXPECT_TRUE(read.yuv2IsVideoRange);
  EXPECT_FALSE(read.yuvSanityCheck);
  EXPECT_TRUE(read.ntscSafeColors);
  EXPECT_EQ(read.maxIRE, 105);
  EXPECT_FALSE(read.alwaysGamma22);
  EXPECT_TRUE(read.preserveHighlights);
  EXPECT_EQ(read.outputFolderOption, 2);
  EXPECT_EQ(bz_test::PathOf(read.prevOutputFolder), dir_.path());
  Release(read);
}

TEST_F(AppPrefs, ADictionaryWithOnlyTheMaximumIREGivesTheDefaultsWithIt) {
  SInt32 ire = 110;
  PL_CFScoped<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &ire));
  StoreAppPrefsWith(CFSTR("Max IRE"), number.get());
  BZ_GetAppPrefs(&prefs_);
  EXPECT_EQ(prefs_.maxIRE, 110);
  EXPECT_TRUE(BZ_AppPrefsEqualDefault(&prefs_, 0)) << "the maximum IRE is not compared";
  EXPECT_TRUE(prefs_.copySound);
  EXPECT_EQ(prefs_.outputFolderOption, 3);
}

// Damaged stored values: each falls back to its default, never reaches the record.
TEST_F(AppPrefs, DamagedStoredValuesGiveTheirDefaults) {
  struct Case {
    const char *name;
    CFStringRef key;
    CFPropertyListRef value;
  };
  SInt32 tooHigh = 5000, tooLow = -1, badOption = 7, zero = 0;
  PL_CFScoped<CFNumberRef> n5000(CFNumberCreate(nullptr, kCFNumberSInt32Type, &tooHigh));
  PL_CFScoped<CFNumberRef> nNeg(CFNumberCreate(nullptr, kCFNumberSInt32Type, &tooLow));
  PL_CFScoped<CFNumberRef> n7(CFNumberCreate(nullptr, kCFNumberSInt32Type, &badOption));
  PL_CFScoped<CFNumberRef> n0(CFNumberCreate(nullptr, kCFNumberSInt32Type, &zero));
  const Case cases[] = {
      {"maximum IRE far too high", CFSTR("Max IRE"), n5000.get()},
      {"negative maximum IRE", CFSTR("Max IRE"), nNeg.get()},
      {"maximum IRE as text", CFSTR("Max IRE"), CFSTR("110")},
      {"output folder option out of range", CFSTR("Way to Choose Output Folder"), n7.get()},
      {"output folder option 0", CFSTR("Way to Choose Output Folder"), n0.get()},
      {"success sound as a number", CFSTR("Success sound"), n7.get()},
      {"empty success sound", CFSTR("Success sound"), CFSTR("")},
      {"copy sound as a number", CFSTR("Copy sound"), n0.get()},
      {"previous folder as text", CFSTR("Previous Output Folder"), CFSTR("/nowhere")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    StoreAppPrefsWith(c.key, c.value);
    BZ_GetAppPrefs(&prefs_);
    EXPECT_EQ(prefs_.maxIRE, 120);
    EXPECT_EQ(prefs_.outputFolderOption, 3);
    ASSERT_NE(prefs_.successSound, nullptr);
    EXPECT_EQ(Text(prefs_.successSound), "Hero");
    EXPECT_TRUE(prefs_.copySound);
    EXPECT_TRUE(bz_test::IsZeroRef(prefs_.prevOutputFolder));
    Release(prefs_);
  }
  // A stored value that is no dictionary at all.
  Store(kBZ_AppPrefsKey, CFSTR("garbage"));
  BZ_GetAppPrefs(&prefs_);
  EXPECT_TRUE(BZ_AppPrefsEqualDefault(&prefs_, 0));
}

TEST_F(AppPrefs, EqualDefaultComparesOnlyTheTabsGroup) {
  struct Case {
    const char *name;
    void (*change)(BZ_AppPrefs *);
    bool equal[4];  // tabs 0 to 3
  };
  const Case cases[] = {
      {"copy sound", [](BZ_AppPrefs *p) { p->copySound = false; }, {false, false, true, true}},
      {"anamorphic", [](BZ_AppPrefs *p) { p->anamorphic1080 = true; }, {false, false, true, true}},
      {"sound", [](BZ_AppPrefs *p) { p->successSound = CFSTR("Ping"); }, {false, false, true, true}},
      {"maximum IRE", [](BZ_AppPrefs *p) { p->maxIRE = 100; }, {true, true, true, true}},
      {"sanity check", [](BZ_AppPrefs *p) { p->yuvSanityCheck = true; }, {false, true, false, true}},
      {"gamma 2.2", [](BZ_AppPrefs *p) { p->alwaysGamma22 = true; }, {false, true, false, true}},
      {"output folder", [](BZ_AppPrefs *p) { p->outputFolderOption = 1; }, {false, true, true, false}},
      // Any non-zero byte is true.
      {"copy sound stored as 2", [](BZ_AppPrefs *p) { p->copySound = 2; }, {true, true, true, true}},
  };
  for (const Case &c : cases) {
    BZ_AppPrefs prefs{};
    BZ_MakeDefaultAppPrefs(&prefs);
    CFStringRef sound = prefs.successSound;
    c.change(&prefs);
    for (SInt32 tab = 0; tab < 4; ++tab)
      EXPECT_EQ(bool(BZ_AppPrefsEqualDefault(&prefs, tab)), c.equal[tab]) << c.name << ", tab " << tab;
    CFRelease(sound);
  }
}

// The project preferences as an older version stored them: the logo mask's corner as a Boolean.
void StoreOldProjectPrefs(bool maskAtTopLeft) {
  PL_CFScoped<CFMutableDictionaryRef> logo(CF_DictCreateMut());
  CF_AddBooleanToDict(logo, CFSTR("Mask at top left"), maskAtTopLeft);
  CF_AddSInt32ToDict(logo, CFSTR("Mode"), 2);
  PL_CFScoped<CFMutableDictionaryRef> cleaning(CF_DictCreateMut());
  CFDictionarySetValue(cleaning, CFSTR("Remove Logo"), logo.get());
  PL_CFScoped<CFMutableDictionaryRef> project(CF_DictCreateMut());
  CFDictionarySetValue(project, CFSTR("Cleaning Prefs"), cleaning.get());
  CFPreferencesSetAppValue(kBZ_ProjectPrefsKey, project.get(), kCFPreferencesCurrentApplication);
}

// The stored mask corner: true and the number when it is a number, false when it is not.
bool StoredMaskCorner(SInt32 *corner) {
  PL_CFScoped<CFPropertyListRef> project(
      CFPreferencesCopyAppValue(kBZ_ProjectPrefsKey, kCFPreferencesCurrentApplication));
  if (project.get() == nullptr) return false;
  auto cleaning = static_cast<CFDictionaryRef>(
      CFDictionaryGetValue(static_cast<CFDictionaryRef>(project.get()), CFSTR("Cleaning Prefs")));
  auto logo = static_cast<CFDictionaryRef>(CFDictionaryGetValue(cleaning, CFSTR("Remove Logo")));
  SInt32 mode = 0;
  EXPECT_TRUE(CF_GetSInt32FromDict(logo, CFSTR("Mode"), &mode) && mode == 2) << "the other settings stay";
  const void *value = CFDictionaryGetValue(logo, CFSTR("Mask at top left"));
  if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) return false;
  return CF_GetSInt32FromDict(logo, CFSTR("Mask at top left"), corner);
}

TEST_F(AppPrefs, FirstStartOfThisVersionTurnsTheMaskCornerIntoAnAnchor) {
  for (bool topLeft : {true, false}) {
    PL_CFPreferencesForgetAll();
    BZ_SaveAppPrefs(&prefs_);
    Store(kBZ_VersionKey, nullptr);
    StoreOldProjectPrefs(topLeft);
    BZ_FixPreferences();
    SInt32 corner = -1;
    ASSERT_TRUE(StoredMaskCorner(&corner));
    EXPECT_EQ(corner, topLeft ? 0 : 3);
  }
}

TEST_F(AppPrefs, MigrationLeavesPreferencesAloneOnceAVersionIsStoredOrWithoutAppPrefs) {
  SInt32 version = 3;
  PL_CFScoped<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &version));
  BZ_SaveAppPrefs(&prefs_);
  Store(kBZ_VersionKey, number.get());
  StoreOldProjectPrefs(true);
  BZ_FixPreferences();
  SInt32 corner = -1;
  EXPECT_FALSE(StoredMaskCorner(&corner)) << "a later start changes nothing";

  PL_CFPreferencesForgetAll();
  StoreOldProjectPrefs(true);  // no "App Prefs": a first start ever
  BZ_FixPreferences();
  EXPECT_FALSE(StoredMaskCorner(&corner));

  // Missing parts change nothing and do not crash.
  PL_CFPreferencesForgetAll();
  BZ_SaveAppPrefs(&prefs_);
  Store(kBZ_ProjectPrefsKey, CFSTR("not a dictionary"));
  BZ_FixPreferences();
  PL_CFScoped<CFPropertyListRef> project(
      CFPreferencesCopyAppValue(kBZ_ProjectPrefsKey, kCFPreferencesCurrentApplication));
  EXPECT_TRUE(CFEqual(project.get(), CFSTR("not a dictionary")));
}

TEST_F(AppPrefs, LogAliasKeepsItsBytes) {
  AliasHandle none = reinterpret_cast<AliasHandle>(1);
  BZ_GetLogAlias(&none);
  EXPECT_EQ(none, nullptr);
  const char bytes[] = "alias bytes";
  Handle h = NewHandle(sizeof bytes);
  ASSERT_NE(h, nullptr);
  std::memcpy(*h, bytes, sizeof bytes);
  BZ_SaveLogAlias(reinterpret_cast<AliasHandle>(h));
  DisposeHandle(h);
  AliasHandle read = nullptr;
  BZ_GetLogAlias(&read);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(GetHandleSize(reinterpret_cast<Handle>(read)), Size(sizeof bytes));
  EXPECT_EQ(std::memcmp(*reinterpret_cast<Handle>(read), bytes, sizeof bytes), 0);
  DisposeHandle(reinterpret_cast<Handle>(read));
}

}  // namespace
