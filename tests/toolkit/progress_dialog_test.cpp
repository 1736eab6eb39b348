// The stand-alone progress window on real (offscreen) windows: opening it from the nib, updating it through
// the record, and closing it by its close button or by the toolkit.
#include "toolkit/progress_record.h"

#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/window_refcons.h"
#include "platform/core/windows.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/window_manager.h"
#include "support/cf_check.h"
#include "support/fake_text_port.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

HIViewID Item(SInt32 number) { return HIViewID{kGL_ProgrDlgSignature, number}; }

ControlRef Control(WindowRef window, SInt32 number) {
  const HIViewID id = Item(number);
  ControlRef control = nullptr;
  EXPECT_EQ(GetControlByID(window, &id, &control), noErr) << number;
  return control;
}

std::string ItemText(WindowRef window, SInt32 number) {
  CFStringRef text = nullptr;
  if (CopyControlTitleAsCFString(Control(window, number), &text) != noErr) return "<none>";
  std::string result = bz_test::CFText(text);
  CFRelease(text);
  return result;
}

int WindowCount() {
  int n = 0;
  for (WindowRef w = GetFrontWindowOfClass(kAllWindowClasses, false); w != nullptr;
       w = GetNextWindowOfClass(w, kAllWindowClasses, false))
    ++n;
  return n;
}

// What a click of the button does: a control hit sent to the window's own target.
void Click(WindowRef window, SInt32 number) {
  ControlRef control = Control(window, number);
  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kGL_EventClassControl, kGL_EventControlHit, 0, kEventAttributeNone, &event), noErr);
  ASSERT_EQ(SetEventParameter(event, kEventParamDirectObject, kGL_TypeControlRef, sizeof control, &control), noErr);
  SendEventToEventTarget(event, GetWindowEventTarget(window));
  ReleaseEvent(event);
}

struct ProgressDialog : ::testing::Test {
  IBNibRef nib = nullptr;
  std::unique_ptr<GL_ProgrData> record = std::make_unique<GL_ProgrData>();
  int windowsBefore = 0;
  // The title line is measured in the current port; the offscreen windows have none.
  FakeTextPort *port = nullptr;
  GrafPtr savedPort = nullptr;

  void SetUp() override {
    GetPort(&savedPort);
    port = NewFakeTextPort();
    SetPort(port->port);
    ASSERT_EQ(CreateNibReference(CFSTR("Progress"), &nib), noErr);
    windowsBefore = WindowCount();
  }
  void TearDown() override {
    if (record->window != nullptr) DisposeWindow(record->window);
    DisposeNibReference(nib);
    SetPort(savedPort);
    DisposeFakeTextPort(port);
  }
};

TEST_F(ProgressDialog, OpensHiddenWithTitleHeaderAndEmptiedTexts) {
  struct Case {
    Boolean suspended;
    const char *button;
    Boolean determinate;
  } cases[] = {{false, "Suspend", true}, {true, "Resume", false}};
  for (const Case &c : cases) {
    WindowRef window = nullptr;
    ASSERT_EQ(GL_OpenProgressDialog(nib, CFSTR("Cleaning"), CFSTR("Movie 1"), c.suspended, &window), noErr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    CFStringRef title = nullptr;
    ASSERT_EQ(CopyWindowTitleAsCFString(window, &title), noErr);
    EXPECT_EQ(bz_test::CFText(title), "Cleaning");
    CFRelease(title);
    EXPECT_EQ(ItemText(window, kGL_ProgrDlgHeaderText), "Movie 1");
    for (SInt32 emptied : {kGL_ProgrDlgMessageText, kGL_ProgrDlgExplanationText, kGL_ProgrDlgTitleLine})
      EXPECT_EQ(ItemText(window, emptied), "") << emptied;
    EXPECT_EQ(ItemText(window, kGL_ProgrDlgSuspendButton), c.button);
    Boolean determinate = !c.determinate;
    EXPECT_EQ(GL_GetDialogProgressBarState(window, &determinate), noErr);
    EXPECT_EQ(determinate, c.determinate);
    Boolean suspended = !c.suspended;
    EXPECT_EQ(GL_IsJobSuspended(window, &suspended), noErr);
    EXPECT_EQ(suspended, c.suspended);
    DisposeWindow(window);
  }
  EXPECT_EQ(WindowCount(), windowsBefore);
}

TEST_F(ProgressDialog, FailuresLeaveNoWindow) {
  WindowRef window = reinterpret_cast<WindowRef>(1);
  EXPECT_EQ(GL_OpenProgressDialog(nullptr, CFSTR("t"), CFSTR("h"), false, &window), paramErr);
  EXPECT_EQ(window, nullptr);
  EXPECT_EQ(GL_OpenProgressDialog(nib, CFSTR("t"), CFSTR("h"), false, nullptr), paramErr);
  EXPECT_EQ(WindowCount(), windowsBefore);
}

TEST_F(ProgressDialog, TheTemplateShowsAndUpdatesTheWindowThroughTheRecord) {
  ASSERT_EQ(GL_UseProgressDialogTempl(nib, record.get()), noErr);
  WindowRef window = record->window;
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetWRefCon(window), record.get());
  EXPECT_EQ(ItemText(window, kGL_ProgrDlgMessageText), "Message");
  EXPECT_EQ(ItemText(window, kGL_ProgrDlgExplanationText), "Explanation");
  EXPECT_FALSE(IsControlVisible(Control(window, kGL_ProgrDlgSuspendButton)));

  // Half done after 100 seconds: the bar at half its maximum, the counter in the title line.
  record->switchTime = record->switchTime.load() - 100.0;
  record->percWorkDone = 0.5f;
  record->count = 500;
  ASSERT_EQ(GL_UpdateProgressBar(record.get(), CFSTR("Frame # ")), noErr);
  ControlRef bar = Control(window, kGL_ProgrDlgProgressBar);
  EXPECT_EQ(GetControl32BitValue(bar), GetControl32BitMaximum(bar) / 2);
  const std::string line = ItemText(window, kGL_ProgrDlgTitleLine);
  EXPECT_NE(line.find("Frame #  500"), std::string::npos) << line;
  EXPECT_NE(line.find("1000"), std::string::npos) << line;
  EXPECT_EQ(line.find('?'), std::string::npos) << "the end time is known: " << line;
}

TEST_F(ProgressDialog, TheCloseButtonClosesTheWindowAndReleasesTheRecord) {
  ASSERT_EQ(GL_UseProgressDialogTempl(nib, record.get()), noErr);
  WindowRef window = record->window;
  Click(window, kGL_ProgrDlgCloseButton);
  EXPECT_EQ(record->window, nullptr);
  EXPECT_EQ(GetWindowEventTarget(window), nullptr) << "the window is gone";
  EXPECT_EQ(record->showSemaphore, MPSemaphoreID{});
  EXPECT_EQ(WindowCount(), windowsBefore);
}

TEST_F(ProgressDialog, CloseProgressDialogDisposesTheWindowAndReleasesTheRecord) {
  ASSERT_EQ(GL_UseProgressDialogTempl(nib, record.get()), noErr);
  WindowRef window = record->window;
  EXPECT_EQ(GL_CloseProgressDialog(record.get()), noErr);
  EXPECT_EQ(record->window, nullptr);
  EXPECT_EQ(record->sheet, nullptr);
  EXPECT_EQ(GetWindowEventTarget(window), nullptr);
  EXPECT_EQ(WindowCount(), windowsBefore);
  // A second close has nothing left to do.
  EXPECT_EQ(GL_CloseProgressDialog(record.get()), noErr);
  EXPECT_EQ(GL_CloseProgressDialog(nullptr), paramErr);
}

}  // namespace
