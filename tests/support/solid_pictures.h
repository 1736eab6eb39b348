// Pictures of one colour for tests of views that show pictures (image wells).
#pragma once

#include "platform/core/quickdraw_pictures.h"

namespace bz_test {

// Owned (KillPicture): a picture whose frame is {0, 0, height, width}, painted all over in color and
// recorded in an offscreen world (the current port is kept). NULL when the world cannot be made.
PicHandle SolidPicture(SInt16 width, SInt16 height, RGBColor color);

}  // namespace bz_test
