// The progress record's display: bar value, title line with its end time, rate line, and the release of
// the record's pictures. The items are plain controls of a window that has no display; texts are measured
// by the fake text port.
#include "toolkit/progress_record.h"

#include "general/error_keys.h"
#include "general/strings_text.h"
#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/quartz_images.h"
#include "platform/movie/movie_playback.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/track_editing.h"
#include "platform/ui/images_quartz.h"
#include "support/cf_check.h"
#include "support/fake_text_port.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr HIViewID kBar{'Orl1', 2082}, kTitle{'Orl1', 2083}, kRate{'Orl1', 2084};

// A window with a determinate bar (maximum 1000), a wide title line and a rate text, and a record that
// shows its progress there; the fake text port is the current port.
struct ProgressFixture : ::testing::Test {
  int storage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&storage);
  std::unique_ptr<GL_ProgrData> record = std::make_unique<GL_ProgrData>();
  FakeTextPort *port = nullptr;
  GrafPtr savedPort = nullptr;

  void SetUp() override {
    ControlRef c = nullptr;
    ASSERT_EQ(PL_NewControl(window, &kBar, &c), noErr);
    SetControl32BitMaximum(c, 1000);
    ASSERT_EQ(PL_NewControl(window, &kTitle, &c), noErr);
    Rect wide{0, 0, 16, 4000};
    SetControlBounds(c, &wide);
    ASSERT_EQ(PL_NewControl(window, &kRate, &c), noErr);
    GL_ProgrData &p = *record;
    p.window = window;
    p.progrBarID = kBar;
    p.progrBarTitleID = kTitle;
    p.rateID = kRate;
    p.numParts = 1000;
    const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    p.startTime = now - 100.0;
    p.switchTime = now - 100.0;
    p.savedEndTime = 0.0;
    GetPort(&savedPort);
    port = NewFakeTextPort();
    SetPort(port->port);
  }
  void TearDown() override {
    SetPort(savedPort);
    DisposeFakeTextPort(port);
    PL_DisposeWindowControls(window);
  }

  ControlRef Item(HIViewID id) {
    ControlRef c = nullptr;
    EXPECT_EQ(GetControlByID(window, &id, &c), noErr);
    return c;
  }
  std::string Text(HIViewID id) {
    CFStringRef s = HIViewCopyText(Item(id));
    std::string text = bz_test::CFText(s);
    if (s != nullptr) CFRelease(s);
    return text;
  }
  void SetText(HIViewID id, const char *text) {
    CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
    ASSERT_EQ(HIViewSetText(Item(id), s), noErr);
    CFRelease(s);
  }
  void SetIndeterminate(bool indeterminate) {
    Boolean b = indeterminate;
    ASSERT_EQ(SetControlData(Item(kBar), kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof b, &b),
              noErr);
  }
};

// The words of a text, whatever the spaces between them.
std::vector<std::string> Words(const std::string &text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

TEST_F(ProgressFixture, BarValueIsTheTruncatedClampedFraction) {
  struct Case {
    float perc;
    SInt32 value;
  };
  const Case cases[] = {{0.0f, 0}, {0.5f, 500}, {0.9999f, 999}, {1.2f, 1000}, {-0.5f, 0}};
  for (const Case &c : cases) {
    SetControl32BitValue(Item(kBar), 123);
    record->savedPercWorkDone = -1.0f;
    record->percWorkDone = c.perc;
    EXPECT_EQ(GL_UpdateProgressBarValue(record.get()), noErr);
    EXPECT_EQ(GetControl32BitValue(Item(kBar)), c.value) << c.perc;
  }
}

TEST_F(ProgressFixture, BarValueChangesOnlyWithTheFractionAndOnlyWhenDeterminate) {
  // An unchanged fraction leaves the bar as it is.
  SetControl32BitValue(Item(kBar), 7);
  record->percWorkDone = 0.25f;
  record->savedPercWorkDone = 0.25f;
  EXPECT_EQ(GL_UpdateProgressBarValue(record.get()), noErr);
  EXPECT_EQ(GetControl32BitValue(Item(kBar)), 7);

  // A NaN on either side counts as a change, and a NaN fraction shows as 0, never as garbage.
  record->percWorkDone = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(GL_UpdateProgressBarValue(record.get()), noErr);
  EXPECT_EQ(GetControl32BitValue(Item(kBar)), 0);

  // An indeterminate bar never gets a value.
  SetIndeterminate(true);
  SetControl32BitValue(Item(kBar), 7);
  record->percWorkDone = 0.8f;
  record->savedPercWorkDone = 0.1f;
  EXPECT_EQ(GL_UpdateProgressBarValue(record.get()), noErr);
  EXPECT_EQ(GetControl32BitValue(Item(kBar)), 7);
}

TEST_F(ProgressFixture, TitleLineHoldsStartCounterAndEndTime) {
  record->count = 12;
  record->percWorkDone = 0.5f;
  EXPECT_EQ(GL_UpdateProgressBar(record.get(), CFSTR("Frame #")), noErr);
  const std::vector<std::string> words = Words(Text(kTitle));
  // start time ... "Frame # 12 of 1000" ... end time
  const std::string joined = [&] {
    std::string s;
    for (const auto &w : words) s += w + " ";
    return s;
  }();
  EXPECT_NE(joined.find("Frame # 12 of 1000"), std::string::npos) << joined;
  EXPECT_NE(words.back(), "?");
  // Half done after 100 seconds: about 100 seconds to go.
  EXPECT_NEAR(record->savedEndTime - CFAbsoluteTimeGetCurrent(), 100.0, 2.0);
  EXPECT_EQ(record->savedCount, 12);
  EXPECT_EQ(record->savedPercWorkDone, 0.5f);
  // The parts fill the line: more than the least 3 spaces between them.
  EXPECT_NE(Text(kTitle).find("      "), std::string::npos);
}

TEST_F(ProgressFixture, EndTimeIsUnknownUntilOnePercentIsDoneSinceTheSwitch) {
  struct Case {
    float atSwitch, perc;
    bool determinate, known;
  };
  const Case cases[] = {{0.3f, 0.305f, true, false},
                        {0.3f, 0.32f, true, true},
                        {0.0f, 0.0f, true, false},
                        {0.3f, 0.9f, false, false}};
  for (const Case &c : cases) {
    record->percWorkDoneAtSwitch = c.atSwitch;
    record->percWorkDone = c.perc;
    CFAbsoluteTime now = 0.0, endTime = 0.0;
    EXPECT_EQ(GL_UpdateProgressBarTitle(record.get(), CFSTR("Frame #"), c.determinate, &now, &endTime), noErr);
    EXPECT_EQ(endTime == kGL_UnknownEndTime, !c.known) << c.perc;
    EXPECT_EQ(Words(Text(kTitle)).back() == "?", !c.known) << c.perc;
    record->savedEndTime = 0.0;
  }
}

TEST_F(ProgressFixture, TitleIsRedrawnOnlyOnChangeOrWhenForced) {
  record->count = 3;
  EXPECT_EQ(GL_UpdateProgressBar(record.get(), CFSTR("Frame #")), noErr);
  SetText(kTitle, "marker");
  // Nothing changed: the line is left alone.
  EXPECT_EQ(GL_UpdateProgressBar(record.get(), CFSTR("Frame #")), noErr);
  EXPECT_EQ(Text(kTitle), "marker");
  // Forced: drawn again.
  EXPECT_EQ(GL_ForceUpdateProgressBar(record.get(), CFSTR("Frame #")), noErr);
  EXPECT_NE(Text(kTitle).find("Frame # 3 of 1000"), std::string::npos);
  // A new count redraws it too.
  SetText(kTitle, "marker");
  record->count = 4;
  EXPECT_EQ(GL_UpdateProgressBar(record.get(), CFSTR("Frame #")), noErr);
  EXPECT_NE(Text(kTitle).find("Frame # 4 of 1000"), std::string::npos);
}

TEST_F(ProgressFixture, StandAloneWindowUsesItsOwnItems) {
  ProgressFixture::TearDown();
  const HIViewID bar{kGL_ProgrDlgSignature, kGL_ProgrDlgProgressBar};
  const HIViewID line{kGL_ProgrDlgSignature, kGL_ProgrDlgTitleLine};
  ControlRef c = nullptr;
  ASSERT_EQ(PL_NewControl(window, &bar, &c), noErr);
  SetControl32BitMaximum(c, 100);
  ASSERT_EQ(PL_NewControl(window, &line, &c), noErr);
  Rect wide{0, 0, 16, 4000};
  SetControlBounds(c, &wide);
  port = NewFakeTextPort();
  SetPort(port->port);
  record->standAloneWindow = true;
  record->percWorkDone = 0.42f;
  record->count = 42;
  EXPECT_EQ(GL_UpdateProgressBar(record.get(), CFSTR("Frame #")), noErr);
  EXPECT_EQ(GetControl32BitValue(Item(bar)), 42);
  EXPECT_NE(Text(line).find("42 of 1000"), std::string::npos);
}

TEST_F(ProgressFixture, MissingItemsFailAndLeaveTheSavedValues) {
  PL_DisposeWindowControls(window);
  ControlRef c = nullptr;
  ASSERT_EQ(PL_NewControl(window, &kBar, &c), noErr);
  record->count = 20;
  record->percWorkDone = 0.5f;
  record->savedCount = 5;
  record->savedPercWorkDone = 0.1f;
  EXPECT_EQ(GL_UpdateProgressBar(record.get(), CFSTR("Frame #")), errUnknownControl);
  EXPECT_EQ(record->savedCount, 5);
  EXPECT_EQ(record->savedPercWorkDone, 0.1f);
  EXPECT_EQ(record->prevTime, 0.0);

  PL_DisposeWindowControls(window);
  EXPECT_EQ(GL_UpdateProgressBar(record.get(), CFSTR("Frame #")), errUnknownControl);
  EXPECT_EQ(GL_UpdateProgressBar(nullptr, CFSTR("Frame #")), paramErr);
}

TEST_F(ProgressFixture, TitleWithoutAMeasuringPortFails) {
  SetPort(nullptr);
  record->count = 1;
  EXPECT_NE(GL_UpdateProgressBar(record.get(), CFSTR("Frame #")), noErr);
  EXPECT_EQ(record->savedCount, 0);
}

TEST_F(ProgressFixture, RateIsRenewedWhenTenMorePartsAreDone) {
  // Updates once a second at 3 parts per second, the rate step before the data step: the rate text
  // changes every 4 seconds (12 more parts), not every second.
  const CFAbsoluteTime t0 = 1000.0;
  record->switchTime = t0;
  std::vector<int> changedAt;
  std::string last;
  for (int s = 1; s <= 16; ++s) {
    const CFAbsoluteTime t = t0 + s;
    record->count = 3 * s;
    record->percWorkDone = float(3 * s) / 1000.0f;
    SetText(kRate, "-");
    ASSERT_EQ(GL_UpdateProgressRate(record.get(), t, 3 * s, 1000, false), noErr);
    GL_UpdateProgressData(record.get(), t, kGL_UnknownEndTime);
    if (Text(kRate) != "-") {
      changedAt.push_back(s);
      last = Text(kRate);
    }
  }
  // The first reference point is taken at count 12 (4 s); the rate follows 12 parts later.
  EXPECT_EQ(changedAt, (std::vector<int>{8, 12, 16}));
  EXPECT_EQ(last, "Current rate = 3.00 fr/sec, Average rate = 3.00 fr/sec");
}

TEST_F(ProgressFixture, RateInTwoLinesAndWithoutReferencePoint) {
  record->count = 50;
  record->percWorkDone = 0.05f;
  SetText(kRate, "none");
  // No reference point yet: nothing is written.
  EXPECT_EQ(GL_UpdateProgressRate(record.get(), 20.0, 50, 1000, true), noErr);
  EXPECT_EQ(Text(kRate), "none");

  record->prevTime = 10.0;
  record->savedCountForRate = 30;
  record->percWorkDoneAtPrevTime = 0.03f;
  record->switchTime = 10.0;
  record->totalActiveTime = 10.0;
  EXPECT_EQ(GL_UpdateProgressRate(record.get(), 20.0, 50, 1000, true), noErr);
  // 20 parts in 10 s; 50 parts in 20 s of active time.
  EXPECT_EQ(Text(kRate), "Current rate = 2.00 fr/sec\nAverage rate = 2.50 fr/sec");

  // Less than a whole second of active time: the division by zero shows as such.
  record->totalActiveTime = 0.0;
  record->switchTime = 19.5;
  EXPECT_EQ(GL_UpdateProgressRate(record.get(), 20.0, 50, 1000, false), noErr);
  EXPECT_NE(Text(kRate).find("Average rate = inf"), std::string::npos) << Text(kRate);

  // A curSpeedInterval not yet passed keeps the text.
  SetText(kRate, "kept");
  record->curSpeedInterval = 30.0;
  EXPECT_EQ(GL_UpdateProgressRate(record.get(), 20.0, 50, 1000, false), noErr);
  EXPECT_EQ(Text(kRate), "kept");
}

TEST(ProgressRecordDispose, ReleasesPicturesAndTheSemaphoreOnlyWhenAsked) {
  auto record = std::make_unique<GL_ProgrData>();
  GL_ProgrData &p = *record;
  const UInt8 pixel[4] = {255, 1, 2, 3};
  p.smallImageBuffer = reinterpret_cast<UPtr>(NewPtrClear(64));
  p.dockTileImageBuffer = reinterpret_cast<UPtr>(NewPtrClear(128 * 128 * 4));
  p.cgImageRef = PL_CGImageCreateARGB(1, 1, pixel, 4);
  p.dockTileImage = PL_CGImageCreateARGB(1, 1, pixel, 4);
  p.iconOverlayMask = PL_CGImageCreateARGB(1, 1, pixel, 4);
  CGImageRef overlay = PL_CGImageCreateARGB(1, 1, pixel, 4);
  p.iconOverlay = overlay;
  UPtr overlayBuffer = reinterpret_cast<UPtr>(NewPtrClear(16384));
  p.iconOverlayBuffer = overlayBuffer;
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
  p.dockTileImageBitMap =
      CGBitmapContextCreate(p.dockTileImageBuffer, 128, 128, 8, 512, rgb, kCGImageAlphaPremultipliedFirst);
  CGColorSpaceRelease(rgb);
  ASSERT_NE(p.dockTileImageBitMap, nullptr);
  ASSERT_EQ(MPCreateBinarySemaphore(&p.showSemaphore), noErr);

  EXPECT_EQ(GL_DisposeProgressData(&p, false), noErr);
  EXPECT_EQ(p.smallImageBuffer, nullptr);
  EXPECT_EQ(p.dockTileImageBuffer, nullptr);
  EXPECT_EQ(p.cgImageRef, nullptr);
  EXPECT_EQ(p.dockTileImage, nullptr);
  EXPECT_EQ(p.iconOverlayMask, nullptr);
  EXPECT_NE(p.showSemaphore, nullptr);
  // The bitmap draws into the buffer just freed: it goes with it.
  EXPECT_EQ(p.dockTileImageBitMap, nullptr);
  // Kept for the next display while the record lives.
  EXPECT_EQ(p.iconOverlay, overlay);
  EXPECT_EQ(p.iconOverlayBuffer, overlayBuffer);

  // Twice is harmless; with the semaphore it ends the record, overlay and its buffer included (ASan sees
  // a leak otherwise).
  EXPECT_EQ(GL_DisposeProgressData(&p, false), noErr);
  EXPECT_EQ(GL_DisposeProgressData(&p, true), noErr);
  EXPECT_EQ(p.showSemaphore, nullptr);
  EXPECT_EQ(p.iconOverlay, nullptr);
  EXPECT_EQ(p.iconOverlayBuffer, nullptr);
  EXPECT_EQ(GL_DisposeProgressData(&p, true), noErr);
  EXPECT_EQ(GL_DisposeProgressData(nullptr, true), paramErr);
}

// The sound follows the work: a two-second part at the fraction done, a new one at most every other call,
// never backwards, cut at the movie's end, and only in front with the preference on.
std::vector<std::pair<TimeValue, TimeValue>> gPlayed;

TEST(ProgressSound, SegmentsFollowTheFractionEveryOtherCall) {
  Movie movie = NewMovie(0);
  ASSERT_NE(movie, nullptr);
  Track track = NewMovieTrack(movie, 0, 0, 0x100);
  ASSERT_EQ(InsertEmptyTrackSegment(track, 0, 6000), noErr);
  ASSERT_EQ(GetMovieDuration(movie), 6000);
  ASSERT_EQ(GetMovieTimeScale(movie), 600);
  PL_SetMovieSegmentPlayer([](Movie, TimeValue start, TimeValue duration) { gPlayed.emplace_back(start, duration); });
  auto record = std::make_unique<GL_ProgrData>();
  Boolean inFront = true, allowed = true;
  record->sndMovie = movie;
  record->switchedIn = &inFront;
  record->playSndPref = &allowed;
  using Played = std::vector<std::pair<TimeValue, TimeValue>>;
  const struct {
    float percWorkDone;
    Played played;
  } calls[] = {
      {0.10f, {{600, 1200}}},   // starts at the fraction, 2 seconds long
      {0.35f, {}},              // the segment still plays: this call only notes it
      {0.40f, {{2400, 1200}}},
      {0.45f, {}},              // inside what played: nothing, not even the note
      {0.95f, {}},
      {0.95f, {{5700, 300}}},   // cut at the movie's end
      {0.20f, {}},              // never backwards
  };
  for (const auto &call : calls) {
    gPlayed.clear();
    record->percWorkDone = call.percWorkDone;
    GL_PlayProgrSound(record.get());
    EXPECT_EQ(gPlayed, call.played) << "at " << call.percWorkDone;
  }
  // In the back or with the preference off: silent.
  for (Boolean *flag : {&inFront, &allowed}) {
    *flag = false;
    record->endSndPlay = 0;
    record->playingSnd = false;
    gPlayed.clear();
    GL_PlayProgrSound(record.get());
    EXPECT_TRUE(gPlayed.empty());
    *flag = true;
  }
  PL_SetMovieSegmentPlayer(nullptr);
  DisposeMovie(movie);
}

// ---- Fitting strings into a line ----

struct FitFixture : ::testing::Test {
  FakeTextPort *port = nullptr;
  GrafPtr savedPort = nullptr;
  void SetUp() override {
    GetPort(&savedPort);
    port = NewFakeTextPort();
    SetPort(port->port);
  }
  void TearDown() override {
    SetPort(savedPort);
    DisposeFakeTextPort(port);
  }
  // Fits "ab", "cd" (9 pixels a character at 9 points) into a box of the given width.
  std::pair<OSStatus, std::string> Fit(SInt16 width, int minSpaces, Boolean pad = false) {
    GL_CFStringLE second{nullptr, CFSTR("cd")};
    GL_CFStringLE first{&second, CFSTR("ab")};
    Rect box{0, 0, 10, width};
    CFMutableStringRef joined = nullptr;
    OSStatus err = GL_FitCFStringsInLineBox(kThemeSmallSystemFont, &first, &box, minSpaces, pad, &joined);
    std::string text = bz_test::CFText(joined);
    if (joined != nullptr) CFRelease(joined);
    return {err, text};
  }
};

TEST_F(FitFixture, SpacesFillTheBox) {
  struct Case {
    SInt16 width;
    int minSpaces;
    OSStatus err;
    int spaces;
  };
  // room = width - 2; the line is 4 + n characters of 9 pixels.
  const Case cases[] = {
      {2 + 9 * 7, 3, noErr, 3},             // exactly at the least count
      {2 + 9 * 12, 3, noErr, 8},            // exactly at a larger count
      {2 + 9 * 12 + 5, 3, noErr, 8},        // the largest count that fits
      {2 + 9 * 40 + 8, 1, noErr, 36},       // far from the first guess
      {2 + 9 * 6, 3, kGL_StringsDoNotFitErr, 3},  // too narrow even for the least count
  };
  for (const Case &c : cases) {
    auto [err, text] = Fit(c.width, c.minSpaces);
    EXPECT_EQ(err, c.err) << c.width;
    EXPECT_EQ(text, "ab" + std::string(size_t(c.spaces), ' ') + "cd") << c.width;
  }
  // The port's text state is as before.
  EXPECT_EQ(GetPortTextSize(port->port), 0);
}

TEST_F(FitFixture, PaddingAndSingleStringsEnd) {
  GL_CFStringLE a{nullptr, CFSTR("a")}, b{nullptr, CFSTR("b")};
  a.next = &b;
  CFMutableStringRef padded = GL_MakeCompoundStr(&a, 3, true);
  EXPECT_EQ(bz_test::CFText(padded), " a   b ");
  CFRelease(padded);

  // One string without padding does not widen with the count: the search still ends.
  GL_CFStringLE only{nullptr, CFSTR("x")};
  Rect box{0, 0, 10, 200};
  CFMutableStringRef joined = nullptr;
  EXPECT_EQ(GL_FitCFStringsInLineBox(kThemeSmallSystemFont, &only, &box, 3, false, &joined), noErr);
  EXPECT_EQ(bz_test::CFText(joined), "x");
  CFRelease(joined);

  // Without a port nothing is measured.
  SetPort(nullptr);
  EXPECT_EQ(GL_FitCFStringsInLineBox(kThemeSmallSystemFont, &only, &box, 3, false, &joined), paramErr);
  EXPECT_EQ(joined, nullptr);
}

}  // namespace

// ---- The stand-alone window's items ----

namespace {

// A window with the seven 'PRGR' items, the suspend button saying "Suspend", and a record over it.
struct ProgressWindow : ::testing::Test {
  int storage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&storage);
  std::unique_ptr<GL_ProgrData> record = std::make_unique<GL_ProgrData>();

  void SetUp() override {
    for (SInt32 n = kGL_ProgrDlgCloseButton; n <= kGL_ProgrDlgTitleLine; ++n) {
      const HIViewID id{kGL_ProgrDlgSignature, n};
      ASSERT_EQ(PL_NewControl(window, &id, nullptr), noErr);
    }
    ASSERT_EQ(HIViewSetText(Item(kGL_ProgrDlgSuspendButton), CFSTR("Suspend")), noErr);
    record->window = window;
    record->standAloneWindow = true;
  }
  void TearDown() override { PL_DisposeWindowControls(window); }

  ControlRef Item(SInt32 n) {
    const HIViewID id{kGL_ProgrDlgSignature, n};
    ControlRef c = nullptr;
    EXPECT_EQ(GetControlByID(window, &id, &c), noErr);
    return c;
  }
  std::string Text(SInt32 n) {
    CFStringRef s = HIViewCopyText(Item(n));
    std::string text = bz_test::CFText(s);
    if (s != nullptr) CFRelease(s);
    return text;
  }
  bool Suspended() {
    Boolean b = false;
    EXPECT_EQ(GL_IsJobSuspended(window, &b), noErr);
    return b;
  }
  bool Determinate() {
    Boolean b = false;
    EXPECT_EQ(GL_GetDialogProgressBarState(window, &b), noErr);
    return b;
  }
};

TEST_F(ProgressWindow, MessageExplanationAndBarState) {
  EXPECT_EQ(GL_SetProgressMessage(window, CFSTR("Copying")), noErr);
  EXPECT_EQ(GL_SetProgressExplanation(window, CFSTR("Frame by frame")), noErr);
  EXPECT_EQ(Text(kGL_ProgrDlgMessageText), "Copying");
  EXPECT_EQ(Text(kGL_ProgrDlgExplanationText), "Frame by frame");
  EXPECT_EQ(GL_SetProgressMessage(nullptr, CFSTR("x")), noErr);
  EXPECT_EQ(GL_SetProgressExplanation(nullptr, CFSTR("x")), noErr);

  EXPECT_TRUE(Determinate());
  EXPECT_EQ(GL_SetDialogProgressBarState(window, false), noErr);
  EXPECT_FALSE(Determinate());
  EXPECT_EQ(GL_SetDialogProgressBarState(window, true), noErr);
  EXPECT_TRUE(Determinate());

  EXPECT_EQ(GL_SetPercFinishedInDialogTempl(window), noErr);
  EXPECT_EQ(Text(kGL_ProgrDlgExplanationText), "0% finished");

  // A window without the items answers the look-up's error.
  int other = 0;
  WindowRef empty = reinterpret_cast<WindowRef>(&other);
  Boolean b = true;
  EXPECT_EQ(GL_GetDialogProgressBarState(empty, &b), errUnknownControl);
  EXPECT_EQ(GL_SetProgressMessage(empty, CFSTR("x")), errUnknownControl);
  EXPECT_EQ(GL_IsJobSuspended(empty, &b), errUnknownControl);
}

TEST_F(ProgressWindow, SuspendAndResumeThroughTheButton) {
  const HIViewID button{kGL_ProgrDlgSignature, kGL_ProgrDlgSuspendButton};
  const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
  record->switchTime = now - 30.0;
  record->totalActiveTime = 5.0;
  record->percWorkDone = 0.4f;
  record->prevTime = now - 2.0;
  EXPECT_FALSE(Suspended());

  ASSERT_EQ(GL_HandleProgrDlgControlHit(window, button, record.get()), noErr);
  const CFAbsoluteTime afterHit = CFAbsoluteTimeGetCurrent();
  EXPECT_EQ(Text(kGL_ProgrDlgSuspendButton), "Resume");
  EXPECT_TRUE(Suspended());
  EXPECT_FALSE(Determinate());
  // The 30 seconds of work since the switch are added (less the fraction of the current second), plus what
  // a loaded machine took to make the call.
  EXPECT_GE(record->totalActiveTime, 5.0 + 29.0);
  EXPECT_LE(record->totalActiveTime, 5.0 + 30.0 + (afterHit - now));

  record->percWorkDone = 0.45f;
  ASSERT_EQ(GL_HandleProgrDlgControlHit(window, button, record.get()), noErr);
  EXPECT_EQ(Text(kGL_ProgrDlgSuspendButton), "Suspend");
  EXPECT_FALSE(Suspended());
  EXPECT_TRUE(Determinate());
  EXPECT_EQ(record->percWorkDoneAtSwitch, 0.45f);
  EXPECT_EQ(record->prevTime, 0.0);
  EXPECT_NEAR(record->switchTime.load(), CFAbsoluteTimeGetCurrent(), 1.0);

  // Case does not matter, and "Suspended" counts as suspended too.
  ASSERT_EQ(HIViewSetText(Item(kGL_ProgrDlgSuspendButton), CFSTR("SUSPENDED")), noErr);
  EXPECT_TRUE(Suspended());
  ASSERT_EQ(HIViewSetText(Item(kGL_ProgrDlgSuspendButton), CFSTR("resume")), noErr);
  EXPECT_TRUE(Suspended());
}

TEST_F(ProgressWindow, HandlerPassesHitsOnAndReleasesTheRecordOnClose) {
  auto send = [&](UInt32 eventClass, UInt32 kind, ControlRef control) {
    EventRef event = nullptr;
    EXPECT_EQ(CreateEvent(nullptr, eventClass, kind, 0, kEventAttributeNone, &event), noErr);
    if (control != nullptr)
      SetEventParameter(event, kEventParamDirectObject, kGL_TypeControlRef, sizeof control, &control);
    EXPECT_EQ(GL_ProgrDlgEventHandlerTempl(nullptr, event, record.get()), eventNotHandledErr);
    ReleaseEvent(event);
  };
  // The suspend button suspends (the close button, which needs a real window, is tried with one elsewhere).
  send(kGL_EventClassControl, kGL_EventControlHit, Item(kGL_ProgrDlgSuspendButton));
  EXPECT_TRUE(Suspended());

  // The window's close releases the record's data with its semaphore.
  ASSERT_EQ(MPCreateBinarySemaphore(&record->showSemaphore), noErr);
  record->smallImageBuffer = reinterpret_cast<UPtr>(NewPtrClear(16));
  send(kGL_EventClassWindow, kGL_EventWindowClose, nullptr);
  EXPECT_EQ(record->showSemaphore, nullptr);
  EXPECT_EQ(record->smallImageBuffer, nullptr);
}

}  // namespace
