// Window Manager stand-in over Qt top-level widgets.
#include "platform/ui/window_manager_qt.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/menu_bar_qt.h"
#include "platform/ui/nib_controls_qt.h"
#include "platform/ui/window_pictures.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstring>
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

void BringToFront(WindowRecord *record) {
  auto it = std::find(gWindows.begin(), gWindows.end(), record);
  if (it == gWindows.end()) return;
  gWindows.erase(it);
  gWindows.insert(gWindows.begin(), record);
}

Rect ToRect(const QRect &r);
WindowRecord *Find(WindowRef window);
WindowRef RefOf(WindowRecord *record);
void BringToFront(WindowRecord *record);

// A window event with the window as direct object; `fill` sets further parameters before the sending and
// `read` reads what the handlers left in the event after it. The handlers' result.
template <class Fill, class Read>
OSStatus SendWindowEvent(WindowRecord *record, UInt32 eventClass, UInt32 kind, Fill fill, Read read) {
  EventRef event = nullptr;
  if (CreateEvent(nullptr, eventClass, kind, 0, kEventAttributeNone, &event) != noErr) return eventNotHandledErr;
  WindowRef window = RefOf(record);
  SetEventParameter(event, eventClass == kEventClassWindow ? EventParamName(kEventParamDirectObject) : EventParamName(kEventParamWindowRef),
                    typeWindowRef, sizeof window, &window);
  fill(event);
  OSStatus result = SendEventToEventTarget(event, record->target);
  read(event, result);
  ReleaseEvent(event);
  return result;
}
template <class Fill>
OSStatus SendWindowEvent(WindowRecord *record, UInt32 eventClass, UInt32 kind, Fill fill) {
  return SendWindowEvent(record, eventClass, kind, fill, [](EventRef, OSStatus) {});
}
OSStatus SendWindowEvent(WindowRecord *record, UInt32 kind) {
  return SendWindowEvent(record, kEventClassWindow, kind, [](EventRef) {});
}

// The close box asks the window's handlers, as a Carbon close event would; Qt itself never closes it. The
// user's activation, moves, resizes, drawing and mouse drags become window events.
class WindowWidget : public QWidget {
 public:
  explicit WindowWidget(WindowRecord *record) : record_(record) {
    resizeRest_.setSingleShot(true);
    connect(&resizeRest_, &QTimer::timeout, this, [this] { SendWindowEvent(record_, kEventWindowResizeCompleted); });
  }
  bool inCloseEvent = false;

 protected:
  void changeEvent(QEvent *event) override {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || Find(RefOf(record_)) == nullptr) return;
    if (isActiveWindow()) {
      BringToFront(record_);
      SendWindowEvent(record_, kEventWindowActivated);
      PL_UpdateMenuBarEnabling();
    } else {
      SendWindowEvent(record_, kEventWindowDeactivated);
    }
  }

  void showEvent(QShowEvent *event) override {
    QWidget::showEvent(event);
    for (UInt32 kind : {UInt32(kEventWindowGetMinimumSize), UInt32(kEventWindowGetMaximumSize)}) {
      Point size{0, 0};
      SendWindowEvent(record_, kEventClassWindow, kind, [](EventRef) {}, [&](EventRef e, OSStatus result) {
        if (result == noErr)
          GetEventParameter(e, kEventParamDimensions, typeQDPoint, nullptr, sizeof size, nullptr, &size);
      });
      if (size.h <= 0 || size.v <= 0) continue;
      if (kind == kEventWindowGetMinimumSize) setMinimumSize(size.h, size.v);
      else setMaximumSize(size.h, size.v);
    }
  }

  void moveEvent(QMoveEvent *event) override {
    QWidget::moveEvent(event);
    BoundsChanged(QRect(event->oldPos(), size()), kWindowBoundsChangeOriginChanged);
  }

  void resizeEvent(QResizeEvent *event) override {
    QWidget::resizeEvent(event);
    if (!adjusting_) {
      // A handler may change the size it is offered.
      Rect bounds = ToRect(geometry());
      const Rect offered = bounds;
      SendWindowEvent(
          record_, kEventClassWindow, kEventWindowBoundsChanging,
          [&](EventRef e) {
            SetEventParameter(e, kEventParamCurrentBounds, typeQDRectangle, sizeof bounds, &bounds);
            const Rect original = ToRect(QRect(pos(), event->oldSize()));
            SetEventParameter(e, kEventParamOriginalBounds, typeQDRectangle, sizeof original, &original);
            UInt32 attributes = kWindowBoundsChangeSizeChanged | kWindowBoundsChangeUserResize;
            SetEventParameter(e, kEventParamAttributes, typeUInt32, sizeof attributes, &attributes);
          },
          [&](EventRef e, OSStatus result) {
            if (result == noErr)
              GetEventParameter(e, kEventParamCurrentBounds, typeQDRectangle, nullptr, sizeof bounds, nullptr, &bounds);
          });
      if (std::memcmp(&bounds, &offered, sizeof bounds) != 0 && bounds.right > bounds.left && bounds.bottom > bounds.top) {
        adjusting_ = true;
        resize(bounds.right - bounds.left, bounds.bottom - bounds.top);
        adjusting_ = false;
      }
    }
    BoundsChanged(QRect(pos(), event->oldSize()), kWindowBoundsChangeSizeChanged);
    resizeRest_.start(250);
  }

  void paintEvent(QPaintEvent *event) override {
    QWidget::paintEvent(event);
    SendWindowEvent(record_, kEventWindowDrawContent);
  }

  void mouseMoveEvent(QMouseEvent *event) override {
    QWidget::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton) SendMouse(kEventMouseDragged, event);
  }

  void mouseReleaseEvent(QMouseEvent *event) override {
    QWidget::mouseReleaseEvent(event);
    SendMouse(kEventMouseUp, event);
  }

 private:
  void BoundsChanged(const QRect &previous, UInt32 attributes) {
    const Rect current = ToRect(geometry()), before = ToRect(previous);
    SendWindowEvent(record_, kEventClassWindow, kEventWindowBoundsChanged, [&](EventRef e) {
      SetEventParameter(e, kEventParamCurrentBounds, typeQDRectangle, sizeof current, &current);
      SetEventParameter(e, kEventParamPreviousBounds, typeQDRectangle, sizeof before, &before);
      SetEventParameter(e, kEventParamAttributes, typeUInt32, sizeof attributes, &attributes);
    });
  }

  void SendMouse(UInt32 kind, QMouseEvent *event) {
    const QPoint global = event->globalPosition().toPoint();
    const Point where{SInt16(global.y()), SInt16(global.x())};
    SendWindowEvent(record_, kEventClassMouse, kind, [&](EventRef e) {
      SetEventParameter(e, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
    });
  }

  QTimer resizeRest_;
  bool adjusting_ = false;

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
  PL_MenuBarJoinWindow(record->widget, nullptr);
  *outWindow = RefOf(record.release());
  PL_NewRootView(*outWindow);
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
  // The window's layout holds the content (and the menu bar above it in the window that shows the bar).
  auto *layout = new QVBoxLayout(record->widget);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(content);
  content->setMinimumSize(content->minimumSizeHint().expandedTo(content->minimumSize()));
  PL_MenuBarJoinWindow(record->widget, content->property("showsMenuBar").toBool() ? layout : nullptr);
  record->widget->resize(size.width(), size.height() + (layout->menuBar() != nullptr ? layout->menuBar()->sizeHint().height() : 0));
  err = PL_AttachNibControls(window, content, record->target);
  PL_NewRootView(window);
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
  PL_MenuBarLeaveWindow(record->widget);
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
  BringToFront(record);
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

WindowRef PL_GetWidgetWindow(const QWidget *widget) {
  if (widget == nullptr) return nullptr;
  const QWidget *top = widget->window();
  for (WindowRecord *record : gWindows)
    if (record->widget == top) return RefOf(record);
  return nullptr;
}
