// QuickDraw pictures of one image, drawn into offscreen worlds; Quartz images.
#include "platform/core/quickdraw_pictures.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/quartz_images.h"
#include "platform/core/quickdraw_pixels.h"
#include "platform/core/quickdraw_text.h"
#include "support/fake_text_port.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

// An ARGB world made current for the test's lifetime, cleared to a colour no drawing uses.
struct Canvas {
  GWorldPtr world = nullptr;
  CGrafPtr saved = nullptr;
  GDHandle device = nullptr;
  explicit Canvas(Rect bounds) {
    EXPECT_EQ(noErr, QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0));
    GetGWorld(&saved, &device);
    SetGWorld(world, nullptr);
    const RGBColor grey{0x8080, 0x8080, 0x8080};
    RGBBackColor(&grey);
    EraseRect(&bounds);
  }
  ~Canvas() {
    SetGWorld(saved, device);
    DisposeGWorld(world);
  }
  UInt32 At(int x, int y) const {
    const PixMap &pm = **GetGWorldPixMap(world);
    const UInt8 *p = reinterpret_cast<const UInt8 *>(pm.baseAddr) + (y - pm.bounds.top) * pm.rowBytes +
                     4 * (x - pm.bounds.left);
    return UInt32(p[0]) << 24 | UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3];
  }
};
constexpr UInt32 kGrey = 0xFF808080, kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// Records a 4 x 4 picture into the current port: the top half painted red, a 2 x 2 image (green, blue /
// blue, green) copied into the bottom right quarter, the bottom left quarter not drawn.
PicHandle RecordSample() {
  Rect srcBounds{0, 0, 2, 2};
  GWorldPtr image = nullptr;
  EXPECT_EQ(noErr, QTNewGWorld(&image, k32ARGBPixelFormat, &srcBounds, nullptr, nullptr, 0));
  const UInt8 pixels[2][8] = {{255, 0, 255, 0, 255, 0, 0, 255}, {255, 0, 0, 255, 255, 0, 255, 0}};
  PixMap &pm = **GetGWorldPixMap(image);
  for (int y = 0; y < 2; ++y) std::memcpy(pm.baseAddr + y * pm.rowBytes, pixels[y], 8);
  Rect frame{0, 0, 4, 4};
  PicHandle pic = OpenPicture(&frame);
  EXPECT_NE(nullptr, pic);
  const RGBColor red{0xFFFF, 0, 0};
  RGBForeColor(&red);
  Rect top{0, 0, 2, 4}, quarter{2, 2, 4, 4};
  PaintRect(&top);
  CGrafPtr port = nullptr;
  GetGWorld(&port, nullptr);
  CopyBits(GetPortBitMapForCopyBits(image), GetPortBitMapForCopyBits(port), &srcBounds, &quarter, srcCopy, nullptr);
  ClosePicture();
  EXPECT_EQ(noErr, PL_PictureError());
  DisposeGWorld(image);
  return pic;
}

// The sample's colour at (x, y) of its frame; kGrey where it draws nothing.
UInt32 Sample(int x, int y) {
  if (y < 2) return kRed;
  if (x < 2) return kGrey;
  return ((x + y) % 2 == 0) ? kGreen : kBlue;
}

TEST(PlatformPictureRecording, ReplaysWhatWasDrawnAtAnyScale) {
  PicHandle pic = nullptr;
  {
    Canvas recording(Rect{0, 0, 4, 4});
    pic = RecordSample();
    ASSERT_NE(nullptr, pic);
    // Drawing while recording still reaches the world's pixels.
    EXPECT_EQ(kRed, recording.At(3, 0));
    EXPECT_EQ(kBlue, recording.At(3, 2));
  }
  Rect frame;
  QDGetPictureBounds(pic, &frame);
  EXPECT_TRUE(frame.right == 4 && frame.bottom == 4);

  struct Case {
    const char *what;
    Rect dst;
    int scale;
  };
  const Case cases[] = {{"as recorded", {0, 0, 4, 4}, 1}, {"twice the size", {0, 0, 8, 8}, 2},
                        {"moved and three times the size", {2, 2, 14, 14}, 3}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Canvas canvas(Rect{0, 0, 14, 14});
    DrawPicture(pic, &c.dst);
    ASSERT_EQ(noErr, PL_PictureError());
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 14; ++x) {
        const bool inside = x >= c.dst.left && x < c.dst.right && y >= c.dst.top && y < c.dst.bottom;
        const UInt32 want = inside ? Sample((x - c.dst.left) / c.scale, (y - c.dst.top) / c.scale) : kGrey;
        ASSERT_EQ(want, canvas.At(x, y)) << "at " << x << ", " << y;
      }
  }

  // Readers of the picture's image see the drawing over transparent white.
  SInt32 width = 0, height = 0;
  const UInt8 *argb = nullptr;
  ASSERT_EQ(noErr, PL_GetPictureImage(pic, &width, &height, &argb));
  EXPECT_EQ(4, width);
  EXPECT_EQ(255, argb[1]);                // red top
  EXPECT_EQ(0, argb[(2 * 4 + 0) * 4]);    // bottom left: alpha 0
  EXPECT_EQ(255, argb[(2 * 4 + 3) * 4 + 3]);  // bottom right of the third row: blue
  KillPicture(pic);
}

TEST(PlatformPictureRecording, PicturesDrawnIntoPicturesAndClipping) {
  Canvas canvas(Rect{0, 0, 8, 8});
  PicHandle inner = RecordSample();
  // A picture of twice the size that draws the sample over its whole frame.
  Rect frame{0, 0, 8, 8};
  OpenCPicParams params{frame, 144 << 16, 144 << 16, -2, 0, 0};
  PicHandle outer = OpenCPicture(&params);
  ASSERT_NE(nullptr, outer);
  DrawPicture(inner, &frame);
  ClosePicture();
  ASSERT_EQ(noErr, PL_PictureError());

  PictInfo info;
  ASSERT_EQ(noErr, GetPictInfo(outer, &info, 0, 0, 0, 0));
  EXPECT_EQ(144 << 16, info.hRes);
  EXPECT_TRUE(info.sourceRect.right == 8 && info.sourceRect.bottom == 8);

  // Replayed at its own size with the right half clipped away.
  Rect all{0, 0, 8, 8};
  EraseRect(&all);
  Rect left{0, 0, 8, 4};
  ClipRect(&left);
  DrawPicture(outer, &frame);
  ClipRect(&all);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(x < 4 ? Sample(x / 2, y / 2) : kGrey, canvas.At(x, y)) << "at " << x << ", " << y;

  // A picture recorded under a clip keeps only what was inside it, the image cut rather than squeezed.
  Rect most{0, 0, 8, 6};
  ClipRect(&most);
  PicHandle clipped = OpenPicture(&frame);
  DrawPicture(inner, &frame);
  ClosePicture();
  ClipRect(&all);
  EraseRect(&all);
  DrawPicture(clipped, &frame);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(x < 6 ? Sample(x / 2, y / 2) : kGrey, canvas.At(x, y)) << "at " << x << ", " << y;
  KillPicture(clipped);
  KillPicture(outer);
  KillPicture(inner);
}

TEST(PlatformPictureRecording, FramesAwayFromTheOrigin) {
  // The middle of the sample, recorded as a picture whose frame is that part of the port.
  Canvas canvas(Rect{0, 0, 8, 8});
  PicHandle sample = RecordSample();
  Rect middle{1, 1, 3, 3}, whole{0, 0, 4, 4};
  ClipRect(&middle);
  PicHandle part = OpenPicture(&middle);
  DrawPicture(sample, &whole);
  ClosePicture();
  Rect all{0, 0, 8, 8};
  ClipRect(&all);
  EraseRect(&all);
  Rect frame;
  QDGetPictureBounds(part, &frame);
  EXPECT_TRUE(frame.left == 1 && frame.top == 1 && frame.right == 3 && frame.bottom == 3);
  // Drawn at the origin, three times its size.
  Rect dst{0, 0, 6, 6};
  DrawPicture(part, &dst);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(x < 6 && y < 6 ? Sample(1 + x / 3, 1 + y / 3) : kGrey, canvas.At(x, y)) << "at " << x << ", " << y;
  KillPicture(part);
  KillPicture(sample);
}

TEST(PlatformPictureRecording, InfoCountsWhatWasDrawn) {
  Canvas canvas(Rect{0, 0, 4, 4});
  PicHandle pic = RecordSample();
  PictInfo info;
  ASSERT_EQ(noErr, GetPictInfo(pic, &info, 0, 0, 0, 0));
  EXPECT_EQ(72 << 16, info.hRes);
  EXPECT_EQ(72 << 16, info.vRes);
  EXPECT_EQ(32, info.depth);
  EXPECT_TRUE(info.sourceRect.right == 4 && info.sourceRect.bottom == 4);
  EXPECT_EQ(1, info.rectCount);
  EXPECT_EQ(1, info.pixMapCount);
  EXPECT_EQ(3, info.uniqueColors);  // red, green, blue
  EXPECT_EQ(nullptr, info.theColorTable);

  // An image picture is one pixel map at 72 pixels per inch.
  PicHandle quad = Quad();
  ASSERT_EQ(noErr, GetPictInfo(quad, &info, suppressBlackAndWhite, 0, 0, 0));
  EXPECT_EQ(1, info.pixMapCount);
  EXPECT_EQ(3, info.uniqueColors);  // white left out
  EXPECT_EQ(72 << 16, info.hRes);

  struct Case {
    const char *what;
    PicHandle pic;
    PictInfo *info;
    SInt16 verb, version;
    OSErr err;
  };
  const Case cases[] = {{"no record", pic, nullptr, 0, 0, paramErr},
                        {"no picture", nullptr, &info, 0, 0, pictureDataErr},
                        {"another version", pic, &info, 0, 1, pictInfoVersionErr},
                        {"unknown verb", pic, &info, 0x100, 0, pictInfoVerbErr},
                        {"a colour table", pic, &info, returnColorTable, 0, unimpErr},
                        {"a palette", pic, &info, returnPalette, 0, unimpErr}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.err, GetPictInfo(c.pic, c.info, c.verb, 256, 0, c.version));
  }
  KillPicture(quad);
  KillPicture(pic);
}

TEST(PlatformPictureRecording, MisuseAndDamageAreReported) {
  Rect frame{0, 0, 4, 4};
  // Nothing to record into.
  CGrafPtr saved = nullptr;
  GDHandle device = nullptr;
  GetGWorld(&saved, &device);
  SetGWorld(nullptr, nullptr);
  EXPECT_EQ(nullptr, OpenPicture(&frame));
  EXPECT_EQ(paramErr, PL_PictureError());
  ClosePicture();
  EXPECT_EQ(paramErr, PL_PictureError());
  SetGWorld(saved, device);
  KillPicture(nullptr);

  Canvas canvas(Rect{0, 0, 4, 4});
  Rect empty{0, 0, 0, 4};
  EXPECT_EQ(nullptr, OpenPicture(&empty));
  OpenCPicParams noRes{frame, 0, 72 << 16, -2, 0, 0};
  EXPECT_EQ(nullptr, OpenCPicture(&noRes));
  ClosePicture();  // nothing open
  EXPECT_EQ(paramErr, PL_PictureError());

  // One picture per port at a time; killing an open picture ends its recording.
  PicHandle first = OpenPicture(&frame);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(nullptr, OpenPicture(&frame));
  PictInfo info;
  EXPECT_EQ(pictureDataErr, GetPictInfo(first, &info, 0, 0, 0, 0));  // not finished yet
  KillPicture(first);
  PaintRect(&frame);
  EXPECT_EQ(noErr, QDError());
  PicHandle second = OpenPicture(&frame);
  ASSERT_NE(nullptr, second);
  ClosePicture();
  EXPECT_EQ(noErr, GetPictInfo(second, &info, 0, 0, 0, 0));
  EXPECT_EQ(0, info.uniqueColors);  // an empty picture draws nothing
  EraseRect(&frame);
  DrawPicture(second, &frame);
  EXPECT_EQ(noErr, PL_PictureError());
  EXPECT_EQ(kGrey, canvas.At(0, 0));
  KillPicture(second);

  // A world disposed while its picture is open leaves an unfinished picture behind.
  PicHandle orphan = nullptr;
  {
    Canvas gone(Rect{0, 0, 4, 4});
    orphan = OpenPicture(&frame);
    ASSERT_NE(nullptr, orphan);
  }
  DrawPicture(orphan, &frame);
  EXPECT_EQ(paramErr, PL_PictureError());
  KillPicture(orphan);

  // A recorded picture cut short anywhere behind its image is refused, not read past its end.
  PicHandle pic = RecordSample();
  Handle h = reinterpret_cast<Handle>(pic);
  const Size full = GetHandleSize(h), image = Size(sizeof(Picture) + 12 + 4 * 4 * 4);
  for (Size cut : {image + 8, image + 16 + 10, full - 1}) {
    SCOPED_TRACE(cut);
    Handle copy = h;
    ASSERT_EQ(noErr, HandToHand(&copy));
    SetHandleSize(copy, cut);
    PicHandle bad = reinterpret_cast<PicHandle>(copy);
    DrawPicture(bad, &frame);
    EXPECT_EQ(paramErr, PL_PictureError());
    EXPECT_EQ(pictureDataErr, GetPictInfo(bad, &info, 0, 0, 0, 0));
    KillPicture(bad);
  }
  KillPicture(pic);
}

TEST(PlatformPictureRecording, LinesAreDrawnRecordedAndScaled) {
  PicHandle pic = nullptr;
  {
    Canvas canvas(Rect{0, 0, 8, 8});
    Rect frame{0, 0, 8, 8};
    pic = OpenPicture(&frame);
    ASSERT_NE(nullptr, pic);
    const RGBColor red{0xFFFF, 0, 0};
    RGBForeColor(&red);
    PenSize(2, 1);
    MoveTo(1, 1);
    LineTo(5, 1);  // the pen hangs right: columns 1 to 6
    PenSize(1, 1);
    MoveTo(0, 3);
    Line(3, 3);  // a diagonal: one pixel per step
    PenSize(0, 1);
    LineTo(7, 7);  // no pen, no pixels; the pen moves all the same
    ClosePicture();
    ASSERT_EQ(noErr, PL_PictureError());
    PenState pen;
    GetPenState(&pen);
    EXPECT_TRUE(pen.pnLoc.h == 7 && pen.pnLoc.v == 7);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool on = (y == 1 && x >= 1 && x <= 6) || (x <= 3 && y == x + 3);
        ASSERT_EQ(on ? kRed : kGrey, canvas.At(x, y)) << "at " << x << ", " << y;
      }
  }
  PictInfo info;
  ASSERT_EQ(noErr, GetPictInfo(pic, &info, 0, 0, 0, 0));
  EXPECT_EQ(2, info.lineCount);
  // Replayed twice the size: each line pixel a 2 x 2 block.
  Canvas canvas(Rect{0, 0, 16, 16});
  Rect dst{0, 0, 16, 16};
  DrawPicture(pic, &dst);
  EXPECT_EQ(noErr, PL_PictureError());
  EXPECT_EQ(kRed, canvas.At(13, 3));
  EXPECT_EQ(kGrey, canvas.At(14, 3));
  EXPECT_EQ(kRed, canvas.At(7, 13));
  EXPECT_EQ(kGrey, canvas.At(8, 13));
  KillPicture(pic);
}

// Collects what a picture hands to a painter.
struct Painted {
  std::vector<PL_PictureText> texts;
  std::vector<std::string> strings;
  int fills = 0;
};

TEST(PlatformPictureRecording, TextIsKeptWithItsFontAndGivenToPainters) {
  FakeTextPort *fake = NewFakeTextPort();
  GrafPtr saved = nullptr;
  GetPort(&saved);
  SetPort(fake->port);
  Rect frame{0, 0, 20, 40};
  PicHandle pic = OpenPicture(&frame);
  ASSERT_NE(nullptr, pic);
  TextFont(3);
  TextSize(10);
  TextFace(bold);
  const RGBColor red{0xFFFF, 0, 0};
  RGBForeColor(&red);
  MoveTo(2, 12);
  const UInt8 ab[] = {2, 'a', 'b'}, cd[] = {2, 'c', 'd'};
  DrawString(ab);
  DrawString(cd);  // where the port's pen went after "ab"
  ClosePicture();
  ASSERT_EQ(noErr, PL_PictureError());
  SetPort(saved);
  ASSERT_EQ(2u, fake->drawn.size());
  DisposeFakeTextPort(fake);

  PictInfo info;
  ASSERT_EQ(noErr, GetPictInfo(pic, &info, 0, 0, 0, 0));
  EXPECT_EQ(2, info.textCount);
  EXPECT_EQ(1, info.uniqueColors);

  // Twice the size: pens and sizes follow.
  Painted painted;
  PL_PictureReplayProcs procs{};
  procs.fill = [](void *refCon, const Rect *, const UInt8 *) { ++static_cast<Painted *>(refCon)->fills; };
  procs.text = [](void *refCon, const PL_PictureText *text) {
    auto *p = static_cast<Painted *>(refCon);
    p->texts.push_back(*text);
    p->strings.emplace_back(text->bytes, size_t(text->byteCount));
  };
  Rect dst{0, 0, 40, 80};
  ASSERT_EQ(noErr, PL_ReplayPicture(pic, &dst, &procs, &painted));
  ASSERT_EQ(2u, painted.texts.size());
  EXPECT_EQ(0, painted.fills);
  EXPECT_EQ("ab", painted.strings[0]);
  EXPECT_EQ("cd", painted.strings[1]);
  const SInt32 abWidth = FakeTextWidth("ab", 10, bold);
  EXPECT_TRUE(painted.texts[0].pen.h == 4 && painted.texts[0].pen.v == 24);
  EXPECT_EQ(2 * (2 + abWidth), painted.texts[1].pen.h);
  EXPECT_EQ(3, painted.texts[0].font);
  EXPECT_EQ(20, painted.texts[0].size);
  EXPECT_EQ(bold, painted.texts[0].face);
  EXPECT_EQ(255, painted.texts[0].argb[1]);
  EXPECT_EQ(0, painted.texts[0].argb[2]);
  EXPECT_EQ(paramErr, PL_ReplayPicture(pic, nullptr, &procs, &painted));
  // A text cut short is refused, not read past the picture's end.
  Handle cut = reinterpret_cast<Handle>(pic);
  ASSERT_EQ(noErr, HandToHand(&cut));
  SetHandleSize(cut, GetHandleSize(cut) - 1);
  EXPECT_EQ(paramErr, PL_ReplayPicture(reinterpret_cast<PicHandle>(cut), &dst, &procs, &painted));
  KillPicture(reinterpret_cast<PicHandle>(cut));

  // A world draws no text: the rest of the picture is drawn and the text reported as left out.
  {
    Canvas canvas(Rect{0, 0, 20, 40});
    DrawPicture(pic, &frame);
    EXPECT_EQ(unimpErr, PL_PictureError());
    EXPECT_EQ(kGrey, canvas.At(3, 11));
    // Text drawn into a world's picture is kept all the same.
    PicHandle worldPic = OpenPicture(&frame);
    MoveTo(1, 10);
    DrawString(ab);
    EXPECT_EQ(unimpErr, QDError());
    ClosePicture();
    ASSERT_EQ(noErr, GetPictInfo(worldPic, &info, 0, 0, 0, 0));
    EXPECT_EQ(1, info.textCount);
    KillPicture(worldPic);
  }
  KillPicture(pic);
}

}  // namespace
