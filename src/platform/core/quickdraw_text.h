// QuickDraw stand-in, text part: the current port's font, size, face and mode, and the measuring and
// drawing of text, which the port's back end does (quickdraw_ports.h, PL_PortDrawProcs).
//
// Text is bytes in the system encoding (UTF-8; a byte that is no part of a UTF-8 character is read as Mac
// Roman, so the library's one-byte ellipsis shows as one). Sizes are in pixels; 0 stands for the font's
// standard size. A call without a current port sets QDError to paramErr; on a port whose back end cannot
// measure or draw text it sets unimpErr. A failed measurement answers 0, never a guessed width.
// Main thread only, like every port call.
#pragma once

#include "platform/core/quickdraw_ports.h"

// Face bits (Style).
enum : Style {
  normal = 0,
  bold = 1,
  italic = 2,
  underline = 4,
  outline = 8,
  shadow = 0x10,
  condense = 0x20,
  extend = 0x40,
};

// The metrics of the current font in pixels.
struct FontInfo {
  SInt16 ascent;
  SInt16 descent;
  SInt16 widMax;
  SInt16 leading;
};

typedef SInt16 CharParameter;
typedef SInt16 TruncCode;
// Where TruncString cuts, and its results (an error is negative).
enum : TruncCode { truncEnd = 0, truncMiddle = 0x4000, smTruncEnd = 0, smTruncMiddle = 0x4000 };
enum : SInt16 { notTruncated = 0, truncated = 1, truncErr = -1, smNotTruncated = 0, smTruncated = 1, smTruncErr = -1 };

// The text state of the current port.
void TextFont(SInt16 font);
void TextFace(StyleParameter face);
void TextSize(SInt16 size);
void TextMode(SInt16 mode);

// Widths in pixels in the current port's font; 0 when the measurement fails (see QDError).
SInt16 StringWidth(ConstStr255Param s);
// byteCount bytes of textBuf from firstByte on.
SInt16 TextWidth(const void *textBuf, SInt16 firstByte, SInt16 byteCount);
// One byte, read as the encoding above reads a lone byte.
SInt16 CharWidth(CharParameter ch);
// Zeroed when the measurement fails.
void GetFontInfo(FontInfo *info);

// Shortens theString so that it is at most width pixels wide, cutting whole characters at its end
// (truncEnd) or in its middle (truncMiddle) and putting the ellipsis character "…" (three bytes) in the
// cut; the result stays within 255 bytes. notTruncated when it already fits, truncated when it was cut (to
// the empty string when not even the ellipsis fits), truncErr for a negative width, a NULL string or a
// failed measurement (QDError tells which).
SInt16 TruncString(SInt16 width, Str255 theString, TruncCode truncWhere);

// Draws at the pen location (the left end of the baseline) and moves the pen right by the text's width.
// A picture open in the port records the text even when the port cannot draw it (QDError unimpErr).
void DrawString(ConstStr255Param s);
void DrawText(const void *textBuf, SInt16 firstByte, SInt16 byteCount);
void DrawChar(CharParameter ch);
