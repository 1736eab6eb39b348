// The project dialog's image wells draw through their draw handler: the poster well 2025 paints the bands
// beside the letterbox of the source movie's proportions in the window's background, darkened, and leaves
// the picture inside them; an empty well shows the window's background alone. Checked on grabbed pixels.
#include "dialog/input_tab.h"

#include "dialog/open_dialog_fixture.h"

#include "methods/logo_params.h"
#include "support/solid_pictures.h"
#include "toolkit/dialog_items.h"

#include <QApplication>
#include <QImage>
#include <QPalette>

#include <cstdlib>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

bool Near(QRgb pixel, const QColor &color, int tolerance = 2) {
  return std::abs(qRed(pixel) - color.red()) <= tolerance && std::abs(qGreen(pixel) - color.green()) <= tolerance &&
         std::abs(qBlue(pixel) - color.blue()) <= tolerance;
}

QColor Darkened(const QColor &color, double alpha) {
  return QColor::fromRgbF(color.redF() * (1 - alpha), color.greenF() * (1 - alpha), color.blueF() * (1 - alpha));
}

class ImageWells : public OpenDialogTest {
 protected:
  void TearDown() override {
    if (window_ != nullptr) {
      GL_SetPictureInImageWell(window_, Item(2025), nullptr);
      GL_SetPictureInImageWell(window_, Item(kBZ_RlMaskWellItem), nullptr);
    }
    OpenDialogTest::TearDown();
    for (PicHandle p : pictures_) KillPicture(p);
  }
  // Puts a green picture of the well's size into the well.
  QSize ShowGreenPicture(SInt32 item) {
    Rect bounds{};
    EXPECT_EQ(GL_GetDialogItemBoundsByID(window_, Item(item), &bounds), noErr);
    const QSize size(bounds.right - bounds.left, bounds.bottom - bounds.top);
    PicHandle picture = bz_test::SolidPicture(SInt16(size.width()), SInt16(size.height()), RGBColor{0, 0xFFFF, 0});
    EXPECT_NE(picture, nullptr);
    pictures_.push_back(picture);
    EXPECT_EQ(GL_SetPictureInImageWell(window_, Item(item), picture), noErr);
    return size;
  }
  QImage Grab(SInt32 item) { return W(item)->grab().toImage(); }
  QColor Window() const { return QApplication::palette().color(QPalette::Window); }

  std::vector<PicHandle> pictures_;
};

TEST_F(ImageWells, ThePostersBandsBesideTheLetterboxAreTheWindowsBackgroundDarkened) {
  const QSize size = ShowGreenPicture(2025);
  ASSERT_GE(size.height(), 20);
  // A movie three lines flatter than the well: the letterbox leaves one row above and two below (the odd
  // line goes to the bottom band, where the letterbox puts it).
  Info().statMovInfo[0].width = size.width();
  Info().statMovInfo[0].height = size.height() - 3;
  const QImage image = Grab(2025);
  ASSERT_EQ(image.size(), size);
  const QColor green(0, 255, 0), band = Darkened(Window(), 0.03);
  const int x = size.width() / 2, last = size.height() - 1;
  struct Row {
    int y;
    QColor color;
  };
  for (const Row &row : {Row{0, band}, Row{1, green}, Row{last / 2, green}, Row{last - 2, green}, Row{last - 1, band},
                         Row{last, band}})
    EXPECT_TRUE(Near(image.pixel(x, row.y), row.color)) << "row " << row.y << " is " << std::hex << image.pixel(x, row.y);

  // A movie of the well's own proportions leaves no band: the picture fills the well.
  Info().statMovInfo[0].height = size.height();
  const QImage full = Grab(2025);
  EXPECT_TRUE(Near(full.pixel(x, 0), green));
  EXPECT_TRUE(Near(full.pixel(x, last), green));
  // Tall: bands left and right.
  Info().statMovInfo[0].width = size.width() / 2;
  const QImage tall = Grab(2025);
  EXPECT_TRUE(Near(tall.pixel(1, size.height() / 2), band));
  EXPECT_TRUE(Near(tall.pixel(size.width() - 2, size.height() / 2), band));
  EXPECT_TRUE(Near(tall.pixel(x, size.height() / 2), green));
}

TEST_F(ImageWells, AnEmptyWellShowsTheWindowsBackgroundAndAFullOneItsPicture) {
  TD_ClickTab(W(kBZ_MainTabItem), 2);
  TD_ClickTab(W(kBZ_MethodTabItem), 3);
  const QImage empty = Grab(kBZ_RlMaskWellItem);
  ASSERT_FALSE(empty.isNull());
  for (QPoint p : {QPoint(0, 0), QPoint(empty.width() / 2, empty.height() / 2), QPoint(empty.width() - 1, empty.height() - 1)})
    EXPECT_TRUE(Near(empty.pixel(p), Window())) << p.x() << "," << p.y();
  const QSize size = ShowGreenPicture(kBZ_RlMaskWellItem);
  const QImage full = Grab(kBZ_RlMaskWellItem);
  for (QPoint p : {QPoint(0, 0), QPoint(size.width() / 2, size.height() / 2), QPoint(size.width() - 1, size.height() - 1)})
    EXPECT_TRUE(Near(full.pixel(p), QColor(0, 255, 0))) << p.x() << "," << p.y();
}

TEST_F(ImageWells, TheHandlerTakesOnlyDrawEvents) {
  EventRef hit = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kEventClassControl, kEventControlHit, 0, kEventAttributeNone, &hit), noErr);
  EXPECT_EQ(BZ_ImageWellEventHandler(nullptr, hit, nullptr), eventNotHandledErr);
  ReleaseEvent(hit);
  // Installed once per well: opening the dialog kept both handlers, a second call adds none.
  ASSERT_NE(gBZ.dlgData, nullptr);
  const EventHandlerRef kept = gBZ.dlgData->imageWellEvHandler;
  EXPECT_NE(kept, nullptr);
  EXPECT_NE(gBZ.dlgData->maskWellEvHandler, nullptr);
  EXPECT_EQ(BZ_SetProjDlgImageWellBackground(window_), noErr);
  EXPECT_EQ(gBZ.dlgData->imageWellEvHandler, kept);
}

}  // namespace
