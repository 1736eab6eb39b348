// The about box: the icon, name, version and description in a window of its own title, which keeps its
// place when it closes and opens there again.
#include "app/about_box.h"

#include "engine/runtime/project_types.h"
#include "platform/ui/window_manager.h"
#include "platform/ui/window_manager_qt.h"
#include "support/gui_driver.h"
#include "toolkit/windows.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QWidget>

namespace {

std::string LabelText(QWidget *window, const char *name) {
  auto *label = window->findChild<QLabel *>(name);
  return label != nullptr ? label->text().toStdString() : std::string("<none>");
}

TEST(AboutBox, ShowsWhoWeAreAndComesBackWhereItWasClosed) {
  TD_App();
  const Point saved = gBZ.savedWindowLoc[0];
  gBZ.savedWindowLoc[0] = Point{0, 0};
  ASSERT_EQ(BZ_ShowAboutBox(), noErr);
  WindowRef box = FrontNonFloatingWindow();
  ASSERT_NE(box, nullptr);
  QWidget *widget = PL_GetWindowWidget(box);
  ASSERT_NE(widget, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(widget));
  EXPECT_EQ(widget->windowTitle().toStdString(), "About Brizel");
  EXPECT_EQ(LabelText(widget, "HIAboutBoxName"), "Brizel");
  EXPECT_EQ(LabelText(widget, "HIAboutBoxVersion"), "Version 0.1");
  EXPECT_EQ(LabelText(widget, "HIAboutBoxDescription").rfind("Brizel restores digitised video", 0), 0u);
  auto *icon = widget->findChild<QLabel *>("HIAboutBoxIcon");
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());

  // Moved by the user and closed: the place is kept, and the next box opens there.
  MoveWindow(box, 200, 150, false);
  Point where{};
  ASSERT_EQ(GL_SaveWindowPosition(box, &where), noErr);
  widget->close();
  ASSERT_TRUE(TD_RunUntil([&] { return FrontNonFloatingWindow() != box; }));
  EXPECT_EQ(gBZ.savedWindowLoc[0].h, where.h);
  EXPECT_EQ(gBZ.savedWindowLoc[0].v, where.v);
  ASSERT_EQ(BZ_ShowAboutBox(), noErr);
  WindowRef again = FrontNonFloatingWindow();
  ASSERT_NE(again, nullptr);
  Point now{};
  ASSERT_EQ(GL_SaveWindowPosition(again, &now), noErr);
  EXPECT_EQ(now.h, where.h);
  EXPECT_EQ(now.v, where.v);
  DisposeWindow(again);
  gBZ.savedWindowLoc[0] = saved;
}

}  // namespace
