// QuickDraw stand-in: text state of the current port and the forwarding of text to the port's back end.
#include "platform/core/quickdraw_text.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kEllipsis[] = "\xE2\x80\xA6";  // "…" in UTF-8

// The current port, or NULL after setting QDError to paramErr.
GrafPtr CurrentPort() {
  GrafPtr port = nullptr;
  GetPort(&port);
  if (port == nullptr) PL_SetQDError(paramErr);
  return port;
}

// Measures on the current port: noErr and the width, or the error (also left in QDError).
OSStatus Measure(const char *text, size_t byteCount, SInt32 *width) {
  *width = 0;
  GrafPtr port = CurrentPort();
  if (port == nullptr) return paramErr;
  const PL_PortDrawProcs *procs = PL_GetPortDrawProcs(port);
  if (procs == nullptr || procs->measureText == nullptr) {
    PL_SetQDError(unimpErr);
    return unimpErr;
  }
  OSStatus err = procs->measureText(port, text, SInt32(byteCount), width);
  if (err != noErr) *width = 0;
  PL_SetQDError(OSErr(err));
  return err;
}

SInt16 Clamp16(SInt32 value) { return SInt16(std::clamp<SInt32>(value, -32768, 32767)); }

void Draw(const char *text, size_t byteCount) {
  GrafPtr port = CurrentPort();
  if (port == nullptr) return;
  PenState pen{};
  GetPenState(&pen);
  // A picture open in the port keeps the text even when the port itself cannot draw it.
  const PL_PortDrawProcs *recorder = PL_GetPortRecorder(port);
  if (recorder != nullptr && recorder->drawText != nullptr) {
    SInt32 ignored = 0;
    recorder->drawText(port, text, SInt32(byteCount), pen.pnLoc, &ignored);
  }
  const PL_PortDrawProcs *procs = PL_GetPortDrawProcs(port);
  if (procs == nullptr || procs->drawText == nullptr) {
    PL_SetQDError(unimpErr);
    return;
  }
  SInt32 advance = 0;
  OSStatus err = procs->drawText(port, text, SInt32(byteCount), pen.pnLoc, &advance);
  PL_SetQDError(OSErr(err));
  if (err == noErr) Move(Clamp16(advance), 0);
}

// Offsets at which characters start (UTF-8 lead bytes and stray bytes), plus the end.
std::vector<size_t> CharacterStarts(const std::string &s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  starts.push_back(s.size());
  return starts;
}

}  // namespace

void TextFont(SInt16 font) {
  if (GrafPtr port = CurrentPort()) SetPortTextFont(port, font);
}
void TextFace(StyleParameter face) {
  if (GrafPtr port = CurrentPort()) SetPortTextFace(port, face);
}
void TextSize(SInt16 size) {
  if (GrafPtr port = CurrentPort()) SetPortTextSize(port, size);
}
void TextMode(SInt16 mode) {
  if (GrafPtr port = CurrentPort()) SetPortTextMode(port, mode);
}

SInt16 StringWidth(ConstStr255Param s) {
  if (s == nullptr) {
    PL_SetQDError(paramErr);
    return 0;
  }
  SInt32 width = 0;
  Measure(reinterpret_cast<const char *>(s + 1), s[0], &width);
  return Clamp16(width);
}

SInt16 TextWidth(const void *textBuf, SInt16 firstByte, SInt16 byteCount) {
  if (byteCount <= 0) {
    PL_SetQDError(noErr);
    return 0;
  }
  if (textBuf == nullptr || firstByte < 0) {
    PL_SetQDError(paramErr);
    return 0;
  }
  SInt32 width = 0;
  Measure(static_cast<const char *>(textBuf) + firstByte, size_t(byteCount), &width);
  return Clamp16(width);
}

SInt16 CharWidth(CharParameter ch) {
  const char c = char(ch & 0xFF);
  SInt32 width = 0;
  Measure(&c, 1, &width);
  return Clamp16(width);
}

void GetFontInfo(FontInfo *info) {
  if (info == nullptr) {
    PL_SetQDError(paramErr);
    return;
  }
  *info = FontInfo{};
  GrafPtr port = CurrentPort();
  if (port == nullptr) return;
  const PL_PortDrawProcs *procs = PL_GetPortDrawProcs(port);
  if (procs == nullptr || procs->getFontInfo == nullptr) {
    PL_SetQDError(unimpErr);
    return;
  }
  OSStatus err = procs->getFontInfo(port, info);
  if (err != noErr) *info = FontInfo{};
  PL_SetQDError(OSErr(err));
}

SInt16 TruncString(SInt16 width, Str255 theString, TruncCode truncWhere) {
  if (theString == nullptr || width < 0) {
    PL_SetQDError(paramErr);
    return truncErr;
  }
  const std::string text(reinterpret_cast<const char *>(theString + 1), theString[0]);
  SInt32 measured = 0;
  if (Measure(text.data(), text.size(), &measured) != noErr) return truncErr;
  if (measured <= width) return notTruncated;

  // Keep k of the n characters, from n - 1 down, until the shortened text fits; the widths grow with k,
  // but a walk from the longest keeps this right for fonts whose kerning makes them not quite monotonic.
  const std::vector<size_t> starts = CharacterStarts(text);
  const size_t n = starts.size() - 1;
  const bool middle = truncWhere == truncMiddle;
  std::string fitted;
  for (size_t k = n; k-- > 0;) {
    const size_t head = middle ? (k + 1) / 2 : k;
    const size_t tail = k - head;
    std::string candidate = text.substr(0, starts[head]);
    candidate += kEllipsis;
    candidate += text.substr(starts[n - tail]);
    if (candidate.size() > 255) continue;
    if (Measure(candidate.data(), candidate.size(), &measured) != noErr) return truncErr;
    if (measured <= width) {
      fitted = candidate;
      break;
    }
  }
  std::memcpy(theString + 1, fitted.data(), fitted.size());
  theString[0] = UInt8(fitted.size());
  PL_SetQDError(noErr);
  return truncated;
}

void DrawString(ConstStr255Param s) {
  if (s == nullptr) {
    PL_SetQDError(paramErr);
    return;
  }
  Draw(reinterpret_cast<const char *>(s + 1), s[0]);
}

void DrawText(const void *textBuf, SInt16 firstByte, SInt16 byteCount) {
  if (byteCount <= 0) {
    PL_SetQDError(noErr);
    return;
  }
  if (textBuf == nullptr || firstByte < 0) {
    PL_SetQDError(paramErr);
    return;
  }
  Draw(static_cast<const char *>(textBuf) + firstByte, size_t(byteCount));
}

void DrawChar(CharParameter ch) {
  const char c = char(ch & 0xFF);
  Draw(&c, 1);
}
