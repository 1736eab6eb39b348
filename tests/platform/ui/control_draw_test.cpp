// Control-draw events from the widgets' paint: the control's draw handlers paint through a Quartz context
// over the view (y down from its top left), the widget's own drawing is the last handler, and a control
// without draw handlers paints as its widget does. Checked on grabbed pixels and on the screen's paint.
#include "platform/ui/nib_controls_qt.h"

#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/ui/images_quartz.h"
#include "support/gui_driver.h"
#include "support/kernel_check.h"
#include "support/solid_pictures.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

struct DrawLog {
  std::vector<std::string> calls;
  ControlRef control = nullptr;
  HIRect shape{};
  bool hadContext = false;
};

// Records the event, lets the view draw itself, then paints a red 10 x 5 block at the view's top left.
OSStatus PaintsOverTheView(EventHandlerCallRef next, EventRef event, void *data) {
  auto *log = static_cast<DrawLog *>(data);
  log->calls.push_back("over");
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof log->control, nullptr,
                    &log->control);
  HIShapeRef shape = nullptr;
  if (GetEventParameter(event, kEventParamShape, typeHIShapeRef, nullptr, sizeof shape, nullptr, &shape) == noErr)
    HIShapeGetBounds(shape, &log->shape);
  CGContextRef context = nullptr;
  log->hadContext = GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context,
                                      nullptr, &context) == noErr &&
                    context != nullptr;
  const OSStatus result = CallNextEventHandler(next, event);
  if (context != nullptr) {
    CGContextSetRGBFillColor(context, 1, 0, 0, 1);
    CGContextFillRect(context, CGRectMake(0, 0, 10, 5));
  }
  return result;
}

// Draws a blue block and keeps the view from drawing itself.
OSStatus DrawsAlone(EventHandlerCallRef, EventRef event, void *data) {
  static_cast<DrawLog *>(data)->calls.push_back("alone");
  CGContextRef context = nullptr;
  GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr, &context);
  CGContextSetRGBFillColor(context, 0, 0, 1, 1);
  CGContextFillRect(context, CGRectMake(70, 50, 10, 10));
  return noErr;
}

OSStatus PassesOn(EventHandlerCallRef, EventRef, void *data) {
  static_cast<DrawLog *>(data)->calls.push_back("passes");
  return eventNotHandledErr;
}

bool Near(QRgb pixel, int r, int g, int b) {
  return std::abs(qRed(pixel) - r) <= 2 && std::abs(qGreen(pixel) - g) <= 2 && std::abs(qBlue(pixel) - b) <= 2;
}

struct ControlDrawTest : ::testing::Test {
  IBNibRef nib = nullptr;
  std::unique_ptr<QWidget> widget;
  int storage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&storage);
  PicHandle picture = nullptr;
  std::vector<EventHandlerRef> handlers;
  DrawLog log;

  void SetUp() override {
    TD_App();
    PL_SetMainBundleDirectory((bz_test::SourceDir() + "/tests/platform/ui/fixtures").c_str());
    ASSERT_EQ(CreateNibReference(CFSTR("Draw Events"), &nib), noErr);
    QWidget *w = nullptr;
    ASSERT_EQ(PL_LoadNibWindowWidget(nib, CFSTR("Drawing"), &w), noErr);
    widget.reset(w);
    ASSERT_EQ(PL_AttachNibControls(window, widget.get(), nullptr), noErr);
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
    // The well shows a green picture that fills it.
    picture = bz_test::SolidPicture(80, 60, RGBColor{0, 0xFFFF, 0});
    ASSERT_NE(picture, nullptr);
    ControlButtonContentInfo content{};
    content.contentType = kControlContentPictHandle;
    content.u.picture = picture;
    ASSERT_EQ(SetImageWellContentInfo(Item(1), &content), noErr);
  }
  void TearDown() override {
    for (EventHandlerRef h : handlers) RemoveEventHandler(h);
    PL_DetachNibControls(window);
    widget.reset();
    if (picture != nullptr) KillPicture(picture);
    DisposeNibReference(nib);
    PL_SetMainBundleDirectory(nullptr);
  }
  ControlRef Item(SInt32 n) {
    ControlRef c = nullptr;
    const HIViewID id{'Orl1', n};
    EXPECT_EQ(GetControlByID(window, &id, &c), noErr) << n;
    return c;
  }
  EventHandlerRef Install(SInt32 item, EventHandlerUPP proc) {
    static const EventTypeSpec draw{kEventClassControl, kEventControlDraw};
    EventHandlerRef h = nullptr;
    EXPECT_EQ(InstallEventHandler(GetControlEventTarget(Item(item)), proc, 1, &draw, &log, &h), noErr);
    handlers.push_back(h);
    return h;
  }
  QImage Grab(SInt32 item) { return TD_FindControl(window, item)->grab().toImage(); }
};

TEST_F(ControlDrawTest, HandlersPaintOverTheViewsOwnDrawingInViewCoordinates) {
  Install(1, PaintsOverTheView);
  const QImage image = Grab(1);
  ASSERT_EQ(image.size(), QSize(80, 60));
  EXPECT_EQ(log.calls, std::vector<std::string>{"over"});
  EXPECT_EQ(log.control, Item(1));
  EXPECT_TRUE(log.hadContext);
  EXPECT_EQ(log.shape.origin.x, 0);
  EXPECT_EQ(log.shape.origin.y, 0);
  EXPECT_EQ(log.shape.size.width, 80);
  EXPECT_EQ(log.shape.size.height, 60);
  // The red block lies at the top left (y down), the picture all around it.
  EXPECT_TRUE(Near(image.pixel(2, 2), 255, 0, 0));
  EXPECT_TRUE(Near(image.pixel(8, 3), 255, 0, 0));
  EXPECT_TRUE(Near(image.pixel(2, 56), 0, 255, 0));
  EXPECT_TRUE(Near(image.pixel(40, 30), 0, 255, 0));
  EXPECT_TRUE(Near(image.pixel(12, 2), 0, 255, 0));
}

TEST_F(ControlDrawTest, TheNewestHandlerGoesFirstAndTheViewDrawsOnlyWhenReached) {
  struct Case {
    const char *what;
    std::vector<EventHandlerUPP> installed;  // in installation order
    std::vector<std::string> calls;
    bool pictureShown;
  };
  const Case cases[] = {
      {"alone, the view skipped", {DrawsAlone}, {"alone"}, false},
      {"passed on to the view", {PassesOn}, {"passes"}, true},
      {"newest first, passed on to the one that draws alone", {DrawsAlone, PassesOn}, {"passes", "alone"}, false},
      {"newest first, calling the older ones", {PassesOn, PaintsOverTheView}, {"over", "passes"}, true},
  };
  for (const Case &c : cases) {
    log = DrawLog{};
    std::vector<EventHandlerRef> installed;
    for (EventHandlerUPP proc : c.installed) installed.push_back(Install(1, proc));
    const QImage image = Grab(1);
    EXPECT_EQ(log.calls, c.calls) << c.what;
    EXPECT_EQ(Near(image.pixel(40, 30), 0, 255, 0), c.pictureShown) << c.what;
    if (c.installed.front() == DrawsAlone) {
      EXPECT_TRUE(Near(image.pixel(75, 55), 0, 0, 255)) << c.what;
    }
    for (EventHandlerRef h : installed) RemoveEventHandler(h);
  }
  // Without handlers the widget paints as it always does, and no event is sent.
  log = DrawLog{};
  const QImage image = Grab(1);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_TRUE(Near(image.pixel(40, 30), 0, 255, 0));
  EXPECT_TRUE(Near(image.pixel(2, 2), 0, 255, 0));
}

TEST_F(ControlDrawTest, TheScreensPaintSendsTheEventAndViewsDrawAgainWhenAsked) {
  // Painting on the screen through the handlers must not trip Qt's painter checks.
  static std::vector<std::string> warnings;
  warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &m) {
    if (type != QtDebugMsg) warnings.push_back(m.toStdString());
  });
  Install(1, PaintsOverTheView);
  Install(2, PaintsOverTheView);  // a group box with a child
  QWidget *well = TD_FindControl(window, 1);
  well->repaint();
  TD_FindControl(window, 2)->repaint();
  EXPECT_GE(log.calls.size(), 2u);
  const size_t before = log.calls.size();
  ASSERT_EQ(HIViewSetNeedsDisplay(Item(1), true), noErr);
  EXPECT_TRUE(TD_RunUntil([&] { return log.calls.size() > before; }));
  EXPECT_FALSE(HIViewGetNeedsDisplay(Item(1)));
  // Drawn at once: the paint comes before the call returns.
  const size_t beforeRender = log.calls.size();
  Draw1Control(Item(1));
  EXPECT_EQ(log.calls.size(), beforeRender + 1);
  qInstallMessageHandler(previous);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  // A group box draws through its handlers too.
  EXPECT_TRUE(Near(Grab(2).pixel(2, 2), 255, 0, 0));
}

TEST_F(ControlDrawTest, AnImageViewShowsItsImageScaledAtItsOpacity) {
  // Two by two pixels: red, green on top; blue, half-transparent white below (A, R, G, B bytes, straight).
  const UInt8 argb[16] = {255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 128, 255, 255, 255};
  CGImageRef image = PL_CGImageCreateARGB(2, 2, argb, 8);
  ASSERT_NE(image, nullptr);
  const QRgb background = Grab(4).pixel(10, 7);  // no image: only what lies behind the view
  // The colour over the background at that opacity.
  auto over = [background](int r, int g, int b, double alpha) {
    return std::array<int, 3>{int(std::lround(r * alpha + qRed(background) * (1 - alpha))),
                              int(std::lround(g * alpha + qGreen(background) * (1 - alpha))),
                              int(std::lround(b * alpha + qBlue(background) * (1 - alpha)))};
  };
  ASSERT_EQ(HIImageViewSetImage(Item(4), image), noErr);
  CGImageRelease(image);  // the view keeps its own reference
  struct Case {
    double viewAlpha;
    QPoint at;
    std::array<int, 3> expected;
  };
  const Case cases[] = {
      {1, {2, 2}, over(255, 0, 0, 1)},          {1, {37, 2}, over(0, 255, 0, 1)},
      {1, {2, 27}, over(0, 0, 255, 1)},         {1, {37, 27}, over(255, 255, 255, 128 / 255.0)},
      {0.5, {2, 2}, over(255, 0, 0, 0.5)},      {0.5, {37, 27}, over(255, 255, 255, 0.5 * 128 / 255.0)},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(HIImageViewSetAlpha(Item(4), c.viewAlpha), noErr);
    const QImage shown = Grab(4);
    ASSERT_EQ(shown.size(), QSize(40, 30));
    const QRgb p = shown.pixel(c.at);
    EXPECT_TRUE(Near(p, c.expected[0], c.expected[1], c.expected[2]))
        << c.viewAlpha << " at " << c.at.x() << "," << c.at.y() << ": " << std::hex << p;
  }
  ASSERT_EQ(HIImageViewSetImage(Item(4), nullptr), noErr);
  EXPECT_EQ(Grab(4).pixel(2, 2), background);
}

TEST_F(ControlDrawTest, AWellShowsAnImageAtItsOwnSizeCentred) {
  std::vector<UInt8> argb(20 * 10 * 4);
  for (size_t i = 0; i < argb.size(); i += 4) argb[i] = argb[i + 1] = 255;  // opaque red
  CGImageRef image = PL_CGImageCreateARGB(20, 10, argb.data(), 80);
  ASSERT_NE(image, nullptr);
  ControlButtonContentInfo content{};
  content.contentType = kControlContentCGImageRef;
  content.u.imageRef = image;
  ASSERT_EQ(SetImageWellContentInfo(Item(1), &content), noErr);
  CGImageRelease(image);  // the well keeps its own reference
  const QImage shown = Grab(1);
  for (QPoint inside : {QPoint(31, 26), QPoint(40, 30), QPoint(48, 33)})
    EXPECT_TRUE(Near(shown.pixel(inside), 255, 0, 0)) << inside.x() << "," << inside.y();
  for (QPoint outside : {QPoint(28, 30), QPoint(52, 30), QPoint(40, 23), QPoint(40, 37)})
    EXPECT_FALSE(Near(shown.pixel(outside), 255, 0, 0)) << outside.x() << "," << outside.y();
}

}  // namespace
