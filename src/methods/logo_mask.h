// The logo mask read from an image file: every pixel that is not white (the image composited over white; a
// pixel whose red, green and blue all lie within 7 levels of 255 counts as white, so the faint noise around a
// JPEG mask stays out) is a mask pixel. The mask is kept over its bounding box in the logo method's state and
// placed in the frame at one of the four corners (the mask anchor).
//
// Main thread, or the logo stage's distributor at set-up while the main thread waits for the run. Through the
// movie library's graphics importers only (no display).
#pragma once

#include "methods/logo_params.h"
#include "platform/core/files.h"
#include "platform/core/mac_types.h"

// Reads maskFile into the record: isMaskPixel over the bounding box, numMaskPix, logoRectInPic (the box in
// the image), logoPicBounds (the image's bounds), maskRect the box at the image's origin, and no logo colours.
// kBZ_AuxFileNotFoundErr for a file that does not exist, the importer's error for an image it cannot read,
// kBZ_LogoEmptyErr for an image without a mask pixel, memFullErr; on every failure the record's earlier mask
// stays as it was.
OSStatus BZ_RlCheckMask(BZ_RlDlgTaskData *rlDlgTaskData, const FSRef *maskFile);
// The mask's box in a frame of height x width when the image's corner maskAnchor (0 top left, 1 bottom left,
// 2 bottom right, 3 top right) meets the frame's: logoRectInPic shifted by the difference of the image's and the
// frame's size on the anchored sides.
void BZ_RlMaskRectAtAnchor(const BZ_RlDlgTaskData *rlDlgTaskData, SInt32 maskAnchor, SInt32 height, SInt32 width,
                           Rect *logoRect);
