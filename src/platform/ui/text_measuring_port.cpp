// Text measurement through QFontMetrics.
#include "platform/ui/text_measuring_port.h"

#include "platform/core/mac_errors.h"
#include "platform/core/quickdraw_text.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QString>

namespace {

QFont PortFont(GrafPtr port) {
  QFont font = QApplication::font();
  const SInt16 size = GetPortTextSize(port);
  font.setPointSize(size > 0 ? size : 12);
  const Style face = GetPortTextFace(port);
  font.setBold((face & bold) != 0);
  font.setItalic((face & italic) != 0);
  return font;
}

OSStatus Measure(GrafPtr port, const char *text, SInt32 byteCount, SInt32 *width) {
  if (text == nullptr || width == nullptr || byteCount < 0) return paramErr;
  const QFontMetrics metrics(PortFont(port));
  *width = metrics.horizontalAdvance(QString::fromUtf8(text, byteCount));
  return noErr;
}

OSStatus Info(GrafPtr port, FontInfo *info) {
  if (info == nullptr) return paramErr;
  const QFontMetrics metrics(PortFont(port));
  info->ascent = SInt16(metrics.ascent());
  info->descent = SInt16(metrics.descent());
  info->widMax = SInt16(metrics.maxWidth());
  info->leading = SInt16(metrics.leading());
  return noErr;
}

OSStatus Draw(GrafPtr port, const char *text, SInt32 byteCount, Point, SInt32 *advance) {
  return Measure(port, text, byteCount, advance);
}

}  // namespace

GrafPtr PL_GetTextMeasuringPort() {
  static const PL_PortDrawProcs procs = [] {
    PL_PortDrawProcs p{};
    p.measureText = Measure;
    p.getFontInfo = Info;
    p.drawText = Draw;
    return p;
  }();
  static GrafPtr port = [] {
    const Rect bounds{0, 0, 100, 1000};
    return PL_NewPort(&bounds, Point{0, 0}, &procs, nullptr);
  }();
  return port;
}
