// Drag Manager stand-in over Qt's drag and drop.
#include "platform/ui/drag_drop.h"

#include "platform/core/windows.h"
#include "platform/ui/window_manager_qt.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct OpaqueDragRef {
  std::vector<std::string> paths;  // one per item; "" for an item that is no local file
  Point mouse{};
  DragAttributes attributes = 0;
  WindowRef window = nullptr;
  QPointer<QFrame> hilite;  // owned by the window's widget
};

namespace {

template <typename Proc>
struct Handler {
  Proc proc;
  void *refCon;
};

class DragFilter;

struct DragWindow {
  QPointer<QWidget> widget;
  DragFilter *filter = nullptr;  // owned by the widget
  std::vector<Handler<DragTrackingHandlerUPP>> tracking;
  std::vector<Handler<DragReceiveHandlerUPP>> receive;
  std::shared_ptr<OpaqueDragRef> drag;  // the drag now over the window
};

std::map<WindowRef, DragWindow> gWindows;

void EndDrag(WindowRef window) {
  auto it = gWindows.find(window);
  if (it == gWindows.end() || !it->second.drag) return;
  delete it->second.drag->hilite.data();
  it->second.drag.reset();
}

// A handler may remove handlers, even the window's record: the handlers are called from a copy, and the
// caller keeps the drag alive.
void Track(WindowRef window, DragRef drag, DragTrackingMessage message) {
  auto it = gWindows.find(window);
  if (it == gWindows.end() || drag == nullptr) return;
  const auto handlers = it->second.tracking;
  for (const auto &h : handlers) h.proc(message, window, h.refCon, drag);
}

// The nib's content inside the window widget (below the menu bar where the window shows it): the origin
// of the controls' window coordinates.
QWidget *ContentWidget(QWidget *widget) {
  if (QLayout *layout = widget->layout())
    for (int i = 0; i < layout->count(); ++i)
      if (QWidget *w = layout->itemAt(i)->widget(); w != nullptr && !qobject_cast<QMenuBar *>(w)) return w;
  return widget;
}

// The mouse in global coordinates such that the window's content top left (GetWindowBounds) is the
// content's origin.
void Update(OpaqueDragRef *drag, QWidget *widget, const QDropEvent *event) {
  const QPoint local = ContentWidget(widget)->mapFrom(widget, event->position().toPoint());
  const QPoint global = widget->geometry().topLeft() + local;
  drag->mouse = Point{SInt16(global.y()), SInt16(global.x())};
}

std::shared_ptr<OpaqueDragRef> NewDrag(WindowRef window, QWidget *widget, const QDropEvent *event) {
  auto drag = std::make_shared<OpaqueDragRef>();
  drag->window = window;
  const QMimeData *data = event->mimeData();
  if (data != nullptr && data->hasUrls()) {
    for (const QUrl &url : data->urls()) drag->paths.push_back(url.isLocalFile() ? url.toLocalFile().toStdString() : "");
  } else if (data != nullptr && !data->formats().isEmpty()) {
    drag->paths.push_back("");
  }
  // A drag from elsewhere has left its sender window; one from this window has not.
  auto *source = qobject_cast<QWidget *>(event->source());
  if (source == nullptr || PL_GetWidgetWindow(source) != window) drag->attributes |= kDragHasLeftSenderWindow;
  if (source != nullptr) drag->attributes |= kDragInsideSenderApplication;
  if (source != nullptr && PL_GetWidgetWindow(source) == window) drag->attributes |= kDragInsideSenderWindow;
  Update(drag.get(), widget, event);
  return drag;
}

class DragFilter : public QObject {
 public:
  DragFilter(WindowRef window, QObject *parent) : QObject(parent), window_(window) {}

  bool eventFilter(QObject *watched, QEvent *event) override {
    auto it = gWindows.find(window_);
    if (it == gWindows.end() || watched != it->second.widget) return false;
    QWidget *widget = it->second.widget;
    std::shared_ptr<OpaqueDragRef> drag = it->second.drag;
    switch (event->type()) {
      case QEvent::DragEnter: {
        auto *e = static_cast<QDragEnterEvent *>(event);
        drag = NewDrag(window_, widget, e);
        it->second.drag = drag;
        Track(window_, drag.get(), kDragTrackingEnterHandler);
        Track(window_, drag.get(), kDragTrackingEnterWindow);
        Track(window_, drag.get(), kDragTrackingInWindow);
        // Always taken, so that moves and the drop arrive; the receive handlers decide at the drop. Only
        // ever as a copy: a sender told of a move would remove its file.
        e->setDropAction(Qt::CopyAction);
        e->accept();
        return true;
      }
      case QEvent::DragMove: {
        auto *e = static_cast<QDragMoveEvent *>(event);
        if (drag) {
          Update(drag.get(), widget, e);
          Track(window_, drag.get(), kDragTrackingInWindow);
        }
        e->setDropAction(Qt::CopyAction);
        e->accept();
        return true;
      }
      case QEvent::DragLeave:
        Track(window_, drag.get(), kDragTrackingLeaveWindow);
        Track(window_, drag.get(), kDragTrackingLeaveHandler);
        EndDrag(window_);
        return true;
      case QEvent::Drop: {
        auto *e = static_cast<QDropEvent *>(event);
        if (!drag) {
          drag = NewDrag(window_, widget, e);
          it->second.drag = drag;
        }
        Update(drag.get(), widget, e);
        OSErr result = dragNotAcceptedErr;
        const auto handlers = it->second.receive;
        for (const auto &h : handlers) {
          result = h.proc(window_, h.refCon, drag.get());
          if (result == noErr) break;
        }
        Track(window_, drag.get(), kDragTrackingLeaveWindow);
        Track(window_, drag.get(), kDragTrackingLeaveHandler);
        EndDrag(window_);
        if (result == noErr) {
          e->setDropAction(Qt::CopyAction);
          e->accept();
        } else {
          e->ignore();
        }
        return true;
      }
      default:
        return false;
    }
  }

 private:
  WindowRef window_;
};

// The window's record, made (and its widget set up for drops) at the first handler.
DragWindow *Window(WindowRef window) {
  QWidget *widget = PL_GetWindowWidget(window);
  if (widget == nullptr) return nullptr;
  DragWindow &w = gWindows[window];
  if (w.widget != widget) {
    w = DragWindow{};
    w.widget = widget;
    w.filter = new DragFilter(window, widget);
    widget->installEventFilter(w.filter);
    widget->setAcceptDrops(true);
    // The window takes every drag itself: no child (an edit text) takes one first.
    for (QWidget *child : widget->findChildren<QWidget *>()) child->setAcceptDrops(false);
  }
  return &w;
}

void DropIfUnused(WindowRef window) {
  auto it = gWindows.find(window);
  if (it == gWindows.end() || !it->second.tracking.empty() || !it->second.receive.empty()) return;
  if (it->second.widget) {
    it->second.widget->removeEventFilter(it->second.filter);
    it->second.widget->setAcceptDrops(false);
    if (it->second.drag) delete it->second.drag->hilite.data();
    // Possibly called from a handler inside the filter's own event.
    it->second.filter->deleteLater();
  }
  gWindows.erase(it);
}

template <typename Proc>
OSErr Install(std::vector<Handler<Proc>> DragWindow::*list, Proc proc, WindowRef window, void *refCon) {
  if (proc == nullptr) return paramErr;
  DragWindow *w = Window(window);
  if (w == nullptr) return OSErr(errInvalidWindowRef);
  auto &handlers = w->*list;
  if (std::any_of(handlers.begin(), handlers.end(), [&](const Handler<Proc> &h) { return h.proc == proc; }))
    return duplicateHandlerErr;
  handlers.push_back({proc, refCon});
  return noErr;
}

template <typename Proc>
OSErr Remove(std::vector<Handler<Proc>> DragWindow::*list, Proc proc, WindowRef window) {
  auto it = gWindows.find(window);
  if (it == gWindows.end()) return handlerNotFoundErr;
  auto &handlers = it->second.*list;
  auto found = std::find_if(handlers.begin(), handlers.end(), [&](const Handler<Proc> &h) { return h.proc == proc; });
  if (found == handlers.end()) return handlerNotFoundErr;
  handlers.erase(found);
  DropIfUnused(window);
  return noErr;
}

const std::string *ItemPath(DragRef drag, DragItemRef item, OSErr *err) {
  *err = noErr;
  if (drag == nullptr) *err = badDragRefErr;
  else if (item < 1 || item > drag->paths.size()) *err = badDragItemErr;
  if (*err != noErr) return nullptr;
  return &drag->paths[item - 1];
}

}  // namespace

OSErr InstallTrackingHandler(DragTrackingHandlerUPP trackingHandler, WindowRef theWindow, void *handlerRefCon) {
  return Install(&DragWindow::tracking, trackingHandler, theWindow, handlerRefCon);
}

OSErr InstallReceiveHandler(DragReceiveHandlerUPP receiveHandler, WindowRef theWindow, void *handlerRefCon) {
  return Install(&DragWindow::receive, receiveHandler, theWindow, handlerRefCon);
}

OSErr RemoveTrackingHandler(DragTrackingHandlerUPP trackingHandler, WindowRef theWindow) {
  return Remove(&DragWindow::tracking, trackingHandler, theWindow);
}

OSErr RemoveReceiveHandler(DragReceiveHandlerUPP receiveHandler, WindowRef theWindow) {
  return Remove(&DragWindow::receive, receiveHandler, theWindow);
}

OSErr CountDragItems(DragRef theDrag, UInt16 *numItems) {
  if (theDrag == nullptr) return badDragRefErr;
  if (numItems == nullptr) return paramErr;
  *numItems = UInt16(theDrag->paths.size());
  return noErr;
}

OSErr GetDragItemReferenceNumber(DragRef theDrag, UInt16 index, DragItemRef *theItemRef) {
  if (theDrag == nullptr) return badDragRefErr;
  if (theItemRef == nullptr) return paramErr;
  if (index < 1 || index > theDrag->paths.size()) return badDragItemErr;
  *theItemRef = index;
  return noErr;
}

OSErr GetFlavorFlags(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, FlavorFlags *theFlags) {
  OSErr err = noErr;
  const std::string *path = ItemPath(theDrag, theItemRef, &err);
  if (path == nullptr) return err;
  if (theType != kDragFlavorTypeHFS || path->empty()) return badDragFlavorErr;
  if (theFlags != nullptr) *theFlags = 0;
  return noErr;
}

OSErr GetFlavorDataSize(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, Size *dataSize) {
  OSErr err = GetFlavorFlags(theDrag, theItemRef, theType, nullptr);
  if (err != noErr) return err;
  if (dataSize == nullptr) return paramErr;
  *dataSize = Size(sizeof(HFSFlavor));
  return noErr;
}

OSErr GetFlavorData(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, void *dataPtr, Size *dataSize,
                    UInt32 dataOffset) {
  OSErr err = GetFlavorFlags(theDrag, theItemRef, theType, nullptr);
  if (err != noErr) return err;
  if (dataPtr == nullptr || dataSize == nullptr || *dataSize < 0) return paramErr;
  HFSFlavor flavor{};
  flavor.fileType = 0;
  flavor.fileCreator = 0;
  if ((err = OSErr(PL_FSSpecFromPath(theDrag->paths[theItemRef - 1].c_str(), &flavor.fileSpec))) != noErr) return err;
  const size_t available = dataOffset < sizeof flavor ? sizeof flavor - dataOffset : 0;
  const size_t count = std::min(available, size_t(*dataSize));
  std::memcpy(dataPtr, reinterpret_cast<const char *>(&flavor) + dataOffset, count);
  *dataSize = Size(count);
  return noErr;
}

OSErr GetDragAttributes(DragRef theDrag, DragAttributes *flags) {
  if (theDrag == nullptr) return badDragRefErr;
  if (flags == nullptr) return paramErr;
  *flags = theDrag->attributes;
  return noErr;
}

OSErr GetDragMouse(DragRef theDrag, Point *mouse, Point *globalPinnedMouse) {
  if (theDrag == nullptr) return badDragRefErr;
  if (mouse != nullptr) *mouse = theDrag->mouse;
  if (globalPinnedMouse != nullptr) *globalPinnedMouse = theDrag->mouse;
  return noErr;
}

OSErr ShowDragHilite(DragRef theDrag, RgnHandle hiliteFrame, Boolean inside) {
  if (theDrag == nullptr) return badDragRefErr;
  if (hiliteFrame == nullptr) return paramErr;
  QWidget *widget = PL_GetWindowWidget(theDrag->window);
  if (widget == nullptr) return OSErr(errInvalidWindowRef);
  Rect r{};
  GetRegionBounds(hiliteFrame, &r);
  QRect frame(r.left, r.top, r.right - r.left, r.bottom - r.top);
  if (!inside) frame.adjust(-2, -2, 2, 2);
  if (!theDrag->hilite) {
    theDrag->hilite = new QFrame(ContentWidget(widget));
    theDrag->hilite->setObjectName(QStringLiteral("dragHilite"));
    theDrag->hilite->setAttribute(Qt::WA_TransparentForMouseEvents);
    theDrag->hilite->setStyleSheet(QStringLiteral("QFrame#dragHilite { border: 2px solid palette(highlight); background: transparent; }"));
  }
  theDrag->hilite->setGeometry(frame);
  theDrag->hilite->show();
  theDrag->hilite->raise();
  return noErr;
}

OSErr HideDragHilite(DragRef theDrag) {
  if (theDrag == nullptr) return badDragRefErr;
  if (theDrag->hilite) theDrag->hilite->hide();
  return noErr;
}

Boolean PL_IsDragHiliteShown(WindowRef window, Rect *outerBounds) {
  auto it = gWindows.find(window);
  if (it == gWindows.end() || !it->second.drag || !it->second.drag->hilite || !it->second.drag->hilite->isVisible())
    return false;
  if (outerBounds != nullptr) {
    const QRect g = it->second.drag->hilite->geometry();
    *outerBounds = Rect{SInt16(g.top()), SInt16(g.left()), SInt16(g.top() + g.height()), SInt16(g.left() + g.width())};
  }
  return true;
}
