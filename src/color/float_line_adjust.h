// Gamma, contrast, brightness and saturation of one float line (per pixel pair Y0, Cb, Y1, Cr; luma on the
// 0..255 scale, chroma signed around 0). Input and output may be the same line.
//
// The scalar versions read their curves from the 1024-entry tables of gamma_tables.h; the SSE versions
// (suffix Acc) compute the curve with a polynomial logarithm and exponential and take the gammas
// themselves. There are no dispatchers here: the '2vuy' gamma operations choose a path as a whole.
// Widths count pixels, taken in pairs: an odd width is handled as width + 1.
#pragma once

#include "platform/core/mac_types.h"

// Contrast maps a luma Y to (Y - blackLevel) · invBrScale; satScale multiplies chroma.

// Gamma in RGB through the table: the first pixel of a pair is interpolated between neighbouring entries
// and gives the pair's new chroma; the second takes the nearest entry.
void CO_ChangeYuv255LineGamma(SInt32 width, const float *inLinePtr, float *outLinePtr, const UInt16 *newRGB);

// Contrast on both lumas; chroma follows the first luma's ratio where that luma stays positive.
void CO_ChangeYuv255LineContrast(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                 float invBrScale);
// Contrast on luma only; chroma is copied.
void CO_ChangeYuv255LineContrastY_only(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                       float invBrScale);
// Brightness curve (nearest table entry) on luma; chroma follows the first luma's ratio.
void CO_ChangeYuv255LineBrightness(SInt32 width, const float *inLinePtr, float *outLinePtr, const UInt16 *newY);
// Brightness curve on luma only; chroma is copied.
void CO_ChangeYuv255LineBrightnessY_only(SInt32 width, const float *inLinePtr, float *outLinePtr,
                                         const UInt16 *newY);
// Chroma × satScale; luma is copied.
void CO_ChangeYuv255LineSaturation(SInt32 width, const float *inLinePtr, float *outLinePtr, float satScale);
// Contrast, then the brightness curve when newY is given (it may be null), then saturation scaled by the
// luma ratio; a negative ratio gives chroma 0.
void CO_ChangeYuv255LineContrBrSat(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                   float invBrScale, const UInt16 *newY, float satScale);
// The same luma; chroma × satScale.
void CO_ChangeYuv255LineContrBrSatY_only(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                         float invBrScale, const UInt16 *newY, float satScale);

// SSE versions: four pixels a step (float lines allocated 16-byte aligned run fastest). The gamma runs every pair that starts
// below width; the others run width/4 whole groups and leave the pixels after them untouched.

// Gamma in RGB with the curve 255 · (x/255)^(inGamma/outGamma): RGB clamped to at least 1 before the curve,
// at most 254 after it; the pair's chroma comes from its first pixel.
void CO_ChangeYuv255LineGammaAcc(SInt32 width, const float *inLine, float *outLine, float inGamma, float outGamma);
// Contrast of luma clamped to 1..254; chroma scaled by the ratio of the pair's mean lumas and satScale.
void CO_ChangeYuv255LineContrSatAcc(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                    float invBrScale, float satScale);
// Contrast of luma without clamps; chroma × satScale.
void CO_ChangeYuv255LineContrSatY_OnlyAcc(SInt32 width, const float *inLinePtr, float *outLinePtr,
                                          float blackLevel, float invBrScale, float satScale);
// Contrast, then the curve 255 · (Y/255)^brGamma; chroma follows the first pixel's luma ratio and satScale.
void CO_ChangeYuv255LineBrContrSatAcc(SInt32 width, const float *inLinePtr, float *outLinePtr, float brGamma,
                                      float blackLevel, float invBrScale, float satScale);
// Contrast and the brightness curve on luma; chroma × satScale.
void CO_ChangeYuv255LineBrContrSatY_OnlyAcc(SInt32 width, const float *inLinePtr, float *outLinePtr, float brGamma,
                                            float blackLevel, float invBrScale, float satScale);
