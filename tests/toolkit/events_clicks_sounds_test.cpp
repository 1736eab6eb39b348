// Pending events, the quit command, command-period and clicks, on the main-thread event loop without a
// display.
#include "toolkit/events_clicks_sounds.h"

#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

constexpr UInt32 kProj = 'Proj';

struct Recorder {
  std::vector<UInt32> kinds;
  bool repost = false;  // the first event of kind 2000 posts one of kind 2001
};

OSStatus Record(EventHandlerCallRef, EventRef event, void *userData) {
  auto *r = static_cast<Recorder *>(userData);
  r->kinds.push_back(GetEventKind(event));
  if (r->repost && GetEventKind(event) == 2000) {
    r->repost = false;
    EventRef next = nullptr;
    CreateEvent(nullptr, kProj, 2001, 0, kEventAttributeNone, &next);
    PostEventToQueue(GetMainEventQueue(), next, kEventPriorityStandard);
    ReleaseEvent(next);
  }
  return noErr;
}

void Post(UInt32 eventClass, UInt32 kind, EventPriority priority = kEventPriorityStandard) {
  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, eventClass, kind, 0, kEventAttributeNone, &event), noErr);
  ASSERT_EQ(PostEventToQueue(GetMainEventQueue(), event, priority), noErr);
  ReleaseEvent(event);
}

struct PendingEvents : ::testing::Test {
  Recorder recorder;
  EventHandlerRef handler = nullptr;
  void SetUp() override {
    FlushEventQueue(GetMainEventQueue());
    const EventTypeSpec types[] = {{kProj, 2000}, {kProj, 2001}, {kProj, 2002}, {kEventClassCommand, 1}};
    ASSERT_EQ(InstallApplicationEventHandler(Record, 4, types, &recorder, &handler), noErr);
  }
  void TearDown() override {
    RemoveEventHandler(handler);
    FlushEventQueue(GetMainEventQueue());
  }
};

TEST_F(PendingEvents, DispatchesEverythingAndReturnsWithoutWaiting) {
  // An empty queue returns at once.
  const auto t0 = std::chrono::steady_clock::now();
  GL_HandlePendingEvents();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  EXPECT_TRUE(recorder.kinds.empty());

  // Posted events are handled in priority order, and one a handler posts meanwhile too.
  recorder.repost = true;
  Post(kProj, 2000);
  Post(kProj, 2002, kEventPriorityHigh);
  GL_HandlePendingEvents();
  EXPECT_EQ(recorder.kinds, (std::vector<UInt32>{2002, 2000, 2001}));
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 0u);
}

TEST_F(PendingEvents, OptionsHandleOnlyTheListedTypes) {
  Post(kProj, 2000);
  Post(kProj, 2001);
  Post(kProj, 2002);
  const EventTypeSpec only[] = {{kProj, 2001}};
  GL_HandlePendingEventsWithOptions(1, only);
  EXPECT_EQ(recorder.kinds, (std::vector<UInt32>{2001}));
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 2u);
  GL_HandlePendingEventsWithOptions(0, nullptr);
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 2u);
  GL_HandlePendingEvents();
  EXPECT_EQ(recorder.kinds, (std::vector<UInt32>{2001, 2000, 2002}));
}

TEST_F(PendingEvents, EventsPostedToATargetGoThere) {
  EventTargetRef target = nullptr;
  ASSERT_EQ(PL_CreateEventTarget(nullptr, &target), noErr);
  Recorder own;
  const EventTypeSpec type{kProj, 2000};
  EventHandlerRef ownHandler = nullptr;
  ASSERT_EQ(InstallEventHandler(target, Record, 1, &type, &own, &ownHandler), noErr);
  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kProj, 2000, 0, kEventAttributeNone, &event), noErr);
  ASSERT_EQ(SetEventParameter(event, kEventParamPostTarget, typeEventTargetRef, sizeof target, &target), noErr);
  ASSERT_EQ(PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard), noErr);
  ReleaseEvent(event);
  GL_HandlePendingEvents();
  EXPECT_EQ(own.kinds, (std::vector<UInt32>{2000}));
  EXPECT_TRUE(recorder.kinds.empty());
  PL_DisposeEventTarget(target);
}

TEST_F(PendingEvents, QuitCommandIsPosted) {
  ASSERT_EQ(GL_PostQuitEvent(), noErr);
  EventRef event = nullptr;
  ASSERT_EQ(ReceiveNextEvent(0, nullptr, kEventDurationNoWait, false, &event), noErr);
  EXPECT_EQ(GetEventClass(event), kEventClassCommand);
  EXPECT_EQ(GetEventKind(event), UInt32(kEventCommandProcess));
  HICommand command{};
  ASSERT_EQ(GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr,
                              &command),
            noErr);
  EXPECT_EQ(command.commandID, kHICommandQuit);
  EXPECT_EQ(command.attributes, 0u);
  GL_HandlePendingEvents();
  EXPECT_EQ(recorder.kinds, (std::vector<UInt32>{1}));
}

TEST(CommandPeriod, OnlyCommandAndPeriod) {
  struct Case {
    EventKind what;
    EventModifiers modifiers;
    char c;
    bool expected;
  };
  const Case cases[] = {{keyDown, cmdKey, '.', true},
                        {keyDown, EventModifiers(cmdKey | shiftKey), '.', false},
                        {keyDown, 0, '.', false},
                        {keyDown, cmdKey, ',', false},
                        {keyUp, cmdKey, '.', false},
                        {autoKey, cmdKey, '.', false}};
  for (const Case &c : cases) {
    EventRecord record{c.what, UInt32(0x2F00 | UInt8(c.c)), 0, Point{0, 0}, c.modifiers};
    EXPECT_EQ(bool(GL_IsCommandPeriodEvent(&record)), c.expected) << c.what << " " << c.modifiers << " " << c.c;
  }
  EXPECT_FALSE(GL_IsCommandPeriodEvent(nullptr));
}

struct Clicks : ::testing::Test {
  void SetUp() override { FlushEventQueue(GetMainEventQueue()); }
  void TearDown() override { FlushEventQueue(GetMainEventQueue()); }
};

TEST_F(Clicks, SingleDoubleAndNone) {
  // None within 10 ticks: 0, after the wait.
  const UInt32 start = TickCount();
  EXPECT_EQ(GL_GetClick(), 0);
  EXPECT_GE(TickCount() - start, 10u);

  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{5, 5}, 0), noErr);
  EXPECT_EQ(GL_GetClick(), 1);

  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{5, 5}, 0), noErr);
  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{5, 5}, 0), noErr);
  EXPECT_EQ(GL_GetClick(), 2);
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 0u);
}

TEST_F(Clicks, MultipleClicksCountWithinTheDoubleClickTime) {
  const UInt32 now = TickCount();
  EXPECT_EQ(GL_MultipleClick(now), 1);
  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{1, 1}, 0), noErr);
  EXPECT_EQ(GL_MultipleClick(now), 2);
  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{1, 1}, 0), noErr);
  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{1, 1}, 0), noErr);
  EXPECT_EQ(GL_MultipleClick(now), 3);
  // A click long after the first is no double click and stays queued.
  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{1, 1}, 0), noErr);
  EXPECT_FALSE(GL_IsClickDoubleClick(TickCount() - 10 * GetDblTime()));
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 1u);
}

TEST_F(Clicks, WaitForClickInARectangle) {
  // The click outside is passed over; the one inside ends the wait.
  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{100, 100}, 0), noErr);
  ASSERT_EQ(PL_PostMouseEvent(kEventMouseDown, Point{15, 15}, 0), noErr);
  Rect r{10, 10, 20, 20};
  GL_WaitForClick(&r);
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 0u);
}

TEST_F(Clicks, StillDownUntilTheButtonIsReleased) {
  // Held (no release within 0.1 s): still down, after the watch.
  Boolean stillDown = false;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(GL_StillDownCarbon(&stillDown), noErr);
  EXPECT_TRUE(stillDown);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(90));

  // Released: cleared, and the release is taken.
  ASSERT_EQ(PL_PostMouseEvent(kEventMouseUp, Point{1, 1}, 0), noErr);
  EXPECT_EQ(GL_StillDownCarbon(&stillDown), noErr);
  EXPECT_FALSE(stillDown);
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 0u);
  EXPECT_EQ(GL_StillDownCarbon(nullptr), paramErr);
}

TEST_F(Clicks, ClickInBoxLandsSixPixelsIntoTheItem) {
  ASSERT_EQ(GL_ClickInBox(Rect{100, 200, 400, 600}, 10, 20), noErr);
  EventRecord down;
  ASSERT_TRUE(GetNextEvent(mDownMask, &down));
  EXPECT_EQ(down.where.h, 200 + 20 + 6);
  EXPECT_EQ(down.where.v, 100 + 10 + 6);
  // The release follows.
  Boolean stillDown = true;
  EXPECT_EQ(GL_StillDownCarbon(&stillDown), noErr);
  EXPECT_FALSE(stillDown);
}

}  // namespace
