// Window Manager stand-in: titles through the installed window layer.
#include "platform/core/windows.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

namespace {

PL_WindowProcs gProcs{};
bool gInstalled = false;
PL_WindowPictureProcs gPictureProcs{};

}  // namespace

OSStatus PL_SetWindowProcs(const PL_WindowProcs *procs) {
  if (procs == nullptr) {
    gProcs = PL_WindowProcs{};
    gInstalled = false;
    return noErr;
  }
  if (procs->copyTitle == nullptr || procs->setTitle == nullptr) return paramErr;
  gProcs = *procs;
  gInstalled = true;
  return noErr;
}

OSStatus CopyWindowTitleAsCFString(WindowRef inWindow, CFStringRef *outString) {
  if (outString == nullptr) return paramErr;
  *outString = nullptr;
  if (!gInstalled) return unimpErr;
  if (inWindow == nullptr) return errInvalidWindowRef;
  OSStatus err = gProcs.copyTitle(inWindow, outString);
  if (err != noErr && *outString != nullptr) {
    CFRelease(*outString);
    *outString = nullptr;
  }
  return err;
}

OSStatus SetWindowTitleWithCFString(WindowRef inWindow, CFStringRef inString) {
  if (!gInstalled) return unimpErr;
  if (inWindow == nullptr) return errInvalidWindowRef;
  if (inString == nullptr) return paramErr;
  return gProcs.setTitle(inWindow, inString);
}

void GetWTitle(WindowRef theWindow, Str255 title) {
  if (title == nullptr) return;
  title[0] = 0;
  CFStringRef cfTitle = nullptr;
  if (CopyWindowTitleAsCFString(theWindow, &cfTitle) != noErr) return;
  CFIndex used = 0;
  CFStringGetBytes(cfTitle, CFRange{0, CFStringGetLength(cfTitle)}, kCFStringEncodingUTF8, 0, false, title + 1, 255,
                   &used);
  title[0] = UInt8(used);
  CFRelease(cfTitle);
}

void SetWTitle(WindowRef theWindow, ConstStr255Param title) {
  if (title == nullptr) return;
  // A title with bytes that are no UTF-8 (an old one-byte ellipsis) is read as Mac Roman.
  CFStringRef cfTitle = CFStringCreateWithPascalString(nullptr, title, kCFStringEncodingUTF8);
  if (cfTitle == nullptr) cfTitle = CFStringCreateWithPascalString(nullptr, title, kCFStringEncodingMacRoman);
  if (cfTitle == nullptr) return;
  SetWindowTitleWithCFString(theWindow, cfTitle);
  CFRelease(cfTitle);
}

OSStatus PL_SetWindowPictureProcs(const PL_WindowPictureProcs *procs) {
  if (procs == nullptr) {
    gPictureProcs = PL_WindowPictureProcs{};
    return noErr;
  }
  if (procs->setPicture == nullptr || procs->getPicture == nullptr) return paramErr;
  gPictureProcs = *procs;
  return noErr;
}

void SetWindowPic(WindowRef window, PicHandle pic) {
  if (gPictureProcs.setPicture != nullptr && window != nullptr) gPictureProcs.setPicture(window, pic);
}

PicHandle GetWindowPic(WindowRef window) {
  if (gPictureProcs.getPicture == nullptr || window == nullptr) return nullptr;
  return gPictureProcs.getPicture(window);
}
