// Drops on the project dialog through synthesised Qt drag events, offscreen with movies made by ffmpeg: a
// movie dropped on the Input tab's source area opens as the source, a folder on the Output tab's target
// area becomes the result's folder, everything else is refused, and the target is marked highlighted only
// while a droppable drag is over it.
#include "dialog/movie_drop.h"

#include "dialog/open_dialog_fixture.h"

#include "app/status_window.h"

#include "platform/ui/drag_drop.h"
#include "support/movie_fixtures.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using bz_test::ShellQuote;

struct Files {
  bz_test::TempDir dir;
  std::string movie, second, soundOnly, still, text, folder;
};
Files *gFiles = nullptr;

bool Ffmpeg(const std::string &args) { return bz_test::RunCommand("ffmpeg -v error -y " + args) == 0; }

class MovieDrop : public OpenDialogTest {
 protected:
  static void SetUpTestSuite() {
    if (!bz_test::RequireFfmpeg()) return;
    gFiles = new Files;
    Files &f = *gFiles;
    const std::string uyvy = " -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy ";
    f.movie = f.dir.File("card.mov");
    f.second = f.dir.File("card two.mov");
    Ffmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=0.48" + uyvy + ShellQuote(f.movie));
    Ffmpeg("-f lavfi -i testsrc=s=32x32:r=25:d=0.2" + uyvy + ShellQuote(f.second));
    f.soundOnly = f.dir.File("tone.mov");
    Ffmpeg("-f lavfi -i sine=r=48000:d=0.5 -c:a pcm_s16be " + ShellQuote(f.soundOnly));
    f.still = f.dir.File("still.png");
    Ffmpeg("-f lavfi -i testsrc=s=64x48:r=1 -frames:v 1 " + ShellQuote(f.still));
    f.text = f.dir.File("notes.txt");
    bz_test::WriteText(f.text, "These are notes, not a movie.\n");
    f.folder = f.dir.File("results");
    std::filesystem::create_directory(f.folder);
  }
  static void TearDownTestSuite() {
    delete gFiles;
    gFiles = nullptr;
  }
  void SetUp() override {
    if (gFiles == nullptr) GTEST_SKIP() << "ffmpeg is missing";
    OpenDialogTest::SetUp();
  }

  QWidget *Window() { return PL_GetWindowWidget(window_); }
  // The middle of the item in the window widget's coordinates.
  QPoint Over(SInt32 item) { return W(item)->mapTo(Window(), W(item)->rect().center()); }
  QPoint Outside() { return QPoint(3, Window()->height() - 3); }
  static std::vector<QUrl> Urls(std::initializer_list<std::string> paths) {
    std::vector<QUrl> urls;
    for (const std::string &p : paths) urls.push_back(p.rfind("http", 0) == 0 ? QUrl(QString::fromStdString(p))
                                                                              : QUrl::fromLocalFile(QString::fromStdString(p)));
    return urls;
  }
  static QMimeData *Mime(const std::vector<QUrl> &urls) {
    auto *mime = new QMimeData;
    mime->setUrls(QList<QUrl>(urls.begin(), urls.end()));
    return mime;
  }
  void Enter(QMimeData *mime, QPoint at) {
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window(), &enter);
  }
  void Move(QMimeData *mime, QPoint at) {
    QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window(), &move);
  }
  void Leave() {
    QDragLeaveEvent leave;
    QApplication::sendEvent(Window(), &leave);
  }
  // A whole drag: in at the window's edge, over the point, dropped there; whether the drop was taken.
  // *action (optional) = what the sender is told was done.
  bool DropAt(const std::vector<QUrl> &urls, QPoint at, Qt::DropAction proposed = Qt::CopyAction,
              Qt::DropAction *action = nullptr) {
    std::unique_ptr<QMimeData> mime(Mime(urls));
    Enter(mime.get(), Outside());
    Move(mime.get(), at);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(proposed);
    QApplication::sendEvent(Window(), &drop);
    if (action != nullptr) *action = drop.dropAction();
    return drop.isAccepted();
  }
  DR_ReceiveData &Drag() { return gBZ.dlgData->receiveData; }
  std::string Source() { return bz_test::PathOf(Info().srcFileData[0].fileRef); }
};

TEST_F(MovieDrop, AMovieOnTheSourceAreaOpensAsTheSourceAndStaysWithItsSender) {
  // A sender that offers a move is told of a copy, so that it keeps its file.
  Qt::DropAction action = Qt::IgnoreAction;
  ASSERT_TRUE(DropAt(Urls({gFiles->movie}), Over(2020), Qt::MoveAction, &action));
  EXPECT_EQ(action, Qt::CopyAction);
  EXPECT_EQ(Source(), bz_test::PathOf(bz_test::RefFor(gFiles->movie)));
  EXPECT_EQ(Info().statMovInfo[0].numFrames, 12);
  EXPECT_NE(Info().dynMovieInfo.sourceMovie[0], nullptr);
  EXPECT_EQ(ItemText(2021).rfind("Source movie: \"card.mov\"", 0), 0u) << ItemText(2021);
  // The opening-movie status is over once the movie is open.
  EXPECT_FALSE(BZ_GetActualStatus()->openingMovie);
}

TEST_F(MovieDrop, OfSeveralItemsTheFirstUsableMovieIsTakenAndItemsWithoutAFileAreSkipped) {
  ASSERT_TRUE(DropAt(Urls({"https://example.org/clip.mov", gFiles->soundOnly, gFiles->still, gFiles->second,
                           gFiles->movie}),
                     Over(2020)));
  EXPECT_EQ(Source(), bz_test::PathOf(bz_test::RefFor(gFiles->second)));
  EXPECT_EQ(Info().statMovInfo[0].numFrames, 5);
}

TEST_F(MovieDrop, AFolderOnTheOutputTargetBecomesTheResultsFolderWithASuggestedName) {
  TD_ClickTab(W(kBZ_MainTabItem), 3);
  ASSERT_TRUE(DropAt(Urls({gFiles->movie, gFiles->folder}), Over(2070)));
  const BZ_TargetFileData &target = Info().targetFileData[0];
  EXPECT_EQ(bz_test::PathOf(target.parentRef), bz_test::PathOf(bz_test::RefFor(gFiles->folder)));
  EXPECT_GT(target.fileName.length, 0);
  EXPECT_NE(ItemText(2071).find("results"), std::string::npos) << ItemText(2071);
}

TEST_F(MovieDrop, WhatCannotBeUsedThereIsRefusedAndChangesNothing) {
  struct Case {
    const char *what;
    SInt32 tab;
    std::vector<std::string> files;
    bool overTarget;
  };
  const Case cases[] = {
      {"a still image", 1, {gFiles->still}, true},
      {"a movie without video", 1, {gFiles->soundOnly}, true},
      {"a text file", 1, {gFiles->text}, true},
      {"a folder on the Input tab", 1, {gFiles->folder}, true},
      {"a movie beside the source area", 1, {gFiles->movie}, false},
      {"a movie on the Process tab", 2, {gFiles->movie}, true},
      {"a movie on the Output tab", 3, {gFiles->movie}, true},
      {"a folder beside the Output target", 3, {gFiles->folder}, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TD_ClickTab(W(kBZ_MainTabItem), c.tab);
    std::vector<QUrl> urls;
    for (const std::string &f : c.files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(f)));
    const SInt32 target = c.tab == 3 ? 2070 : 2020;
    const QPoint at = c.overTarget ? Over(target) : Outside();
    EXPECT_FALSE(DropAt(urls, at));
    EXPECT_EQ(Source(), "");
    EXPECT_TRUE(bz_test::IsZeroRef(Info().targetFileData[0].parentRef) ||
                bz_test::PathOf(Info().targetFileData[0].parentRef) != bz_test::PathOf(bz_test::RefFor(gFiles->folder)));
    EXPECT_FALSE(Drag().inContent);
  }
}

TEST_F(MovieDrop, TheTargetIsHighlightedOnlyWhileADroppableDragIsOverIt) {
  struct Case {
    const char *what;
    std::vector<std::string> files;
    bool droppable;
  };
  const Case cases[] = {
      {"a movie", {gFiles->movie}, true},
      {"a movie and an item without a file", {gFiles->movie, "https://example.org/clip.mov"}, false},
      {"a still image", {gFiles->still}, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<QUrl> urls;
    for (const std::string &f : c.files)
      urls.push_back(f.rfind("http", 0) == 0 ? QUrl(QString::fromStdString(f))
                                             : QUrl::fromLocalFile(QString::fromStdString(f)));
    std::unique_ptr<QMimeData> mime(Mime(urls));
    Enter(mime.get(), Outside());
    EXPECT_EQ(Drag().canReceive, c.droppable);
    EXPECT_FALSE(Drag().inContent);
    Move(mime.get(), Over(2020));
    EXPECT_EQ(Drag().inContent, c.droppable);
    Move(mime.get(), Outside());
    EXPECT_FALSE(Drag().inContent);
    Move(mime.get(), Over(2020));
    Leave();
    EXPECT_FALSE(Drag().inContent);
    EXPECT_FALSE(Drag().canReceive);
  }
  EXPECT_EQ(Source(), "");
}

}  // namespace
