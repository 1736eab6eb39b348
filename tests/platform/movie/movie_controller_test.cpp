// Movie controllers: actions through the filter, bounds and clip, playing and time-base callbacks.
#include "platform/movie/movie_controller.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"
#include "support/movie_builders.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using bz_test::BuiltMovie;

// A 48 x 32 movie of `frames` frames of 100 units at media scale 2500, movie scale 2500.
struct FramesMovie {
  BuiltMovie built{2500};
  explicit FramesMovie(int frames) {
    Track track = bz_test::AddBuiltTrack(built.movie, VideoMediaType, 2500,
                                         bz_test::Frames(std::vector<TimeValue>(size_t(frames), 100)));
    bz_test::InsertWholeMedia(track);
  }
  Movie movie() const { return built.movie; }
};

struct Controller {
  MovieController mc;
  Controller(Movie movie, Rect r, SInt32 flags = mcScaleMovieToFit) : mc(NewMovieController(movie, &r, flags)) {}
  ~Controller() { DisposeMovieController(mc); }
};

TimeRecord Record(Movie movie, TimeValue value) {
  TimeRecord r{};
  r.value.lo = UInt32(value);
  r.scale = GetMovieTimeScale(movie);
  r.base = GetMovieTimeBase(movie);
  return r;
}

// The filter of the tests: records actions, moves go-to-times to the next multiple of 100, and may
// swallow one action.
struct FilterLog {
  std::vector<SInt16> actions;
  SInt16 swallow = 0;
};
Boolean Filter(MovieController, SInt16 action, void *params, long refCon) {
  auto *log = reinterpret_cast<FilterLog *>(refCon);
  log->actions.push_back(action);
  if (action == mcActionGoToTime) {
    auto *record = static_cast<TimeRecord *>(params);
    record->value.lo = (record->value.lo + 99) / 100 * 100;
  }
  return action == log->swallow;
}

TEST(PlatformMovieController, ActionsGoThroughTheFilterWhichMayChangeTheTime) {
  FramesMovie m(10);
  Controller c(m.movie(), Rect{20, 64, 125, 164});
  ASSERT_NE(nullptr, c.mc);
  FilterLog log;
  ASSERT_EQ(noErr, MCSetActionFilterWithRefCon(c.mc, Filter, reinterpret_cast<long>(&log)));

  TimeRecord to = Record(m.movie(), 250);
  EXPECT_EQ(noErr, MCDoAction(c.mc, mcActionGoToTime, &to));
  EXPECT_EQ(300, GetMovieTime(m.movie(), nullptr)) << "the filter's change of the time record is kept";

  log.swallow = mcActionGoToTime;
  to = Record(m.movie(), 700);
  EXPECT_EQ(noErr, MCDoAction(c.mc, mcActionGoToTime, &to));
  EXPECT_EQ(300, GetMovieTime(m.movie(), nullptr)) << "a handled action is not carried out again";
  log.swallow = 0;

  EXPECT_EQ(noErr, MCDoAction(c.mc, mcActionPlay, reinterpret_cast<void *>(intptr_t(fixed1 / 2))));
  Fixed rate = 0;
  EXPECT_EQ(noErr, MCDoAction(c.mc, mcActionGetPlayRate, &rate));
  EXPECT_EQ(fixed1 / 2, rate);
  EXPECT_EQ(noErr, MCDoAction(c.mc, mcActionSetKeysEnabled, reinterpret_cast<void *>(1)));
  Boolean keys = false;
  EXPECT_EQ(noErr, MCDoAction(c.mc, mcActionGetKeysEnabled, &keys));
  EXPECT_TRUE(keys);
  EXPECT_EQ(noErr, MCDoAction(c.mc, mcActionStep, reinterpret_cast<void *>(intptr_t(2))));
  EXPECT_EQ(500, GetMovieTime(m.movie(), nullptr));
  EXPECT_EQ(noErr, MCDoAction(c.mc, mcActionGetPlayRate, &rate));
  EXPECT_EQ(0, rate) << "stepping stops the movie";

  EXPECT_EQ((std::vector<SInt16>{mcActionGoToTime, mcActionGoToTime, mcActionPlay, mcActionGetPlayRate,
                                 mcActionSetKeysEnabled, mcActionGetKeysEnabled, mcActionStep, mcActionGetPlayRate}),
            log.actions);

  EXPECT_EQ(badControllerAction, MCDoAction(c.mc, 999, nullptr));
  EXPECT_EQ(badControllerAction, MCDoAction(c.mc, mcActionGoToTime, nullptr));
  EXPECT_EQ(paramErr, MCDoAction(nullptr, mcActionIdle, nullptr));
  const Rect r{0, 0, 10, 10};
  EXPECT_EQ(nullptr, NewMovieController(nullptr, &r, 0));
}

TEST(PlatformMovieController, BoundsPlaceTheMovieAboveTheBar) {
  FramesMovie m(3);
  struct Case {
    const char *name;
    SInt32 flags;
    Rect given;
    Rect bounds, box, bar;
  };
  const Case cases[] = {
      {"scaled to fit", mcScaleMovieToFit, {64, 20, 125, 164}, {64, 20, 125, 164}, {64, 20, 109, 164}, {109, 20, 125, 164}},
      {"top left keeps the movie size", mcTopLeftMovie, {10, 5, 500, 500}, {10, 5, 58, 53}, {10, 5, 42, 53}, {42, 5, 58, 53}},
      {"invisible has no bar", mcScaleMovieToFit | mcNotVisible, {0, 0, 40, 60}, {0, 0, 40, 60}, {0, 0, 40, 60}, {0, 0, 0, 0}},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    const Rect natural{0, 0, 32, 48};
    SetMovieBox(m.movie(), &natural);
    Controller c(m.movie(), k.given, k.flags);
    Rect bounds{}, box{}, bar{};
    ASSERT_EQ(noErr, MCGetControllerBoundsRect(c.mc, &bounds));
    GetMovieBox(m.movie(), &box);
    PL_MCGetBarRect(c.mc, &bar);
    EXPECT_TRUE(EqualRect(&k.bounds, &bounds));
    EXPECT_TRUE(EqualRect(&k.box, &box)) << box.top << " " << box.left << " " << box.bottom << " " << box.right;
    EXPECT_TRUE(EqualRect(&k.bar, &bar));
  }
  Controller c(m.movie(), Rect{0, 0, 116, 100});
  ASSERT_EQ(noErr, MCSetControllerAttached(c.mc, false));
  EXPECT_EQ(0, MCIsControllerAttached(c.mc));
  Rect box{};
  GetMovieBox(m.movie(), &box);
  EXPECT_EQ(116, box.bottom) << "a detached controller's bounds are the movie's";
  const Rect inverted{10, 10, 5, 5};
  EXPECT_EQ(paramErr, MCSetControllerBoundsRect(c.mc, &inverted));
  // Bounds without room (a view not placed yet) leave the movie's box, which could not be scaled back.
  ASSERT_EQ(noErr, MCSetControllerAttached(c.mc, true));
  const Rect empty{30, 30, 30, 30};
  ASSERT_EQ(noErr, MCSetControllerBoundsRect(c.mc, &empty));
  GetMovieBox(m.movie(), &box);
  EXPECT_EQ(100, box.bottom);
  const Rect room{0, 0, 216, 200};
  ASSERT_EQ(noErr, MCSetControllerBoundsRect(c.mc, &room));
  GetMovieBox(m.movie(), &box);
  EXPECT_EQ(200, box.bottom);
  EXPECT_EQ(200, box.right);

  RgnHandle clip = NewRgn(), got = nullptr, gotMovie = nullptr;
  SetRectRgn(clip, 0, 0, 99, 99);
  ASSERT_EQ(noErr, MCSetClip(c.mc, nullptr, clip));
  ASSERT_EQ(noErr, MCGetClip(c.mc, &got, &gotMovie));
  EXPECT_EQ(nullptr, got);
  ASSERT_NE(nullptr, gotMovie);
  EXPECT_TRUE(EqualRgn(clip, gotMovie));
  DisposeRgn(gotMovie);
  SetEmptyRgn(clip);
  ASSERT_EQ(noErr, MCSetClip(c.mc, nullptr, clip));
  ASSERT_EQ(noErr, MCGetClip(c.mc, nullptr, &gotMovie));
  EXPECT_EQ(nullptr, gotMovie) << "an empty region removes the clip";
  DisposeRgn(clip);
}

struct CallBackLog {
  MovieController mc = nullptr;
  std::vector<TimeValue> times;
  QTCallBack cb = nullptr;
  bool rearm = true;
};
void RecordCallBack(QTCallBack, long refCon) {
  auto *log = reinterpret_cast<CallBackLog *>(refCon);
  const TimeValue now = MCGetCurrentTime(log->mc, nullptr);
  log->times.push_back(now);
  // Each frame schedules the next, as a player does; the last frame (900) schedules none.
  if (log->rearm && now / 100 * 100 + 100 < 1000)
    CallMeWhen(log->cb, RecordCallBack, refCon, triggerTimeFwd, now / 100 * 100 + 100, 0);
}

TEST(PlatformMovieController, PlayingFiresCallBacksAndStopsAtTheEnd) {
  FramesMovie m(10);
  Controller c(m.movie(), Rect{0, 0, 48, 48});
  CallBackLog log;
  log.mc = c.mc;
  log.cb = NewCallBack(GetMovieTimeBase(m.movie()), callBackAtTime);
  ASSERT_NE(nullptr, log.cb);
  EXPECT_EQ(nullptr, NewCallBack(GetMovieTimeBase(m.movie()), 2));
  ASSERT_EQ(noErr, CallMeWhen(log.cb, RecordCallBack, reinterpret_cast<long>(&log), triggerTimeFwd, 100, 0));

  EXPECT_FALSE(PL_MCAdvanceTime(c.mc, 100)) << "a stopped controller does not move";
  ASSERT_EQ(noErr, MCDoAction(c.mc, mcActionPlay, reinterpret_cast<void *>(intptr_t(fixed1))));
  EXPECT_TRUE(PL_MCAdvanceTime(c.mc, 50));
  EXPECT_TRUE(log.times.empty());
  EXPECT_TRUE(PL_MCAdvanceTime(c.mc, 60));
  EXPECT_EQ(std::vector<TimeValue>{110}, log.times);
  // Twice the rate: 200 units per step; one firing per step since each firing schedules the next frame.
  ASSERT_EQ(noErr, MCDoAction(c.mc, mcActionPlay, reinterpret_cast<void *>(intptr_t(2 * fixed1))));
  while (PL_MCAdvanceTime(c.mc, 100)) {
  }
  EXPECT_EQ(1000, GetMovieTime(m.movie(), nullptr));
  EXPECT_EQ((std::vector<TimeValue>{110, 310, 510, 710, 910}), log.times);
  EXPECT_FALSE(PL_CallBackIsArmed(log.cb, nullptr)) << "the last frame schedules nothing";
  Fixed rate = -1;
  MCDoAction(c.mc, mcActionGetPlayRate, &rate);
  EXPECT_EQ(0, rate) << "the end stops the movie";

  // Backwards from the end: a forward-only callback does not fire; a cancelled one neither.
  ASSERT_EQ(noErr, CallMeWhen(log.cb, RecordCallBack, reinterpret_cast<long>(&log), triggerTimeFwd, 500, 0));
  MCDoAction(c.mc, mcActionPlay, reinterpret_cast<void *>(intptr_t(-fixed1)));
  PL_MCAdvanceTime(c.mc, 600);
  EXPECT_EQ(5u, log.times.size());
  ASSERT_EQ(noErr, CancelCallBack(log.cb));
  MCDoAction(c.mc, mcActionPlay, reinterpret_cast<void *>(intptr_t(fixed1)));
  PL_MCAdvanceTime(c.mc, 300);
  EXPECT_EQ(5u, log.times.size());
  // A time in another scale is converted: 0.3 s at scale 10 is 750 here.
  log.rearm = false;
  ASSERT_EQ(noErr, CallMeWhen(log.cb, RecordCallBack, reinterpret_cast<long>(&log), triggerTimeEither, 3, 10));
  PL_MCAdvanceTime(c.mc, 300);
  EXPECT_EQ((std::vector<TimeValue>{110, 310, 510, 710, 910, 1000}), log.times);
  EXPECT_EQ(paramErr, CallMeWhen(nullptr, RecordCallBack, 0, triggerTimeFwd, 0, 0));
  DisposeCallBack(log.cb);
}

}  // namespace
