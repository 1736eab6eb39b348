// QuickDraw stand-in, pictures.
#include "platform/core/quickdraw_pictures.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/quickdraw_pixels.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

thread_local OSErr tPictureError = noErr;

// Our record behind the 10-byte header.
struct PictureImage {
  UInt32 tag;
  SInt32 width;
  SInt32 height;
};
constexpr size_t kHeaderSize = sizeof(Picture) + sizeof(PictureImage);

// The recorded drawing behind the image.
struct OpsHeader {
  UInt32 tag;
  Fixed hRes;
  Fixed vRes;
  SInt32 count;
};
enum : SInt16 { kOpFill = 1, kOpImage = 2, kOpText = 3 };
// Which drawing call an operation came from (the first operation of a call only), for GetPictInfo.
enum : SInt16 { kFromMore = 0, kFromRect = 1, kFromRgn = 2, kFromPixMap = 3, kFromLine = 4, kFromText = 5 };
struct OpRecord {
  SInt16 kind;
  SInt16 origin;
  Rect r;     // frame coordinates: the filled rectangle, where the image goes, or the text's pen (top, left)
  Rect clip;  // images: the part of r drawn; text: the clip's bounds
  UInt8 argb[4];
  SInt32 width;  // images: pixels that follow the record; text: its byte count
  SInt32 height;
};
// What follows a text operation, before its bytes.
struct TextPayload {
  SInt16 font;
  SInt16 size;
  UInt8 face;
  UInt8 reserved[3];
};

// Bytes that follow an operation's record; 0 for an operation that cannot be read.
UInt64 PayloadSize(const OpRecord &rec) {
  if (rec.kind == kOpImage) return UInt64(rec.width) * UInt64(rec.height) * 4;
  if (rec.kind == kOpText) return sizeof(TextPayload) + UInt64(rec.width);
  return 0;
}

struct Op {
  OpRecord rec;
  std::vector<UInt8> own;        // image pixels or text of an operation being recorded
  const UInt8 *stored = nullptr;  // or in a picture's handle
  const UInt8 *pixels() const { return own.empty() ? stored : own.data(); }
};

// A picture's contents as read from its handle (pointers into it: valid while the handle is untouched).
struct Contents {
  Rect frame;
  Fixed hRes = 72 << 16;
  Fixed vRes = 72 << 16;
  bool recorded = false;
  std::vector<Op> ops;
};

// A picture being recorded in a port.
struct Recording {
  GrafPtr port;
  PicHandle picture;
  Rect frame;
  Fixed hRes;
  Fixed vRes;
  std::vector<Op> ops;
  bool failed = false;
};
thread_local std::vector<Recording *> tRecordings;

OSErr SetError(OSErr err) {
  tPictureError = err;
  PL_SetQDError(err);
  return err;
}

// A copy of the record of a sound picture; false for any other handle. The record lies at offset 10, behind
// the classic header, so it is copied out rather than read in place, where its fields are misaligned.
bool ImageOf(PicHandle picture, PictureImage *image) {
  if (picture == nullptr || *picture == nullptr) return false;
  Size size = GetHandleSize(reinterpret_cast<Handle>(picture));
  if (size < Size(kHeaderSize)) return false;
  std::memcpy(image, reinterpret_cast<const UInt8 *>(*picture) + sizeof(Picture), sizeof(*image));
  if (image->tag != UInt32(kPL_PictureTag) || image->width <= 0 || image->height <= 0) return false;
  return UInt64(image->width) * UInt64(image->height) * 4 <= UInt64(size) - kHeaderSize;
}

// Reads a picture: its image as one operation over the frame, or the operations it recorded. False for a
// damaged picture (the recorded part is checked as strictly as the image).
bool ReadContents(PicHandle picture, Contents *contents) {
  PictureImage image{};
  if (!ImageOf(picture, &image)) return false;
  const UInt8 *base = reinterpret_cast<const UInt8 *>(*picture);
  const size_t size = size_t(GetHandleSize(reinterpret_cast<Handle>(picture)));
  contents->frame = (*picture)->picFrame;
  contents->ops.clear();
  size_t at = kHeaderSize + size_t(image.width) * size_t(image.height) * 4;
  OpsHeader header{};
  if (size - at >= sizeof(header.tag)) std::memcpy(&header.tag, base + at, sizeof(header.tag));
  if (header.tag == UInt32(kPL_PictureOpsTag)) {
    if (size - at < sizeof(header)) return false;
    std::memcpy(&header, base + at, sizeof(header));
  } else {
    Op op;
    op.rec = OpRecord{kOpImage, kFromPixMap, contents->frame, contents->frame, {0, 0, 0, 0}, image.width,
                      image.height};
    op.stored = base + kHeaderSize;
    contents->ops.push_back(std::move(op));
    return true;
  }
  if (header.count < 0 || header.hRes <= 0 || header.vRes <= 0) return false;
  contents->recorded = true;
  contents->hRes = header.hRes;
  contents->vRes = header.vRes;
  at += sizeof(header);
  for (SInt32 i = 0; i < header.count; ++i) {
    Op op;
    if (size - at < sizeof(OpRecord)) return false;
    std::memcpy(&op.rec, base + at, sizeof(OpRecord));
    at += sizeof(OpRecord);
    if (op.rec.kind == kOpImage || op.rec.kind == kOpText) {
      if (op.rec.width <= 0 || (op.rec.kind == kOpImage && op.rec.height <= 0)) return false;
      const UInt64 bytes = PayloadSize(op.rec);
      if (bytes > size - at) return false;
      op.stored = base + at;
      at += size_t(bytes);
    } else if (op.rec.kind != kOpFill) {
      return false;
    }
    contents->ops.push_back(std::move(op));
  }
  return true;
}

SInt16 ClampCoord(SInt64 v) { return SInt16(std::clamp<SInt64>(v, -32767, 32767)); }

// floor(a / b) for b > 0.
SInt64 FloorDiv(SInt64 a, SInt64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// A rectangle of the frame's coordinates in dst's, scaled as the frame is to dst.
Rect MapRect(const Rect &r, const Rect &frame, const Rect &dst) {
  const SInt64 fw = frame.right - frame.left, fh = frame.bottom - frame.top;
  const SInt64 dw = dst.right - dst.left, dh = dst.bottom - dst.top;
  auto h = [&](SInt16 x) { return ClampCoord(dst.left + FloorDiv((x - frame.left) * dw, fw)); };
  auto v = [&](SInt16 y) { return ClampCoord(dst.top + FloorDiv((y - frame.top) * dh, fh)); };
  return Rect{v(r.top), h(r.left), v(r.bottom), h(r.right)};
}

// The text of an operation, mapped from frame to dst: its pen and clip follow the mapping, its size the
// vertical scale.
PL_PictureText MapText(const Op &op, const Rect &frame, const Rect &dst) {
  TextPayload payload;
  std::memcpy(&payload, op.pixels(), sizeof payload);
  PL_PictureText text{};
  const Rect pen = MapRect(op.rec.r, frame, dst);
  text.pen = Point{pen.top, pen.left};
  text.font = payload.font;
  text.size = payload.size;
  const SInt64 fh = frame.bottom - frame.top, dh = dst.bottom - dst.top;
  if (payload.size > 0 && fh != dh)
    text.size = SInt16(std::clamp<SInt64>((SInt64(payload.size) * dh + fh / 2) / fh, 1, 32767));
  text.face = payload.face;
  std::memcpy(text.argb, op.rec.argb, 4);
  text.clip = MapRect(op.rec.clip, frame, dst);
  text.bytes = reinterpret_cast<const char *>(op.pixels()) + sizeof(TextPayload);
  text.byteCount = op.rec.width;
  return text;
}

// Calls the procedures for the operations in order, mapped from frame to dst.
void Replay(const std::vector<Op> &ops, const Rect &frame, const Rect &dst, const PL_PictureReplayProcs &procs,
            void *refCon) {
  for (const Op &op : ops) {
    const Rect r = MapRect(op.rec.r, frame, dst);
    if (op.rec.kind == kOpFill) {
      if (procs.fill != nullptr && !EmptyRect(&r)) procs.fill(refCon, &r, op.rec.argb);
    } else if (op.rec.kind == kOpImage) {
      const Rect visible = MapRect(op.rec.clip, frame, dst);
      if (procs.image != nullptr && !EmptyRect(&r))
        procs.image(refCon, &r, &visible, op.rec.width, op.rec.height, op.pixels());
    } else if (op.rec.kind == kOpText && procs.text != nullptr) {
      const PL_PictureText text = MapText(op, frame, dst);
      procs.text(refCon, &text);
    }
  }
}

// Draws fills and images into a pixel map within clip (NULL: everywhere); text goes to drawText (NULL:
// left out).
struct PixMapTarget {
  const PixMap *pm;
  RgnHandle clip;
  RgnHandle shape;
  void (*drawText)(const PL_PictureText *text, void *refCon);
  void *textRefCon;
};

void PixMapFill(void *refCon, const Rect *r, const UInt8 argb[4]) {
  auto *t = static_cast<PixMapTarget *>(refCon);
  RectRgn(t->shape, r);
  if (t->clip != nullptr) SectRgn(t->shape, t->clip, t->shape);
  PL_PaintPixMapRgn(t->pm, t->shape, argb);
}

void PixMapImage(void *refCon, const Rect *dst, const Rect *visible, SInt32 width, SInt32 height,
                 const UInt8 *pixels) {
  auto *t = static_cast<PixMapTarget *>(refCon);
  const PixMap *pm = t->pm;
  Rect part;
  if (!SectRect(dst, visible, &part) || EmptyRect(&part)) return;
  RectRgn(t->shape, &part);
  if (t->clip != nullptr) SectRgn(t->shape, t->clip, t->shape);
  UInt8 *base = reinterpret_cast<UInt8 *>(pm->baseAddr);
  const SInt64 rw = dst->right - dst->left, rh = dst->bottom - dst->top;
  PL_ForEachRgnRect(t->shape, [&](const Rect &rect) {
    Rect on;
    if (!SectRect(&rect, &pm->bounds, &on)) return;
    for (SInt32 y = on.top; y < on.bottom; ++y) {
      const SInt64 sy = (y - dst->top) * SInt64(height) / rh;
      UInt8 *row = base + size_t(y - pm->bounds.top) * size_t(pm->rowBytes);
      const UInt8 *line = pixels + size_t(sy) * size_t(width) * 4;
      for (SInt32 x = on.left; x < on.right; ++x) {
        const SInt64 sx = (x - dst->left) * SInt64(width) / rw;
        PL_WritePixelARGB(pm, row, x - pm->bounds.left, line + size_t(sx) * 4);
      }
    }
  });
}

void PixMapText(void *refCon, const PL_PictureText *text) {
  auto *t = static_cast<PixMapTarget *>(refCon);
  if (t->drawText != nullptr) t->drawText(text, t->textRefCon);
}

// Draws the operations, mapped from frame to dst, into the pixel map, within clip (NULL: everywhere).
void Render(const PixMap *pm, const std::vector<Op> &ops, const Rect &frame, const Rect &dst, RgnHandle clip,
            void (*drawText)(const PL_PictureText *, void *), void *textRefCon) {
  RgnHandle shape = NewRgn();
  if (shape == nullptr) {
    SetError(memFullErr);
    return;
  }
  PixMapTarget target{pm, clip, shape, drawText, textRefCon};
  const PL_PictureReplayProcs procs{PixMapFill, PixMapImage, PixMapText};
  Replay(ops, frame, dst, procs, &target);
  DisposeRgn(shape);
}

Recording *RecordingOf(GrafPtr port);

void AddOp(Recording *rec, Op &&op) {
  if (rec->failed) return;
  try {
    rec->ops.push_back(std::move(op));
  } catch (const std::bad_alloc &) {
    rec->failed = true;
  }
}

// Records the shape, clipped to the port's clip region, as filled rectangles of one colour.
void RecordFill(Recording *rec, RgnHandle shape, const RGBColor &color, SInt16 origin) {
  RgnHandle clipped = NewRgn();
  if (clipped == nullptr) {
    rec->failed = true;
    return;
  }
  GetClip(clipped);
  SectRgn(shape, clipped, clipped);
  Op op;
  op.rec.kind = kOpFill;
  PL_RGBColorToARGB(&color, op.rec.argb);
  bool first = true;
  PL_ForEachRgnRect(clipped, [&](const Rect &r) {
    Op piece;
    piece.rec = op.rec;
    piece.rec.origin = first ? origin : SInt16(kFromMore);
    piece.rec.r = piece.rec.clip = r;
    first = false;
    AddOp(rec, std::move(piece));
  });
  DisposeRgn(clipped);
}

void RecordShape(GrafPtr port, RgnHandle shape, bool erase, SInt16 origin) {
  Recording *rec = RecordingOf(port);
  if (rec == nullptr || shape == nullptr) return;
  RGBColor color;
  if (erase) PL_GetPortBackColor(port, &color);
  else PL_GetPortForeColor(port, &color);
  RecordFill(rec, shape, color, origin);
}

void RecordRect(GrafPtr port, const Rect *r, bool erase) {
  if (r == nullptr) return;
  RgnHandle shape = NewRgn();
  if (shape == nullptr) return;
  RectRgn(shape, r);
  RecordShape(port, shape, erase, kFromRect);
  DisposeRgn(shape);
}

void RecPaintRect(GrafPtr port, const Rect *r) { RecordRect(port, r, false); }
void RecEraseRect(GrafPtr port, const Rect *r) { RecordRect(port, r, true); }
void RecFrameRect(GrafPtr port, const Rect *r) {
  RgnHandle shape = NewRgn();
  if (shape == nullptr) return;
  PenState pen;
  GetPenState(&pen);
  PL_FrameRectRgn(r, pen.pnSize, shape);
  RecordShape(port, shape, false, kFromRect);
  DisposeRgn(shape);
}
void RecPaintRgn(GrafPtr port, RgnHandle rgn) { RecordShape(port, rgn, false, kFromRgn); }
void RecEraseRgn(GrafPtr port, RgnHandle rgn) { RecordShape(port, rgn, true, kFromRgn); }
void RecFrameRgn(GrafPtr port, RgnHandle rgn) {
  if (rgn == nullptr) return;
  PenState pen;
  GetPenState(&pen);
  RgnHandle inner = NewRgn(), moved = NewRgn();
  if (inner != nullptr && moved != nullptr) {
    // The same outline as the offscreen back end paints.
    CopyRgn(rgn, inner);
    const SInt16 w = std::max<SInt16>(pen.pnSize.h, 1), h = std::max<SInt16>(pen.pnSize.v, 1);
    const SInt16 shifts[4][2] = {{w, 0}, {SInt16(-w), 0}, {0, h}, {0, SInt16(-h)}};
    for (const auto &shift : shifts) {
      CopyRgn(rgn, moved);
      OffsetRgn(moved, shift[0], shift[1]);
      SectRgn(inner, moved, inner);
    }
    DiffRgn(rgn, inner, moved);
    RecordShape(port, moved, false, kFromRgn);
  }
  if (inner != nullptr) DisposeRgn(inner);
  if (moved != nullptr) DisposeRgn(moved);
}

void RecLine(GrafPtr port, Point from, Point to) {
  RgnHandle shape = NewRgn();
  if (shape == nullptr) return;
  PenState pen;
  GetPenState(&pen);
  PL_LineRgn(from, to, pen.pnSize, shape);
  RecordShape(port, shape, false, kFromLine);
  DisposeRgn(shape);
}

// Keeps a text with what it needs to be drawn again: pen, font, size, face, colour and the clip's bounds.
void RecordText(Recording *rec, Point pen, SInt16 font, SInt16 size, Style face, const UInt8 argb[4],
                const Rect &clipBounds, const char *bytes, SInt32 byteCount, SInt16 origin) {
  if (byteCount <= 0) return;
  Op op;
  op.rec = OpRecord{kOpText, origin, Rect{pen.v, pen.h, pen.v, pen.h}, clipBounds, {0, 0, 0, 0}, byteCount, 0};
  std::memcpy(op.rec.argb, argb, 4);
  const TextPayload payload{font, size, face, {0, 0, 0}};
  try {
    op.own.resize(sizeof payload + size_t(byteCount));
  } catch (const std::bad_alloc &) {
    rec->failed = true;
    return;
  }
  std::memcpy(op.own.data(), &payload, sizeof payload);
  std::memcpy(op.own.data() + sizeof payload, bytes, size_t(byteCount));
  AddOp(rec, std::move(op));
}

OSStatus RecText(GrafPtr port, const char *text, SInt32 byteCount, Point pen, SInt32 *) {
  Recording *rec = RecordingOf(port);
  if (rec == nullptr || text == nullptr) return noErr;
  RgnHandle clip = NewRgn();
  if (clip == nullptr) {
    rec->failed = true;
    return memFullErr;
  }
  GetClip(clip);
  Rect clipBounds;
  GetRegionBounds(clip, &clipBounds);
  DisposeRgn(clip);
  RGBColor color;
  PL_GetPortForeColor(port, &color);
  UInt8 argb[4];
  PL_RGBColorToARGB(&color, argb);
  RecordText(rec, pen, GetPortTextFont(port), GetPortTextSize(port), GetPortTextFace(port), argb, clipBounds, text,
             byteCount, kFromText);
  return noErr;
}

const PL_PortDrawProcs kRecorderProcs = {
    RecFrameRect, RecPaintRect, RecEraseRect, RecFrameRgn, RecPaintRgn, RecEraseRgn, nullptr,
    nullptr,      nullptr,      nullptr,      nullptr,     nullptr,     RecText,     RecLine,
};

Recording *RecordingOf(GrafPtr port) {
  if (port == nullptr) return nullptr;
  for (Recording *rec : tRecordings)
    if (rec->port == port) return rec;
  return nullptr;
}

void EndRecording(Recording *rec) {
  PL_SetPortRecorder(rec->port, nullptr, nullptr, nullptr);
  tRecordings.erase(std::remove(tRecordings.begin(), tRecordings.end(), rec), tRecordings.end());
  delete rec;
}

// The port went away with its picture still open: the picture stays unfinished.
void ReleaseRecording(GrafPtr, void *refCon) {
  Recording *rec = static_cast<Recording *>(refCon);
  tRecordings.erase(std::remove(tRecordings.begin(), tRecordings.end(), rec), tRecordings.end());
  delete rec;
}

// Records the operations of a picture drawn at dst, clipped to the port's clip region.
void RecordContents(Recording *rec, const Contents &contents, const Rect &dst) {
  RgnHandle clip = NewRgn();
  if (clip == nullptr) {
    rec->failed = true;
    return;
  }
  GetClip(clip);
  Rect clipBox;
  GetRegionBounds(clip, &clipBox);
  for (const Op &op : contents.ops) {
    const Rect r = MapRect(op.rec.r, contents.frame, dst);
    if (op.rec.kind == kOpFill) {
      RgnHandle shape = NewRgn();
      if (shape == nullptr) {
        rec->failed = true;
        break;
      }
      RectRgn(shape, &r);
      RGBColor color{UInt16(op.rec.argb[1] * 257), UInt16(op.rec.argb[2] * 257), UInt16(op.rec.argb[3] * 257)};
      RecordFill(rec, shape, color, op.rec.origin);
      DisposeRgn(shape);
      continue;
    }
    if (op.rec.kind == kOpText) {
      PL_PictureText text = MapText(op, contents.frame, dst);
      if (!SectRect(&text.clip, &clipBox, &text.clip)) continue;
      RecordText(rec, text.pen, text.font, text.size, text.face, text.argb, text.clip, text.bytes, text.byteCount,
                 op.rec.origin);
      continue;
    }
    Rect visible = MapRect(op.rec.clip, contents.frame, dst);
    if (!SectRect(&visible, &clipBox, &visible)) continue;
    PL_RecordPictureImage(rec->port, &r, &visible, op.rec.width, op.rec.height, op.pixels());
  }
  DisposeRgn(clip);
}

// Draws a picture's text through the current port's back end, in the text's font, size, face, colour and
// clip, leaving the port's own state as it was. Remembers in *refCon when the port cannot draw text.
void PortDrawText(const PL_PictureText *text, void *refCon) {
  GrafPtr port = nullptr;
  GetPort(&port);
  const PL_PortDrawProcs *procs = PL_GetPortDrawProcs(port);
  if (procs == nullptr || procs->drawText == nullptr) {
    *static_cast<bool *>(refCon) = true;
    return;
  }
  const SInt16 font = GetPortTextFont(port), size = GetPortTextSize(port);
  const Style face = GetPortTextFace(port);
  RGBColor fore;
  PL_GetPortForeColor(port, &fore);
  RgnHandle saved = NewRgn(), clip = NewRgn();
  if (saved == nullptr || clip == nullptr) {
    if (saved != nullptr) DisposeRgn(saved);
    if (clip != nullptr) DisposeRgn(clip);
    return;
  }
  GetClip(saved);
  RectRgn(clip, &text->clip);
  SectRgn(clip, saved, clip);
  SetClip(clip);
  SetPortTextFont(port, text->font);
  SetPortTextSize(port, text->size);
  SetPortTextFace(port, text->face);
  const RGBColor color{UInt16(text->argb[1] * 257), UInt16(text->argb[2] * 257), UInt16(text->argb[3] * 257)};
  RGBForeColor(&color);
  SInt32 advance = 0;
  procs->drawText(port, text->bytes, text->byteCount, text->pen, &advance);
  RGBForeColor(&fore);
  SetPortTextFont(port, font);
  SetPortTextSize(port, size);
  SetPortTextFace(port, face);
  SetClip(saved);
  DisposeRgn(saved);
  DisposeRgn(clip);
}

}  // namespace

OSErr PL_PictureError() { return tPictureError; }

void PL_DefaultIndexedColor(UInt8 index, UInt8 *red, UInt8 *green, UInt8 *blue) {
  UInt8 rgb[3];
  PL_IndexedToRGB(index, rgb);
  if (red != nullptr) *red = rgb[0];
  if (green != nullptr) *green = rgb[1];
  if (blue != nullptr) *blue = rgb[2];
}

UInt8 PL_NearestDefaultIndex(UInt8 red, UInt8 green, UInt8 blue) {
  const UInt8 rgb[3] = {red, green, blue};
  return PL_RGBToIndexed(rgb);
}

void KillPicture(PicHandle myPicture) {
  if (myPicture == nullptr) return;
  for (Recording *rec : tRecordings)
    if (rec->picture == myPicture) {
      EndRecording(rec);
      break;
    }
  DisposeHandle(reinterpret_cast<Handle>(myPicture));
}

Rect *QDGetPictureBounds(PicHandle picH, Rect *outRect) {
  if (outRect == nullptr) return nullptr;
  *outRect = Rect{0, 0, 0, 0};
  PictureImage image{};
  if (ImageOf(picH, &image)) *outRect = (*picH)->picFrame;
  return outRect;
}

PicHandle OpenCPicture(const OpenCPicParams *newHeader) {
  GrafPtr port = nullptr;
  GetPort(&port);
  if (port == nullptr || newHeader == nullptr || EmptyRect(&newHeader->srcRect) || newHeader->hRes <= 0 ||
      newHeader->vRes <= 0 || RecordingOf(port) != nullptr) {
    SetError(paramErr);
    return nullptr;
  }
  Handle h = NewHandle(sizeof(Picture));
  Recording *rec = h ? new (std::nothrow) Recording{} : nullptr;
  if (rec == nullptr) {
    if (h != nullptr) DisposeHandle(h);
    SetError(memFullErr);
    return nullptr;
  }
  Picture header{SInt16(sizeof(Picture)), newHeader->srcRect};
  std::memcpy(*h, &header, sizeof(header));
  rec->port = port;
  rec->picture = reinterpret_cast<PicHandle>(h);
  rec->frame = newHeader->srcRect;
  rec->hRes = newHeader->hRes;
  rec->vRes = newHeader->vRes;
  try {
    tRecordings.push_back(rec);
  } catch (const std::bad_alloc &) {
    delete rec;
    DisposeHandle(h);
    SetError(memFullErr);
    return nullptr;
  }
  PL_SetPortRecorder(port, &kRecorderProcs, rec, ReleaseRecording);
  SetError(noErr);
  return rec->picture;
}

PicHandle OpenPicture(const Rect *picFrame) {
  if (picFrame == nullptr) {
    SetError(paramErr);
    return nullptr;
  }
  OpenCPicParams params{*picFrame, 72 << 16, 72 << 16, -2, 0, 0};
  return OpenCPicture(&params);
}

void ClosePicture() {
  GrafPtr port = nullptr;
  GetPort(&port);
  Recording *rec = RecordingOf(port);
  if (rec == nullptr) {
    SetError(paramErr);
    return;
  }
  const SInt32 width = rec->frame.right - rec->frame.left, height = rec->frame.bottom - rec->frame.top;
  UInt64 bytes = kHeaderSize + UInt64(width) * UInt64(height) * 4 + sizeof(OpsHeader);
  for (const Op &op : rec->ops) bytes += sizeof(OpRecord) + PayloadSize(op.rec);
  Handle h = reinterpret_cast<Handle>(rec->picture);
  OSErr err = rec->failed || bytes > 0x7FFFFFFF ? memFullErr : noErr;
  if (err == noErr) {
    SetHandleSize(h, Size(bytes));
    err = MemError();
    if (err == noErr && GetHandleSize(h) != Size(bytes)) err = memFullErr;
  }
  if (err == noErr) {
    UInt8 *p = reinterpret_cast<UInt8 *>(*h);
    Picture header{SInt16(bytes & 0xFFFF), rec->frame};
    PictureImage image{UInt32(kPL_PictureTag), width, height};
    std::memcpy(p, &header, sizeof(header));
    std::memcpy(p + sizeof(header), &image, sizeof(image));
    // The image: the drawing over transparent white.
    UInt8 *pixels = p + kHeaderSize;
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
      const UInt8 clear[4] = {0, 0xFF, 0xFF, 0xFF};
      std::memcpy(pixels + 4 * i, clear, 4);
    }
    PixMap pm{};
    pm.baseAddr = reinterpret_cast<Ptr>(pixels);
    pm.rowBytes = width * 4;
    pm.bounds = rec->frame;
    pm.pixelFormat = k32ARGBPixelFormat;
    pm.pixelSize = 32;
    // Text needs a port that draws it: the image keeps the rest, DrawPicture the text as well.
    Render(&pm, rec->ops, rec->frame, rec->frame, nullptr, nullptr, nullptr);
    size_t at = kHeaderSize + size_t(width) * size_t(height) * 4;
    OpsHeader ops{UInt32(kPL_PictureOpsTag), rec->hRes, rec->vRes, SInt32(rec->ops.size())};
    std::memcpy(p + at, &ops, sizeof(ops));
    at += sizeof(ops);
    for (const Op &op : rec->ops) {
      std::memcpy(p + at, &op.rec, sizeof(OpRecord));
      at += sizeof(OpRecord);
      const size_t n = size_t(PayloadSize(op.rec));
      if (n == 0) continue;
      std::memcpy(p + at, op.pixels(), n);
      at += n;
    }
  }
  EndRecording(rec);
  SetError(err);
}

void PL_RecordPictureImage(GrafPtr port, const Rect *dstRect, const Rect *clip, SInt32 width, SInt32 height,
                           const UInt8 *argb) {
  Recording *rec = RecordingOf(port);
  if (rec == nullptr || dstRect == nullptr || clip == nullptr || argb == nullptr || width <= 0 || height <= 0)
    return;
  Rect visible;
  if (!SectRect(dstRect, clip, &visible)) return;
  Op op;
  op.rec = OpRecord{kOpImage, kFromPixMap, *dstRect, visible, {0, 0, 0, 0}, width, height};
  try {
    op.own.assign(argb, argb + size_t(width) * size_t(height) * 4);
  } catch (const std::bad_alloc &) {
    rec->failed = true;
    return;
  }
  AddOp(rec, std::move(op));
}

OSErr GetPictInfo(PicHandle thePictHandle, PictInfo *thePictInfo, SInt16 verb, SInt16, SInt16, SInt16 version) {
  if (thePictInfo == nullptr) return paramErr;
  *thePictInfo = PictInfo{};
  if (version != 0) return pictInfoVersionErr;
  if ((verb & ~(returnColorTable | returnPalette | recordComments | recordFontInfo | suppressBlackAndWhite)) != 0)
    return pictInfoVerbErr;
  if ((verb & (returnColorTable | returnPalette)) != 0) return unimpErr;
  Contents contents;
  if (!ReadContents(thePictHandle, &contents)) return pictureDataErr;
  PictInfo &info = *thePictInfo;
  info.version = 0;
  info.hRes = contents.hRes;
  info.vRes = contents.vRes;
  info.depth = 32;
  info.sourceRect = contents.frame;
  std::unordered_set<UInt32> colours;
  auto count = [&](const UInt8 argb[4]) {
    const UInt32 rgb = UInt32(argb[1]) << 16 | UInt32(argb[2]) << 8 | argb[3];
    if ((verb & suppressBlackAndWhite) != 0 && (rgb == 0 || rgb == 0xFFFFFF)) return;
    colours.insert(rgb);
  };
  for (const Op &op : contents.ops) {
    if (op.rec.origin == kFromRect) ++info.rectCount;
    else if (op.rec.origin == kFromRgn) ++info.regionCount;
    else if (op.rec.origin == kFromPixMap) ++info.pixMapCount;
    else if (op.rec.origin == kFromLine) ++info.lineCount;
    else if (op.rec.origin == kFromText) ++info.textCount;
    if (op.rec.kind == kOpText) {
      count(op.rec.argb);
      continue;
    }
    if (op.rec.kind == kOpFill) {
      count(op.rec.argb);
      continue;
    }
    const UInt8 *pixels = op.pixels();
    for (size_t i = 0; i < size_t(op.rec.width) * size_t(op.rec.height); ++i) count(pixels + 4 * i);
  }
  info.uniqueColors = SInt32(colours.size());
  return noErr;
}

OSStatus PL_NewARGBPicture(const Rect *picFrame, SInt32 width, SInt32 height, const void *argb, SInt32 rowBytes,
                           PicHandle *picture) {
  if (picture == nullptr) return paramErr;
  *picture = nullptr;
  if (picFrame == nullptr || argb == nullptr || width <= 0 || height <= 0 || SInt64(rowBytes) < SInt64(width) * 4)
    return paramErr;
  UInt64 bytes = kHeaderSize + UInt64(width) * UInt64(height) * 4;
  if (bytes > 0x7FFFFFFF) return memFullErr;
  Handle h = NewHandle(Size(bytes));
  if (h == nullptr) return memFullErr;
  Picture header{SInt16(bytes & 0xFFFF), *picFrame};
  PictureImage image{UInt32(kPL_PictureTag), width, height};
  UInt8 *p = reinterpret_cast<UInt8 *>(*h);
  std::memcpy(p, &header, sizeof(header));
  std::memcpy(p + sizeof(header), &image, sizeof(image));
  const UInt8 *src = static_cast<const UInt8 *>(argb);
  for (SInt32 y = 0; y < height; ++y)
    std::memcpy(p + kHeaderSize + size_t(y) * size_t(width) * 4, src + size_t(y) * size_t(rowBytes), size_t(width) * 4);
  *picture = reinterpret_cast<PicHandle>(h);
  return noErr;
}

OSStatus PL_NewPictureFromPixMap(PixMapHandle pixMap, const Rect *srcRect, PicHandle *picture) {
  if (picture == nullptr) return paramErr;
  *picture = nullptr;
  if (pixMap == nullptr || *pixMap == nullptr) return paramErr;
  const PixMap &pm = **pixMap;
  if (!PL_PixelFormatDrawable(pm.pixelFormat)) return cDepthErr;
  Rect r = srcRect != nullptr ? *srcRect : pm.bounds;
  if (r.left < pm.bounds.left || r.top < pm.bounds.top || r.right > pm.bounds.right || r.bottom > pm.bounds.bottom ||
      r.right <= r.left || r.bottom <= r.top)
    return paramErr;
  SInt32 width = r.right - r.left, height = r.bottom - r.top;
  std::vector<UInt8> argb(size_t(width) * size_t(height) * 4);
  const UInt8 *base = reinterpret_cast<const UInt8 *>(pm.baseAddr);
  for (SInt32 y = 0; y < height; ++y) {
    const UInt8 *row = base + size_t(r.top - pm.bounds.top + y) * size_t(pm.rowBytes);
    for (SInt32 x = 0; x < width; ++x)
      PL_ReadPixelARGB(&pm, row, r.left - pm.bounds.left + x, &argb[(size_t(y) * width + x) * 4]);
  }
  Rect frame{0, 0, SInt16(height), SInt16(width)};
  return PL_NewARGBPicture(&frame, width, height, argb.data(), width * 4, picture);
}

OSStatus PL_GetPictureImage(PicHandle picture, SInt32 *width, SInt32 *height, const UInt8 **argb) {
  PictureImage image{};
  if (!ImageOf(picture, &image)) return paramErr;
  if (width != nullptr) *width = image.width;
  if (height != nullptr) *height = image.height;
  if (argb != nullptr) *argb = reinterpret_cast<const UInt8 *>(*picture) + kHeaderSize;
  return noErr;
}

void DrawPicture(PicHandle myPicture, const Rect *dstRect) {
  Contents contents;
  if (dstRect == nullptr || !ReadContents(myPicture, &contents)) {
    SetError(paramErr);
    return;
  }
  CGrafPtr port = nullptr;
  GetGWorld(&port, nullptr);
  Recording *rec = RecordingOf(port);
  PixMapHandle pmh = port != nullptr ? GetGWorldPixMap(port) : nullptr;
  const bool drawable = pmh != nullptr && PL_PixelFormatDrawable((*pmh)->pixelFormat);
  if (!drawable && rec == nullptr) {
    SetError(unimpErr);
    return;
  }
  if (EmptyRect(dstRect) || EmptyRect(&contents.frame)) {
    SetError(noErr);
    return;
  }
  if (rec != nullptr) RecordContents(rec, contents, *dstRect);
  bool textLeftOut = false;
  if (drawable) {
    RgnHandle clip = NewRgn();
    if (clip == nullptr) {
      SetError(memFullErr);
      return;
    }
    GetClip(clip);
    Render(*pmh, contents.ops, contents.frame, *dstRect, clip, PortDrawText, &textLeftOut);
    DisposeRgn(clip);
  }
  // Text that reaches a recording is kept there, so only text that went nowhere counts as left out.
  SetError(textLeftOut && rec == nullptr ? unimpErr : noErr);
}

OSStatus PL_ReplayPicture(PicHandle picture, const Rect *dstRect, const PL_PictureReplayProcs *procs,
                          void *refCon) {
  Contents contents;
  if (dstRect == nullptr || procs == nullptr || !ReadContents(picture, &contents)) return paramErr;
  if (EmptyRect(dstRect) || EmptyRect(&contents.frame)) return noErr;
  Replay(contents.ops, contents.frame, *dstRect, *procs, refCon);
  return noErr;
}
