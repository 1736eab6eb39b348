// The RGB cube's corners in the chroma plane, and QuickDraw's basic colours.
#include "color/rgb_corners.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

struct Weights {
  float kr;
  float kg;
  float kb;
};

Weights WeightsOf(CO_Matrix matrix) {
  if (matrix == kCO_Rec709Matrix) return Weights{0.2125f, 0.7154f, 0.0721f};
  return Weights{0.299f, 0.587f, 0.114f};
}

// R, G, B of the corners in their order.
const UInt8 kCornerRGB[6][3] = {{0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {1, 1, 0}};
const char *const kCornerNames[6] = {"green", "cyan", "blue", "magenta", "red", "yellow"};

// Luma and chroma of every corner, and the angles and sides that follow from them.
void Corners(CO_Matrix matrix, CO_RGB_Corners *out) {
  const Weights w = WeightsOf(matrix);
  for (int i = 0; i < 6; ++i) {
    const float r = kCornerRGB[i][0], g = kCornerRGB[i][1], b = kCornerRGB[i][2];
    const float y = w.kr * r + w.kg * g + w.kb * b;
    out->y[i] = y;
    out->cb[i] = (b - y) * 0.5f / (1.0f - w.kb);
    out->cr[i] = (r - y) * 0.5f / (1.0f - w.kr);
    out->angle[i] = std::atan2(out->cr[i], out->cb[i]);
  }
  for (int i = 0; i < 6; ++i) {
    const int next = (i + 1) % 6;
    const float dx = out->cb[next] - out->cb[i], dy = out->cr[next] - out->cr[i];
    const float len = std::sqrt(dx * dx + dy * dy);
    out->nx[i] = dy / len;
    out->ny[i] = -dx / len;
    out->c[i] = out->cb[i] * out->nx[i] + out->cr[i] * out->ny[i];
  }
}

void CopySides(const CO_RGB_Corners &corners, float rgbAngle[6], float nx[6], float ny[6], float c[6]) {
  std::memcpy(rgbAngle, corners.angle, sizeof corners.angle);
  std::memcpy(nx, corners.nx, sizeof corners.nx);
  std::memcpy(ny, corners.ny, sizeof corners.ny);
  std::memcpy(c, corners.c, sizeof corners.c);
}

// The side of phi among corner angles in any unit (see CO_GetNearestCorners).
int SideOf(const float angle[6], float phi) {
  for (int i = 0; i < 5; ++i)
    if (phi >= angle[i] && phi < angle[i + 1]) return i;
  return 5;
}

// The corner index of a basic colour among the six, or -1.
int CornerOfBasicColor(UInt32 color) {
  switch (color) {
    case kCO_GreenBasicColor: return 0;
    case kCO_CyanBasicColor: return 1;
    case kCO_BlueBasicColor: return 2;
    case kCO_MagentaBasicColor: return 3;
    case kCO_RedBasicColor: return 4;
    case kCO_YellowBasicColor: return 5;
    default: return -1;
  }
}

}  // namespace

void CO_GetRGB_CornersInYC_1(float rgbAngle[6], float nx[6], float ny[6], float c[6], CO_Matrix matrix) {
  CO_RGB_Corners corners;
  Corners(matrix, &corners);
  CopySides(corners, rgbAngle, nx, ny, c);
}

void CO_GetRGB_CornersInYC_2(float rgbAngle[6], float nx[6], float ny[6], float c[6], float y[6], float cb[6],
                             float cr[6]) {
  CO_RGB_Corners corners;
  Corners(kCO_Rec601Matrix, &corners);
  CopySides(corners, rgbAngle, nx, ny, c);
  std::memcpy(y, corners.y, sizeof corners.y);
  std::memcpy(cb, corners.cb, sizeof corners.cb);
  std::memcpy(cr, corners.cr, sizeof corners.cr);
}

void CO_GetNearestCornerColors(float phi, CO_Matrix matrix, float *phi1, char *color1name, float *phi2,
                               char *color2name) {
  CO_RGB_Corners corners;
  Corners(matrix, &corners);
  float degrees[6];
  for (int i = 0; i < 6; ++i) degrees[i] = corners.angle[i] * 180.0f / std::numbers::pi_v<float>;
  const int first = SideOf(degrees, phi);
  // The outer interval runs from yellow round to green: green first, as for the inner ones.
  const int a = first == 5 ? 0 : first, b = first == 5 ? 5 : first + 1;
  if (phi1 != nullptr) *phi1 = degrees[a];
  if (phi2 != nullptr) *phi2 = degrees[b];
  if (color1name != nullptr) std::strcpy(color1name, kCornerNames[a]);
  if (color2name != nullptr) std::strcpy(color2name, kCornerNames[b]);
}

void CO_GetNearestCorners(const float rgbAngle[6], float phi, SInt32 *index) {
  if (rgbAngle == nullptr || index == nullptr) return;
  *index = SideOf(rgbAngle, phi);
}

float CO_CalcSaturation(float cbF, float crF, const float angle[6], const float nx[6], const float ny[6],
                        const float c[6]) {
  const int i = SideOf(angle, std::atan2(crF, cbF));
  const float d = nx[i] * cbF + ny[i] * crF;
  return d / c[i];
}

void CO_SaturatedColorToYC(float phi, UInt8 y, const CO_RGB_Corners *rgbCorners, SInt16 *cb, SInt16 *cr) {
  if (rgbCorners == nullptr || cb == nullptr || cr == nullptr) return;
  const CO_RGB_Corners &k = *rgbCorners;
  const int i = SideOf(k.angle, phi), next = (i + 1) % 6;
  // The point of side i on the ray of hue phi is f x corner i + (1 - f) x the next corner, where a and b
  // are how far each corner lies off the ray. b / (b - a) stays finite when the hue is exactly at corner i
  // (a = 0), where the ratio form -b / a would divide by zero.
  const float t = std::tan(phi);
  const float a = k.cr[i] - k.cb[i] * t, b = k.cr[next] - k.cb[next] * t;
  const float f = b / (b - a);
  const float yE = f * k.y[i] + (1.0f - f) * k.y[next];
  float cbE = f * k.cb[i] + (1.0f - f) * k.cb[next];
  float crE = f * k.cr[i] + (1.0f - f) * k.cr[next];
  const float luma = (float(y) - 16.0f) / 235.0f;
  const float scale = luma / yE < 1.0f ? luma / yE : 1.0f - (luma - yE) / (1.0f - yE);
  cbE *= scale;
  crE *= scale;
  *cb = SInt16(std::trunc(224.0f * cbE));
  *cr = SInt16(std::trunc(224.0f * crE));
}

void CO_RGBBasicColorToYCbCrU8(UInt32 color, UInt8 yCbCr[3]) {
  if (yCbCr == nullptr) return;
  if (color == kCO_WhiteBasicColor || color == kCO_BlackBasicColor) {
    yCbCr[0] = color == kCO_WhiteBasicColor ? 235 : 16;
    yCbCr[1] = yCbCr[2] = 128;
    return;
  }
  const int i = CornerOfBasicColor(color);
  if (i < 0) return;
  CO_RGB_Corners k;
  Corners(kCO_Rec601Matrix, &k);
  // Pure red and blue are dark; their luma is lifted so that they stand out on black.
  const float lift = color == kCO_RedBasicColor ? 30.0f : color == kCO_BlueBasicColor ? 60.0f : 0.0f;
  yCbCr[0] = UInt8(std::trunc(16.0f + 219.0f * k.y[i] + lift));
  yCbCr[1] = UInt8(std::trunc(128.0f + 112.0f * k.cb[i]));
  yCbCr[2] = UInt8(std::trunc(128.0f + 112.0f * k.cr[i]));
}

void CO_RGBBasicColorToRGBColor(UInt32 color, RGBColor *rgbColor) {
  if (rgbColor == nullptr) return;
  switch (color) {
    case kCO_WhiteBasicColor: *rgbColor = RGBColor{65535, 65535, 65535}; return;
    case kCO_BlackBasicColor: *rgbColor = RGBColor{0, 0, 0}; return;
    case kCO_MidGrayBasicColor: *rgbColor = RGBColor{32767, 32767, 32767}; return;
    case kCO_YellowBasicColor: *rgbColor = RGBColor{65535, 65535, 0}; return;
    case kCO_MagentaBasicColor: *rgbColor = RGBColor{65535, 0, 65535}; return;
    case kCO_RedBasicColor: *rgbColor = RGBColor{65535, 0, 0}; return;
    case kCO_CyanBasicColor: *rgbColor = RGBColor{0, 65535, 65535}; return;
    case kCO_GreenBasicColor: *rgbColor = RGBColor{0, 65535, 0}; return;
    case kCO_BlueBasicColor: *rgbColor = RGBColor{0, 0, 65535}; return;
    default: return;
  }
}
