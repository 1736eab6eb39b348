// Quartz stand-in, drawing contexts: the type only. Contexts draw through QtGui, so they are made and
// drawn into by the user-interface layer's image part (platform/ui/images_quartz.h); code below it passes
// them on without knowing how they draw.
#pragma once

struct CGContext;
typedef CGContext *CGContextRef;
