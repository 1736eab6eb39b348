#include "platform/core/cursors.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex gLock;
Cursor gCurrent{};
bool gSet = false;
CursPtr gCursors[4] = {};
CursPtr gMasters[4] = {};

Cursor Arrow() {
  Cursor c{};
  c.hotSpot = Point{1, 1};
  return c;
}

}  // namespace

CursHandle GetCursor(SInt16 cursorID) {
  if (cursorID < iBeamCursor || cursorID > watchCursor) return nullptr;
  std::lock_guard<std::mutex> hold(gLock);
  const int i = cursorID - 1;
  if (gCursors[i] == nullptr) {
    gCursors[i] = new Cursor{};
    gCursors[i]->data[0] = cursorID;  // tells the shapes apart
    gCursors[i]->hotSpot = Point{8, 8};
    gMasters[i] = gCursors[i];
  }
  return &gMasters[i];
}

void SetCursor(const Cursor *crsr) {
  if (crsr == nullptr) return;
  std::lock_guard<std::mutex> hold(gLock);
  gCurrent = *crsr;
  gSet = true;
}

Cursor *GetQDGlobalsArrow(Cursor *arrow) {
  if (arrow != nullptr) *arrow = Arrow();
  return arrow;
}

void PL_GetCurrentCursor(Cursor *crsr) {
  if (crsr == nullptr) return;
  std::lock_guard<std::mutex> hold(gLock);
  *crsr = gSet ? gCurrent : Arrow();
}
