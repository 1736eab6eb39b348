// Draw events for custom-drawn views, through an event filter on the view's widget.
#include "platform/ui/view_draw_events.h"

#include "platform/core/mac_errors.h"
#include "platform/ui/images_quartz.h"
#include "platform/ui/nib_controls_qt.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <vector>

namespace {

SInt64 gDrawEvents = 0;

// Paints the view through its draw handlers; false (Qt paints as usual) when none drew.
bool DrawThroughHandlers(QWidget *widget, ControlRef control) {
  const int width = widget->width(), height = widget->height();
  if (width <= 0 || height <= 0) return false;
  std::vector<UInt8> pixels(size_t(width) * size_t(height) * 4, 0);
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef context = CGBitmapContextCreate(pixels.data(), size_t(width), size_t(height), 8, size_t(width) * 4,
                                               space, kCGImageAlphaPremultipliedFirst);
  CGColorSpaceRelease(space);
  if (context == nullptr) return false;
  // A view's context has its origin at the top left.
  CGContextTranslateCTM(context, 0, CGFloat(height));
  CGContextScaleCTM(context, 1, -1);
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassControl, kPL_EventControlDraw, 0, kEventAttributeNone, &event);
  if (err == noErr) err = SetEventParameter(event, kEventParamDirectObject, kPL_TypeControlRef, sizeof control, &control);
  if (err == noErr) err = SetEventParameter(event, kPL_EventParamCGContextRef, kPL_TypeCGContextRef, sizeof context, &context);
  if (err == noErr) {
    ++gDrawEvents;
    err = SendEventToEventTarget(event, GetControlEventTarget(control));
  }
  if (event != nullptr) ReleaseEvent(event);
  CGContextRelease(context);
  if (err != noErr) return false;
  QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < height; ++y) {
    const UInt8 *src = pixels.data() + size_t(y) * size_t(width) * 4;
    auto *dst = reinterpret_cast<QRgb *>(picture.scanLine(y));
    for (int x = 0; x < width; ++x, src += 4) dst[x] = qRgba(src[1], src[2], src[3], src[0]);
  }
  QPainter painter(widget);
  painter.drawImage(0, 0, picture);
  return true;
}

class DrawEventFilter : public QObject {
 public:
  DrawEventFilter(QObject *parent, ControlRef control) : QObject(parent), control_(control) {}
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() != QEvent::Paint) return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    return widget != nullptr && DrawThroughHandlers(widget, control_);
  }

 private:
  ControlRef control_;
};

}  // namespace

OSStatus PL_EnableViewDrawEvents(WindowRef window, HIViewID viewID) {
  if (window == nullptr) return paramErr;
  ControlRef control = nullptr;
  OSStatus err = GetControlByID(window, &viewID, &control);
  if (err != noErr) return err;
  QWidget *widget = PL_GetControlWidget(window, viewID);
  if (widget == nullptr) return errUnknownControl;
  if (widget->findChild<DrawEventFilter *>(QString(), Qt::FindDirectChildrenOnly) != nullptr) return noErr;
  widget->installEventFilter(new DrawEventFilter(widget, control));
  return noErr;
}

SInt64 PL_CountViewDrawEvents() { return gDrawEvents; }
