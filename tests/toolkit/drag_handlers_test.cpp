// The toolkit's drag handlers on a real (offscreen) window through synthesised Qt drag events: installing
// and removing a window's handlers, and the template handlers that refuse drops beside their target and
// never highlight a drag that nothing can be dropped from.
#include "toolkit/drag_handlers.h"

#include "platform/core/controls.h"
#include "platform/core/window_refcons.h"
#include "platform/core/windows.h"
#include "platform/ui/window_manager.h"
#include "platform/ui/window_manager_qt.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <fstream>
#include <memory>

namespace {

OSErr CountingTrack(DragTrackingMessage, WindowRef, void *, DragReference) { return noErr; }
OSErr CountingReceive(WindowRef, void *, DragReference) { return noErr; }

class DragHandlers : public ::testing::Test {
 protected:
  void SetUp() override {
    TD_App();
    const Rect bounds{100, 100, 300, 400};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowCloseBoxAttribute, &bounds, &window_), noErr);
    ShowWindow(window_);
    const HIViewID id{'Orl1', 7};
    ControlRef target = nullptr;
    ASSERT_EQ(PL_NewControl(window_, &id, &target), noErr);
    const Rect targetBounds{20, 20, 80, 120};
    SetControlBounds(target, &targetBounds);
    data_.dragTargetID = id;
    SetWRefCon(window_, reinterpret_cast<SRefCon>(&data_));
  }
  void TearDown() override {
    DR_RemoveDragHandlersTempl(window_);
    DisposeWindow(window_);
  }
  QWidget *Widget() { return PL_GetWindowWidget(window_); }
  bool DropAt(const QList<QUrl> &urls, QPoint at) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Widget(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Widget(), &move);
    EXPECT_FALSE(data_.canReceive);
    EXPECT_FALSE(data_.inContent);
    EXPECT_FALSE(PL_IsDragHiliteShown(window_, nullptr));
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Widget(), &drop);
    return drop.isAccepted();
  }

  WindowRef window_ = nullptr;
  DR_ReceiveData data_{};
};

TEST_F(DragHandlers, AMissingProcedureIsRefusedAndRemovingClearsWhatWasInstalled) {
  DR_ReceiveData data{};
  EXPECT_EQ(DR_InstallDragHandlers(window_, &data, nullptr, CountingReceive), memFullErr);
  EXPECT_EQ(data.trackHandler, nullptr);
  EXPECT_EQ(DR_InstallDragHandlers(window_, &data, CountingTrack, nullptr), memFullErr);
  EXPECT_EQ(data.trackHandler, CountingTrack);  // the tracking handler stays installed, and is removed below
  DR_RemoveDragHandlers(window_, &data);
  EXPECT_EQ(data.trackHandler, nullptr);
  EXPECT_EQ(RemoveTrackingHandler(CountingTrack, window_), handlerNotFoundErr);

  ASSERT_EQ(DR_InstallDragHandlers(window_, &data, CountingTrack, CountingReceive), noErr);
  EXPECT_EQ(InstallReceiveHandler(CountingReceive, window_, nullptr), duplicateHandlerErr);
  DR_RemoveDragHandlers(window_, &data);
  EXPECT_EQ(data.receiveHandler, nullptr);
  EXPECT_EQ(RemoveReceiveHandler(CountingReceive, window_), handlerNotFoundErr);
  DR_RemoveDragHandlers(window_, &data);  // nothing left: nothing happens
}

TEST_F(DragHandlers, TheTemplateTakesDropsOnItsTargetOnlyAndExaminesFilesOnly) {
  ASSERT_EQ(DR_InstallDragHandlersTempl(window_), noErr);
  bz_test::TempDir dir;
  std::ofstream(dir.File("a.txt")) << "text";
  const QPoint inside(60, 50), beside(200, 150);
  struct Case {
    const char *what;
    QList<QUrl> urls;
    QPoint at;
    bool taken;
  };
  const Case cases[] = {
      {"a file on the target", {QUrl::fromLocalFile(QString::fromStdString(dir.File("a.txt")))}, inside, true},
      {"items without a file on the target", {QUrl("https://example.org/a"), QUrl("https://example.org/b")}, inside,
       true},
      {"a file beside the target", {QUrl::fromLocalFile(QString::fromStdString(dir.File("a.txt")))}, beside, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DropAt(c.urls, c.at), c.taken);
  }
}

TEST_F(DragHandlers, AfterRemovalTheWindowTakesNoDrops) {
  ASSERT_EQ(DR_InstallDragHandlersTempl(window_), noErr);
  EXPECT_TRUE(Widget()->acceptDrops());
  DR_RemoveDragHandlersTempl(window_);
  EXPECT_EQ(data_.trackHandler, nullptr);
  EXPECT_EQ(data_.receiveHandler, nullptr);
  EXPECT_FALSE(Widget()->acceptDrops());
}

}  // namespace
