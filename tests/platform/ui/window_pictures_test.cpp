// Window pictures shown as the window's content, checked on what the window paints (offscreen platform).
#include "platform/ui/window_pictures.h"

#include "platform/core/mac_errors.h"
#include "platform/core/quickdraw_text.h"
#include "platform/ui/window_manager_qt.h"
#include "support/fake_text_port.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A window of the content size, shown; disposed with the record.
struct Window {
  WindowRef ref = nullptr;
  Window(SInt16 width, SInt16 height) {
    const Rect bounds{100, 100, SInt16(100 + height), SInt16(100 + width)};
    EXPECT_EQ(noErr, CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &bounds, &ref));
    ShowWindow(ref);
  }
  ~Window() { DisposeWindow(ref); }
  QImage Painted() const { return PL_GetWindowWidget(ref)->grab().toImage(); }
};

// A picture of frame (0, 0, 40, 80): red left half, blue right half, recorded in a world.
PicHandle HalvesPicture() {
  const Rect frame{0, 0, 40, 80};
  GWorldPtr world = nullptr;
  EXPECT_EQ(noErr, NewGWorld(&world, 32, &frame, nullptr, nullptr, 0));
  CGrafPtr saved = nullptr;
  GDHandle device = nullptr;
  GetGWorld(&saved, &device);
  SetGWorld(world, nullptr);
  PicHandle pic = OpenPicture(&frame);
  const RGBColor red{65535, 0, 0}, blue{0, 0, 65535};
  const Rect left{0, 0, 40, 40}, right{0, 40, 40, 80};
  RGBForeColor(&red);
  PaintRect(&left);
  RGBForeColor(&blue);
  PaintRect(&right);
  ClosePicture();
  SetGWorld(saved, device);
  DisposeGWorld(world);
  return pic;
}

TEST(PlatformWindowPictures, TheWindowShowsItsPictureScaledToItsContent) {
  Window window(160, 80);
  PicHandle pic = HalvesPicture();
  SetWindowPic(window.ref, pic);
  EXPECT_EQ(pic, GetWindowPic(window.ref));
  const QImage painted = window.Painted();
  ASSERT_EQ(160, painted.width());
  EXPECT_EQ(qRgb(255, 0, 0), painted.pixel(5, 5));
  EXPECT_EQ(qRgb(255, 0, 0), painted.pixel(79, 79));
  EXPECT_EQ(qRgb(0, 0, 255), painted.pixel(80, 0));
  EXPECT_EQ(qRgb(0, 0, 255), painted.pixel(159, 40));

  // Without a picture the window paints its own background again; the picture is still the caller's.
  SetWindowPic(window.ref, nullptr);
  EXPECT_EQ(nullptr, GetWindowPic(window.ref));
  EXPECT_NE(qRgb(255, 0, 0), window.Painted().pixel(5, 5));
  KillPicture(pic);
}

TEST(PlatformWindowPictures, TextOfAPictureIsPainted) {
  // Recorded in a port that measures text by rule: a white frame with "WWWW" in black at (10, 30).
  FakeTextPort *fake = NewFakeTextPort();
  GrafPtr saved = nullptr;
  GetPort(&saved);
  SetPort(fake->port);
  const Rect frame{0, 0, 40, 160};
  PicHandle pic = OpenPicture(&frame);
  ASSERT_NE(nullptr, pic);
  const RGBColor white{65535, 65535, 65535}, black{0, 0, 0};
  RGBForeColor(&white);
  PaintRect(&frame);
  RGBForeColor(&black);
  TextSize(24);
  MoveTo(10, 30);
  const UInt8 text[] = {4, 'W', 'W', 'W', 'W'};
  DrawString(text);
  ClosePicture();
  SetPort(saved);
  DisposeFakeTextPort(fake);

  Window window(160, 40);
  SetWindowPic(window.ref, pic);
  const QImage painted = window.Painted();
  int dark = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 160; ++x) {
      if (qGray(painted.pixel(x, y)) < 128) {
        ++dark;
        EXPECT_TRUE(x >= 8 && x < 140 && y < 38) << "ink at " << x << ", " << y;
      }
    }
  EXPECT_GT(dark, 40);
  EXPECT_EQ(qRgb(255, 255, 255), painted.pixel(155, 5));
  SetWindowPic(window.ref, nullptr);
  KillPicture(pic);
}

TEST(PlatformWindowPictures, UnknownWindowsKeepNothing) {
  { Window first(10, 10); }  // makes the window layer
  PicHandle pic = HalvesPicture();
  WindowRef unknown = reinterpret_cast<WindowRef>(0x10);
  SetWindowPic(unknown, pic);
  EXPECT_EQ(nullptr, GetWindowPic(unknown));
  KillPicture(pic);
}

}  // namespace
