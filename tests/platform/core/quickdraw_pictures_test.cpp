// QuickDraw pictures of one image, drawn into offscreen worlds; Quartz images.
#include "platform/core/quickdraw_pictures.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/quartz_images.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// 2 x 2 picture: red, green / blue, white.
PicHandle Quad() {
  const UInt8 argb[16] = {255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255};
  Rect frame{0, 0, 2, 2};
  PicHandle pic = nullptr;
  EXPECT_EQ(noErr, PL_NewARGBPicture(&frame, 2, 2, argb, 8, &pic));
  return pic;
}

TEST(PlatformPictures, DrawsScaledAndClippedIntoTheCurrentWorld) {
  PicHandle pic = Quad();
  Rect bounds{0, 0, 3, 5};
  GWorldPtr world = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0));
  CGrafPtr saved = nullptr;
  GDHandle device = nullptr;
  GetGWorld(&saved, &device);
  SetGWorld(world, nullptr);
  // Twice the size, reaching past the right edge of the world.
  Rect dst{0, 1, 4, 5};
  DrawPicture(pic, &dst);
  EXPECT_EQ(noErr, PL_PictureError());
  SetGWorld(saved, device);
  PixMapHandle pm = GetGWorldPixMap(world);
  auto red = [&](int x, int y) { return UInt8(GetPixBaseAddr(pm)[y * GetPixRowBytes(pm) + 4 * x + 1]); };
  auto blue = [&](int x, int y) { return UInt8(GetPixBaseAddr(pm)[y * GetPixRowBytes(pm) + 4 * x + 3]); };
  EXPECT_EQ(0, red(0, 0));      // left of the destination: untouched
  EXPECT_EQ(255, red(1, 0));    // red quarter
  EXPECT_EQ(255, red(2, 1));
  EXPECT_EQ(0, red(3, 0));      // green quarter
  EXPECT_EQ(255, blue(1, 2));   // blue quarter
  EXPECT_EQ(255, red(4, 2));    // white quarter
  DisposeGWorld(world);
  KillPicture(pic);
}

TEST(PlatformPictures, IndexedTargetsTakeTheNearestDefaultColour) {
  EXPECT_EQ(0, PL_NearestDefaultIndex(255, 255, 255));
  EXPECT_EQ(255, PL_NearestDefaultIndex(0, 0, 0));
  EXPECT_EQ(0, PL_NearestDefaultIndex(250, 246, 240));  // near white is white
  for (int index : {0, 1, 35, 100, 214, 255}) {
    UInt8 r, g, b;
    PL_DefaultIndexedColor(UInt8(index), &r, &g, &b);
    EXPECT_EQ(index, PL_NearestDefaultIndex(r, g, b));
  }
}

TEST(PlatformPictures, DamagedPicturesAreRefused) {
  PicHandle pic = Quad();
  Handle h = reinterpret_cast<Handle>(pic);
  struct Case {
    const char *what;
    Size size;
    size_t poke;
    UInt8 value;
  };
  const Case cases[] = {{"cut inside the pixels", GetHandleSize(h) - 1, 0, 0},
                        {"cut inside the header", 12, 0, 0},
                        {"wrong tag", GetHandleSize(h), 10, 'X'},
                        {"width beyond the data", GetHandleSize(h), 14 + 3, 0x40}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Handle copy = h;
    ASSERT_EQ(noErr, HandToHand(&copy));
    SetHandleSize(copy, c.size);
    if (c.poke != 0) reinterpret_cast<UInt8 *>(*copy)[c.poke] ^= c.value;
    PicHandle bad = reinterpret_cast<PicHandle>(copy);
    EXPECT_EQ(paramErr, PL_GetPictureImage(bad, nullptr, nullptr, nullptr));
    Rect frame{1, 1, 1, 1};
    QDGetPictureBounds(bad, &frame);
    EXPECT_EQ(0, frame.right);
    Rect dst{0, 0, 2, 2};
    DrawPicture(bad, &dst);
    EXPECT_EQ(paramErr, PL_PictureError());
    KillPicture(bad);
  }
  KillPicture(pic);
}

TEST(PlatformQuartzImages, ImagesAreCountedCopies) {
  UInt8 pixels[2 * 12] = {};
  pixels[12 + 5] = 77;  // second row, second pixel's red
  CGImageRef image = PL_CGImageCreateARGB(2, 2, pixels, 12);
  ASSERT_NE(nullptr, image);
  pixels[12 + 5] = 0;
  EXPECT_EQ(8u, CGImageGetBytesPerRow(image));
  EXPECT_EQ(77, PL_CGImageGetARGBPixels(image)[8 + 5]);
  EXPECT_EQ(CGImageGetTypeID(), CFGetTypeID(image));
  CGImageRetain(image);
  CGImageRelease(image);
  CFRelease(image);
  EXPECT_EQ(nullptr, PL_CGImageCreateARGB(2, 2, pixels, 7));
  EXPECT_EQ(nullptr, PL_CGImageCreateARGB(0, 2, pixels, 12));
}

}  // namespace
