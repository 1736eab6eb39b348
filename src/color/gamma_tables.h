// Gamma and brightness tables, and the gamma change of whole '2vuy' frames.
//
// A table holds 1024 unsigned 16-bit entries (2048 bytes, owned by the caller): index i stands for the
// level i/4 on the 0..255 scale (8-bit level v sits at index 4·v) and an entry is 4 × the output level on a
// scale on which 256 is full scale. The scalar gamma and brightness operations read their curves from
// these tables; the SSE versions compute the curve instead.
#pragma once

#include "platform/core/mac_types.h"

enum { kCO_RGBTableEntries = 1024 };

// Fills newRGB with 1024 · (i/1024)^(inGamma/outGamma), rounded: the curve that takes a picture encoded
// with inGamma to outGamma. Equal gammas give the identity (t[i] = i).
void CO_MakeRGBTable(float inGamma, float outGamma, UInt16 *newRGB);

// Fills newY with 1024 · (i/1024)^(1/brightness), rounded; a brightness above 1 brightens.
void CO_MakeBrightnessTable(float brightness, UInt16 *newY);

// '2vuy' lines and frames. Every operation unpacks a line into the float line, changes it in place and
// packs it back; the line pointers may be equal. The plain variants read and write video range (levels
// outside 16..235 are clipped); the Super variants read and write full range, so that levels below 16 and
// above 235 pass through the curve, and follow it with a linear contrast step that puts the corrected
// white 235 back at 235.
//
// fpLinePtr is the caller's float line of (width + 1) / 2 × 4 floats; tables as above.

// Gamma through newRGB, video range.
void CO_Change2vuyLineGamma(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                            const UInt16 *newRGB);
// Gamma through newRGB, full range, then the contrast step that maps the table's black and white (16 and
// 235) back in place.
void CO_Change2vuyLineGammaSuper(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                                 const UInt16 *newRGB);
// Brightness through newY, full range, with the same contrast step.
void CO_Change2vuyLineBrightnessSuper(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                                      const UInt16 *newY);
// Contrast, brightness (newY is required) and saturation, full range, then a contrast step mapping the
// table's 16 and 235 to 16 and 235.
void CO_Change2vuyLineContrBrSatSuper(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                                      float blackLevel, float invBrScale, const UInt16 *newY, float satScale);

// Frames of `height` lines advancing by the row bytes as given. fpLine may be null (the operation then
// uses a float line of its own) and so may newRGB (a table is then made from inGamma and outGamma; when
// a table is given, the gammas are not used).
void CO_2vuyFrameChangeGamma(SInt32 height, SInt32 width, const void *inPtr, void *outPtr, float *fpLine,
                             SInt32 inRowBytes, SInt32 outRowBytes, float inGamma, float outGamma,
                             const UInt16 *newRGB);
// As above with the Super line operation; a row bytes value of 0 means width × 2.
void CO_2vuyFrameChangeGammaSuper(SInt32 height, SInt32 width, const void *inPtr, void *outPtr, float *fpLine,
                                  SInt32 inRowBytes, SInt32 outRowBytes, float inGamma, float outGamma,
                                  const UInt16 *newRGB);

// SSE versions: the curve 255 · (x/255)^(inGamma/outGamma) computed without a table; widths that are
// multiples of 8. Their results differ from the scalar ones within the table's quantisation (see
// float_line_adjust.h) and by the SSE packer's rounding and saturation.
void CO_Change2vuyLineGammaAcc(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                               float inGamma, float outGamma);
void CO_Change2vuyLineGammaSuperAcc(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                                    float inGamma, float outGamma);
// Packed frames: each line starts width × 2 bytes after the previous one. fpLine may be null.
void CO_2vuyFrameChangeGammaAcc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer, float *fpLine,
                                float inGamma, float outGamma);
void CO_2vuyFrameChangeGammaSuperAcc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer,
                                     float *fpLine, float inGamma, float outGamma);

// Dispatchers: the SSE frame operation when width is a multiple of 8 and a flag is set, else the scalar
// one with all arguments. On the SSE path the table is not used; rows that are not packed are stepped
// by their row bytes. Note the order of the sizes: the Super dispatcher takes width before height.
void CO_2vuyFrameChangeGammaUni(int hasAltivec, int hasSSE3, SInt32 height, SInt32 width, const void *inBuffer,
                                void *outBuffer, float *fpLine, SInt32 inRowBytes, SInt32 outRowBytes,
                                float inGamma, float outGamma, const UInt16 *newRGB);
void CO_2vuyFrameChangeGammaSuperUni(int hasAltivec, int hasSSE3, SInt32 width, SInt32 height, const void *inPtr,
                                     void *outPtr, float *fpLine, SInt32 inRowBytes, SInt32 outRowBytes,
                                     float inGamma, float outGamma, const UInt16 *newRGB);
