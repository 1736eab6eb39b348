// TextEdit stand-in over the memory handles and the QuickDraw text port.
#include "platform/core/text_edit.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/quickdraw_text.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr SInt32 kMaxTextLength = 32767;

std::mutex gScrapLock;
Handle gScrap = nullptr;

bool Valid(TEHandle hTE) { return hTE != nullptr && *hTE != nullptr && (**hTE).hText != nullptr; }

SInt32 Clamp(SInt32 v, SInt32 length) { return std::clamp<SInt32>(v, 0, length); }

void CountLines(TERec &te) {
  SInt16 lines = 1;
  const char *text = *te.hText;
  for (SInt32 i = 0; i < te.teLength; ++i)
    if (text[i] == '\r') ++lines;
  te.nLines = te.teLength == 0 ? 0 : lines;
}

// Replaces bytes [from, to) of the text with `length` bytes; false when memory or the size limit fails.
bool Splice(TERec &te, SInt32 from, SInt32 to, const void *text, SInt32 length) {
  if (length < 0 || (length > 0 && text == nullptr)) return false;
  const SInt32 old = te.teLength;
  const SInt32 newLength = old - (to - from) + length;
  if (newLength > kMaxTextLength) return false;
  std::string joined(*te.hText, size_t(from));
  joined.append(static_cast<const char *>(text), size_t(length));
  joined.append(*te.hText + to, size_t(old - to));
  SetHandleSize(te.hText, newLength);
  if (MemError() != noErr) return false;
  if (newLength > 0) std::memcpy(*te.hText, joined.data(), size_t(newLength));
  te.teLength = SInt16(newLength);
  CountLines(te);
  return true;
}

}  // namespace

TEHandle TENew(const Rect *destRect, const Rect *viewRect) {
  TEHandle hTE = reinterpret_cast<TEHandle>(NewHandleClear(sizeof(TERec)));
  if (hTE == nullptr) return nullptr;
  TERec &te = **hTE;
  te.hText = NewHandle(0);
  if (te.hText == nullptr) {
    DisposeHandle(reinterpret_cast<Handle>(hTE));
    return nullptr;
  }
  if (destRect != nullptr) te.destRect = *destRect;
  if (viewRect != nullptr) te.viewRect = *viewRect;
  GrafPtr port = nullptr;
  GetPort(&port);
  te.inPort = port;
  te.active = 1;
  if (port != nullptr) {
    te.txFont = GetPortTextFont(port);
    te.txSize = GetPortTextSize(port);
    te.txFace = GetPortTextFace(port);
    te.txMode = GetPortTextMode(port);
    FontInfo info{};
    GetFontInfo(&info);
    te.fontAscent = info.ascent;
    te.lineHeight = SInt16(info.ascent + info.descent + info.leading);
  }
  return hTE;
}

void TEDispose(TEHandle hTE) {
  if (hTE == nullptr) return;
  if (*hTE != nullptr) DisposeHandle((**hTE).hText);
  DisposeHandle(reinterpret_cast<Handle>(hTE));
}

void TESetText(const void *text, SInt32 length, TEHandle hTE) {
  if (!Valid(hTE)) return;
  TERec &te = **hTE;
  if (Splice(te, 0, te.teLength, text, length)) te.selStart = te.selEnd = te.teLength;
}

void TEInsert(const void *text, SInt32 length, TEHandle hTE) {
  if (!Valid(hTE)) return;
  TERec &te = **hTE;
  const SInt32 at = Clamp(te.selStart, te.teLength);
  if (Splice(te, at, at, text, length)) {
    te.selStart = SInt16(at + length);
    te.selEnd = SInt16(Clamp(te.selEnd + length, te.teLength));
  }
}

void TEDelete(TEHandle hTE) {
  if (!Valid(hTE)) return;
  TERec &te = **hTE;
  const SInt32 from = Clamp(std::min(te.selStart, te.selEnd), te.teLength);
  const SInt32 to = Clamp(std::max(te.selStart, te.selEnd), te.teLength);
  if (Splice(te, from, to, nullptr, 0)) te.selStart = te.selEnd = SInt16(from);
}

void TECut(TEHandle hTE) {
  if (!Valid(hTE)) return;
  TERec &te = **hTE;
  const SInt32 from = Clamp(std::min(te.selStart, te.selEnd), te.teLength);
  const SInt32 to = Clamp(std::max(te.selStart, te.selEnd), te.teLength);
  {
    std::lock_guard<std::mutex> hold(gScrapLock);
    if (gScrap == nullptr) gScrap = NewHandle(0);
    if (gScrap == nullptr) return;
    SetHandleSize(gScrap, to - from);
    if (MemError() != noErr) return;  // keep the text when the scrap cannot take it
    if (to > from) std::memcpy(*gScrap, *te.hText + from, size_t(to - from));
  }
  TEDelete(hTE);
}

void TESetSelect(SInt32 selStart, SInt32 selEnd, TEHandle hTE) {
  if (!Valid(hTE)) return;
  TERec &te = **hTE;
  SInt32 a = Clamp(selStart, te.teLength), b = Clamp(selEnd, te.teLength);
  if (a > b) std::swap(a, b);
  te.selStart = SInt16(a);
  te.selEnd = SInt16(b);
}

void TEActivate(TEHandle hTE) {
  if (Valid(hTE)) (**hTE).active = 1;
}

void TEDeactivate(TEHandle hTE) {
  if (Valid(hTE)) (**hTE).active = 0;
}

void TEUpdate(const Rect *, TEHandle hTE) {
  if (!Valid(hTE) || (**hTE).inPort == nullptr) return;
  GrafPtr saved = nullptr;
  GetPort(&saved);
  TERec &te = **hTE;
  SetPort(te.inPort);
  const SInt16 font = GetPortTextFont(te.inPort), size = GetPortTextSize(te.inPort), mode = GetPortTextMode(te.inPort);
  const Style face = GetPortTextFace(te.inPort);
  TextFont(te.txFont);
  TextSize(te.txSize);
  TextFace(te.txFace);
  TextMode(te.txMode);
  SInt32 start = 0, line = 0;
  for (SInt32 i = 0; i <= te.teLength; ++i) {
    if (i == te.teLength || (*te.hText)[i] == '\r') {
      MoveTo(te.destRect.left, SInt16(te.destRect.top + te.fontAscent + line * te.lineHeight));
      DrawText(*te.hText, SInt16(start), SInt16(i - start));
      start = i + 1;
      ++line;
    }
  }
  TextFont(font);
  TextSize(size);
  TextFace(face);
  TextMode(mode);
  SetPort(saved);
}

SInt32 TEGetHeight(SInt32 endLine, SInt32 startLine, TEHandle hTE) {
  if (!Valid(hTE)) return 0;
  const TERec &te = **hTE;
  const SInt32 lines = std::max<SInt32>(te.nLines, 1);
  SInt32 a = std::clamp<SInt32>(startLine, 1, lines), b = std::clamp<SInt32>(endLine, 1, lines);
  if (a > b) std::swap(a, b);
  return (b - a + 1) * te.lineHeight;
}

Boolean TEContinuousStyle(SInt16 *mode, TextStyle *aStyle, TEHandle hTE) {
  if (mode == nullptr || aStyle == nullptr || !Valid(hTE)) return false;
  const TERec &te = **hTE;
  if (*mode & doFont) aStyle->tsFont = te.txFont;
  if (*mode & doFace) aStyle->tsFace = te.txFace;
  if (*mode & doSize) aStyle->tsSize = te.txSize;
  if (*mode & doColor) aStyle->tsColor = RGBColor{0, 0, 0};
  return true;
}

TEStyleHandle TEGetStyleHandle(TEHandle) { return nullptr; }

SInt32 TEGetScrapLength() {
  std::lock_guard<std::mutex> hold(gScrapLock);
  return gScrap == nullptr ? 0 : SInt32(GetHandleSize(gScrap));
}

Handle TEScrapHandle() {
  std::lock_guard<std::mutex> hold(gScrapLock);
  return gScrap;
}
