// The RGB cube seen in the chroma plane: its six saturated corners (green, cyan, blue, magenta, red, yellow)
// form a hexagon around grey. Corner angles and sides, the corners that bracket a hue, how saturated a
// chroma is, the most saturated colour of a hue at a luma, and QuickDraw's basic colour constants as
// RGBColor or 8-bit Y, Cb, Cr.
//
// Chroma plane: x = (B - Y) * 0.5 / (1 - Kb) (Cb), y = (R - Y) * 0.5 / (1 - Kr) (Cr), both -0.5..0.5.
// Corners run in the order green, cyan, blue, magenta, red, yellow (indices 0..5), their angles rising
// from about -128 degrees to about 171; side i runs from corner i to corner i + 1, side 5 back to green.
// Everything is single precision. Pure functions, any thread.
#pragma once

#include "platform/core/quickdraw_ports.h"

typedef UInt32 CO_Matrix;
enum : CO_Matrix { kCO_Rec601Matrix = 0, kCO_Rec709Matrix = 1 };

// QuickDraw's basic colours (ForeColor constants) and the mid grey that the dialog uses.
enum : UInt32 {
  kCO_WhiteBasicColor = 30,
  kCO_BlackBasicColor = 33,
  kCO_MidGrayBasicColor = 34,
  kCO_YellowBasicColor = 69,
  kCO_MagentaBasicColor = 137,
  kCO_RedBasicColor = 205,
  kCO_CyanBasicColor = 273,
  kCO_GreenBasicColor = 341,
  kCO_BlueBasicColor = 409,
};

// Per corner: angle (radians), the outward unit normal (nx, ny) and distance c of the side that starts
// there, and the corner's luma and chroma.
struct CO_RGB_Corners {
  float angle[6];
  float nx[6];
  float ny[6];
  float c[6];
  float y[6];
  float cb[6];
  float cr[6];
};

// Corner angles and sides for either matrix (an unknown matrix counts as BT.601).
void CO_GetRGB_CornersInYC_1(float rgbAngle[6], float nx[6], float ny[6], float c[6], CO_Matrix matrix);
// The same for BT.601, plus each corner's luma and chroma.
void CO_GetRGB_CornersInYC_2(float rgbAngle[6], float nx[6], float ny[6], float c[6], float y[6], float cb[6],
                             float cr[6]);

// The two corners whose angles bracket phi (degrees): their angles in degrees and their names ("green",
// "cyan", "blue", "magenta", "red", "yellow"; the name buffers hold at least 8 bytes). Below the green
// angle or at or above the yellow angle: green and yellow.
void CO_GetNearestCornerColors(float phi, CO_Matrix matrix, float *phi1, char *color1name, float *phi2,
                               char *color2name);
// The side whose corners bracket phi (radians): i when rgbAngle[i] <= phi < rgbAngle[i + 1] (i = 0..4), else
// 5. A hue exactly at a corner belongs to the side that starts there.
void CO_GetNearestCorners(const float rgbAngle[6], float phi, SInt32 *index);

// How saturated the chroma (cbF, crF) is: the fraction of the way from grey to the hexagon's edge along its
// hue, d / c with d = nx * cbF + ny * crF of the side the hue points to. 0 for grey, 1 on the edge whatever
// the side, above 1 outside the RGB cube.
float CO_CalcSaturation(float cbF, float crF, const float angle[6], const float nx[6], const float ny[6],
                        const float c[6]);

// The chroma of the hexagon's edge at hue phi (radians), scaled toward black or white so that it belongs
// to the 8-bit luma y (scaled with (y - 16) / 235): trunc(224 x value), signed, without the 128 offset.
void CO_SaturatedColorToYC(float phi, UInt8 y, const CO_RGB_Corners *rgbCorners, SInt16 *cb, SInt16 *cr);

// 8-bit video-range Y, Cb, Cr of a basic colour (BT.601; red's luma raised by 30 and blue's by 60 so that
// they show). Other constants leave yCbCr unchanged.
void CO_RGBBasicColorToYCbCrU8(UInt32 color, UInt8 yCbCr[3]);
// 16-bit red, green, blue of a basic colour (34: mid grey 32767); other values leave rgbColor unchanged.
void CO_RGBBasicColorToRGBColor(UInt32 color, RGBColor *rgbColor);
