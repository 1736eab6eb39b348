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

#include "general/file_layer.h"
#include "platform/ui/file_choosers.h"
#include "support/gui_driver.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

std::string gSavePath;
std::string gOffered;
OSStatus AnswerSave(const PL_PutFileRequest *request, std::string *path) {
  gOffered = bz_test::CFText(request->fileName);
  if (gSavePath.empty()) return userCanceledErr;
  *path = gSavePath;
  return noErr;
}

class PutFile : public ::testing::Test {
 protected:
  void SetUp() override { PL_SetPutFileProc(AnswerSave); }
  void TearDown() override { PL_SetPutFileProc(nullptr); }
  bz_test::TempDir dir_;
};

TEST_F(PutFile, MissingResultsAreRefusedBeforeAnythingIsShown) {
  gOffered = "untouched";
  FSRef parent = bz_test::RefFor(dir_.path());
  HFSUniStr255 name = bz_test::Name("a.mov");
  EXPECT_EQ(NS_PutFile(nullptr, nullptr, nullptr, nullptr, nullptr, true, nullptr, &parent, &name, nullptr, nullptr),
            paramErr);
  EXPECT_EQ(NS_PutFile(nullptr, nullptr, nullptr, nullptr, nullptr, false, nullptr, &parent, nullptr, nullptr, nullptr),
            paramErr);
  EXPECT_EQ(NS_PutFile(nullptr, nullptr, nullptr, nullptr, nullptr, false, nullptr, nullptr, &name, nullptr, nullptr),
            paramErr);
  EXPECT_EQ(gOffered, "untouched");
}

TEST_F(PutFile, AnswersTheFolderTheNameAndWhetherAFileIsReplaced) {
  bz_test::WriteText(dir_.File("old.mov"), "old");
  struct Case {
    const char *chosen;
    bool mayDelete;
  } cases[] = {{"new.mov", false}, {"old.mov", true}};
  for (const Case &c : cases) {
    gSavePath = dir_.File(c.chosen);
    FSRef parent{};
    HFSUniStr255 name = bz_test::Name("offered.mov");
    Boolean mayDelete = !c.mayDelete;
    ASSERT_EQ(NS_PutFile(nullptr, nullptr, nullptr, CFSTR("Save it"), CFSTR("App"), false, &mayDelete, &parent, &name,
                         nullptr, nullptr),
              noErr)
        << c.chosen;
    EXPECT_EQ(gOffered, "offered.mov");
    EXPECT_EQ(bz_test::PathOf(parent), bz_test::PathOf(bz_test::RefFor(dir_.path()))) << c.chosen;
    EXPECT_EQ(bz_test::Utf8(name), c.chosen);
    EXPECT_EQ(bool(mayDelete), c.mayDelete) << c.chosen;
  }
  // The replaced file is still there: without `create` nothing is deleted.
  EXPECT_EQ(bz_test::ReadText(dir_.File("old.mov")), "old");
}

TEST_F(PutFile, CreatingReplacesTheExistingFileAndCancelClearsTheNewOne) {
  bz_test::WriteText(dir_.File("old.mov"), "old contents");
  gSavePath = dir_.File("old.mov");
  FSRef newFile{};
  Boolean mayDelete = false;
  ASSERT_EQ(NS_PutFile(nullptr, CFSTR("doc"), nullptr, nullptr, nullptr, true, &mayDelete, nullptr, nullptr, &newFile,
                       nullptr),
            noErr);
  EXPECT_EQ(gOffered, "doc");
  EXPECT_TRUE(mayDelete);
  EXPECT_EQ(bz_test::PathOf(newFile), bz_test::PathOf(bz_test::RefFor(dir_.File("old.mov"))));
  EXPECT_EQ(bz_test::ReadText(dir_.File("old.mov")), "");

  gSavePath = "";
  EXPECT_EQ(NS_PutFile(nullptr, nullptr, nullptr, nullptr, nullptr, true, nullptr, nullptr, nullptr, &newFile,
                       nullptr),
            userCanceledErr);
  EXPECT_TRUE(bz_test::IsZeroRef(newFile));
}

// The real dialog: it offers the name in the start folder and asks itself before replacing a file.
TEST_F(PutFile, TheQtDialogOffersTheNameAndConfirmsAReplacement) {
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
}

}  // namespace
