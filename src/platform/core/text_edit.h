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

// ---- TextEdit routines -----------------------------------------------------------------------------------
// Monostyled records over the current port's text state. Lines break at returns (13) only; text is bytes
// (at most 32767). Selection offsets are clamped to the text. TECut puts the selection in the TextEdit
// scrap (TEGetScrapLength / TEScrapHandle). TEUpdate draws each line in the record's port from destRect.

typedef struct TEStyleRec **TEStyleHandle;
enum : SInt16 { doFont = 1, doFace = 2, doSize = 4, doColor = 8, doAll = 15 };

// A record in the current port's font, size, face and mode; nullptr (MemError set) when memory runs out.
TEHandle TENew(const Rect *destRect, const Rect *viewRect);
void TEDispose(TEHandle hTE);
// Replaces the whole text; the selection becomes an insertion point at its end.
void TESetText(const void *text, SInt32 length, TEHandle hTE);
// Inserts before the selection without replacing it; the selection moves with the text after it.
void TEInsert(const void *text, SInt32 length, TEHandle hTE);
// Removes the selection; it becomes an insertion point where it began.
void TEDelete(TEHandle hTE);
// Copies the selection to the scrap, then removes it.
void TECut(TEHandle hTE);
void TESetSelect(SInt32 selStart, SInt32 selEnd, TEHandle hTE);
void TEActivate(TEHandle hTE);
void TEDeactivate(TEHandle hTE);
void TEUpdate(const Rect *rUpdate, TEHandle hTE);
// Height in pixels of the lines startLine to endLine (1-based, in either order, clamped to the text).
SInt32 TEGetHeight(SInt32 endLine, SInt32 startLine, TEHandle hTE);
// A monostyled record's style is continuous over any selection: true, with the record's font, face, size
// and black, for the attributes that `mode` asks about.
Boolean TEContinuousStyle(SInt16 *mode, TextStyle *aStyle, TEHandle hTE);
// nullptr: records made here carry no style runs.
TEStyleHandle TEGetStyleHandle(TEHandle hTE);
SInt32 TEGetScrapLength();
Handle TEScrapHandle();
