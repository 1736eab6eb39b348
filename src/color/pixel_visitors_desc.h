// Pixel visitors of QuickTime media samples: the sample's format, size and depth come from its image
// description (depth 40, grey with a colour table, is visited as 8-bit grey). See pixel_visitors.h for the
// formats and the hooks.
#pragma once

#include "color/pixel_visitors.h"
#include "platform/movie/movie_types.h"

// Visits the whole sample, rows packed. paramErr for a missing sample or description, a format the visitors
// do not know, or a description whose data size is too small for its pixels.
OSStatus CO_TransformMediaSample(Ptr samplePtr, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                 ProcessYCbCr8_422ProcPtr yCbCrProc, ImageDescriptionHandle imageDescH, void *refCon);
// Visits subRect of the sample as CO_TransformPixelsInSubRect does, with row bytes = data size / height.
// kGL_RectangleErr when subRect is not a rectangle within (0, 0, width, height); paramErr as above, and for a
// height of 0 or rows too short for the rectangle.
OSStatus CO_TransformMediaSampleSubRect(Ptr samplePtr, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                        ProcessYCbCr8_422ProcPtr yCbCrProc, ImageDescriptionHandle imageDescH,
                                        const Rect *subRect, void *refCon);
// CO_TransformMediaSample with the three full-to-video-range hooks.
OSStatus CO_MediaSampleFullRangeToVideoRange(Ptr samplePtr, ImageDescriptionHandle imageDescH);
