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

// ---- The save chooser through the real dialog ----

#include "general/file_layer.h"
#include "platform/ui/file_choosers.h"
#include "support/gui_driver.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

// The real dialog: it offers the name in the start folder and asks itself before replacing a file.
TEST(PutFileDialog, TheQtDialogOffersTheNameAndConfirmsAReplacement) {
  bz_test::TempDir dir_;
  TD_App();
  PL_InstallQtFileChooser();
  bz_test::WriteText(dir_.File("taken.mov"), "keep");
  std::string offered;
  bool confirmed = false;
  // Once the dialog runs: read what it offers, type the taken name, accept, and agree to replace.
  QTimer::singleShot(50, [&] {
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit");
    if (edit != nullptr) offered = edit->text().toStdString();
    if (edit != nullptr) edit->setText("taken.mov");
    QTimer::singleShot(50, [&] {
      for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box != nullptr && box->isVisible()) {
          confirmed = true;
          box->button(QMessageBox::Yes)->click();
        }
    });
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  });
  FSRef parent = bz_test::RefFor(dir_.path());
  HFSUniStr255 name = bz_test::Name("suggested.mov");
  Boolean mayDelete = false;
  ASSERT_EQ(NS_PutFile(nullptr, nullptr, nullptr, CFSTR("Choose the result"), CFSTR("App"), false, &mayDelete, &parent,
                       &name, nullptr, nullptr),
            noErr);
  EXPECT_EQ(offered, "suggested.mov");
  EXPECT_TRUE(confirmed);
  EXPECT_EQ(bz_test::Utf8(name), "taken.mov");
  EXPECT_TRUE(mayDelete);
  PL_SetChooseFileProc(nullptr);
  PL_SetPutFileProc(nullptr);
}

}  // namespace

// ---- Folders, volumes, several files, aliases, filters and the questions about changes ----

#include "platform/core/aliases.h"
#include "platform/core/memory.h"
#include "platform/core/standard_alerts.h"

#include <sys/stat.h>

namespace {

std::string gChooseAnswer;
SInt16 gAskedKind = -1;
OSStatus AnswerChoose(const PL_ChooseFileRequest *request, std::string *path) {
  gAskedKind = request->kind;
  if (gChooseAnswer.empty()) return userCanceledErr;
  *path = gChooseAnswer;
  return noErr;
}

class MoreChoosers : public ::testing::Test {
 protected:
  void SetUp() override {
    PL_SetChooseFileProc(AnswerChoose);
    ASSERT_EQ(::mkdir(dir_.File("folder").c_str(), 0755), 0);
    bz_test::WriteText(dir_.File("a.mov"), "a");
    bz_test::WriteText(dir_.File("b.mov"), "b");
  }
  void TearDown() override { PL_SetChooseFileProc(nullptr); }
  bz_test::TempDir dir_;
};

TEST_F(MoreChoosers, FoldersAndVolumesAreWhatTheyClaim) {
  struct Case {
    const char *what;
    bool volume;
    std::string answer;
    OSStatus result;
  } cases[] = {
      {"a folder", false, dir_.File("folder"), noErr},
      {"a file for a folder", false, dir_.File("a.mov"), dirNFErr},
      {"cancelled", false, "", userCanceledErr},
      {"the root volume", true, "/", noErr},
      {"a folder inside a volume", true, dir_.File("folder"), nsvErr},
  };
  for (const Case &c : cases) {
    gChooseAnswer = c.answer;
    FSRef chosen = bz_test::RefFor(dir_.path());
    const OSStatus err = c.volume ? NS_GetSingleVolumeFromUser(nullptr, CFSTR("Pick"), &chosen)
                                  : NS_GetSingleFolderFromUser(NS_DummyEventHandler, CFSTR("Pick"), &chosen);
    EXPECT_EQ(err, c.result) << c.what;
    EXPECT_EQ(gAskedKind, c.volume ? kPL_ChooseVolume : kPL_ChooseFolder) << c.what;
    if (c.result == noErr)
      EXPECT_EQ(bz_test::PathOf(chosen), bz_test::PathOf(bz_test::RefFor(c.answer))) << c.what;
    else
      EXPECT_TRUE(bz_test::IsZeroRef(chosen)) << c.what;
  }
  FSRef none{};
  EXPECT_EQ(NS_GetSingleFolderFromUser(nullptr, nullptr, &none), kNS_NoEventProcErr);
}

TEST_F(MoreChoosers, SeveralFilesComeAsAReplyThatCopiesWhole) {
  gChooseAnswer = dir_.File("a.mov") + "\n" + dir_.File("b.mov") + "\n";
  NavReplyRecord reply{};
  ASSERT_EQ(NS_GetFilesFromUser(NS_DummyEventHandler, nullptr, nullptr, nullptr, nullptr, &reply), noErr);
  EXPECT_EQ(gAskedKind, kPL_ChooseFiles);
  EXPECT_TRUE(reply.validRecord);
  NavReplyRecord copy{};
  ASSERT_EQ(NS_CopyReply(&reply, &copy), noErr);
  NavDisposeReply(&reply);
  long count = 0;
  ASSERT_EQ(AECountItems(&copy.selection, &count), noErr);
  ASSERT_EQ(count, 2);
  FSRef second{};
  ASSERT_EQ(NS_GetNthFileObjectFromAEDescList(&copy.selection, 2, &second), noErr);
  EXPECT_EQ(bz_test::PathOf(second), bz_test::PathOf(bz_test::RefFor(dir_.File("b.mov"))));
  NavDisposeReply(&copy);

  // One file as an alias that finds it again.
  gChooseAnswer = dir_.File("a.mov");
  AliasHandle alias = nullptr;
  ASSERT_EQ(NS_GetSingleFileDataRefFromUser(NS_DummyEventHandler, nullptr, nullptr, nullptr, nullptr, &alias), noErr);
  FSRef resolved{};
  Boolean changed = false;
  ASSERT_EQ(FSResolveAlias(nullptr, alias, &resolved, &changed), noErr);
  EXPECT_EQ(bz_test::PathOf(resolved), bz_test::PathOf(bz_test::RefFor(dir_.File("a.mov"))));
  DisposeHandle(reinterpret_cast<Handle>(alias));
}

TEST_F(MoreChoosers, FiltersShowFoldersAndTheFilesOfTheirKinds) {
  auto setType = [](const std::string &path, OSType type) {
    FSRef ref = bz_test::RefFor(path);
    FSCatalogInfo info{};
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
    reinterpret_cast<FileInfo *>(info.finderInfo)->fileType = type;
    ASSERT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), noErr);
  };
  bz_test::WriteText(dir_.File("tool"), "x");
  setType(dir_.File("tool"), 'APPL');
  setType(dir_.File("a.mov"), 'MooV');
  struct {
    SInt16 count;
    OSType types[2];
  } movies{2, {'MooV', 'MPEG'}};
  struct Case {
    const char *what;
    std::string path;  // "" for an item that is no file-system object
    bool appl, listed;
  } cases[] = {
      {"no file-system object", "", true, false},
      {"a folder", dir_.File("folder"), true, true},
      {"an application", dir_.File("tool"), true, false},
      {"a movie", dir_.File("a.mov"), false, true},
      {"a file of no listed kind", dir_.File("b.mov"), false, false},
  };
  for (const Case &c : cases) {
    AEDesc item{};
    if (c.path.empty()) {
      ASSERT_EQ(AECreateDesc(typeChar, "text", 4, &item), noErr);
    } else {
      FSRef ref = bz_test::RefFor(c.path);
      ASSERT_EQ(AECreateDesc(typeFSRef, &ref, sizeof ref, &item), noErr);
    }
    EXPECT_EQ(bool(NS_ApplOnlyFilter(&item, nullptr, nullptr, kNavFilteringBrowserList)), c.appl) << c.what;
    EXPECT_EQ(bool(NS_FileListFilter(&item, nullptr, &movies, kNavFilteringBrowserList)), c.listed) << c.what;
    AEDisposeDesc(&item);
  }
}

TEST(AskChanges, TheAnswersMapToActions) {
  const struct {
    DialogItemIndex button;
    bool revert;
    NavUserAction action;
  } cases[] = {{kAlertStdAlertOKButton, true, kNavUserActionSaveChanges},
               {kAlertStdAlertCancelButton, false, kNavUserActionCancel},
               {kAlertStdAlertOtherButton, false, kNavUserActionDontSaveChanges}};
  for (const auto &c : cases) {
    PL_SetNextAlertAnswer(c.button);
    Boolean revert = !c.revert;
    ASSERT_EQ(NS_AskDiscardChangesDialog(nullptr, CFStringCreateCopy(nullptr, CFSTR("App")), &revert), noErr);
    if (c.button != kAlertStdAlertOtherButton) {
      EXPECT_EQ(bool(revert), c.revert) << c.button;
    }
    PL_SetNextAlertAnswer(c.button);
    NavUserAction action = kNavUserActionNone;
    ASSERT_EQ(NS_AskSaveChangesDialog(nullptr, CFStringCreateCopy(nullptr, CFSTR("App")), &action), noErr);
    EXPECT_EQ(action, c.action) << c.button;
    ASSERT_NE(PL_GetLastRunAlert(), nullptr);
    EXPECT_NE(bz_test::CFText(PL_GetLastRunAlert()->message).find("save the changes"), std::string::npos);
  }
}

}  // namespace
