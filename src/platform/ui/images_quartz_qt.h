// The Qt side of the Quartz stand-in's contexts, for the user-interface layer only: contexts over a view's
// pixels, which a view's paint hands to its control's draw handlers and then puts on the screen.
#pragma once

#include "platform/ui/images_quartz.h"

#include <QImage>

#include <functional>

class QPainter;

// Owned (CGContextRelease): a context over width x height transparent pixels whose user space is a view's:
// origin at the top left, y down. NULL for a size below 1 or when memory is out.
CGContextRef PL_CGContextCreateForView(int width, int height);
// Runs paint on a painter over the context's pixels in device pixels (origin at the top left), without the
// context's transform or clip: the view's own drawing. Nothing for a NULL context.
void PL_CGContextPaintPixels(CGContextRef context, const std::function<void(QPainter &)> &paint);
// A copy of the context's pixels (premultiplied); a null image for a NULL context.
QImage PL_CGContextCopyQImage(CGContextRef context);
// A copy of the image's pixels (premultiplied or straight, as the image has them); a null image for NULL.
QImage PL_CGImageCopyQImage(CGImageRef image);
