// The main bundle: string tables (escapes, comments, damaged lines, fall-backs), Info.plist values and the
// version number, and resource look-up.
#include "platform/core/cf_bundle.h"

#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "support/cf_check.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace {

void WriteFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Points the main bundle at a small fixture folder for the test and back afterwards.
class BundleFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir(dir_.File("en.lproj").c_str(), 0755);
    mkdir(dir_.File("help").c_str(), 0755);
    WriteFile(dir_.File("en.lproj/Localizable.strings"),
              "/* Test table. */\n"
              "\"GL DiskFullErr\" = \"The disk is full.\";\n"
              "// a line comment\n"
              "\"Escapes\" = \"a\\nb\\t\\\"q\\\" back\\\\slash \\U2026\";\n"
              "\"Broken\" = \"no semicolon\"\n"
              "\"After broken\" = \"still read\";\n"
              "  \"Spaced\"   =   \"x\"  ;  \"Same line\" = \"y\";\n"
              "\"Unicode caf\xC3\xA9\" = \"\xE2\x8C\x98 key\";\n"
              "\"Self\";\n");
    WriteFile(dir_.File("en.lproj/Other.strings"), "\"GL DiskFullErr\" = \"Other table\";\n");
    WriteFile(dir_.File("Info.plist"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>CFBundleIdentifier</key><string>org.example.test</string>"
              "<key>CFBundleVersion</key><string>1.2.3</string>"
              "<key>CFBundleShortVersionString</key><string>1.2</string></dict></plist>\n");
    WriteFile(dir_.File("help/General.html"), "<html></html>");
    WriteFile(dir_.File("en.lproj/Local.txt"), "x");
    PL_SetMainBundleDirectory(dir_.path().c_str());
  }
  void TearDown() override { PL_SetMainBundleDirectory(nullptr); }

  bz_test::TempDir dir_;
};

std::string Lookup(CFStringRef key, CFStringRef value, CFStringRef table) {
  CFStringRef s = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, value, table);
  std::string out = s != nullptr ? bz_test::CFText(s) : "(null)";
  CFRelease(s);
  return out;
}

TEST_F(BundleFixture, LocalizedStringLookup) {
  struct Case {
    CFStringRef key;
    CFStringRef value;
    CFStringRef table;
    const char *expected;
  };
  const Case cases[] = {
      {CFSTR("GL DiskFullErr"), CFSTR("GL DiskFullErr"), nullptr, "The disk is full."},
      {CFSTR("GL DiskFullErr"), nullptr, CFSTR("Other"), "Other table"},
      {CFSTR("Escapes"), nullptr, nullptr, "a\nb\t\"q\" back\\slash \xE2\x80\xA6"},
      {CFSTR("After broken"), nullptr, nullptr, "still read"},
      {CFSTR("Broken"), nullptr, nullptr, "Broken"},
      {CFSTR("Spaced"), nullptr, nullptr, "x"},
      {CFSTR("Same line"), nullptr, nullptr, "y"},
      {CFSTR("Unicode caf\xC3\xA9"), nullptr, nullptr, "\xE2\x8C\x98 key"},
      {CFSTR("Self"), nullptr, nullptr, "Self"},
      // Missing keys: the value when it has text, else the key itself.
      {CFSTR("GL NoSuchKey"), CFSTR("GL NoSuchKey"), nullptr, "GL NoSuchKey"},
      {CFSTR("GL NoSuchKey"), CFSTR("Fallback"), nullptr, "Fallback"},
      {CFSTR("GL NoSuchKey"), CFSTR(""), nullptr, "GL NoSuchKey"},
      {CFSTR("GL NoSuchKey"), nullptr, CFSTR("NoSuchTable"), "GL NoSuchKey"},
  };
  for (const Case &c : cases) EXPECT_EQ(Lookup(c.key, c.value, c.table), c.expected);
}

TEST_F(BundleFixture, InfoDictionaryAndVersion) {
  CFBundleRef main = CFBundleGetMainBundle();
  EXPECT_TRUE(CFEqual(CFBundleGetIdentifier(main), CFSTR("org.example.test")));
  EXPECT_TRUE(CFEqual(CFBundleGetValueForInfoDictionaryKey(main, CFSTR("CFBundleShortVersionString")), CFSTR("1.2")));
  EXPECT_EQ(CFBundleGetValueForInfoDictionaryKey(main, CFSTR("Missing")), nullptr);
  EXPECT_EQ(CFBundleGetVersionNumber(main), 0x01238000u);
}

TEST(PlatformCFBundle, VersionNumbersPack) {
  struct Case {
    const char *version;
    UInt32 packed;
  };
  const Case cases[] = {{"1.2.3", 0x01238000u}, {"10.4.9", 0x10498000u}, {"0.1.0", 0x00108000u},
                        {"2", 0x02008000u},     {"1.0b4", 0x01006004u},  {"3.1d12", 0x0310200Cu},
                        {"1.0fc2", 0x01008002u}, {"abc", 0u},           {"1.2.3x", 0u}, {"1.0b300", 0u}};
  bz_test::TempDir dir;
  for (const Case &c : cases) {
    WriteFile(dir.File("Info.plist"), std::string("<plist version=\"1.0\"><dict><key>CFBundleVersion</key><string>") +
                                          c.version + "</string></dict></plist>");
    PL_SetMainBundleDirectory(dir.path().c_str());
    EXPECT_EQ(CFBundleGetVersionNumber(CFBundleGetMainBundle()), c.packed) << c.version;
  }
  PL_SetMainBundleDirectory(nullptr);
}

TEST_F(BundleFixture, ResourceURLs) {
  CFBundleRef main = CFBundleGetMainBundle();
  CFURLRef page = CFBundleCopyResourceURL(main, CFSTR("General"), CFSTR("html"), CFSTR("help"));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(PL_CFURLGetPath(page), dir_.File("help/General.html"));
  CFRelease(page);
  CFURLRef local = CFBundleCopyResourceURL(main, CFSTR("Local.txt"), nullptr, nullptr);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(PL_CFURLGetPath(local), dir_.File("en.lproj/Local.txt"));
  CFRelease(local);
  EXPECT_EQ(CFBundleCopyResourceURL(main, CFSTR("Dock tile mask"), CFSTR("png"), nullptr), nullptr);
  EXPECT_EQ(CFBundleCopyResourceURL(main, CFSTR("../Info"), CFSTR("plist"), CFSTR("help")), nullptr);
}

TEST(PlatformCFBundle, MissingResourcesFolderStillAnswers) {
  PL_SetMainBundleDirectory("/nonexistent/folder");
  CFStringRef s = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("GL IOErr"), CFSTR("GL IOErr"), nullptr);
  EXPECT_TRUE(CFEqual(s, CFSTR("GL IOErr")));
  CFRelease(s);
  EXPECT_EQ(CFBundleGetVersionNumber(CFBundleGetMainBundle()), 0u);
  EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(CFBundleGetMainBundle())), 0);
  PL_SetMainBundleDirectory(nullptr);
}

TEST(PlatformCFBundle, TheProgramsOwnResourcesAreFound) {
  // The real resources folder: its Info.plist names the program and its version.
  CFBundleRef main = CFBundleGetMainBundle();
  EXPECT_NE(PL_MainBundleDirectory(), "");
  EXPECT_NE(CFBundleGetIdentifier(main), nullptr);
  EXPECT_NE(CFBundleGetVersionNumber(main), 0u);
}

}  // namespace
