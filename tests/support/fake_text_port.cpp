#include "support/fake_text_port.h"

#include "platform/core/mac_errors.h"

namespace {

SInt32 Base(SInt16 size) { return size == 0 ? 10 : size; }

OSStatus Measure(GrafPtr port, const char *text, SInt32 byteCount, SInt32 *width) {
  auto *fake = static_cast<FakeTextPort *>(PL_GetPortRefCon(port));
  std::string s(text, size_t(byteCount));
  fake->measured.push_back({s, GetPortTextFont(port), GetPortTextSize(port), GetPortTextFace(port)});
  *width = FakeTextWidth(s, GetPortTextSize(port), GetPortTextFace(port));
  return noErr;
}

OSStatus Info(GrafPtr port, FontInfo *info) {
  const SInt32 base = Base(GetPortTextSize(port));
  info->ascent = SInt16(base);
  info->descent = SInt16(base / 4);
  info->widMax = SInt16(base);
  info->leading = GetPortTextFont(port);
  return noErr;
}

OSStatus Draw(GrafPtr port, const char *text, SInt32 byteCount, Point pen, SInt32 *advance) {
  auto *fake = static_cast<FakeTextPort *>(PL_GetPortRefCon(port));
  std::string s(text, size_t(byteCount));
  fake->drawn.push_back({s, pen});
  *advance = FakeTextWidth(s, GetPortTextSize(port), GetPortTextFace(port));
  return noErr;
}

const PL_PortDrawProcs kProcs = [] {
  PL_PortDrawProcs procs{};
  procs.measureText = Measure;
  procs.getFontInfo = Info;
  procs.drawText = Draw;
  return procs;
}();

}  // namespace

SInt32 FakeTextWidth(const std::string &text, SInt16 size, Style face) {
  const SInt32 base = Base(size);
  SInt32 width = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    width += (c == 'i' ? base / 2 : base) + ((face & bold) ? 1 : 0);
  }
  return width;
}

FakeTextPort *NewFakeTextPort() {
  auto *fake = new FakeTextPort;
  Rect bounds{0, 0, 100, 400};
  fake->port = PL_NewPort(&bounds, Point{0, 0}, &kProcs, fake);
  return fake;
}

void DisposeFakeTextPort(FakeTextPort *fake) {
  if (fake == nullptr) return;
  PL_DisposePort(fake->port);
  delete fake;
}
