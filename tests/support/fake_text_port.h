// A port whose text back end measures by rule instead of by font, so that tests of text routines know
// every width: each character (a UTF-8 character, or a stray byte) is `size` pixels wide (size 0 counts
// as 10), 'i' half of that, and bold adds one pixel per character. The font number only shows in the
// font info's leading, so tests can see which font a measurement used.
#pragma once

#include "platform/core/quickdraw_text.h"

#include <string>
#include <vector>

struct FakeTextMeasurement {
  std::string text;
  SInt16 font;
  SInt16 size;
  Style face;
};

struct FakeTextDrawing {
  std::string text;
  Point pen;
};

struct FakeTextPort {
  GrafPtr port = nullptr;
  std::vector<FakeTextMeasurement> measured;
  std::vector<FakeTextDrawing> drawn;
};

// A new port with the fake back end (owned; DisposeFakeTextPort). bounds: 0, 0, 100, 400.
FakeTextPort *NewFakeTextPort();
void DisposeFakeTextPort(FakeTextPort *fake);
// The width the fake back end gives a text in a size and face.
SInt32 FakeTextWidth(const std::string &text, SInt16 size, Style face);
