#include "support/solid_pictures.h"

#include "platform/core/mac_errors.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/core/quickdraw_ports.h"

namespace bz_test {

PicHandle SolidPicture(SInt16 width, SInt16 height, RGBColor color) {
  const Rect frame{0, 0, height, width};
  GWorldPtr world = nullptr;
  if (NewGWorld(&world, 32, &frame, nullptr, nullptr, 0) != noErr) return nullptr;
  CGrafPtr savedPort = nullptr;
  GDHandle savedDevice = nullptr;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(world, nullptr);
  const OpenCPicParams params{frame, 72 << 16, 72 << 16, -2, 0, 0};
  PicHandle picture = OpenCPicture(&params);
  RGBForeColor(&color);
  PaintRect(&frame);
  ClosePicture();
  SetGWorld(savedPort, savedDevice);
  DisposeGWorld(world);
  return picture;
}

}  // namespace bz_test
