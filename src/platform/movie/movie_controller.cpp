// Movie controllers and time-base callbacks (see the header).
#include "platform/movie/movie_controller.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <vector>

struct PL_MovieControllerRecord {
  Movie movie = nullptr;
  Rect bounds{};
  Boolean attached = true;
  Boolean visible = true;
  Boolean keysEnabled = false;
  Fixed rate = 0;
  MCActionFilterWithRefConUPP filter = nullptr;
  long refCon = 0;
  RgnHandle clip = nullptr;
  RgnHandle movieClip = nullptr;
};

struct PL_CallBackRecord {
  TimeBase base = nullptr;
  Boolean armed = false;
  QTCallBackUPP proc = nullptr;
  long refCon = 0;
  SInt32 flags = 0;
  SInt64 time = 0;
  TimeScale scale = 0;  // 0: the base's own
};

namespace {

std::vector<PL_CallBackRecord *> &CallBacks() {
  static std::vector<PL_CallBackRecord *> callBacks;
  return callBacks;
}

// A time record's value in the movie's scale (a record without a scale is taken as the movie's).
TimeValue ToMovieTime(Movie movie, const TimeRecord &record) {
  const SInt64 value = (SInt64(record.value.hi) << 32) | record.value.lo;
  const TimeScale movieScale = GetMovieTimeScale(movie);
  if (record.scale == 0 || record.scale == movieScale || movieScale == 0) return TimeValue(value);
  return TimeValue(value * movieScale / record.scale);
}

void FillRecord(Movie movie, TimeValue value, TimeRecord *record) {
  record->value.hi = SInt32(SInt64(value) >> 32);
  record->value.lo = UInt32(SInt64(value) & 0xFFFFFFFF);
  record->scale = GetMovieTimeScale(movie);
  record->base = GetMovieTimeBase(movie);
}

// The movie box for the controller's bounds: above the bar when attached.
void PlaceMovie(MovieController mc) {
  Rect box = mc->bounds;
  if (mc->attached && mc->visible) box.bottom = SInt16(std::max<int>(box.top, box.bottom - kPL_ControllerBarHeight));
  // An empty box would lose the movie's scale for good: the movie keeps its box until there is room.
  if (box.bottom > box.top && box.right > box.left) SetMovieBox(mc->movie, &box);
}

SInt64 CallBackTime(const PL_CallBackRecord *cb, Movie movie) {
  const TimeScale movieScale = GetMovieTimeScale(movie);
  if (cb->scale == 0 || cb->scale == movieScale || cb->scale < 0) return cb->time;
  return cb->time * movieScale / cb->scale;
}

ComponentResult DefaultAction(MovieController mc, SInt16 action, void *params) {
  Movie movie = mc->movie;
  switch (action) {
    case mcActionIdle:
    case mcActionDraw:
    case mcActionActivate:
    case mcActionDeactivate:
      return noErr;
    case mcActionPlay:
    case mcActionPrerollAndPlay:
      mc->rate = Fixed(reinterpret_cast<intptr_t>(params));
      return noErr;
    case mcActionGoToTime: {
      if (params == nullptr) return badControllerAction;
      SetMovieTimeValue(movie, ToMovieTime(movie, *static_cast<TimeRecord *>(params)));
      return noErr;
    }
    case mcActionStep: {
      const long steps = long(reinterpret_cast<intptr_t>(params));
      TimeValue time = GetMovieTime(movie, nullptr);
      const OSType visual = VisualMediaCharacteristic;
      for (long i = 0; i < std::labs(steps); ++i) {
        TimeValue next = -1;
        GetMovieNextInterestingTime(movie, nextTimeStep, 1, &visual, time, steps < 0 ? -fixed1 : fixed1, &next,
                                    nullptr);
        if (next < 0) break;
        time = next;
      }
      mc->rate = 0;
      SetMovieTimeValue(movie, time);
      return noErr;
    }
    case mcActionSetSelectionBegin:
    case mcActionSetSelectionDuration: {
      if (params == nullptr) return badControllerAction;
      TimeValue begin = 0, duration = 0;
      GetMovieSelection(movie, &begin, &duration);
      const TimeValue value = ToMovieTime(movie, *static_cast<TimeRecord *>(params));
      if (action == mcActionSetSelectionBegin) begin = value;
      else duration = value;
      SetMovieSelection(movie, begin, duration);
      return noErr;
    }
    case mcActionGetSelectionBegin:
    case mcActionGetSelectionDuration: {
      if (params == nullptr) return badControllerAction;
      TimeValue begin = 0, duration = 0;
      GetMovieSelection(movie, &begin, &duration);
      FillRecord(movie, action == mcActionGetSelectionBegin ? begin : duration, static_cast<TimeRecord *>(params));
      return noErr;
    }
    case mcActionSetKeysEnabled:
      mc->keysEnabled = params != nullptr;
      return noErr;
    case mcActionGetKeysEnabled:
      if (params == nullptr) return badControllerAction;
      *static_cast<Boolean *>(params) = mc->keysEnabled;
      return noErr;
    case mcActionGetPlayRate:
      if (params == nullptr) return badControllerAction;
      *static_cast<Fixed *>(params) = mc->rate;
      return noErr;
    default:
      return badControllerAction;
  }
}

}  // namespace

MovieController NewMovieController(Movie theMovie, const Rect *movieRect, SInt32 someFlags) {
  if (theMovie == nullptr || movieRect == nullptr) return nullptr;
  auto *mc = new PL_MovieControllerRecord;
  mc->movie = theMovie;
  mc->visible = (someFlags & mcNotVisible) == 0;
  if ((someFlags & mcTopLeftMovie) != 0) {
    Rect box{};
    GetMovieBox(theMovie, &box);
    mc->bounds = {movieRect->top, movieRect->left, SInt16(movieRect->top + (box.bottom - box.top)),
                  SInt16(movieRect->left + (box.right - box.left))};
    if (mc->visible) mc->bounds.bottom = SInt16(mc->bounds.bottom + kPL_ControllerBarHeight);
  } else {
    mc->bounds = *movieRect;
  }
  PlaceMovie(mc);
  return mc;
}

void DisposeMovieController(MovieController mc) {
  if (mc == nullptr) return;
  if (mc->clip != nullptr) DisposeRgn(mc->clip);
  if (mc->movieClip != nullptr) DisposeRgn(mc->movieClip);
  delete mc;
}

Movie MCGetMovie(MovieController mc) { return mc != nullptr ? mc->movie : nullptr; }

ComponentResult MCDoAction(MovieController mc, SInt16 action, void *params) {
  if (mc == nullptr) return paramErr;
  // Filters may rely on the record of an action that carries one.
  switch (action) {
    case mcActionGoToTime:
    case mcActionSetSelectionBegin:
    case mcActionSetSelectionDuration:
    case mcActionGetSelectionBegin:
    case mcActionGetSelectionDuration:
    case mcActionGetKeysEnabled:
    case mcActionGetPlayRate:
      if (params == nullptr) return badControllerAction;
      break;
    default:
      break;
  }
  if (mc->filter != nullptr && mc->filter(mc, action, params, mc->refCon)) return noErr;
  return DefaultAction(mc, action, params);
}

ComponentResult MCSetActionFilterWithRefCon(MovieController mc, MCActionFilterWithRefConUPP blob, long refCon) {
  if (mc == nullptr) return paramErr;
  mc->filter = blob;
  mc->refCon = refCon;
  return noErr;
}

ComponentResult MCGetControllerBoundsRect(MovieController mc, Rect *bounds) {
  if (mc == nullptr || bounds == nullptr) return paramErr;
  *bounds = mc->bounds;
  return noErr;
}

ComponentResult MCSetControllerBoundsRect(MovieController mc, const Rect *bounds) {
  if (mc == nullptr || bounds == nullptr || bounds->bottom < bounds->top || bounds->right < bounds->left)
    return paramErr;
  mc->bounds = *bounds;
  PlaceMovie(mc);
  return noErr;
}

ComponentResult MCSetControllerAttached(MovieController mc, Boolean attach) {
  if (mc == nullptr) return paramErr;
  mc->attached = attach != 0;
  PlaceMovie(mc);
  return noErr;
}

ComponentResult MCIsControllerAttached(MovieController mc) { return mc != nullptr && mc->attached ? 1 : 0; }

ComponentResult MCSetVisible(MovieController mc, Boolean visible) {
  if (mc == nullptr) return paramErr;
  mc->visible = visible != 0;
  PlaceMovie(mc);
  return noErr;
}

ComponentResult MCGetVisible(MovieController mc) { return mc != nullptr && mc->visible ? 1 : 0; }

ComponentResult MCSetClip(MovieController mc, RgnHandle theClip, RgnHandle movieClip) {
  if (mc == nullptr) return paramErr;
  auto keep = [](RgnHandle source, RgnHandle *kept) {
    if (source == nullptr) return;
    if (EmptyRgn(source)) {
      if (*kept != nullptr) DisposeRgn(*kept);
      *kept = nullptr;
      return;
    }
    if (*kept == nullptr && (*kept = NewRgn()) == nullptr) return;
    CopyRgn(source, *kept);
  };
  keep(theClip, &mc->clip);
  keep(movieClip, &mc->movieClip);
  return noErr;
}

ComponentResult MCGetClip(MovieController mc, RgnHandle *theClip, RgnHandle *movieClip) {
  if (mc == nullptr) return paramErr;
  auto copy = [](RgnHandle kept, RgnHandle *out) {
    if (out == nullptr) return;
    *out = nullptr;
    if (kept == nullptr || (*out = NewRgn()) == nullptr) return;
    CopyRgn(kept, *out);
  };
  copy(mc->clip, theClip);
  copy(mc->movieClip, movieClip);
  return noErr;
}

TimeValue MCGetCurrentTime(MovieController mc, TimeScale *scale) {
  if (mc == nullptr) return 0;
  if (scale != nullptr) *scale = GetMovieTimeScale(mc->movie);
  return GetMovieTime(mc->movie, nullptr);
}

Rect *PL_MCGetBarRect(MovieController mc, Rect *bar) {
  if (bar == nullptr) return nullptr;
  *bar = Rect{};
  if (mc == nullptr || !mc->attached || !mc->visible) return bar;
  *bar = mc->bounds;
  bar->top = SInt16(std::max<int>(mc->bounds.top, mc->bounds.bottom - kPL_ControllerBarHeight));
  return bar;
}

Boolean PL_MCAdvanceTime(MovieController mc, TimeValue delta) {
  if (mc == nullptr || mc->rate == 0 || delta <= 0) return false;
  Movie movie = mc->movie;
  const SInt64 duration = GetMovieDuration(movie);
  const SInt64 from = GetMovieTime(movie, nullptr);
  SInt64 to = from + (SInt64(delta) * mc->rate) / fixed1;
  to = std::clamp<SInt64>(to, 0, duration);
  if ((mc->rate > 0 && to >= duration) || (mc->rate < 0 && to <= 0)) mc->rate = 0;
  if (to == from) return false;
  SetMovieTimeValue(movie, TimeValue(to));
  const bool forward = to > from;
  TimeBase base = GetMovieTimeBase(movie);
  // Fire in time order; a callback may re-arm itself or others, so each is checked again before it runs.
  for (;;) {
    PL_CallBackRecord *due = nullptr;
    SInt64 dueTime = 0;
    for (PL_CallBackRecord *cb : CallBacks()) {
      if (!cb->armed || cb->base != base) continue;
      if ((cb->flags & (forward ? triggerTimeFwd : triggerTimeBwd)) == 0) continue;
      const SInt64 t = CallBackTime(cb, movie);
      const bool passed = forward ? (t > from && t <= to) : (t < from && t >= to);
      if (passed && (due == nullptr || (forward ? t < dueTime : t > dueTime))) {
        due = cb;
        dueTime = t;
      }
    }
    if (due == nullptr) break;
    due->armed = false;
    if (due->proc != nullptr) due->proc(due, due->refCon);
  }
  return true;
}

QTCallBack NewCallBack(TimeBase tb, SInt16 cbType) {
  if (tb == nullptr || cbType != callBackAtTime) return nullptr;
  auto *cb = new PL_CallBackRecord;
  cb->base = tb;
  CallBacks().push_back(cb);
  return cb;
}

void DisposeCallBack(QTCallBack cb) {
  if (cb == nullptr) return;
  auto &all = CallBacks();
  all.erase(std::remove(all.begin(), all.end(), cb), all.end());
  delete cb;
}

OSErr CallMeWhen(QTCallBack cb, QTCallBackUPP callBackProc, long refCon, long param1, long param2, long param3) {
  if (cb == nullptr || callBackProc == nullptr) return paramErr;
  cb->proc = callBackProc;
  cb->refCon = refCon;
  cb->flags = SInt32(param1);
  cb->time = param2;
  cb->scale = TimeScale(param3);
  cb->armed = true;
  return noErr;
}

OSErr CancelCallBack(QTCallBack cb) {
  if (cb == nullptr) return paramErr;
  cb->armed = false;
  return noErr;
}

Boolean PL_CallBackIsArmed(QTCallBack cb, TimeValue *time) {
  if (cb == nullptr || !cb->armed) return false;
  if (time != nullptr) *time = TimeValue(cb->time);
  return true;
}
