// Window pictures: a window given a picture (SetWindowPic, platform/core/windows.h) shows it scaled over
// its content, painted with QPainter each time the window paints: fills, images, lines and text (in the
// family, size and face the picture recorded; the system and application fonts are the desktop's
// general font). The window only borrows the picture.
// Main thread only.
#pragma once

#include "platform/core/windows.h"

class QPainter;

// Makes the window layer answer SetWindowPic and GetWindowPic (the window manager does this when it
// makes its first window). Calling it again changes nothing.
void PL_InstallWindowPictures();
// Paints the picture's operations scaled into dstRect with the painter (for the window's own painting and
// for anything else that shows a picture on a widget). paramErr for a damaged picture.
OSStatus PL_PaintPicture(QPainter *painter, PicHandle picture, const Rect *dstRect);
