// QuickDraw stand-in, graphics devices: one device record per screen, in the device list, with its global
// rectangle, its pixel map (resolution and depth) and its attributes.
//
// The user-interface layer describes the screens with PL_SetScreens when it starts and whenever they
// change; before that, and in programs without a display, the list is empty. Device records live as long
// as the process: a screen that goes away keeps its record, without the screenActive attribute, so a
// GDHandle that a caller holds never dangles. Main thread only, like QuickDraw.
#pragma once

#include "platform/core/offscreen_worlds.h"

// Device attribute bits (TestDeviceAttribute, gdFlags).
enum : SInt16 {
  gdDevType = 0,
  hasAuxMenuBar = 6,
  ramInit = 10,
  mainScreen = 11,
  allInit = 12,
  screenDevice = 13,
  noDriver = 14,
  screenActive = 15,
};
// Device types (gdType).
enum : SInt16 { clutType = 0, fixedType = 1, directType = 2 };

// The device record that a GDHandle leads to.
struct OpaqueGDHandle {
  SInt16 gdRefNum;
  SInt16 gdID;
  SInt16 gdType;
  SInt16 gdFlags;  // attribute bits
  PixMapHandle gdPMap;
  SInt32 gdRefCon;
  GDHandle gdNextGD;
  Rect gdRect;  // global coordinates; the main screen's top left is (0, 0)
  SInt32 gdMode;
};
typedef OpaqueGDHandle GDevice;
typedef GDevice *GDPtr;

// The first device of the list; NULL when there is none.
GDHandle GetDeviceList();
// The device of the main screen (the one holding the menu bar); NULL when there is no screen.
GDHandle GetMainDevice();
// The next device of the list; NULL at its end or for NULL.
GDHandle GetNextDevice(GDHandle curDevice);
// The current device (the main device until SetGDevice chose another).
GDHandle GetGDevice();
void SetGDevice(GDHandle gd);
// Whether the attribute bit is set; false for NULL.
Boolean TestDeviceAttribute(GDHandle gdh, SInt16 attribute);
// The device's pixel map (borrowed, lives with the device); NULL for NULL.
PixMapHandle GetGDevPixMap(GDHandle gdh);
// The part of the device's rectangle where windows may be placed (without panels and docks), global
// coordinates. paramErr for a NULL device or rectangle.
OSStatus GetAvailableWindowPositioningBounds(GDHandle inDevice, Rect *outAvailableRect);

// ---- Our own helpers ----
// One screen as the user-interface layer sees it.
struct PL_ScreenInfo {
  Rect bounds;           // global coordinates
  Rect availableBounds;  // where windows may go
  Fixed hRes;            // pixels per inch
  Fixed vRes;
  SInt16 depth;  // bits per pixel
};
// Describes the screens, the main screen first. Records of screens beyond `count` lose screenActive.
// paramErr for a NULL array with a non-zero count.
OSStatus PL_SetScreens(const PL_ScreenInfo *screens, ItemCount count);
