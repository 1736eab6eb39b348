// The progress display of the project dialog: the bar 2082, the title line 2083 and the rate 2084 renewed by
// the one-second timer, the frame view 2081 that shows one frame per tick as it passes through the
// pipeline, the Dock tile (the windows' icon) under a grey noise that dissolves as the work advances, and the
// cancel request of a running project. Main thread only, but for the provider callbacks, which run where
// an image is made from their provider.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/event_loop.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/ui/image_sources.h"

// Resets the project's progress record for a new run in the project dialog (found by lookup): counters and
// times cleared, the number of parts the selected samples, the items 2082, 2083 and 2084. When the input's
// cropping, crop rectangle or interlacing differ from what the frame view was built for, the view is rebuilt
// (BZ_InitProgressDisplay) and its result returned; the new values are remembered either way. Without a
// project dialog window nothing is done: noErr.
OSStatus BZ_ReinitProgress(BZ_ProjPtr project);
// Builds the frame view's pixels, offscreen world, Quartz image and decompression sequence and the Dock
// tile's images for the current project, releasing the previous ones first; the show semaphore is made when
// missing. triggerProgress lets the next timer tick arm the display. fnfErr when "Dock tile mask.png" or
// the icon file is missing (the display is then half built); the first other failure as it is.
OSStatus BZ_InitProgressDisplay(Boolean triggerProgress);
// Installs BZ_ProgressFrameEventHandler as the draw handler of the frame view 2081, with the project as
// user data; the handler's reference is kept in the dialog data.
OSStatus BZ_InstallProgressFrameHandler(WindowRef window);
// Draw handler of 2081 (user data: the project): draws the last decompressed frame with the margins around
// it and, while the project executes, the Dock tile. eventNotHandledErr unless the frame was drawn.
OSStatus BZ_ProgressFrameEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
// The one-second update while a run goes on: frames written to the first output file become the count;
// bar, title line and rate are renewed, and the display is re-armed for the next frame once the last one
// was drawn. Failures are printed and returned.
OSStatus BZ_UpdateProgressBar();
// The Cancel button: during the export the project's error becomes userCanceledErr (the export's progress
// procedure returns it); otherwise the main task is asked to cancel the project. The posting's status.
OSStatus BZ_StartCancelProject(WindowRef window);
// The decompression sequence from the working frames (padded '2vuy') into the frame view's world: the shown
// part of the source mapped onto the largest rectangle of the display's proportions centred in the view; the
// margins around it are kept in sideBars. Before the display is built there is nothing to begin: noErr.
OSStatus BZ_BeginProgressDecompressSequence(WindowRef window, BZ_ProjPtr project);
// The part of the source picture shown (the crop area, limited by the movie's clip) and where it lands in the
// movie's display space.
OSStatus BZ_GetMediaSourceRectAndTargetMovieRect(BZ_ProjInfo *projInfo, Rect *fromRect, Rect *toRect);

// ---- Images of the display ----
// The frame view's image (width x height ARGB, alpha first) over smallImageBuffer, read through BZ_GetBytes;
// the provider is made once and kept. paramErr without buffer or colour space, or for a size other than the
// buffer's; memFullErr when the image cannot be made.
OSStatus BZ_CreateSmallCGImage(GL_ProgrData *progrData, SInt32 height, SInt32 width);
// The 128 x 128 grey overlay of the Dock tile (iconOverlay); its buffer is made and filled once
// (BZ_WriteMaskedRandomGrayCGImage) and kept for the life of the record.
OSStatus BZ_CreateRandomGrayCGImage(GL_ProgrData *progrData);
// Fills iconOverlayBuffer: 59 where the mask picture is not black, elsewhere grey noise from 60 to 100, the
// same pattern on every call; the process-wide random generator is left alone. paramErr without the mask or
// the buffer.
OSStatus BZ_WriteMaskedRandomGrayCGImage(GL_ProgrData *progrData);
// The application icon's 128 x 128 picture drawn afresh into the Dock tile bitmap, and dockTileImage over it;
// the buffer, bitmap and provider are made on the first call. fnfErr when the icon file is missing.
OSStatus BZ_CreateDockTileCGImage(GL_ProgrData *progrData);
// The index of the first picture of that pixel size in the source; (size_t)-1 when there is none.
size_t BZ_GetIndexForPixelSize(CGImageSourceRef source, size_t width, size_t height);
// The alpha byte (the first of each 4-byte pixel) of every pixel set to value.
void BZ_SetProgressImageAlpha(UPtr buffer, SInt32 height, SInt32 width, SInt32 value);

// ---- Provider callbacks over a GL_ProviderInfo ----
// Frame view: count bytes from mark with the rows served bottom row first (the byte at mark comes from row
// height - 1 - mark / rowBytes), cut to what is left; mark moves on. The bytes given.
size_t BZ_GetBytes(void *info, void *buffer, size_t count);
// Plain order: count bytes from ptr + mark, cut to what is left; mark moves on. The bytes given.
size_t BZ_GetCGBytes(void *info, void *buffer, size_t count);
// mark += count.
void BZ_SkipBytes(void *info, size_t count);
// mark = offsetV x rowBytes + offsetH x 4.
void BZ_Rewind(void *info);

// Main thread, custom event 2003: a frame handed in by a stage is decompressed into the frame view when the
// dialog is visible with its Output tab; otherwise the stage is released at once and the display re-armed.
void BZ_HandleShowProgressFrame(BZ_ProjPtr project);
