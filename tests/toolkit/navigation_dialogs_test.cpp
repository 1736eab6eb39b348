// The navigation dialogs' error keys.
#include "toolkit/navigation_dialogs.h"

#include "support/cf_check.h"

#include <gtest/gtest.h>

namespace {

TEST(ToolkitNavigationDialogs, ErrorKeyTable) {
  struct Case {
    OSStatus error;
    const char *key;
  };
  const Case cases[] = {{24000, "GL UnknownErr"},
                        {24001, "NS NoNavServicesErr"},
                        {24002, "NS NoEventProcErr"},
                        {24003, "GL UnknownErr"},
                        {22000, "GL UnknownErr"}};
  for (const Case &c : cases) {
    CFStringRef key = nullptr;
    NS_GetLibErrorKey(c.error, &key);
    EXPECT_EQ(bz_test::CFText(key), c.key) << c.error;
  }
}

}  // namespace

// ---- Choosing a file ----

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <cstring>
#include <string>

namespace {

std::string gChosen;
OSStatus gResult = noErr;
CFStringRef gMessage = nullptr;

OSStatus Answer(const PL_ChooseFileRequest *request, std::string *path) {
  gMessage = request->message;
  *path = gChosen;
  return gResult;
}

Boolean OnlyTextFiles(AEDesc *item, void *, NavCallBackUserData, NavFilterModes) {
  FSRef ref;
  if (AEGetDescData(item, &ref, sizeof(ref)) != noErr) return false;
  std::string path = bz_test::PathOf(ref);
  return path.size() > 4 && path.compare(path.size() - 4, 4, ".txt") == 0;
}

TEST(ToolkitNavigationDialogs, SingleFileChooserAnswers) {
  bz_test::TempDir dir;
  bz_test::WriteText(dir.File("a.txt"), "a");
  FSRef file;
  std::memset(&file, 0xAB, sizeof(file));
  PL_SetChooseFileProc(nullptr);
  EXPECT_EQ(kNS_NoEventProcErr, NS_GetSingleFileFromUser(nullptr, nullptr, nullptr, nullptr, nullptr, &file));
  EXPECT_TRUE(bz_test::IsZeroRef(file));
  EXPECT_EQ(kNS_NoNavServicesErr,
            NS_GetSingleFileFromUser(NS_DummyEventHandler, nullptr, nullptr, nullptr, nullptr, &file));

  PL_SetChooseFileProc(Answer);
  struct Case {
    std::string chosen;
    OSStatus result;
    OSStatus expected;
  };
  const Case cases[] = {{dir.File("a.txt"), noErr, noErr},
                        {"", userCanceledErr, userCanceledErr},
                        {dir.File("gone.txt"), noErr, fnfErr},
                        {dir.path(), noErr, notAFileErr}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.chosen);
    gChosen = c.chosen;
    gResult = c.result;
    EXPECT_EQ(c.expected, NS_GetSingleFileFromUser(NS_DummyEventHandler, nullptr, nullptr, nullptr,
                                                   CFSTR("Pick one"), &file));
    if (c.expected == noErr) {
      EXPECT_EQ(c.chosen, bz_test::PathOf(file));
    } else {
      EXPECT_TRUE(bz_test::IsZeroRef(file));
    }
  }
  EXPECT_EQ(CFSTR("Pick one"), gMessage);
  PL_SetChooseFileProc(nullptr);

  EXPECT_TRUE(PL_NavFilterShowsPath(OnlyTextFiles, nullptr, dir.File("a.txt").c_str()));
  EXPECT_FALSE(PL_NavFilterShowsPath(OnlyTextFiles, nullptr, dir.path().c_str()));
  EXPECT_FALSE(PL_NavFilterShowsPath(OnlyTextFiles, nullptr, dir.File("gone.txt").c_str()));
}

TEST(ToolkitNavigationDialogs, FileObjectFromDescriptors) {
  bz_test::TempDir dir;
  bz_test::WriteText(dir.File("doc.txt"), "d");
  FSRef ref = bz_test::RefFor(dir.File("doc.txt"));
  AEDesc fsref{}, url{}, text{};
  ASSERT_EQ(noErr, AECreateDesc(typeFSRef, &ref, sizeof(ref), &fsref));
  ASSERT_EQ(noErr, AECoerceDesc(&fsref, typeFileURL, &url));
  ASSERT_EQ(noErr, AECreateDesc(typeChar, "doc", 3, &text));
  FSRef out;
  ASSERT_EQ(noErr, NS_GetFileObjectFromAEDesc(&fsref, &out));
  EXPECT_EQ(dir.File("doc.txt"), bz_test::PathOf(out));
  ASSERT_EQ(noErr, NS_GetFileObjectFromAEDesc(&url, &out));
  EXPECT_EQ(dir.File("doc.txt"), bz_test::PathOf(out));
  EXPECT_EQ(errAECoercionFail, NS_GetFileObjectFromAEDesc(&text, &out));
  // A short 'fsrf' descriptor is refused, not read past its end.
  AEDesc shortRef{};
  ASSERT_EQ(noErr, AECreateDesc(typeFSRef, &ref, 10, &shortRef));
  EXPECT_EQ(errAECoercionFail, NS_GetFileObjectFromAEDesc(&shortRef, &out));
  for (AEDesc *d : {&fsref, &url, &text, &shortRef}) AEDisposeDesc(d);
}

}  // namespace
