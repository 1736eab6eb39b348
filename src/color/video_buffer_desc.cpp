// Video buffer descriptions (see the header).
#include "color/video_buffer_desc.h"

#include "movie/image_descriptions.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/image_descriptions.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kCO_UnknownYCbCrTypeName[] = "Unknown Y'CbCr type";

namespace {

// ---- Tables ----

struct TypeRow {
  CodecType cType;
  SInt32 bytesN, bytesD;
  int align;
  const char *name;
  CO_YCbCrRangeType range;
};

const TypeRow kTypes[] = {
    {'2vuy', 2, 1, 2, "8-bit 4:2:2 Component Y'CbCr", kCO_VideoRange},
    {'v210', 8, 3, 6, "10-bit 4:2:2 Component Y'CbCr", kCO_VideoRange},
    {'v216', 4, 1, 2, "10,12,14,16-bit 4:2:2 Component Y'CbCr", kCO_VideoRange},
    {'v308', 3, 1, 2, "8-bit 4:4:4 Component Y'CbCr", kCO_VideoRange},
    {'v408', 4, 1, 2, "8-bit 4:4:4:4 Component Y'CbCrA", kCO_VideoRange},
    {'v410', 4, 1, 2, "10-bit 4:4:4 Component Y'CbCr", kCO_VideoRange},
    {'yuv2', 2, 1, 2, "Component Video", kCO_WideRange},
    {'yuvu', 2, 1, 2, "Component Video", kCO_WideRange},
};

const TypeRow *FindType(CodecType cType) {
  for (const TypeRow &t : kTypes)
    if (t.cType == cType) return &t;
  return nullptr;
}

struct SourceRow {
  SInt16 primaries, transfer, matrix;
  UInt8 fields;
  SInt32 paspH, paspV;
  SInt32 descHeight;          // the descriptor's production height (differs for source 9 only)
  SInt32 prodWidth, prodHeight;
  SInt32 clapWN, clapWD, clapHN, clapHD;
  SInt32 lines;
  float frameRate;
  TimeScale timeScale;
  TimeValue frameDuration;
  int above, below;
};

const SourceRow kSources[] = {
    {6, 1, 6, 2, 1, 1, 486, 640, 486, 640, 1, 480, 1, 525, 29.97f, 2997, 100, 404, 142},
    {5, 1, 6, 2, 1, 1, 576, 768, 576, 768, 1, 576, 1, 625, 25.0f, 600, 24, 479, 167},
    {6, 1, 6, 2, 10, 11, 486, 720, 486, 7040, 10, 480, 1, 525, 29.97f, 2997, 100, 404, 142},
    {5, 1, 6, 2, 59, 54, 576, 720, 576, 41472, 59, 576, 1, 625, 25.0f, 600, 24, 479, 167},
    {6, 1, 6, 2, 4, 3, 486, 640, 486, 640, 1, 480, 1, 525, 29.97f, 2997, 100, 404, 142},
    {5, 1, 6, 2, 4, 3, 576, 768, 576, 768, 1, 576, 1, 625, 25.0f, 600, 24, 479, 167},
    {6, 1, 6, 2, 40, 33, 486, 720, 486, 7040, 10, 480, 1, 525, 29.97f, 2997, 100, 404, 142},
    {5, 1, 6, 2, 118, 81, 576, 720, 576, 41472, 59, 576, 1, 625, 25.0f, 600, 24, 479, 167},
    {6, 1, 6, 2, 10, 11, 486, 960, 486, 28160, 30, 480, 1, 525, 29.97f, 2997, 100, 404, 142},
    {6, 7, 7, 2, 1018, 1062, 1034, 1920, 1035, 1881, 1, 1018, 1, 1125, 29.97f, 2997, 100, 861, 299},
    {1, 1, 1, 2, 1, 1, 1080, 1920, 1080, 1888, 1, 1062, 1, 1125, 29.97f, 2997, 100, 291, 853},
    {1, 1, 1, 1, 1, 1, 1080, 1920, 1080, 1888, 1, 1062, 1, 1125, 59.94f, 2997, 50, 581, 582},
    {1, 1, 1, 1, 1, 1, 720, 1280, 720, 1248, 1, 702, 1, 750, 59.94f, 2997, 50, 385, 386},
};
const SourceRow kUnknownSource = {2, 2, 2, 0, 0, 1, 0, 0, 0, 0, 100, 0, 100, 0, 0.0f, 0, 0, 0, 0};

const SourceRow &Source(CO_StandardVideoSource source) {
  const int s = int(source);
  return s >= 0 && s < int(sizeof kSources / sizeof kSources[0]) ? kSources[s] : kUnknownSource;
}

CO_CleanApertureCenterPositionInVideoSignal Centre(const SourceRow &row) { return {row.above, row.below}; }

CO_CleanApertureData Clap(const SourceRow &row) {
  return {row.clapWN, row.clapWD, row.clapHN, row.clapHD, 0, 1, 0, 1};
}

// Field details: the values image descriptions carry.
constexpr UInt8 kDetailInterleavedEarly = 1;   // top line in the earlier field
constexpr UInt8 kDetailInterleavedLate = 6;    // top line in the later field
constexpr UInt8 kDetailSeparateEarly = 9;      // fields one after the other, top line early
constexpr UInt8 kDetailSeparateLate = 14;      // fields one after the other, top line late
constexpr UInt8 kDetailLateBit = 0x04;
constexpr UInt8 kDetailSeparateBit = 0x08;
constexpr UInt8 kDetailEvenFirstBit = 0x02;

// The detail of a standard source's buffers, field 1 coming first in time.
UInt8 StandardDetail(const SourceRow &row, CO_FieldDominance dominance) {
  if (row.fields != 2) return 0;
  const CO_CleanApertureData clap = Clap(row);
  return CO_GetFieldDetail(row.descHeight, true, dominance == kCO_Field1Dominant, row.above < row.below, &clap);
}

// Integer division and modulo that round towards minus infinity, for positions that may lie left of 0.
SInt64 FloorDiv(SInt64 a, SInt64 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }
SInt64 FloorMod(SInt64 a, SInt64 b) { return a - FloorDiv(a, b) * b; }

// True when two fractions are equal (non-zero denominators).
bool SameFraction(SInt64 n1, SInt64 d1, SInt64 n2, SInt64 d2) { return n1 * d2 == n2 * d1; }

// The image line just above the clean centre (vertical) or the column just left of it (horizontal). A zero
// denominator (no fraction) counts as no offset.
SInt32 LineAboveCentre(SInt32 size, SInt32 offN, SInt32 offD, SInt32 minus) {
  const SInt64 twiceOffset = offD != 0 ? 2LL * offN / offD : 0;
  return SInt32((twiceOffset + size - minus) / 2);
}

// The vertical offset of a clean aperture that may be missing.
SInt32 VertOffN(const CO_CleanApertureData *clap) { return clap != nullptr ? clap->vertOffN : 0; }
SInt32 VertOffD(const CO_CleanApertureData *clap) { return clap != nullptr ? clap->vertOffD : 1; }

// The allocator's error after a failed allocation.
OSStatus AllocationError() {
  const OSErr err = MemError();
  return err != noErr ? OSStatus(err) : OSStatus(memFullErr);
}

OSStatus NewHandleWith(const UInt8 *bytes, Size size, Handle *h) {
  *h = NewHandle(size);
  if (*h == nullptr) return AllocationError();
  std::memcpy(**h, bytes, size_t(size));
  return noErr;
}

OSStatus AddExtension(ImageDescriptionHandle desc, OSType type, const UInt8 *bytes, Size size) {
  Handle h = nullptr;
  OSStatus err = NewHandleWith(bytes, size, &h);
  if (err != noErr) return err;
  err = QT_AddSingleImageDescExtension(desc, type, h);
  DisposeHandle(h);
  return err;
}

// The nclc values of a 'colr' extension's bytes; false for anything else.
bool ReadNclc(Handle nclcData, UInt16 *primaries, UInt16 *transfer, UInt16 *matrix) {
  if (nclcData == nullptr || *nclcData == nullptr || GetHandleSize(nclcData) < 10) return false;
  const UInt8 *p = reinterpret_cast<const UInt8 *>(*nclcData);
  if (PL_GetBE32(p) != kVideoColorInfoImageDescriptionExtensionType) return false;
  if (primaries) *primaries = PL_GetBE16(p + 4);
  if (transfer) *transfer = PL_GetBE16(p + 6);
  if (matrix) *matrix = PL_GetBE16(p + 8);
  return true;
}

UInt16 ClampTransfer(double y) { return UInt16(std::clamp(y, 0.0, 1.0) * 65535.0); }

// Which field a video line lies in: 1, 2, or 0 outside both.
int FieldOf(SInt32 v, SInt32 min1, SInt32 max1, SInt32 min2, SInt32 max2) {
  if (v >= min1 && v <= max1) return 1;
  if (v >= min2 && v <= max2) return 2;
  return 0;
}

// What the split and join share: the type's packing, the production line, the fields' lines and the
// columns of the buffer that fall inside the production aperture.
struct FieldGeometry {
  const SourceRow *row = nullptr;
  GL_LongRatio bytesPerPixel{};
  SInt32 align = 0, half = 0;
  SInt32 prodLineBytes = 0;
  SInt32 min1 = 0, max1 = 0, min2 = 0, max2 = 0;
  SInt32 rowBytes = 0;
  SInt32 firstColumn = 0, columnCount = 0, prodColumn = 0;  // buffer columns [first, first + count) go to prodColumn

  SInt64 Bytes(SInt64 columns) const { return columns * bytesPerPixel.n / SInt64(bytesPerPixel.d); }
};

// Checks and measures what CO_BufferToF1F2 and CO_F1F2ToBuffer need; centreColumn is set when the centre
// column is known (the join adapts it first).
OSStatus Measure(CO_StandardVideoSource source, CodecType yCbCrType, SInt32 height, SInt32 width, SInt32 bufferSize,
                 const CO_CleanApertureData *clap, FieldGeometry *g) {
  g->row = &Source(source);
  if (g->row->fields != 2 || height <= 0 || width <= 0 || bufferSize <= 0 || clap == nullptr ||
      clap->horizOffD == 0 || clap->vertOffD == 0)
    return paramErr;
  OSStatus err = CO_CheckCleanCenterPosition(width, height, clap);
  if (err != noErr) return err;
  const TypeRow *type = FindType(yCbCrType);
  if (type == nullptr) return kCO_VBUnknownYCbCrTypeErr;
  GL_CreateLongRatio(type->bytesN, type->bytesD, &g->bytesPerPixel);
  g->align = type->align;
  g->half = type->align / 2;
  if (g->row->prodWidth % g->align != 0) return kCO_VBWidthNotAlignedErr;
  g->prodLineBytes = SInt32(g->Bytes(g->row->prodWidth));
  g->rowBytes = bufferSize / height;
  CO_GetFieldBoundaries(g->row->prodHeight, Centre(*g->row), &g->min1, &g->max1, &g->min2, &g->max2);
  return noErr;
}

// The buffer columns inside the production aperture centred on column c (the one just left of the centre).
OSStatus PlaceColumns(SInt32 c, SInt32 width, FieldGeometry *g) {
  const SInt32 halfProd = g->row->prodWidth / 2;
  SInt64 first = std::max<SInt64>(0, SInt64(c) - halfProd);
  first = FloorDiv(first, g->align) * g->align;
  const SInt64 last = std::min<SInt64>(SInt64(c) + halfProd - 1, width - 1);
  SInt64 count = last - first + 1;
  count = count > 0 ? count / g->align * g->align : 0;
  g->firstColumn = SInt32(first);
  g->columnCount = SInt32(count);
  g->prodColumn = SInt32(first - (SInt64(c) - halfProd));
  if (count > 0 && (g->prodColumn < 0 || g->prodColumn + count > g->row->prodWidth)) return paramErr;
  if (g->Bytes(first + count) > g->rowBytes) return paramErr;
  return noErr;
}

// ---- Normalised pixels ----

double UnitLuma(double code, double black, double span) { return (code - black) / span; }
double UnitChroma(double code, double centre, double span) { return (code - centre) / span; }

// A code of an n-bit video-range component, kept within the legal codes (never 0 or the top code).
UInt32 VideoCode(double unit, double base, double span, int bits) {
  const double step = std::ldexp(1.0, bits - 8);
  const double code = std::floor(base + unit * span + 0.5);
  return UInt32(std::clamp(code, step, std::ldexp(1.0, bits) - step - 1.0));
}

UInt32 GetLE32(const UInt8 *p) { return UInt32(p[0]) | UInt32(p[1]) << 8 | UInt32(p[2]) << 16 | UInt32(p[3]) << 24; }
void PutLE32(UInt8 *p, UInt32 v) {
  for (int i = 0; i < 4; ++i) p[i] = UInt8(v >> (8 * i));
}
UInt16 GetLE16(const UInt8 *p) { return UInt16(p[0] | p[1] << 8); }
void PutLE16(UInt8 *p, UInt16 v) {
  p[0] = UInt8(v);
  p[1] = UInt8(v >> 8);
}

}  // namespace

// ---- Types and standard sources ----

void CO_GetYCbCrTypeInfo(CodecType cType, CO_YCbCrTypeInfo *info) {
  if (info == nullptr) return;
  info->cType = cType;
  const TypeRow *t = FindType(cType);
  if (t == nullptr) {
    std::snprintf(info->name, sizeof info->name, "%s", kCO_UnknownYCbCrTypeName);
    return;
  }
  info->bytesPerPixel.n = t->bytesN;
  info->bytesPerPixel.d = UInt32(t->bytesD);
  info->horizAlignPixels = t->align;
  std::snprintf(info->name, sizeof info->name, "%s", t->name);
  info->range = t->range;
}

void CO_StandardVideoSourceToImageDescData(CO_StandardVideoSource source, CO_FieldDominance fieldDominance,
                                           CO_ColorDescription *colorDescription, CO_FieldData *fielData,
                                           CO_PixelAspectRatio *pixelAspectRatio,
                                           CO_CleanApertureData *cleanApertureData) {
  const SourceRow &row = Source(source);
  if (colorDescription) *colorDescription = {row.primaries, row.transfer, row.matrix};
  if (fielData) *fielData = {row.fields, StandardDetail(row, fieldDominance)};
  if (pixelAspectRatio) *pixelAspectRatio = {row.paspH, row.paspV};
  if (cleanApertureData) *cleanApertureData = Clap(row);
}

void CO_StandardVideoSourceToAddInfo(CO_StandardVideoSource source, SInt32 *standardProdHeight,
                                     SInt32 *standardProdWidth, SInt32 *numLines, float *frameRate,
                                     TimeScale *timeScale, TimeValue *frameDuration) {
  const SourceRow &row = Source(source);
  if (standardProdHeight) *standardProdHeight = row.prodHeight;
  if (standardProdWidth) *standardProdWidth = row.prodWidth;
  if (numLines) *numLines = row.lines;
  if (frameRate) *frameRate = row.frameRate;
  if (timeScale) *timeScale = row.timeScale;
  if (frameDuration) *frameDuration = row.frameDuration;
}

void CO_StandardVideoSourceToCleanApertureCenter(CO_StandardVideoSource source,
                                                 CO_CleanApertureCenterPositionInVideoSignal *center) {
  if (center) *center = Centre(Source(source));
}

// ---- Image descriptions ----

OSStatus CO_CreateBaseYCbCrImageDescription(ImageDescriptionHandle *desc, OSType cType, SInt32 vendor,
                                            CO_StandardVideoSource source, CO_ConformanceLevel level,
                                            CO_FieldDominance, SInt32 width, SInt32 height) {
  if (desc == nullptr) return paramErr;
  *desc = nullptr;
  const TypeRow *type = FindType(cType);
  if (type == nullptr) return kCO_VBUnknownYCbCrTypeErr;
  const SourceRow &row = Source(source);
  switch (level) {
    case kCO_ProductionConformanceLevel:
      width = row.prodWidth;
      height = row.prodHeight;
      if (width % type->align != 0) return kCO_VBWidthNotAlignedErr;
      break;
    case kCO_CleanConformanceLevel:
      if (row.clapWD == 0 || row.clapHD == 0 || row.clapWN % row.clapWD != 0) return kCO_VBCleanCenterWithinPixelErr;
      width = row.clapWN / row.clapWD;
      height = row.clapHN / row.clapHD;
      if (width % type->align != 0) return kCO_VBWidthNotAlignedErr;
      break;
    default:
      break;
  }
  if (width < 0 || width > 0x7FFF || height < 0 || height > 0x7FFF) return paramErr;
  Handle h = NewHandleClear(sizeof(ImageDescription));
  if (h == nullptr) return AllocationError();
  ImageDescription *id = reinterpret_cast<ImageDescription *>(*h);
  id->idSize = sizeof(ImageDescription);
  id->cType = cType;
  id->version = 1;
  id->vendor = OSType(vendor);
  id->spatialQuality = 1024;
  id->width = SInt16(width);
  id->height = SInt16(height);
  id->hRes = 0x00480000;
  id->vRes = 0x00480000;
  id->frameCount = 1;
  id->clutID = -1;
  const size_t nameLength = std::min<size_t>(std::strlen(type->name), sizeof id->name - 1);
  id->name[0] = UInt8(nameLength);
  std::memcpy(id->name + 1, type->name, nameLength);
  *desc = reinterpret_cast<ImageDescriptionHandle>(h);
  return noErr;
}

OSStatus CO_AddYCbCrImageDesciptionExtension(CO_StandardVideoSource source, ImageDescriptionHandle desc,
                                             CO_FieldDominance fieldDominance) {
  if (desc == nullptr || *desc == nullptr) return paramErr;
  CO_ColorDescription colour;
  CO_FieldData fields;
  CO_PixelAspectRatio pasp;
  CO_CleanApertureData clap;
  CO_StandardVideoSourceToImageDescData(source, fieldDominance, &colour, &fields, &pasp, &clap);

  UInt8 colr[10];
  PL_PutBE32(colr, kVideoColorInfoImageDescriptionExtensionType);
  PL_PutBE16(colr + 4, UInt16(colour.primaries));
  PL_PutBE16(colr + 6, UInt16(colour.transferFunction));
  PL_PutBE16(colr + 8, UInt16(colour.matrix));
  OSStatus err = AddExtension(desc, kColorInfoImageDescriptionExtension, colr, sizeof colr);
  if (err != noErr) return err;
  if (pasp.hExtent != pasp.vExtent) {
    UInt8 bytes[8];
    PL_PutBE32(bytes, UInt32(pasp.hExtent));
    PL_PutBE32(bytes + 4, UInt32(pasp.vExtent));
    if ((err = AddExtension(desc, kPixelAspectRatioImageDescriptionExtension, bytes, sizeof bytes)) != noErr) return err;
  }
  const SInt32 clapValues[8] = {clap.widthN,    clap.widthD,    clap.heightN,  clap.heightD,
                                clap.horizOffN, clap.horizOffD, clap.vertOffN, clap.vertOffD};
  UInt8 clapBytes[32];
  for (int i = 0; i < 8; ++i) PL_PutBE32(clapBytes + 4 * i, UInt32(clapValues[i]));
  if ((err = AddExtension(desc, kCleanApertureImageDescriptionExtension, clapBytes, sizeof clapBytes)) != noErr)
    return err;
  const UInt8 fiel[2] = {fields.fields, fields.detail};
  return AddExtension(desc, kFieldInfoImageDescriptionExtension, fiel, sizeof fiel);
}

OSStatus CO_CreateYCbCrImageDescription(ImageDescriptionHandle *desc, OSType cType, SInt32 vendor,
                                        CO_StandardVideoSource source, CO_ConformanceLevel level,
                                        CO_FieldDominance fieldDominance) {
  OSStatus err = CO_CreateBaseYCbCrImageDescription(desc, cType, vendor, source, level, fieldDominance, 0, 0);
  if (err != noErr) return err;
  err = CO_AddYCbCrImageDesciptionExtension(source, *desc, fieldDominance);
  if (err != noErr) {
    DisposeHandle(reinterpret_cast<Handle>(*desc));
    *desc = nullptr;
  }
  return err;
}

OSStatus CO_GetImageDescriptionExtensions(ImageDescriptionHandle desc, Handle *nclcData, Handle *paspData,
                                          Handle *clapData, Handle *fielData) {
  Handle *const outs[4] = {nclcData, paspData, clapData, fielData};
  const OSType types[4] = {kColorInfoImageDescriptionExtension, kPixelAspectRatioImageDescriptionExtension,
                           kCleanApertureImageDescriptionExtension, kFieldInfoImageDescriptionExtension};
  for (Handle *out : outs)
    if (out) *out = nullptr;
  if (desc == nullptr || *desc == nullptr) return paramErr;
  for (int i = 0; i < 4; ++i) {
    if (outs[i] == nullptr) continue;
    Handle h = nullptr;
    OSStatus err = GetImageDescriptionExtension(desc, &h, types[i], 1);
    if (err == codecExtensionNotFoundErr) continue;
    if (err != noErr) {
      // Nothing half-delivered: the caller gets every handle or none.
      for (Handle *out : outs)
        if (out && *out) {
          DisposeHandle(*out);
          *out = nullptr;
        }
      return err;
    }
    if (i == 0 && !ReadNclc(h, nullptr, nullptr, nullptr)) {
      DisposeHandle(h);
      continue;
    }
    *outs[i] = h;
  }
  return noErr;
}

// ---- Colour descriptions ----

OSStatus CO_NclcToChromaticities(Handle nclcData, GL_FloatPt *whitePt, GL_FloatPt *redPt, GL_FloatPt *greenPt,
                                 GL_FloatPt *bluePt) {
  UInt16 primaries = 0;
  if (!ReadNclc(nclcData, &primaries, nullptr, nullptr)) return paramErr;
  struct Set {
    GL_FloatPt white, red, green, blue;
  };
  static const Set kBT709 = {{0.3127f, 0.3290f}, {0.640f, 0.330f}, {0.300f, 0.600f}, {0.150f, 0.060f}};
  static const Set kEBU = {{0.3127f, 0.3290f}, {0.640f, 0.330f}, {0.290f, 0.600f}, {0.150f, 0.060f}};
  static const Set kSMPTE170 = {{0.3127f, 0.3290f}, {0.630f, 0.340f}, {0.310f, 0.595f}, {0.155f, 0.070f}};
  const Set *set = primaries == 1 ? &kBT709 : primaries == 5 ? &kEBU : primaries == 6 ? &kSMPTE170 : nullptr;
  if (set == nullptr) return paramErr;
  if (whitePt) *whitePt = set->white;
  if (redPt) *redPt = set->red;
  if (greenPt) *greenPt = set->green;
  if (bluePt) *bluePt = set->blue;
  return noErr;
}

OSStatus CO_NclcToGamma(Handle nclcData, float *gamma, float *slope, float *endStraightPart, float *straightSlope) {
  UInt16 transfer = 0;
  if (!ReadNclc(nclcData, nullptr, &transfer, nullptr)) return paramErr;
  float values[4];
  if (transfer == 1) {
    const float v[4] = {0.45f, 1.099f, 0.018f, 4.5f};
    std::memcpy(values, v, sizeof values);
  } else if (transfer == 7) {
    const float v[4] = {0.45f, 1.1115f, 0.0228f, 4.0f};
    std::memcpy(values, v, sizeof values);
  } else {
    return paramErr;
  }
  if (gamma) *gamma = values[0];
  if (slope) *slope = values[1];
  if (endStraightPart) *endStraightPart = values[2];
  if (straightSlope) *straightSlope = values[3];
  return noErr;
}

OSStatus CO_NclcToMatrix(Handle nclcData, float *greenWeight, float *redWeight, float *blueWeight) {
  UInt16 matrix = 0;
  if (!ReadNclc(nclcData, nullptr, nullptr, &matrix)) return paramErr;
  float g, r, b;
  switch (matrix) {
    case 6: g = 0.587f, r = 0.299f, b = 0.114f; break;
    case 7: g = 0.701f, r = 0.212f, b = 0.087f; break;
    case 1: g = 0.7152f, r = 0.2126f, b = 0.0722f; break;
    default: return paramErr;
  }
  if (greenWeight) *greenWeight = g;
  if (redWeight) *redWeight = r;
  if (blueWeight) *blueWeight = b;
  return noErr;
}

void CO_GammaTransform(float gamma, float slope, float endStraightPart, float straightSlope, UInt16 *rgb16Component) {
  if (rgb16Component == nullptr) return;
  const double x = double(*rgb16Component) / 65535.0;
  const double y = x > double(endStraightPart) ? double(slope) * std::pow(x, double(gamma)) + 1.0 - double(slope)
                                                : double(straightSlope) * x;
  *rgb16Component = ClampTransfer(y);
}

void CO_InverseGammaTransform(float gamma, float slope, float endStraightPart, float straightSlope,
                              UInt16 *rgb16Component) {
  if (rgb16Component == nullptr) return;
  const double x = double(*rgb16Component) / 65535.0;
  double y;
  if (x > double(straightSlope) * double(endStraightPart))
    y = std::pow(std::max(0.0, (x - (1.0 - double(slope))) / double(slope)), double(gamma));
  else
    y = straightSlope != 0.0f ? x / double(straightSlope) : 0.0;
  *rgb16Component = ClampTransfer(y);
}

// ---- Fields and lines ----

void CO_GetFieldBoundaries(SInt32 standardProdHeight, CO_CleanApertureCenterPositionInVideoSignal center,
                           SInt32 *minVideoLineF1, SInt32 *maxVideoLineF1, SInt32 *minVideoLineF2,
                           SInt32 *maxVideoLineF2) {
  const SInt32 n1 = (standardProdHeight + 1) / 2, n2 = standardProdHeight / 2;
  const SInt32 above = center.videoLineJustAbove, below = center.videoLineJustBelow;
  SInt32 min1, min2;
  if (above >= below) {
    min1 = below - n1 / 2;
    min2 = above - (n2 - 1) / 2;
  } else {
    min1 = above - (n1 - 1) / 2;
    min2 = below - n2 / 2;
  }
  if (minVideoLineF1) *minVideoLineF1 = min1;
  if (maxVideoLineF1) *maxVideoLineF1 = min1 + n1 - 1;
  if (minVideoLineF2) *minVideoLineF2 = min2;
  if (maxVideoLineF2) *maxVideoLineF2 = min2 + n2 - 1;
}

UInt8 CO_GetFieldDetail(SInt32 bufferHeight, Boolean bufferInterlaced, Boolean field1Dominant,
                        Boolean videoLineJustAboveCleanApertureCenterIsInF1,
                        const CO_CleanApertureData *cleanApertureData) {
  const SInt32 k = LineAboveCentre(bufferHeight, VertOffN(cleanApertureData), VertOffD(cleanApertureData), 2);
  // The top line lies in field 1 when it has the parity of the line above the centre and that line is in
  // field 1, or the other parity and that line is not.
  bool late = (k % 2 == 0) == (videoLineJustAboveCleanApertureCenterIsInF1 != 0);
  if (field1Dominant) late = !late;
  if (bufferInterlaced) return late ? kDetailInterleavedLate : kDetailInterleavedEarly;
  return late ? kDetailSeparateLate : kDetailSeparateEarly;
}

CO_FieldDominance CO_GetFieldDominance(SInt32 bufferHeight, Boolean videoLineJustAboveCleanApertureCenterIsInF1,
                                       const CO_CleanApertureData *cleanApertureData, UInt8 fieldDetail) {
  const SInt32 k = LineAboveCentre(bufferHeight, VertOffN(cleanApertureData), VertOffD(cleanApertureData), 2);
  const bool topInF1 = (k % 2 == 0) == (videoLineJustAboveCleanApertureCenterIsInF1 != 0);
  const bool late = (fieldDetail & kDetailLateBit) != 0;
  return topInF1 == late ? kCO_Field2Dominant : kCO_Field1Dominant;
}

OSStatus CO_CheckCleanCenterPosition(SInt32 imageWidth, SInt32 imageHeight,
                                     const CO_CleanApertureData *cleanApertureData) {
  if (cleanApertureData == nullptr || cleanApertureData->horizOffD == 0 || cleanApertureData->vertOffD == 0)
    return paramErr;
  // An odd size puts the picture centre inside a line: the offset must be an odd number of halves. An even
  // size puts it on a boundary: the offset must be whole.
  auto onBoundary = [](SInt32 size, SInt64 n, SInt64 d) {
    if (size == 0) return true;
    if (size % 2 != 0) return (2 * n) % d == 0 && ((2 * n) / d) % 2 != 0;
    return n % d == 0;
  };
  OSStatus err = noErr;
  if (!onBoundary(imageHeight, cleanApertureData->vertOffN, cleanApertureData->vertOffD))
    err = kCO_VBCleanCenterWithinLineErr;
  if (!onBoundary(imageWidth, cleanApertureData->horizOffN, cleanApertureData->horizOffD))
    err = kCO_VBCleanCenterWithinPixelErr;
  return err;
}

SInt32 CO_BufferLineToImageLine(const CO_FieldData *fielData, SInt32 imageHeight, SInt32 bufferLine) {
  if (fielData == nullptr || fielData->fields == 1 || (fielData->detail & kDetailSeparateBit) == 0) return bufferLine;
  if (fielData->detail & kDetailEvenFirstBit) {
    const SInt32 n = (imageHeight + 1) / 2;
    return bufferLine < n ? 2 * bufferLine : 2 * (bufferLine - n) + 1;
  }
  const SInt32 n = imageHeight / 2;
  return bufferLine < n ? 2 * bufferLine + 1 : 2 * (bufferLine - n);
}

SInt32 CO_ImageLineToBufferLine(const CO_FieldData *fielData, SInt32 imageHeight, SInt32 imageLine) {
  if (fielData == nullptr || fielData->fields == 1 || (fielData->detail & kDetailSeparateBit) == 0) return imageLine;
  if (fielData->detail & kDetailEvenFirstBit) {
    const SInt32 n = (imageHeight + 1) / 2;
    return imageLine % 2 == 0 ? imageLine / 2 : n + (imageLine - 1) / 2;
  }
  const SInt32 n = imageHeight / 2;
  return imageLine % 2 != 0 ? (imageLine - 1) / 2 : n + imageLine / 2;
}

SInt32 CO_ImageLineToVideoLine(SInt32 standardProdHeight, CO_CleanApertureCenterPositionInVideoSignal center,
                               SInt32 imageLineDistanceFromJustAboveCenterLine) {
  const SInt64 d = imageLineDistanceFromJustAboveCenterLine;
  const SInt64 above = center.videoLineJustAbove, below = center.videoLineJustBelow;
  if (below == above + 1) {
    const SInt64 v = above + d, m = above - (standardProdHeight - 1) / 2;
    return v < m || v > m + standardProdHeight - 1 ? 0 : SInt32(v);
  }
  SInt32 min1, max1, min2, max2;
  CO_GetFieldBoundaries(standardProdHeight, center, &min1, &max1, &min2, &max2);
  const bool aboveInF1 = above < below;
  const bool sameField = d % 2 == 0;
  const SInt64 v = sameField ? above + d / 2 : below + (d - 1) / 2;
  const bool inF1 = sameField == aboveInF1;
  const SInt64 lo = inF1 ? min1 : min2, hi = inF1 ? max1 : max2;
  return v < lo || v > hi ? 0 : SInt32(v);
}

SInt32 CO_VideoLineToImageLine(SInt32 standardProdHeight, CO_CleanApertureCenterPositionInVideoSignal center,
                               SInt32 videoLine) {
  const SInt64 v = videoLine;
  const SInt64 above = center.videoLineJustAbove, below = center.videoLineJustBelow;
  if (below == above + 1) {
    const SInt64 m = above - (standardProdHeight - 1) / 2;
    if (v < m) return INT_MIN;
    if (v > m + standardProdHeight - 1) return INT_MAX;
    return SInt32(v - above);
  }
  SInt32 min1, max1, min2, max2;
  CO_GetFieldBoundaries(standardProdHeight, center, &min1, &max1, &min2, &max2);
  const bool aboveInF1 = above < below;
  const int field = FieldOf(videoLine, min1, max1, min2, max2);
  if (field != 0) {
    const bool inAboveField = (field == 1) == aboveInF1;
    return SInt32(inAboveField ? 2 * (v - above) : 2 * (v - below) + 1);
  }
  // Outside the pictures of both fields: before a field's first picture line (which includes the blanking
  // between the first field's last line and the second field's first) or after the last field's last line.
  const SInt64 lastLine = std::max(max1, max2);
  return v > lastLine ? INT_MAX : INT_MIN;
}

SInt32 CO_BufferLineToVideoLine(CO_StandardVideoSource source, const CO_CleanApertureData *cleanApertureData,
                                const CO_FieldData *fielData, SInt32 imageHeight, SInt32 bufferLine) {
  if (cleanApertureData == nullptr || cleanApertureData->vertOffD == 0) return 0;
  const SourceRow &row = Source(source);
  const SInt32 imageLine = CO_BufferLineToImageLine(fielData, imageHeight, bufferLine);
  const SInt32 c = LineAboveCentre(imageHeight, cleanApertureData->vertOffN, cleanApertureData->vertOffD, 1);
  return CO_ImageLineToVideoLine(row.prodHeight, Centre(row), imageLine - c);
}

SInt32 CO_VideoLineToBufferLine(CO_StandardVideoSource source, const CO_CleanApertureData *cleanApertureData,
                                const CO_FieldData *fielData, SInt32 imageHeight, SInt32 videoLine) {
  if (cleanApertureData == nullptr || cleanApertureData->vertOffD == 0) return INT_MIN;
  const SourceRow &row = Source(source);
  const SInt32 d = CO_VideoLineToImageLine(row.prodHeight, Centre(row), videoLine);
  if (d == INT_MIN || d == INT_MAX) return d;
  const SInt64 imageLine =
      SInt64(d) + LineAboveCentre(imageHeight, cleanApertureData->vertOffN, cleanApertureData->vertOffD, 1);
  if (imageLine < 0) return INT_MIN;
  if (imageLine >= imageHeight) return INT_MAX;
  return CO_ImageLineToBufferLine(fielData, imageHeight, SInt32(imageLine));
}

void CO_VideoLineToStandardLine(CO_StandardVideoSource source, SInt32 videoLine, SInt32 *cleanLine,
                                SInt32 *productionLine) {
  const SourceRow &row = Source(source);
  const SInt32 d = CO_VideoLineToImageLine(row.prodHeight, Centre(row), videoLine);
  const SInt64 ch = row.clapHD != 0 ? row.clapHN / row.clapHD : 0;
  auto place = [d](SInt64 height) -> SInt32 {
    if (d == INT_MIN || d == INT_MAX) return -1;
    const SInt64 line = (height - 1) / 2 + d;
    return line < 0 || line > height - 1 ? -1 : SInt32(line);
  };
  if (cleanLine) *cleanLine = place(ch);
  if (productionLine) *productionLine = place(row.prodHeight);
}

void CO_StandardLineToVideoLine(CO_StandardVideoSource source, SInt32 cleanLine, SInt32 productionLine,
                                SInt32 *cleanVideoLine, SInt32 *productionVideoLine) {
  const SourceRow &row = Source(source);
  const SInt32 ch = row.clapHD != 0 ? row.clapHN / row.clapHD : 0;
  auto video = [&row](SInt32 line, SInt32 height) -> SInt32 {
    if (line < 0 || line > height - 1) return 0;
    return CO_ImageLineToVideoLine(row.prodHeight, Centre(row), line - (height - 1) / 2);
  };
  if (cleanVideoLine) *cleanVideoLine = video(cleanLine, ch);
  if (productionVideoLine) *productionVideoLine = video(productionLine, row.prodHeight);
}

// ---- Buffers ----

SInt32 CO_GetCleanWidth(const CO_CleanApertureData *cleanApertureData, int horizAlignPixels) {
  if (cleanApertureData == nullptr || cleanApertureData->widthD == 0) return 0;
  SInt64 n = cleanApertureData->widthN, d = cleanApertureData->widthD;
  if (d < 0) n = -n, d = -d;
  SInt64 w = -FloorDiv(-n, d);  // rounded up
  // Up to the next whole packing group (adding the remainder reaches one only for groups of 2).
  if (horizAlignPixels > 0 && FloorMod(w, horizAlignPixels) != 0) w += horizAlignPixels - FloorMod(w, horizAlignPixels);
  return SInt32(w);
}

OSStatus CO_TrimProductionBuffer(CO_StandardVideoSource source, Ptr productionBuffer, SInt32 bufferSize,
                                 Ptr *cleanBuffer) {
  if (cleanBuffer == nullptr) return paramErr;
  *cleanBuffer = nullptr;
  const SourceRow &row = Source(source);
  if (productionBuffer == nullptr || bufferSize <= 0 || row.prodWidth <= 0 || row.prodHeight <= 0 ||
      bufferSize % row.prodHeight != 0)
    return paramErr;
  GL_LongRatio bytesPerPixel;
  GL_CreateLongRatio(bufferSize, SInt64(row.prodWidth) * row.prodHeight, &bytesPerPixel);
  const SInt32 align = SInt32(bytesPerPixel.d % 2 != 0 ? bytesPerPixel.d * 2 : bytesPerPixel.d);
  const CO_CleanApertureData clap = Clap(row);
  const SInt64 cleanWidth = CO_GetCleanWidth(&clap, align);
  const SInt64 prodLineBytes = bufferSize / row.prodHeight;
  const SInt64 cleanLineBytes = cleanWidth * bytesPerPixel.n / SInt64(bytesPerPixel.d);
  const SInt64 groupBytes = SInt64(align) * bytesPerPixel.n / SInt64(bytesPerPixel.d);
  const SInt64 cleanHeight = row.clapHN / row.clapHD;
  if (cleanLineBytes <= 0 || cleanLineBytes > prodLineBytes || cleanHeight <= 0 || cleanHeight > row.prodHeight ||
      groupBytes <= 0)
    return paramErr;
  Ptr clean = static_cast<Ptr>(std::malloc(size_t(cleanLineBytes * cleanHeight)));
  if (clean == nullptr) return memFullErr;
  // Centred both ways; horizontally on a whole packing group, so that packed formats stay decodable.
  const SInt64 left = (prodLineBytes - cleanLineBytes) / 2 / groupBytes * groupBytes;
  const SInt64 top = (row.prodHeight - cleanHeight) / 2;
  for (SInt64 y = 0; y < cleanHeight; ++y)
    std::memcpy(clean + y * cleanLineBytes, productionBuffer + (top + y) * prodLineBytes + left, size_t(cleanLineBytes));
  *cleanBuffer = clean;
  return noErr;
}

void CO_StandardBufferToF1F2(CO_StandardVideoSource source, Ptr productionBuffer, SInt32 bufferSize, TimeValue time,
                             Ptr f1Buffer, Ptr f2Buffer, TimeValue *time1, TimeValue *time2) {
  const SourceRow &row = Source(source);
  if (time1) *time1 = time;
  if (time2) *time2 = time + row.frameDuration / 2;
  if (productionBuffer == nullptr || f1Buffer == nullptr || f2Buffer == nullptr || row.prodHeight <= 0 || bufferSize <= 0)
    return;
  const size_t lineBytes = size_t(bufferSize / row.prodHeight);
  Ptr fields[2] = {f1Buffer, f2Buffer};
  const int first = (StandardDetail(row, kCO_Field1Dominant) & kDetailLateBit) ? 1 : 0;
  size_t next[2] = {0, 0};
  for (SInt32 line = 0; line < row.prodHeight; ++line) {
    const int f = line % 2 == 0 ? first : 1 - first;
    std::memcpy(fields[f] + next[f]++ * lineBytes, productionBuffer + size_t(line) * lineBytes, lineBytes);
  }
}

OSStatus CO_F1F2ToStandardBuffer(CO_StandardVideoSource source, Ptr f1Buffer, Ptr f2Buffer, TimeValue time1,
                                 TimeValue time2, Ptr productionBuffer, SInt32 bufferSize, TimeValue *time,
                                 TimeValue *frameDuration) {
  const SourceRow &row = Source(source);
  if (productionBuffer == nullptr || f1Buffer == nullptr || f2Buffer == nullptr || row.prodHeight <= 0 || bufferSize <= 0)
    return paramErr;
  if (std::llabs(SInt64(time1) - time2) != row.frameDuration / 2) return kCO_VBFrameDurationErr;
  if (time) *time = std::min(time1, time2);
  if (frameDuration) *frameDuration = row.frameDuration;
  const size_t lineBytes = size_t(bufferSize / row.prodHeight);
  Ptr fields[2] = {f1Buffer, f2Buffer};
  const int first = (StandardDetail(row, kCO_Field1Dominant) & kDetailLateBit) ? 1 : 0;
  size_t next[2] = {0, 0};
  for (SInt32 line = 0; line < row.prodHeight; ++line) {
    const int f = line % 2 == 0 ? first : 1 - first;
    std::memcpy(productionBuffer + size_t(line) * lineBytes, fields[f] + next[f]++ * lineBytes, lineBytes);
  }
  return noErr;
}

OSStatus CO_CheckF1DomStandProdBufferParameters(CO_StandardVideoSource source, CodecType yCbCrType, SInt32 bufferSize,
                                                SInt32 height, SInt32 width,
                                                const CO_PixelAspectRatio *pixelAspectRatio, UInt8 bufferInterlaced,
                                                UInt8 topLineInLaterField,
                                                const CO_CleanApertureData *cleanApertureData, SInt32 cleanWidth,
                                                float frameRate, TimeScale timeScale, TimeValue frameDuration) {
  const SourceRow &row = Source(source);
  OSStatus first = noErr;
  auto fail = [&first](OSStatus err) {
    if (first == noErr) first = err;
  };
  const TypeRow *type = nullptr;
  if (yCbCrType != 0) {
    type = FindType(yCbCrType);
    if (type == nullptr) fail(kCO_VBUnknownYCbCrTypeErr);
  }
  if (bufferSize != 0 && height != 0) {
    if (bufferSize % height != 0) {
      fail(kCO_VBBufferSizeNotLinesErr);
    } else if (type != nullptr) {
      GL_LongRatio bytesPerPixel;
      GL_CreateLongRatio(type->bytesN, type->bytesD, &bytesPerPixel);
      if ((bufferSize / height) % bytesPerPixel.n != 0) fail(kCO_VBLineSizeNotAlignedErr);
    }
  }
  if (height != 0 && height != row.prodHeight) fail(kCO_VBProductionHeightErr);
  if (width != 0 && width != row.prodWidth) fail(kCO_VBProductionWidthErr);
  if (width != 0 && type != nullptr && width % type->align != 0) fail(kCO_VBWidthNotAlignedErr);
  if (pixelAspectRatio != nullptr &&
      (pixelAspectRatio->vExtent == 0 || !SameFraction(pixelAspectRatio->hExtent, pixelAspectRatio->vExtent, row.paspH, row.paspV)))
    fail(kCO_VBPixelAspectRatioErr);
  const CO_CleanApertureData standardClap = Clap(row);
  if (cleanApertureData != nullptr) {
    const CO_CleanApertureData &c = *cleanApertureData;
    const bool same = c.widthD != 0 && c.heightD != 0 && c.horizOffD != 0 && c.vertOffD != 0 &&
                      SameFraction(c.widthN, c.widthD, standardClap.widthN, standardClap.widthD) &&
                      SameFraction(c.heightN, c.heightD, standardClap.heightN, standardClap.heightD) &&
                      SameFraction(c.horizOffN, c.horizOffD, 0, 1) && SameFraction(c.vertOffN, c.vertOffD, 0, 1);
    if (!same) fail(kCO_VBCleanApertureErr);
  }
  if (cleanWidth != 0 && type != nullptr && cleanWidth != CO_GetCleanWidth(&standardClap, type->align))
    fail(kCO_VBWidthNotAlignedErr);
  if (bufferInterlaced != 0xFF || topLineInLaterField != 0xFF) {
    if (row.fields == 1) {
      if (bufferInterlaced == 1) fail(kCO_VBFieldLayoutErr);
      if (topLineInLaterField != 0xFF) fail(paramErr);
    } else if (row.fields == 2) {
      if (bufferInterlaced == 0) fail(kCO_VBFieldLayoutErr);
      const bool standardLate = (StandardDetail(row, kCO_Field1Dominant) & kDetailLateBit) != 0;
      if (topLineInLaterField != 0xFF && (topLineInLaterField != 0) != standardLate) fail(kCO_VBFieldOrderErr);
    }
  }
  if (frameRate != 0.0f && std::fabs(frameRate - row.frameRate) > 0.005f) fail(kCO_VBFrameRateErr);
  if (timeScale != 0 && timeScale != row.timeScale) fail(kCO_VBTimeScaleErr);
  if (frameDuration != 0 && frameDuration != row.frameDuration) fail(kCO_VBFrameDurationErr);
  return first;
}

OSStatus CO_BufferToF1F2(Ptr buffer, SInt32 bufferSize, CO_StandardVideoSource source, CodecType yCbCrType,
                         SInt32 height, SInt32 width, TimeValue time, const CO_FieldData *fielData,
                         const CO_CleanApertureData *cleanApertureData, Ptr f1Buffer, Ptr f2Buffer, TimeValue *time1,
                         TimeValue *time2) {
  if (buffer == nullptr || f1Buffer == nullptr || f2Buffer == nullptr || fielData == nullptr) return paramErr;
  FieldGeometry g;
  OSStatus err = Measure(source, yCbCrType, height, width, bufferSize, cleanApertureData, &g);
  if (err != noErr) return err;
  const CO_CleanApertureData &clap = *cleanApertureData;
  const SInt32 c = LineAboveCentre(width, clap.horizOffN, clap.horizOffD, 0);
  if (FloorMod(c, g.half) != 0) return kCO_VBCenterNotHalfPackAlignedErr;
  if ((FloorMod(c, g.align) == 0) != ((g.row->prodWidth / 2) % g.align == 0)) return kCO_VBCenterPackAlignmentErr;
  if ((err = PlaceColumns(c, width, &g)) != noErr) return err;

  std::memset(f1Buffer, 0, size_t(g.max1 - g.min1 + 1) * size_t(g.prodLineBytes));
  std::memset(f2Buffer, 0, size_t(g.max2 - g.min2 + 1) * size_t(g.prodLineBytes));
  const SInt64 fromByte = g.Bytes(g.firstColumn), toByte = g.Bytes(g.prodColumn), bytes = g.Bytes(g.columnCount);
  for (SInt32 b = 0; b < height; ++b) {
    const SInt32 v = CO_BufferLineToVideoLine(source, &clap, fielData, height, b);
    const int field = FieldOf(v, g.min1, g.max1, g.min2, g.max2);
    if (field == 0 || bytes == 0) continue;
    Ptr dst = field == 1 ? f1Buffer + SInt64(v - g.min1) * g.prodLineBytes : f2Buffer + SInt64(v - g.min2) * g.prodLineBytes;
    std::memcpy(dst + toByte, buffer + SInt64(b) * g.rowBytes + fromByte, size_t(bytes));
  }
  const Boolean aboveInF1 = g.row->above < g.row->below;
  const TimeValue half = g.row->frameDuration / 2;
  const bool field2First = CO_GetFieldDominance(height, aboveInF1, &clap, fielData->detail) == kCO_Field2Dominant;
  if (time1) *time1 = field2First ? time + half : time;
  if (time2) *time2 = field2First ? time : time + half;
  return noErr;
}

OSStatus CO_F1F2ToBuffer(Ptr f1Buffer, Ptr f2Buffer, TimeValue time1, TimeValue time2, Ptr buffer, SInt32 bufferSize,
                         CO_StandardVideoSource source, CodecType yCbCrType, SInt32 height, SInt32 width,
                         TimeValue *time, CO_FieldData *fielData, CO_CleanApertureData *cleanApertureData) {
  if (buffer == nullptr || f1Buffer == nullptr || f2Buffer == nullptr || fielData == nullptr) return paramErr;
  FieldGeometry g;
  OSStatus err = Measure(source, yCbCrType, height, width, bufferSize, cleanApertureData, &g);
  if (err != noErr) return err;
  if (std::llabs(SInt64(time1) - time2) != g.row->frameDuration / 2) return kCO_VBFrameDurationErr;

  // Move the centre column left onto the packing instead of failing, and the description's offset with it.
  CO_CleanApertureData &clap = *cleanApertureData;
  SInt32 c = LineAboveCentre(width, clap.horizOffN, clap.horizOffD, 0);
  SInt32 shift = SInt32(FloorMod(c, g.half));
  if (((FloorMod(c - shift, g.align) == 0) != ((g.row->prodWidth / 2) % g.align == 0))) shift += g.half;
  c -= shift;
  clap.horizOffN -= clap.horizOffD * shift;
  // The detail follows the field times; the layout (interleaved or one field after the other) stays.
  const Boolean aboveInF1 = g.row->above < g.row->below;
  fielData->detail = CO_GetFieldDetail(height, (fielData->detail & kDetailSeparateBit) == 0, time1 < time2, aboveInF1, &clap);
  if ((err = PlaceColumns(c, width, &g)) != noErr) return err;

  std::memset(buffer, 0, size_t(SInt64(g.rowBytes) * height));
  const SInt64 toByte = g.Bytes(g.firstColumn), fromByte = g.Bytes(g.prodColumn), bytes = g.Bytes(g.columnCount);
  for (SInt32 b = 0; b < height; ++b) {
    const SInt32 v = CO_BufferLineToVideoLine(source, &clap, fielData, height, b);
    const int field = FieldOf(v, g.min1, g.max1, g.min2, g.max2);
    if (field == 0 || bytes == 0) continue;
    const Ptr src = field == 1 ? f1Buffer + SInt64(v - g.min1) * g.prodLineBytes : f2Buffer + SInt64(v - g.min2) * g.prodLineBytes;
    std::memcpy(buffer + SInt64(b) * g.rowBytes + toByte, src + fromByte, size_t(bytes));
  }
  if (time) *time = std::min(time1, time2);
  return noErr;
}

// ---- Pixels ----

OSStatus NormalizeYCbCr(const void *yCbCrPixel, CodecType yCbCrType, double yCbCrA[4], double suggestedAlpha) {
  if (yCbCrPixel == nullptr || yCbCrA == nullptr) return paramErr;
  const UInt8 *p = static_cast<const UInt8 *>(yCbCrPixel);
  double y, cb, cr, a = suggestedAlpha;
  switch (yCbCrType) {
    case '2vuy': y = UnitLuma(p[1], 16, 219), cb = UnitChroma(p[0], 128, 224), cr = UnitChroma(p[2], 128, 224); break;
    case 'yuv2':
    case 'yuvu':  // full-range luma, signed chroma
      y = p[0] / 255.0, cb = SInt8(p[1]) / 254.0, cr = SInt8(p[3]) / 254.0;
      break;
    case 'v210': {
      const UInt32 w = GetLE32(p);
      cb = UnitChroma(w & 0x3FF, 512, 896), y = UnitLuma((w >> 10) & 0x3FF, 64, 876),
      cr = UnitChroma((w >> 20) & 0x3FF, 512, 896);
      break;
    }
    case 'v216':
      cb = UnitChroma(GetLE16(p), 32768, 57344), y = UnitLuma(GetLE16(p + 2), 4096, 56064),
      cr = UnitChroma(GetLE16(p + 4), 32768, 57344);
      break;
    case 'v308': cr = UnitChroma(p[0], 128, 224), y = UnitLuma(p[1], 16, 219), cb = UnitChroma(p[2], 128, 224); break;
    case 'v408':
      cb = UnitChroma(p[0], 128, 224), y = UnitLuma(p[1], 16, 219), cr = UnitChroma(p[2], 128, 224), a = p[3] / 255.0;
      break;
    case 'v410': {
      const UInt32 w = GetLE32(p);
      cb = UnitChroma((w >> 2) & 0x3FF, 512, 896), y = UnitLuma((w >> 12) & 0x3FF, 64, 876),
      cr = UnitChroma((w >> 22) & 0x3FF, 512, 896);
      break;
    }
    default: return paramErr;
  }
  yCbCrA[0] = y;
  yCbCrA[1] = std::clamp(cb, -0.5, 0.5);
  yCbCrA[2] = std::clamp(cr, -0.5, 0.5);
  yCbCrA[3] = a;
  return noErr;
}

OSStatus NormalizedYCbCrToTyped(CodecType yCbCrType, const double yCbCrA[4], double suggestedAlpha, void *yCbCrPixel) {
  if (yCbCrPixel == nullptr || yCbCrA == nullptr) return paramErr;
  UInt8 *p = static_cast<UInt8 *>(yCbCrPixel);
  const double y = yCbCrA[0], cb = yCbCrA[1], cr = yCbCrA[2];
  switch (yCbCrType) {
    case '2vuy': {
      const UInt8 Y = UInt8(VideoCode(y, 16, 219, 8)), B = UInt8(VideoCode(cb, 128, 224, 8)), R = UInt8(VideoCode(cr, 128, 224, 8));
      const UInt8 pair[4] = {B, Y, R, Y};
      std::memcpy(p, pair, 4);
      return noErr;
    }
    case 'yuv2':
    case 'yuvu': {
      const UInt8 Y = UInt8(std::clamp(std::floor(y * 255.0 + 0.5), 0.0, 255.0));
      const UInt8 B = UInt8(SInt8(std::clamp(std::floor(cb * 254.0 + 0.5), -127.0, 127.0)));
      const UInt8 R = UInt8(SInt8(std::clamp(std::floor(cr * 254.0 + 0.5), -127.0, 127.0)));
      const UInt8 pair[4] = {Y, B, Y, R};
      std::memcpy(p, pair, 4);
      return noErr;
    }
    case 'v210': {
      const UInt32 Y = VideoCode(y, 64, 876, 10), B = VideoCode(cb, 512, 896, 10), R = VideoCode(cr, 512, 896, 10);
      // Six pixels: Cb0 Y0 Cr0 | Y1 Cb1 Y2 | Cr1 Y3 Cb2 | Y4 Cr2 Y5.
      PutLE32(p, B | Y << 10 | R << 20);
      PutLE32(p + 4, Y | B << 10 | Y << 20);
      PutLE32(p + 8, R | Y << 10 | B << 20);
      PutLE32(p + 12, Y | R << 10 | Y << 20);
      return noErr;
    }
    case 'v216': {
      const UInt16 Y = UInt16(VideoCode(y, 4096, 56064, 16)), B = UInt16(VideoCode(cb, 32768, 57344, 16)),
                   R = UInt16(VideoCode(cr, 32768, 57344, 16));
      PutLE16(p, B), PutLE16(p + 2, Y), PutLE16(p + 4, R), PutLE16(p + 6, Y);
      return noErr;
    }
    case 'v308':
    case 'v408': {
      const UInt8 Y = UInt8(VideoCode(y, 16, 219, 8)), B = UInt8(VideoCode(cb, 128, 224, 8)), R = UInt8(VideoCode(cr, 128, 224, 8));
      if (yCbCrType == 'v308') {
        const UInt8 two[6] = {R, Y, B, R, Y, B};
        std::memcpy(p, two, 6);
      } else {
        const double alpha = yCbCrA[3] >= 0.0 && yCbCrA[3] <= 1.0 ? yCbCrA[3] : suggestedAlpha;
        const UInt8 A = UInt8(std::clamp(std::floor(alpha * 255.0 + 0.5), 0.0, 255.0));
        const UInt8 two[8] = {B, Y, R, A, B, Y, R, A};
        std::memcpy(p, two, 8);
      }
      return noErr;
    }
    case 'v410': {
      const UInt32 w = VideoCode(cb, 512, 896, 10) << 2 | VideoCode(y, 64, 876, 10) << 12 | VideoCode(cr, 512, 896, 10) << 22;
      PutLE32(p, w);
      PutLE32(p + 4, w);
      return noErr;
    }
    default: return paramErr;
  }
}
