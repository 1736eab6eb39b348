// TextEdit stand-in: the edit record, as far as code that measures or lays out its text reads and writes
// it (font, size, face and mode of its text, its port, line height and ascent). The toolkit's text views
// are Qt's; this record only carries the style values between the library routines that use them.
#pragma once

#include "platform/core/quickdraw_ports.h"

// A run's style: font family number, face, size and colour.
struct TextStyle {
  SInt16 tsFont;
  Style tsFace;
  SInt16 tsSize;
  RGBColor tsColor;
};

struct TERec {
  Rect destRect;
  Rect viewRect;
  Rect selRect;
  SInt16 lineHeight;  // pixels from one baseline to the next
  SInt16 fontAscent;  // pixels above the baseline of the first line
  SInt16 selStart;
  SInt16 selEnd;
  SInt16 active;
  SInt16 just;
  SInt16 teLength;
  Handle hText;
  SInt16 txFont;
  Style txFace;
  SInt16 txMode;
  SInt16 txSize;
  GrafPtr inPort;
  SInt16 nLines;
};
typedef TERec *TEPtr;
typedef TEPtr *TEHandle;
