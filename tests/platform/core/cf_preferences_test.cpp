// The preferences stand-in: values round-trip through the domain's file, damaged files give defaults and
// are kept aside, failures to write are reported.
#include "platform/core/cf_preferences.h"

#include "platform/core/core_foundation.h"
#include "platform/core/mac_errors.h"
#include "support/cf_check.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

namespace {

using bz_test::Exists;
using bz_test::ReadText;
using bz_test::WriteText;

// Every test gets its own home, and no domain survives from another test.
class PreferencesTest : public ::testing::Test {
 protected:
  PreferencesTest() : home_(dir_.path()) { PL_CFPreferencesForgetAll(); }
  ~PreferencesTest() override { PL_CFPreferencesForgetAll(); }

  std::string PrefsPath() const { return dir_.path() + "/.config/brizel/org.brizel.Brizel.plist"; }

  bz_test::TempDir dir_;
  bz_test::FakeHome home_;
};

CFNumberRef MakeNumber(CFNumberType type, const void *value) { return CFNumberCreate(nullptr, type, value); }

TEST_F(PreferencesTest, ValuesRoundTripThroughTheFile) {
  const SInt32 negative = -123456;
  const SInt64 big = -(SInt64(1) << 40);
  const Float64 real = -0.1;
  const Float32 single = 2.5f;
  PL_CFScoped<CFNumberRef> n1(MakeNumber(kCFNumberSInt32Type, &negative));
  PL_CFScoped<CFNumberRef> n2(MakeNumber(kCFNumberSInt64Type, &big));
  PL_CFScoped<CFNumberRef> n3(MakeNumber(kCFNumberFloat64Type, &real));
  PL_CFScoped<CFNumberRef> n4(MakeNumber(kCFNumberFloat32Type, &single));
  const UInt8 bytes[] = {0, 1, 2, 255};
  PL_CFScoped<CFDataRef> data(CFDataCreate(nullptr, bytes, sizeof bytes));
  PL_CFScoped<CFMutableDictionaryRef> dict(
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  CFDictionarySetValue(dict, CFSTR("Negative"), n1);
  CFDictionarySetValue(dict, CFSTR("Flag"), kCFBooleanTrue);
  const void *elements[] = {n2.get(), n3.get(), CFSTR("Ünïcode")};
  PL_CFScoped<CFArrayRef> array(CFArrayCreate(nullptr, elements, 3, &kCFTypeArrayCallBacks));

  CFPreferencesSetAppValue(CFSTR("Dict"), dict, kCFPreferencesCurrentApplication);
  CFPreferencesSetAppValue(CFSTR("Array"), array, kCFPreferencesCurrentApplication);
  CFPreferencesSetAppValue(CFSTR("Data"), data, kCFPreferencesCurrentApplication);
  CFPreferencesSetAppValue(CFSTR("Single"), n4, kCFPreferencesCurrentApplication);
  // Later changes to the caller's dictionary do not reach the stored copy.
  CFDictionarySetValue(dict, CFSTR("Later"), kCFBooleanFalse);

  // In memory, numbers keep their own type.
  PL_CFScoped<CFDictionaryRef> inMemory(
      static_cast<CFDictionaryRef>(CFPreferencesCopyAppValue(CFSTR("Dict"), kCFPreferencesCurrentApplication)));
  ASSERT_NE(inMemory.get(), nullptr);
  EXPECT_FALSE(CFDictionaryContainsKey(inMemory, CFSTR("Later")));
  EXPECT_EQ(CFNumberGetType(static_cast<CFNumberRef>(CFDictionaryGetValue(inMemory, CFSTR("Negative")))),
            kCFNumberSInt32Type);

  ASSERT_TRUE(CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication));
  ASSERT_TRUE(Exists(PrefsPath()));
  struct stat st;
  ASSERT_EQ(stat((dir_.path() + "/.config/brizel").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u) << "the preferences folder is the user's alone";

  // A new start reads the file.
  PL_CFPreferencesForgetAll();
  PL_CFScoped<CFDictionaryRef> d(
      static_cast<CFDictionaryRef>(CFPreferencesCopyAppValue(CFSTR("Dict"), kCFPreferencesCurrentApplication)));
  ASSERT_NE(d.get(), nullptr);
  SInt32 readBack = 0;
  ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(d, CFSTR("Negative"))),
                               kCFNumberSInt32Type, &readBack));
  EXPECT_EQ(readBack, negative);
  EXPECT_EQ(CFDictionaryGetValue(d, CFSTR("Flag")), kCFBooleanTrue);
  PL_CFScoped<CFPropertyListRef> a(CFPreferencesCopyAppValue(CFSTR("Array"), kCFPreferencesCurrentApplication));
  EXPECT_TRUE(CFEqual(a, array));
  PL_CFScoped<CFPropertyListRef> b(CFPreferencesCopyAppValue(CFSTR("Data"), kCFPreferencesCurrentApplication));
  EXPECT_TRUE(CFEqual(b, data));
  PL_CFScoped<CFNumberRef> s(
      static_cast<CFNumberRef>(CFPreferencesCopyAppValue(CFSTR("Single"), kCFPreferencesCurrentApplication)));
  Float32 singleBack = 0;
  ASSERT_TRUE(CFNumberGetValue(s, kCFNumberFloat32Type, &singleBack));
  EXPECT_EQ(singleBack, single);
}

TEST_F(PreferencesTest, RemovingAndRefusingValues) {
  CFPreferencesSetAppValue(CFSTR("Key"), CFSTR("value"), kCFPreferencesCurrentApplication);
  // A value that is not a property list is not stored and does not replace the old one.
  PL_CFScoped<CFURLRef> url(PL_CFURLCreateWithPath("/tmp", true));
  testing::internal::CaptureStderr();
  CFPreferencesSetAppValue(CFSTR("Key"), url, kCFPreferencesCurrentApplication);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Key"), std::string::npos);
  PL_CFScoped<CFPropertyListRef> v(CFPreferencesCopyAppValue(CFSTR("Key"), kCFPreferencesCurrentApplication));
  EXPECT_TRUE(CFEqual(v, CFSTR("value")));

  CFPreferencesSetAppValue(CFSTR("Key"), nullptr, kCFPreferencesCurrentApplication);
  EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("Key"), kCFPreferencesCurrentApplication), nullptr);
  ASSERT_TRUE(CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication));
  PL_CFPreferencesForgetAll();
  EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("Key"), kCFPreferencesCurrentApplication), nullptr);
  EXPECT_EQ(CFPreferencesCopyAppValue(nullptr, kCFPreferencesCurrentApplication), nullptr);
}

TEST_F(PreferencesTest, DomainsAreSeparateFiles) {
  CFPreferencesSetAppValue(CFSTR("Key"), CFSTR("app"), kCFPreferencesCurrentApplication);
  CFPreferencesSetAppValue(CFSTR("Key"), CFSTR("other"), CFSTR("org.example.other"));
  ASSERT_TRUE(CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication));
  ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR("org.example.other")));
  EXPECT_TRUE(Exists(dir_.path() + "/.config/brizel/org.example.other.plist"));
  // A domain name cannot reach outside the Preferences folder.
  EXPECT_EQ(PL_CFPreferencesFilePath(CFSTR("../x")), dir_.path() + "/.config/brizel/_.._x.plist");
  PL_CFPreferencesForgetAll();
  PL_CFScoped<CFPropertyListRef> v(CFPreferencesCopyAppValue(CFSTR("Key"), CFSTR("org.example.other")));
  EXPECT_TRUE(CFEqual(v, CFSTR("other")));
}

// Damaged files of every kind: the defaults are used, the file is kept aside unchanged, the problem is
// reported once, and the next synchronisation writes a sound file.
TEST_F(PreferencesTest, DamagedFileIsKeptAsideAndDefaultsAreUsed) {
  const char *const kDamaged[] = {
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>A</key><integer>1</integer>",  // truncated
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><integer>1</integer></array></plist>",  // not a dict
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>A</key><integer>x1</integer></dict></plist>",
      "bplist00\x01\x02",  // another format
      "",                  // empty
  };
  for (const char *text : kDamaged) {
    SCOPED_TRACE(text);
    PL_CFPreferencesForgetAll();
    std::remove((PrefsPath() + ".damaged").c_str());
    mkdir((dir_.path() + "/.config").c_str(), 0700);
    mkdir((dir_.path() + "/.config/brizel").c_str(), 0700);
    WriteText(PrefsPath(), text);

    testing::internal::CaptureStderr();
    EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("A"), kCFPreferencesCurrentApplication), nullptr);
    EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("B"), kCFPreferencesCurrentApplication), nullptr);
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find(".damaged"), std::string::npos) << report;
    EXPECT_EQ(report.find(".damaged"), report.rfind(".damaged")) << "reported once: " << report;
    EXPECT_FALSE(Exists(PrefsPath()));
    EXPECT_EQ(ReadText(PrefsPath() + ".damaged"), text);

    CFPreferencesSetAppValue(CFSTR("A"), kCFBooleanTrue, kCFPreferencesCurrentApplication);
    ASSERT_TRUE(CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication));
    PL_CFPreferencesForgetAll();
    PL_CFScoped<CFPropertyListRef> v(CFPreferencesCopyAppValue(CFSTR("A"), kCFPreferencesCurrentApplication));
    EXPECT_EQ(v.get(), kCFBooleanTrue);
  }
}

TEST_F(PreferencesTest, WriteFailureIsReportedAndChangesStay) {
  // A file where the Preferences folder should be: nothing can be written.
  mkdir((dir_.path() + "/.config").c_str(), 0700);
  WriteText(dir_.path() + "/.config/brizel", "in the way");
  CFPreferencesSetAppValue(CFSTR("Key"), CFSTR("kept"), kCFPreferencesCurrentApplication);
  EXPECT_FALSE(CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication));
  PL_CFScoped<CFPropertyListRef> v(CFPreferencesCopyAppValue(CFSTR("Key"), kCFPreferencesCurrentApplication));
  EXPECT_TRUE(CFEqual(v, CFSTR("kept")));
  EXPECT_EQ(ReadText(dir_.path() + "/.config/brizel"), "in the way");
}

}  // namespace
