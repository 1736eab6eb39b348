// Window pictures painted over the window's content.
#include "platform/ui/window_pictures.h"

#include "platform/core/cf_string.h"
#include "platform/core/fonts.h"
#include "platform/core/mac_errors.h"
#include "platform/core/quickdraw_text.h"
#include "platform/ui/window_manager_qt.h"

#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QVariant>
#include <QWidget>

#include <cstring>
#include <vector>

namespace {

// The widget property that holds a window's picture.
const char kPictureProperty[] = "PLWindowPicture";

QColor ColorOf(const UInt8 argb[4]) { return QColor(argb[1], argb[2], argb[3], argb[0]); }

QRect RectOf(const Rect &r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// The text's bytes in the system encoding (UTF-8, or Mac Roman for bytes that are no UTF-8).
QString TextOf(const PL_PictureText &text) {
  const auto *bytes = reinterpret_cast<const UInt8 *>(text.bytes);
  CFStringRef s = CFStringCreateWithBytes(nullptr, bytes, text.byteCount, kCFStringEncodingUTF8, false);
  if (s == nullptr) s = CFStringCreateWithBytes(nullptr, bytes, text.byteCount, kCFStringEncodingMacRoman, false);
  if (s == nullptr) return QString();
  std::vector<UniChar> units(size_t(CFStringGetLength(s)));
  CFStringGetCharacters(s, CFRange{0, CFIndex(units.size())}, units.data());
  CFRelease(s);
  return QString(reinterpret_cast<const QChar *>(units.data()), qsizetype(units.size()));
}

// A family number's font at a size in pixels (0: the standard 12) and face.
QFont FontOf(SInt16 family, SInt16 size, Style face) {
  Str255 name;
  GetFontName(family, name);
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  if (family != systemFont && family != applFont && name[0] != 0)
    font.setFamily(QString::fromUtf8(reinterpret_cast<const char *>(name + 1), name[0]));
  font.setPixelSize(size > 0 ? size : 12);
  font.setBold((face & bold) != 0);
  font.setItalic((face & italic) != 0);
  font.setUnderline((face & underline) != 0);
  return font;
}

void Fill(void *refCon, const Rect *r, const UInt8 argb[4]) {
  static_cast<QPainter *>(refCon)->fillRect(RectOf(*r), ColorOf(argb));
}

void Image(void *refCon, const Rect *dst, const Rect *visible, SInt32 width, SInt32 height, const UInt8 *argb) {
  auto *painter = static_cast<QPainter *>(refCon);
  QImage image(width, height, QImage::Format_ARGB32);
  if (image.isNull()) return;
  for (SInt32 y = 0; y < height; ++y) {
    auto *out = reinterpret_cast<UInt32 *>(image.scanLine(y));
    const UInt8 *in = argb + size_t(y) * size_t(width) * 4;
    for (SInt32 x = 0; x < width; ++x, in += 4)
      out[x] = UInt32(in[0]) << 24 | UInt32(in[1]) << 16 | UInt32(in[2]) << 8 | in[3];
  }
  painter->save();
  painter->setClipRect(RectOf(*visible), Qt::IntersectClip);
  painter->drawImage(RectOf(*dst), image);
  painter->restore();
}

void Text(void *refCon, const PL_PictureText *text) {
  auto *painter = static_cast<QPainter *>(refCon);
  painter->save();
  painter->setClipRect(RectOf(text->clip), Qt::IntersectClip);
  painter->setFont(FontOf(text->font, text->size, text->face));
  painter->setPen(ColorOf(text->argb));
  painter->drawText(QPoint(text->pen.h, text->pen.v), TextOf(*text));
  painter->restore();
}

// Paints each window's picture as the window paints.
class PicturePainter : public QObject {
 public:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() != QEvent::Paint) return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    auto *picture = widget != nullptr ? reinterpret_cast<PicHandle>(widget->property(kPictureProperty).value<quintptr>())
                                      : nullptr;
    if (picture == nullptr) return false;
    QPainter painter(widget);
    const Rect content{0, 0, SInt16(widget->height()), SInt16(widget->width())};
    PL_PaintPicture(&painter, picture, &content);
    return false;
  }
};

PicturePainter *Painter() {
  static auto *painter = new PicturePainter;
  return painter;
}

OSStatus SetPicture(WindowRef window, PicHandle picture) {
  QWidget *widget = PL_GetWindowWidget(window);
  if (widget == nullptr) return errInvalidWindowRef;
  if (!widget->property(kPictureProperty).isValid()) widget->installEventFilter(Painter());
  widget->setProperty(kPictureProperty, QVariant::fromValue(reinterpret_cast<quintptr>(picture)));
  widget->update();
  return noErr;
}

PicHandle GetPicture(WindowRef window) {
  QWidget *widget = PL_GetWindowWidget(window);
  if (widget == nullptr) return nullptr;
  return reinterpret_cast<PicHandle>(widget->property(kPictureProperty).value<quintptr>());
}

}  // namespace

void PL_InstallWindowPictures() {
  static const PL_WindowPictureProcs procs{SetPicture, GetPicture};
  PL_SetWindowPictureProcs(&procs);
}

OSStatus PL_PaintPicture(QPainter *painter, PicHandle picture, const Rect *dstRect) {
  if (painter == nullptr) return paramErr;
  const PL_PictureReplayProcs procs{Fill, Image, Text};
  return PL_ReplayPicture(picture, dstRect, &procs, painter);
}
