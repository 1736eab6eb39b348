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

// ---- Saving a file ----

namespace {

struct PutAnswer {
  std::string folder, name;
  bool replacing = false;
  OSStatus result = noErr;
  std::string suggested;
} gPut;

OSStatus AnswerPut(const PL_PutFileRequest *request, PL_PutFileAnswer *answer) {
  char name[256] = {};
  if (request->fileName != nullptr) CFStringGetCString(request->fileName, name, sizeof name, kCFStringEncodingUTF8);
  gPut.suggested = name;
  answer->folderPath = gPut.folder;
  answer->name = gPut.name;
  answer->replacing = gPut.replacing;
  return gPut.result;
}

TEST(ToolkitNavigationDialogs, PutFileCreatesReplacesAndCancels) {
  bz_test::TempDir dir;
  PL_SetPutFileProc(AnswerPut);
  FSRef parent{}, file{};
  HFSUniStr255 name{};
  Boolean mayDelete = true, hidden = true;
  EXPECT_EQ(paramErr, NS_PutFile(nullptr, nullptr, NS_DummyEventHandler, nullptr, nullptr, true, &mayDelete, &parent,
                                 &name, nullptr, &hidden));
  EXPECT_EQ(paramErr, NS_PutFile(nullptr, nullptr, NS_DummyEventHandler, nullptr, nullptr, false, &mayDelete, nullptr,
                                 &name, nullptr, &hidden));

  gPut = PutAnswer{dir.path(), "new.txt", false, noErr, ""};
  ASSERT_EQ(noErr, NS_PutFile(nullptr, CFSTR("Suggested"), NS_DummyEventHandler, CFSTR("msg"), CFSTR("app"), true,
                              &mayDelete, &parent, &name, &file, &hidden));
  EXPECT_EQ("Suggested", gPut.suggested);
  EXPECT_FALSE(mayDelete);
  EXPECT_TRUE(bz_test::Exists(dir.File("new.txt")));
  EXPECT_EQ(dir.File("new.txt"), bz_test::PathOf(file));
  EXPECT_EQ("new.txt", bz_test::Utf8(name));

  // An existing file is replaced only when the user confirmed it.
  bz_test::WriteText(dir.File("old.txt"), "keep me");
  gPut = PutAnswer{dir.path(), "old.txt", false, noErr, ""};
  EXPECT_EQ(dupFNErr, NS_PutFile(nullptr, nullptr, NS_DummyEventHandler, nullptr, nullptr, true, &mayDelete, &parent,
                                 &name, &file, &hidden));
  EXPECT_EQ("keep me", bz_test::ReadText(dir.File("old.txt")));
  gPut.replacing = true;
  ASSERT_EQ(noErr, NS_PutFile(nullptr, nullptr, NS_DummyEventHandler, nullptr, nullptr, true, &mayDelete, &parent,
                              &name, &file, &hidden));
  EXPECT_TRUE(mayDelete);
  EXPECT_EQ("", bz_test::ReadText(dir.File("old.txt")));

  gPut.result = userCanceledErr;
  EXPECT_EQ(userCanceledErr, NS_PutFile(nullptr, nullptr, NS_DummyEventHandler, nullptr, nullptr, true, &mayDelete,
                                        &parent, &name, &file, &hidden));
  EXPECT_TRUE(bz_test::IsZeroRef(file));
  PL_SetPutFileProc(nullptr);
  EXPECT_EQ(kNS_NoNavServicesErr, NS_PutFile(nullptr, nullptr, NS_DummyEventHandler, nullptr, nullptr, true, &mayDelete,
                                             &parent, &name, &file, &hidden));
}

}  // namespace
