// Quartz stand-in, drawing contexts. This layer has no Quartz drawing contexts (Quartz images only, see
// quartz_images.h): a context over a port's pixels cannot be made, and the call says so.
#pragma once

#include "platform/core/quickdraw_ports.h"

struct CGContext;
typedef CGContext *CGContextRef;

// *outContext = NULL and unimpErr for any port; paramErr for a NULL port or out-pointer.
OSStatus CreateCGContextForPort(CGrafPtr inPort, CGContextRef *outContext);
