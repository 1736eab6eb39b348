// Movie Toolbox stand-in, movie controllers and time-base callbacks.
//
// A controller holds a movie, its bounds (the movie box over a 16-pixel controller bar when attached), a
// play rate, a selection and an action filter. Every action goes to the filter first; a filter that
// answers true has handled it and the controller does nothing more, otherwise the controller carries it
// out (the filter may change the time record a go-to-time carries, and the controller then goes to the
// changed time).
//
// The movie itself never plays here (its own rate stays 0): a controller with a non-zero play rate is
// "playing", and whoever shows it moves its time with PL_MCAdvanceTime (a window's timer), which fires the
// callbacks of the movie's time base whose time the movie reaches. So controllers and callbacks work,
// and are tested, without any window.
//
// Main thread only.
#pragma once

#include "platform/core/quickdraw_geometry.h"
#include "platform/movie/movie_types.h"
#include "platform/movie/toolbox_time.h"

typedef struct PL_MovieControllerRecord *MovieController;
typedef SInt16 mcAction;
typedef Boolean (*MCActionFilterWithRefConProcPtr)(MovieController theController, SInt16 action, void *params,
                                                   long refCon);
typedef MCActionFilterWithRefConProcPtr MCActionFilterWithRefConUPP;

// Actions and what their params are.
enum : SInt16 {
  mcActionIdle = 1,                   // none
  mcActionDraw = 2,                   // none
  mcActionActivate = 3,               // none
  mcActionDeactivate = 4,             // none
  mcActionPlay = 8,                   // the rate (Fixed) cast to a pointer
  mcActionGoToTime = 12,              // TimeRecord *
  mcActionStep = 18,                  // number of frames (long) cast to a pointer; negative steps back
  mcActionSetSelectionBegin = 29,     // TimeRecord *
  mcActionSetSelectionDuration = 30,  // TimeRecord *
  mcActionSetKeysEnabled = 32,        // Boolean cast to a pointer
  mcActionGetKeysEnabled = 33,        // Boolean *
  mcActionGetPlayRate = 42,           // Fixed *
  mcActionGetSelectionBegin = 53,     // TimeRecord *
  mcActionGetSelectionDuration = 54,  // TimeRecord *
  mcActionPrerollAndPlay = 55,        // the rate (Fixed) cast to a pointer
};

// Creation flags.
enum : SInt32 {
  mcTopLeftMovie = 1 << 0,      // the movie keeps its box size, placed at the rectangle's top left
  mcScaleMovieToFit = 1 << 1,   // the movie box fills the rectangle above the bar
  mcNotVisible = 1 << 3,
};

enum : OSStatus { badControllerAction = -9996 };
enum : SInt16 { kPL_ControllerBarHeight = 16 };

// A new controller of the movie over movieRect (owned: DisposeMovieController); attached, visible, keys
// disabled, rate 0. NULL for a null movie.
MovieController NewMovieController(Movie theMovie, const Rect *movieRect, SInt32 someFlags);
void DisposeMovieController(MovieController mc);
Movie MCGetMovie(MovieController mc);

// Sends the action through the filter and then, unless the filter handled it, carries it out. paramErr
// for a null controller, badControllerAction for an action it does not know or a missing record.
ComponentResult MCDoAction(MovieController mc, SInt16 action, void *params);
// Installs (NULL removes) the filter that sees every action first.
ComponentResult MCSetActionFilterWithRefCon(MovieController mc, MCActionFilterWithRefConUPP blob, long refCon);

// Bounds: the whole controller (movie and bar when attached). Setting them moves the movie box.
ComponentResult MCGetControllerBoundsRect(MovieController mc, Rect *bounds);
ComponentResult MCSetControllerBoundsRect(MovieController mc, const Rect *bounds);
// Attached: the bar lies right below the movie, inside the bounds; detached: the bounds are the movie's.
ComponentResult MCSetControllerAttached(MovieController mc, Boolean attach);
ComponentResult MCIsControllerAttached(MovieController mc);
ComponentResult MCSetVisible(MovieController mc, Boolean visible);
ComponentResult MCGetVisible(MovieController mc);
// Copies the clip of the whole controller and of the movie (either NULL: unchanged; an empty region:
// none). MCGetClip hands back owned copies (DisposeRgn); NULL when none is set.
ComponentResult MCSetClip(MovieController mc, RgnHandle theClip, RgnHandle movieClip);
ComponentResult MCGetClip(MovieController mc, RgnHandle *theClip, RgnHandle *movieClip);
// The movie's current time (the movie's scale in *scale, may be NULL).
TimeValue MCGetCurrentTime(MovieController mc, TimeScale *scale);
// The bar's rectangle (empty when the controller is not attached or not visible).
Rect *PL_MCGetBarRect(MovieController mc, Rect *bar);

// While the play rate is not 0: moves the movie's time by delta x rate (limited to 0 .. duration) and
// fires the due callbacks of its time base in time order; reaching either end sets the rate to 0.
// Returns whether the time changed.
Boolean PL_MCAdvanceTime(MovieController mc, TimeValue delta);

// ---- Time-base callbacks ----
typedef struct PL_CallBackRecord *QTCallBack;
typedef void (*QTCallBackProcPtr)(QTCallBack cb, long refCon);
typedef QTCallBackProcPtr QTCallBackUPP;

enum : SInt16 { callBackAtTime = 1 };
enum : SInt32 { triggerTimeFwd = 1 << 0, triggerTimeBwd = 1 << 1, triggerTimeEither = triggerTimeFwd | triggerTimeBwd };

// A callback of the time base (owned: DisposeCallBack); only callBackAtTime is offered (NULL otherwise).
QTCallBack NewCallBack(TimeBase tb, SInt16 cbType);
void DisposeCallBack(QTCallBack cb);
// Arms the callback to call proc once when the playing time reaches param2 (in scale param3, 0: the base's
// scale) moving in the directions of param1. Re-arming replaces the earlier time. paramErr for NULL.
OSErr CallMeWhen(QTCallBack cb, QTCallBackUPP callBackProc, long refCon, long param1, long param2, long param3);
// Disarms it.
OSErr CancelCallBack(QTCallBack cb);
// Whether it is armed (for tests and the controller's view).
Boolean PL_CallBackIsArmed(QTCallBack cb, TimeValue *time);
