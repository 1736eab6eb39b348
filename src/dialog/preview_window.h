// The preview window of the project dialog: a frame before and after cleaning and their difference beside
// a movie controller of its own, the frame chosen by scrubbing or playing. Main thread only.
#pragma once

#include "outliers/preview_data.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/movie/movie_controller.h"

struct BZ_StatMovInfo;

enum : SInt16 {
  kBZ_PreviewMinHeight = 304,
  kBZ_PreviewMinWidth = 600,
};

// ---- Geometry (W x H: the size of currentBounds; mw x mh: movieSize) ----
// The movie control: top 64, left 20, the movie picture fitted into the top-left quadrant by its aspect,
// with the 16-pixel controller bar below it.
void BZ_GetNewMovieControlBounds(const BZ_PreviewData *previewData, Rect *bounds);
// Image view 0 (before, bottom left), 1 (after, bottom right) or 2 (difference, top right), at most the
// movie's size.
void BZ_GetPreviewDestRect(const BZ_PreviewData *previewData, SInt32 index, Rect *bounds);
// The region of the movie shown in the views, in movie pixels.
void BZ_GetLargePreviewFrame(const BZ_PreviewData *previewData, Rect *frame);
// That region scaled into the movie control's picture, in the control's own coordinates (rounded).
void BZ_GetSmallPreviewFrame(const BZ_PreviewData *previewData, Rect *frame);
// Keeps previewTopLeft inside the movie for the present window size.
void BZ_CorrectPreviewTopLeft(BZ_PreviewData *previewData);
// Moves the region shown so that its centre falls on the rectangle's centre, then clamps it.
void BZ_ShiftPreviewRect(BZ_PreviewData *previewData, const Rect *centreOn);
// Minimum 600 x 304; maximum (2 mw + 60) x (2 mh + 104), at least the minimum. Points are (v height, h width).
void BZ_GetPreviewSizeLimits(const BZ_PreviewData *previewData, Point *minSize, Point *maxSize);
// The opening size: the saved one when both parts are non-zero, else the minimum, within the limits.
Point BZ_GetInitialPreviewSize(const BZ_PreviewData *previewData, Point savedSize);
// previewTopLeft scaled by the new movie size over oldSize when both parts of oldSize are at least 1;
// then, when the logo is shown, the region is moved over it.
void BZ_InitDashedFrame(BZ_PreviewData *previewData, Point oldSize);

// ---- Pictures ----
// The three ARGB pictures for a movie of height x width: buffersRGB holds 6 S bytes (S: the padded '2vuy'
// frame size) and grows, inside critRgn, when S grows (the block is only reallocated while no run can
// write into it, which the caller's critical region ensures); each picture's provider state is filled.
OSStatus BZ_SetPreviewPictures(BZ_PreviewData *previewData, SInt32 height, SInt32 width, Boolean interlaced);
// The same for the project's first source movie and its interlaced setting.
OSStatus BZ_CreatePreviewImages();
// Frees buffersRGB and clears the provider states.
void BZ_DisposePreviewPictures(BZ_PreviewData *previewData);

// ---- Times ----
// The number of frames the preview moves over: the first source's, or the smaller of the two sources'.
SInt32 BZ_PreviewNumFrames();
// The opening time for `time` (-1: the last frame): with a noise-reduction stage kept within the frames 1 ..
// n - 2 (as far as the movie has them), then -1 or the duration become the last frame's time.
TimeValue BZ_PreviewStartTime(const BZ_StatMovInfo *info, SInt32 numFrames, Boolean hasNoiseStage, TimeValue time,
                              TimeValue duration);
// A time of the duration or -1 becomes duration - 1; then it is kept within the first and the last usable
// frame. When it changed and doGoto is set, the controller goes there and the result is true.
Boolean BZ_CorrectPreviewMovieTime(MovieController mc, const BZ_StatMovInfo *info, BZ_PreviewData *previewData,
                                   Boolean doGoto);

// ---- The window ----
// Closes the preview window: its content top left becomes the saved location of window identifier 3 and
// its content size gBZ.previewSize, a running analysis or preview calculation is stopped and waited for (a
// failure is shown, not returned), the pictures freed, the shortcuts window closed and the window disposed;
// the preview data is cleared except movieSize, previewTopLeft, critRgn and ouPreviewData. NULL: noErr.
OSStatus BZ_ClosePreview(WindowRef window);
// Recreates the pictures (when asked) and redraws the movie control and the three views. The first error.
OSStatus BZ_ForcePreviewUpdate(Boolean recreateImages);
// Opens the preview window (the project dialog's Preview button).
OSStatus BZ_ShowPreview(WindowRef dialog);
// True when logo removal is a valid selected method and it is the only one or the logo tab is shown.
Boolean BZ_PreviewGetShowLogo();
// Moves the region shown over the logo rectangle when it does not lie inside it already.
void BZ_HavePreviewEnvelopLogo();
// The main task's freeze request: nothing to do here.
OSStatus BZ_FreezePreview(Boolean freeze);
// No effect (kept for the callers that ask).
void BZ_SetPreviewOpaque(WindowRef window, float percentage);
// Frees the outlier preview data's saved output buffer and clears its pointer.
void BZ_DisposePersistentPreviewData(BZ_PreviewData *previewData);

// ---- Frames, controls and the movie ----
void BZ_SetPreviewImagesBounds(WindowRef window, const BZ_PreviewData *previewData);
// movieBounds = the controller's movie part; the movie's clip leaves out its bottom right pixel.
void BZ_SetMovieClip(BZ_PreviewData *previewData);
// Items 2015 (movie time) and 2016 (frame number + 1) for the preview frame.
OSStatus BZ_SetTimeAndFrameNumInPreview(WindowRef window);
OSStatus BZ_HandleCustomEventsFromActionFilter();
// Arms the play callback for the start of the frame after the one at time; nothing at the last frame.
OSStatus BZ_ScheduleCb(TimeValue time);
// The play callback: the frame reached becomes the preview frame, the next one is scheduled.
void BZ_PreviewCb(QTCallBack cb, long refCon);
// The controller's filter: a go-to-time makes the time the preview frame and starts a preview calculation
// (writing the corrected time back into the record); playing creates or disposes the play callback.
// Always false: the controller carries on.
Boolean BZ_ActionFilterWithRefCon(MovieController mc, SInt16 action, void *params, long refCon);
// Goes to the 1-based frame; beeps (and changes nothing) for the current frame or one outside the movie.
OSStatus BZ_PreviewGotoFrameNum(SInt32 frameNum);
// The difference picture made again from the preview cache with the present difference settings.
OSStatus BZ_UpdateNoiseImage(WindowRef window);
OSStatus BZ_HandleScaleRadioButtonHit(WindowRef window, SInt32 item);
void BZ_PreviewSliderProc(ControlRef control, ControlPartCode part);
OSStatus BZ_InitDiffParams(WindowRef window);
OSStatus BZ_HandlePreviewControlHit(WindowRef window, SInt32 item);
OSStatus BZ_InitPreviewSize(WindowRef window, BZ_PreviewData *preview);
OSStatus BZ_InitPreviewWindow(WindowRef window);
// Cautions when the logo removal fades at the preview's time.
OSStatus BZ_WarnAboutLogoFade();
// The controller of a movie control (control data 'mc  '); NULL for any other control.
MovieController GL_GetMovieControllerFromControl(ControlRef control);
MovieController GL_GetMovieControllerByID(WindowRef window, HIViewID id);
// A drag of the dashed frame by (dx, dy) pixels of the movie control: the region shown moves by as many
// movie pixels (clamped); the views are redrawn only when more than 50 ms passed since their last redraw
// (nowMicroseconds against savedUpdateTime), which the result tells.
Boolean BZ_PreviewHandleMouseDragged(WindowRef window, SInt32 dx, SInt32 dy, UInt64 nowMicroseconds);
// The end of a drag: the views are redrawn.
void BZ_PreviewHandleMouseUp(WindowRef window);
