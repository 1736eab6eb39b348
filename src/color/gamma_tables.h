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
