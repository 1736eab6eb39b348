// Window Manager stand-in over Qt top-level widgets.
#include "platform/ui/window_manager.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/window_pictures.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <vector>

struct OpaqueWindowPtr;

namespace {

class WindowWidget;

struct WindowRecord {
  WindowClass windowClass = 0;
  WindowAttributes attributes = 0;
  WindowWidget *widget = nullptr;
  EventTargetRef target = nullptr;
  EventHandlerRef standardHandler = nullptr;
  CFStringRef title = nullptr;
};

// Front first.
std::vector<WindowRecord *> gWindows;

WindowRecord *Find(WindowRef window) {
  auto *record = reinterpret_cast<WindowRecord *>(window);
  return std::find(gWindows.begin(), gWindows.end(), record) != gWindows.end() ? record : nullptr;
}
WindowRef RefOf(WindowRecord *record) { return reinterpret_cast<WindowRef>(record); }

// The close box asks the window's handlers, as a Carbon close event would; Qt itself never closes it.
class WindowWidget : public QWidget {
 public:
  explicit WindowWidget(WindowRecord *record) : record_(record) {}
  bool inCloseEvent = false;

 protected:
  void closeEvent(QCloseEvent *event) override {
    event->ignore();
    EventRef close = nullptr;
    if (CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, 0, kEventAttributeNone, &close) != noErr) return;
    WindowRef window = RefOf(record_);
    SetEventParameter(close, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
    inCloseEvent = true;
    SendEventToEventTarget(close, record_->target);
    ReleaseEvent(close);
    // The record may be gone now; the widget itself stays until Qt has returned from this event.
    inCloseEvent = false;
  }

 private:
  WindowRecord *record_;
};

OSStatus StandardWindowHandler(EventHandlerCallRef, EventRef event, void *userData) {
  if (GetEventClass(event) == kEventClassWindow && GetEventKind(event) == kEventWindowClose) {
    DisposeWindow(static_cast<WindowRef>(userData));
    return noErr;
  }
  return eventNotHandledErr;
}

OSStatus CopyTitle(WindowRef window, CFStringRef *outString) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return errInvalidWindowRef;
  *outString = CFStringCreateCopy(nullptr, record->title != nullptr ? record->title : CFSTR(""));
  return *outString != nullptr ? noErr : memFullErr;
}

OSStatus SetTitle(WindowRef window, CFStringRef title) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return errInvalidWindowRef;
  CFStringRef copy = CFStringCreateCopy(nullptr, title);
  if (copy == nullptr) return memFullErr;
  if (record->title != nullptr) CFRelease(record->title);
  record->title = copy;
  char buffer[1024] = {};
  CFStringGetCString(copy, buffer, sizeof buffer, kCFStringEncodingUTF8);
  record->widget->setWindowTitle(QString::fromUtf8(buffer));
  return noErr;
}

void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "brizel";
  static char *argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

bool ClassMatches(const WindowRecord *record, WindowClass windowClass, Boolean mustBeVisible) {
  if (windowClass != kAllWindowClasses && record->windowClass != windowClass) return false;
  return !mustBeVisible || record->widget->isVisible();
}

Rect ToRect(const QRect &r) {
  return Rect{SInt16(r.top()), SInt16(r.left()), SInt16(r.top() + r.height()), SInt16(r.left() + r.width())};
}

}  // namespace

OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect *contentBounds,
                         WindowRef *outWindow) {
  if (outWindow == nullptr) return paramErr;
  *outWindow = nullptr;
  if (contentBounds == nullptr) return paramErr;
  EnsureApplication();
  auto record = std::make_unique<WindowRecord>();
  record->windowClass = windowClass;
  record->attributes = attributes;
  OSStatus err = PL_CreateEventTarget(GetApplicationEventTarget(), &record->target);
  if (err != noErr) return err;
  const EventTypeSpec close{kEventClassWindow, kEventWindowClose};
  err = InstallEventHandler(record->target, StandardWindowHandler, 1, &close, record.get(), &record->standardHandler);
  if (err != noErr) {
    PL_DisposeEventTarget(record->target);
    return err;
  }
  static const PL_WindowProcs procs{CopyTitle, SetTitle};
  PL_SetWindowProcs(&procs);
  PL_InstallWindowPictures();
  record->widget = new WindowWidget(record.get());
  Qt::WindowFlags flags = Qt::Window;
  if (windowClass == kFloatingWindowClass || windowClass == kUtilityWindowClass) flags = Qt::Tool;
  record->widget->setWindowFlags(flags);
  record->widget->setGeometry(contentBounds->left, contentBounds->top, contentBounds->right - contentBounds->left,
                              contentBounds->bottom - contentBounds->top);
  gWindows.insert(gWindows.begin(), record.get());
  *outWindow = RefOf(record.release());
  return noErr;
}

OSStatus CreateWindowFromNib(IBNibRef inNibRef, CFStringRef inName, WindowRef *outWindow) {
  if (outWindow == nullptr) return paramErr;
  *outWindow = nullptr;
  if (inNibRef == nullptr || inName == nullptr) return paramErr;
  EnsureApplication();
  QWidget *content = nullptr;
  OSStatus err = PL_LoadNibWindowWidget(inNibRef, inName, &content);
  if (err != noErr) return err;
  const QSize size = content->size().isEmpty() ? content->sizeHint() : content->size();
  const Rect bounds{0, 0, SInt16(std::max(size.height(), 1)), SInt16(std::max(size.width(), 1))};
  WindowRef window = nullptr;
  err = CreateNewWindow(kDocumentWindowClass, kWindowCloseBoxAttribute, &bounds, &window);
  if (err != noErr) {
    delete content;
    return err;
  }
  WindowRecord *record = Find(window);
  const QString title = content->windowTitle();
  content->setParent(record->widget);
  content->setGeometry(0, 0, size.width(), size.height());
  err = PL_AttachNibControls(window, content, record->target);
  if (err == noErr && !title.isEmpty()) {
    CFStringRef cfTitle = CFStringCreateWithCString(nullptr, title.toUtf8().constData(), kCFStringEncodingUTF8);
    err = cfTitle != nullptr ? SetTitle(window, cfTitle) : OSStatus(memFullErr);
    if (cfTitle != nullptr) CFRelease(cfTitle);
  }
  if (err != noErr) {
    DisposeWindow(window);
    return err;
  }
  *outWindow = window;
  return noErr;
}

void DisposeWindow(WindowRef window) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return;
  // The controls refer to widgets that go with the window.
  if (PL_HasNibControls(window)) PL_DetachNibControls(window);
  gWindows.erase(std::find(gWindows.begin(), gWindows.end(), record));
  PL_DisposeEventTarget(record->target);
  record->widget->hide();
  // A widget cannot be deleted inside its own close event.
  if (record->widget->inCloseEvent)
    record->widget->deleteLater();
  else
    delete record->widget;
  if (record->title != nullptr) CFRelease(record->title);
  delete record;
}

void ShowWindow(WindowRef window) {
  if (WindowRecord *record = Find(window)) record->widget->show();
}

void HideWindow(WindowRef window) {
  if (WindowRecord *record = Find(window)) record->widget->hide();
}

Boolean IsWindowVisible(WindowRef window) {
  WindowRecord *record = Find(window);
  return record != nullptr && record->widget->isVisible();
}

void SelectWindow(WindowRef window) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return;
  gWindows.erase(std::find(gWindows.begin(), gWindows.end(), record));
  gWindows.insert(gWindows.begin(), record);
  record->widget->raise();
  record->widget->activateWindow();
}

OSStatus GetWindowClass(WindowRef window, WindowClass *outClass) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return errInvalidWindowRef;
  if (outClass == nullptr) return paramErr;
  *outClass = record->windowClass;
  return noErr;
}

OSStatus GetWindowAttributes(WindowRef window, WindowAttributes *outAttributes) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return errInvalidWindowRef;
  if (outAttributes == nullptr) return paramErr;
  *outAttributes = record->attributes;
  return noErr;
}

WindowRef GetFrontWindowOfClass(WindowClass windowClass, Boolean mustBeVisible) {
  for (WindowRecord *record : gWindows)
    if (ClassMatches(record, windowClass, mustBeVisible)) return RefOf(record);
  return nullptr;
}

WindowRef GetNextWindowOfClass(WindowRef window, WindowClass windowClass, Boolean mustBeVisible) {
  auto it = std::find(gWindows.begin(), gWindows.end(), reinterpret_cast<WindowRecord *>(window));
  if (it == gWindows.end()) return nullptr;
  for (++it; it != gWindows.end(); ++it)
    if (ClassMatches(*it, windowClass, mustBeVisible)) return RefOf(*it);
  return nullptr;
}

WindowRef FrontNonFloatingWindow() {
  for (WindowRecord *record : gWindows)
    if (record->windowClass != kFloatingWindowClass && record->widget->isVisible()) return RefOf(record);
  return nullptr;
}

EventTargetRef GetWindowEventTarget(WindowRef window) {
  WindowRecord *record = Find(window);
  return record != nullptr ? record->target : nullptr;
}

OSStatus GetWindowBounds(WindowRef window, WindowRegionCode regionCode, Rect *globalBounds) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return errInvalidWindowRef;
  if (globalBounds == nullptr) return paramErr;
  *globalBounds = ToRect(regionCode == kWindowStructureRgn ? record->widget->frameGeometry()
                                                           : record->widget->geometry());
  return noErr;
}

void MoveWindow(WindowRef window, SInt16 hGlobal, SInt16 vGlobal, Boolean front) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return;
  QRect geometry = record->widget->geometry();
  geometry.moveTopLeft(QPoint(hGlobal, vGlobal));
  record->widget->setGeometry(geometry);
  if (front) SelectWindow(window);
}

void SizeWindow(WindowRef window, SInt16 width, SInt16 height, Boolean) {
  WindowRecord *record = Find(window);
  if (record == nullptr || width <= 0 || height <= 0) return;
  QRect geometry = record->widget->geometry();
  geometry.setSize(QSize(width, height));
  record->widget->setGeometry(geometry);
}

OSStatus PL_GetMainScreenBounds(Rect *bounds) {
  if (bounds == nullptr) return paramErr;
  EnsureApplication();
  QScreen *screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return errInvalidWindowRef;
  *bounds = ToRect(screen->availableGeometry());
  return noErr;
}

OSStatus ConstrainWindowToScreen(WindowRef window, WindowRegionCode regionCode, WindowConstrainOptions,
                                 const Rect *, Rect *outStructure) {
  WindowRecord *record = Find(window);
  if (record == nullptr) return errInvalidWindowRef;
  const QRect frame = regionCode == kWindowContentRgn ? record->widget->geometry() : record->widget->frameGeometry();
  QScreen *screen = QGuiApplication::screenAt(frame.center());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect available = screen->availableGeometry();
    // Moved fully onto the screen when it fits there; a larger window keeps its top left on screen.
    int dx = 0, dy = 0;
    if (frame.right() > available.right()) dx = available.right() - frame.right();
    if (frame.left() + dx < available.left()) dx = available.left() - frame.left();
    if (frame.bottom() > available.bottom()) dy = available.bottom() - frame.bottom();
    if (frame.top() + dy < available.top()) dy = available.top() - frame.top();
    if (dx != 0 || dy != 0) record->widget->move(record->widget->pos() + QPoint(dx, dy));
  }
  if (outStructure != nullptr) *outStructure = ToRect(record->widget->frameGeometry());
  return noErr;
}

QWidget *PL_GetWindowWidget(WindowRef window) {
  WindowRecord *record = Find(window);
  return record != nullptr ? record->widget : nullptr;
}
