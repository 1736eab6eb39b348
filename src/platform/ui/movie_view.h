// Movie views (the movie control) and picture views of windows.
//
// A movie control is our own widget over a movie controller (platform/movie/movie_controller.h): the
// movie's picture at the controller's time, decoded through the movie's drawing into an offscreen world
// only when the time changes, and below it a 16-pixel bar with play/pause, a scrub bar and the time. A
// user's scrub is a go-to-time through the controller (so its filter sees it); with keys enabled, space
// plays or pauses, the left and right arrows step one frame, Home and End go to the ends. While the rate is
// not 0 a timer at the movie's frame rate x rate advances the controller's time (PL_MCAdvanceTime), which
// fires the movie's due callbacks. Its control data 'mc  ' is the controller; its bounds follow
// SetControlBounds. It can show a dashed rectangle over the picture (the region another view shows).
//
// A picture view shows a part of an ARGB picture (bytes A, R, G, B) that a procedure names when the view is
// painted; the conversion to the screen happens then and covers only the visible part.
//
// Needs a QApplication. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/movie/movie_controller.h"

enum : ResType { kMovieControlDataTag = 'mc  ' };
enum : UInt32 {
  kMovieControlOptionLocateTopLeft = 1 << 1,
  kMovieControlOptionEnableEditing = 1 << 3,
  kMovieControlOptionHandleEditingHI = 1 << 4,
  kMovieControlOptionSetKeysEnabled = 1 << 5,
};

// A movie control of the window over bounds (content coordinates) with a new controller of the movie
// (owned by the control: PL_DisposeMovieControl). paramErr for a null window or movie.
OSStatus CreateMovieControl(WindowRef theWindow, const Rect *localRect, Movie theMovie, UInt32 options,
                            ControlRef *returnedControl);
// Disposes the control with its widget and controller (the movie stays the caller's).
void PL_DisposeMovieControl(ControlRef control);
// Whether the control is a movie control.
Boolean PL_IsMovieControl(ControlRef control);
// Shows a dashed rectangle in the control's coordinates over the picture (an empty one: none).
OSStatus PL_MovieControlSetFrameRect(ControlRef control, const Rect *frame);
// A drag that starts inside the dashed rectangle reports each move (dx, dy in pixels) and its end
// (ended true, no move) to the procedure instead of scrubbing; NULL removes it.
typedef void (*PL_MovieControlDragProcPtr)(void *refCon, SInt32 dx, SInt32 dy, Boolean ended);
OSStatus PL_MovieControlSetDragProc(ControlRef control, PL_MovieControlDragProcPtr proc, void *refCon);
// Redraws the picture at the controller's present time.
OSStatus PL_MovieControlUpdate(ControlRef control);

// Where a picture view finds its pixels: the first pixel shown, the picture's row bytes, and the width and
// height available from there; false when there is nothing to show.
typedef Boolean (*PL_ARGBSourceProcPtr)(void *refCon, const UInt8 **firstPixel, SInt32 *rowBytes, SInt32 *width,
                                        SInt32 *height);
// Makes the window's view show pixels from the procedure (NULL: back to its own drawing).
OSStatus PL_SetViewARGBSource(WindowRef window, HIViewID id, PL_ARGBSourceProcPtr proc, void *refCon);
