// Text views and scroll views over the Multilingual Text Engine stand-in (platform/core/multilingual_text.h):
// a text view is a control of kind 'hitx' that owns a text object and shows it in a read-only QTextEdit;
// the text object is the model, so what the program writes (a file, the clipboard, a print) never comes
// from the widget. Carriage returns and line feeds show as line breaks, one character each, so offsets in
// the view are the object's offsets. A scroll view is a plain container that its one text view fills.
//
// Views made here begin outside any window; HIViewAddSubview puts them into a window (its root, a scroll
// view or a control of a nib), and their widgets follow. Printing goes through QtPrintSupport.
//
// Needs a QApplication. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/multilingual_text.h"

enum : OSType { kControlKindHIScrollView = 'scrl' };
enum : OptionBits {
  kHIScrollViewOptionsVertScroll = 1u << 0,
  kHIScrollViewOptionsHorizScroll = 1u << 1,
  kHIScrollViewOptionsAllowGrow = 1u << 2,
};

// *outTextView = a new text view (owned by the window it is put in; until then by this layer) with a new
// text object made with the frame options, its bounds at inBoundsRect (may be NULL). paramErr for a NULL
// result.
OSStatus HITextViewCreate(const HIRect *inBoundsRect, OptionBits inOptions, TXNFrameOptions inTXNFrameOptions,
                          HIViewRef *outTextView);
// The view's text object (borrowed: the view owns it); NULL for a view that is no text view.
TXNObject HITextViewGetTXNObject(HIViewRef inTextView);
// *outView = a new scroll view, as above.
OSStatus HIScrollViewCreate(OptionBits inOptions, HIViewRef *outView);

// Installs the clipboard and printing of text objects (done by the calls above; the start-up calls it too).
void PL_InstallTextViews();

// Test hooks. With a path, printing writes a PDF file there and page setup answers at once, no dialog
// shown; NULL shows the dialogs again.
void PL_SetPrintOutputFile(const char *pdfPath);
// The plain text of the last document printed (UTF-8; line breaks as '\n'); empty before any.
const char *PL_GetLastPrintedText();
